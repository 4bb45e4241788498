// Leveling variants through their public entry (RunLeveling) as "Do" runs them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>

#include "core/Messages.h"
#include "processing/Leveling.h"

namespace {

using TFn = std::function<double(int c, int r)>;

TQTVPicture Make(int cols, int rows, const TFn& f)
{
    TQTVPicture p;
    p.SetSize(cols, rows);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) p.Data[r][c] = static_cast<float>(f(c, r));
    return p;
}

double MaxDeviation(const TQTVPicture& p, double expected, bool onlyMarked = false)
{
    double worst = 0;
    for (int r = 0; r < p.Rows; ++r)
        for (int c = 0; c < p.Cols; ++c)
            if (!onlyMarked || p.Marks[c][r] == 1)
                worst = std::max(worst, std::abs(p.Data[r][c] - expected));
    return worst;
}

bool Same(const TQTVPicture& a, const TQTVPicture& b)
{
    for (int r = 0; r < a.Rows; ++r)
        for (int c = 0; c < a.Cols; ++c)
            if (std::memcmp(&a.Data[r][c], &b.Data[r][c], 4) != 0) return false;
    return true;
}

enum { Points = 0, Plane = 1, Lines = 2, Cols = 3 };

struct Leveling : ::testing::Test {
    TRecordingSink sink;
    TScopedMessageSink scoped{&sink};
    std::vector<TMarkedPoint> points;
    bool Run(TQTVPicture& p, int method, int order, bool advanced = false)
    {
        return RunLeveling(p, method, order, advanced, points);
    }
};

TEST_F(Leveling, PlaneKeepsItsOffsetIn2DimAndVanishesPerLine)
{
    const TFn plane = [](int c, int r) { return 3 + 2 * c + 5 * r; };
    TQTVPicture p = Make(40, 30, plane);
    ASSERT_TRUE(Run(p, Plane, 1));
    EXPECT_LT(MaxDeviation(p, 3.0), 1e-4);
    p = Make(40, 30, plane);
    ASSERT_TRUE(Run(p, Lines, 1));
    EXPECT_LT(MaxDeviation(p, 0.0), 1e-4);
    p = Make(40, 30, plane);
    ASSERT_TRUE(Run(p, Cols, 1));
    EXPECT_LT(MaxDeviation(p, 0.0), 1e-4);
    EXPECT_TRUE(sink.Shown.empty());
}

TEST_F(Leveling, EveryVariantRemovesWhatItFits)
{
    struct Case {
        int method, order;
        bool advanced;
        TFn f;
        double left;  // value every sample has afterwards
    };
    const TFn parabolaX = [](int c, int) { return 1 + 0.5 * c - 0.03 * c * c; };
    const TFn parabolaY = [](int, int r) { return -2 + 0.25 * r + 0.02 * r * r; };
    const TFn bowl = [](int c, int r) { return 0.01 * c * c + 0.02 * r * r - c + 7; };
    const TFn rowSteps = [](int c, int r) { return r % 3 * 10.0 + 0.5; };
    const std::vector<Case> cases = {
        {Plane, 0, false, [](int, int) { return 6.5; }, 0.0},
        {Lines, 0, false, rowSteps, 0.0},
        {Cols, 0, false, [](int c, int) { return c * 1.5; }, 0.0},
        {Plane, 2, false, bowl, 0.0},
        {Lines, 2, false, parabolaX, 0.0},
        {Lines, 2, true, parabolaX, 0.0},
        {Cols, 2, false, parabolaY, 0.0},
        {Cols, 2, true, parabolaY, 0.0},
    };
    for (const Case& k : cases) {
        TQTVPicture p = Make(37, 29, k.f);
        ASSERT_TRUE(Run(p, k.method, k.order, k.advanced));
        EXPECT_LT(MaxDeviation(p, k.left), 2e-4) << k.method << "/" << k.order << "/" << k.advanced;
    }
}

TEST_F(Leveling, MarksDecideTheFitSetAsEachVariantSays)
{
    // a plane whose unmarked rows are wild: variants that honour the marks level the
    // marked samples exactly, the others are thrown off (whole rows are left out, so the
    // column and row indices of the fit set stay uncorrelated and the separate x and y
    // slopes of "2Dim" are the plane's own)
    struct Case {
        int method, order;
        bool advanced, honours;
        double left;
    };
    const std::vector<Case> cases = {
        {Plane, 0, false, true, 5.0},  {Plane, 1, false, true, 3.0}, {Plane, 2, false, true, 0.0},
        {Lines, 0, false, true, 2.0},  {Lines, 1, false, true, 0.0}, {Lines, 2, true, true, 0.0},
        {Lines, 2, false, false, 0.0}, {Cols, 1, false, true, 0.0},  {Cols, 2, true, true, 0.0},
        {Cols, 2, false, false, 0.0},
    };
    for (const Case& k : cases) {
        const TFn plane = k.order == 0 ? TFn([&](int c, int r) { return k.method == Lines ? 2.0 + 0 * c : 5.0 + 0 * r; })
                                       : TFn([](int c, int r) { return 3 + 2 * c + 5 * r; });
        TQTVPicture p = Make(24, 20, plane);
        for (int r = 0; r < p.Rows; ++r)
            for (int c = 0; c < p.Cols; ++c)
                if (r % 4 == 1 || (k.method != Plane && (c * 7 + r * 3) % 5 == 0)) {
                    p.Marks[c][r] = 0;
                    p.Data[r][c] = 1000.0f + c * 31 + r * 17;
                }
        if (k.method == Lines && k.order == 0) {
            // mean per row is the level of the row's marked samples
            ASSERT_TRUE(Run(p, k.method, k.order, k.advanced));
            EXPECT_LT(MaxDeviation(p, 0.0, true), 1e-4);
            continue;
        }
        ASSERT_TRUE(Run(p, k.method, k.order, k.advanced));
        const double expect = k.order == 0 ? 0.0 : k.left;
        if (k.honours)
            EXPECT_LT(MaxDeviation(p, expect, true), 2e-3) << k.method << "/" << k.order << "/" << k.advanced;
        else
            EXPECT_GT(MaxDeviation(p, expect, true), 1.0) << k.method << "/" << k.order;
    }
    // no sample in the fit set: nothing happens
    TQTVPicture p = Make(8, 6, [](int c, int r) { return c + r * 0.5; });
    const TQTVPicture before = p;
    p.Marks.Fill(0);
    for (int order = 0; order < 3; ++order) {
        ASSERT_TRUE(Run(p, Plane, order, true));
        ASSERT_TRUE(Run(p, Lines, order, true));
    }
    EXPECT_TRUE(Same(p, before));
}

TEST_F(Leveling, RefusedRunsChangeNothing)
{
    TQTVPicture p = Make(10, 10, [](int c, int r) { return c * r; });
    const TQTVPicture before = p;
    for (auto [m, o] : std::vector<std::pair<int, int>>{{Points, 0}, {Points, 2}, {-1, 1}, {4, 0}, {Lines, 3}})
        EXPECT_FALSE(Run(p, m, o));
    EXPECT_EQ(sink.Texts(), std::vector<std::string>(5, "Method not supported!"));
    sink.Clear();
    points = {{3, 3}};
    EXPECT_FALSE(Run(p, Points, 1));
    EXPECT_EQ(sink.Texts(),
              std::vector<std::string>{"Not enough points!\nPlease mark points with left mouse button."});
    EXPECT_EQ(points.size(), 1u);
    EXPECT_TRUE(Same(p, before));
}

TEST_F(Leveling, PointsRemoveTheSlopesThroughThemAndAreUsedOnce)
{
    TQTVPicture p = Make(50, 40, [](int c, int r) { return 1 + 0.5 * c - 0.25 * r; });
    points = {{0, 0}, {49, 0}, {0, 39}, {49, 39}};
    ASSERT_TRUE(Run(p, Points, 1));
    EXPECT_LT(MaxDeviation(p, 1.0), 1e-4);
    EXPECT_TRUE(points.empty());
    EXPECT_FALSE(Run(p, Points, 1));

    // two points on one vertical line: only the y slope goes
    p = Make(20, 20, [](int c, int r) { return 2.0 * c + 3.0 * r; });
    points = {{5, 2}, {5, 12}};
    ASSERT_TRUE(Run(p, Points, 1));
    EXPECT_FLOAT_EQ(p.Data[7][9], 18.0f);

    // clicks on the last half pixel of a large preview stay inside the image
    TQTVPicture small = Make(4, 3, [](int c, int r) { return c + 10 * r; });
    const TMarkedPoint corner = PreviewPoint(small, 399, 299, 400, 300);
    EXPECT_EQ(corner.X, 3);
    EXPECT_EQ(corner.Row, 0);
    const TMarkedPoint top = PreviewPoint(small, 0, 0, 400, 300);
    EXPECT_EQ(top.Row, 2);
    points = {{4, -1}, {-3, 3}, {2, 1}};
    EXPECT_TRUE(Run(small, Points, 1));
}

TEST_F(Leveling, SecondOrderWorksOnTheLargestImages)
{
    // index cubes beyond 32 bits: 2048 columns (rows for the column variant)
    const TFn px = [](int c, int) { return 0.001 * c + 1e-6 * c * c; };
    const TFn py = [](int, int r) { return -0.002 * r + 2e-6 * r * r; };
    struct Case {
        int cols, rows, method;
        bool advanced;
        TFn f;
    };
    for (const Case& k : std::vector<Case>{{2048, 3, Lines, false, px},
                                           {2048, 3, Lines, true, px},
                                           {3, 2048, Cols, false, py},
                                           {3, 2048, Cols, true, py},
                                           {2053, 2, Plane, false, px}}) {
        TQTVPicture p = Make(k.cols, k.rows, k.f);
        ASSERT_TRUE(Run(p, k.method, 2, k.advanced));
        EXPECT_LT(MaxDeviation(p, 0.0), 1e-3) << k.cols << "x" << k.rows;
    }
    EXPECT_TRUE(sink.Shown.empty());
}

TEST_F(Leveling, SumsFollowRowMajorOrder)
{
    // the plane fit from its sums taken in row-major order, done by hand
    TQTVPicture p = Make(7, 5, [](int c, int r) { return std::sin(c * 1.3 + r * 0.7) * 1e3 + 1e-3 * c; });
    double n = 0, sc = 0, scc = 0, sr = 0, srr = 0, sz = 0, scz = 0, srz = 0;
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 7; ++c) {
            const double z = p.Data[r][c];
            n += 1, sc += c, scc += c * c, sr += r, srr += r * r, sz += z, scz += c * z, srz += r * z;
        }
    const double bx = (n * scz - sc * sz) / (n * scc - sc * sc);
    const double by = (n * srz - sr * sz) / (n * srr - sr * sr);
    TQTVPicture expect = p;
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 7; ++c) expect.Data[r][c] = static_cast<float>(p.Data[r][c] - c * bx - r * by);
    ASSERT_TRUE(Run(p, Plane, 1));
    EXPECT_TRUE(Same(p, expect));
}

}  // namespace
