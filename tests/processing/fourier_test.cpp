// The Fourier module: bit reversal, the two-dimensional transform against a direct
// sum and against the row-by-row definition through FFT1D (bit for bit), the centred
// layout and the FFT view.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <limits>
#include <random>

#include "processing/FFTView.h"
#include "processing/Fourier.h"

namespace {

// An N x N grid with its row table.
struct TGrid {
    int32_t N;
    std::vector<float> Block;
    std::vector<float*> Rows;
    explicit TGrid(int32_t n) : N(n), Block(static_cast<size_t>(n) * n, 0.0f), Rows(static_cast<size_t>(n))
    {
        for (int32_t r = 0; r < n; ++r) Rows[static_cast<size_t>(r)] = Block.data() + static_cast<size_t>(r) * n;
    }
    TGrid(const TGrid& o) : TGrid(o.N) { Block = o.Block; }
    float& operator()(int32_t r, int32_t c) { return Rows[static_cast<size_t>(r)][c]; }
    float operator()(int32_t r, int32_t c) const { return Rows[static_cast<size_t>(r)][c]; }
    bool operator==(const TGrid& o) const
    {
        return N == o.N && std::memcmp(Block.data(), o.Block.data(), Block.size() * sizeof(float)) == 0;
    }
};

TGrid RandomGrid(int32_t n, uint32_t seed, float scale = 1.0f)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> u(-scale, scale);
    TGrid g(n);
    for (float& v : g.Block) v = u(gen);
    return g;
}

int32_t Bits(int32_t n)
{
    int32_t b = 0;
    while ((1 << b) < n) ++b;
    return b;
}

// The definition: FFT1D on every row, transpose, again, transpose back, with the
// quadrant swaps around it.
void Swap(TGrid& g)
{
    const int32_t n = g.N, h = n / 2;
    for (int32_t i = 0; i <= (n - 1) / 2; ++i)
        for (int32_t j = 0; j < n; ++j) std::swap(g(i + h, j), g(i, j));
    for (int32_t i = 0; i < n; ++i)
        for (int32_t j = 0; j <= (n - 1) / 2; ++j) std::swap(g(i, h + j), g(i, j));
}
void Transpose(TGrid& g)
{
    for (int32_t i = 0; i < g.N; ++i)
        for (int32_t j = 0; j < i; ++j) std::swap(g(i, j), g(j, i));
}
void DefinitionFFT2D(TGrid& re, TGrid& im, bool flag)
{
    // FFT1D needs the module state of this size
    TGrid a(re.N), b(re.N);
    FFT2D(a.Rows.data(), b.Rows.data(), Bits(re.N), false);
    if (flag && re.N > 1) {
        Swap(re);
        Swap(im);
    }
    for (int32_t r = 0; r < re.N; ++r) FFT1D(re.Rows[r], im.Rows[r]);
    Transpose(re);
    Transpose(im);
    for (int32_t r = 0; r < re.N; ++r) FFT1D(re.Rows[r], im.Rows[r]);
    Transpose(re);
    Transpose(im);
    if (re.N > 1) {
        Swap(re);
        Swap(im);
    }
}

TQTVPicture Picture(int32_t rows, int32_t cols)
{
    TQTVPicture p;
    p.SetSize(cols, rows);
    return p;
}

}  // namespace

TEST(Fourier, BitReverse)
{
    EXPECT_EQ(BitReverse(3, 1), 4);
    EXPECT_EQ(BitReverse(3, 6), 3);
    EXPECT_EQ(BitReverse(0, 5), 0);
    EXPECT_EQ(BitReverse(11, 1), 1024);
    EXPECT_EQ(BitReverse(4, 0b10011), 0b1100);  // bits above n are ignored
}

TEST(Fourier, TablesOfTheLastTransform)
{
    TGrid re(8), im(8);
    FFT2D(re.Rows.data(), im.Rows.data(), 3, false);
    EXPECT_EQ(FFTSize, 8);
    EXPECT_EQ(FFTBits, 3);
    ASSERT_EQ(CosTable.size(), 8u);
    EXPECT_EQ(CosTable[0], 1.0f);
    EXPECT_EQ(SinTable[2], 1.0f);
    EXPECT_EQ(CosTable[1], static_cast<float>(std::sqrt(0.5L)));
    EXPECT_EQ(SinTable[5], -static_cast<float>(std::sqrt(0.5L)));
}

TEST(Fourier, TwoDimensionalTransformIsTheDirectSum)
{
    // centred layout: [N/2 + u][N/2 + v] holds sum x[r][c] e^(-2 pi i (u r + v c) / N)
    for (int32_t n : {1, 2, 4, 8, 16, 32}) {
        const TGrid xr = RandomGrid(n, 10u + n), xi = RandomGrid(n, 20u + n);
        TGrid re = xr, im = xi;
        FFT2D(re.Rows.data(), im.Rows.data(), Bits(n), false);
        const long double twoPi = 2.0L * 3.14159265358979323846264338327950288L;
        for (int32_t u = 0; u < n; ++u)
            for (int32_t v = 0; v < n; ++v) {
                std::complex<long double> s = 0;
                for (int32_t r = 0; r < n; ++r)
                    for (int32_t c = 0; c < n; ++c) {
                        const long double a = -twoPi * ((u * r + v * c) % n) / n;
                        s += std::complex<long double>(xr(r, c), xi(r, c)) * std::polar(1.0L, a);
                    }
                const int32_t rr = (n / 2 + u) % n, cc = (n / 2 + v) % n;
                const double tol = 1e-5 * n * n;
                EXPECT_NEAR(re(rr, cc), static_cast<double>(s.real()), tol) << n << " " << u << "," << v;
                EXPECT_NEAR(im(rr, cc), static_cast<double>(s.imag()), tol) << n << " " << u << "," << v;
            }
    }
}

TEST(Fourier, SameBitsAsTheRowByRowDefinition)
{
    // random grids of every size, with and without centred input, including values
    // that cancel exactly (zeros, constants, integers) and wide magnitudes
    uint32_t seed = 1;
    for (int32_t bits = 0; bits <= 7; ++bits) {
        const int32_t n = 1 << bits;
        std::vector<std::pair<TGrid, TGrid>> inputs;
        inputs.emplace_back(RandomGrid(n, seed), RandomGrid(n, seed + 1));
        seed += 2;
        inputs.emplace_back(RandomGrid(n, seed++, 1e20f), TGrid(n));
        TGrid ints(n), ones(n);
        std::mt19937 gen(seed++);
        for (float& v : ints.Block) v = static_cast<float>(static_cast<int>(gen() % 7) - 3);
        for (float& v : ones.Block) v = 1.0f;
        inputs.emplace_back(ints, TGrid(n));
        inputs.emplace_back(ones, TGrid(n));
        TGrid wide = RandomGrid(n, seed++);
        for (int32_t k = 0; k < n * n; k += 3) wide.Block[k] *= 1e-30f;
        inputs.emplace_back(wide, RandomGrid(n, seed++, 1e10f));
        // every exponent from 2^-40 to 2^40, and 24-bit integers whose sums land on
        // rounding midpoints
        TGrid spread(n), spreadIm(n), mids(n);
        std::uniform_int_distribution<int> ex(-40, 40), mant(1 << 23, (1 << 24) - 1);
        for (int32_t k = 0; k < n * n; ++k) {
            spread.Block[k] = std::ldexp(static_cast<float>(mant(gen)), ex(gen) - 23) * ((gen() & 1) ? 1 : -1);
            spreadIm.Block[k] = std::ldexp(static_cast<float>(mant(gen)), ex(gen) - 23);
            mids.Block[k] = static_cast<float>(mant(gen)) * ((gen() & 1) ? 1 : -1);
        }
        inputs.emplace_back(spread, spreadIm);
        inputs.emplace_back(mids, TGrid(n));
        // powers of two and their float neighbours: sums at the edges of a binade
        TGrid edges(n), edgesIm(n);
        std::uniform_int_distribution<int> ex2(-6, 6), step(-2, 2);
        for (int32_t k = 0; k < n * n; ++k) {
            edges.Block[k] = std::ldexp(1.0f + step(gen) * 0x1p-23f, ex2(gen)) * ((gen() & 1) ? 1 : -1);
            edgesIm.Block[k] = (gen() & 3) ? 0.0f : std::ldexp(1.0f - 0x1p-24f, ex2(gen));
        }
        inputs.emplace_back(edges, edgesIm);
        for (const auto& [r0, i0] : inputs)
            for (bool flag : {false, true})
                for (TFFTPath path : {TFFTPath::Auto, TFFTPath::Lanes4, TFFTPath::Lanes8}) {
                    if (!FFTPathAvailable(path)) continue;
                    TGrid re = r0, im = i0, dre = r0, dim = i0;
                    SetFFTPath(path);
                    FFT2D(re.Rows.data(), im.Rows.data(), bits, flag);
                    SetFFTPath(TFFTPath::Auto);
                    DefinitionFFT2D(dre, dim, flag);
                    EXPECT_TRUE(re == dre && im == dim) << "N " << n << " flag " << flag << " path " << int(path);
                }
    }
}

TEST(Fourier, NotANumberAndInfinityAsTheDefinitionGivesThem)
{
    TGrid re = RandomGrid(16, 5), im(16);
    re(3, 4) = std::numeric_limits<float>::infinity();
    re(9, 1) = std::numeric_limits<float>::quiet_NaN();
    TGrid dre = re, dim = im;
    FFT2D(re.Rows.data(), im.Rows.data(), 4, false);
    DefinitionFFT2D(dre, dim, false);
    EXPECT_EQ(std::memcmp(re.Block.data(), dre.Block.data(), re.Block.size() * 4), 0);
    EXPECT_EQ(std::memcmp(im.Block.data(), dim.Block.data(), im.Block.size() * 4), 0);
}

TEST(Fourier, ConstantGivesNSquaredAtTheCentre)
{
    const int32_t n = 64;
    TGrid re(n), im(n);
    for (float& v : re.Block) v = 1.0f;
    FFT2D(re.Rows.data(), im.Rows.data(), 6, false);
    EXPECT_EQ(re(n / 2, n / 2), static_cast<float>(n * n));
    for (int32_t r = 0; r < n; ++r)
        for (int32_t c = 0; c < n; ++c)
            if (r != n / 2 || c != n / 2) {
                ASSERT_NEAR(re(r, c), 0.0f, 1e-3) << r << "," << c;
                ASSERT_NEAR(im(r, c), 0.0f, 1e-3) << r << "," << c;
            }
}

TEST(Fourier, CentredRoundTripMirrorsThroughTheOrigin)
{
    const int32_t n = 32;
    const TGrid x = RandomGrid(n, 77);
    TGrid re = x, im(n);
    FFT2D(re.Rows.data(), im.Rows.data(), 5, false);
    FFT2D(re.Rows.data(), im.Rows.data(), 5, true);
    for (int32_t r = 0; r < n; ++r)
        for (int32_t c = 0; c < n; ++c) {
            const int32_t rr = (n / 2 + r) % n, cc = (n / 2 + c) % n;
            const float expected = n * n * x((n - r) % n, (n - c) % n);
            ASSERT_NEAR(re(rr, cc), expected, 2e-3) << r << "," << c;
            ASSERT_NEAR(im(rr, cc), 0.0f, 2e-3) << r << "," << c;
        }
}

TEST(Fourier, SizesOutOfRangeAreRefused)
{
    TGrid re(1), im(1);
    EXPECT_THROW(FFT2D(re.Rows.data(), im.Rows.data(), 12, false), ERangeError);
    EXPECT_THROW(FFT2D(re.Rows.data(), im.Rows.data(), -1, false), ERangeError);
    TQTVPicture a = Picture(16, 16), b = Picture(16, 8);
    EXPECT_THROW(FFT2D(a, b, 4, false), ERangeError);
    EXPECT_THROW(FFT2D(a, a, 5, false), ERangeError);
    a.Data[0][0] = 2.0f;
    TQTVPicture c = Picture(16, 16);
    FFT2D(a, c, 4, false);
    EXPECT_EQ(a.Data[8][8], 2.0f);
}

// ---------------------------------------------------------------- FFT view

TEST(FFTView, SingleSampleGivesMagnitudeOneEverywhere)
{
    TQTVPicture p = Picture(16, 16);
    p.Data[0][0] = 1.0f;
    FFTView(p, false, false);
    EXPECT_TRUE(p.Transformed);
    for (int32_t r = 0; r < 16; ++r)
        for (int32_t c = 0; c < 16; ++c) ASSERT_FLOAT_EQ(p.Data[r][c], 1.0f) << r << "," << c;
    FFTView(p, true, false);  // log2 of the magnitude 16 x 16 at the centre
    EXPECT_FALSE(p.Transformed);
    EXPECT_FLOAT_EQ(p.Data[8][8], 8.0f);

    TQTVPicture zero = Picture(4, 4);  // a magnitude of 0 has the logarithm minus infinity
    FFTView(zero, true, false);
    EXPECT_EQ(zero.Data[1][2], -std::numeric_limits<float>::infinity());
}

TEST(FFTView, CosinePeaks)
{
    const int32_t n = 64;
    TQTVPicture p = Picture(n, n);
    for (int32_t r = 0; r < n; ++r)
        for (int32_t c = 0; c < n; ++c) p.Data[r][c] = static_cast<float>(std::cos(2 * M_PI * c / (n / 4)));
    FFTView(p, false, false);
    for (int32_t r = 0; r < n; ++r)
        for (int32_t c = 0; c < n; ++c) {
            const bool peak = r == n / 2 && (c == n / 2 - 4 || c == n / 2 + 4);
            if (peak)
                EXPECT_NEAR(p.Data[r][c], n * n / 2, 1e-2);
            else
                ASSERT_NEAR(p.Data[r][c], 0.0f, 1e-2) << r << "," << c;
        }
}

TEST(FFTView, OnlyTheLowerLeftPowerOfTwoBlockChanges)
{
    TQTVPicture p = Picture(256, 200);
    for (int32_t r = 0; r < 256; ++r)
        for (int32_t c = 0; c < 200; ++c) p.Data[r][c] = static_cast<float>(r * 1000 + c);
    FFTView(p, false, false);
    EXPECT_EQ(FFTViewBits(256, 200), 7);
    for (int32_t r = 0; r < 256; ++r)
        for (int32_t c = 0; c < 200; ++c)
            if (r >= 128 || c >= 128) {
                ASSERT_EQ(p.Data[r][c], static_cast<float>(r * 1000 + c)) << r << "," << c;
            }
    // the block is the spectrum of the block: its sum at the centre
    double sum = 0;
    for (int32_t r = 0; r < 128; ++r)
        for (int32_t c = 0; c < 128; ++c) sum += r * 1000 + c;
    EXPECT_NEAR(p.Data[64][64], sum, sum * 1e-6);
}

TEST(FFTView, SuppressZeroSubtractsTheMeanOfTheMarkedSamples)
{
    TQTVPicture p = Picture(8, 8);
    for (int32_t r = 0; r < 8; ++r)
        for (int32_t c = 0; c < 8; ++c) p.Data[r][c] = 3.0f;
    FFTView(p, false, true);
    for (int32_t r = 0; r < 8; ++r)
        for (int32_t c = 0; c < 8; ++c) ASSERT_EQ(p.Data[r][c], 0.0f);

    // only marked samples count: the two unmarked 11s leave a mean of 1
    TQTVPicture q = Picture(8, 8);
    for (int32_t r = 0; r < 8; ++r)
        for (int32_t c = 0; c < 8; ++c) q.Data[r][c] = 1.0f;
    q.Data[2][3] = q.Data[5][5] = 11.0f;
    q.Marks[3][2] = 0;
    q.Marks[5][5] = 0;
    FFTView(q, false, true);
    EXPECT_NEAR(q.Data[4][4], 20.0f, 1e-4);  // the centre: the sum 2 x 10 that is left
}

TEST(FFTView, TwiceReturnsToTheMirroredImage)
{
    // the magnitude of the magnitude spectrum, taken with centred input, is N^2 times
    // the input mirrored through the origin, for a real non-negative image symmetric
    // enough to make the magnitude its own spectrum: here a single sample at the origin
    TQTVPicture p = Picture(16, 16);
    p.Data[0][0] = 5.0f;
    FFTView(p, false, false);
    FFTView(p, false, false);
    EXPECT_FALSE(p.Transformed);
    EXPECT_NEAR(p.Data[8][8], 5.0f * 256, 1e-3);
}

TEST(FFTView, TinyImagesAreNeverReadOutside)
{
    TQTVPicture one = Picture(1, 1);
    one.Data[0][0] = -2.5f;
    FFTView(one, false, false);
    EXPECT_EQ(one.Data[0][0], 2.5f);
    TQTVPicture row = Picture(1, 7);
    for (int32_t c = 0; c < 7; ++c) row.Data[0][c] = -1.0f - c;
    FFTView(row, false, false);
    EXPECT_EQ(row.Data[0][0], 1.0f);
    EXPECT_EQ(row.Data[0][6], -7.0f);
    TQTVPicture empty;
    FFTView(empty, true, true);
    EXPECT_EQ(FFTViewBits(0, 5), -1);
    EXPECT_EQ(FFTViewBits(2053, 2053), 11);
}
