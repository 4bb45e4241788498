// The image record: sizing, value range, palette and rendering.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

#include "core/Messages.h"
#include "core/Picture.h"

namespace {

// Palette index of sample (r, c) in the rendered bitmap (row 0 is the bottom line).
int IndexAt(const TQTVPicture& p, int r, int c)
{
    return p.Bitmap[static_cast<size_t>(p.Rows - 1 - r) * static_cast<size_t>(p.Cols) + static_cast<size_t>(c)];
}

TEST(PictureSize, FreshRecordHasNoGridAndTheDefaultPalette)
{
    TQTVPicture p;
    EXPECT_FALSE(p.HasData());
    EXPECT_TRUE(p.Data.empty());
    EXPECT_EQ(p.FixedRange, 0);
    EXPECT_EQ(p.Palette.Version, 0x300);
    EXPECT_EQ(p.Palette.NumEntries, 256);
    p.Render();  // nothing to do, must not fail
    EXPECT_TRUE(p.Bitmap.empty());
    EXPECT_THROW(p.Data[0], ERangeError);
}

TEST(PictureSize, SetSizeGivesZeroedGridMarksAndPixelCounts)
{
    TQTVPicture p;
    p.Transformed = true;
    p.SetSize(7, 5);
    ASSERT_TRUE(p.HasData());
    EXPECT_EQ(p.Cols, 7);
    EXPECT_EQ(p.Rows, 5);
    EXPECT_EQ(p.Para.XPixel, 7);
    EXPECT_EQ(p.Para.YPixel, 5);
    EXPECT_FALSE(p.Transformed);
    EXPECT_EQ(p.BitmapWidth, 7);
    EXPECT_EQ(p.BitmapHeight, 5);
    EXPECT_EQ(p.Bitmap.size(), 35u);
    ASSERT_EQ(p.Marks.Cols(), 7);
    ASSERT_EQ(p.Marks.Rows(), 5);
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 7; ++c) {
            EXPECT_EQ(p.Data[r][c], 0.0f);
            EXPECT_EQ(p.Marks[c][r], 1);
        }
    // rows lie one after the other in one block
    for (int r = 0; r < 5; ++r) EXPECT_EQ(p.Data[r], p.Data.Block() + r * 7);
    EXPECT_THROW(p.Data[5], ERangeError);
    EXPECT_THROW(p.Data[-1], ERangeError);
    EXPECT_THROW(p.Marks[7], ERangeError);
}

TEST(PictureSize, ResizingReplacesTheGridAndResetsMarks)
{
    TQTVPicture p;
    p.SetSize(3, 3);
    p.Data[1][1] = 5.0f;
    p.Marks[1][1] = 0;
    p.SetSize(4, 2);
    EXPECT_EQ(p.Data[1][1], 0.0f);
    EXPECT_EQ(p.Marks[1][1], 1);
    EXPECT_EQ(p.Cols, 4);
    EXPECT_EQ(p.Rows, 2);
}

TEST(PictureSize, NegativeSizeIsRefusedWithAMessage)
{
    TRecordingSink sink;
    TScopedMessageSink scope(&sink);
    for (auto [cols, rows] : {std::pair{-1, 10}, std::pair{10, -1}, std::pair{-5, -5}}) {
        sink.Clear();
        TQTVPicture p;
        p.SetSize(4, 3);
        p.SetSize(cols, rows);
        ASSERT_EQ(sink.Texts(), std::vector<std::string>{"Picture too small!"});
        EXPECT_EQ(sink.Shown[0].Kind, TMsgKind::Information);
        EXPECT_EQ(sink.Shown[0].Buttons, TMsgButtons::OK);
        EXPECT_FALSE(p.HasData());
        EXPECT_TRUE(p.Data.empty());
        EXPECT_EQ(p.Cols, 4);  // unchanged
        EXPECT_EQ(p.Rows, 3);
        p.Render();  // no grid: nothing happens
    }
}

TEST(PictureSize, LargestGridAcceptedOneMoreRefused)
{
    TRecordingSink sink;
    TScopedMessageSink scope(&sink);
    TQTVPicture p;
    p.SetSize(2053, 2053);
    ASSERT_TRUE(p.HasData());
    p.Data[2052][2052] = 1.0f;
    EXPECT_EQ(p.At(2052, 2052), 1.0f);

    EXPECT_THROW(p.SetSize(10, 2054), ERangeError);
    EXPECT_FALSE(p.HasData());
    EXPECT_THROW(p.SetSize(2054, 10), ERangeError);
    EXPECT_FALSE(p.HasData());
    EXPECT_THROW(p.SetSize(std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::max()), ERangeError);
    EXPECT_FALSE(p.HasData());
    EXPECT_TRUE(sink.Shown.empty());
    // the record can be sized again afterwards
    p.SetSize(2, 2);
    EXPECT_TRUE(p.HasData());
}

TEST(PictureSize, ZeroSizeGivesARecordWithoutSamples)
{
    TQTVPicture p;
    for (auto [cols, rows] : {std::pair{0, 0}, std::pair{0, 5}, std::pair{5, 0}}) {
        p.SetSize(cols, rows);
        EXPECT_FALSE(p.HasData());
        EXPECT_EQ(p.Cols, cols);
        EXPECT_EQ(p.Rows, rows);
        p.Render();
        EXPECT_TRUE(p.RenderMarked().empty());
        EXPECT_THROW(p.At(0, 0), ERangeError);
    }
}

TEST(PictureAccess, AtChecksBothIndices)
{
    TQTVPicture p;
    p.SetSize(3, 2);
    p.At(1, 2) = 4.5f;
    EXPECT_EQ(p.Data[1][2], 4.5f);
    const TQTVPicture& cp = p;
    EXPECT_EQ(cp.At(1, 2), 4.5f);
    EXPECT_THROW(p.At(2, 0), ERangeError);
    EXPECT_THROW(p.At(0, 3), ERangeError);
    EXPECT_THROW(p.At(-1, 0), ERangeError);
    EXPECT_THROW(cp.At(0, -1), ERangeError);
}

TEST(PictureRange, MinMaxFollowTheSamples)
{
    TQTVPicture p;
    p.SetSize(3, 2);
    p.Data[0][0] = 2.0f;
    p.Data[0][1] = -3.5f;
    p.Data[1][2] = 7.25f;
    p.UpdateMinMax();
    EXPECT_EQ(p.Min, -3.5f);
    EXPECT_EQ(p.Max, 7.25f);
    // a long image exercises the wide inner loops and their tails
    p.SetSize(37, 29);
    for (int r = 0; r < 29; ++r)
        for (int c = 0; c < 37; ++c) p.Data[r][c] = static_cast<float>((r * 37 + c) % 101) - 50.0f;
    p.Data[28][36] = 1000.0f;
    p.Data[13][5] = -1000.0f;
    p.UpdateMinMax();
    EXPECT_EQ(p.Min, -1000.0f);
    EXPECT_EQ(p.Max, 1000.0f);
}

TEST(PictureRange, NotANumberSamplesTakeNoPartInTheRange)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    TQTVPicture p;
    p.SetSize(20, 3);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 20; ++c) p.Data[r][c] = static_cast<float>(c);
    p.Data[0][0] = nan;
    p.Data[2][19] = nan;
    p.Data[1][7] = nan;
    p.Render();
    EXPECT_EQ(p.Min, 0.0f);  // the zero of rows 1 and 2
    EXPECT_EQ(p.Max, 19.0f);
    EXPECT_EQ(IndexAt(p, 0, 0), 0);
    EXPECT_EQ(IndexAt(p, 1, 7), 0);
    EXPECT_EQ(IndexAt(p, 1, 19), 255);

    // all samples not a number: renders at entry 0 without failing
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 20; ++c) p.Data[r][c] = nan;
    p.Render();
    for (uint8_t b : p.Bitmap) EXPECT_EQ(b, 0);
}

TEST(PictureRange, InfiniteSamplesTakeNoPartAndRenderAtTheEnds)
{
    const float inf = std::numeric_limits<float>::infinity();
    // wide enough for every vector path, and a narrow one for the plain loop
    for (int cols : {67, 5}) {
        TQTVPicture p;
        p.SetSize(cols, 4);
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < cols; ++c) p.Data[r][c] = static_cast<float>(r * cols + c) * 0.5f;
        p.Data[1][2] = inf;
        p.Data[3][cols - 1] = -inf;
        p.Render();
        EXPECT_EQ(p.Min, 0.0f) << cols;
        EXPECT_EQ(p.Max, static_cast<float>(4 * cols - 2) * 0.5f) << cols;  // the sample before -inf
        EXPECT_EQ(IndexAt(p, 1, 2), 255) << cols;
        EXPECT_EQ(IndexAt(p, 3, cols - 1), 0) << cols;
        EXPECT_EQ(IndexAt(p, 3, cols - 2), 255) << cols;
        EXPECT_EQ(IndexAt(p, 2, 0), static_cast<int>(std::nearbyint(2.0 * cols * 0.5 * p.Factor))) << cols;

        // only infinities and a single finite value: a flat range at that value
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < cols; ++c) p.Data[r][c] = (r + c) % 2 ? inf : -inf;
        p.Data[0][0] = 7.0f;
        p.Render();
        EXPECT_EQ(p.Min, 7.0f);
        EXPECT_EQ(p.Max, 7.0f);
        EXPECT_EQ(IndexAt(p, 0, 1), 255);
        EXPECT_EQ(IndexAt(p, 1, 1), 0);
    }
}

TEST(PictureRender, AllEqualSamplesGiveFactorOneAndIndexZero)
{
    TQTVPicture p;
    p.SetSize(19, 4);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 19; ++c) p.Data[r][c] = 3.75f;
    p.Render();
    EXPECT_EQ(p.Factor, 1.0f);
    EXPECT_EQ(p.Min, 3.75f);
    EXPECT_EQ(p.Max, 3.75f);
    for (uint8_t b : p.Bitmap) EXPECT_EQ(b, 0);
}

TEST(PictureRender, HalfwayValuesRoundToEven)
{
    // Min 0, Max 255: Factor 1, so each sample is its own index before rounding.
    const float values[] = {0.0f, 0.5f, 1.5f, 2.5f, 3.49f, 3.51f, 127.5f, 128.5f, 253.5f, 254.5f, 255.0f,
                            0.4999f, 100.0f, 200.75f, 11.5f, 12.5f, 13.5f, 14.5f, 15.5f, 16.5f};
    const int expected[] = {0, 0, 2, 2, 3, 4, 128, 128, 254, 254, 255, 0, 100, 201, 12, 12, 14, 14, 16, 16};
    const int n = static_cast<int>(std::size(values));
    TQTVPicture p;
    p.SetSize(n, 1);
    for (int c = 0; c < n; ++c) p.Data[0][c] = values[c];
    p.Render();
    EXPECT_EQ(p.Factor, 1.0f);
    for (int c = 0; c < n; ++c) EXPECT_EQ(IndexAt(p, 0, c), expected[c]) << "value " << values[c];
}

TEST(PictureRender, FactorIsTheFloatOf255OverTheRange)
{
    TQTVPicture p;
    p.SetSize(18, 1);
    for (int c = 0; c < 18; ++c) p.Data[0][c] = -1.0f + c * 0.3f;
    p.Render();
    EXPECT_EQ(p.Factor, static_cast<float>(255.0L / (static_cast<long double>(p.Max) - p.Min)));
    for (int c = 0; c < 18; ++c) {
        const double x = (static_cast<double>(p.Data[0][c]) - p.Min) * static_cast<double>(p.Factor);
        EXPECT_EQ(IndexAt(p, 0, c), static_cast<int>(std::nearbyint(x)));
    }
    EXPECT_EQ(IndexAt(p, 0, 0), 0);
    EXPECT_EQ(IndexAt(p, 0, 17), 255);
}

TEST(PictureRender, FixedRangeSaturatesAtBothEnds)
{
    TQTVPicture p;
    p.SetSize(21, 1);
    for (int c = 0; c < 21; ++c) p.Data[0][c] = static_cast<float>(c) - 10.0f;  // -10..10
    p.FixedRange = 1;
    p.Min = -5.0f;
    p.Max = 5.0f;
    p.Render();
    EXPECT_EQ(p.Min, -5.0f);  // kept
    EXPECT_EQ(p.Max, 5.0f);
    EXPECT_EQ(p.Factor, 25.5f);
    for (int c = 0; c <= 5; ++c) EXPECT_EQ(IndexAt(p, 0, c), 0);        // below and at Min
    for (int c = 15; c < 21; ++c) EXPECT_EQ(IndexAt(p, 0, c), 255);     // at and above Max
    EXPECT_EQ(IndexAt(p, 0, 10), 128);                                   // 127.5 -> even
    EXPECT_EQ(IndexAt(p, 0, 6), 26);                                     // 25.5 -> even

    p.FixedRange = 0;  // follows the data again
    p.Render();
    EXPECT_EQ(p.Min, -10.0f);
    EXPECT_EQ(p.Max, 10.0f);
}

TEST(PictureRender, InfiniteSamplesSaturate)
{
    TQTVPicture p;
    p.SetSize(3, 1);
    p.Data[0][0] = -std::numeric_limits<float>::infinity();
    p.Data[0][1] = 0.0f;
    p.Data[0][2] = std::numeric_limits<float>::infinity();
    p.FixedRange = 1;
    p.Min = -1.0f;
    p.Max = 1.0f;
    p.Render();
    EXPECT_EQ(IndexAt(p, 0, 0), 0);
    EXPECT_EQ(IndexAt(p, 0, 1), 128);
    EXPECT_EQ(IndexAt(p, 0, 2), 255);
    p.FixedRange = 0;  // an infinite range: no crash, every index in range
    p.Render();
    EXPECT_EQ(p.Bitmap.size(), 3u);
}

TEST(PictureRender, RowZeroIsTheBottomLine)
{
    TQTVPicture p;
    p.SetSize(2, 3);
    p.Data[0][0] = 0.0f;
    p.Data[0][1] = 0.0f;
    p.Data[2][0] = 255.0f;
    p.Data[2][1] = 255.0f;
    p.Data[1][1] = 100.0f;
    p.Render();
    // bitmap lines top-down: line 0 is sample row 2
    EXPECT_EQ(p.Bitmap[0], 255);
    EXPECT_EQ(p.Bitmap[1], 255);
    EXPECT_EQ(p.Bitmap[2], 0);
    EXPECT_EQ(p.Bitmap[3], 100);
    EXPECT_EQ(p.Bitmap[4], 0);
    EXPECT_EQ(p.Bitmap[5], 0);
}

TEST(PictureRender, WideImageMatchesTheSampleBySampleMapping)
{
    // widths around the block sizes of the inner loop, odd rows
    for (int cols : {1, 15, 16, 17, 33, 100}) {
        TQTVPicture p;
        p.SetSize(cols, 3);
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < cols; ++c) p.Data[r][c] = std::sin(0.37f * static_cast<float>(r * cols + c)) * 3.0f;
        p.Data[1][0] = std::numeric_limits<float>::quiet_NaN();
        p.Render();
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < cols; ++c) {
                const float v = p.Data[r][c];
                int want = 0;
                if (!std::isnan(v)) {
                    const double x = (static_cast<double>(v) - p.Min) * static_cast<double>(p.Factor);
                    want = static_cast<int>(std::nearbyint(std::clamp(x, 0.0, 255.0)));
                }
                ASSERT_EQ(IndexAt(p, r, c), want) << cols << " " << r << " " << c;
            }
    }
}

TEST(PicturePalette, DefaultPaletteTellingRows)
{
    TQTVPicture p;
    struct Row {
        int i, r, g, b;
    };
    const Row rows[] = {{0, 12, 0, 24},     {55, 157, 35, 28},   {56, 159, 37, 28},    {128, 223, 132, 52},
                        {164, 231, 181, 68}, {165, 234, 183, 72}, {255, 236, 248, 136}};
    for (const Row& row : rows) {
        const TPaletteEntry& e = p.Palette.Entries[static_cast<size_t>(row.i)];
        EXPECT_EQ(e.Red, row.r) << row.i;
        EXPECT_EQ(e.Green, row.g) << row.i;
        EXPECT_EQ(e.Blue, row.b) << row.i;
    }
    for (const TPaletteEntry& e : p.Palette.Entries) EXPECT_EQ(e.Flags, 1);
    EXPECT_EQ(p.PaletteColor(55), 0xFF9D231Cu);
    EXPECT_THROW(p.PaletteColor(256), ERangeError);
    EXPECT_THROW(p.PaletteColor(-1), ERangeError);
}

TEST(PictureMarks, MarkedSamplesKeepOnlyTheirGreen)
{
    TQTVPicture p;
    p.SetSize(3, 2);
    p.Data[0][0] = 0.0f;
    p.Data[1][2] = 255.0f;
    p.Data[0][1] = 128.0f;
    p.Marks.Fill(0);
    p.Marks[2][1] = 1;   // sample row 1, column 2: top line
    p.Marks[1][0] = 5;   // any value above 0 marks
    p.Marks[0][0] = -1;  // not marked
    const std::vector<uint32_t> px = p.RenderMarked();
    ASSERT_EQ(px.size(), 6u);
    // line 0 (top) is sample row 1
    EXPECT_EQ(px[2], 0xFF000000u | (p.PaletteColor(255) & 0x0000FF00u));
    EXPECT_EQ(px[0], p.PaletteColor(0));
    // line 1 is sample row 0
    EXPECT_EQ(px[3 + 0], p.PaletteColor(0));
    EXPECT_EQ(px[3 + 1], 0xFF000000u | (p.PaletteColor(128) & 0x0000FF00u));
    EXPECT_EQ(px[3 + 2], p.PaletteColor(0));

    p.Marks.Resize(3, 2, 1);  // all marked
    for (uint32_t v : p.RenderMarked()) EXPECT_EQ(v & 0xFFFF00FFu, 0xFF000000u);
}

TEST(PictureCopy, CopySamplesFromTakesSizeParametersAndSamples)
{
    TQTVPicture a;
    a.SetSize(4, 3);
    a.Para.XScanRange = 100.0;
    a.Para.PhysUnit = "nm";
    a.Data[2][3] = 9.0f;
    a.Palette.Entries[0].Red = 77;
    a.FixedRange = 1;

    TQTVPicture b;
    b.Marks.Resize(0, 0, 0);
    b.CopySamplesFrom(a);
    EXPECT_EQ(b.Cols, 4);
    EXPECT_EQ(b.Rows, 3);
    EXPECT_EQ(b.Para.XScanRange, 100.0);
    EXPECT_EQ(b.Para.PhysUnit, "nm");
    EXPECT_EQ(b.Data[2][3], 9.0f);
    EXPECT_NE(b.Palette.Entries[0].Red, 77);  // own palette
    EXPECT_EQ(b.FixedRange, 0);
    EXPECT_EQ(b.Marks[3][2], 1);
    b.Data[2][3] = 1.0f;
    EXPECT_EQ(a.Data[2][3], 9.0f);  // an independent copy
}

}  // namespace

namespace {

TEST(PictureCopy, ACopiedRecordOwnsItsSamples)
{
    TQTVPicture a;
    a.SetSize(3, 2);
    a.Data[1][2] = 5.0f;
    TQTVPicture b = a;
    ASSERT_TRUE(b.HasData());
    EXPECT_NE(b.Data.Block(), a.Data.Block());
    EXPECT_EQ(b.Data[1], b.Data.Block() + 3);
    EXPECT_EQ(b.Data[1][2], 5.0f);
    b.Data[1][2] = 6.0f;
    EXPECT_EQ(a.Data[1][2], 5.0f);
    TQTVPicture c;
    c = b;
    EXPECT_EQ(c.Data[1][2], 6.0f);
    TQTVPicture d = std::move(c);  // moving keeps the rows valid
    EXPECT_EQ(d.Data[1][2], 6.0f);
    EXPECT_EQ(d.Data[1], d.Data.Block() + 3);
}

TEST(PictureMarks, FillAndResizeBeforeAndAfterFirstUse)
{
    TMarks m;
    m.Resize(4, 3, 1);
    m.Fill(0);
    EXPECT_EQ(m[3][2], 0);
    m[3][2] = 7;
    m.Fill(2);
    EXPECT_EQ(m[3][2], 2);
    EXPECT_EQ(m[0][0], 2);
    m.Resize(2, 2, 5);
    EXPECT_EQ(m[1][1], 5);
    EXPECT_THROW(m[2], ERangeError);
    EXPECT_THROW(m.Resize(2054, 1, 0), ERangeError);
    const TMarks& cm = m;
    EXPECT_EQ(cm[0][1], 5);
}

TEST(PictureRender, RowAndColumnCountsOutOfStepWithTheGridStaySafe)
{
    // Callers may set Rows and Cols by hand; rendering keeps to the grid.
    TQTVPicture p;
    p.SetSize(3, 2);
    p.Data[1][2] = 1.0f;
    p.Rows = 50;
    p.Cols = 40;
    p.Render();
    EXPECT_EQ(p.Bitmap.size(), 6u);
    EXPECT_EQ(p.BitmapWidth, 3);
    EXPECT_EQ(p.BitmapHeight, 2);
    EXPECT_EQ(p.Bitmap[2], 255);
    EXPECT_EQ(p.RenderMarked().size(), 6u);
    EXPECT_THROW(p.At(0, 3), ERangeError);
}

}  // namespace

namespace {

// A picture of cols x rows samples of several kinds: ordinary, with not-a-number and
// infinite samples, all equal, and with a fixed range upside down.
TQTVPicture PictureOfKind(int kind, int cols, int rows)
{
    TQTVPicture p;
    p.SetSize(cols, rows);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            p.Data[r][c] = kind == 2 ? 1.5f : std::sin(0.011f * static_cast<float>(r * r + 7 * c)) * 40.0f + 0.1f * r;
    if (kind == 1) {
        p.Data[0][0] = std::numeric_limits<float>::quiet_NaN();
        p.Data[rows / 2][cols / 3] = std::numeric_limits<float>::infinity();
        p.Data[rows - 1][cols - 1] = -std::numeric_limits<float>::infinity();
    }
    if (kind == 3) {
        p.FixedRange = 1;
        p.Min = 20.0f;
        p.Max = -5.0f;
    }
    return p;
}

}  // namespace

TEST(PictureRender, RenderingPickedSamplesGivesTheirPixelsOfTheWholeBitmap)
{
    for (int kind = 0; kind < 4; ++kind)
        for (const auto& [cols, rows] : {std::pair{37, 23}, std::pair{1, 5}, std::pair{300, 2}}) {
            const TQTVPicture p = PictureOfKind(kind, cols, rows);
            const std::vector<size_t> pickedRows = {0, static_cast<size_t>(rows - 1), static_cast<size_t>(rows / 2), 0};
            std::vector<size_t> pickedCols;
            for (int c = cols - 1; c >= 0; c -= 3) pickedCols.push_back(static_cast<size_t>(c));
            std::vector<uint8_t> picked(pickedRows.size() * pickedCols.size(), 77);
            p.RenderSampled(pickedRows, pickedCols, picked.data());
            TQTVPicture whole = p;
            whole.Render();
            EXPECT_EQ(whole.Min, p.FixedRange > 0 ? p.Min : whole.Min);
            for (size_t i = 0; i < pickedRows.size(); ++i)
                for (size_t j = 0; j < pickedCols.size(); ++j)
                    ASSERT_EQ(picked[i * pickedCols.size() + j],
                              IndexAt(whole, static_cast<int>(pickedRows[i]), static_cast<int>(pickedCols[j])))
                        << kind << " " << cols << "x" << rows << " " << i << " " << j;
        }
}
