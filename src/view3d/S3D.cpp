#include "view3d/S3D.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "core/Errors.h"
#include "core/Messages.h"
#include "core/Numbers.h"
#include "core/Threads.h"

namespace {

// n / d rounded half to even, d > 0, exactly.
int64_t DivRoundHalfEven(int64_t n, int64_t d) {
    int64_t q = n / d;
    int64_t r = n % d;
    if (r < 0) {  // floor division
        --q;
        r += d;
    }
    if (2 * r > d || (2 * r == d && (q & 1) != 0)) ++q;
    return q;
}

// Rounds half to even; false when x is not a number or too large for a line index.
bool RoundToLine(double x, int64_t& out) {
    if (!(std::fabs(x) < 1.0e12)) return false;
    out = static_cast<int64_t>(std::nearbyint(x));
    return true;
}

}  // namespace

TReliefEdits ReadReliefEdits(const std::string& gainText, const std::string& shiftText) {
    TReliefEdits e;
    e.GainText = gainText;
    e.ShiftText = shiftText;
    if (!TryStrToInt(gainText, e.ZGain)) {
        e.ZGain = 10;
        e.GainText = "10";
    }
    if (!TryStrToInt(shiftText, e.Shift)) {
        e.Shift = 0;
        e.ShiftText = "0";
    }
    return e;
}

void ReliefSize(int32_t cols, int32_t rows, int zGain, int shift, int64_t& width, int64_t& height) {
    width = std::llabs(static_cast<int64_t>(shift)) + (static_cast<int64_t>(cols) - 1) + 40;
    height = (static_cast<int64_t>(rows) - 1) + static_cast<int64_t>(zGain) + 40;
}

TRelief DrawRelief(const TQTVPicture& pic, int zGain, int shift) {
    TRelief out;
    if (!pic.HasData() || pic.Rows < 1) return out;
    const int32_t rows = pic.Rows, cols = pic.Cols;

    int64_t width = 0, height = 0;
    ReliefSize(cols, rows, zGain, shift, width, height);
    if (width < 1 || height < 1) {
        ShowMessage("Picture too small!");
        throw EAbort("Picture too small!");
    }
    if (width > MaxReliefSide || height > MaxReliefSide || width * height > MaxReliefPixels) {
        ShowMessage("Picture too large for this z-Gain and Shift!");
        throw EAbort("Picture too large for this z-Gain and Shift!");
    }
    out.Width = static_cast<int32_t>(width);
    out.Height = static_cast<int32_t>(height);
    out.Pixels.assign(static_cast<size_t>(width * height), TRelief::Background);

    // A constant image has no scale: it lies flat, every sample at colour 0.
    const double range = static_cast<double>(pic.Max) - static_cast<double>(pic.Min);
    const bool flat = range == 0.0;
    const float cs = flat ? 0.0f : static_cast<float>(254.0 / range);
    const float hs = flat ? 0.0f : static_cast<float>(static_cast<double>(zGain) / range);
    const double minValue = pic.Min;
    const int64_t startShift = shift < 1 ? -static_cast<int64_t>(shift) : 0;

    // Every stroke stays in its picture column, and where strokes meet the later sample
    // row wins. Blocks of picture columns are the units of the pool: each draws the
    // strokes that fall into it, sample rows in ascending order as one thread would.
    uint8_t* const pixels = out.Pixels.data();
    constexpr int64_t Block = 256;
    const int64_t blocks = (width + Block - 1) / Block;
    ParallelFor(blocks, 1, [&](int64_t b0, int64_t b1) {
        const int64_t xLo = b0 * Block, xHi = std::min(width, b1 * Block);
        for (int32_t i = 0; i < rows; ++i) {
            const float* row = pic.Data[i];
            const int64_t yb = static_cast<int64_t>(zGain) + i + 20;
            // the row's share of the shift; a single row has none
            const int64_t rowShift = rows > 1 ? DivRoundHalfEven(static_cast<int64_t>(i) * shift, rows - 1) : 0;
            const int64_t x0 = 20 + rowShift + startShift;
            const int64_t jLo = std::max<int64_t>(0, xLo - x0), jHi = std::min<int64_t>(cols, xHi - x0);
            for (int64_t j = jLo; j < jHi; ++j) {
                const int64_t x = x0 + j;
                const double v = static_cast<double>(row[j]) - minValue;
                int64_t lift = 0, e = 0;
                if (!RoundToLine(v * static_cast<double>(hs), lift)) continue;
                if (!RoundToLine(v * static_cast<double>(cs), e)) continue;
                const int64_t yt = yb - lift;
                if (yt < 0 || yt >= height) continue;
                pixels[static_cast<size_t>(yt * width + x)] = static_cast<uint8_t>(e & 0xFF);
                if (yt >= yb) continue;
                const int64_t step = DivRoundHalfEven(e, yb - yt) - 1;
                for (int64_t y = yt + 1; y <= yb; ++y) {
                    if (y >= height) break;  // only the bottom can be left this way
                    e -= step;
                    pixels[static_cast<size_t>(y * width + x)] = static_cast<uint8_t>(e & 0xFF);
                }
            }
        }
    });
    return out;
}

std::string ReliefBitmapFile(const TRelief& relief, const TLogPalette& palette) {
    if (relief.Width <= 0 || relief.Height <= 0) return {};
    const size_t width = static_cast<size_t>(relief.Width), height = static_cast<size_t>(relief.Height);
    const size_t stride = (width + 3) / 4 * 4;
    const size_t offset = 14 + 40 + 256 * 4;
    std::string out(offset + stride * height, '\0');
    auto put16 = [&](size_t at, uint32_t v) {
        out[at] = static_cast<char>(v & 0xFF);
        out[at + 1] = static_cast<char>((v >> 8) & 0xFF);
    };
    auto put32 = [&](size_t at, uint32_t v) {
        for (size_t i = 0; i < 4; ++i) out[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    out[0] = 'B';
    out[1] = 'M';
    put32(2, static_cast<uint32_t>(out.size()));
    put32(10, static_cast<uint32_t>(offset));
    put32(14, 40);
    put32(18, static_cast<uint32_t>(width));
    put32(22, static_cast<uint32_t>(height));
    put16(26, 1);   // planes
    put16(28, 8);   // bits per pixel
    put32(34, static_cast<uint32_t>(stride * height));
    put32(38, 3780);  // 96 pixels per inch
    put32(42, 3780);
    put32(46, 256);
    for (size_t i = 0; i < 256; ++i) {
        const TPaletteEntry& e = palette.Entries[i];
        out[54 + 4 * i] = static_cast<char>(e.Blue);
        out[54 + 4 * i + 1] = static_cast<char>(e.Green);
        out[54 + 4 * i + 2] = static_cast<char>(e.Red);
    }
    for (size_t line = 0; line < height; ++line) {
        const uint8_t* src = relief.Pixels.data() + (height - 1 - line) * width;
        std::copy(src, src + width, reinterpret_cast<uint8_t*>(out.data() + offset + line * stride));
    }
    return out;
}
