// The image record: allocation, value range, default palette and rendering.
#include "core/Picture.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/Messages.h"

// ------------------------------------------------------------------ marks

void TMarks::Resize(int32_t cols, int32_t rows, int32_t value)
{
    if (cols < 0 || rows < 0 || cols > MaxPixels || rows > MaxPixels) throw ERangeError();
    cols_ = cols;
    rows_ = rows;
    cells_.assign(static_cast<size_t>(cols) * static_cast<size_t>(rows), value);
}

void TMarks::Fill(int32_t value)
{
    std::fill(cells_.begin(), cells_.end(), value);
}

// ------------------------------------------------------------------ record

TQTVPicture::TQTVPicture()
{
    MakeDefaultPalette();
}

void TQTVPicture::Clear()
{
    std::vector<float>().swap(Data.block_);
    std::vector<float*>().swap(Data.rows_);
    std::vector<uint8_t>().swap(Bitmap);
    BitmapWidth = 0;
    BitmapHeight = 0;
}

void TQTVPicture::SetSize(int32_t cols, int32_t rows)
{
    // The old grid goes first: its contents are lost in any case.
    std::vector<float>().swap(Data.block_);
    std::vector<float*>().swap(Data.rows_);

    if (cols < 0 || rows < 0) {
        ShowMessage("Picture too small!", TMsgKind::Information, TMsgButtons::OK);
        return;
    }
    // Indices run 0..2052; anything larger can never be addressed. Refuse before
    // allocating so that a hostile size costs nothing.
    if (cols > MaxPixels || rows > MaxPixels) throw ERangeError();

    const size_t n = static_cast<size_t>(cols) * static_cast<size_t>(rows);
    if (n > 0) {
        try {
            Data.rows_.assign(static_cast<size_t>(rows), nullptr);
            // One zero-filled block, row after row, with one spare sample at the end.
            Data.block_.assign(n + 1, 0.0f);
        } catch (const std::bad_alloc&) {
            std::vector<float>().swap(Data.block_);
            std::vector<float*>().swap(Data.rows_);
            ShowMessage("Can\xB4t get memory!", TMsgKind::Information, TMsgButtons::OK);
            return;
        }
        float* p = Data.block_.data();
        for (int32_t r = 0; r < rows; ++r) Data.rows_[static_cast<size_t>(r)] = p + static_cast<size_t>(r) * static_cast<size_t>(cols);
    }

    Bitmap.assign(n, 0);
    BitmapWidth = cols;
    BitmapHeight = rows;

    Rows = rows;
    Para.YPixel = rows;
    Cols = cols;
    Para.XPixel = cols;
    Transformed = false;

    Marks.Resize(cols, rows, 1);
}

void TQTVPicture::UpdateMinMax()
{
    if (Data.empty() || Cols <= 0) return;
    const float* p = Data.block_.data();
    const size_t n = static_cast<size_t>(Rows) * static_cast<size_t>(Cols);
    // Not-a-number samples (0/0 of the arithmetic) take no part in the range.
    size_t i = 0;
    while (i < n && std::isnan(p[i])) ++i;
    if (i == n) {
        Min = 0.0f;
        Max = 0.0f;
        return;
    }
    float mn = p[i], mx = p[i];
    for (; i < n; ++i) {
        const float v = p[i];
        mn = v < mn ? v : mn;
        mx = v > mx ? v : mx;
    }
    Min = mn;
    Max = mx;
}

void TQTVPicture::MakeDefaultPalette()
{
    Palette.Version = 0x300;
    Palette.NumEntries = 256;
    auto byteOf = [](long double x) {
        long long t = static_cast<long long>(std::trunc(x));
        return static_cast<uint8_t>(((t % 256) + 256) % 256);
    };
    for (int k = 0; k < 256; ++k) {
        const long double i = k;
        TPaletteEntry& e = Palette.Entries[static_cast<size_t>(k)];
        e.Blue = static_cast<uint8_t>(byteOf(4.0L * std::trunc(4.457e-4L * i * i + 6.0L)));
        e.Green = byteOf(4.0L * (-7.1e-6L * i * i * i + 0.0026L * i * i + 0.042L * i));
        if (k < 56)
            e.Red = byteOf(4.0L * (0.65954L * i + 3.0L));
        else if (k < 165)
            e.Red = byteOf(4.0L * (0.5027L * i + 16.6L - 0.001526L * i * i));
        else
            e.Red = byteOf(4.0L * (0.0039216L * i + 58.0L));
        e.Flags = 1;
    }
}

void TQTVPicture::Render()
{
    if (Data.empty() || Cols <= 0 || Rows <= 0) return;
    if (FixedRange <= 0) UpdateMinMax();
    if (Max == Min)
        Factor = 1.0f;
    else
        Factor = static_cast<float>(255.0L / (static_cast<long double>(Max) - static_cast<long double>(Min)));

    const size_t cols = static_cast<size_t>(Cols);
    if (Bitmap.size() != cols * static_cast<size_t>(Rows)) Bitmap.assign(cols * static_cast<size_t>(Rows), 0);
    BitmapWidth = Cols;
    BitmapHeight = Rows;

    // (v - Min) is exact in double for any two floats of sensible magnitude; one
    // multiply and one rounding (half to even) per sample.
    const double mn = Min;
    const double f = Factor;
    const float* src = Data.block_.data();
    for (int32_t r = 0; r < Rows; ++r) {
        const float* s = src + static_cast<size_t>(r) * cols;
        uint8_t* d = Bitmap.data() + static_cast<size_t>(Rows - 1 - r) * cols;
        for (size_t c = 0; c < cols; ++c) {
            const double x = (static_cast<double>(s[c]) - mn) * f;
            // !(x > 0) also catches not-a-number samples
            d[c] = !(x > 0.0) ? 0 : x >= 255.0 ? 255 : static_cast<uint8_t>(std::nearbyint(x));
        }
    }
}

uint32_t TQTVPicture::PaletteColor(int i) const
{
    if (i < 0 || i > 255) throw ERangeError();
    const TPaletteEntry& e = Palette.Entries[static_cast<size_t>(i)];
    return 0xFF000000u | (uint32_t(e.Red) << 16) | (uint32_t(e.Green) << 8) | uint32_t(e.Blue);
}

std::vector<uint32_t> TQTVPicture::RenderMarked()
{
    Render();
    std::vector<uint32_t> out;
    if (Data.empty() || Cols <= 0 || Rows <= 0) return out;
    uint32_t lut[256];
    for (int i = 0; i < 256; ++i) lut[i] = PaletteColor(i);
    const size_t cols = static_cast<size_t>(Cols);
    out.resize(cols * static_cast<size_t>(Rows));
    for (size_t k = 0; k < out.size(); ++k) out[k] = lut[Bitmap[k]];
    const int32_t mc = std::min(Cols, Marks.Cols());
    const int32_t mr = std::min(Rows, Marks.Rows());
    for (int32_t r = 0; r < mr; ++r) {
        uint32_t* line = out.data() + static_cast<size_t>(Rows - 1 - r) * cols;
        for (int32_t c = 0; c < mc; ++c)
            if (Marks[c][r] > 0) line[c] = 0xFF000000u | (line[c] & 0x0000FF00u);
    }
    return out;
}

float& TQTVPicture::At(int32_t r, int32_t c)
{
    if (c < 0 || c >= Cols || c > MaxPixelIndex) throw ERangeError();
    return Data[r][c];
}

float TQTVPicture::At(int32_t r, int32_t c) const
{
    if (c < 0 || c >= Cols || c > MaxPixelIndex) throw ERangeError();
    return Data[r][c];
}

void TQTVPicture::CopySamplesFrom(const TQTVPicture& src)
{
    if (&src == this) return;
    SetSize(src.Cols, src.Rows);
    Para = src.Para;
    Min = src.Min;
    Max = src.Max;
    const size_t n = static_cast<size_t>(Rows) * static_cast<size_t>(Cols);
    if (n > 0 && src.Data.Block() && Data.Block())
        std::memcpy(Data.Block(), src.Data.Block(), n * sizeof(float));
}
