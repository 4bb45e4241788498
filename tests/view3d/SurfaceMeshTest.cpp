// The data of the OpenGL 3-D view: normalisation, heights by the slider, normals,
// colours, the strip layout, the ramp, the scale bars and the mouse-driven view.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "view3d/A3D.h"

namespace {

TQTVPicture Image(int cols, int rows, const std::vector<float>& v) {
    TQTVPicture p;
    p.SetSize(cols, rows);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) p.Data[r][c] = v[static_cast<size_t>(r * cols + c)];
    p.UpdateMinMax();
    return p;
}

// Samples f(x, y) on a cols x rows grid.
template <class F>
TQTVPicture Grid(int cols, int rows, F f) {
    std::vector<float> v(static_cast<size_t>(cols * rows));
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < cols; ++x) v[static_cast<size_t>(y * cols + x)] = static_cast<float>(f(x, y));
    return Image(cols, rows, v);
}

// A palette whose entry k is (k, 255 - k, k / 2), so colours tell the entry.
void TellingPalette(TQTVPicture& p) {
    for (int k = 0; k < 256; ++k) {
        auto& e = p.Palette.Entries[static_cast<size_t>(k)];
        e.Red = static_cast<uint8_t>(k);
        e.Green = static_cast<uint8_t>(255 - k);
        e.Blue = static_cast<uint8_t>(k / 2);
    }
}

void ExpectNormal(const TVec3f& n, double x, double y, double z, const char* what) {
    const double len = std::sqrt(x * x + y * y + z * z);
    EXPECT_NEAR(n[0], x / len, 1e-6) << what;
    EXPECT_NEAR(n[1], y / len, 1e-6) << what;
    EXPECT_NEAR(n[2], z / len, 1e-6) << what;
}

TEST(SurfaceMesh, NormalisesHighestToZeroAndLowestToMinusHundred) {
    TSurfaceMesh m;
    m.SetImage(Image(3, 2, {-2, 0, 6, 1, 2, 4}));
    m.SetGain(100);
    EXPECT_FLOAT_EQ(m.Normalised(2, 0), 0.0f);     // 6, the highest
    EXPECT_FLOAT_EQ(m.Normalised(0, 0), -100.0f);  // -2, the lowest
    EXPECT_FLOAT_EQ(m.Normalised(1, 0), -75.0f);
    EXPECT_FLOAT_EQ(m.Normalised(2, 1), -25.0f);
    EXPECT_DOUBLE_EQ(m.Z(1, 1), -50.0);
}

TEST(SurfaceMesh, RangeOfTheRecordIsUsedAsGiven) {
    TQTVPicture p = Image(2, 2, {0, 1, 2, 3});
    p.FixedRange = 1;
    p.Min = 1;
    p.Max = 5;
    TSurfaceMesh m;
    m.SetImage(p);
    EXPECT_FLOAT_EQ(m.Normalised(1, 1), -50.0f);  // 3 halfway between 1 and 5
    EXPECT_FLOAT_EQ(m.Normalised(0, 0), -125.0f);
}

TEST(SurfaceMesh, SliderPositionsGiveHeightSpans) {
    struct Case {
        int slider, gain;
        double lowest;
    } cases[] = {{0, 100, -100}, {50, 50, -50}, {99, 1, -1}, {-5, 100, -100}, {150, 1, -1}};
    const TQTVPicture p = Grid(6, 5, [](int x, int y) { return std::sin(x * 0.9) + 0.3 * y; });
    TSurfaceMesh m;
    m.SetImage(p);
    for (const Case& c : cases) {
        const int gain = GainPercentOfSlider(c.slider);
        EXPECT_EQ(gain, c.gain) << c.slider;
        m.SetGain(gain);
        EXPECT_DOUBLE_EQ(m.ZScale(), c.gain / 100.0);
        double lo = 0, hi = -1e9;
        for (int y = 0; y < m.Rows(); ++y)
            for (int x = 0; x < m.Cols(); ++x) {
                lo = std::min(lo, m.Z(x, y));
                hi = std::max(hi, m.Z(x, y));
            }
        EXPECT_DOUBLE_EQ(lo, c.lowest) << c.slider;
        EXPECT_DOUBLE_EQ(hi, 0.0) << c.slider;
    }
}

TEST(SurfaceMesh, NormalsOfAPlaneAreItsNormalAndZeroOnTheBorder) {
    // samples 6x + 4y span 0..100 on 11 x 11, so with gain 100 the heights are
    // 6x + 4y - 100 and every triangle has the normal (-6, -4, 1)
    const TQTVPicture p = Grid(11, 11, [](int x, int y) { return 6 * x + 4 * y; });
    TSurfaceMesh m;
    m.SetImage(p);
    m.SetGain(100);
    for (int y = 1; y <= 9; ++y)
        for (int x = 1; x <= 9; ++x) ExpectNormal(m.Normal(x, y), -6, -4, 1, "gain 100");
    m.SetGain(50);  // heights halve: (-3, -2, 1)
    ExpectNormal(m.Normal(4, 7), -3, -2, 1, "gain 50");
    for (int i = 0; i < 11; ++i)
        for (const TVec3f& n : {m.Normal(i, 0), m.Normal(i, 10), m.Normal(0, i), m.Normal(10, i)})
            EXPECT_EQ(n, (TVec3f{0, 0, 0}));
}

TEST(SurfaceMesh, NormalAveragesTheSixTrianglesOfTheDiagonalSplit) {
    // 3 x 3 at -100 with one corner raised to 0. The squares are split from (x, y) to
    // (x + 1, y + 1), so the corners (2, 0) and (0, 2) belong to no triangle at the
    // centre and leave its normal upright; (2, 2) tilts two of the six triangles, to
    // (-100, 0, 1) / s and (0, -100, 1) / s with s = sqrt(100^2 + 1).
    struct Case {
        int cx, cy;
        double nx, ny, nz;
    };
    const double s = std::sqrt(100.0 * 100.0 + 1.0);
    const Case cases[] = {
        {2, 0, 0, 0, 1},
        {0, 2, 0, 0, 1},
        {2, 2, -100 / s, -100 / s, 4 + 2 / s},
        {0, 0, 100 / s, 100 / s, 4 + 2 / s},
    };
    for (const Case& c : cases) {
        std::vector<float> v(9, 0.0f);
        v[static_cast<size_t>(c.cy * 3 + c.cx)] = 1.0f;
        TSurfaceMesh m;
        m.SetImage(Image(3, 3, v));
        m.SetGain(100);
        ExpectNormal(m.Normal(1, 1), c.nx, c.ny, c.nz, "raised corner");
    }
}

TEST(SurfaceMesh, ColourTableSamplesThePaletteAtHundredSteps) {
    TQTVPicture p = Image(2, 2, {0, 1, 2, 3});
    TellingPalette(p);
    TSurfaceMesh m;
    m.SetImage(p);
    // entry i is palette entry round(i * 2.55), half to even
    const int expected[][2] = {{0, 0}, {1, 3}, {10, 26}, {30, 76}, {50, 128}, {70, 178}, {99, 252}, {100, 255}};
    for (const auto& e : expected) {
        const TRgb& c = m.ColourTable()[static_cast<size_t>(e[0])];
        EXPECT_EQ(c.Red, e[1]) << "entry " << e[0];
        EXPECT_EQ(c.Green, 255 - e[1]);
        EXPECT_EQ(c.Blue, e[1] / 2);
    }
}

TEST(SurfaceMesh, VertexColourFollowsTheSamplePositionAtEveryGain) {
    // 101 samples 0..100 in a row: sample k lies k percent up the range
    TQTVPicture p = Grid(101, 3, [](int x, int) { return x; });
    TellingPalette(p);
    TSurfaceMesh m;
    m.SetImage(p);
    for (int gain : {1, 37, 50, 100}) {
        m.SetGain(gain);
        for (int k = 0; k <= 100; ++k) {
            const TRgb& t = m.ColourTable()[static_cast<size_t>(k)];
            const TVec3f& c = m.Colour(k, 1);
            ASSERT_FLOAT_EQ(c[0], static_cast<float>(t.Red / 255.0)) << "gain " << gain << " sample " << k;
            ASSERT_FLOAT_EQ(c[1], static_cast<float>(t.Green / 255.0));
            ASSERT_FLOAT_EQ(c[2], static_cast<float>(t.Blue / 255.0));
        }
    }
}

TEST(SurfaceMesh, ConstantImageLiesFlatAtTheLowestColour) {
    TQTVPicture p = Grid(4, 4, [](int, int) { return 2.5; });
    TellingPalette(p);
    TSurfaceMesh m;
    m.SetImage(p);
    m.SetGain(50);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            EXPECT_DOUBLE_EQ(m.Z(x, y), -50.0);
            EXPECT_FLOAT_EQ(m.Colour(x, y)[0], 0.0f);
        }
    ExpectNormal(m.Normal(1, 2), 0, 0, 1, "flat");
}

TEST(SurfaceMesh, SampleThatIsNotANumberTakesTheLowestColour) {
    TQTVPicture p = Grid(4, 4, [](int x, int y) { return x + y; });
    p.Data[1][1] = std::numeric_limits<float>::quiet_NaN();
    p.UpdateMinMax();
    TellingPalette(p);
    TSurfaceMesh m;
    m.SetImage(p);
    m.SetGain(50);
    EXPECT_FLOAT_EQ(m.Colour(1, 1)[0], 0.0f);
    for (int y = 1; y <= 2; ++y)
        for (int x = 1; x <= 2; ++x)
            for (float c : m.Normal(x, y)) EXPECT_TRUE(std::isfinite(c));
}

TEST(SurfaceMesh, SamplesFarOutsideAFixedRangeTakeTheEndColours) {
    TQTVPicture p = Image(3, 3, {0, 1, 2, 3, 4, 5, 6, 7, 1e30f});
    TellingPalette(p);
    p.FixedRange = 1;
    p.Min = 3;
    p.Max = 4;
    p.Data[0][0] = -1e30f;
    TSurfaceMesh m;
    m.SetImage(p);
    m.SetGain(100);
    EXPECT_FLOAT_EQ(m.Colour(0, 0)[0], 0.0f);        // far below: entry 0
    EXPECT_FLOAT_EQ(m.Colour(2, 2)[0], 0.0f);        // far above: |z| large as well, entry 0
    EXPECT_FLOAT_EQ(m.Colour(1, 1)[0], 255 / 255.0f);  // 4, the top of the range: entry 100
    for (float c : m.Normal(1, 1)) EXPECT_TRUE(std::isfinite(c));
}

TEST(SurfaceMesh, ThreeByThreeImageIsOneStripOfOneVertexPair) {
    TSurfaceMesh m;
    m.SetImage(Image(3, 3, {0, 1, 2, 3, 4, 5, 6, 7, 8}));
    m.SetGain(100);
    ASSERT_EQ(m.StripCount(), 1);
    std::vector<TSurfaceMesh::TVertex> v;
    m.Strip(0, v);
    ASSERT_EQ(v.size(), 2u);
    const float third = 256.0f / 3.0f;
    EXPECT_EQ(v[0].Position, (TVec3f{2 * third, third, -100.0f * (8 - 5) / 8}));  // (2, 1) first
    EXPECT_EQ(v[1].Position, (TVec3f{third, third, -100.0f * (8 - 4) / 8}));      // then (1, 1)
    EXPECT_EQ(v[1].Normal, m.Normal(1, 1));
    EXPECT_EQ(v[0].Colour, m.Colour(2, 1));
    m.Strip(1, v);
    EXPECT_TRUE(v.empty());
}

TEST(SurfaceMesh, StripsRunAlongColumnsOverTheInnerRows) {
    TSurfaceMesh m;
    m.SetImage(Grid(5, 4, [](int x, int y) { return x * y; }));
    ASSERT_EQ(m.StripCount(), 3);
    std::vector<TSurfaceMesh::TVertex> v;
    for (int s = 0; s < 3; ++s) {
        m.Strip(s, v);
        ASSERT_EQ(v.size(), 4u);
        const int x = s + 1;
        const float px = static_cast<float>(x * 256.0 / 5), pxNext = static_cast<float>((x + 1) * 256.0 / 5);
        EXPECT_EQ(v[0].Position[0], pxNext);
        EXPECT_EQ(v[1].Position[0], px);
        EXPECT_EQ(v[0].Position[1], 64.0f);   // row 1 of 4
        EXPECT_EQ(v[3].Position[1], 128.0f);  // row 2
        EXPECT_EQ(v[2].Position[2], static_cast<float>(m.Z(x + 1, 2)));
    }
    for (int n : {1, 2}) {
        TSurfaceMesh thin;
        thin.SetImage(Grid(n, 7, [](int, int y) { return y; }));
        EXPECT_EQ(thin.StripCount(), 0);
    }
}

TEST(SurfaceMesh, BlocksOfColumnsHoldEveryPointAsTheVertexOfThatPoint) {
    // odd shapes, a fixed range with samples beyond it, samples that are not numbers
    struct Case {
        int cols, rows;
        bool fixed;
    } cases[] = {{1, 7, false}, {7, 1, false}, {2, 2, false}, {3, 3, false}, {13, 11, true}, {40, 3, false}, {5, 29, true}};
    for (const Case& c : cases) {
        TQTVPicture p = Grid(c.cols, c.rows, [](int x, int y) { return std::sin(x * 1.3) * 7 + std::cos(y * 0.7) * 3 + x * y * 0.01; });
        TellingPalette(p);
        if (c.cols * c.rows > 20) p.Data[c.rows / 2][c.cols / 2] = std::numeric_limits<float>::quiet_NaN();
        if (c.fixed) {
            p.FixedRange = 1;
            p.Min = -2;
            p.Max = 4;
        }
        TSurfaceMesh m;
        m.SetImage(p);
        for (int gain : {1, 63}) {
            m.SetGain(gain);
            for (int x0 = -2; x0 <= c.cols; ++x0)
                for (int x1 = x0; x1 <= c.cols + 2; x1 += 3) {
                    const int from = std::max(x0, 0), to = std::min(x1, c.cols);
                    const size_t n = static_cast<size_t>(std::max(0, to - from) * c.rows);
                    std::vector<TSurfaceMesh::TVertex> block(n + 1);
                    const float sentinel = -12345.0f;
                    block[n].Position[0] = sentinel;
                    m.Columns(x0, x1, block.data());
                    ASSERT_EQ(block[n].Position[0], sentinel) << "written beyond the block";
                    for (int x = from; x < to; ++x)
                        for (int y = 0; y < c.rows; ++y) {
                            const TSurfaceMesh::TVertex got = block[static_cast<size_t>((x - from) * c.rows + y)];
                            const TSurfaceMesh::TVertex want = m.Vertex(x, y);
                            ASSERT_EQ(0, std::memcmp(&got, &want, sizeof got))
                                << c.cols << " x " << c.rows << " gain " << gain << " block " << x0 << ".." << x1
                                << " point " << x << ", " << y;
                        }
                }
        }
    }
}

TEST(SurfaceMesh, RampShowsTheTableBottomUpOnGrey) {
    std::array<TRgb, 101> table{};
    for (int i = 0; i <= 100; ++i) table[static_cast<size_t>(i)] = {i, 2 * i, 255 - i};
    const std::vector<uint32_t> ramp = ColourRamp(table);
    ASSERT_EQ(ramp.size(), static_cast<size_t>(RampWidth * RampHeight));
    auto at = [&](int x, int y) { return ramp[static_cast<size_t>(y * RampWidth + x)]; };
    auto rgb = [](int i) { return 0xFF000000u | (uint32_t(i) << 16) | (uint32_t(2 * i) << 8) | uint32_t(255 - i); };
    EXPECT_EQ(at(0, 150), 0xFF808080u);
    EXPECT_EQ(at(31, 150), 0xFF808080u);
    EXPECT_EQ(at(5, 301), 0xFF808080u);
    for (int y : {298, 299, 300}) EXPECT_EQ(at(1, y), rgb(0));
    EXPECT_EQ(at(30, 297), rgb(1));
    EXPECT_EQ(at(15, 148), rgb(50));  // entry 50 covers 148..150
    EXPECT_EQ(at(15, 151), rgb(49));
    EXPECT_EQ(at(15, 0), rgb(100));
    EXPECT_EQ(at(15, 1), rgb(99));
}

TEST(ScaleBars, PlacesFollowTheZRotation) {
    struct Case {
        double rotZ;
        float xBarY, yBarX, zx, zy;
    } cases[] = {
        {0, -10, -10, 265, -10},   {89.9, -10, -10, 265, -10}, {90, -10, -10, -10, -10},
        {100, 265, -10, -10, -10}, {180, 265, -10, -10, 265},  {180.5, 265, 265, -10, 265},
        {269, 265, 265, -10, 265}, {270, -10, 265, 265, 265},  {360, -10, 265, 265, 265},
    };
    TScanPara para;
    for (const Case& c : cases) {
        const auto bars = ScaleBars(para, 0, 1, 50, c.rotZ);
        EXPECT_EQ(bars[0].From, (TPoint3{0, c.xBarY, -50})) << c.rotZ;
        EXPECT_EQ(bars[0].To, (TPoint3{255, c.xBarY, -50})) << c.rotZ;
        EXPECT_EQ(bars[1].From, (TPoint3{c.yBarX, 0, -50})) << c.rotZ;
        EXPECT_EQ(bars[1].To, (TPoint3{c.yBarX, 255, -50})) << c.rotZ;
        EXPECT_EQ(bars[2].From, (TPoint3{c.zx, c.zy, 0})) << c.rotZ;
        EXPECT_EQ(bars[2].To, (TPoint3{c.zx, c.zy, -50})) << c.rotZ;
        // labels: near side or far side, the z label 5 units outward at half height
        EXPECT_EQ(bars[0].LabelAt, c.xBarY < 0 ? (TPoint3{120, -20, -60}) : (TPoint3{135, 275, -60}));
        EXPECT_EQ(bars[1].LabelAt, c.yBarX > 0 ? (TPoint3{275, 120, -60}) : (TPoint3{-20, 135, -60}));
        EXPECT_EQ(bars[2].LabelAt, (TPoint3{c.zx + (c.zx > 0 ? 5.0f : -5.0f), c.zy + (c.zy > 0 ? 5.0f : -5.0f), -25}));
    }
}

TEST(ScaleBars, LabelsAndArrowHeads) {
    TScanPara para;
    para.XScanRange = 200;
    para.YScanRange = 0.123456;
    para.XPhysUnit = "nm";
    para.YPhysUnit = "\xB5m";
    para.PhysUnit = "pA";
    const auto bars = ScaleBars(para, -1.5f, 2.25f, 100, 0);
    EXPECT_EQ(bars[0].Label, "200 nm");
    EXPECT_EQ(bars[1].Label, "0.1235 \xB5m");
    EXPECT_EQ(bars[2].Label, "3.75 pA");
    // x bar: tips at both ends, bases 10 units inward, 2 to either side
    const auto& from = bars[0].HeadFrom;
    EXPECT_EQ(from[0], (TPoint3{0, -10, -100}));
    EXPECT_EQ(from[5], from[1]);
    for (int k = 1; k <= 4; ++k) {
        EXPECT_EQ(from[static_cast<size_t>(k)].X, 10);
        EXPECT_EQ(std::fabs(from[static_cast<size_t>(k)].Y + 10), 2);
        EXPECT_EQ(std::fabs(from[static_cast<size_t>(k)].Z + 100), 2);
        EXPECT_EQ(bars[0].HeadTo[static_cast<size_t>(k)].X, 245);
    }
    EXPECT_EQ(bars[0].HeadTo[0], (TPoint3{255, -10, -100}));
    // z bar: tips at height 0 and at the bottom, bases inside the bar
    EXPECT_EQ(bars[2].HeadFrom[0].Z, 0);
    EXPECT_EQ(bars[2].HeadFrom[1].Z, -10);
    EXPECT_EQ(bars[2].HeadTo[0].Z, -100);
    EXPECT_EQ(bars[2].HeadTo[1].Z, -90);
}

TEST(ViewState, DragModeByModifiers) {
    struct Case {
        bool shift, ctrl;
        int mode;
    } cases[] = {{false, false, DragRotate}, {true, false, DragZoom}, {false, true, DragPan}, {true, true, DragPan}};
    for (const Case& c : cases) {
        TViewState v;
        v.BeginDrag(10, 20, c.shift, c.ctrl);
        EXPECT_EQ(v.DragMode, c.mode);
        v.EndDrag();
        EXPECT_FALSE(v.DragTo(50, 50));
    }
}

TEST(ViewState, RotationStaysWithinAFullTurn) {
    TViewState v;
    v.BeginDrag(0, 0, false, false);
    double turned = 0, last = v.RotZ;
    for (int x = 8; x <= 3600; x += 8) {  // 3600 pixels to the right in steps
        ASSERT_TRUE(v.DragTo(x, 0));
        ASSERT_GE(v.RotZ, 0.0);
        ASSERT_LE(v.RotZ, 360.0);
        double d = v.RotZ - last;
        if (d < -180) d += 360;
        turned += d;
        last = v.RotZ;
    }
    EXPECT_NEAR(turned, 360.0, 1e-6);
    EXPECT_EQ(v.RotX, 0.0);
    // upwards: RotX below 0 comes back from 360
    v.DragTo(3600, -15);
    EXPECT_DOUBLE_EQ(v.RotX, 358.5);
    // one jump of several turns still lands within a turn
    v.DragTo(3600 + 10000, -15);
    EXPECT_GE(v.RotZ, 0.0);
    EXPECT_LE(v.RotZ, 360.0);
    EXPECT_EQ(v.RotY, 0.0);
}

TEST(ViewState, PanAndZoomStopAtTheirLimits) {
    TViewState v;
    v.BeginDrag(100, 100, false, true);
    v.DragTo(103, 97);  // round(3 / 1.5) = 2 right, and up moves PanY up
    EXPECT_EQ(v.PanX, 2);
    EXPECT_EQ(v.PanY, 2);
    v.DragTo(104, 97);  // round(0.67) = 1
    EXPECT_EQ(v.PanX, 3);
    for (int i = 1; i <= 200; ++i) v.DragTo(104 + 10 * i, 97 + 10 * i);
    EXPECT_EQ(v.PanX, 500);
    EXPECT_EQ(v.PanY, -500);
    v.DragTo(-5000, -5000);
    EXPECT_EQ(v.PanX, -500);
    EXPECT_EQ(v.PanY, 500);
    v.EndDrag();

    v.BeginDrag(0, 0, true, false);
    v.DragTo(0, -400);  // mouse up: closer
    EXPECT_EQ(v.ZDist, -100);
    v.DragTo(0, -600);
    EXPECT_EQ(v.ZDist, 24);
    v.DragTo(0, 2000);
    EXPECT_EQ(v.ZDist, -1000);
    EXPECT_EQ(v.PanX, -500);  // zoom leaves the pan alone
}

}  // namespace
