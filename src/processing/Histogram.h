#pragma once
// The 175-bin histogram of an image's values, with value bands selected bin by bin,
// the marks those bands give (which samples the leveling fits use) and the clip of the
// image to the selected band.
#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/Picture.h"

constexpr int32_t HistogramBins = 175;

struct THistogram {
    float HistLow = 0.0f;   // value of bin 0: the image's Min when it was counted
    float HistHigh = 0.0f;  // the image's Max when it was counted
    float BinWidth = 1.0f;  // (HistHigh - HistLow) / 175, or 1 when that is 0
    std::array<int32_t, HistogramBins> BinCount{};
    std::array<bool, HistogramBins> Selected{};  // red bins; the others are blue
    int32_t MaxCount = 0;

    // Counts the samples of pic over its current Min..Max (the record's fields, not
    // recomputed): bin k takes the values v with round((v - HistLow) / BinWidth) = k,
    // half to even, values beyond either end in the end bin, not-a-number left out.
    // Every bin becomes unselected.
    void Count(const TQTVPicture& pic);
    // Selects (or deselects) the bins from..to inclusive, in either direction; bins
    // are clamped to 0..174.
    void Select(int32_t from, int32_t to, bool selected);
    // Marks of pic: 1 for the samples strictly inside a run of selected bins a..b
    // (HistLow + a * BinWidth < v < HistLow + (b + 1) * BinWidth), 0 elsewhere.
    void UpdateMarks(TQTVPicture& pic) const;
    // The open value intervals of the runs of selected bins, lowest first:
    // (HistLow + a * BinWidth, HistLow + (b + 1) * BinWidth) in 64-bit floats.
    std::vector<std::pair<double, double>> SelectedBands() const;
    // The band "Do" clips to: the values of the first and the last selected bin; the
    // histogram's own limits where no bin is selected (the last bin is looked for
    // among bins 1..174 only).
    void ClipLimits(float& low, float& high) const;
    // Top pixel line of bin k's bar in a picture h lines high: h - round(count /
    // MaxCount * h); h when the bin is empty.
    int32_t BarTop(int32_t k, int32_t h) const;
};

// Marks of pic: 1 for the samples strictly inside one of the value bands, 0 elsewhere.
void MarkValueBands(TQTVPicture& pic, const std::vector<std::pair<double, double>>& bands);

// Histogram "Do": every working sample := the source sample raised to low, then
// lowered to high; the working Min := low and Max := high. The working record takes
// the source's size when they differ.
void ClipToBand(const TQTVPicture& source, TQTVPicture& working, float low, float high);

// A limit typed under the histogram: "." or "," as the decimal mark. Throws
// EConvertError for text that is not a number.
float ReadHistogramLimit(const std::string& text);
// The text the histogram shows for a limit: fixed-point, 3 decimals.
std::string HistogramLimitText(float value);
