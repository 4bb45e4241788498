// The image record: allocation, value range, default palette and rendering.
#include "core/Picture.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <utility>
#if defined(__x86_64__) || defined(__SSE2__)
#include <immintrin.h>
#endif

#include "core/Messages.h"

// ------------------------------------------------------------------ inner loops
//
// The value range and the mapping to palette indices are the two passes over every
// sample of a render; both run four or eight samples at a time where the processor
// allows. Every path computes exactly the same result.

namespace {

// The passes over a large image wait on memory more than they compute. Each asks for
// the samples two pages ahead of where it reads: the processor's own prefetching
// does not look beyond the page it is in. (A prefetch never faults, not even past
// the end of the block.)
constexpr uintptr_t PrefetchAhead = 8192;  // bytes

inline void PrefetchAheadOf(const float* p)
{
    __builtin_prefetch(reinterpret_cast<const void*>(reinterpret_cast<uintptr_t>(p) + PrefetchAhead));
}

void MinMaxScalar(const float* p, size_t n, float& mn, float& mx)
{
    for (size_t i = 0; i < n; ++i) {
        const float v = p[i];
        mn = v < mn ? v : mn;  // not-a-number samples compare false and are skipped
        mx = v > mx ? v : mx;
    }
}

// One sample: (v - Min) is exact in double for any two floats of sensible magnitude;
// then one multiply and one rounding, half to even (the default rounding mode).
inline uint8_t IndexOf(float v, double mn, double f)
{
    double x = (static_cast<double>(v) - mn) * f;
    x = x > 0.0 ? x : 0.0;  // also not-a-number samples
    x = x < 255.0 ? x : 255.0;
    return static_cast<uint8_t>(std::nearbyint(x));
}

#if defined(__SSE2__)
void MinMaxSSE2(const float* p, size_t n, float& mn, float& mx)
{
    // minps/maxps keep their second operand when the first is not a number
    __m128 mn0 = _mm_set1_ps(mn), mn1 = mn0, mx0 = _mm_set1_ps(mx), mx1 = mx0;
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m128 a = _mm_loadu_ps(p + i), b = _mm_loadu_ps(p + i + 4);
        mn0 = _mm_min_ps(a, mn0);
        mx0 = _mm_max_ps(a, mx0);
        mn1 = _mm_min_ps(b, mn1);
        mx1 = _mm_max_ps(b, mx1);
    }
    alignas(16) float l[16];
    _mm_store_ps(l, mn0);
    _mm_store_ps(l + 4, mn1);
    _mm_store_ps(l + 8, mx0);
    _mm_store_ps(l + 12, mx1);
    for (int k = 0; k < 8; ++k) {
        mn = l[k] < mn ? l[k] : mn;
        mx = l[8 + k] > mx ? l[8 + k] : mx;
    }
    MinMaxScalar(p + i, n - i, mn, mx);
}

void RenderRowSSE2(const float* s, uint8_t* d, size_t cols, double mn, double f)
{
    const __m128d vmn = _mm_set1_pd(mn), vf = _mm_set1_pd(f);
    const __m128d lo = _mm_setzero_pd(), hi = _mm_set1_pd(255.0);
    auto four = [&](const float* q) {
        const __m128 v = _mm_loadu_ps(q);
        __m128d a = _mm_mul_pd(_mm_sub_pd(_mm_cvtps_pd(v), vmn), vf);
        __m128d b = _mm_mul_pd(_mm_sub_pd(_mm_cvtps_pd(_mm_movehl_ps(v, v)), vmn), vf);
        // maxpd keeps its second operand for not-a-number: such samples give 0
        a = _mm_min_pd(_mm_max_pd(a, lo), hi);
        b = _mm_min_pd(_mm_max_pd(b, lo), hi);
        return _mm_unpacklo_epi64(_mm_cvtpd_epi32(a), _mm_cvtpd_epi32(b));
    };
    size_t c = 0;
    for (; c + 16 <= cols; c += 16) {
        const __m128i w0 = _mm_packs_epi32(four(s + c), four(s + c + 4));
        const __m128i w1 = _mm_packs_epi32(four(s + c + 8), four(s + c + 12));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + c), _mm_packus_epi16(w0, w1));
    }
    for (; c < cols; ++c) d[c] = IndexOf(s[c], mn, f);
}
#endif

#if defined(__x86_64__) && defined(__GNUC__)
#define MORVANE_HAVE_AVX2 1
// Four running minima and maxima: one chain would wait on the latency of each
// comparison.
__attribute__((target("avx2"))) void MinMaxAVX2(const float* p, size_t n, float& mn, float& mx)
{
    __m256 mn0 = _mm256_set1_ps(mn), mn1 = mn0, mn2 = mn0, mn3 = mn0;
    __m256 mx0 = _mm256_set1_ps(mx), mx1 = mx0, mx2 = mx0, mx3 = mx0;
    size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        PrefetchAheadOf(p + i);
        PrefetchAheadOf(p + i + 16);
        const __m256 a = _mm256_loadu_ps(p + i), b = _mm256_loadu_ps(p + i + 8);
        const __m256 c = _mm256_loadu_ps(p + i + 16), d = _mm256_loadu_ps(p + i + 24);
        mn0 = _mm256_min_ps(a, mn0);
        mx0 = _mm256_max_ps(a, mx0);
        mn1 = _mm256_min_ps(b, mn1);
        mx1 = _mm256_max_ps(b, mx1);
        mn2 = _mm256_min_ps(c, mn2);
        mx2 = _mm256_max_ps(c, mx2);
        mn3 = _mm256_min_ps(d, mn3);
        mx3 = _mm256_max_ps(d, mx3);
    }
    // (minps keeps its second operand on a tie such as -0 and +0: the first chain wins)
    mn0 = _mm256_min_ps(_mm256_min_ps(mn3, mn2), _mm256_min_ps(mn1, mn0));
    mx0 = _mm256_max_ps(_mm256_max_ps(mx3, mx2), _mm256_max_ps(mx1, mx0));
    alignas(32) float l[16];
    _mm256_store_ps(l, mn0);
    _mm256_store_ps(l + 8, mx0);
    for (int k = 0; k < 8; ++k) {
        mn = l[k] < mn ? l[k] : mn;
        mx = l[8 + k] > mx ? l[8 + k] : mx;
    }
    MinMaxScalar(p + i, n - i, mn, mx);
}

__attribute__((target("avx2"))) inline __m128i FourAVX2(const float* q, __m256d vmn, __m256d vf)
{
    const __m256d lo = _mm256_setzero_pd(), hi = _mm256_set1_pd(255.0);
    __m256d a = _mm256_mul_pd(_mm256_sub_pd(_mm256_cvtps_pd(_mm_loadu_ps(q)), vmn), vf);
    a = _mm256_min_pd(_mm256_max_pd(a, lo), hi);  // not-a-number gives 0, as above
    return _mm256_cvtpd_epi32(a);
}

// The mapping in double precision, as IndexOf does it.
__attribute__((target("avx2"))) void RenderExactAVX2(const float* s, uint8_t* d, size_t cols, double mn, double f)
{
    const __m256d vmn = _mm256_set1_pd(mn), vf = _mm256_set1_pd(f);
    size_t c = 0;
    for (; c + 16 <= cols; c += 16) {
        const __m128i w0 = _mm_packs_epi32(FourAVX2(s + c, vmn, vf), FourAVX2(s + c + 4, vmn, vf));
        const __m128i w1 = _mm_packs_epi32(FourAVX2(s + c + 8, vmn, vf), FourAVX2(s + c + 12, vmn, vf));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + c), _mm_packus_epi16(w0, w1));
    }
    for (; c < cols; ++c) d[c] = IndexOf(s[c], mn, f);
}

// Eight samples in single precision, for a range Min < Max. Every sample is first
// limited to [Min, Max]: the mapping only ever grows with the sample, Min gives 0 and
// Max 255, so nothing changes by that (not-a-number becomes Min and gives 0, as it
// should), and the difference can no longer leave the float range. The two float
// roundings (difference, product) then put the result within a relative 2^-23 of the
// exact one, and the double way within 2^-52: for results up to 255 (and a hair) the
// two lie less than 3.1e-5 apart. Wherever the float result is farther than 2^-14
// (6.1e-5) from a rounding midpoint k + 0.5, both round to the same index. The
// largest distance of a lane from its index goes to off: nearer a midpoint (about one
// sample in ten thousand), the double way decides.
__attribute__((target("avx2"))) inline __m256i EightAVX2(const float* q, __m256 vmn, __m256 vmx, __m256 vf,
                                                       __m256& off)
{
    const __m256 v = _mm256_min_ps(_mm256_max_ps(_mm256_loadu_ps(q), vmn), vmx);  // maxps: NaN gives Min
    const __m256 x = _mm256_mul_ps(_mm256_sub_ps(v, vmn), vf);                     // 0 .. 255 and a hair
    const __m256i idx = _mm256_cvtps_epi32(x);                                     // half to even
    const __m256 d = _mm256_sub_ps(x, _mm256_cvtepi32_ps(idx));                    // exact
    off = _mm256_max_ps(off, _mm256_andnot_ps(_mm256_set1_ps(-0.0f), d));
    return idx;
}

__attribute__((target("avx2"))) void RenderRowAVX2(const float* s, uint8_t* d, size_t cols, float minValue,
                                                  float maxValue, float factor)
{
    const __m256 vmn = _mm256_set1_ps(minValue), vmx = _mm256_set1_ps(maxValue), vf = _mm256_set1_ps(factor);
    const __m256 limit = _mm256_set1_ps(0.5f - 0x1p-14f);
    // packs and packus interleave the 128-bit halves; this puts the groups of four back
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    size_t c = 0;
    for (; c + 32 <= cols; c += 32) {
        PrefetchAheadOf(s + c);
        PrefetchAheadOf(s + c + 16);
        __m256 off = _mm256_setzero_ps();
        const __m256i i0 = EightAVX2(s + c, vmn, vmx, vf, off), i1 = EightAVX2(s + c + 8, vmn, vmx, vf, off);
        const __m256i i2 = EightAVX2(s + c + 16, vmn, vmx, vf, off), i3 = EightAVX2(s + c + 24, vmn, vmx, vf, off);
        if (_mm256_movemask_ps(_mm256_cmp_ps(off, limit, _CMP_GE_OQ)) != 0) {
            RenderExactAVX2(s + c, d + c, 32, minValue, factor);
            continue;
        }
        const __m256i b = _mm256_packus_epi16(_mm256_packs_epi32(i0, i1), _mm256_packs_epi32(i2, i3));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + c), _mm256_permutevar8x32_epi32(b, order));
    }
    RenderExactAVX2(s + c, d + c, cols - c, minValue, factor);
}

bool HaveAVX2()
{
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}
#endif

void MinMaxRun(const float* p, size_t n, float& mn, float& mx)
{
#if defined(MORVANE_HAVE_AVX2)
    if (HaveAVX2()) return MinMaxAVX2(p, n, mn, mx);
#endif
#if defined(__SSE2__)
    MinMaxSSE2(p, n, mn, mx);
#else
    MinMaxScalar(p, n, mn, mx);
#endif
}

// Sample row r goes to bitmap line rows - 1 - r: row 0 is the bottom line.
void RenderRun(const float* src, uint8_t* bmp, int32_t rows, size_t cols, float minValue, float maxValue,
               float factor)
{
    const double mn = minValue, f = factor;
#if defined(MORVANE_HAVE_AVX2)
    // The single-precision way needs an ordinary range: finite, Min below Max, their
    // difference within the float range, and Max mapped to 255 (which the factor
    // 255 / (Max - Min) always gives; checked, as the argument below rests on it).
    // Anything else, a fixed range set upside down for one, goes the double way.
    const bool ordinary = HaveAVX2() && std::isfinite(minValue) && std::isfinite(maxValue) && minValue < maxValue &&
                          std::isfinite(maxValue - minValue) && std::isfinite(factor) && factor > 0.0f &&
                          IndexOf(maxValue, mn, f) == 255;
#endif
    for (int32_t r = 0; r < rows; ++r) {
        const float* s = src + static_cast<size_t>(r) * cols;
        uint8_t* d = bmp + static_cast<size_t>(rows - 1 - r) * cols;
#if defined(MORVANE_HAVE_AVX2)
        if (ordinary) {
            RenderRowAVX2(s, d, cols, minValue, maxValue, factor);
            continue;
        }
        if (HaveAVX2()) {
            RenderExactAVX2(s, d, cols, mn, f);
            continue;
        }
#endif
#if defined(__SSE2__)
        RenderRowSSE2(s, d, cols, mn, f);
#else
        for (size_t c = 0; c < cols; ++c) d[c] = IndexOf(s[c], mn, f);
#endif
    }
}

}  // namespace

// ------------------------------------------------------------------ marks

void TMarks::Resize(int32_t cols, int32_t rows, int32_t value)
{
    if (cols < 0 || rows < 0 || cols > MaxPixels || rows > MaxPixels) throw ERangeError();
    cols_ = cols;
    rows_ = rows;
    fill_ = value;
    std::vector<int32_t>().swap(cells_);
}

void TMarks::Fill(int32_t value)
{
    fill_ = value;
    std::vector<int32_t>().swap(cells_);  // one value everywhere again
}

// ------------------------------------------------------------------ row table

void WidenRange(const float* p, size_t n, float& mn, float& mx)
{
    MinMaxRun(p, n, mn, mx);
}

void TRowTable::Reset()
{
    block_.reset();
    uncleared_ = false;
    rangeKnown_ = false;
    count_ = 0;
    cols_ = 0;
    std::vector<float*>().swap(rows_);
}

bool TRowTable::Allocate(int32_t cols, int32_t rows)
{
    Reset();
    const size_t n = static_cast<size_t>(cols) * static_cast<size_t>(rows);
    if (n == 0) return true;  // a record without samples
    try {
        rows_.assign(static_cast<size_t>(rows), nullptr);
    } catch (const std::bad_alloc&) {
        Reset();
        return false;
    }
    // Not cleared here: the first look at the samples does that, unless a reader
    // overwrites them all first.
    block_.reset(static_cast<float*>(AllocateLarge((n + 1) * sizeof(float))));
    if (!block_) {
        Reset();
        return false;
    }
    uncleared_ = true;
    count_ = n;
    cols_ = cols;
    for (int32_t r = 0; r < rows; ++r)
        rows_[static_cast<size_t>(r)] = block_.get() + static_cast<size_t>(r) * static_cast<size_t>(cols);
    return true;
}

namespace {
std::mutex ClearingBlock;  // rare: a block's first look only
}

void TRowTable::ClearBlock() const
{
    std::lock_guard lock(ClearingBlock);
    if (!uncleared_.load(std::memory_order_relaxed)) return;  // another thread was first
    if (block_) std::memset(block_.get(), 0, (count_ + 1) * sizeof(float));
    uncleared_.store(false, std::memory_order_release);
}

TRowTable::TRowTable(TRowTable&& other) noexcept
{
    *this = std::move(other);
}

TRowTable& TRowTable::operator=(TRowTable&& other) noexcept
{
    if (this == &other) return *this;
    block_ = std::move(other.block_);
    count_ = other.count_;
    cols_ = other.cols_;
    rows_ = std::move(other.rows_);
    uncleared_.store(other.uncleared_.load());
    rangeKnown_.store(other.rangeKnown_.load());
    knownMin_ = other.knownMin_;
    knownMax_ = other.knownMax_;
    other.Reset();  // an empty grid, not one that would clear a block it no longer has
    return *this;
}

float* TRowTable::BlockToOverwrite(int32_t cols, int32_t rows)
{
    if (!block_ || cols != cols_ || rows != size()) return nullptr;
    rangeKnown_ = false;
    if (uncleared_) {
        block_[count_] = 0.0f;  // the spare sample is nobody's to write
        uncleared_ = false;
    }
    return block_.get();
}

void TRowTable::SetKnownRange(float mn, float mx)
{
    if (!block_) return;
    rangeKnown_ = true;
    knownMin_ = mn;
    knownMax_ = mx;
}

TRowTable::TRowTable(const TRowTable& other)
{
    *this = other;
}

TRowTable& TRowTable::operator=(const TRowTable& other)
{
    if (this == &other) return *this;
    if (!Allocate(other.cols_, other.size()) ) throw std::bad_alloc();
    // A block nobody has looked at yet is all zero: the copy stays uncleared as well.
    if (count_ > 0 && !other.uncleared_) std::memcpy(BlockToOverwrite(cols_, size()), other.block_.get(), count_ * sizeof(float));
    if (other.rangeKnown_) SetKnownRange(other.knownMin_, other.knownMax_);
    return *this;
}

// ------------------------------------------------------------------ record

namespace {
// n zero indices; a bitmap of a large image gets its memory with large pages advised.
void ZeroBitmap(std::vector<uint8_t>& bitmap, size_t n)
{
    if (bitmap.capacity() < n && n >= (size_t{4} << 20)) {
        std::vector<uint8_t> fresh;
        fresh.reserve(n);
        AdviseLargePages(fresh.data(), n);
        bitmap.swap(fresh);
    }
    bitmap.assign(n, 0);
}
}  // namespace

TQTVPicture::TQTVPicture()
{
    MakeDefaultPalette();
}

void TQTVPicture::Clear()
{
    Data.Reset();
    std::vector<uint8_t>().swap(Bitmap);
    BitmapWidth = 0;
    BitmapHeight = 0;
}

void TQTVPicture::SetSize(int32_t cols, int32_t rows)
{
    // The old grid goes first: its contents are lost in any case.
    Data.Reset();

    if (cols < 0 || rows < 0) {
        ShowMessage("Picture too small!", TMsgKind::Information, TMsgButtons::OK);
        return;
    }
    // Indices run 0..2052; anything larger can never be addressed. Refuse before
    // allocating so that a hostile size costs nothing.
    if (cols > MaxPixels || rows > MaxPixels) throw ERangeError();

    if (!Data.Allocate(cols, rows)) {
        ShowMessage("Can\xB4t get memory!", TMsgKind::Information, TMsgButtons::OK);
        return;
    }

    ZeroBitmap(Bitmap, static_cast<size_t>(cols) * static_cast<size_t>(rows));
    BitmapWidth = cols;
    BitmapHeight = rows;

    Rows = rows;
    Para.YPixel = rows;
    Cols = cols;
    Para.XPixel = cols;
    Transformed = false;

    Marks.Resize(cols, rows, 1);
}

void TQTVPicture::UpdateMinMax()
{
    if (Data.empty()) return;
    SampleRange(Min, Max);
}

void TQTVPicture::SampleRange(float& outMin, float& outMax) const
{
    // The grid's own size counts, whatever Rows and Cols say.
    if (Data.empty()) return;
    const float* p = Data.Block();  // reading leaves a known range known
    const size_t n = Data.count_;
    float lo, hi;
    if (Data.rangeKnown_) {
        const bool any = Data.knownMin_ <= Data.knownMax_;
        lo = any ? Data.knownMin_ : 0.0f;
        hi = any ? Data.knownMax_ : 0.0f;
    } else {
        // Not-a-number samples (0/0 of the arithmetic) take no part in the range.
        size_t i = 0;
        while (i < n && std::isnan(p[i])) ++i;
        if (i == n) {
            outMin = 0.0f;
            outMax = 0.0f;
            return;
        }
        lo = hi = p[i];
        MinMaxRun(p + i, n - i, lo, hi);
    }
    if (!std::isfinite(lo) || !std::isfinite(hi)) {
        // Infinities (x/0 of the arithmetic) take no part either: one of them would squeeze
        // every finite sample into one colour. They render at the ends of the palette.
        bool any = false;
        lo = hi = 0.0f;
        for (size_t k = 0; k < n; ++k) {
            const float v = p[k];
            if (!std::isfinite(v)) continue;
            if (!any) {
                lo = hi = v;
                any = true;
            } else {
                lo = v < lo ? v : lo;
                hi = v > hi ? v : hi;
            }
        }
    }
    outMin = lo;
    outMax = hi;
}

void TQTVPicture::MakeDefaultPalette()
{
    // worked out once: every record starts with it
    static const decltype(Palette) ramp = [] {
        decltype(Palette) p = {};
        p.Version = 0x300;
        p.NumEntries = 256;
        auto byteOf = [](long double x) {
            long long t = static_cast<long long>(std::trunc(x));
            return static_cast<uint8_t>(((t % 256) + 256) % 256);
        };
        for (int k = 0; k < 256; ++k) {
            const long double i = k;
            TPaletteEntry& e = p.Entries[static_cast<size_t>(k)];
            e.Blue = static_cast<uint8_t>(byteOf(4.0L * std::trunc(4.457e-4L * i * i + 6.0L)));
            e.Green = byteOf(4.0L * (-7.1e-6L * i * i * i + 0.0026L * i * i + 0.042L * i));
            if (k < 56)
                e.Red = byteOf(4.0L * (0.65954L * i + 3.0L));
            else if (k < 165)
                e.Red = byteOf(4.0L * (0.5027L * i + 16.6L - 0.001526L * i * i));
            else
                e.Red = byteOf(4.0L * (0.0039216L * i + 58.0L));
            e.Flags = 1;
        }
        return p;
    }();
    Palette = ramp;
}

namespace {

float RenderFactor(float mn, float mx)
{
    return mx == mn ? 1.0f : static_cast<float>(255.0L / (static_cast<long double>(mx) - static_cast<long double>(mn)));
}

}  // namespace

void TQTVPicture::Render()
{
    if (Data.empty()) return;
    SetRenderRange();

    const int32_t rows = Data.size();
    const size_t cols = static_cast<size_t>(Data.cols_);
    if (Bitmap.size() != Data.count_) ZeroBitmap(Bitmap, Data.count_);
    BitmapWidth = Data.cols_;
    BitmapHeight = rows;

    RenderRun(std::as_const(Data).Block(), Bitmap.data(), rows, cols, Min, Max, Factor);
}

void TQTVPicture::RenderSampled(const std::vector<size_t>& rows, const std::vector<size_t>& cols, uint8_t* out) const
{
    if (Data.empty() || rows.empty() || cols.empty()) return;
    float mn = Min, mx = Max;
    if (FixedRange <= 0) SampleRange(mn, mx);
    // the picked samples as a small grid of their own, its rows stored bottom-up as the
    // bitmap's are, so that rendering it puts rows[0] on the first line out
    for (const size_t c : cols)
        if (c >= static_cast<size_t>(Data.cols_)) throw ERangeError();
    std::vector<float> picked(rows.size() * cols.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i] >= static_cast<size_t>(Data.size())) throw ERangeError();
        const float* src = Data[static_cast<int32_t>(rows[i])];
        float* dst = picked.data() + (rows.size() - 1 - i) * cols.size();
        for (size_t j = 0; j < cols.size(); ++j) dst[j] = src[cols[j]];
    }
    RenderRun(picked.data(), out, static_cast<int32_t>(rows.size()), cols.size(), mn, mx, RenderFactor(mn, mx));
}

void TQTVPicture::SetRenderRange()
{
    if (FixedRange <= 0) UpdateMinMax();
    Factor = RenderFactor(Min, Max);
}

void TQTVPicture::UpdateRange()
{
    if (Data.empty()) return;
    SetRenderRange();
    Bitmap.clear();
    BitmapWidth = 0;
    BitmapHeight = 0;
}

uint32_t TQTVPicture::PaletteColor(int i) const
{
    if (i < 0 || i > 255) throw ERangeError();
    const TPaletteEntry& e = Palette.Entries[static_cast<size_t>(i)];
    return 0xFF000000u | (uint32_t(e.Red) << 16) | (uint32_t(e.Green) << 8) | uint32_t(e.Blue);
}

std::vector<uint32_t> TQTVPicture::RenderMarked()
{
    Render();
    std::vector<uint32_t> out;
    if (Data.empty()) return out;
    uint32_t lut[256];
    for (int i = 0; i < 256; ++i) lut[i] = PaletteColor(i);
    const int32_t rows = Data.size();
    const size_t cols = static_cast<size_t>(Data.cols_);
    out.resize(Data.count_);
    for (size_t k = 0; k < out.size(); ++k) out[k] = lut[Bitmap[k]];
    const int32_t mc = std::min(Data.cols_, Marks.Cols());
    const int32_t mr = std::min(rows, Marks.Rows());
    for (int32_t r = 0; r < mr; ++r) {
        uint32_t* line = out.data() + static_cast<size_t>(rows - 1 - r) * cols;
        for (int32_t c = 0; c < mc; ++c)
            if (Marks[c][r] > 0) line[c] = 0xFF000000u | (line[c] & 0x0000FF00u);
    }
    return out;
}

float& TQTVPicture::At(int32_t r, int32_t c)
{
    if (c < 0 || c >= Data.cols_) throw ERangeError();
    return Data[r][c];
}

float TQTVPicture::At(int32_t r, int32_t c) const
{
    if (c < 0 || c >= Data.cols_) throw ERangeError();
    return Data[r][c];
}

void TQTVPicture::CopySamplesFrom(const TQTVPicture& src)
{
    if (&src == this) return;
    SetSize(src.Cols, src.Rows);
    Para = src.Para;
    Min = src.Min;
    Max = src.Max;
    const size_t n = std::min(Data.count_, src.Data.count_);
    if (n == 0) return;
    const float* from = src.Data.Block();
    std::memcpy(n == Data.count_ ? Data.BlockToOverwrite(Data.cols_, Data.size()) : Data.Block(), from, n * sizeof(float));
}
