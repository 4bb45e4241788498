// The 175-bin histogram: counting, band selection, marks and the clip.
#include <gtest/gtest.h>

#include <cmath>

#include "core/Errors.h"
#include "core/Numbers.h"
#include "processing/Histogram.h"

namespace {

TQTVPicture Ramp(int n)  // n x 1 image of the values 0..n-1
{
    TQTVPicture p;
    p.SetSize(n, 1);
    for (int c = 0; c < n; ++c) p.Data[0][c] = static_cast<float>(c);
    p.UpdateMinMax();
    return p;
}

TEST(Histogram, CountsIntoRoundedBins)
{
    TQTVPicture p = Ramp(351);  // 0..350: bin width 2
    THistogram h;
    h.Count(p);
    EXPECT_FLOAT_EQ(h.BinWidth, 2.0f);
    // v / 2 rounded half to even
    EXPECT_EQ(h.BinCount[0], 2);    // 0, 1 (0.5 -> 0)
    EXPECT_EQ(h.BinCount[1], 1);    // 2 (3: 1.5 -> 2)
    EXPECT_EQ(h.BinCount[2], 3);    // 3, 4, 5 (2.5 -> 2)
    EXPECT_EQ(h.BinCount[174], 4);  // 347 (173.5 -> 174), 348, 349, and 350 beyond the end
    int total = 0;
    for (int k : h.BinCount) total += k;
    EXPECT_EQ(total, 351);
    EXPECT_EQ(h.MaxCount, 4);
    EXPECT_EQ(h.BarTop(174, 100), 0);
    EXPECT_EQ(h.BarTop(1, 100), 75);
    EXPECT_EQ(h.BarTop(0, 100), 50);

    // a constant image: width 1, one full bar at column 0; NaN is left out
    TQTVPicture c;
    c.SetSize(4, 4);
    for (int r = 0; r < 4; ++r)
        for (int k = 0; k < 4; ++k) c.Data[r][k] = 2.5f;
    c.Data[2][2] = NAN;
    c.UpdateMinMax();
    h.Count(c);
    EXPECT_FLOAT_EQ(h.BinWidth, 1.0f);
    EXPECT_EQ(h.BinCount[0], 15);
    EXPECT_EQ(h.BarTop(0, 50), 0);
}

TEST(Histogram, SelectedRunsMarkSamplesStrictlyInside)
{
    TQTVPicture p = Ramp(176);  // width 1: bin k is value k
    THistogram h;
    h.Count(p);
    h.Select(12, 10, true);  // drag from right to left
    h.Select(40, 41, true);
    h.Select(41, 41, false);  // right button deselects
    h.UpdateMarks(p);
    std::vector<int> marked;
    for (int c = 0; c < p.Cols; ++c)
        if (p.Marks[c][0] == 1) marked.push_back(c);
    // band 10..12 is the open interval (10, 13), band 40 is (40, 41): the values on the
    // lower limits are counted in their bin but not marked
    EXPECT_EQ(marked, (std::vector<int>{11, 12}));
    // with nothing selected nothing is marked
    h.Select(0, 174, false);
    h.UpdateMarks(p);
    for (int c = 0; c < p.Cols; ++c) EXPECT_EQ(p.Marks[c][0], 0);
}

TEST(Histogram, ClipToTheSelectedBand)
{
    TQTVPicture src = Ramp(351);
    THistogram h;
    h.Count(src);
    float lo = 0, hi = 0;
    h.ClipLimits(lo, hi);  // no band: the histogram's own limits
    EXPECT_EQ(lo, 0.0f);
    EXPECT_EQ(hi, 350.0f);
    h.Select(0, 0, true);  // only bin 0: nothing is clipped at the top
    h.ClipLimits(lo, hi);
    EXPECT_EQ(hi, 350.0f);
    h.Select(0, 174, false);
    h.Select(20, 30, true);
    h.Select(50, 60, true);
    h.ClipLimits(lo, hi);  // first and last selected bin
    EXPECT_EQ(lo, 40.0f);
    EXPECT_EQ(hi, 120.0f);

    TQTVPicture w = src;
    for (int c = 0; c < w.Cols; ++c) w.Data[0][c] = -1;  // "Do" reads the source
    ClipToBand(src, w, lo, hi);
    EXPECT_EQ(w.Data[0][0], 40.0f);
    EXPECT_EQ(w.Data[0][77], 77.0f);
    EXPECT_EQ(w.Data[0][350], 120.0f);
    EXPECT_EQ(w.Min, 40.0f);
    EXPECT_EQ(w.Max, 120.0f);
}

TEST(Histogram, TypedLimitsTakeEitherDecimalMark)
{
    for (char sep : {'.', ','}) {
        SetDecimalSeparator(sep);
        EXPECT_FLOAT_EQ(ReadHistogramLimit("1,5"), 1.5f);
        EXPECT_FLOAT_EQ(ReadHistogramLimit("1.5"), 1.5f);
        EXPECT_FLOAT_EQ(ReadHistogramLimit("-2"), -2.0f);
        EXPECT_THROW(ReadHistogramLimit("abc"), EConvertError);
        EXPECT_THROW(ReadHistogramLimit(""), EConvertError);
    }
    SetDecimalSeparator('.');
    EXPECT_EQ(HistogramLimitText(1.5f), "1.500");
}

}  // namespace
