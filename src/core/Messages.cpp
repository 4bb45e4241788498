// Message and progress sinks.
#include "core/Messages.h"

#include <algorithm>
#include <cstdio>

#include "core/Errors.h"

namespace {

TStderrSink g_stderrSink;
TMessageSink* g_sink = nullptr;  // nullptr: the stderr sink

class TNullProgress : public TProgressSink {
public:
    void Progress(int, int) override {}
};
TNullProgress g_nullProgress;
TProgressSink* g_progress = nullptr;

// Every message goes out through here.
TMsgResult Send(const std::string& text, const std::vector<std::string>& names, TMsgKind kind, TMsgButtons buttons,
                const std::string& title, bool placed, int helpTopic)
{
    TMessage m;
    m.Text = text;
    m.Kind = kind;
    m.Buttons = buttons;
    m.Title = title;
    m.Placed = placed;
    m.HelpTopic = helpTopic;
    m.Names = names;
    return MessageSink().Show(m);
}

bool IsQuestion(TMsgButtons b) { return b == TMsgButtons::YesNo || b == TMsgButtons::YesNoCancel; }

}  // namespace

TMessageSink& MessageSink() { return g_sink ? *g_sink : g_stderrSink; }
void SetMessageSink(TMessageSink* sink) { g_sink = sink; }
TProgressSink& ProgressSink() { return g_progress ? *g_progress : g_nullProgress; }
void SetProgressSink(TProgressSink* sink) { g_progress = sink; }

TMsgResult ShowMessage(const std::string& text, TMsgKind kind, TMsgButtons buttons, const std::string& title)
{
    return Send(text, {}, kind, buttons, title, false, 0);
}

TMsgResult ShowMessageAt(const std::string& text, TMsgKind kind, TMsgButtons buttons, int helpTopic)
{
    return Send(text, {}, kind, buttons, {}, true, helpTopic);
}

TMsgResult ShowFileMessage(const std::string& text, const std::vector<std::string>& names, TMsgKind kind,
                           TMsgButtons buttons, const std::string& title)
{
    return Send(text, names, kind, buttons, title, false, 0);
}

TMsgResult ShowFileMessageAt(const std::string& text, const std::vector<std::string>& names, TMsgKind kind,
                             TMsgButtons buttons)
{
    return Send(text, names, kind, buttons, {}, true, 0);
}

TMsgResult ShowFailure(const std::exception& e, const std::string& title)
{
    std::vector<std::string> names;
    if (const auto* io = dynamic_cast<const EInOutError*>(&e); io && !io->Path.empty()) names.push_back(io->Path);
    return ShowFileMessage(e.what(), names, TMsgKind::Error, TMsgButtons::OK, title);
}

std::vector<TMessagePart> MessageParts(const std::string& text, const std::vector<std::string>& names)
{
    // (position, length) of every quoted name, the longest claiming its place first
    std::vector<std::string> order;
    for (const std::string& n : names)
        if (!n.empty()) order.push_back(n);
    std::stable_sort(order.begin(), order.end(),
                     [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    std::vector<std::pair<size_t, size_t>> spans;
    for (const std::string& n : order) {
        for (size_t at = text.find(n); at != std::string::npos; at = text.find(n, at + 1)) {
            const bool overlaps = std::any_of(spans.begin(), spans.end(), [&](const auto& s) {
                return at < s.first + s.second && s.first < at + n.size();
            });
            if (!overlaps) spans.emplace_back(at, n.size());
        }
    }
    std::sort(spans.begin(), spans.end());
    std::vector<TMessagePart> parts;
    size_t pos = 0;
    for (const auto& [at, len] : spans) {
        if (at > pos) parts.push_back({text.substr(pos, at - pos), false});
        parts.push_back({text.substr(at, len), true});
        pos = at + len;
    }
    if (pos < text.size() || parts.empty()) parts.push_back({text.substr(pos), false});
    return parts;
}

void Beep() { MessageSink().Beep(); }

void ReportProgress(int done, int total) { ProgressSink().Progress(done, total); }

TMsgResult TStderrSink::Show(const TMessage& msg)
{
    std::string text = msg.Text;
    // one output line per message line (CR LF or CR inside a message count as breaks)
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n')
                text.erase(i, 1);
            else
                text[i] = '\n';
        }
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
    switch (msg.Buttons) {
    case TMsgButtons::OK:
    case TMsgButtons::OKCancel:
        return TMsgResult::OK;
    case TMsgButtons::YesNo:
    case TMsgButtons::YesNoCancel:
        return Question;
    }
    return TMsgResult::OK;
}

TMsgResult TRecordingSink::Show(const TMessage& msg)
{
    Shown.push_back(msg);
    if (msg.Buttons == TMsgButtons::OK) return TMsgResult::OK;
    if (!Answers.empty()) {
        const TMsgResult r = Answers.front();
        Answers.erase(Answers.begin());
        return r;
    }
    if (IsQuestion(msg.Buttons) && DefaultAnswer == TMsgResult::OK) return TMsgResult::Yes;
    return DefaultAnswer;
}

std::vector<std::string> TRecordingSink::Texts() const
{
    std::vector<std::string> out;
    out.reserve(Shown.size());
    for (const TMessage& m : Shown) out.push_back(m.Text);
    return out;
}

TScopedMessageSink::TScopedMessageSink(TMessageSink* sink) : previous_(g_sink) { g_sink = sink; }

TScopedMessageSink::~TScopedMessageSink() { g_sink = previous_; }
