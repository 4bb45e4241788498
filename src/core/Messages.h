#pragma once
// Messages to the user. The model never shows a window: it reports through the sink
// installed by the front end (message boxes in the application, stderr in the
// command-line tool, a recording sink in tests).
#include <exception>
#include <functional>
#include <string>
#include <vector>

enum class TMsgKind { Information, Error, Warning, Confirmation };
enum class TMsgButtons { OK, OKCancel, YesNo, YesNoCancel };
enum class TMsgResult { OK, Cancel, Yes, No };

struct TMessage {
    std::string Text;       // 8-bit Latin-1, exactly as shown
    TMsgKind Kind = TMsgKind::Information;
    TMsgButtons Buttons = TMsgButtons::OK;
    std::string Title;      // empty: the application title
    bool Placed = false;    // true: at the fixed place beside the main window (ShowMessageAt)
    int HelpTopic = 0;
    // File names quoted in Text or Title, as the file system's bytes: a front end shows
    // them as the platform decodes names, the rest of the text as Latin-1.
    std::vector<std::string> Names;
};

// A message text cut into the quoted file names and the Latin-1 text between them.
struct TMessagePart {
    std::string Bytes;
    bool IsName = false;
};
// Every occurrence of each name is a name part (longer names first, so that a path wins
// over the file name inside it); everything else is text.
std::vector<TMessagePart> MessageParts(const std::string& text, const std::vector<std::string>& names);

class TMessageSink {
public:
    virtual ~TMessageSink() = default;
    virtual TMsgResult Show(const TMessage& msg) = 0;
    virtual void Beep() = 0;
};

// Long loops report progress; a sink may keep the interface responsive meanwhile.
class TProgressSink {
public:
    virtual ~TProgressSink() = default;
    virtual void Progress(int done, int total) = 0;
};

// The installed sinks (never null: by default messages go to stderr, OK is answered,
// Yes for questions, and progress is ignored).
TMessageSink& MessageSink();
void SetMessageSink(TMessageSink* sink);  // nullptr restores the default
TProgressSink& ProgressSink();
void SetProgressSink(TProgressSink* sink);

TMsgResult ShowMessage(const std::string& text, TMsgKind kind = TMsgKind::Information,
                       TMsgButtons buttons = TMsgButtons::OK, const std::string& title = {});
// A modal box placed at (main window left + 200, screen height / 2 - 100).
TMsgResult ShowMessageAt(const std::string& text, TMsgKind kind, TMsgButtons buttons,
                         int helpTopic = 0);
// The same for a text that quotes file names (see TMessage::Names).
TMsgResult ShowFileMessage(const std::string& text, const std::vector<std::string>& names,
                           TMsgKind kind = TMsgKind::Information, TMsgButtons buttons = TMsgButtons::OK,
                           const std::string& title = {});
TMsgResult ShowFileMessageAt(const std::string& text, const std::vector<std::string>& names, TMsgKind kind,
                             TMsgButtons buttons);
// A failure's text as an error box; an input/output failure names its file.
TMsgResult ShowFailure(const std::exception& e, const std::string& title = {});
void Beep();
void ReportProgress(int done, int total);

// Writes each message to stderr as "text" (one line per message line) and answers
// with the configured result. Used by the command-line tool.
class TStderrSink : public TMessageSink {
public:
    TMsgResult Question = TMsgResult::Yes;  // answer to Yes/No(/Cancel) boxes
    TMsgResult Show(const TMessage& msg) override;
    void Beep() override {}
};

// Records every message. Boxes with only an OK button answer OK; the others take
// their answer from Answers, front to back, and then DefaultAnswer (a Yes/No box
// answers Yes while DefaultAnswer is OK).
class TRecordingSink : public TMessageSink {
public:
    std::vector<TMessage> Shown;
    std::vector<TMsgResult> Answers;  // consumed front to back
    TMsgResult DefaultAnswer = TMsgResult::OK;
    int Beeps = 0;
    TMsgResult Show(const TMessage& msg) override;
    void Beep() override { ++Beeps; }
    std::vector<std::string> Texts() const;
    void Clear() { Shown.clear(); Beeps = 0; }
};

// Installs a sink for the lifetime of the object and restores the previous one.
class TScopedMessageSink {
public:
    explicit TScopedMessageSink(TMessageSink* sink);
    ~TScopedMessageSink();
    TScopedMessageSink(const TScopedMessageSink&) = delete;
    TScopedMessageSink& operator=(const TScopedMessageSink&) = delete;

private:
    TMessageSink* previous_;
};
