// Burleigh image files: an 8-byte header (format mark, columns, rows), 12-bit samples
// and a 40-byte trailer of scan parameters at the end of the file.
#include <cstring>

#include "core/Messages.h"
#include "core/Numbers.h"
#include "formats/LoadFiles.h"
#include "formats/OpenFlow.h"

namespace {

constexpr size_t HeaderSize = 8;
constexpr size_t TrailerSize = 40;
const char* const ReadErrorText = "Read error encountered, process canceled";

const unsigned char* Bytes(const std::string& s, size_t at)
{
    return reinterpret_cast<const unsigned char*>(s.data()) + at;
}
uint16_t U16(const std::string& s, size_t at)
{
    const unsigned char* p = Bytes(s, at);
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
int16_t S16(const std::string& s, size_t at) { return static_cast<int16_t>(U16(s, at)); }
uint32_t U32(const std::string& s, size_t at)
{
    const unsigned char* p = Bytes(s, at);
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}
float F32(const std::string& s, size_t at)
{
    const uint32_t bits = U32(s, at);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

}  // namespace

void TLoadFiles::ReadBurleigh(TImageDoc& doc)
{
    std::string file;
    if (!ReadWholeFile(filePath_, file)) throw EInOutError("Cannot read file " + filePath_, filePath_);

    static const unsigned char mark[4] = {0x66, 0x66, 0x06, 0x40};
    if (file.size() < 4 || std::memcmp(file.data(), mark, 4) != 0) {
        ShowMessage("File no valid Burleigh-format!", TMsgKind::Error, TMsgButtons::OK);
        return;
    }
    // Without the sizes, a trailer of its own and at least one sample there is nothing
    // to show.
    if (file.size() < HeaderSize + 2 + TrailerSize) {
        ShowMessage(ReadErrorText, TMsgKind::Error, TMsgButtons::OK);
        return;
    }
    const int32_t cols = S16(file, 4);
    const int32_t rows = S16(file, 6);
    if (!CheckPictureSize(cols, rows)) return;
    doc.CreateImage(cols, rows);
    TQTVPicture& pic = doc.Picture;
    if (!pic.HasData()) return;

    const size_t t = file.size() - TrailerSize;
    const uint32_t maxRangeX = U32(file, t + 0), maxRangeY = U32(file, t + 4), maxRangeZ = U32(file, t + 8);
    const uint32_t rangeX = U32(file, t + 12), rangeY = U32(file, t + 16), rangeZ = U32(file, t + 20);
    const uint16_t delay = U16(file, t + 24);
    const int16_t zoom = S16(file, t + 26);
    const int16_t dataType = S16(file, t + 28);
    const float bias = F32(file, t + 32);
    const float current = F32(file, t + 36);

    std::string zoomText = "unknown";
    double zoomFactor = 1;
    switch (zoom) {
    case 1: zoomText = "1"; zoomFactor = 1; break;
    case 2: zoomText = "2"; zoomFactor = 2; break;
    case 3: zoomText = "10"; zoomFactor = 10; break;
    case 4: zoomText = "50"; zoomFactor = 50; break;
    case 5: zoomText = "250"; zoomFactor = 250; break;
    default: break;
    }
    const bool height = dataType == 1;

    auto& info = doc.ScanInfo;
    info.push_back("max scan range X : " + IntToStr(maxRangeX) + " Angstoem");
    info.push_back("max scan range Y : " + IntToStr(maxRangeY) + " Angstoem");
    info.push_back("max scan range Z : " + IntToStr(maxRangeZ) + " Angstoem");
    info.push_back("scan range X : " + IntToStr(rangeX) + " \xC5");
    info.push_back("scan range Y : " + IntToStr(rangeY) + " \xC5");
    info.push_back("scan range Z : " + IntToStr(rangeZ) + " \xC5");
    info.push_back(FormatShortest(delay * 0.05L) + " ms delay between samples");
    info.push_back("zoom level : " + zoomText);
    info.push_back(std::string("data type : ") + (height ? "Height" : "Current"));
    info.push_back("bias voltage : " + FormatShortest(bias) + " mV");
    info.push_back("tnneling current : " + FormatShortest(current) + " nA");
    info.push_back(IntToStr(cols) + " * " + IntToStr(rows) + " pixel");

    TScanPara& para = pic.Para;
    para.Scale = rangeZ;
    para.XPhysUnit = "\xC5";
    para.YPhysUnit = "\xC5";
    para.XScanRange = rangeX / zoomFactor;
    para.YScanRange = rangeY / zoomFactor;
    para.PhysUnit = height ? "\xC5" : "pA";
    para.XPixel = cols;
    para.YPixel = rows;

    // Samples: Rows lines of Cols values, the first line being the top row. They lie
    // between the header and the trailer; running into the trailer means the file is
    // short, and the samples not read stay 0.
    const unsigned char* p = Bytes(file, HeaderSize);
    const unsigned char* end = Bytes(file, t);
    for (int32_t line = 0; line < rows; ++line) {
        float* row = pic.Data[rows - 1 - line];
        for (int32_t c = 0; c < cols; ++c) {
            if (end - p < 2) {
                ShowMessage(ReadErrorText, TMsgKind::Error, TMsgButtons::OK);
                return;
            }
            unsigned lo = p[0], hi = p[1];
            p += 2;
            if (hi > 15) {
                // One byte out of step: the high byte is really the low byte of this sample.
                if (p == end) {
                    ShowMessage(ReadErrorText, TMsgKind::Error, TMsgButtons::OK);
                    return;
                }
                lo = hi;
                hi = *p++;
            }
            unsigned value = hi * 256 + lo;
            if (value > 4095) {
                Beep();
                value = 4095;
            }
            row[c] = static_cast<float>(value);
        }
    }
}
