#include "frontend/Run.h"

#include "core/Messages.h"
#include "frontend/Input.h"

std::vector<TOperation> ParseOperations(const std::vector<std::string>& texts)
{
    std::vector<TOperation> ops;
    ops.reserve(texts.size());
    for (const std::string& text : texts) ops.push_back(ParseOperation(text));
    return ops;
}

void RunOperations(TImageDoc& doc, const std::vector<TOperation>& ops)
{
    for (const TOperation& op : ops) {
        ApplyOperation(op, doc);
        doc.Picture.UpdateRange();
        doc.History.push_back(HistoryEntry(op));
    }
}

std::unique_ptr<TImageDoc> LoadOneChannel(const std::string& path, int channel)
{
    TCliInput input;
    if (!LoadInputShown(path, channel, input)) return nullptr;
    for (auto& ch : input.Channels)
        if (ch.Index == channel && ch.Doc && ch.Doc->Picture.HasData()) return std::move(ch.Doc);
    ShowFileMessage("channel " + std::to_string(channel) + " of " + path + " could not be loaded", {path});
    return nullptr;
}
