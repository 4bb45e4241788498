// The sample block of the image record: fresh grids read as zero however they are
// first looked at, writers that fill the whole block, the range such a writer leaves,
// and the mapping of long rows to palette indices.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <random>
#include <utility>
#include <vector>

#include "core/LargeMemory.h"
#include "core/Picture.h"

namespace {

constexpr float Inf = std::numeric_limits<float>::infinity();
const float NaN = std::numeric_limits<float>::quiet_NaN();

// Fills every sample with a value that is not zero.
void Dirty(TQTVPicture& p)
{
    for (int r = 0; r < p.Rows; ++r)
        for (int c = 0; c < p.Cols; ++c) p.Data[r][c] = 7.25f + static_cast<float>(r - c);
}

bool AllZero(const float* s, size_t n)
{
    return std::all_of(s, s + n, [](float v) { return v == 0.0f; });
}

// The palette index of one sample, computed sample by sample: (v - Min) * Factor in
// double, limited to 0..255, rounded half to even; not-a-number gives 0.
int Expected(float v, float mn, float factor)
{
    const double x = (static_cast<double>(v) - mn) * static_cast<double>(factor);
    if (std::isnan(x)) return 0;
    return static_cast<int>(std::nearbyint(std::clamp(x, 0.0, 255.0)));
}

int IndexAt(const TQTVPicture& p, int r, int c)
{
    return p.Bitmap[static_cast<size_t>(p.Rows - 1 - r) * static_cast<size_t>(p.Cols) + static_cast<size_t>(c)];
}

TEST(PictureBlock, ResizedGridReadsZeroHoweverItIsFirstLookedAt)
{
    // Large enough that the allocator hands back the block just given up; the second
    // shape takes the large-page path.
    for (const auto& [cols, rows] : {std::pair{517, 301}, std::pair{2053, 700}})
    for (int way = 0; way < 7; ++way) {
        const size_t n = static_cast<size_t>(cols) * rows;
        TQTVPicture p;
        p.SetSize(cols, rows);
        Dirty(p);
        p.SetSize(cols, rows);
        const TQTVPicture& cp = p;
        switch (way) {
        case 0: EXPECT_TRUE(AllZero(p.Data.Block(), n)); break;
        case 1: EXPECT_TRUE(AllZero(cp.Data.Block(), n)); break;
        case 2: EXPECT_TRUE(AllZero(cp.Data[rows - 1], static_cast<size_t>(cols))); break;
        case 3: EXPECT_EQ(p.At(150, 300), 0.0f); break;
        case 4: {
            const TRowTable copy = p.Data;
            EXPECT_TRUE(AllZero(copy.Block(), n));
            break;
        }
        case 5: {
            TQTVPicture q;
            q.CopySamplesFrom(p);
            EXPECT_TRUE(AllZero(q.Data.Block(), n));
            break;
        }
        default:
            p.Render();
            EXPECT_EQ(p.Min, 0.0f);
            EXPECT_EQ(p.Max, 0.0f);
            EXPECT_TRUE(std::all_of(p.Bitmap.begin(), p.Bitmap.end(), [](uint8_t b) { return b == 0; }));
            break;
        }
        EXPECT_TRUE(AllZero(p.Data.Block(), n)) << "way " << way << " " << cols;
    }
}

TEST(LargeMemory, BlocksHoldEveryByteAlignedForAnyType)
{
    constexpr size_t MiB = size_t{1} << 20;
    for (size_t bytes : {size_t{0}, size_t{1}, size_t{63}, size_t{64}, 4 * MiB - 1, 4 * MiB, 4 * MiB + 4099, 9 * MiB + 1}) {
        auto* p = static_cast<unsigned char*>(AllocateLarge(bytes));
        ASSERT_NE(p, nullptr) << bytes;
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % alignof(std::max_align_t), 0u) << bytes;
        std::fill(p, p + bytes, static_cast<unsigned char>(0xA5));
        EXPECT_TRUE(bytes == 0 || (p[0] == 0xA5 && p[bytes - 1] == 0xA5));
        std::free(p);
    }
}

TEST(PictureBlock, CopiesTakeTheSamplesWrittenThroughAnyAccess)
{
    TQTVPicture p;
    p.SetSize(40, 3);
    float* b = p.Data.BlockToOverwrite(40, 3);
    ASSERT_NE(b, nullptr);
    for (int i = 0; i < 120; ++i) b[i] = static_cast<float>(i) - 60.5f;
    TQTVPicture q;
    q.CopySamplesFrom(p);
    const TRowTable t = p.Data;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 40; ++c) {
            EXPECT_EQ(q.Data[r][c], static_cast<float>(r * 40 + c) - 60.5f);
            EXPECT_EQ(t[r][c], p.Data[r][c]);
        }
    // A copy of a copy that was never looked at reads zero, like its source.
    TQTVPicture fresh;
    fresh.SetSize(40, 3);
    TRowTable a = fresh.Data;
    TRowTable c = a;
    EXPECT_TRUE(AllZero(c.Block(), 120));
}

TEST(PictureBlock, BlockToOverwriteOnlyForTheGridsOwnSize)
{
    TQTVPicture p;
    EXPECT_EQ(p.Data.BlockToOverwrite(0, 0), nullptr);  // no grid
    p.SetSize(6, 4);
    EXPECT_EQ(p.Data.BlockToOverwrite(4, 6), nullptr);
    EXPECT_EQ(p.Data.BlockToOverwrite(6, 5), nullptr);
    EXPECT_EQ(p.Data.BlockToOverwrite(7, 4), nullptr);
    float* b = p.Data.BlockToOverwrite(6, 4);
    ASSERT_EQ(b, p.Data.Block());
    p.SetSize(0, 0);
    EXPECT_EQ(p.Data.BlockToOverwrite(0, 0), nullptr);  // a record without samples
}

TEST(PictureBlock, WidenRangeLeavesOutNotANumberWhereverTheExtremesAre)
{
    for (size_t n : {0u, 1u, 7u, 31u, 32u, 33u, 64u, 100u}) {
        for (size_t at = 0; at < n; ++at) {
            std::vector<float> v(n);
            for (size_t i = 0; i < n; ++i) v[i] = (i % 3 == 1) ? NaN : static_cast<float>(i % 5);
            v[at] = -3.0f;
            v[n - 1 - at] = 9.0f;  // may overwrite the minimum: then -3 is gone
            float mn = Inf, mx = -Inf;
            WidenRange(v.data(), n, mn, mx);
            float wantMin = Inf, wantMax = -Inf;
            for (float x : v)
                if (!std::isnan(x)) wantMin = std::min(wantMin, x), wantMax = std::max(wantMax, x);
            EXPECT_EQ(mn, wantMin) << n << " " << at;
            EXPECT_EQ(mx, wantMax) << n << " " << at;
        }
    }
    std::vector<float> nans(45, NaN);
    float mn = Inf, mx = -Inf;
    WidenRange(nans.data(), nans.size(), mn, mx);
    EXPECT_EQ(mn, Inf);
    EXPECT_EQ(mx, -Inf);
}

// A writer that fills the block and leaves the range it met.
void FillWithRange(TQTVPicture& p, const std::vector<float>& v)
{
    float* b = p.Data.BlockToOverwrite(p.Cols, p.Rows);
    ASSERT_NE(b, nullptr);
    std::copy(v.begin(), v.end(), b);
    float mn = Inf, mx = -Inf;
    WidenRange(b, v.size(), mn, mx);
    p.Data.SetKnownRange(mn, mx);
}

TEST(PictureBlock, AKnownRangeHoldsUntilTheSamplesMayChange)
{
    TQTVPicture p;
    p.SetSize(3, 2);
    FillWithRange(p, {1, 2, 3, 4, NaN, 6});
    p.Render();
    EXPECT_EQ(p.Min, 1.0f);
    EXPECT_EQ(p.Max, 6.0f);
    const TQTVPicture& cp = p;
    EXPECT_EQ(cp.Data[1][2], 6.0f);  // reading changes nothing
    p.Render();
    EXPECT_EQ(p.Max, 6.0f);

    // Every writable access makes the next render look at the samples again.
    p.Data[0][0] = -10.0f;
    p.Render();
    EXPECT_EQ(p.Min, -10.0f);

    FillWithRange(p, {1, 2, 3, 4, 5, 6});
    p.Data.Block()[5] = 60.0f;
    p.Render();
    EXPECT_EQ(p.Max, 60.0f);

    FillWithRange(p, {1, 2, 3, 4, 5, 6});
    p.At(1, 1) = 0.5f;
    p.Render();
    EXPECT_EQ(p.Min, 0.5f);

    // A copy has the same samples and so the same range.
    FillWithRange(p, {1, 2, 3, 4, 5, 6});
    TQTVPicture q;
    q.SetSize(3, 2);
    q.Data = p.Data;
    q.Render();
    EXPECT_EQ(q.Min, 1.0f);
    EXPECT_EQ(q.Max, 6.0f);

    // Nothing but not-a-number: as without a known range.
    FillWithRange(p, {NaN, NaN, NaN, NaN, NaN, NaN});
    p.Min = 3.0f;
    p.Render();
    EXPECT_EQ(p.Min, 0.0f);
    EXPECT_EQ(p.Max, 0.0f);

    // A new grid forgets it.
    FillWithRange(p, {1, 2, 3, 4, 5, 6});
    p.SetSize(3, 2);
    p.Render();
    EXPECT_EQ(p.Max, 0.0f);
}

// Samples spread over the range, many of them right next to the values that map to
// a rounding midpoint k + 0.5, with not-a-number and infinite ones among them.
std::vector<float> AwkwardSamples(size_t n, float lo, float hi, uint64_t seed)
{
    std::mt19937_64 g(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<float> v(n);
    for (auto& x : v) {
        const int kind = static_cast<int>(g() % 100);
        if (kind == 0) {
            x = NaN;
        } else if (kind == 1) {
            x = (g() & 1) ? Inf : -Inf;
        } else if (kind < 40) {
            const double mid = (std::floor(u(g) * 255.0) + 0.5) / 255.0;
            x = static_cast<float>(lo + (static_cast<double>(hi) - lo) * mid);
            for (int s = static_cast<int>(g() % 7) - 3; s != 0; s += s > 0 ? -1 : 1)
                x = std::nextafter(x, s > 0 ? Inf : -Inf);
        } else if (kind < 45) {
            x = static_cast<float>(lo + (static_cast<double>(hi) - lo) * (3.0 * u(g) - 1.0));  // outside too
        } else {
            x = static_cast<float>(lo + (static_cast<double>(hi) - lo) * u(g));
        }
    }
    return v;
}

TEST(PictureRender, LongRowsMatchTheSampleBySampleMapping)
{
    struct TCase {
        float lo, hi;
        bool fixed;
    };
    const TCase cases[] = {
        {-1.0f, 1.0f, false},    {0.0f, 255.0f, true},     {-5.0f, 5.0f, true},      {1000.0f, 1000.01f, true},
        {1e-30f, 3e-30f, true},  {-1e20f, 1e-20f, true},   {12345.0f, 99999.0f, true}, {-3e38f, 3e38f, true},
        {-2e38f, 1e38f, true},   {5.0f, -5.0f, true},      {2.0f, 2.0f, true},       {-1.0f, 1.0f, true},
    };
    uint64_t seed = 1;
    for (const TCase& k : cases) {
        for (int cols : {32, 97, 200}) {
            TQTVPicture p;
            p.SetSize(cols, 40);
            const auto v = AwkwardSamples(static_cast<size_t>(cols) * 40, k.lo, k.hi, seed++);
            std::copy(v.begin(), v.end(), p.Data.Block());
            if (k.fixed) {
                p.FixedRange = 1;
                p.Min = k.lo;
                p.Max = k.hi;
            }
            p.Render();
            for (int r = 0; r < 40; ++r)
                for (int c = 0; c < cols; ++c)
                    ASSERT_EQ(IndexAt(p, r, c), Expected(p.Data[r][c], p.Min, p.Factor))
                        << "range " << k.lo << ".." << k.hi << " width " << cols << " sample " << p.Data[r][c];
        }
    }
}

}  // namespace
