// Cross correlation, regions, lattice linking, the statistics plot and its fit, the
// distortion transfer and the averaged cell.
#include <gtest/gtest.h>

#include <cmath>

#include "analysis/Correlation.h"
#include "analysis/Lattice.h"
#include "analysis/UnitCell.h"
#include "core/Messages.h"
#include "core/Numbers.h"
#include "processing/Geometry.h"
#include "unitcell_support.h"

using namespace unitcell_test;

namespace {

TUnitCellMatch At(double x, double y) {
    TUnitCellMatch m;
    m.X = x;
    m.Y = y;
    m.Pixels = 1;
    return m;
}

// The window's steps on a picture: cut-out, correlation, threshold, regions, linking.
struct TRun {
    TCellCut Cut;
    TQTVPicture Corr;
    TRegionResult Regions;
    int32_t Home = -1;
};

TRun FindGrid(const TQTVPicture& p, const TCellCorners& c, int position) {
    TRun run;
    EXPECT_TRUE(ExtractCell(p, c, run.Cut));
    EXPECT_TRUE(CrossCorrelate(p, run.Cut.Cell, run.Cut.Half, run.Corr));
    run.Regions = LabelRegions(run.Corr, ThresholdValue(run.Corr, position));
    run.Home = LinkNeighbours(run.Regions.Matches, c, p.Cols, p.Rows);
    return run;
}

std::vector<TPlotPoint> Points(std::initializer_list<std::pair<double, double>> xy) {
    std::vector<TPlotPoint> out;
    for (auto [x, y] : xy) {
        TPlotPoint p;
        p.X = x;
        p.Y = y;
        out.push_back(p);
    }
    return out;
}

}  // namespace

TEST(UnitCellCorrelation, SyntheticLatticeFindsAndLinksEverySite) {
    TRecordingSink sink;
    TScopedMessageSink scoped(&sink);
    // 16 x 16 sites, period 16; the marked cell spans one period around the site at
    // column 120, sample row 120 (display line 135), a to the right and b up
    const TQTVPicture p = SquareLattice(256, 256, 16, 8.0);
    const TCellCorners c{{112, 143}, {128, 143}, {128, 127}};
    TRun run = FindGrid(p, c, 70);
    EXPECT_TRUE(sink.Shown.empty());
    const auto& m = run.Regions.Matches;
    ASSERT_EQ(m.size(), 256u);
    // the matches sit on a lattice of period 16, all shifted alike
    const double ox = m[0].X, oy = m[0].Y;
    for (const auto& k : m) {
        EXPECT_NEAR(std::remainder(k.X - ox, 16.0), 0.0, 1e-9);
        EXPECT_NEAR(std::remainder(k.Y - oy, 16.0), 0.0, 1e-9);
    }
    // search order: column by column from the left, bottom up
    for (size_t i = 1; i < m.size(); ++i) EXPECT_TRUE(m[i].X > m[i - 1].X || m[i].Y > m[i - 1].Y);
    ASSERT_GE(run.Home, 0);
    // every match away from the border is linked four ways with a = (16, 0), b = (0, 16)
    int inner = 0;
    for (const auto& k : m) {
        if (k.X < 16 || k.Y < 16 || k.X > 256 - 17 - 16 || k.Y > 256 - 17 - 16) continue;
        ++inner;
        for (int s = 0; s < 4; ++s) EXPECT_GE(k.Neighbour[static_cast<size_t>(s)], 0);
        EXPECT_DOUBLE_EQ(k.VecAX, 16.0);
        EXPECT_DOUBLE_EQ(k.VecAY, 0.0);
        EXPECT_DOUBLE_EQ(k.VecBX, 0.0);
        EXPECT_DOUBLE_EQ(k.VecBY, 16.0);
        EXPECT_EQ(k.Neighbour[4], -1);
        EXPECT_EQ(k.Neighbour[5], -1);
    }
    EXPECT_GE(inner, 100);
    // links are mutual
    for (size_t i = 0; i < m.size(); ++i) {
        static const int back[4] = {2, 3, 0, 1};
        for (int s = 0; s < 4; ++s) {
            const int j = m[i].Neighbour[static_cast<size_t>(s)];
            if (j >= 0) {
                EXPECT_EQ(m[static_cast<size_t>(j)].Neighbour[static_cast<size_t>(back[s])], static_cast<int>(i));
            }
        }
    }
}

TEST(UnitCellCorrelation, NonSquareImageKeepsItsGeometry) {
    TRecordingSink sink;
    TScopedMessageSink scoped(&sink);
    // 300 x 200 on a 512 grid: the sites come out where they are
    const TQTVPicture p = SquareLattice(300, 200, 20, 10.0);
    const TCellCorners c{{140, 110}, {160, 110}, {160, 90}};
    TRun run = FindGrid(p, c, 70);
    ASSERT_FALSE(run.Regions.Matches.empty());
    ASSERT_GE(run.Home, 0);
    const TUnitCellMatch& h = run.Regions.Matches[static_cast<size_t>(run.Home)];
    // the home match lies at the marked cell's centre (150, sample row 99.5) within a pixel
    EXPECT_NEAR(h.X, 150.0, 1.5);
    EXPECT_NEAR(h.Y, 99.5, 1.5);
    EXPECT_NEAR(h.VecAX, 20.0, 1e-9);
    EXPECT_NEAR(h.VecBY, 20.0, 1e-9);
}

TEST(UnitCellCorrelation, SliderEnds) {
    TRecordingSink sink;
    TScopedMessageSink scoped(&sink);
    const TQTVPicture p = SquareLattice(128, 128, 16, 8.0);
    TCellCut cut;
    ASSERT_TRUE(ExtractCell(p, {{56, 72}, {72, 72}, {72, 56}}, cut));
    TQTVPicture corr;
    ASSERT_TRUE(CrossCorrelate(p, cut.Cell, cut.Half, corr));
    EXPECT_DOUBLE_EQ(ThresholdValue(corr, 0), corr.Min);
    EXPECT_DOUBLE_EQ(ThresholdValue(corr, 100), corr.Max);
    // 100: nothing lies above the maximum
    TRegionResult r = LabelRegions(corr, ThresholdValue(corr, 100));
    EXPECT_TRUE(r.Matches.empty());
    EXPECT_FALSE(r.TooMany);
    EXPECT_TRUE(sink.Shown.empty());
    // 0: nearly everything is above the minimum, one region of 1000 pixels
    r = LabelRegions(corr, ThresholdValue(corr, 0));
    EXPECT_TRUE(r.TooMany);
    EXPECT_TRUE(r.Matches.empty());
    ASSERT_EQ(sink.Texts().size(), 1u);
    EXPECT_EQ(sink.Texts()[0], "Too many datapoints above border!\rPlease use Slider to raise border!");
    // the threshold display keeps what is at or above t
    TQTVPicture shown;
    const double t = ThresholdValue(corr, 50);
    ApplyThreshold(corr, t, shown);
    for (int r2 = 0; r2 < 128; r2 += 7)
        for (int c2 = 0; c2 < 128; c2 += 5)
            EXPECT_EQ(shown.Data[r2][c2], corr.Data[r2][c2] >= t ? corr.Data[r2][c2] : 0.0f);
}

TEST(UnitCellCorrelation, OversizedImageIsRefused) {
    TRecordingSink sink;
    TScopedMessageSink scoped(&sink);
    TQTVPicture p = Constant(2049, 4, 1.0f), cell = Constant(2049, 4, 0.0f), corr = Constant(3, 3, 5.0f);
    EXPECT_FALSE(CrossCorrelate(p, cell, 1, corr));
    ASSERT_EQ(sink.Texts().size(), 1u);
    EXPECT_NE(sink.Texts()[0].find("2048"), std::string::npos);
    EXPECT_EQ(corr.Cols, 3);  // unchanged
    EXPECT_EQ(corr.Data[1][1], 5.0f);
}

TEST(UnitCellRegions, PixelsCentroidsAndPeaks) {
    TRecordingSink sink;
    TScopedMessageSink scoped(&sink);
    TQTVPicture corr = Constant(20, 10, 0.0f);
    corr.Data[3][7] = 5.0f;  // a one-pixel region
    // an L-shaped region: (2,1) (2,2) (3,2), peak 9
    corr.Data[1][2] = 2.0f;
    corr.Data[2][2] = 9.0f;
    corr.Data[2][3] = 1.5f;
    // exactly at the threshold: not above it
    corr.Data[8][15] = 1.0f;
    const TRegionResult r = LabelRegions(corr, 1.0);
    ASSERT_EQ(r.Matches.size(), 2u);
    EXPECT_DOUBLE_EQ(r.Matches[0].X, 7.0 / 3);
    EXPECT_DOUBLE_EQ(r.Matches[0].Y, 5.0 / 3);
    EXPECT_EQ(r.Matches[0].Pixels, 3);
    EXPECT_DOUBLE_EQ(r.Matches[0].Peak, 9.0);
    EXPECT_DOUBLE_EQ(r.Matches[1].X, 7.0);
    EXPECT_DOUBLE_EQ(r.Matches[1].Y, 3.0);
    EXPECT_EQ(r.Matches[1].Pixels, 1);
    EXPECT_DOUBLE_EQ(r.Matches[1].Peak, 5.0);
    for (int s = 0; s < 6; ++s) EXPECT_EQ(r.Matches[1].Neighbour[static_cast<size_t>(s)], -1);
    EXPECT_TRUE(sink.Shown.empty());
}

TEST(UnitCellLinking, NearestMatchRules) {
    std::vector<TUnitCellMatch> m{At(10, 10), At(20, 10), At(15, 10)};
    EXPECT_EQ(NearestMatch(m, 12, 10, 100, 50), 0);
    EXPECT_EQ(NearestMatch(m, 12.5, 10, 100, 50), 0);  // equal distances: the lower index
    EXPECT_EQ(NearestMatch(m, 17.5, 10, 100, 50), 1);
    EXPECT_EQ(NearestMatch(m, 99, 10, 100, 50), -1);   // x = W - 1
    EXPECT_EQ(NearestMatch(m, 98.9, 10, 100, 50), -1); // farther than H
    EXPECT_EQ(NearestMatch(m, 40, 10, 100, 50), 1);
    EXPECT_EQ(NearestMatch(m, 10, 49, 100, 50), -1);   // y = H - 1
    EXPECT_EQ(NearestMatch(m, -0.5, 10, 100, 50), -1);
    EXPECT_EQ(NearestMatch({}, 10, 10, 100, 50), -1);
}

TEST(UnitCellLinking, OneWayLinkIsRemovedByTheMutualCheck) {
    // j is i's +b neighbour, but j's -b neighbour is another match k
    std::vector<TUnitCellMatch> m{At(0, 0), At(0, 10), At(1, 1)};
    m[0].Neighbour[0] = 1;  // i -> j at +b
    m[1].Neighbour[2] = 2;  // j -> k at -b
    m[2].Neighbour[0] = 1;  // k -> j at +b: mutual with j's -b
    m[0].Neighbour[3] = 2;  // i -> k at +a, k -> i at -a
    m[2].Neighbour[1] = 0;
    m[1].Neighbour[1] = 0;  // j -> i at -a, but i's +a is k
    KeepMutualLinks(m);
    EXPECT_EQ(m[0].Neighbour[0], -1);
    EXPECT_EQ(m[1].Neighbour[2], 2);
    EXPECT_EQ(m[2].Neighbour[0], 1);
    EXPECT_EQ(m[0].Neighbour[3], 2);
    EXPECT_EQ(m[2].Neighbour[1], 0);
    EXPECT_EQ(m[1].Neighbour[1], -1);
    // the local vectors follow the links that stay
    SetLocalVectors(m);
    EXPECT_DOUBLE_EQ(m[0].VecAX, 1.0);
    EXPECT_DOUBLE_EQ(m[0].VecBY, 0.0);
    EXPECT_DOUBLE_EQ(m[2].VecBX, -1.0);
    EXPECT_DOUBLE_EQ(m[2].VecBY, 9.0);
}

TEST(UnitCellLinking, NoHomeMatchLinksNothing) {
    std::vector<TUnitCellMatch> m{At(5, 5), At(15, 5)};
    // the marked cell lies more than H away from every match
    EXPECT_EQ(LinkNeighbours(m, {{80, 20}, {90, 20}, {90, 10}}, 100, 30), -1);
    for (const auto& k : m)
        for (int s = 0; s < 6; ++s) EXPECT_EQ(k.Neighbour[static_cast<size_t>(s)], -1);
    EXPECT_EQ(LinkNeighbours(m, {{80, 20}, {90, 20}, {90, 10}}, 100, 300), 1);
}

TEST(UnitCellLinking, PlusANeighbourAtTheRightEdgeIsMissing) {
    // a row of matches 10 apart; the last one's +a prediction lies at x >= W - 1
    std::vector<TUnitCellMatch> m{At(70, 20), At(80, 20), At(90, 20)};
    ASSERT_EQ(LinkNeighbours(m, {{65, 84}, {75, 84}, {75, 74}}, 100, 100), 0);
    EXPECT_EQ(m[0].Neighbour[3], 1);
    EXPECT_EQ(m[1].Neighbour[3], 2);
    EXPECT_EQ(m[2].Neighbour[3], -1);
    EXPECT_DOUBLE_EQ(m[2].VecAX, 0.0);
    EXPECT_DOUBLE_EQ(m[2].VecAY, 0.0);
    EXPECT_DOUBLE_EQ(m[1].VecAX, 10.0);
    EXPECT_EQ(m[2].Neighbour[1], 1);
}

TEST(UnitCellLinking, GridAnchorAndDrawnGrid) {
    EXPECT_EQ(GridAnchorOf({{109, 146}, {146, 146}, {146, 109}}), (TPointI{-18, 18}));
    EXPECT_EQ(GridAnchorOf({{10, 10}, {15, 10}, {13, 7}}), (TPointI{-1, 1}));  // truncated
    std::vector<TUnitCellMatch> m{At(10, 10), At(20, 10)};
    m[0].Neighbour[3] = 1;
    m[1].Neighbour[1] = 0;
    const auto lines = FoundGridLines(m, {-2, 3}, {1, 1}, 50);
    ASSERT_EQ(lines.size(), 2u);
    // ox = -2 + 1, oy = 3 - 1; display line 49 - (10 + 2)
    EXPECT_EQ(lines[0].From, (TPointI{9, 37}));
    EXPECT_EQ(lines[0].To, (TPointI{19, 37}));
    EXPECT_FALSE(lines[0].BDirection);
}

TEST(UnitCellPlot, LatticeQuantities) {
    // dx = 0.5, dy = 0.25
    TQTVPicture p;
    p.SetSize(100, 100);
    p.Para.XScanRange = 50;
    p.Para.YScanRange = 25;
    std::vector<TUnitCellMatch> m{At(10, 20), At(30, 40), At(50, 60)};
    m[0].Neighbour[3] = 1;
    m[0].Neighbour[0] = 2;
    m[0].VecAX = 4;
    m[0].VecAY = 3;
    m[0].VecBX = -3;
    m[0].VecBY = 4;
    m[1].Neighbour[0] = 2;  // +b, but VecA zero
    m[1].VecBX = 2;
    struct Case {
        TLatticeQuantity q;
        TPlotAxis axis;
        size_t count;
        double x0, y0;
    };
    const Case cases[] = {
        {TLatticeQuantity::Ax, TPlotAxis::X, 1, 6.0, 2.0},  // x 10 dx = 5, moved by ax dx / 2 = 1
        {TLatticeQuantity::Ax, TPlotAxis::Y, 1, 20 * 0.25, 2.0},
        {TLatticeQuantity::Ay, TPlotAxis::Y, 1, 5.0, 0.75},
        {TLatticeQuantity::Bx, TPlotAxis::X, 2, 5.0, -1.5},
        {TLatticeQuantity::By, TPlotAxis::X, 2, 5.0, 1.0},
        {TLatticeQuantity::A, TPlotAxis::X, 1, 5.0, std::sqrt(4.0 + 0.5625)},  // match 1 has |a| = 0
        {TLatticeQuantity::B, TPlotAxis::X, 2, 5.0, std::sqrt(2.25 + 1.0)},
        {TLatticeQuantity::Phi, TPlotAxis::X, 1, 5.0, 90.0},  // in pixels
    };
    for (const Case& c : cases) {
        const auto pts = LatticePlotData(m, c.q, c.axis, p);
        ASSERT_EQ(pts.size(), c.count) << static_cast<int>(c.q);
        EXPECT_DOUBLE_EQ(pts[0].X, c.x0) << static_cast<int>(c.q);
        EXPECT_NEAR(pts[0].Y, c.y0, 1e-12) << static_cast<int>(c.q);
        EXPECT_EQ(pts[0].Match, 0);
        EXPECT_EQ(pts[0].Excluded, 0);
    }
}

TEST(UnitCellPlot, MatchStatistics) {
    std::vector<TUnitCellMatch> m{At(1, 1), At(2, 2), At(3, 3), At(4, 4)};
    m[0].Pixels = 4;
    m[1].Pixels = 9;
    m[2].Pixels = 4;
    m[3].Pixels = 1;
    m[1].Peak = 7.5;
    const auto counts = RegionSizeData(m, false);
    ASSERT_EQ(counts.size(), 3u);
    EXPECT_EQ(counts[0].X, 1);
    EXPECT_EQ(counts[1].X, 4);
    EXPECT_EQ(counts[1].Y, 2);
    EXPECT_EQ(counts[2].X, 9);
    EXPECT_EQ(RegionSizeData(m, true)[2].X, 3.0);
    const auto peaks = PeakData(m, true);
    ASSERT_EQ(peaks.size(), 4u);
    EXPECT_EQ(peaks[1].X, 3.0);
    EXPECT_EQ(peaks[1].Y, 7.5);
}

TEST(UnitCellFit, Parabola) {
    SetDecimalSeparator('.');
    auto fit = FitParabola(Points({{0, 1}, {1, 2}, {2, 5}}));
    ASSERT_TRUE(fit);
    EXPECT_NEAR(fit->C2, 1.0, 1e-15);
    EXPECT_NEAR(fit->C1, 0.0, 1e-15);
    EXPECT_NEAR(fit->C0, 1.0, 1e-15);
    EXPECT_EQ(FitText({1, 0, 1}), "fit = 1.000 * x\xB2 +0 * x +1.000");
    EXPECT_EQ(FitText({-0.5, -2, 0.25}), "fit = -0.500 * x\xB2 -2.000 * x +0.250");
    // least squares through four points of a line
    fit = FitParabola(Points({{0, 1}, {1, 3}, {2, 5}, {3, 7}}));
    ASSERT_TRUE(fit);
    EXPECT_NEAR(fit->C2, 0.0, 1e-12);
    EXPECT_NEAR(fit->C1, 2.0, 1e-12);
    EXPECT_NEAR(fit->C0, 1.0, 1e-12);
    // two distinct abscissae: no fit (the window keeps its old one)
    EXPECT_FALSE(FitParabola(Points({{0, 1}, {1, 2}, {1, 3}, {0, 4}})));
    EXPECT_FALSE(FitParabola({}));
}

TEST(UnitCellFit, CopyToDistortion) {
    SetDecimalSeparator('.');
    TQTVPicture p;
    p.SetSize(100, 100);
    p.Para.XScanRange = 2;  // L of the x axis
    p.Para.YScanRange = 3;  // L of the y axis
    // m = 1 * 4 / 3 + 3 * 2 / 2 + 2 = 19 / 3
    TDistortionPair d = DistortionFromFit({1, 3, 2}, p, TPlotAxis::X);
    EXPECT_DOUBLE_EQ(d.C, -3.0 * 2 / (19.0 / 3) / 2);
    EXPECT_DOUBLE_EQ(d.D, -4.0 * 1 / (19.0 / 3) / 3);
    // the y axis takes its own scan length: m = 9 / 3 + 3 * 3 / 2 + 2 = 9.5
    d = DistortionFromFit({1, 3, 2}, p, TPlotAxis::Y);
    EXPECT_DOUBLE_EQ(d.C, -3.0 * 3 / 9.5 / 2);
    EXPECT_DOUBLE_EQ(d.D, -9.0 * 1 / 9.5 / 3);
    EXPECT_EQ(DistortionCopiedText(d, TPlotAxis::Y),
              "Copied to Distortion: c_y = " + DistortionText(d.C) + ", d_y = " + DistortionText(d.D));
    // a fitted mean of 0 divides by 1
    d = DistortionFromFit({0, 1, -1}, p, TPlotAxis::X);  // m = 1 * 2 / 2 - 1 = 0
    EXPECT_DOUBLE_EQ(d.C, -1.0);
    EXPECT_DOUBLE_EQ(d.D, 0.0);
    EXPECT_STREQ(DistortionKeyC(TPlotAxis::X), "DistortionCX");
    EXPECT_STREQ(DistortionKeyD(TPlotAxis::Y), "DistortionDY");
    EXPECT_EQ(DistortionText(-0.123456), "-0.1235");
}

namespace {

// A square lattice of bumps (period 16 pixels on 512 x 512, 100 nm x 100 nm) imaged
// through a scanner that puts the true fraction p of the scan along one axis at the
// image fraction f(p) = (1 - c - d) p + c p^2 + d p^3.
TQTVPicture ScannedLattice(double c, double d, TPlotAxis axis) {
    constexpr int N = 512, Period = 16;
    constexpr double Sigma = 2.5;
    TQTVPicture p;
    p.SetSize(N, N);
    p.Para.XScanRange = p.Para.YScanRange = 100;
    p.Para.XPhysUnit = p.Para.YPhysUnit = p.Para.PhysUnit = "nm";
    // the true position shown by each image line or column of the distorted axis
    std::vector<double> truePos(N);
    for (int i = 0; i < N; ++i)
        truePos[static_cast<size_t>(i)] =
            (N - 1) * static_cast<double>(SolveDistortion(c, d, static_cast<long double>(i) / (N - 1)));
    auto offSite = [](double v) {
        const double k = std::fmod(v - Period / 2.0 + 10.0 * Period, Period);
        return k > Period / 2.0 ? k - Period : k;
    };
    for (int r = 0; r < N; ++r)
        for (int col = 0; col < N; ++col) {
            const double x = axis == TPlotAxis::X ? truePos[static_cast<size_t>(col)] : col;
            const double y = axis == TPlotAxis::Y ? truePos[static_cast<size_t>(r)] : r;
            const double dx = offSite(x), dy = offSite(y);
            p.Data[r][col] = static_cast<float>(std::exp(-(dx * dx + dy * dy) / (2 * Sigma * Sigma)));
        }
    p.UpdateMinMax();
    return p;
}

struct TSpread {
    double Mean = 0, SD = 0;
    size_t Count = 0;
};

TSpread SpreadOf(const std::vector<TPlotPoint>& pts) {
    TSpread s;
    s.Count = pts.size();
    if (pts.empty()) return s;
    for (const TPlotPoint& p : pts) s.Mean += p.Y;
    s.Mean /= static_cast<double>(pts.size());
    for (const TPlotPoint& p : pts) s.SD += (p.Y - s.Mean) * (p.Y - s.Mean);
    s.SD = std::sqrt(s.SD / static_cast<double>(pts.size()));
    return s;
}

// The unit-cell steps on one cell centred at the image position (col, sample row):
// the lattice quantity over the axis, as plotted.
std::vector<TPlotPoint> LatticeStatistics(const TQTVPicture& p, int col, int row, TLatticeQuantity q,
                                          TPlotAxis axis) {
    const int line = p.Rows - 1 - row;
    const TCellCorners c{{col - 8, line + 8}, {col + 8, line + 8}, {col + 8, line - 8}};
    TRun run = FindGrid(p, c, 70);
    EXPECT_GE(run.Home, 0);
    return LatticePlotData(run.Regions.Matches, q, axis, p);
}

}  // namespace

// Lattice -> unit cell -> transferred coefficients -> distortion correction -> a regular
// lattice again, for a scanner bent along x and one bent along y.
TEST(UnitCellFit, TransferredDistortionStraightensTheLattice) {
    TRecordingSink sink;
    TScopedMessageSink scoped(&sink);
    SetDecimalSeparator('.');
    struct Case {
        double C, D;
        TPlotAxis Axis;
        TLatticeQuantity Quantity;
    };
    for (const Case& k : {Case{0.2, 0.0, TPlotAxis::X, TLatticeQuantity::Ax},
                          Case{-0.1, 0.15, TPlotAxis::Y, TLatticeQuantity::By}}) {
        SCOPED_TRACE(k.Axis == TPlotAxis::X ? "x scanner" : "y scanner");
        const TQTVPicture scanned = ScannedLattice(k.C, k.D, k.Axis);
        // the cell around the true site (248, 248), where the scanner put it
        const long double f = [&] {
            const long double t = 248.0L / 511;
            return (1 - k.C - k.D) * t + k.C * t * t + k.D * t * t * t;
        }();
        const int moved = static_cast<int>(std::lround(static_cast<double>(511 * f)));
        const int col = k.Axis == TPlotAxis::X ? moved : 248, row = k.Axis == TPlotAxis::Y ? moved : 248;
        const std::vector<TPlotPoint> before = LatticeStatistics(scanned, col, row, k.Quantity, k.Axis);
        const auto fit = FitParabola(before);
        ASSERT_TRUE(fit);
        const TDistortionPair d = DistortionFromFit(*fit, scanned, k.Axis);
        // the coefficients as the settings carry them to the correction
        const double tc = std::stod(DistortionText(d.C)), td = std::stod(DistortionText(d.D));
        TQTVPicture corrected;
        if (k.Axis == TPlotAxis::X) CorrectDistortion(scanned, corrected, tc, td, 0, 0);
        else CorrectDistortion(scanned, corrected, 0, 0, tc, td);
        corrected.Para = scanned.Para;
        const std::vector<TPlotPoint> after = LatticeStatistics(corrected, 248, 248, k.Quantity, k.Axis);
        const TSpread b = SpreadOf(before), a = SpreadOf(after);
        ASSERT_GT(b.Count, 600u);
        ASSERT_GT(a.Count, 600u);
        // the local lattice constant hardly varies any more, around the true 3.125 nm
        EXPECT_LT(a.SD, 0.25 * b.SD) << "c = " << tc << ", d = " << td;
        EXPECT_NEAR(a.Mean, 16 * 100.0 / 512, 0.01);
    }
    EXPECT_TRUE(sink.Shown.empty());
}

TEST(UnitCellPlot, LayoutLabelsAndPicking) {
    SetDecimalSeparator('.');
    // all positive: the ordinate starts at 0
    auto pts = Points({{1, 4}, {2, 12}, {4, 8}});
    TPlotLayout l = LayoutPlot(pts, 257, 257, false);
    EXPECT_EQ(l.BottomLabel(), "0");
    EXPECT_EQ(l.TopLabel(), "12");
    EXPECT_DOUBLE_EQ(l.ScaleX, 247.0 / 4);
    EXPECT_DOUBLE_EQ(l.ScaleY, 247.0 / 12);
    EXPECT_EQ(l.PixelX(4), 252);
    EXPECT_EQ(l.PixelY(12), 5);
    EXPECT_EQ(l.PixelY(0), 252);
    pts[1].Y = 12.5;
    EXPECT_EQ(LayoutPlot(pts, 257, 257, false).TopLabel(), FormatSig(5, 12.5));
    // negative values widen the range below 0
    EXPECT_EQ(LayoutPlot(Points({{1, -2}, {2, 3}}), 257, 257, false).BottomLabel(), FormatSig(5, -2));
    // the nearest cross; far away: the first point
    EXPECT_EQ(PickPlotPoint(pts, l, l.PixelX(2), l.PixelY(12) + 2, 1e6), 1);
    EXPECT_EQ(PickPlotPoint(pts, l, 500, 500, 10), 0);
    EXPECT_EQ(PickPlotPoint({}, l, 0, 0, 10), -1);
    EXPECT_EQ(l.HintText(5, 252), "(x;y) = (0 ; 0)");
    // the parabola starts at the left edge
    const auto line = l.FitPolyline({0, 0, 6});
    ASSERT_EQ(line.size(), 248u);
    EXPECT_EQ(line[0], (TPointI{5, l.PixelY(6)}));
    EXPECT_EQ(line.back().x, 252);
    EXPECT_EQ(PlotDataText(Points({{0.5, 1.0 / 3}})), "0.5\t0.333333333333333\n");
}

TEST(UnitCellPlot, DeletingExcludedPointsRenumbersMatches) {
    std::vector<TUnitCellMatch> m{At(0, 0), At(10, 0), At(20, 0)};
    m[0].Neighbour[3] = 1;
    m[1].Neighbour[1] = 0;
    m[1].Neighbour[3] = 2;
    m[2].Neighbour[1] = 1;
    std::vector<TPlotPoint> pts(2);
    pts[0].Match = 0;
    pts[1].Match = 1;
    pts[1].Excluded = 1;
    int32_t home = 2;
    DeleteExcluded(pts, m, home, true);
    ASSERT_EQ(m.size(), 2u);
    ASSERT_EQ(pts.size(), 1u);
    EXPECT_EQ(pts[0].Match, 0);
    EXPECT_EQ(home, 1);
    EXPECT_EQ(m[0].Neighbour[3], -1);  // pointed at the removed match
    EXPECT_EQ(m[1].Neighbour[1], -1);
    EXPECT_DOUBLE_EQ(m[1].X, 20.0);
    // mode 2: points only
    std::vector<TPlotPoint> q(3);
    q[2].Excluded = 1;
    DeleteExcluded(q, m, home, false);
    EXPECT_EQ(q.size(), 2u);
    EXPECT_EQ(m.size(), 2u);
}

TEST(UnitCellAverage, NewCellNeedsTheNeighbours) {
    std::vector<TUnitCellMatch> m{At(10, 20), At(20, 20), At(20, 30)};
    TCellCorners c{{1, 2}, {3, 4}, {5, 6}};
    const TCellCorners before = c;
    EXPECT_FALSE(NewUnitCell(m, -1, {0, 0}, {0, 0}, 50, c));
    EXPECT_FALSE(NewUnitCell(m, 0, {0, 0}, {0, 0}, 50, c));  // no +a
    m[0].Neighbour[3] = 1;
    EXPECT_FALSE(NewUnitCell(m, 0, {0, 0}, {0, 0}, 50, c));  // +a has no +b
    EXPECT_EQ(c, before);
    m[1].Neighbour[0] = 2;
    ASSERT_TRUE(NewUnitCell(m, 0, {-5, 5}, {1, 2}, 50, c));
    // display lines 49 - y, moved by (-4, 7)
    EXPECT_EQ(c, (TCellCorners{{6, 36}, {16, 36}, {16, 26}}));
}

TEST(UnitCellAverage, SingleMatchGivesItsWindowMinusTheCellMean) {
    TRecordingSink sink;
    TScopedMessageSink scoped(&sink);
    TQTVPicture p;
    p.SetSize(40, 40);
    for (int r = 0; r < 40; ++r)
        for (int c = 0; c < 40; ++c) p.Data[r][c] = static_cast<float>(r * 40 + c);
    TCellCut cut;
    ASSERT_TRUE(ExtractCell(p, {{15, 24}, {21, 24}, {21, 18}}, cut));
    const int h = cut.Half, s = 2 * h + 1;
    std::vector<TUnitCellMatch> m{At(18.2, 18.4)};  // rounds to column 18, row 18
    const TQTVPicture avg = AverageCell(p, m, 0, cut);
    ASSERT_EQ(avg.Cols, s);
    double sum = 0;
    int n = 0;
    for (int k = 0; k < s; ++k)
        for (int i = 0; i < s; ++i) {
            const int row = 18 - h + k, col = 18 - h + i;
            if (cut.MaskAt(col, 39 - row)) {
                sum += p.Data[row][col];
                ++n;
            }
        }
    ASSERT_GT(n, 0);
    const double mean = sum / n;
    for (int k = 0; k < s; ++k)
        for (int i = 0; i < s; ++i) {
            const int row = 18 - h + k, col = 18 - h + i;
            const float expected = cut.MaskAt(col, 39 - row) ? static_cast<float>(p.Data[row][col] - mean) : 0.0f;
            EXPECT_FLOAT_EQ(avg.Data[k][i], expected) << k << "," << i;
        }
    // the average is the new template at the centre of the cell picture
    EXPECT_EQ(cut.Cell.Data[20 - h][20 - h], avg.Data[0][0]);
    EXPECT_EQ(cut.Cell.Data[20 + h][20 + h], avg.Data[s - 1][s - 1]);
}

TEST(UnitCellAverage, BorderMatchesCountOnlyWhatIsInside) {
    TRecordingSink sink;
    TScopedMessageSink scoped(&sink);
    TQTVPicture p = Constant(40, 40, 0.0f);
    for (int r = 0; r < 40; ++r)
        for (int c = 0; c < 40; ++c) p.Data[r][c] = c < 20 ? 1.0f : 3.0f;
    TCellCut cut;
    ASSERT_TRUE(ExtractCell(p, {{17, 22}, {23, 22}, {23, 16}}, cut));
    // home at the centre, a second match at the left edge: its window is half outside
    std::vector<TUnitCellMatch> m{At(20, 20), At(1, 20)};
    const TQTVPicture avg = AverageCell(p, m, 0, cut);
    const int h = cut.Half;
    // window column i of the edge match covers source column 1 - h + i; columns below
    // 0 only average the home match
    float lo = 1e9f, hi = -1e9f;
    for (int k = 0; k < avg.Rows; ++k)
        for (int i = 0; i < avg.Cols; ++i) {
            lo = std::min(lo, avg.Data[k][i]);
            hi = std::max(hi, avg.Data[k][i]);
        }
    EXPECT_TRUE(std::isfinite(lo) && std::isfinite(hi));
    EXPECT_GT(h, 0);
    // no home match: nothing averaged
    TCellCut again = cut;
    const TQTVPicture none = AverageCell(p, m, -1, again);
    for (int k = 0; k < none.Rows; ++k)
        for (int i = 0; i < none.Cols; ++i) EXPECT_EQ(none.Data[k][i], 0.0f);
}

TEST(UnitCellLinking, BucketSearchAgreesWithThePlainSearch) {
    // random matches, some on the same spot, and points all over the picture and
    // beyond: the same match (or none) either way
    uint32_t seed = 12345u;
    auto next = [&seed](double range) {
        seed = seed * 1664525u + 1013904223u;
        return static_cast<double>(seed >> 8) / 16777216.0 * range;
    };
    for (int n : {0, 1, 7, 300}) {
        std::vector<TUnitCellMatch> m;
        for (int i = 0; i < n; ++i) m.push_back(i % 5 == 4 ? m[static_cast<size_t>(i - 1)] : At(next(200), next(90)));
        const TMatchIndex index(m, 200, 90);
        for (int k = 0; k < 2000; ++k) {
            const double x = next(240) - 20, y = next(130) - 20;
            ASSERT_EQ(index.Nearest(x, y), NearestMatch(m, x, y, 200, 90)) << n << " " << x << "," << y;
        }
        // exactly between two matches: the lower index
        if (n >= 2) {
            const double x = (m[0].X + m[1].X) / 2, y = (m[0].Y + m[1].Y) / 2;
            EXPECT_EQ(index.Nearest(x, y), NearestMatch(m, x, y, 200, 90));
        }
    }
}
