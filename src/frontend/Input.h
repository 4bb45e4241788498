#pragma once
// Loading any readable file for morvane-cli and the Python module: every channel (or one) as
// documents in file order, with the messages the readers showed.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/ImageDoc.h"
#include "core/Messages.h"
#include "core/Text.h"
#include "formats/OpenFlow.h"

// Records every message, prints it to stderr (UTF-8, one line per message line) and
// answers questions with Question.
class TCliMessageSink : public TMessageSink {
public:
    TMsgResult Question = TMsgResult::Yes;
    std::vector<std::string> Texts;  // UTF-8, as printed (quoted file names as the platform decodes them)
    TMsgResult Show(const TMessage& msg) override;
    void Beep() override {}
};

struct TCliChannel {
    int Index = 0;          // 1-based, file order
    std::string DataFile;   // data file name (single-file formats: the file itself)
    std::unique_ptr<TImageDoc> Doc;
};

struct TCliInput {
    TFileKind Kind = TFileKind::Unknown;
    std::string Format;                  // native, burleigh, topometrix, omicron, bitmap
    std::optional<std::string> Version;  // native only
    std::vector<TCliChannel> Channels;   // rendered, in file order
    int ChannelCount = 0;                // channels the file offers (loaded or not)
};

// Loads path. channel == 0 loads every channel; otherwise only channel `channel`
// (1-based, file order; for Omicron topographic channels first, then spectroscopy
// maps) where the format allows choosing before reading. Returns false for an unknown
// file type ("Unknown file type" shown). Exceptions of the readers propagate.
bool LoadInput(const std::string& path, int channel, TCliInput& input);

// A file name (the file system's bytes) as UTF-8 text: valid UTF-8 stays as it is,
// other bytes are taken as Latin-1.
std::string PathToUtf8(const std::string& name);

// LoadInput with a failure of the readers shown as the application shows it; false
// when the input was refused.
bool LoadInputShown(const std::string& path, int channel, TCliInput& input);

// A usage complaint of the command-line tool: "morvane-cli: text" on stderr.
void CliComplain(const std::string& text);

// Loads channel `channel` (1-based) of path for a subcommand. Null after telling why,
// with the exit status in exitCode: 1 the input was refused, 2 the channel is beyond
// the file's channels (a usage error that says how many there are).
TCliChannel* LoadCliChannel(const std::string& path, int channel, TCliInput& input, int& exitCode);
