// Neighbourhood filters: the kernel table, the kernel filter, bad-point removal and
// the median and mean filters.
//
// Every filter has a plain per-sample path that states the arithmetic, and a row
// path that does the same arithmetic on eight (AVX2) or four (SSE2) neighbouring
// samples at once. Lane-wise float multiplies, adds and divides round exactly like
// the scalar ones, and the sums keep their order, so both paths give the same bits.
// (This file is built without contraction of multiply and add.)
#include "processing/Kernels.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "core/Errors.h"
#include "core/LargeMemory.h"
#include "core/Threads.h"

#pragma GCC diagnostic ignored "-Wpsabi"

namespace {

// ------------------------------------------------------------------ kernel table

struct TKernel {
    const char* Name;
    int Num[9];  // row-major K[0][0], K[0][1], ..., K[2][2]
    int Den[9];
};

const TKernel Kernels[15] = {
    {"LowPass", {0, 1, 0, 1, 1, 1, 0, 1, 0}, {1, 8, 1, 8, 2, 8, 1, 8, 1}},
    {"HighPass 1", {-1, -1, -1, -1, 9, -1, -1, -1, -1}, {1, 1, 1, 1, 1, 1, 1, 1, 1}},
    {"HighPass 2", {0, -1, 0, -1, 2, -1, 0, -1, 0}, {1, 4, 1, 4, 1, 4, 1, 4, 1}},
    {"HighPass 3", {-1, -1, -1, -1, 8, -1, -1, -1, -1}, {9, 9, 9, 9, 9, 9, 9, 9, 9}},
    {"Laplace 1", {-1, -1, -1, -1, 8, -1, -1, -1, -1}, {1, 1, 1, 1, 1, 1, 1, 1, 1}},
    {"Laplace 2", {0, -1, 0, -1, 4, -1, 0, -1, 0}, {1, 1, 1, 1, 1, 1, 1, 1, 1}},
    {"Laplace 3", {-2, 1, -2, 1, 4, 1, -2, 1, -2}, {1, 1, 1, 1, 1, 1, 1, 1, 1}},
    {"Solarization left", {0, 0, 0, -1, 1, 0, 0, 0, 0}, {1, 1, 1, 1, 1, 1, 1, 1, 1}},
    {"Solarization right", {0, 0, 0, 0, 1, -1, 0, 0, 0}, {1, 1, 1, 1, 1, 1, 1, 1, 1}},
    {"Solarization top", {0, -1, 0, 0, 1, 0, 0, 0, 0}, {1, 1, 1, 1, 1, 1, 1, 1, 1}},
    {"Solarization bottom", {0, 0, 0, 0, 1, 0, 0, -1, 0}, {1, 1, 1, 1, 1, 1, 1, 1, 1}},
    {"Edges left", {-1, 0, 1, -2, 0, 2, -1, 0, 1}, {1, 1, 1, 1, 1, 1, 1, 1, 1}},
    {"Edges right", {1, 0, -1, 2, 0, -2, 1, 0, -1}, {1, 1, 1, 1, 1, 1, 1, 1, 1}},
    {"Edges top", {-1, -2, -1, 0, 0, 0, 1, 2, 1}, {1, 1, 1, 1, 1, 1, 1, 1, 1}},
    {"Edges bottom", {1, 2, 1, 0, 0, 0, -1, -2, -1}, {1, 1, 1, 1, 1, 1, 1, 1, 1}},
};

const TKernel& KernelAt(int kernel)
{
    if (kernel < 0 || kernel >= 15) throw ERangeError();
    return Kernels[kernel];
}

// The coefficients as 32-bit floats: the fractions are the float nearest to them.
std::array<float, 9> Coefficients(int kernel)
{
    const TKernel& k = KernelAt(kernel);
    std::array<float, 9> out{};
    for (int i = 0; i < 9; ++i) out[i] = static_cast<float>(k.Num[i]) / static_cast<float>(k.Den[i]);
    return out;
}

// ------------------------------------------------------------------ helpers

// Mirrored index: -k for a negative k, 2(n - 1) - k for k >= n; what is still
// outside (a single row or column) is taken from the edge.
inline int32_t Mirror(int32_t k, int32_t n)
{
    if (k < 0) k = -k;
    if (k >= n) k = 2 * (n - 1) - k;
    if (k < 0) k = 0;
    if (k >= n) k = n - 1;
    return k;
}

inline bool Differs(float a, float b, float t) { return std::fabs(a - b) > t; }

// ------------------------------------------------------------------ plain per-sample arithmetic

// Kernel sum at column j of the row whose neighbours below, at and above are rows
// a, b, c.
inline float KernelSum(const float* a, const float* b, const float* c, int32_t j, int32_t cols, const float* k)
{
    const int32_t jl = Mirror(j - 1, cols), jr = Mirror(j + 1, cols);
    float s = 0.0f;
    s = s + k[0] * a[jl];
    s = s + k[1] * a[j];
    s = s + k[2] * a[jr];
    s = s + k[3] * b[jl];
    s = s + k[4] * b[j];
    s = s + k[5] * b[jr];
    s = s + k[6] * c[jl];
    s = s + k[7] * c[j];
    s = s + k[8] * c[jr];
    return s;
}

inline float MeanAt(const float* a, const float* b, const float* c, int32_t j, int32_t cols)
{
    const int32_t jl = Mirror(j - 1, cols), jr = Mirror(j + 1, cols);
    float s = 0.0f;
    s = s + a[jl];
    s = s + a[j];
    s = s + a[jr];
    s = s + b[jl];
    s = s + b[j];
    s = s + b[jr];
    s = s + c[jl];
    s = s + c[j];
    s = s + c[jr];
    return s / 9.0f;
}

inline float MedianAt(const float* a, const float* b, const float* c, int32_t j, int32_t cols)
{
    const int32_t jl = Mirror(j - 1, cols), jr = Mirror(j + 1, cols);
    return MedianOfNine({a[jl], a[j], a[jr], b[jl], b[j], b[jr], c[jl], c[j], c[jr]});
}

// ------------------------------------------------------------------ row paths

typedef float VF8 __attribute__((vector_size(32)));
typedef float VF4 __attribute__((vector_size(16)));

#define MV_INLINE __attribute__((always_inline)) inline

template <class V>
MV_INLINE V Load(const float* p)
{
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class V>
MV_INLINE void Store(float* p, V v)
{
    std::memcpy(p, &v, sizeof v);
}

template <class V>
MV_INLINE V Splat(float x)
{
    V v;
    for (size_t i = 0; i < sizeof(V) / sizeof(float); ++i) v[i] = x;
    return v;
}

// Only for samples without not-a-number (the median path checks that first).
template <class V>
MV_INLINE V VMin(V x, V y)
{
    return x < y ? x : y;
}
template <class V>
MV_INLINE V VMax(V x, V y)
{
    return x < y ? y : x;
}

template <class V>
MV_INLINE void KernelRowT(const float* a, const float* b, const float* c, float* out, int32_t cols, const float* k)
{
    constexpr int32_t L = sizeof(V) / sizeof(float);
    const V k0 = Splat<V>(k[0]), k1 = Splat<V>(k[1]), k2 = Splat<V>(k[2]);
    const V k3 = Splat<V>(k[3]), k4 = Splat<V>(k[4]), k5 = Splat<V>(k[5]);
    const V k6 = Splat<V>(k[6]), k7 = Splat<V>(k[7]), k8 = Splat<V>(k[8]);
    out[0] = KernelSum(a, b, c, 0, cols, k);
    int32_t j = 1;
    for (; j + L <= cols - 1; j += L) {
        V s = Splat<V>(0.0f);
        s = s + k0 * Load<V>(a + j - 1);
        s = s + k1 * Load<V>(a + j);
        s = s + k2 * Load<V>(a + j + 1);
        s = s + k3 * Load<V>(b + j - 1);
        s = s + k4 * Load<V>(b + j);
        s = s + k5 * Load<V>(b + j + 1);
        s = s + k6 * Load<V>(c + j - 1);
        s = s + k7 * Load<V>(c + j);
        s = s + k8 * Load<V>(c + j + 1);
        Store(out + j, s);
    }
    for (; j < cols; ++j) out[j] = KernelSum(a, b, c, j, cols, k);
}

template <class V>
MV_INLINE void MeanRowT(const float* a, const float* b, const float* c, float* out, int32_t cols)
{
    constexpr int32_t L = sizeof(V) / sizeof(float);
    const V nine = Splat<V>(9.0f);
    out[0] = MeanAt(a, b, c, 0, cols);
    int32_t j = 1;
    for (; j + L <= cols - 1; j += L) {
        V s = Splat<V>(0.0f);
        s = s + Load<V>(a + j - 1);
        s = s + Load<V>(a + j);
        s = s + Load<V>(a + j + 1);
        s = s + Load<V>(b + j - 1);
        s = s + Load<V>(b + j);
        s = s + Load<V>(b + j + 1);
        s = s + Load<V>(c + j - 1);
        s = s + Load<V>(c + j);
        s = s + Load<V>(c + j + 1);
        Store(out + j, s / nine);
    }
    for (; j < cols; ++j) out[j] = MeanAt(a, b, c, j, cols);
}

// Median of nine for rows without not-a-number and without zeros of both signs, where
// the median's value fixes its bits. Each column of three is sorted once (lo, mid,
// hi); the median of the nine is then the median of the largest of three lows, the
// median of three mids and the smallest of three highs.
template <class V>
MV_INLINE void MedianRowT(const float* a, const float* b, const float* c, float* out, int32_t cols, float* lo,
                          float* mid, float* hi)
{
    constexpr int32_t L = sizeof(V) / sizeof(float);
    int32_t j = 0;
    for (; j + L <= cols; j += L) {
        const V x = Load<V>(a + j), y = Load<V>(b + j), z = Load<V>(c + j);
        const V l1 = VMin(x, y), h1 = VMax(x, y);
        const V h = VMax(h1, z), m1 = VMin(h1, z);
        Store(lo + j, VMin(l1, m1));
        Store(mid + j, VMax(l1, m1));
        Store(hi + j, h);
    }
    for (; j < cols; ++j) {
        const float x = a[j], y = b[j], z = c[j];
        const float l1 = std::min(x, y), h1 = std::max(x, y);
        const float h = std::max(h1, z), m1 = std::min(h1, z);
        lo[j] = std::min(l1, m1);
        mid[j] = std::max(l1, m1);
        hi[j] = h;
    }
    out[0] = MedianAt(a, b, c, 0, cols);
    j = 1;
    for (; j + L <= cols - 1; j += L) {
        const V l = VMax(VMax(Load<V>(lo + j - 1), Load<V>(lo + j)), Load<V>(lo + j + 1));
        const V h = VMin(VMin(Load<V>(hi + j - 1), Load<V>(hi + j)), Load<V>(hi + j + 1));
        const V m0 = Load<V>(mid + j - 1), m1 = Load<V>(mid + j), m2 = Load<V>(mid + j + 1);
        const V m = VMax(VMin(m0, m1), VMin(VMax(m0, m1), m2));
        Store(out + j, VMax(VMin(l, m), VMin(VMax(l, m), h)));
    }
    for (; j < cols; ++j) out[j] = MedianAt(a, b, c, j, cols);
}

#if defined(__x86_64__) && defined(__GNUC__)
#define MORVANE_KERNELS_AVX2 1
__attribute__((target("avx2"))) void KernelRowAVX2(const float* a, const float* b, const float* c, float* out,
                                                   int32_t cols, const float* k)
{
    KernelRowT<VF8>(a, b, c, out, cols, k);
}
__attribute__((target("avx2"))) void MeanRowAVX2(const float* a, const float* b, const float* c, float* out,
                                                 int32_t cols)
{
    MeanRowT<VF8>(a, b, c, out, cols);
}
__attribute__((target("avx2"))) void MedianRowAVX2(const float* a, const float* b, const float* c, float* out,
                                                   int32_t cols, float* lo, float* mid, float* hi)
{
    MedianRowT<VF8>(a, b, c, out, cols, lo, mid, hi);
}
int WantedLanes = 8;
bool HaveAVX2()
{
    static const bool has = __builtin_cpu_supports("avx2");
    return has && WantedLanes == 8;
}
#endif

void KernelRow(const float* a, const float* b, const float* c, float* out, int32_t cols, const float* k)
{
#if defined(MORVANE_KERNELS_AVX2)
    if (HaveAVX2()) return KernelRowAVX2(a, b, c, out, cols, k);
#endif
    KernelRowT<VF4>(a, b, c, out, cols, k);
}

void MeanRow(const float* a, const float* b, const float* c, float* out, int32_t cols)
{
#if defined(MORVANE_KERNELS_AVX2)
    if (HaveAVX2()) return MeanRowAVX2(a, b, c, out, cols);
#endif
    MeanRowT<VF4>(a, b, c, out, cols);
}

void MedianRow(const float* a, const float* b, const float* c, float* out, int32_t cols, float* lo, float* mid,
               float* hi)
{
#if defined(MORVANE_KERNELS_AVX2)
    if (HaveAVX2()) return MedianRowAVX2(a, b, c, out, cols, lo, mid, hi);
#endif
    MedianRowT<VF4>(a, b, c, out, cols, lo, mid, hi);
}

// What a row holds that the fast median must leave to the plain one.
enum : unsigned { HasNaN = 1, HasNegZero = 2, HasPosZero = 4 };

MV_INLINE unsigned SampleFlags(float v)
{
    return ((v != v) ? HasNaN : 0u) | ((v == 0.0f) ? (std::signbit(v) ? HasNegZero : HasPosZero) : 0u);
}

// The same test on the samples' bit patterns, several at a time: a not-a-number has
// an all-ones exponent and a non-zero fraction, the zeros are 0x00000000 and 0x80000000.
template <class U>
MV_INLINE unsigned RowFlagsT(const float* p, int32_t cols)
{
    constexpr int32_t L = sizeof(U) / sizeof(uint32_t);
    U nan = {}, neg = {}, pos = {};
    int32_t j = 0;
    for (; j + L <= cols; j += L) {
        U u;
        std::memcpy(&u, p + j, sizeof u);
        nan |= (U)((u & 0x7fffffffu) > 0x7f800000u);
        neg |= (U)(u == 0x80000000u);
        pos |= (U)(u == 0u);
    }
    unsigned f = 0;
    for (int32_t i = 0; i < L; ++i)
        f |= (nan[i] ? HasNaN : 0u) | (neg[i] ? HasNegZero : 0u) | (pos[i] ? HasPosZero : 0u);
    for (; j < cols; ++j) f |= SampleFlags(p[j]);
    return f;
}

typedef uint32_t VU8 __attribute__((vector_size(32)));
typedef uint32_t VU4 __attribute__((vector_size(16)));

#if defined(MORVANE_KERNELS_AVX2)
__attribute__((target("avx2"))) unsigned RowFlagsAVX2(const float* p, int32_t cols) { return RowFlagsT<VU8>(p, cols); }
#endif

unsigned RowFlags(const float* p, int32_t cols)
{
#if defined(MORVANE_KERNELS_AVX2)
    if (HaveAVX2()) return RowFlagsAVX2(p, cols);
#endif
    return RowFlagsT<VU4>(p, cols);
}

// The source's samples as a contiguous block, or nullptr without samples; checks that
// working has the same size.
bool SameSize(const TQTVPicture& source, const TQTVPicture& working)
{
    if (!source.HasData() || !working.HasData()) return false;
    if (source.Rows != working.Rows || source.Cols != working.Cols) throw ERangeError();
    return true;
}

}  // namespace

// ------------------------------------------------------------------ public

void SetFilterLanes(int lanes)
{
#if defined(MORVANE_KERNELS_AVX2)
    WantedLanes = lanes;
#endif
}

int KernelCount() { return 15; }

const std::vector<std::string>& KernelNames()
{
    static const std::vector<std::string> names = [] {
        std::vector<std::string> n;
        for (const TKernel& k : Kernels) n.emplace_back(k.Name);
        return n;
    }();
    return names;
}

int KernelIndex(const std::string& name)
{
    const auto& names = KernelNames();
    const auto it = std::find(names.begin(), names.end(), name);
    return it == names.end() ? -1 : static_cast<int>(it - names.begin());
}

float KernelCoefficient(int kernel, int r, int c)
{
    if (r < 0 || r > 2 || c < 0 || c > 2) throw ERangeError();
    return Coefficients(kernel)[static_cast<size_t>(3 * r + c)];
}

bool KernelChangesScale(int kernel)
{
    double sum = 0;
    for (const float k : Coefficients(kernel)) sum += k;
    return std::fabs(sum - 1) > 1e-6;
}

std::array<std::string, 9> KernelGridTexts(int kernel)
{
    const TKernel& k = KernelAt(kernel);
    std::array<std::string, 9> out;
    for (int i = 0; i < 9; ++i) {
        std::string t = k.Den[i] == 1 ? std::to_string(k.Num[i])
                                      : std::to_string(k.Num[i]) + "/" + std::to_string(k.Den[i]);
        if (t.size() < 4) t.insert(0, 4 - t.size(), ' ');
        out[static_cast<size_t>(i)] = t;
    }
    return out;
}

float MedianOfNine(std::array<float, 9> v)
{
    for (size_t p = 0; p < 5; ++p) {
        size_t m = p;
        for (size_t q = p + 1; q < 9; ++q)
            if (v[q] < v[m]) m = q;
        std::swap(v[p], v[m]);
    }
    return v[4];
}

void ApplyKernel(TQTVPicture& working, int kernel)
{
    const std::array<float, 9> k = Coefficients(kernel);
    if (!working.HasData()) return;
    const int32_t rows = working.Rows, cols = working.Cols;
    float* base = working.Data.Block();
    const size_t n = static_cast<size_t>(cols);
    // Every row reads the samples as they were before the pass: the results go to a
    // temporary image first, row by row on the pool, and are copied back afterwards.
    const std::unique_ptr<float[], TFreeBlock> out(static_cast<float*>(AllocateLarge(static_cast<size_t>(rows) * n * sizeof(float))));
    if (!out) throw std::bad_alloc();
    ParallelFor(rows, GrainFor(rows), [&](int64_t i0, int64_t i1) {
        for (auto i = static_cast<int32_t>(i0); i < i1; ++i) {
            const int32_t below = Mirror(i - 1, rows), above = Mirror(i + 1, rows);
            KernelRow(base + static_cast<size_t>(below) * n, base + static_cast<size_t>(i) * n,
                      base + static_cast<size_t>(above) * n, out.get() + static_cast<size_t>(i) * n, cols, k.data());
        }
    });
    ParallelFor(rows, GrainFor(rows), [&](int64_t i0, int64_t i1) {
        std::memcpy(base + static_cast<size_t>(i0) * n, out.get() + static_cast<size_t>(i0) * n,
                    static_cast<size_t>(i1 - i0) * n * sizeof(float));
    });
}

void RemoveBadPoints(TQTVPicture& working, float t)
{
    if (!working.HasData()) return;
    const int32_t R = working.Rows, C = working.Cols;
    if (R < 2 || C < 2) return;
    float* base = working.Data.Block();
    const size_t n = static_cast<size_t>(C);
    auto v = [&](int32_t r) { return base + static_cast<size_t>(r) * n; };

    // 1. inner rows. Each row changes only its own samples, and before its turn it
    // holds its samples as they were. A sample can only be replaced where it differs
    // from both horizontal neighbours as they were, or right after a replaced sample
    // (whose new value it then compares with). So the rows' candidates are found on
    // the pool first; the rows are then worked through in order as before, visiting
    // only the candidates and the samples right after a replacement.
    std::vector<std::vector<int32_t>> candidates(static_cast<size_t>(R));
    ParallelFor(R - 2, GrainFor(R - 2), [&](int64_t k0, int64_t k1) {
        for (int64_t k = k0; k < k1; ++k) {
            const float* mi = v(static_cast<int32_t>(k + 1));
            std::vector<int32_t>& list = candidates[static_cast<size_t>(k + 1)];
            for (int32_t c = 1; c <= C - 2; ++c)
                if (Differs(mi[c], mi[c - 1], t) && Differs(mi[c], mi[c + 1], t)) list.push_back(c);
        }
    });
    for (int32_t r = 1; r <= R - 2; ++r) {
        float* lo = v(r - 1);
        float* mi = v(r);
        float* hi = v(r + 1);
        const std::vector<int32_t>& list = candidates[static_cast<size_t>(r)];
        int32_t next = 1;  // the first position not yet decided
        for (const int32_t start : list) {
            if (start < next) continue;
            int32_t c = start;
            while (c <= C - 2 && Differs(mi[c], mi[c - 1], t) && Differs(mi[c], mi[c + 1], t)) {
                mi[c] = (lo[c - 1] + lo[c] + lo[c + 1] + mi[c - 1] + mi[c + 1] + hi[c - 1] + hi[c] + hi[c + 1]) / 8.0f;
                ++c;
            }
            next = c + 1;
        }
        std::vector<int32_t>().swap(candidates[static_cast<size_t>(r)]);
        if (Differs(mi[0], lo[0], t) && Differs(mi[0], hi[0], t))
            mi[0] = (lo[0] + hi[0] + lo[1] + mi[1] + hi[1]) / 5.0f;
        const int32_t e = C - 1, f = C - 2;
        if (Differs(mi[e], lo[e], t) && Differs(mi[e], hi[e], t))
            mi[e] = (lo[e] + hi[e] + lo[f] + mi[f] + hi[f]) / 5.0f;
    }
    // 2. first and last rows
    float* bottom = v(0);
    float* bottomIn = v(1);
    float* top = v(R - 1);
    float* topIn = v(R - 2);
    for (int32_t c = 1; c <= C - 2; ++c) {
        if (Differs(bottom[c], bottom[c - 1], t) && Differs(bottom[c], bottom[c + 1], t))
            bottom[c] = (bottom[c - 1] + bottom[c + 1] + bottomIn[c - 1] + bottomIn[c] + bottomIn[c + 1]) / 5.0f;
        if (Differs(top[c], top[c - 1], t) && Differs(top[c], top[c + 1], t))
            top[c] = (top[c - 1] + top[c + 1] + topIn[c - 1] + topIn[c] + topIn[c + 1]) / 5.0f;
    }
    // 3. corners; the one at (0, C - 1) is replaced when it differs from either
    // neighbour
    if (Differs(bottom[0], bottomIn[0], t) && Differs(bottom[0], bottom[1], t))
        bottom[0] = (bottom[1] + bottomIn[0] + bottomIn[1]) / 3.0f;
    if (Differs(top[0], top[1], t) && Differs(top[0], topIn[0], t))
        top[0] = (top[1] + topIn[0] + topIn[1]) / 3.0f;
    const int32_t e = C - 1, f = C - 2;
    if (Differs(bottom[e], bottom[f], t) || Differs(bottom[e], bottomIn[e], t))
        bottom[e] = (bottom[f] + bottomIn[e] + bottomIn[f]) / 3.0f;
    if (Differs(top[e], top[f], t) && Differs(top[e], topIn[e], t))
        top[e] = (top[f] + topIn[e] + topIn[f]) / 3.0f;
}

float BadPointThreshold(const TQTVPicture& source, double percent)
{
    return BadPointThreshold(source.Min, source.Max, percent);
}

float BadPointThreshold(float min, float max, double percent)
{
    if (max == min) return 1.0f;
    return static_cast<float>((static_cast<double>(max) - static_cast<double>(min)) / 100.0 * percent);
}

void MedianFilter(const TQTVPicture& source, TQTVPicture& working)
{
    if (!SameSize(source, working)) return;
    const int32_t rows = source.Rows, cols = source.Cols;
    const size_t n = static_cast<size_t>(cols);
    const float* src = source.Data.Block();
    float* dst = working.Data.Block();
    std::vector<unsigned> flags(static_cast<size_t>(rows));
    ParallelFor(rows, GrainFor(rows), [&](int64_t r0, int64_t r1) {
        for (int64_t r = r0; r < r1; ++r) flags[static_cast<size_t>(r)] = RowFlags(src + r * n, cols);
    });
    ParallelFor(rows, GrainFor(rows), [&](int64_t i0, int64_t i1) {
        std::vector<float> lo(n), mid(n), hi(n);
        for (auto i = static_cast<int32_t>(i0); i < i1; ++i) {
            const int32_t below = Mirror(i - 1, rows), above = Mirror(i + 1, rows);
            const float* a = src + below * n;
            const float* b = src + i * n;
            const float* c = src + above * n;
            float* out = dst + i * n;
            const unsigned f = flags[static_cast<size_t>(below)] | flags[static_cast<size_t>(i)] |
                               flags[static_cast<size_t>(above)];
            if ((f & HasNaN) || ((f & HasNegZero) && (f & HasPosZero))) {
                for (int32_t j = 0; j < cols; ++j) out[j] = MedianAt(a, b, c, j, cols);
            } else {
                MedianRow(a, b, c, out, cols, lo.data(), mid.data(), hi.data());
            }
        }
    });
}

void MeanFilter(const TQTVPicture& source, TQTVPicture& working)
{
    if (!SameSize(source, working)) return;
    const int32_t rows = source.Rows, cols = source.Cols;
    const size_t n = static_cast<size_t>(cols);
    const float* src = source.Data.Block();
    float* dst = working.Data.Block();
    ParallelFor(rows, GrainFor(rows), [&](int64_t i0, int64_t i1) {
        for (auto i = static_cast<int32_t>(i0); i < i1; ++i) {
            const int32_t below = Mirror(i - 1, rows), above = Mirror(i + 1, rows);
            MeanRow(src + below * n, src + i * n, src + above * n, dst + i * n, cols);
        }
    });
}
