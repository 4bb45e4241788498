// The sphere filter: radius acceptance, the element, lowpass/highpass and switching.
#include <gtest/gtest.h>

#include "thread_support.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "core/Messages.h"
#include "processing/Sphere.h"

namespace {

TQTVPicture Image(int cols, int rows, double xRange, float fill = 0)
{
    TQTVPicture p;
    p.SetSize(cols, rows);
    p.Para.XScanRange = xRange;
    p.Para.YScanRange = xRange;
    p.Para.XPhysUnit = p.Para.YPhysUnit = p.Para.PhysUnit = "nm";
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) p.Data[r][c] = fill;
    return p;
}

void Fill(TQTVPicture& p, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> dist(-5.0f, 5.0f);
    for (int r = 0; r < p.Rows; ++r)
        for (int c = 0; c < p.Cols; ++c) p.Data[r][c] = dist(gen);
}

bool SameBits(const TQTVPicture& a, const TQTVPicture& b)
{
    if (a.Cols != b.Cols || a.Rows != b.Rows) return false;
    return std::memcmp(a.Data.Block(), b.Data.Block(), static_cast<size_t>(a.Cols) * a.Rows * 4) == 0;
}

struct Sphere : ::testing::Test {
    TRecordingSink sink;
    TScopedMessageSink scoped{&sink};
};

}  // namespace

TEST_F(Sphere, UnitPrefixesAndTheHeightScale)
{
    EXPECT_EQ(UnitPrefixFactor("nm"), 1e-9);
    EXPECT_EQ(UnitPrefixFactor("\xB5m"), 1e-6);
    EXPECT_EQ(UnitPrefixFactor("mV"), 1e-3);
    EXPECT_EQ(UnitPrefixFactor("m"), 1e-3);
    EXPECT_EQ(UnitPrefixFactor("A"), 1.0);
    EXPECT_EQ(UnitPrefixFactor(""), 1.0);

    TQTVPicture p = Image(100, 100, 200);  // 2 nm per pixel
    TSphereElement e = MakeSphereElement(10, p);
    ASSERT_TRUE(e.Valid);
    EXPECT_EQ(e.R, 6);  // round(10 / 200 * 100 + 1)
    EXPECT_DOUBLE_EQ(e.Scale, 10.0 / 6);
    EXPECT_DOUBLE_EQ(e.At(6, 6), e.Scale * (7 - std::sqrt(37.0)));
    EXPECT_EQ(e.At(0, 0), 0.0);                                  // outside the ball
    EXPECT_DOUBLE_EQ(e.At(0, 6), e.Scale * (7 - 1));             // q = 1 on the rim
    p.Para.XPhysUnit = "\xB5m";
    e = MakeSphereElement(10, p);
    EXPECT_DOUBLE_EQ(e.Scale, 10.0 / 6 * 1e-6 / 1e-9);
    p.Para.XScanRange = 0;  // no pixel radius at all
    EXPECT_FALSE(MakeSphereElement(10, p).Valid);
    TQTVPicture w;
    EXPECT_EQ(SphereFilter(p, w, 10, true), TSphereOutcome::Failed);
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{"Error in Sphere-Init."});
}

TEST_F(Sphere, RadiusIsCutBackToAQuarterOfTheWidth)
{
    const TQTVPicture p = Image(100, 50, 200);
    TSphereRadius a = AcceptSphereRadius(40, p);  // 20 pixels: kept
    EXPECT_FALSE(a.CutBack);
    EXPECT_EQ(a.Pixels, 20);
    EXPECT_EQ(a.Radius, 40);
    a = AcceptSphereRadius(51, p);  // round(25.5) = 26 > 25 / 2 ... cut back to 25
    EXPECT_TRUE(a.CutBack);
    EXPECT_EQ(a.Pixels, 25);
    EXPECT_DOUBLE_EQ(a.Radius, 50.0);
    const TQTVPicture odd = Image(102, 50, 102);  // h = 51: 25.5 allowed, 26 not
    EXPECT_FALSE(AcceptSphereRadius(25, odd).CutBack);
    EXPECT_TRUE(AcceptSphereRadius(26, odd).CutBack);
    EXPECT_EQ(AcceptSphereRadius(26, odd).Pixels, 25);
}

TEST_F(Sphere, ZeroRadiusAndFlatImagesAreKept)
{
    TQTVPicture p = Image(33, 21, 33);
    Fill(p, 3);
    TQTVPicture w;
    ASSERT_EQ(SphereFilter(p, w, 0, true), TSphereOutcome::Done);  // r = 1, c = 0
    EXPECT_TRUE(SameBits(w, p));
    ASSERT_EQ(SphereFilter(p, w, 0, false), TSphereOutcome::Done);
    for (int r = 0; r < p.Rows; ++r)
        for (int c = 0; c < p.Cols; ++c) ASSERT_EQ(w.Data[r][c], 0.0f);

    const TQTVPicture flat = Image(40, 30, 40, 7.25f);
    ASSERT_EQ(SphereFilter(flat, w, 6, true), TSphereOutcome::Done);
    EXPECT_TRUE(SameBits(w, flat));
    ASSERT_EQ(SphereFilter(flat, w, 6, false), TSphereOutcome::Done);
    EXPECT_EQ(w.Data[10][10], 0.0f);
}

TEST_F(Sphere, SpikeSpreadsAsTheBallAndKeepsItsHeight)
{
    TQTVPicture p = Image(41, 41, 41);  // 1 nm per pixel
    p.Data[20][20] = 1000;
    TQTVPicture w;
    ASSERT_EQ(SphereFilter(p, w, 5, true), TSphereOutcome::Done);
    const int r = 6;  // round(5 + 1)
    const double c = 5.0 / 6;
    for (int di = -10; di <= 10; ++di)
        for (int dj = -10; dj <= 10; ++dj) {
            const long q = r * r + 1 - di * di - dj * dj;
            double expected = 0;
            if (std::abs(di) <= r && std::abs(dj) <= r && q >= 0)
                expected = std::max(0.0, 1000 - c * (r + 1 - std::sqrt(static_cast<double>(q))));
            if (di == 0 && dj == 0) expected = 1000;
            EXPECT_EQ(w.Data[20 + di][20 + dj], static_cast<float>(expected)) << di << "," << dj;
        }
    ASSERT_EQ(SphereFilter(p, w, 5, false), TSphereOutcome::Done);
    EXPECT_EQ(w.Data[20][20], 0.0f);
    EXPECT_EQ(w.Data[20][21], static_cast<float>(-(1000 - c * (7 - std::sqrt(36.0)))));
}

TEST_F(Sphere, VectorRunEqualsThePlainLoopsBitForBit)
{
    struct Case {
        int cols, rows;
        double radius;
        bool lowpass;
    };
    // widths around the vector block, images much wider than tall (the element reaches
    // beyond every row), units that differ
    const Case cases[] = {{16, 16, 3, true},  {47, 31, 4, true},  {47, 31, 4, false}, {70, 3, 15, true},
                          {64, 1, 12, false}, {33, 40, 2.5, true}, {1, 9, 0.5, true}, {100, 2, 24, true}};
    unsigned seed = 11;
    for (const Case& k : cases) {
        TQTVPicture p = Image(k.cols, k.rows, k.cols);
        Fill(p, ++seed);
        p.Data[0][0] = -0.0f;
        p.Para.PhysUnit = "\xB5m";
        TQTVPicture fast, plain;
        ASSERT_EQ(SphereFilter(p, fast, k.radius, k.lowpass), TSphereOutcome::Done);
        SphereFilterPlain(p, plain, k.radius, k.lowpass);
        EXPECT_TRUE(SameBits(fast, plain)) << k.cols << "x" << k.rows << " R " << k.radius;
    }
    // a gentle surface in the lateral unit, where most of the ball lies far below it and
    // is passed over, with spikes, holes, not-a-number and infinite samples
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    for (const Case& k : {Case{53, 41, 9, true}, Case{130, 37, 20, false}, Case{200, 3, 30, true}, Case{17, 60, 5, true}}) {
        TQTVPicture p = Image(k.cols, k.rows, k.cols);
        std::mt19937 gen(k.cols);
        std::normal_distribution<float> noise(0.0f, 0.05f);
        for (int r = 0; r < k.rows; ++r)
            for (int c = 0; c < k.cols; ++c)
                p.Data[r][c] = 0.01f * r + std::sin(0.2f * c) + noise(gen);
        for (int n = 0; n < 6; ++n) p.Data[static_cast<int>(gen() % k.rows)][static_cast<int>(gen() % k.cols)] = 8.0f;
        p.Data[k.rows / 2][k.cols / 2] = -6.0f;
        p.Data[0][k.cols - 1] = nan;
        p.Data[k.rows - 1][0] = -0.0f;
        if (k.cols > 100) {
            p.Data[1][k.cols / 3] = inf;
            p.Data[k.rows - 1][k.cols / 4] = -inf;
            for (int c = 20; c < 60; ++c) p.Data[k.rows / 2][c] = nan;
        }
        TQTVPicture fast, plain;
        ASSERT_EQ(SphereFilter(p, fast, k.radius, k.lowpass), TSphereOutcome::Done);
        SphereFilterPlain(p, plain, k.radius, k.lowpass);
        EXPECT_TRUE(SameBits(fast, plain)) << "gentle " << k.cols << "x" << k.rows << " R " << k.radius;
    }
}

TEST_F(Sphere, ProgressPerRowCancelAndSwitch)
{
    TQTVPicture p = Image(30, 12, 30);
    Fill(p, 5);
    TQTVPicture w = p;
    std::vector<int> rows;
    TThreadScope one(1);  // on one thread progress comes before every row, with its index
    EXPECT_EQ(SphereFilter(p, w, 3, true, [&](int y) { rows.push_back(y); return y < 4; }),
              TSphereOutcome::Cancelled);
    EXPECT_EQ(rows, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_TRUE(SameBits(w, p));  // a cancelled run leaves the working copy alone

    rows.clear();
    ASSERT_EQ(SphereFilter(p, w, 3, true, [&](int y) { rows.push_back(y); return true; }), TSphereOutcome::Done);
    EXPECT_EQ(rows.size(), 12u);
    TQTVPicture high;
    ASSERT_EQ(SphereFilter(p, high, 3, false), TSphereOutcome::Done);
    TQTVPicture low = w;
    SwitchSphereResult(p, w);
    EXPECT_TRUE(SameBits(w, high));
    SwitchSphereResult(p, w);
    for (int r = 0; r < p.Rows; ++r)
        for (int c = 0; c < p.Cols; ++c) EXPECT_NEAR(w.Data[r][c], low.Data[r][c], 1e-5);
}

// On the pool, a cancel in the middle still leaves the working copy (and the source)
// as they were.
TEST_F(Sphere, CancelOnThePoolLeavesBothAlone)
{
    TQTVPicture p = Image(301, 97, 300);
    Fill(p, 9);
    const std::string before = SampleBytes(p);
    for (const int n : {2, 3, 8}) {
        TThreadScope scope(n);
        TQTVPicture w = p;
        int calls = 0;
        // stopped at its first look: however fast the other threads are, the run is cancelled
        EXPECT_EQ(SphereFilter(p, w, 40, true, [&](int) { return ++calls > 1; }), TSphereOutcome::Cancelled);
        EXPECT_EQ(SampleBytes(w), before) << n;
        EXPECT_EQ(SampleBytes(p), before) << n;
    }
}
