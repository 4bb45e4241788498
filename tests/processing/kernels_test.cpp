// Neighbourhood filters: the kernel table, the kernel filter, bad-point removal and
// the median and mean filters, against hand-worked cases and against a plain
// per-sample statement of each filter on random images of many shapes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "processing/Kernels.h"

namespace {

TQTVPicture Image(int32_t rows, int32_t cols, float value = 0.0f)
{
    TQTVPicture p;
    p.SetSize(cols, rows);
    for (int32_t r = 0; r < rows; ++r)
        for (int32_t c = 0; c < cols; ++c) p.Data[r][c] = value;
    return p;
}

TQTVPicture Copy(const TQTVPicture& src)
{
    TQTVPicture p = Image(src.Rows, src.Cols);
    for (int32_t r = 0; r < src.Rows; ++r)
        for (int32_t c = 0; c < src.Cols; ++c) p.Data[r][c] = src.Data[r][c];
    p.Min = src.Min;
    p.Max = src.Max;
    return p;
}

// Random samples; with ties (few distinct values) when levels > 0.
TQTVPicture Random(int32_t rows, int32_t cols, uint32_t seed, int levels = 0)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> u(-100.0f, 100.0f);
    std::uniform_int_distribution<int> l(0, levels > 0 ? levels - 1 : 0);
    TQTVPicture p = Image(rows, cols);
    for (int32_t r = 0; r < rows; ++r)
        for (int32_t c = 0; c < cols; ++c) p.Data[r][c] = levels > 0 ? static_cast<float>(l(gen)) : u(gen);
    return p;
}

bool SameBits(const TQTVPicture& a, const TQTVPicture& b)
{
    if (a.Rows != b.Rows || a.Cols != b.Cols) return false;
    return std::memcmp(a.Data.Block(), b.Data.Block(), sizeof(float) * a.Rows * a.Cols) == 0;
}

// ---- the filters stated sample by sample, as the oracle

int32_t Mir(int32_t k, int32_t n)
{
    if (k < 0) k = -k;
    if (k >= n) k = 2 * (n - 1) - k;
    return std::clamp(k, 0, n - 1);
}

std::array<float, 9> Window(const TQTVPicture& p, int32_t i, int32_t j)
{
    std::array<float, 9> w{};
    int q = 0;
    for (int dr = -1; dr <= 1; ++dr)
        for (int dc = -1; dc <= 1; ++dc) w[q++] = p.Data[Mir(i + dr, p.Rows)][Mir(j + dc, p.Cols)];
    return w;
}

TQTVPicture OracleKernel(const TQTVPicture& p, int kernel)
{
    TQTVPicture out = Copy(p);
    for (int32_t i = 0; i < p.Rows; ++i)
        for (int32_t j = 0; j < p.Cols; ++j) {
            const auto w = Window(p, i, j);
            float s = 0.0f;
            for (int q = 0; q < 9; ++q) {
                const float prod = KernelCoefficient(kernel, q / 3, q % 3) * w[q];
                s = s + prod;
            }
            out.Data[i][j] = s;
        }
    return out;
}

TQTVPicture OracleMean(const TQTVPicture& p)
{
    TQTVPicture out = Copy(p);
    for (int32_t i = 0; i < p.Rows; ++i)
        for (int32_t j = 0; j < p.Cols; ++j) {
            float s = 0.0f;
            for (float v : Window(p, i, j)) s = s + v;
            out.Data[i][j] = s / 9.0f;
        }
    return out;
}

TQTVPicture OracleMedian(const TQTVPicture& p)
{
    TQTVPicture out = Copy(p);
    for (int32_t i = 0; i < p.Rows; ++i)
        for (int32_t j = 0; j < p.Cols; ++j) out.Data[i][j] = MedianOfNine(Window(p, i, j));
    return out;
}

void OracleBadPoints(TQTVPicture& p, float t)
{
    const int32_t R = p.Rows, C = p.Cols;
    if (R < 2 || C < 2) return;
    auto v = [&](int32_t r, int32_t c) -> float& { return p.Data[r][c]; };
    auto d = [t](float a, float b) { return std::fabs(a - b) > t; };
    for (int32_t r = 1; r <= R - 2; ++r) {
        for (int32_t c = 1; c <= C - 2; ++c)
            if (d(v(r, c), v(r, c - 1)) && d(v(r, c), v(r, c + 1)))
                v(r, c) = (v(r - 1, c - 1) + v(r - 1, c) + v(r - 1, c + 1) + v(r, c - 1) + v(r, c + 1) +
                           v(r + 1, c - 1) + v(r + 1, c) + v(r + 1, c + 1)) / 8.0f;
        for (int32_t c : {0, C - 1}) {
            const int32_t in = c == 0 ? 1 : C - 2;
            if (d(v(r, c), v(r - 1, c)) && d(v(r, c), v(r + 1, c)))
                v(r, c) = (v(r - 1, c) + v(r + 1, c) + v(r - 1, in) + v(r, in) + v(r + 1, in)) / 5.0f;
        }
    }
    for (int32_t c = 1; c <= C - 2; ++c)
        for (int32_t r : {0, R - 1}) {
            const int32_t in = r == 0 ? 1 : R - 2;
            if (d(v(r, c), v(r, c - 1)) && d(v(r, c), v(r, c + 1)))
                v(r, c) = (v(r, c - 1) + v(r, c + 1) + v(in, c - 1) + v(in, c) + v(in, c + 1)) / 5.0f;
        }
    if (d(v(0, 0), v(1, 0)) && d(v(0, 0), v(0, 1))) v(0, 0) = (v(0, 1) + v(1, 0) + v(1, 1)) / 3.0f;
    if (d(v(R - 1, 0), v(R - 1, 1)) && d(v(R - 1, 0), v(R - 2, 0)))
        v(R - 1, 0) = (v(R - 1, 1) + v(R - 2, 0) + v(R - 2, 1)) / 3.0f;
    if (d(v(0, C - 1), v(0, C - 2)) || d(v(0, C - 1), v(1, C - 1)))
        v(0, C - 1) = (v(0, C - 2) + v(1, C - 1) + v(1, C - 2)) / 3.0f;
    if (d(v(R - 1, C - 1), v(R - 1, C - 2)) && d(v(R - 1, C - 1), v(R - 2, C - 1)))
        v(R - 1, C - 1) = (v(R - 1, C - 2) + v(R - 2, C - 1) + v(R - 2, C - 2)) / 3.0f;
}

// Shapes that cover single rows and columns, the border columns around the eight-
// and four-sample paths, and plain sizes.
const std::vector<std::pair<int32_t, int32_t>> Shapes = {
    {1, 1}, {1, 2}, {2, 1}, {1, 13}, {13, 1}, {2, 2}, {3, 3}, {2, 9}, {4, 10}, {5, 17}, {7, 18}, {33, 41}, {16, 64}};

}  // namespace

// ---------------------------------------------------------------- kernel table

TEST(KernelTable, NamesInListOrder)
{
    const std::vector<std::string> expected = {
        "LowPass",           "HighPass 1",         "HighPass 2",       "HighPass 3",          "Laplace 1",
        "Laplace 2",         "Laplace 3",          "Solarization left", "Solarization right", "Solarization top",
        "Solarization bottom", "Edges left",       "Edges right",      "Edges top",           "Edges bottom"};
    EXPECT_EQ(KernelCount(), 15);
    EXPECT_EQ(KernelNames(), expected);
    EXPECT_EQ(KernelIndex("Laplace 2"), 5);
    EXPECT_EQ(KernelIndex("laplace 2"), -1);
    TQTVPicture p = Image(3, 3);
    EXPECT_THROW(ApplyKernel(p, 15), ERangeError);
    EXPECT_THROW(ApplyKernel(p, -1), ERangeError);
}

TEST(KernelTable, GridTextsShowTheKernelInTableLayout)
{
    using T = std::array<std::string, 9>;
    EXPECT_EQ(KernelGridTexts(0), (T{"   0", " 1/8", "   0", " 1/8", " 1/2", " 1/8", "   0", " 1/8", "   0"}));
    EXPECT_EQ(KernelGridTexts(1), (T{"  -1", "  -1", "  -1", "  -1", "   9", "  -1", "  -1", "  -1", "  -1"}));
    EXPECT_EQ(KernelGridTexts(2), (T{"   0", "-1/4", "   0", "-1/4", "   2", "-1/4", "   0", "-1/4", "   0"}));
    EXPECT_EQ(KernelGridTexts(3), (T{"-1/9", "-1/9", "-1/9", "-1/9", " 8/9", "-1/9", "-1/9", "-1/9", "-1/9"}));
    EXPECT_EQ(KernelGridTexts(6), (T{"  -2", "   1", "  -2", "   1", "   4", "   1", "  -2", "   1", "  -2"}));
    EXPECT_EQ(KernelGridTexts(9), (T{"   0", "  -1", "   0", "   0", "   1", "   0", "   0", "   0", "   0"}));
    EXPECT_EQ(KernelGridTexts(13), (T{"  -1", "  -2", "  -1", "   0", "   0", "   0", "   1", "   2", "   1"}));
    EXPECT_THROW(KernelGridTexts(-1), ERangeError);
    EXPECT_EQ(KernelCoefficient(3, 0, 0), -1.0f / 9.0f);
    EXPECT_EQ(KernelCoefficient(3, 1, 1), 8.0f / 9.0f);
}

// ---------------------------------------------------------------- kernel filter

TEST(KernelFilter, ConstantsKeptByLowPassAndRemovedByLaplace2)
{
    for (const auto& [rows, cols] : Shapes) {
        TQTVPicture p = Image(rows, cols, 2.5f);
        ApplyKernel(p, 0);
        EXPECT_TRUE(SameBits(p, Image(rows, cols, 2.5f))) << rows << "x" << cols;
        ApplyKernel(p, 5);
        EXPECT_TRUE(SameBits(p, Image(rows, cols, 0.0f))) << rows << "x" << cols;
    }
}

// A kernel changes the value scale exactly when it does not keep a constant image at
// its value: the smoothing and sharpening ones keep it, the slope and curvature
// kernels (HighPass 3 among them: its nine coefficients add up to 0) do not.
TEST(KernelFilter, ScaleChangesWhereConstantsAreNotKept)
{
    for (int k = 0; k < KernelCount(); ++k) {
        TQTVPicture p = Image(5, 6, 3.0f);
        ApplyKernel(p, k);
        bool kept = true;
        for (int r = 0; r < p.Rows; ++r)
            for (int c = 0; c < p.Cols; ++c) kept = kept && std::fabs(p.Data[r][c] - 3.0f) < 1e-5f;
        EXPECT_EQ(KernelChangesScale(k), !kept) << KernelNames()[static_cast<size_t>(k)];
    }
    EXPECT_FALSE(KernelChangesScale(KernelIndex("HighPass 1")));
    EXPECT_TRUE(KernelChangesScale(KernelIndex("Edges left")));
}

TEST(KernelFilter, SolarizationLeftOnARamp)
{
    TQTVPicture p = Image(5, 12);
    for (int32_t r = 0; r < 5; ++r)
        for (int32_t c = 0; c < 12; ++c) p.Data[r][c] = static_cast<float>(c);
    ApplyKernel(p, KernelIndex("Solarization left"));
    for (int32_t r = 0; r < 5; ++r)
        for (int32_t c = 0; c < 12; ++c) EXPECT_EQ(p.Data[r][c], c == 0 ? -1.0f : 1.0f) << r << "," << c;
}

TEST(KernelFilter, KernelRowZeroAppliesToTheRowBelow)
{
    // a single 1 at (2, 3): "Solarization top" subtracts the sample below, so the
    // 1 shows at (2, 3) and -1 one row up, at (3, 3)
    TQTVPicture p = Image(6, 7);
    p.Data[2][3] = 1.0f;
    ApplyKernel(p, KernelIndex("Solarization top"));
    EXPECT_EQ(p.Data[2][3], 1.0f);
    EXPECT_EQ(p.Data[3][3], -1.0f);
    EXPECT_EQ(p.Data[1][3], 0.0f);
}

TEST(KernelFilter, EveryKernelMatchesThePlainSumOnRandomImages)
{
    uint32_t seed = 1;
    for (int lanes : {4, 8})
    for (int kernel = 0; kernel < KernelCount(); ++kernel)
        for (const auto& [rows, cols] : Shapes) {
            const TQTVPicture src = Random(rows, cols, seed++);
            TQTVPicture p = Copy(src);
            SetFilterLanes(lanes);
            ApplyKernel(p, kernel);
            SetFilterLanes(8);
            EXPECT_TRUE(SameBits(p, OracleKernel(src, kernel))) << KernelNames()[kernel] << " " << rows << "x" << cols;
        }
}

TEST(KernelFilter, RepeatedPassesCompound)
{
    const TQTVPicture src = Random(20, 31, 7);
    TQTVPicture p = Copy(src);
    ApplyKernel(p, 0);
    const TQTVPicture once = Copy(p);
    ApplyKernel(p, 0);
    EXPECT_TRUE(SameBits(once, OracleKernel(src, 0)));
    EXPECT_TRUE(SameBits(p, OracleKernel(once, 0)));
    EXPECT_FALSE(SameBits(p, once));
}

TEST(KernelFilter, NonFiniteSamplesSpreadLikeThePlainSum)
{
    TQTVPicture src = Random(9, 26, 3);
    src.Data[4][10] = std::numeric_limits<float>::infinity();
    src.Data[2][20] = std::numeric_limits<float>::quiet_NaN();
    for (int kernel : {0, 5, 7, 11}) {
        TQTVPicture p = Copy(src);
        ApplyKernel(p, kernel);
        EXPECT_TRUE(SameBits(p, OracleKernel(src, kernel))) << kernel;
    }
}

// ---------------------------------------------------------------- bad points

TEST(BadPoints, SpikeReplacedByItsNeighbours)
{
    TQTVPicture p = Image(6, 6);
    for (int32_t r = 0; r < 6; ++r)
        for (int32_t c = 0; c < 6; ++c) p.Data[r][c] = static_cast<float>(r);  // rises by 1 per row
    const TQTVPicture slope = Copy(p);
    p.Data[3][2] = 10.0f;
    RemoveBadPoints(p, 1.0f);
    EXPECT_EQ(p.Data[3][2], (2.0f * 3 + 3.0f * 2 + 4.0f * 3) / 8.0f);
    EXPECT_TRUE(SameBits(p, slope));  // nothing else moved
}

TEST(BadPoints, StepEdgeUntouched)
{
    TQTVPicture p = Image(7, 20);
    for (int32_t r = 0; r < 7; ++r)
        for (int32_t c = 10; c < 20; ++c) p.Data[r][c] = 10.0f;
    const TQTVPicture before = Copy(p);
    RemoveBadPoints(p, 1.0f);
    EXPECT_TRUE(SameBits(p, before));
}

TEST(BadPoints, CornersNeedBothNeighboursExceptBottomRight)
{
    // a corner that differs from only its row neighbour's partner: each corner is
    // paired with an equal neighbour in its row, so it differs from one neighbour only
    TQTVPicture p = Image(4, 5);
    p.Data[0][0] = p.Data[0][1] = 10.0f;
    p.Data[3][0] = p.Data[3][1] = 10.0f;
    p.Data[3][4] = p.Data[3][3] = 10.0f;
    p.Data[0][4] = p.Data[0][3] = 10.0f;
    RemoveBadPoints(p, 1.0f);
    EXPECT_EQ(p.Data[0][0], 10.0f);
    EXPECT_EQ(p.Data[3][0], 10.0f);
    EXPECT_EQ(p.Data[3][4], 10.0f);
    EXPECT_EQ(p.Data[0][4], 10.0f / 3.0f);  // row 0, last column: one difference suffices
}

TEST(BadPoints, ThresholdZeroReplacesEveryLocalExtreme)
{
    // a zigzag row: every inner sample differs from both horizontal neighbours
    TQTVPicture p = Image(3, 6);
    for (int32_t c = 0; c < 6; ++c) p.Data[1][c] = (c % 2) ? 1.0f : 0.0f;
    TQTVPicture expect = Copy(p);
    OracleBadPoints(expect, 0.0f);
    RemoveBadPoints(p, 0.0f);
    EXPECT_TRUE(SameBits(p, expect));
    // each 1 sits between zeros and becomes the mean of zeros; the zeros after a
    // corrected sample no longer differ from both sides
    for (int32_t c = 0; c < 6; ++c) EXPECT_EQ(p.Data[1][c], 0.0f) << c;
}

TEST(BadPoints, MatchesThePlainOrderOnRandomImages)
{
    uint32_t seed = 100;
    for (float t : {0.0f, 5.0f, 40.0f, 150.0f})
        for (const auto& [rows, cols] : Shapes) {
            TQTVPicture p = Random(rows, cols, seed++);
            TQTVPicture expect = Copy(p);
            OracleBadPoints(expect, t);
            RemoveBadPoints(p, t);
            EXPECT_TRUE(SameBits(p, expect)) << "t " << t << " " << rows << "x" << cols;
        }
}

TEST(BadPoints, ThresholdFromTheZRange)
{
    TQTVPicture p = Image(2, 2);
    p.Min = -1.0f;
    p.Max = 3.0f;
    EXPECT_EQ(BadPointThreshold(p, 1.0), 0.04f);
    EXPECT_EQ(BadPointThreshold(p, 0.0), 0.0f);
    p.Max = p.Min;
    EXPECT_EQ(BadPointThreshold(p, 50.0), 1.0f);
}

// ---------------------------------------------------------------- median and mean

TEST(MedianFilter, TakesTheTrueMedian)
{
    EXPECT_EQ(MedianOfNine({9, 1, 8, 2, 7, 3, 6, 4, 5}), 5.0f);
    EXPECT_EQ(MedianOfNine({1, 2, 3, 4, 5, 6, 7, 8, 9}), 5.0f);
    EXPECT_EQ(MedianOfNine({2, 2, 2, 2, 1, 1, 1, 1, 9}), 2.0f);
    TQTVPicture src = Image(3, 3);
    float v = 1.0f;
    for (int32_t r = 0; r < 3; ++r)
        for (int32_t c = 0; c < 3; ++c) src.Data[r][c] = v++;
    TQTVPicture w = Image(3, 3);
    MedianFilter(src, w);
    EXPECT_EQ(w.Data[1][1], 5.0f);
}

TEST(MedianFilter, MatchesTheSelectionOnRandomImages)
{
    uint32_t seed = 500;
    for (int lanes : {4, 8})
    for (int levels : {0, 3, 2})
        for (const auto& [rows, cols] : Shapes) {
            const TQTVPicture src = Random(rows, cols, seed++, levels);
            TQTVPicture w = Image(rows, cols);
            SetFilterLanes(lanes);
            MedianFilter(src, w);
            SetFilterLanes(8);
            EXPECT_TRUE(SameBits(w, OracleMedian(src))) << levels << " " << rows << "x" << cols;
        }
}

TEST(MedianFilter, SignedZerosAndNotANumberAsTheSelectionGivesThem)
{
    TQTVPicture src = Random(12, 40, 9, 2);  // zeros and ones
    for (int32_t c = 0; c < 40; c += 3) src.Data[5][c] = -0.0f;
    src.Data[9][17] = std::numeric_limits<float>::quiet_NaN();
    TQTVPicture w = Image(12, 40);
    MedianFilter(src, w);
    EXPECT_TRUE(SameBits(w, OracleMedian(src)));
    // one special sample at every column (in the vector part and in the tail), on rows
    // of zeros or of ones, with either lane count
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const float specials[] = {-0.0f, nan, -nan, std::numeric_limits<float>::signaling_NaN(), inf, -inf,
                              std::numeric_limits<float>::denorm_min()};
    for (int lanes : {4, 8})
        for (int level : {0, 1})
            for (float special : specials)
                for (int32_t c = 0; c < 13; ++c) {
                    TQTVPicture one = Image(5, 13);
                    for (int32_t r = 0; r < 5; ++r)
                        for (int32_t k = 0; k < 13; ++k) one.Data[r][k] = static_cast<float>(level);
                    one.Data[2][c] = special;
                    one.Data[3][(c + 5) % 13] = level ? 0.0f : 1.0f;
                    TQTVPicture out = Image(5, 13);
                    SetFilterLanes(lanes);
                    MedianFilter(one, out);
                    SetFilterLanes(8);
                    EXPECT_TRUE(SameBits(out, OracleMedian(one))) << lanes << " " << level << " " << special << " " << c;
                }
}

TEST(MedianFilter, ReadsTheSourceSoRepeatingChangesNothing)
{
    const TQTVPicture src = Random(17, 23, 11);
    TQTVPicture w = Copy(src);
    MedianFilter(src, w);
    const TQTVPicture once = Copy(w);
    MedianFilter(src, w);
    EXPECT_TRUE(SameBits(w, once));
    EXPECT_FALSE(SameBits(w, src));
}

TEST(MeanFilter, MatchesThePlainSumAndKeepsConstants)
{
    uint32_t seed = 900;
    for (int lanes : {4, 8})
    for (const auto& [rows, cols] : Shapes) {
        const TQTVPicture src = Random(rows, cols, seed++);
        TQTVPicture w = Image(rows, cols);
        SetFilterLanes(lanes);
        MeanFilter(src, w);
        SetFilterLanes(8);
        EXPECT_TRUE(SameBits(w, OracleMean(src))) << rows << "x" << cols;
        const TQTVPicture flat = Image(rows, cols, 0.75f);
        MeanFilter(flat, w);
        EXPECT_TRUE(SameBits(w, flat));
    }
}

TEST(MeanFilter, WorkingOfAnotherSizeIsRefused)
{
    const TQTVPicture src = Image(4, 4, 1.0f);
    TQTVPicture w = Image(4, 5);
    EXPECT_THROW(MeanFilter(src, w), ERangeError);
    EXPECT_THROW(MedianFilter(src, w), ERangeError);
    TQTVPicture empty;
    MeanFilter(empty, empty);  // nothing to do
}
