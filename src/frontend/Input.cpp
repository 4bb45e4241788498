#include "frontend/Input.h"

#include <algorithm>
#include <cstdio>
#include <functional>

#include "formats/LoadFiles.h"

namespace {
bool ValidUtf8(const std::string& s) {
    size_t i = 0;
    const size_t n = s.size();
    while (i < n) {
        const auto b = static_cast<unsigned char>(s[i]);
        size_t len;
        uint32_t cp;
        if (b < 0x80) {
            ++i;
            continue;
        } else if ((b & 0xE0) == 0xC0) {
            len = 2;
            cp = b & 0x1F;
        } else if ((b & 0xF0) == 0xE0) {
            len = 3;
            cp = b & 0x0F;
        } else if ((b & 0xF8) == 0xF0) {
            len = 4;
            cp = b & 0x07;
        } else {
            return false;
        }
        if (i + len > n) return false;
        for (size_t k = 1; k < len; ++k) {
            const auto c = static_cast<unsigned char>(s[i + k]);
            if ((c & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        // no overlong forms, surrogates or values beyond Unicode
        static const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < least[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += len;
    }
    return true;
}
}  // namespace

std::string PathToUtf8(const std::string& name) { return ValidUtf8(name) ? name : Latin1ToUtf8(name); }

TMsgResult TCliMessageSink::Show(const TMessage& msg) {
    // A question is answered by the command line's options: nothing to tell.
    if (msg.Buttons == TMsgButtons::YesNo || msg.Buttons == TMsgButtons::YesNoCancel) return Question;
    std::string text;
    for (const TMessagePart& part : MessageParts(msg.Text, msg.Names))
        text += part.IsName ? PathToUtf8(part.Bytes) : Latin1ToUtf8(part.Bytes);
    Texts.push_back(text);
    // One output line per message line; CR LF or a lone CR inside a message break it.
    std::string lines;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n') continue;
            lines.push_back('\n');
        } else {
            lines.push_back(text[i]);
        }
    }
    std::fprintf(stderr, "%s\n", lines.c_str());
    std::fflush(stderr);
    switch (msg.Buttons) {
    case TMsgButtons::YesNo:
    case TMsgButtons::YesNoCancel:
        return Question;
    default:
        return TMsgResult::OK;
    }
}

namespace {

// Collects the documents of a load; each finished one is rendered, as a window
// would be, so that Min and Max are what the display shows.
class TCollectTarget : public TLoadTarget {
public:
    explicit TCollectTarget(std::function<int()> order) : order_(std::move(order)) {}

    TImageDoc* NewDocument(const std::string& fileName) override {
        auto doc = std::make_unique<TImageDoc>();
        doc->FileName = fileName;
        doc->Title = fileName;
        TImageDoc* raw = doc.get();
        pending_.push_back({order_(), fileName, std::move(doc)});
        return raw;
    }
    void Finished(TImageDoc* doc) override {
        auto it = Find(doc);
        if (it == pending_.end()) return;
        doc->Picture.UpdateRange();
        done_.push_back(std::move(*it));
        pending_.erase(it);
    }
    void Discard(TImageDoc* doc) override {
        auto it = Find(doc);
        if (it != pending_.end()) pending_.erase(it);
    }
    std::vector<TCliChannel> Take() {
        std::stable_sort(done_.begin(), done_.end(),
                         [](const TCliChannel& a, const TCliChannel& b) { return a.Index < b.Index; });
        return std::move(done_);
    }

private:
    std::vector<TCliChannel>::iterator Find(const TImageDoc* doc) {
        return std::find_if(pending_.begin(), pending_.end(),
                            [doc](const TCliChannel& c) { return c.Doc.get() == doc; });
    }
    std::function<int()> order_;
    std::vector<TCliChannel> pending_, done_;
};

bool IsNativeName(const std::string& path) {
    // The open command's rule: the three characters after the last dot, case-sensitive.
    const std::string name = ExtractFileName(path);
    const size_t dot = name.find_last_of('.');
    return dot != std::string::npos && name.compare(dot + 1, 3, "txt") == 0 &&
           name.size() - dot - 1 >= 3;
}

}  // namespace

bool LoadInput(const std::string& path, int channel, TCliInput& input) {
    input = TCliInput();
    input.Kind = IsNativeName(path) ? TFileKind::Native : FileKindOf(path);

    if (input.Kind == TFileKind::Native) {
        input.Format = "native";
        TLoadFiles loader(path);
        const bool found = loader.ReadParamFile();
        if (found && !loader.Version().empty()) input.Version = loader.Version();
        if (!found) return true;
        std::vector<bool> checked(static_cast<size_t>(loader.Count()) + 1, channel == 0);
        if (channel > 0 && channel <= loader.Count()) checked[static_cast<size_t>(channel)] = true;
        TCollectTarget target([&loader] { return loader.LoadingChannel(); });
        input.ChannelCount = loader.Count();
        loader.LoadChecked(checked, target);
        input.Channels = target.Take();
        for (auto& ch : input.Channels) ch.DataFile = ch.Doc->FileName;
        return true;
    }
    if (input.Kind == TFileKind::Unknown) {
        ShowMessage("Unknown file type", TMsgKind::Error, TMsgButtons::OK, "Error");
        return false;
    }
    input.Format = FileKindName(input.Kind);
    int arrival = 0;
    TCollectTarget target([&arrival] { return ++arrival; });
    if (input.Kind == TFileKind::Omicron)
        LoadOmicron(path, target);
    else
        LoadSingleFile(path, input.Kind, target);
    input.Channels = target.Take();
    input.ChannelCount = static_cast<int>(input.Channels.size());
    for (auto& ch : input.Channels)
        ch.DataFile = ch.Doc->FileName.empty() ? ExtractFileName(path) : ch.Doc->FileName;
    return true;
}

void CliComplain(const std::string& text)
{
    std::fprintf(stderr, "morvane-cli: %s\n", text.c_str());
    std::fflush(stderr);
}

bool LoadInputShown(const std::string& path, int channel, TCliInput& input)
{
    try {
        return LoadInput(path, channel, input);
    } catch (const std::exception& e) {
        ShowFailure(e);
        return false;
    }
}

TCliChannel* LoadCliChannel(const std::string& path, int channel, TCliInput& input, int& exitCode)
{
    exitCode = 1;
    if (!LoadInputShown(path, channel, input)) return nullptr;
    for (auto& ch : input.Channels)
        if (ch.Index == channel) return &ch;
    if (channel > input.ChannelCount) {
        CliComplain("--channel " + std::to_string(channel) + ": " + PathToUtf8(path) + " has " +
                    std::to_string(input.ChannelCount) + (input.ChannelCount == 1 ? " channel" : " channels"));
        if (input.ChannelCount > 0) exitCode = 2;
        return nullptr;
    }
    CliComplain("channel " + std::to_string(channel) + " of " + PathToUtf8(path) + " could not be loaded");
    return nullptr;
}
