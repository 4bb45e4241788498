// The relief of the simple 3-D view: picture size, strokes and their colours, the
// shift, rounding, the flat drawing of a constant image and refused sizes.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <utility>

#include "core/Errors.h"
#include "core/Messages.h"
#include "view3d/S3D.h"

namespace {

// cols x rows image from a row-major list, sample row 0 first; Min/Max from the data.
TQTVPicture Image(int cols, int rows, const std::vector<float>& v) {
    TQTVPicture p;
    p.SetSize(cols, rows);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) p.Data[r][c] = v[static_cast<size_t>(r * cols + c)];
    p.UpdateMinMax();
    return p;
}

TQTVPicture Ramp(int cols, int rows) {
    std::vector<float> v(static_cast<size_t>(cols * rows));
    for (size_t i = 0; i < v.size(); ++i) v[i] = 0.25f * static_cast<float>(i) - 7.0f;
    return Image(cols, rows, v);
}

// Every pixel that is not background, by (x, y).
std::map<std::pair<int, int>, int> Drawn(const TRelief& r) {
    std::map<std::pair<int, int>, int> m;
    for (int y = 0; y < r.Height; ++y)
        for (int x = 0; x < r.Width; ++x)
            if (r.At(x, y) != TRelief::Background) m[{x, y}] = r.At(x, y);
    return m;
}

TEST(Relief, SizeFollowsGainShiftAndImage) {
    struct Case {
        int cols, rows, gain, shift, width, height;
    } cases[] = {
        {100, 100, 40, 0, 139, 179},
        {100, 100, 40, -30, 169, 179},
        {100, 100, 40, 30, 169, 179},
        {7, 3, 0, 5, 51, 42},
        {1, 1, 10, 0, 40, 50},
    };
    for (const Case& c : cases) {
        const TRelief r = DrawRelief(Ramp(c.cols, c.rows), c.gain, c.shift);
        EXPECT_EQ(r.Width, c.width) << c.cols << "x" << c.rows << " shift " << c.shift;
        EXPECT_EQ(r.Height, c.height) << c.cols << "x" << c.rows << " gain " << c.gain;
        EXPECT_EQ(r.Pixels.size(), static_cast<size_t>(c.width) * static_cast<size_t>(c.height));
    }
}

// Worked by hand: 3 x 2 samples, row 0 = 0 1 2, row 1 = 2 0 1; gain 2 gives a height
// scale of 1 and a colour scale of 127; shift 2 moves row 1 two columns right.
TEST(Relief, StrokesOfASmallImageByHand) {
    const TRelief r = DrawRelief(Image(3, 2, {0, 1, 2, 2, 0, 1}), 2, 2);
    ASSERT_EQ(r.Width, 44);
    ASSERT_EQ(r.Height, 43);
    const std::map<std::pair<int, int>, int> expected = {
        {{20, 22}, 0},                                          // row 0, v 0: one pixel on the base line
        {{21, 21}, 127}, {{21, 22}, 1},                         // v 1: step 126
        {{22, 20}, 254},                                        // v 2, top of row 0's stroke
        {{22, 21}, 254}, {{22, 22}, 128}, {{22, 23}, 2},        // row 1, v 2 covers row 0's stroke
        {{23, 23}, 0},
        {{24, 22}, 127}, {{24, 23}, 1},
    };
    EXPECT_EQ(Drawn(r), expected);
}

TEST(Relief, NegativeShiftStartsRowZeroFurtherRight) {
    const TRelief r = DrawRelief(Image(3, 2, {0, 1, 2, 2, 0, 1}), 2, -2);
    ASSERT_EQ(r.Width, 44);
    const std::map<std::pair<int, int>, int> expected = {
        {{23, 21}, 127}, {{23, 22}, 1}, {{24, 20}, 254}, {{24, 21}, 128}, {{24, 22}, 2},
        {{20, 21}, 254}, {{20, 22}, 128}, {{20, 23}, 2},  // row 1 back at column 20
        {{21, 23}, 0},  {{22, 22}, 127}, {{22, 23}, 1},
    };
    auto drawn = Drawn(r);
    // row 1's stroke at column 22 covers row 0's first pixel
    EXPECT_EQ(drawn, expected);
}

TEST(Relief, HundredSquareWithNegativeShiftStartsRowZeroAtColumnFifty) {
    // row 0 high, every other row at the minimum: row 0's strokes stand out above the rest
    std::vector<float> v(100 * 100, 0.0f);
    for (int c = 0; c < 100; ++c) v[static_cast<size_t>(c)] = 1.0f;
    const TRelief r = DrawRelief(Image(100, 100, v), 40, -30);
    ASSERT_EQ(r.Width, 169);
    const int top = 40 + 0 + 20 - 40;  // row 0's base line 60, lifted by the whole gain
    for (int x = 0; x < r.Width; ++x)
        EXPECT_EQ(r.At(x, top), (x >= 50 && x < 150) ? 254 : 255) << "column " << x;
    // the last row has moved the whole shift back to column 20
    const int lastBase = 40 + 99 + 20;
    EXPECT_EQ(r.At(19, lastBase), 255);
    EXPECT_EQ(r.At(20, lastBase), 0);
    EXPECT_EQ(r.At(119, lastBase), 0);
    EXPECT_EQ(r.At(120, lastBase), 255);
}

TEST(Relief, HighestSampleTopsItsStrokeWithIndex254OnBackground255) {
    TQTVPicture p = Ramp(100, 100);
    p.Data[37][61] = 5000.0f;  // the single highest sample
    p.UpdateMinMax();
    const TRelief r = DrawRelief(p, 40, 0);
    const int x = 61 + 20 + 0, yTop = 40 + 37 + 20 - 40;
    EXPECT_EQ(r.At(x, yTop), 254);
    EXPECT_EQ(r.At(x, yTop - 1), 255);
    // nothing reaches above the highest stroke in that column, nor into the margins
    for (int y = 0; y < yTop; ++y) EXPECT_EQ(r.At(x, y), 255);
    for (int y = 0; y < r.Height; ++y) {
        EXPECT_EQ(r.At(19, y), 255);
        EXPECT_EQ(r.At(r.Width - 19, y), 255);
    }
    for (int x2 = 0; x2 < r.Width; ++x2) EXPECT_EQ(r.At(x2, r.Height - 19), 255);
}

TEST(Relief, RoundingIsHalfToEven) {
    // 2 x 3 image: row i's shift is round(i / 2 * shift); shift 1 gives row 1 a shift
    // of round(0.5) = 0, shift 3 one of round(1.5) = 2
    const TQTVPicture p = Image(2, 3, {0, 0, 0, 0, 0, 0});
    EXPECT_EQ(DrawRelief(p, 0, 1).At(20, 21), 0);
    EXPECT_EQ(DrawRelief(p, 0, 1).At(21, 21), 0);
    EXPECT_EQ(DrawRelief(p, 0, 1).At(22, 21), 255);
    EXPECT_EQ(DrawRelief(p, 0, 3).At(21, 21), 255);
    EXPECT_EQ(DrawRelief(p, 0, 3).At(22, 21), 0);
    EXPECT_EQ(DrawRelief(p, 0, 3).At(23, 21), 0);

    // range 508: colour scale 0.5, so v 1 -> 0 and v 3 -> 2; with gain 1016 the
    // height scale is 2 and v 1 lifts the top two lines
    const TRelief r = DrawRelief(Image(4, 1, {0, 1, 3, 508}), 1016, 0);
    const int base = 1016 + 20;
    EXPECT_EQ(r.At(21, base - 2), 0);
    EXPECT_EQ(r.At(22, base - 6), 2);
    EXPECT_EQ(r.At(23, base - 1016), 254);
}

TEST(Relief, ConstantImageIsDrawnFlat) {
    const TQTVPicture p = Image(5, 4, std::vector<float>(20, 3.5f));
    const TRelief r = DrawRelief(p, 40, 10);
    const auto drawn = Drawn(r);
    ASSERT_EQ(drawn.size(), 20u);  // one pixel per sample, on its row's base line
    for (const auto& [xy, e] : drawn) {
        EXPECT_EQ(e, 0);
        const int row = xy.second - (40 + 20);
        ASSERT_GE(row, 0);
        ASSERT_LT(row, 4);
    }
}

TEST(Relief, EditsFallBackToGain10AndShift0) {
    struct Case {
        const char *gain, *shift;
        int zGain, sh;
        const char *gainShown, *shiftShown;
    } cases[] = {
        {"40", "-30", 40, -30, "40", "-30"},
        {"a", "5", 10, 5, "10", "5"},
        {"12", "x", 12, 0, "12", "0"},
        {"", "", 10, 0, "10", "0"},
        {"2.5", "1e2", 10, 0, "10", "0"},
        {" 7 ", "3", 7, 3, " 7 ", "3"},
        {"99999999999", "0", 10, 0, "10", "0"},
    };
    for (const Case& c : cases) {
        const TReliefEdits e = ReadReliefEdits(c.gain, c.shift);
        EXPECT_EQ(e.ZGain, c.zGain) << c.gain;
        EXPECT_EQ(e.Shift, c.sh) << c.shift;
        EXPECT_EQ(e.GainText, c.gainShown);
        EXPECT_EQ(e.ShiftText, c.shiftShown);
    }
}

TEST(Relief, SamplesOutsideAFixedRangeEndTheirStrokesInsideThePicture) {
    TQTVPicture p = Image(4, 1, {0, 2, 100, std::numeric_limits<float>::quiet_NaN()});
    p.FixedRange = 1;
    p.Min = 2;
    p.Max = 3;
    const TRelief r = DrawRelief(p, 1, 0);
    ASSERT_EQ(r.Height, 41);
    // below Min: a single pixel two lines under the base line 21, colour -508 as a byte
    // far above Max: the top lies above the picture and nothing of the stroke is drawn;
    // not a number: no stroke
    const std::map<std::pair<int, int>, int> expected = {{{20, 23}, 4}, {{21, 21}, 0}};
    EXPECT_EQ(Drawn(r), expected);
}

TEST(Relief, RefusedSizesTellTheUser) {
    TRecordingSink sink;
    TScopedMessageSink scoped(&sink);
    const TQTVPicture p = Ramp(100, 100);
    EXPECT_THROW(DrawRelief(p, 2000000000, 0), EAbort);
    EXPECT_THROW(DrawRelief(p, 10, -2000000000), EAbort);
    EXPECT_THROW(DrawRelief(p, -200, 0), EAbort);
    ASSERT_EQ(sink.Texts().size(), 3u);
    EXPECT_EQ(sink.Texts()[0], "Picture too large for this z-Gain and Shift!");
    EXPECT_EQ(sink.Texts()[1], "Picture too large for this z-Gain and Shift!");
    EXPECT_EQ(sink.Texts()[2], "Picture too small!");
    // a negative gain that still leaves lines draws the strokes downwards: no refusal
    EXPECT_NO_THROW(DrawRelief(p, -50, 0));
    EXPECT_EQ(sink.Texts().size(), 3u);
}

TEST(Relief, ImageWithoutSamplesDrawsNothing) {
    TQTVPicture p;
    const TRelief r = DrawRelief(p, 10, 10);
    EXPECT_EQ(r.Width, 0);
    EXPECT_TRUE(r.Pixels.empty());
}

}  // namespace
