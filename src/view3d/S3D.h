#pragma once
// The relief of the simple 3-D view: an image drawn as an oblique stack of height
// profiles. Every sample becomes a vertical stroke, as long as its height above the
// image minimum times the gain, coloured through the image's palette from the top
// (the sample's own colour) downwards; each sample row starts one line lower than the
// one before and is moved sideways by its share of the shift, so the rows form a
// slanted relief. Sample row 0 lies at the top; later rows cover the lower parts of
// the strokes before them.
#include <cstdint>
#include <string>
#include <vector>

#include "core/Picture.h"

// Settings section and keys of the simple 3-D view, with the texts used when missing.
inline constexpr const char* ReliefSection = "S3D";
inline constexpr const char* ReliefGainKey = "zGain";
inline constexpr const char* ReliefShiftKey = "Shift";
inline constexpr const char* ReliefGainDefault = "10";
inline constexpr const char* ReliefShiftDefault = "10";

// The two edits read as integers. Text that is not an integer falls back to a gain of
// 10 and a shift of 0; the text the edit then shows is in GainText / ShiftText.
struct TReliefEdits {
    int ZGain = 10;
    int Shift = 0;
    std::string GainText;
    std::string ShiftText;
};
TReliefEdits ReadReliefEdits(const std::string& gainText, const std::string& shiftText);

// The drawn relief: 8-bit palette indices into the image's palette, lines top-down.
struct TRelief {
    static constexpr uint8_t Background = 255;
    int32_t Width = 0;
    int32_t Height = 0;
    std::vector<uint8_t> Pixels;
    uint8_t At(int32_t x, int32_t y) const {
        return Pixels[static_cast<size_t>(y) * static_cast<size_t>(Width) + static_cast<size_t>(x)];
    }
};

// The size of the relief of a cols x rows image: |shift| + cols - 1 + 40 wide,
// rows - 1 + zGain + 40 high (64-bit, so that no gain or shift overflows).
void ReliefSize(int32_t cols, int32_t rows, int zGain, int shift, int64_t& width, int64_t& height);

// Largest relief drawn, in pixels (and in either direction).
inline constexpr int64_t MaxReliefPixels = int64_t{1} << 27;
inline constexpr int64_t MaxReliefSide = 32767;

// Draws the relief of pic's samples with pic's Min and Max:
//   stroke base line  yb = zGain + i + 20 (sample row i, from the top)
//   stroke column     x  = j + 20 + round(i / (Rows - 1) * shift), plus |shift| when shift < 1
//   top line          yt = yb - round((v - Min) * zGain / (Max - Min))
//   top colour        e  = round((v - Min) * 254 / (Max - Min))
// and below the top e falls by round(e / (yb - yt)) - 1 per line down to the base line.
// Both scales are 32-bit floats; rounding is half to even. A stroke ends at the first
// of its pixels that lies outside the picture; a sample that is not a number draws no
// stroke. An image whose Max equals Min is drawn flat: every stroke is one pixel of
// colour 0 on its base line. A gain or shift that would make the picture empty or
// larger than MaxReliefPixels / MaxReliefSide is refused with "Picture too large for
// this z-Gain and Shift!" (or "Picture too small!") and EAbort. Without samples the
// result is empty.
TRelief DrawRelief(const TQTVPicture& pic, int zGain, int shift);

// The relief as a Windows bitmap file: 8 bits per pixel with the 256 colours of
// palette, lines bottom-up and padded to four bytes. An empty relief gives "".
std::string ReliefBitmapFile(const TRelief& relief, const TLogPalette& palette);
