// Zoom and distortion correction through their public entries.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "core/Messages.h"
#include "core/Numbers.h"
#include "processing/Geometry.h"

namespace {

TQTVPicture Random(int cols, int rows, unsigned seed = 7)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> dist(-100.0f, 100.0f);
    TQTVPicture p;
    p.SetSize(cols, rows);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) p.Data[r][c] = dist(gen);
    return p;
}

bool SameBits(const TQTVPicture& a, const TQTVPicture& b)
{
    if (a.Cols != b.Cols || a.Rows != b.Rows) return false;
    return std::memcmp(a.Data.Block(), b.Data.Block(), static_cast<size_t>(a.Cols) * a.Rows * 4) == 0;
}

double F(double c, double d, double x) { return (1 - c - d) * x + c * x * x + d * x * x * x; }

}  // namespace

TEST(Zoom, DragKeepsASquareAndClampsAtTheEdges)
{
    struct Case {
        int x1, y1, x, y, cols, rows;
        TZoomRect expected;
    };
    const Case cases[] = {
        // 30 columns right and 50 lines down: a 30 x 30 square, the height following the width
        {10, 10, 40, 60, 100, 100, {10, 40, 10, 40}},
        // up and to the left
        {50, 50, 20, 5, 100, 100, {50, 20, 50, 20}},
        // beyond the right edge: x2 at Cols - 1
        {10, 10, 500, 90, 64, 100, {10, 63, 10, 63}},
        // the square then shrinks in y, and x follows the clamped height
        {10, 10, 200, 200, 100, 40, {10, 39, 10, 39}},
        // beyond the top-left corner
        {5, 8, -20, -20, 100, 100, {5, 0, 8, 3}},
    };
    for (const Case& c : cases) {
        TZoomRect r;
        r.X1 = r.X2 = c.x1;
        r.Y1 = r.Y2 = c.y1;
        ZoomDragTo(r, c.x, c.y, c.cols, c.rows);
        EXPECT_EQ(r.X1, c.expected.X1);
        EXPECT_EQ(r.X2, c.expected.X2) << c.x << "," << c.y;
        EXPECT_EQ(r.Y1, c.expected.Y1);
        EXPECT_EQ(r.Y2, c.expected.Y2) << c.x << "," << c.y;
    }
}

TEST(Zoom, CutTakesPictureLinesFromTheTopAndTakeOverScalesTheRanges)
{
    TQTVPicture src = Random(256, 256);
    src.Para.XScanRange = 1000;
    src.Para.YScanRange = 500;
    TQTVPicture work;
    // corners in any order
    ASSERT_TRUE(ZoomCut(src, work, {100, 36, 80, 16}));
    ASSERT_EQ(work.Cols, 64);
    ASSERT_EQ(work.Rows, 64);
    // working row j is source row Rows - y2 + j: picture lines 16..79 are rows 176..239
    for (int j = 0; j < 64; ++j)
        for (int i = 0; i < 64; ++i) ASSERT_EQ(work.Data[j][i], src.Data[256 - 80 + j][36 + i]);
    const float corner = work.Data[0][0];
    ZoomTakeOver(src, work);
    EXPECT_EQ(src.Cols, 64);
    EXPECT_EQ(src.Rows, 64);
    EXPECT_EQ(src.Para.XPixel, 64);
    EXPECT_DOUBLE_EQ(src.Para.XScanRange, 250.0);
    EXPECT_DOUBLE_EQ(src.Para.YScanRange, 125.0);
    EXPECT_EQ(src.Data[0][0], corner);
}

TEST(Zoom, BordersAndEmptyRectangles)
{
    const TQTVPicture src = Random(20, 10);
    TQTVPicture work = Random(3, 3);
    const TQTVPicture before = work;
    // zero width or height: nothing changes
    EXPECT_FALSE(ZoomCut(src, work, {5, 5, 2, 8}));
    EXPECT_FALSE(ZoomCut(src, work, {5, 9, 4, 4}));
    EXPECT_TRUE(SameBits(work, before));
    // Cols and Rows as the far corner keep the last column and the bottom line
    ASSERT_TRUE(ZoomCut(src, work, {0, 20, 0, 10}));
    EXPECT_TRUE(SameBits(work, src));
    // corners beyond the picture are pulled onto its border
    ASSERT_TRUE(ZoomCut(src, work, {-50, 500, -7, 900}));
    EXPECT_TRUE(SameBits(work, src));
    ASSERT_TRUE(ZoomCut(src, work, {15, 40, 8, 30}));
    ASSERT_EQ(work.Cols, 5);
    ASSERT_EQ(work.Rows, 2);
    EXPECT_EQ(work.Data[0][0], src.Data[0][15]);
    EXPECT_FALSE(ZoomCut(src, work, {25, 40, 0, 5}));  // wholly right of the picture
}

TEST(Distortion, SolveFindsTheRootNearestZeroOrInfinity)
{
    const long double inf = std::numeric_limits<long double>::infinity();
    // linear, quadratic and the two cubic cases (one real root; three real roots)
    struct Case {
        double c, d, u;
    };
    const Case solvable[] = {{0, 0, 0.3},   {0.1, 0, 0.5},  {0.1, 0, 1},    {-0.3, 0, 0.7},
                             {0, 0.2, 0.6}, {0.1, 0.05, 1}, {0, -2, 0.5},   {0.5, -2, 0.25},
                             {0, 0.2, 0},   {0, -2, -0.5},  {0.2, 0.3, 0.9}};
    for (const Case& k : solvable) {
        const long double x = SolveDistortion(k.c, k.d, k.u);
        ASSERT_TRUE(std::isfinite(x)) << k.c << " " << k.d << " " << k.u;
        EXPECT_NEAR(F(k.c, k.d, static_cast<double>(x)), k.u, 1e-12) << k.c << " " << k.d << " " << k.u;
        // no root of smaller magnitude: f - u keeps its sign strictly between 0 and x
        const double ax = std::fabs(static_cast<double>(x));
        for (int s = -1; s <= 1; s += 2)
            for (int i = 1; i < 1000; ++i) {
                const double t = s * ax * i / 1000.0;
                if (std::fabs(t) >= ax * (1 - 1e-9)) continue;
                const double v0 = F(k.c, k.d, 0) - k.u;
                const double vt = F(k.c, k.d, t) - k.u;
                if (k.u != 0) EXPECT_GT(v0 * vt, 0) << k.c << " " << k.d << " " << k.u << " at " << t;
            }
    }
    // the cubic 3x - 2x^3 = 0.5 has three roots (about -1.301, 0.170 and 1.131)
    EXPECT_NEAR(static_cast<double>(SolveDistortion(0, -2, 0.5)), 0.1699384, 1e-6);
    // a quadratic without a real root; a root beyond 1.2; the plain identity
    EXPECT_EQ(SolveDistortion(2, 0, -1), inf);
    EXPECT_EQ(SolveDistortion(0, 0, 1.5), inf);
    EXPECT_EQ(SolveDistortion(0, 0, -1.25), inf);
    EXPECT_EQ(SolveDistortion(0, 0, 1.2), static_cast<long double>(1.2));
    EXPECT_EQ(SolveDistortion(0, 0, 0.25), 0.25L);
}

TEST(Distortion, InterpolateOnSamplesPlanesAndPositionsOutside)
{
    TQTVPicture s;
    s.SetSize(3, 3);
    const float v[3][3] = {{1, 2, 4}, {8, 16, 32}, {64, 128, 512}};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) s.Data[r][c] = v[r][c];
    const double inf = std::numeric_limits<double>::infinity(), nan = std::nan("");
    struct Case {
        double y, x;
        float expected;
    };
    const Case cases[] = {
        {2, 2, 512},     // the corner is its own sample, not 32 + 128 - 16
        {2, 0, 64},      {0, 2, 4},   {1, 1, 16},
        {0.5, 0.5, 1 + 0.5f * 1 + 0.5f * 7},  // the plane through base, right and upper
        {1.5, 2, 32 + 0.5f * (128 - 16)},     // last column: base one short of it
        {-0.5, 0, 1 - 0.5f * 7},              // within (-1, 0): the plane as it is
        {inf, inf, 512}, {nan, nan, 1}, {-1, -1, 1}, {-7, 1, 2}, {inf, 0, 64},
    };
    for (const Case& k : cases) EXPECT_FLOAT_EQ(Interpolate(s, k.y, k.x), k.expected) << k.y << "," << k.x;
}

TEST(Distortion, CorrectionIdentityEndColumnsAndWildCoefficients)
{
    const TQTVPicture src = Random(37, 23);
    TQTVPicture work;
    CorrectDistortion(src, work, 0, 0, 0, 0);
    EXPECT_TRUE(SameBits(work, src));  // corner included

    CorrectDistortion(src, work, 0.1, 0, 0, 0);
    for (int r = 0; r < src.Rows; ++r) {
        EXPECT_EQ(work.Data[r][0], src.Data[r][0]);
        EXPECT_EQ(work.Data[r][36], src.Data[r][36]);
    }
    // an inner column: the root of 0.9x + 0.1x^2 = j / 36, interpolated along the row
    const int j = 12;
    const double x = 36 * static_cast<double>(SolveDistortion(0.1, 0, j / 36.0L));
    const int v = static_cast<int>(x);
    EXPECT_FLOAT_EQ(work.Data[5][j],
                    static_cast<float>(src.Data[5][v] + (x - v) * (src.Data[5][v + 1] - src.Data[5][v])));

    // coefficients without usable roots and strongly non-monotonic ones: no position
    // outside the image is read, every sample stays a number
    for (const double c : {5.0, -8.0, 40.0})
        for (const double d : {-9.0, 0.0, 30.0}) {
            CorrectDistortion(src, work, c, d, d, c);
            for (int r = 0; r < src.Rows; ++r)
                for (int k = 0; k < src.Cols; ++k) ASSERT_FALSE(std::isnan(work.Data[r][k])) << c << " " << d;
        }
    // single rows and columns
    for (const auto& [cols, rows] : {std::pair{1, 5}, std::pair{5, 1}, std::pair{1, 1}}) {
        const TQTVPicture thin = Random(cols, rows);
        CorrectDistortion(thin, work, 0.1, 0.2, 0.1, 0.2);
        EXPECT_EQ(work.Cols, cols);
        EXPECT_EQ(work.Data[0][0], thin.Data[0][0]);
    }
}

// The correction refuses coefficients whose f does not rise from 0 to 1 across the scan:
// exactly those for which f falls somewhere on [0, 1].
TEST(Distortion, FoldingCoefficientsAreNamed)
{
    SetDecimalSeparator('.');
    const std::string prefix = "These coefficients fold the scan: ";
    for (double c = -3; c <= 3; c += 0.25)
        for (double d = -3; d <= 3; d += 0.25) {
            double lowestSlope = 1e300;
            bool falls = false;
            for (int i = 0; i < 4000; ++i) {
                const double x0 = i / 4000.0, x1 = (i + 1) / 4000.0;
                lowestSlope = std::min(lowestSlope, (F(c, d, x1) - F(c, d, x0)) * 4000);
                falls = falls || F(c, d, x1) < F(c, d, x0);
            }
            if (std::fabs(lowestSlope) < 1e-2) continue;  // too close to call on a grid
            const std::string x = DistortionFoldText(c, d, 0, 0), y = DistortionFoldText(0, 0, c, d);
            EXPECT_EQ(!x.empty(), falls) << c << " " << d;
            EXPECT_EQ(!y.empty(), falls) << c << " " << d;
            if (falls) {
                EXPECT_EQ(x.rfind(prefix + "with c_x = ", 0), 0u) << x;
                EXPECT_EQ(y.rfind(prefix + "with c_y = ", 0), 0u) << y;
            }
        }
    // f' = 0 at one end still rises; the example of a wild pair; numbers that are none
    EXPECT_EQ(DistortionFoldText(1, 0, -1, 0), "");
    EXPECT_EQ(DistortionFoldText(100, -1e30, 0, 0),
              prefix + "with c_x = 100 and d_x = -1E30, f(x) = (1 - c - d) x + c x\xB2 + d x\xB3 falls near "
                       "x = 1 of the x scan instead of rising from 0 to 1. Nothing was changed.");
    EXPECT_NE(DistortionFoldText(0, 0, std::numeric_limits<double>::quiet_NaN(), 0).find("c_y and d_y must be finite"),
              std::string::npos);
    EXPECT_NE(DistortionFoldText(std::numeric_limits<double>::infinity(), 0, 0, 0), "");
}
