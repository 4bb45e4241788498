// TopoMetrix image files: a 512-byte header and a block of 16-bit counts.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/Messages.h"
#include "core/Numbers.h"
#include "formats/LoadFiles.h"
#include "formats/OpenFlow.h"

namespace {

constexpr size_t HeaderSize = 512;

int32_t S32(const std::string& s, size_t at)
{
    const auto* p = reinterpret_cast<const unsigned char*>(s.data()) + at;
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                                (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24));
}
float F32(const std::string& s, size_t at)
{
    const auto bits = static_cast<uint32_t>(S32(s, at));
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}
// A character field of the header, as stored; a zero byte ends the text.
std::string Text(const std::string& s, size_t at, size_t length)
{
    std::string t = s.substr(at, length);
    const size_t nul = t.find('\0');
    if (nul != std::string::npos) t.resize(nul);
    return t;
}

// A unit field without the blanks that pad it.
std::string Trimmed(const std::string& s)
{
    const size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return std::string();
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

}  // namespace

void TLoadFiles::ReadTopoMetrix(TImageDoc& doc)
{
    std::string file;
    if (!ReadWholeFile(filePath_, file)) throw EInOutError("Cannot read file " + filePath_, filePath_);
    const std::string name = ExtractFileName(filePath_);

    if (file.size() < HeaderSize) {
        ShowFileMessage("File " + name + " is truncated: the 512-byte header is incomplete", {name}, TMsgKind::Error,
                    TMsgButtons::OK);
        return;
    }
    const int32_t dataOffset = S32(file, 260);
    const int32_t rows = S32(file, 406);
    const int32_t cols = S32(file, 410);
    if (!CheckPictureSize(cols, rows)) return;

    const long long expected = static_cast<long long>(rows) * cols;
    long long available = 0;
    if (dataOffset >= 0 && static_cast<size_t>(dataOffset) <= file.size())
        available = static_cast<long long>((file.size() - static_cast<size_t>(dataOffset)) / 2);
    const long long count = std::min(expected, available);
    if (count == 0) {
        ShowFileMessage(TruncatedText(name, 0, expected), {name}, TMsgKind::Error);
        return;
    }

    doc.CreateImage(cols, rows);
    TQTVPicture& pic = doc.Picture;
    if (!pic.HasData()) return;

    const float xMin = F32(file, 418), xMax = F32(file, 422), yMin = F32(file, 426), yMax = F32(file, 430);
    const float zScale = F32(file, 434), zOffset = F32(file, 438);
    const std::string zUnit = Text(file, 450, 10);
    const std::string xyUnit = Text(file, 460, 10);

    auto& info = doc.ScanInfo;
    info.push_back(Text(file, 0, 128));
    info.push_back(Text(file, 128, 128));
    info.push_back("description : " + Text(file, 300, 40));
    info.push_back("X min  : " + FormatShortest(xMin) + xyUnit);
    info.push_back("X max  : " + FormatShortest(xMax) + xyUnit);
    info.push_back("Y min  : " + FormatShortest(yMin) + xyUnit);
    info.push_back("Y max  : " + FormatShortest(yMax) + xyUnit);
    info.push_back("Z unit : " + zUnit);

    // Lateral ranges and units from the header's extent, so the axes read as measured.
    auto extent = [](float lo, float hi) {
        const double d = std::fabs(static_cast<double>(hi) - static_cast<double>(lo));
        return std::isfinite(d) ? d : 0.0;
    };
    TScanPara& para = pic.Para;
    para.XScanRange = extent(xMin, xMax);
    para.YScanRange = extent(yMin, yMax);
    para.XPhysUnit = Trimmed(xyUnit);
    para.YPhysUnit = para.XPhysUnit;
    para.PhysUnit = Trimmed(zUnit);

    // The block holds one group per image column, left to right; each group runs from
    // the bottom row upwards: Cols groups of Rows values.
    const auto* p = reinterpret_cast<const unsigned char*>(file.data()) + dataOffset;
    for (long long n = 0; n < count; ++n, p += 2) {
        const auto col = static_cast<int32_t>(n / rows);
        const auto row = static_cast<int32_t>(n % rows);
        const unsigned counts = p[0] | (p[1] << 8);
        pic.Data[row][col] = static_cast<float>(counts * static_cast<long double>(zScale) + zOffset);
    }
    if (count < expected) ShowFileMessage(TruncatedText(name, count, expected), {name}, TMsgKind::Error);
}
