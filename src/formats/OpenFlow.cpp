// The open command's file types and the loads of the single-file and Omicron formats.
#include "formats/OpenFlow.h"

#include <stdexcept>

#include "core/Errors.h"
#include "core/Messages.h"
#include "core/Numbers.h"
#include "formats/FieldFiles.h"
#include "formats/LoadFiles.h"
#include "formats/Omicron.h"

TFileKind FileKindOf(const std::string& path)
{
    // Only the file name counts: a dot in a folder name is no extension.
    const std::string name = ExtractFileName(path);
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || name.size() - dot - 1 < 3) return TFileKind::Unknown;
    const std::string ext = name.substr(dot + 1, 3);
    if (ext == "bmp") return TFileKind::Bitmap;
    if (ext == "img" || ext == "IMG") return TFileKind::Burleigh;
    if (ext == "par") return TFileKind::Omicron;
    if (ext == "txt") return TFileKind::Native;
    if (ext == "gwy" || ext == "GWY") return TFileKind::Gwy;
    if (ext == "gsf" || ext == "GSF") return TFileKind::Gsf;
    if (ext == "sxm" || ext == "SXM") return TFileKind::Sxm;
    if (ext[1] == 'f' && ext[2] == 'p') return TFileKind::TopoMetrix;
    return TFileKind::Unknown;
}

const char* FileKindName(TFileKind kind)
{
    switch (kind) {
    case TFileKind::Native: return "native";
    case TFileKind::Burleigh: return "burleigh";
    case TFileKind::TopoMetrix: return "topometrix";
    case TFileKind::Bitmap: return "bitmap";
    case TFileKind::Omicron: return "omicron";
    case TFileKind::Gwy: return "gwy";
    case TFileKind::Gsf: return "gsf";
    case TFileKind::Sxm: return "sxm";
    case TFileKind::Unknown: break;
    }
    return "unknown";
}

bool CheckPictureSize(long long cols, long long rows, bool placed)
{
    std::string text;
    if (cols <= 0 || rows <= 0)
        text = "Picture too small!";
    else if (cols > MaxPixels || rows > MaxPixels)
        text = "Picture too large! " + IntToStr(cols) + " * " + IntToStr(rows) + " pixel, at most " +
               IntToStr(MaxPixels) + " * " + IntToStr(MaxPixels);
    else
        return true;
    if (placed)
        ShowMessageAt(text, TMsgKind::Error, TMsgButtons::OK);
    else
        ShowMessage(text, TMsgKind::Information, TMsgButtons::OK);
    return false;
}

std::string TruncatedText(const std::string& name, long long read, long long expected)
{
    return "File " + name + " is truncated: only " + IntToStr(read) + " of " + IntToStr(expected) +
           " samples read";
}

bool LoadSingleFile(const std::string& path, TFileKind kind, TLoadTarget& target)
{
    switch (kind) {
    case TFileKind::Bitmap:
    case TFileKind::Burleigh:
    case TFileKind::TopoMetrix:
        break;
    case TFileKind::Gwy:
    case TFileKind::Gsf:
    case TFileKind::Sxm:
        return LoadFieldFile(path, kind, target) > 0;
    case TFileKind::Unknown:
        ShowMessage("Unknown file type", TMsgKind::Error, TMsgButtons::OK, "Error");
        return false;
    case TFileKind::Native:
    case TFileKind::Omicron:
        throw std::invalid_argument("LoadSingleFile: not a single-file format");
    }

    const std::string name = ExtractFileName(path);
    if (!FileExists(path)) {
        ShowFileMessage("File " + name + " not found!", {name});
        return false;
    }

    TImageDoc* doc = nullptr;
    try {
        TLoadFiles loader(path);
        doc = target.NewDocument(name);
        doc->FileName = name;
        doc->SourcePath = path;
        doc->SourceChannel = 1;
        if (doc->Title.empty()) doc->Title = name;
        switch (kind) {
        case TFileKind::Burleigh: loader.ReadBurleigh(*doc); break;
        case TFileKind::TopoMetrix: loader.ReadTopoMetrix(*doc); break;
        default: loader.ReadBitmap(*doc); break;
        }
        if (!doc->Picture.HasData()) {
            // The reader refused the file and said why.
            TImageDoc* refused = doc;
            doc = nullptr;
            target.Discard(refused);
            return false;
        }
        if (!loader.ChannelCaption.empty()) {
            doc->Title = name + " - " + loader.ChannelCaption;
            doc->CaptionTag = loader.ChannelCaption;
        }
        target.Finished(doc);
        return true;
    } catch (const ETooManyWindows&) {
        if (doc) target.Discard(doc);  // already said
        return false;
    } catch (...) {
        if (doc) target.Discard(doc);
        ShowMessage("Error during loading!", TMsgKind::Information, TMsgButtons::OK);
        return false;
    }
}

namespace {

// The parameter file as scan information: one line per line feed, without the carriage
// return before it.
std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        size_t stop = end;
        if (stop > start && text[stop - 1] == '\r') --stop;
        lines.push_back(text.substr(start, stop - start));
        start = end + 1;
    }
    return lines;
}

// One Omicron document: created by the target, filled by fill, finished. A failure
// after the document exists discards it with "Error during loading!"; a failure of the
// target itself (too many windows) ends the whole load.
enum class TStep { Finished, Discarded, Stop };

template <typename Fill>
TStep LoadOne(TLoadTarget& target, const std::string& fileName, const std::string& title, Fill fill)
{
    TImageDoc* doc = nullptr;
    try {
        doc = target.NewDocument(fileName);
    } catch (const ETooManyWindows&) {
        return TStep::Stop;  // already said
    } catch (...) {
        ShowMessage("Error during loading!", TMsgKind::Information, TMsgButtons::OK);
        return TStep::Stop;
    }
    try {
        doc->FileName = fileName;
        doc->Title = title;
        if (!fill(*doc)) {
            target.Discard(doc);
            return TStep::Discarded;
        }
        target.Finished(doc);
        return TStep::Finished;
    } catch (...) {
        target.Discard(doc);
        ShowMessage("Error during loading!", TMsgKind::Information, TMsgButtons::OK);
        return TStep::Discarded;
    }
}

}  // namespace

int LoadOmicron(const std::string& path, TLoadTarget& target)
{
    TOmicron omicron;
    try {
        if (!omicron.Convert(path)) return 0;
    } catch (...) {
        ShowMessage("Error during loading!", TMsgKind::Information, TMsgButtons::OK);
        return 0;
    }
    const std::vector<std::string> scanInfo = SplitLines(omicron.ParamText);
    int finished = 0;

    for (int i = 1; i <= omicron.Count(0); ++i) {
        const TTopographicInfo& topo = omicron.Topo[i];
        if (!CheckPictureSize(topo.PixelsX, topo.PixelsY, true)) continue;
        const std::string title = topo.FileName + " :" + topo.Direction + " channel";
        const TStep step = LoadOne(target, ExtractFileName(topo.FileName), title, [&](TImageDoc& doc) {
            doc.ScanInfo = scanInfo;
            doc.CreateImage(topo.PixelsX, topo.PixelsY);
            if (!doc.Picture.HasData()) return false;
            if (!omicron.ReadTopographic(i, doc)) return false;
            TScanPara& para = doc.Picture.Para;
            para.XScanRange = omicron.Scanner.FieldXSize;
            para.YScanRange = omicron.Scanner.FieldYSize;
            para.XPhysUnit = "nm";
            para.YPhysUnit = "nm";
            return true;
        });
        if (step == TStep::Finished) ++finished;
        if (step == TStep::Stop) return finished;
    }

    for (int i = 1; i <= omicron.Count(1); ++i) {
        const TSpectroscopicInfo& info = omicron.Spectro[i];
        if (info.PointCount <= 0) continue;
        if (!CheckPictureSize(info.PointsX, info.LinesY, true)) continue;
        if (!omicron.OpenSpectroscopic(i)) continue;
        // The maps follow one another in the data file; a map that came up short ends
        // the channel, so a hostile point count cannot open windows without data.
        for (int k = 1; k <= info.PointCount; ++k) {
            bool complete = true;
            const std::string dataName = ExtractFileName(info.FileName);
            const TStep step = LoadOne(target, dataName, dataName + " - " + IntToStr(k), [&](TImageDoc& doc) {
                doc.ScanInfo = scanInfo;
                doc.CreateImage(info.PointsX, info.LinesY);
                if (!doc.Picture.HasData()) {
                    complete = false;
                    return false;
                }
                complete = omicron.ReadSpectroscopicMap(i, doc);
                return complete || omicron.LastSamplesRead > 0;
            });
            if (step == TStep::Finished) ++finished;
            if (step == TStep::Stop) {
                omicron.CloseStream();
                return finished;
            }
            if (!complete || step == TStep::Discarded) break;
        }
        omicron.CloseStream();
    }
    return finished;
}

int LoadFieldFile(const std::string& path, TFileKind kind, TLoadTarget& target)
{
    const std::string name = ExtractFileName(path);
    const TFieldFile file(path);
    if (!FileExists(path) || !file.IsOpen()) {
        ShowFileMessage("File " + name + " not found!", {name});
        return 0;
    }
    std::vector<TFieldChannel> channels;
    bool whole = false;
    try {
        switch (kind) {
        case TFileKind::Gwy: whole = ParseGwy(name, file, channels); break;
        case TFileKind::Gsf: whole = ParseGsf(name, file, channels); break;
        case TFileKind::Sxm: whole = ParseSxm(name, file, channels); break;
        default: throw std::invalid_argument("LoadFieldFile: not a Gwyddion or Nanonis file");
        }
    } catch (const EInOutError& e) {
        ShowFileMessage("File " + name + ": " + e.what(), {name}, TMsgKind::Error);
        return 0;
    } catch (const std::bad_alloc&) {
        ShowMessage("Error during loading!", TMsgKind::Information, TMsgButtons::OK);
        return 0;
    }
    if (!whole) return 0;
    if (channels.size() > static_cast<size_t>(MaxChannels)) {
        ShowMessage("Too many files to open! - Skip a few.", TMsgKind::Information, TMsgButtons::OK);
        channels.resize(static_cast<size_t>(MaxChannels));
    }
    int finished = 0, asked = 0;
    for (const TFieldChannel& ch : channels) {
        if (!ch.Problem.empty()) {
            ShowFileMessage("File " + name + ": " + ch.Problem + "; the channel is skipped", {name}, TMsgKind::Error);
            continue;
        }
        ++asked;
        const TStep step = LoadOne(target, name, name, [&](TImageDoc& doc) {
            doc.SourcePath = path;
            doc.SourceChannel = asked;  // as the command-line tool counts them
            FillFieldDoc(ch, file, name, doc);
            return true;
        });
        if (step == TStep::Finished) ++finished;
        if (step == TStep::Stop) break;
    }
    return finished;
}
