#include "processing/Histogram.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "core/Numbers.h"

namespace {

// Bin of v: round((v - low) / width), half to even, clamped into 0..174; -1 for NaN.
inline int32_t BinOf(double v, double low, double width)
{
    const double k = std::nearbyint((v - low) / width);
    if (std::isnan(k)) return -1;
    if (k <= 0) return 0;
    if (k >= HistogramBins - 1) return HistogramBins - 1;
    return static_cast<int32_t>(k);
}

}  // namespace

void THistogram::Count(const TQTVPicture& pic)
{
    HistLow = pic.Min;
    HistHigh = pic.Max;
    BinCount.fill(0);
    Selected.fill(false);
    MaxCount = 0;
    BinWidth = (HistHigh - HistLow) / static_cast<float>(HistogramBins);
    if (BinWidth == 0) BinWidth = 1.0f;
    if (!pic.HasData()) return;
    const float* p = pic.Data.Block();
    const size_t n = static_cast<size_t>(pic.Rows) * static_cast<size_t>(pic.Cols);
    const double low = HistLow, width = BinWidth;
    for (size_t k = 0; k < n; ++k) {
        const int32_t b = BinOf(p[k], low, width);
        if (b >= 0) ++BinCount[static_cast<size_t>(b)];
    }
    MaxCount = *std::max_element(BinCount.begin(), BinCount.end());
}

void THistogram::Select(int32_t from, int32_t to, bool selected)
{
    from = std::clamp(from, 0, HistogramBins - 1);
    to = std::clamp(to, 0, HistogramBins - 1);
    if (from > to) std::swap(from, to);
    for (int32_t k = from; k <= to; ++k) Selected[static_cast<size_t>(k)] = selected;
}

std::vector<std::pair<double, double>> THistogram::SelectedBands() const
{
    std::vector<std::pair<double, double>> bands;
    for (int32_t k = 0; k < HistogramBins;) {
        if (!Selected[static_cast<size_t>(k)]) {
            ++k;
            continue;
        }
        int32_t b = k;
        while (b + 1 < HistogramBins && Selected[static_cast<size_t>(b + 1)]) ++b;
        bands.emplace_back(static_cast<double>(HistLow) + k * static_cast<double>(BinWidth),
                           static_cast<double>(HistLow) + (b + 1) * static_cast<double>(BinWidth));
        k = b + 1;
    }
    return bands;
}

void THistogram::UpdateMarks(TQTVPicture& pic) const { MarkValueBands(pic, SelectedBands()); }

void MarkValueBands(TQTVPicture& pic, const std::vector<std::pair<double, double>>& bands)
{
    pic.Marks.Fill(0);
    if (!pic.HasData()) return;
    if (bands.empty()) return;
    const int32_t cols = std::min(pic.Cols, pic.Marks.Cols());
    const int32_t rows = std::min(pic.Rows, pic.Marks.Rows());
    const TQTVPicture& src = pic;
    const float* base = src.Data.Block();
    // marks are stored column by column: go through the image in bands of rows
    constexpr int32_t Band = 64;
    for (int32_t r0 = 0; r0 < rows; r0 += Band) {
        const int32_t r1 = std::min(rows, r0 + Band);
        for (int32_t c = 0; c < cols; ++c) {
            int32_t* marks = pic.Marks[c];
            for (int32_t r = r0; r < r1; ++r) {
                const double v = base[static_cast<size_t>(r) * pic.Cols + c];
                for (const auto& [lo, hi] : bands)
                    if (lo < v && v < hi) {
                        marks[r] = 1;
                        break;
                    }
            }
        }
    }
}

void THistogram::ClipLimits(float& low, float& high) const
{
    low = HistLow;
    high = HistHigh;
    const double l = HistLow, w = BinWidth;
    for (int32_t k = 0; k < HistogramBins; ++k)
        if (Selected[static_cast<size_t>(k)]) {
            low = static_cast<float>(l + w * k);
            break;
        }
    for (int32_t k = HistogramBins - 1; k >= 1; --k)
        if (Selected[static_cast<size_t>(k)]) {
            high = static_cast<float>(l + w * k);
            break;
        }
}

int32_t THistogram::BarTop(int32_t k, int32_t h) const
{
    if (k < 0 || k >= HistogramBins || MaxCount <= 0) return h;
    const int32_t count = BinCount[static_cast<size_t>(k)];
    if (count <= 0) return h;
    return h - static_cast<int32_t>(std::nearbyint(static_cast<double>(count) / MaxCount * h));
}

void ClipToBand(const TQTVPicture& source, TQTVPicture& working, float low, float high)
{
    if (working.Cols != source.Cols || working.Rows != source.Rows)
        working.SetSize(source.Cols, source.Rows);
    if (source.HasData()) {
        const float* s = source.Data.Block();
        float* w = working.Data.Block();
        const size_t n = static_cast<size_t>(source.Rows) * static_cast<size_t>(source.Cols);
        for (size_t k = 0; k < n; ++k) {
            float v = s[k];
            if (v < low) v = low;
            if (v > high) v = high;
            w[k] = v;
        }
    }
    working.Min = low;
    working.Max = high;
}

float ReadHistogramLimit(const std::string& text)
{
    return static_cast<float>(StrToFloatTolerant(text));
}

std::string HistogramLimitText(float value) { return FormatFixed(value, 6, 3); }
