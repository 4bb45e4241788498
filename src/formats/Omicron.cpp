// Omicron parameter files: scanner geometry, topographic and spectroscopic channels,
// and their 16-bit big-endian data files.
#include "formats/Omicron.h"

#include <algorithm>
#include <charconv>

#include "core/Messages.h"
#include "core/Numbers.h"
#include "formats/LoadFiles.h"
#include "formats/OpenFlow.h"

namespace {

const char* const TopoChannelKey = "Topographic Channel             :";
const char* const SpectroChannelKey = "Spectroscopy Channel            :";
constexpr size_t MaxLineLength = 255;
constexpr size_t ScannerStart = 467;  // the scanner block follows the fixed header

// Lines of the parameter file: the bytes up to a line feed, which is dropped (a carriage
// return before it stays). A line is at most 255 bytes; the rest of a longer line is
// skipped. The end of the text ends every search.
class TParamLines {
public:
    TParamLines(const std::string& text, size_t pos) : text_(text), pos_(pos < text.size() ? pos : text.size()) {}

    bool Next(std::string& line)
    {
        if (pos_ >= text_.size()) return false;
        size_t end = text_.find('\n', pos_);
        if (end == std::string::npos) end = text_.size();
        line.assign(text_, pos_, std::min(end - pos_, MaxLineLength));
        pos_ = end < text_.size() ? end + 1 : end;
        return true;
    }
    // Reads lines until one contains key; false at the end of the text.
    bool Find(const std::string& key, std::string& line)
    {
        while (Next(line))
            if (line.find(key) != std::string::npos) return true;
        return false;
    }

private:
    const std::string& text_;
    size_t pos_;
};

std::string Trim(const std::string& s)
{
    const char* blanks = " \t\r\n";
    const size_t first = s.find_first_not_of(blanks);
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(blanks) - first + 1);
}

// Numbers in the parameter file always use "." as decimal point.
double ParseReal(const std::string& raw)
{
    std::string text = Trim(raw);
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+') ++first;
    double value = 0;
    const auto res = std::from_chars(first, last, value);
    if (text.empty() || res.ec != std::errc() || res.ptr != last)
        throw EConvertError("'" + text + "' is not a valid floating point value");
    return value;
}

int32_t ParseInteger(const std::string& raw)
{
    std::string text = Trim(raw);
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+') ++first;
    int32_t value = 0;
    const auto res = std::from_chars(first, last, value);
    if (text.empty() || res.ec != std::errc() || res.ptr != last)
        throw EConvertError("'" + text + "' is not a valid integer value");
    return value;
}

// "Key : value ;comment" -> value
std::string AfterColon(const std::string& line)
{
    const size_t colon = line.find(':');
    if (colon == std::string::npos) return {};
    const size_t semi = line.find(';', colon + 1);
    return line.substr(colon + 1, (semi == std::string::npos ? line.size() : semi) - colon - 1);
}

// "value ;Key" -> value
std::string BeforeKey(const std::string& line, const std::string& key)
{
    return line.substr(0, line.find(key));
}

// The character two places after the colon of a channel line.
char DirectionOf(const std::string& line, const std::string& key)
{
    const size_t at = line.find(key) + key.size() + 1;
    return at < line.size() ? line[at] : ' ';
}

}  // namespace

bool TOmicron::Convert(const std::string& fileName)
{
    topoCount_ = 0;
    spectroCount_ = 0;
    Scanner = TScannerInfo{};
    for (auto& t : Topo) t = TTopographicInfo{};
    for (auto& s : Spectro) s = TSpectroscopicInfo{};
    CloseStream();
    ParamText.clear();

    if (!FileExists(fileName) || !ReadWholeFile(fileName, ParamText)) {
        ParamText.clear();
        ShowFileMessageAt("File " + fileName + " does not exist, Conversion aborted", {fileName}, TMsgKind::Error,
                          TMsgButtons::OK);
        return false;
    }
    DataFolder = ExtractFileDir(fileName);

    const std::string head = ParamText.substr(0, 254);
    if (head.find("Omicron SPM Control") == std::string::npos &&
        head.find("Parameter file for SPM data") == std::string::npos) {
        ShowMessageAt("File-Format mismatch!", TMsgKind::Error, TMsgButtons::OK);
        return true;
    }

    TParamLines lines(ParamText, ScannerStart);
    std::string line;

    // Scanner block: the keys come in this order; a missing one ends the search.
    bool scanner = true;
    auto scannerReal = [&](const char* key, double& value) {
        if (scanner && lines.Find(key, line)) value = ParseReal(AfterColon(line));
        else scanner = false;
    };
    scannerReal("Field X Size in nm", Scanner.FieldXSize);
    scannerReal("Field Y Size in nm", Scanner.FieldYSize);
    if (scanner && lines.Find("Image Size in X", line)) Scanner.ImageSizeX = ParseInteger(AfterColon(line));
    else scanner = false;
    if (scanner && lines.Find("Image Size in Y", line)) Scanner.ImageSizeY = ParseInteger(AfterColon(line));
    else scanner = false;
    scannerReal("Increment X", Scanner.IncrementX);
    scannerReal("Increment Y", Scanner.IncrementY);
    scannerReal("Scan Angle", Scanner.ScanAngle);
    scannerReal("X Offset", Scanner.XOffset);
    scannerReal("Y Offset", Scanner.YOffset);

    // Topographic channels, from where the scanner block ended. A channel whose keys
    // do not all follow is not counted.
    bool tooManyTopo = false;
    while (lines.Find(TopoChannelKey, line)) {
        if (topoCount_ == MaxOmicronChannels) {
            tooManyTopo = true;
            break;
        }
        TTopographicInfo info;
        info.Direction = DirectionOf(line, TopoChannelKey);
        info.PixelsX = static_cast<int32_t>(Scanner.ImageSizeX);
        info.PixelsY = static_cast<int32_t>(Scanner.ImageSizeY);
        if (!lines.Find(";Minimum raw value", line)) break;
        info.MinRaw = static_cast<float>(ParseReal(BeforeKey(line, ";Minimum raw value")));
        if (!lines.Find(";Maximum raw value", line)) break;
        info.MaxRaw = static_cast<float>(ParseReal(BeforeKey(line, ";Maximum raw value")));
        if (!lines.Find(";Minimum value in physical unit", line)) break;
        info.MinPhys = static_cast<float>(ParseReal(BeforeKey(line, ";Minimum value in physical unit")));
        if (!lines.Find(";Maximum value in physical unit", line)) break;
        info.MaxPhys = static_cast<float>(ParseReal(BeforeKey(line, ";Maximum value in physical unit")));
        if (!lines.Find(";Resolution", line)) break;
        info.Resolution = static_cast<float>(ParseReal(BeforeKey(line, ";Resolution")));
        if (!lines.Find("Physical unit", line)) break;
        const std::string unit = Trim(line.substr(0, line.find(';')));
        info.Unit = (unit == "nA" || unit == "nm") ? unit : std::string();
        if (!lines.Find(";Filename", line)) break;
        info.FileName = DataFolder + Trim(BeforeKey(line, ";Filename"));
        Topo[++topoCount_] = info;
    }

    // Spectroscopic channels, from the start of the file.
    bool tooManySpectro = false;
    TParamLines all(ParamText, 0);
    while (all.Find(SpectroChannelKey, line)) {
        if (spectroCount_ == MaxOmicronChannels) {
            tooManySpectro = true;
            break;
        }
        TSpectroscopicInfo info;
        info.Direction = DirectionOf(line, SpectroChannelKey);
        if (!all.Find(";Resolution", line)) break;
        info.Resolution = static_cast<float>(ParseReal(BeforeKey(line, ";Resolution")));
        if (!all.Find(";Number of spectroscopy points", line)) break;
        info.PointCount = ParseInteger(BeforeKey(line, ";Number of spectroscopy points"));
        if (!all.Find(";Filename", line)) break;
        info.FileName = DataFolder + Trim(BeforeKey(line, ";Filename"));
        if (!all.Find("Spectroscopy Points in X", line)) break;
        info.PointsX = ParseInteger(AfterColon(line));
        if (!all.Find("Spectroscopy Lines in Y", line)) break;
        info.LinesY = ParseInteger(AfterColon(line));
        Spectro[++spectroCount_] = info;
    }

    if (tooManyTopo || tooManySpectro)
        ShowMessageAt("More than " + IntToStr(MaxOmicronChannels) + " channels of one kind: only the first " +
                          IntToStr(MaxOmicronChannels) + " are read",
                      TMsgKind::Information, TMsgButtons::OK);

    // Asked only when there is spectroscopy to leave out.
    if (spectroCount_ == 0) return true;
    const std::string question = "Found " + IntToStr(topoCount_) + " topographic and" + IntToStr(spectroCount_) +
                                 " spectroscopic image(s)" + "\r" + "       Read spectroscopy data?";
    switch (ShowMessageAt(question, TMsgKind::Information, TMsgButtons::YesNoCancel)) {
    case TMsgResult::No: spectroCount_ = 0; break;
    case TMsgResult::Cancel:
        topoCount_ = 0;
        spectroCount_ = 0;
        break;
    default: break;
    }
    return true;
}

int TOmicron::Count(int kind) const
{
    if (kind == 0) return topoCount_;
    if (kind == 1) return spectroCount_;
    return 0;
}

// Samples of one picture from bytes at pos: signed 16-bit, high byte first, raw x
// resolution. The file holds lines of pixelsX values, the first line being row 0 (the
// bottom row). Only what lies inside the record is stored.
bool TOmicron::ReadSamples(const std::string& bytes, size_t& pos, const std::string& name, float resolution,
                           int32_t pixelsX, int32_t pixelsY, TImageDoc& doc)
{
    LastSamplesRead = 0;
    TQTVPicture& pic = doc.Picture;
    if (!pic.HasData() || pixelsX <= 0 || pixelsY <= 0) return false;
    const int64_t expected = static_cast<int64_t>(pixelsX) * pixelsY;
    const size_t available = pos <= bytes.size() ? (bytes.size() - pos) / 2 : 0;
    const int64_t count = std::min<int64_t>(expected, static_cast<int64_t>(available));
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data()) + pos;
    for (int64_t n = 0; n < count; ++n, p += 2) {
        const int32_t a = static_cast<int32_t>(n / pixelsX);
        const int32_t b = static_cast<int32_t>(n % pixelsX);
        if (a >= pic.Rows || b >= pic.Cols) continue;
        const auto raw = static_cast<int16_t>(static_cast<uint16_t>((p[0] << 8) | p[1]));
        pic.Data[a][b] = static_cast<float>(raw) * resolution;
    }
    pos += static_cast<size_t>(count) * 2;
    LastSamplesRead = count;
    if (count < expected) {
        ShowFileMessageAt(TruncatedText(name, count, expected), {name}, TMsgKind::Error, TMsgButtons::OK);
        return false;
    }
    return true;
}

bool TOmicron::ReadTopographic(int i, TImageDoc& doc)
{
    if (i < 1 || i > topoCount_) throw ERangeError();
    const TTopographicInfo& info = Topo[i];
    LastSamplesRead = 0;
    std::string bytes;
    if (!FileExists(info.FileName) || !ReadWholeFile(info.FileName, bytes)) {
        ShowFileMessageAt("Cannot open file " + info.FileName, {info.FileName}, TMsgKind::Error, TMsgButtons::OK);
        return false;
    }
    size_t pos = 0;
    ReadSamples(bytes, pos, info.FileName, info.Resolution, info.PixelsX, info.PixelsY, doc);
    doc.Picture.Para.PhysUnit = info.Unit;
    return LastSamplesRead > 0;
}

bool TOmicron::OpenSpectroscopic(int i)
{
    if (i < 1 || i > spectroCount_) throw ERangeError();
    CloseStream();
    const std::string& name = Spectro[i].FileName;
    if (!FileExists(name) || !ReadWholeFile(name, stream_)) {
        stream_.clear();
        ShowFileMessageAt("Cannot open file " + name, {name}, TMsgKind::Error, TMsgButtons::OK);
        return false;
    }
    streamPos_ = 0;
    streamOpen_ = true;
    return true;
}

bool TOmicron::ReadSpectroscopicMap(int i, TImageDoc& doc)
{
    if (i < 1 || i > spectroCount_) throw ERangeError();
    LastSamplesRead = 0;
    if (!streamOpen_) return false;
    const TSpectroscopicInfo& info = Spectro[i];
    return ReadSamples(stream_, streamPos_, info.FileName, info.Resolution, info.PointsX, info.LinesY, doc);
}

void TOmicron::CloseStream()
{
    std::string().swap(stream_);
    streamPos_ = 0;
    streamOpen_ = false;
}
