// The geometry and texts of the image window's display, and the small helpers of the
// application's dialogs.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/Display.h"
#include "core/Numbers.h"

namespace {

class DisplayTest : public ::testing::Test {
protected:
    void SetUp() override { SetDecimalSeparator('.'); }
};

TEST_F(DisplayTest, ScaleBarLengthIsARoundPartOfTheRange) {
    EXPECT_DOUBLE_EQ(ScaleBarLength(9.6), 1.0);
    EXPECT_DOUBLE_EQ(ScaleBarLength(2345), 200.0);
    EXPECT_DOUBLE_EQ(ScaleBarLength(0.25), 0.02);  // 2.5 rounds to 2 (half to even)
    EXPECT_DOUBLE_EQ(ScaleBarLength(3.5), 0.4);    // 3.5 rounds to 4
    EXPECT_DOUBLE_EQ(ScaleBarLength(2.5), 0.2);
    EXPECT_DOUBLE_EQ(ScaleBarLength(10), 1.0);
    EXPECT_DOUBLE_EQ(ScaleBarLength(100), 10.0);
    EXPECT_DOUBLE_EQ(ScaleBarLength(1), 0.1);
    EXPECT_DOUBLE_EQ(ScaleBarLength(47), 5.0);
    EXPECT_DOUBLE_EQ(ScaleBarLength(1.4e-7), 1e-8);
    // no bar for ranges that are not positive finite numbers
    EXPECT_EQ(ScaleBarLength(0), 0.0);
    EXPECT_EQ(ScaleBarLength(-5), 0.0);
    EXPECT_EQ(ScaleBarLength(std::numeric_limits<double>::infinity()), 0.0);
    EXPECT_EQ(ScaleBarLength(std::numeric_limits<double>::quiet_NaN()), 0.0);
    EXPECT_GE(ScaleBarLength(std::numeric_limits<double>::denorm_min()), 0.0);
    EXPECT_GT(ScaleBarLength(std::numeric_limits<double>::max()), 0.0);
}

TEST_F(DisplayTest, TrueAspectFitsTheScanShapeIntoTheSquare) {
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        int Side;
        double X, Y;
        bool On;
        int W, H;
    } cases[] = {
        {265, 100, 50, false, 265, 265},  // off: the square, whatever the ranges
        {265, 100, 50, true, 265, 132},   // 132.5 rounds half to even
        {266, 100, 50, true, 266, 133},
        {265, 50, 100, true, 132, 265},
        {300, 2000, 2000, true, 300, 300},
        {300, 1, 1e9, true, 1, 300},      // never thinner than one pixel
        {300, 3, 1, true, 300, 100},
        {300, 0, 50, true, 300, 300},     // unusable ranges keep the square
        {300, 100, -5, true, 300, 300},
        {300, inf, 50, true, 300, 300},
        {300, std::nan(""), 50, true, 300, 300},
        {0, 100, 50, true, 0, 0},
    };
    for (const Case& c : cases) {
        const TImageExtent e = ImageExtent(c.Side, c.X, c.Y, c.On);
        EXPECT_EQ(e.Width, c.W) << c.Side << " " << c.X << " " << c.Y;
        EXPECT_EQ(e.Height, c.H) << c.Side << " " << c.X << " " << c.Y;
    }
    // the scale bar stands on the picture: 0.8 of its width and height, its length
    // measured along the width
    const TScaleBarLayout b = ScaleBarLayout(ImageExtent(200, 2345, 1000, true), 2345, "nm");
    ASSERT_TRUE(b.Visible);
    EXPECT_EQ(b.Center, 160);
    EXPECT_EQ(b.CenterY, 68);  // the picture is round(200 * 1000 / 2345) = 85 high
    EXPECT_EQ(b.Half, ScaleBarLayout(200, 2345, "nm").Half);
    EXPECT_EQ(ScaleBarLayout(200, 2345, "nm").CenterY, 160);
}

TEST_F(DisplayTest, ScaleBarLayoutCentresTheBarAndLabelsIt) {
    TScaleBarLayout b = ScaleBarLayout(200, 2345, "nm");
    ASSERT_TRUE(b.Visible);
    EXPECT_EQ(b.Center, 160);             // round(0.8 * 200)
    EXPECT_EQ(b.Half, 17 / 2);            // round(200 / 2345 * 200) = 17 pixels
    EXPECT_EQ(b.Text, "200 nm");
    b = ScaleBarLayout(265, 0.25, "\xB5m");
    ASSERT_TRUE(b.Visible);
    EXPECT_EQ(b.Center, 212);
    EXPECT_EQ(b.Half, 21 / 2);            // round(265 / 0.25 * 0.02) = 21
    EXPECT_EQ(b.Text, "0.02 \xB5m");
    SetDecimalSeparator(',');
    EXPECT_EQ(ScaleBarLayout(265, 0.25, "nm").Text, "0,02 nm");
    SetDecimalSeparator('.');
    EXPECT_FALSE(ScaleBarLayout(265, 0, "nm").Visible);
    EXPECT_TRUE(ScaleBarLayout(265, 0, "nm").Text.empty());
    EXPECT_FALSE(ScaleBarLayout(265, std::numeric_limits<double>::infinity(), "nm").Visible);
    // a tiny range would give a bar far wider than any window: it is left out
    EXPECT_FALSE(ScaleBarLayout(265, std::numeric_limits<double>::denorm_min(), "nm").Visible);
}

TEST_F(DisplayTest, ZBarGeometryAndColours) {
    TIntRect r = ZBarRect(400, 300);
    EXPECT_EQ(r.Left, 320);
    EXPECT_EQ(r.Top, 75);
    EXPECT_EQ(r.Width(), 32);   // 4 * round(8)
    EXPECT_EQ(r.Height(), 120); // 4 * round(30)
    r = ZBarRect(425, 287);     // 0.02 * 425 = 8.5 -> 8; 0.1 * 287 = 28.7 -> 29; 0.25 * 287 = 71.75
    EXPECT_EQ(r.Left, 340);
    EXPECT_EQ(r.Top, 72);
    EXPECT_EQ(r.Width(), 32);
    EXPECT_EQ(r.Height(), 116);
    // the visible lines run from the last palette entry at the top to the first
    for (int h : {3, 100, 116, 256, 1000}) {
        EXPECT_EQ(ZBarIndex(0, h), 255);
        EXPECT_EQ(ZBarIndex(1, h), 255);
        EXPECT_EQ(ZBarIndex(h - 1, h), 0);
        for (int y = 1; y < h; ++y) EXPECT_LE(ZBarIndex(y, h), ZBarIndex(y - 1, h));
    }
    EXPECT_EQ(ZBarIndex(0, 1), 255);
    EXPECT_EQ(ZBarIndex(5, 0), 255);
}

TEST_F(DisplayTest, ZBarLabelsUseThreeSignificantDigits) {
    TZBarLabels l = ZBarLabels(-2.0f, 6.0f, false);
    EXPECT_EQ(l.MinText, "-2.000");
    EXPECT_EQ(l.MaxText, "6.000");
    l = ZBarLabels(-2.0f, 6.0f, true);
    EXPECT_EQ(l.MinText, "0");
    EXPECT_EQ(l.MaxText, "8.000");
    l = ZBarLabels(0.0123456f, 123456.0f, false);
    EXPECT_EQ(l.MinText, "0.0123");
    EXPECT_EQ(l.MaxText, "1.23E+5");
    // the range width of two large floats is taken without losing their difference
    l = ZBarLabels(16777216.0f, 16777218.0f, true);
    EXPECT_EQ(l.MaxText, "2.000");
    EXPECT_EQ(ZBarText("8.000", "nm"), " 8.000 nm ");
    EXPECT_EQ(ZBarText("0", ""), " 0  ");
    EXPECT_EQ(RangeText(1.23456f), "1.235");
    EXPECT_EQ(RangeText(-0.5f), "-0.500");
}

TEST_F(DisplayTest, ImageSideAndWindowShape) {
    EXPECT_EQ(ComposedImageSide(300, 200, false), 200);
    EXPECT_EQ(ComposedImageSide(200, 300, false), 200);
    EXPECT_EQ(ComposedImageSide(390, 265, true), 265);  // round(273) > 265
    EXPECT_EQ(ComposedImageSide(300, 265, true), 210);
    EXPECT_EQ(ShapedOuterWidth(265, 10, false), 275);
    EXPECT_EQ(ShapedOuterWidth(265, 10, true), 397);
    EXPECT_EQ(ShapedOuterWidth(1, 10, true), -1);
    EXPECT_EQ(ShapedOuterWidth(-40, 10, false), -1);
}

TEST_F(DisplayTest, AxisLabelsAndTicks) {
    EXPECT_EQ(AxisRangeText(2345), " 2345 ");
    EXPECT_EQ(AxisRangeText(0.1), " 0.1 ");
    EXPECT_EQ(AxisTickOffset(203, 0), 0);
    EXPECT_EQ(AxisTickOffset(203, 1), 50);
    EXPECT_EQ(AxisTickOffset(203, 2), 101);
    EXPECT_EQ(AxisTickOffset(203, 4), 203);
}

TEST_F(DisplayTest, SaveAsProposalDropsTheExtension) {
    EXPECT_EQ(SaveAsProposal("scan_0.int"), "scan_0");
    EXPECT_EQ(SaveAsProposal("a.b.c"), "a.b");
    EXPECT_EQ(SaveAsProposal("noext"), "noext");
    EXPECT_EQ(SaveAsProposal("dir.d/noext"), "dir.d/noext");
    EXPECT_EQ(SaveAsProposal(""), "");
}

TEST_F(DisplayTest, PreviewNamesWithTheTwoBlankFallback) {
    EXPECT_EQ(PreviewCandidates("/d/scanFwd.int"),
              (std::vector<std::string>{"/d/scanFwd.bmp", "/d/scan  Fwd.bmp"}));
    EXPECT_EQ(PreviewCandidates("x.int"), (std::vector<std::string>{"x.bmp"}));
    EXPECT_EQ(PreviewCandidates("ab"), std::vector<std::string>{});
    EXPECT_EQ(PreviewCandidates("abcd.int").size(), 2u);  // 8 characters: longer than 7
    EXPECT_EQ(PreviewCandidates("abcd.int")[1], "a  bcd.bmp");
}

TEST_F(DisplayTest, DialogFiltersAndExtensions) {
    const auto f = SplitDialogFilter(
        "Velkore|*.txt|TopoMetrix|*.tfp; *.*fp; *.2fp; *.3fp |All files|*.*");
    ASSERT_EQ(f.size(), 3u);
    EXPECT_EQ(f[0].first, "Velkore");
    EXPECT_EQ(f[0].second, std::vector<std::string>{"*.txt"});
    EXPECT_EQ(f[1].second, (std::vector<std::string>{"*.tfp", "*.*fp", "*.2fp", "*.3fp"}));
    EXPECT_EQ(FilterExtension(f[1].second), "tfp");
    EXPECT_EQ(FilterExtension(f[2].second), "");
    EXPECT_EQ(SplitDialogFilter("odd|*.a|dangling").size(), 1u);
    EXPECT_EQ(EnsureExtension("/tmp/out", "dat"), "/tmp/out.dat");
    EXPECT_EQ(EnsureExtension("/tmp/out.txt", "dat"), "/tmp/out.txt");
    EXPECT_EQ(EnsureExtension("/tmp.d/out", "StL"), "/tmp.d/out.StL");
    EXPECT_EQ(EnsureExtension("/tmp/out", ""), "/tmp/out");
}

}  // namespace
