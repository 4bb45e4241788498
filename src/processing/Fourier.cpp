// The Fourier module.
//
// FFT1D is the transform as it is defined: a ping-pong buffer, butterflies in
// extended precision rounded to floats, output in natural order. FFT2D gives exactly
// the same floats, but transforms several rows (and later several columns) side by
// side, one per vector lane, in double precision: every butterfly output is
// ((x + C*y1) + S*y2) with float x, y and table entries, whose products are exact in
// double as in extended precision; only the two additions round differently (53
// instead of 64 bits). Each output checks that both ways provably round to the same
// float (Checked8); an output that cannot prove it is replayed with
// the extended-precision roundings emulated exactly (Replay8), and what even that
// cannot settle is computed the plain way (PlainButterfly). Eight lanes need
// AVX-512, four AVX2; elsewhere, and for grids smaller than the lanes, FFT2D is the
// plain row-by-row definition.
#include "processing/Fourier.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <numbers>
#include <utility>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "core/Errors.h"
#include "core/LargeMemory.h"
#include "core/Threads.h"

#pragma GCC diagnostic ignored "-Wpsabi"
#if !defined(__clang__)
// (the AVX-512 header of GCC 12 leaves intrinsic results "undefined" on purpose)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

int32_t FFTSize = 0;
int32_t FFTBits = 0;
std::vector<float> CosTable;
std::vector<float> SinTable;

namespace {

// Tables of the fast path: the same twiddle factors as doubles and the bit reversal
// of every index.
std::vector<double> CosD, SinD;
std::vector<int32_t> Reversed;
TFFTPath ChosenPath = TFFTPath::Auto;

void BuildTables(int32_t bits)
{
    const int32_t n = int32_t{1} << bits;
    if (FFTSize == n && FFTBits == bits && static_cast<int32_t>(CosTable.size()) == n) return;
    FFTSize = n;
    FFTBits = bits;
    CosTable.resize(static_cast<size_t>(n));
    SinTable.resize(static_cast<size_t>(n));
    CosD.resize(static_cast<size_t>(n));
    SinD.resize(static_cast<size_t>(n));
    Reversed.resize(static_cast<size_t>(n));
    const long double twoPi = 2.0L * std::numbers::pi_v<long double>;
    for (int32_t k = 0; k < n; ++k) {
        const long double angle = twoPi * k / n;
        CosTable[static_cast<size_t>(k)] = static_cast<float>(std::cos(angle));
        SinTable[static_cast<size_t>(k)] = static_cast<float>(std::sin(angle));
        CosD[static_cast<size_t>(k)] = CosTable[static_cast<size_t>(k)];
        SinD[static_cast<size_t>(k)] = SinTable[static_cast<size_t>(k)];
        Reversed[static_cast<size_t>(k)] = BitReverse(bits, k);
    }
}

// A buffer of doubles on a cache-line boundary, so that no vector of eight straddles
// two lines.
class TLaneBuffer {
public:
    explicit TLaneBuffer(size_t count)
        : p_(static_cast<double*>(std::aligned_alloc(64, (count * sizeof(double) + 63) / 64 * 64)))
    {
        if (!p_) throw std::bad_alloc();
    }
    double* data() { return p_.get(); }

private:
    std::unique_ptr<double[], TFreeBlock> p_;
};

// Swaps the quadrants of an N x N grid: rows i and i + N/2, then columns j and
// j + N/2. For even N both together exchange [i][j] with [i + N/2][j + N/2] and
// [i][j + N/2] with [i + N/2][j]; N = 1 stays as it is.
void SwapQuadrants(float* const* g, int32_t n)
{
    if (n < 2) return;
    const int32_t h = n / 2;
    ParallelFor(h, GrainFor(h), [&](int64_t i0, int64_t i1) {
        for (auto i = static_cast<int32_t>(i0); i < i1; ++i) {
            float* lo = g[i];
            float* hi = g[i + h];
            std::swap_ranges(lo, lo + h, hi + h);
            std::swap_ranges(lo + h, lo + n, hi);
        }
    });
}

// Row i swaps its elements left of the diagonal with those of column i above it: no
// element belongs to two rows.
void Transpose(float* const* g, int32_t n)
{
    ParallelFor(n, GrainFor(n), [&](int64_t i0, int64_t i1) {
        for (auto i = static_cast<int32_t>(i0); i < i1; ++i)
            for (int32_t j = 0; j < i; ++j) std::swap(g[i][j], g[j][i]);
    });
}

void RowsFFT1D(float* const* re, float* const* im, int32_t n)
{
    ParallelFor(n, GrainFor(n), [&](int64_t r0, int64_t r1) {
        for (auto r = static_cast<int32_t>(r0); r < r1; ++r) FFT1D(re[r], im[r]);
    });
}

// The transform as defined, row by row through FFT1D with transposes between.
void PlainFFT2D(float* const* re, float* const* im, int32_t n)
{
    RowsFFT1D(re, im, n);
    Transpose(re, n);
    Transpose(im, n);
    RowsFFT1D(re, im, n);
    Transpose(re, n);
    Transpose(im, n);
}

// ------------------------------------------------------------------ side-by-side transforms

#define MV_INLINE __attribute__((always_inline)) inline

#if defined(__x86_64__) && defined(__GNUC__)
#define MORVANE_FOURIER_LANES 1
typedef double VD8 __attribute__((vector_size(64)));
typedef float VF8 __attribute__((vector_size(32)));
typedef double VD4 __attribute__((vector_size(32)));
typedef float VF4 __attribute__((vector_size(16)));
#endif

// One butterfly of lane l the plain way, in extended precision, for the outputs the
// double way cannot vouch for.
inline void PlainButterfly(const double* a, double* b, int32_t j, int32_t f, int32_t jo, int32_t fo, int32_t d,
                           int32_t e, int32_t L, int32_t l)
{
    using LD = long double;
    const LD xr = a[2 * j * L + l], xi = a[(2 * j + 1) * L + l];
    const LD yr = a[2 * f * L + l], yi = a[(2 * f + 1) * L + l];
    const LD cd = CosTable[static_cast<size_t>(d)], sd = SinTable[static_cast<size_t>(d)];
    const LD ce = CosTable[static_cast<size_t>(e)], se = SinTable[static_cast<size_t>(e)];
    b[2 * jo * L + l] = static_cast<float>(xr + cd * yr + sd * yi);
    b[(2 * jo + 1) * L + l] = static_cast<float>(xi + cd * yi - sd * yr);
    b[2 * fo * L + l] = static_cast<float>(xr + ce * yr + se * yi);
    b[(2 * fo + 1) * L + l] = static_cast<float>(xi + ce * yi - se * yr);
}

#if defined(MORVANE_FOURIER_LANES)
// ---- eight lanes with AVX-512
//
// The stages of FFT1D on eight rows (or columns) side by side, one per lane: element k
// of lane l at [2k 8 + l] (real) and [(2k + 1) 8 + l] (imaginary), doubles holding
// floats. Where the double way cannot vouch for an output (Checked8), the extended
// way is replayed exactly in double-double arithmetic (Replay8); only what that
// cannot settle goes to PlainButterfly.

#define MV_AVX512 __attribute__((target("avx512f,avx512dq"), always_inline)) inline

MV_AVX512 __m512d Abs8(__m512d v)
{
    return _mm512_castsi512_pd(_mm512_and_si512(_mm512_castpd_si512(v), _mm512_set1_epi64(0x7fffffffffffffffLL)));
}

// -v, zeros included (0 - v would turn -0 into +0)
MV_AVX512 __m512d Neg8(__m512d v)
{
    return _mm512_castsi512_pd(_mm512_xor_si512(_mm512_castpd_si512(v), _mm512_set1_epi64(0x8000000000000000ULL)));
}

// 2^e for 2^e <= |v| < 2^(e+1) (0 for 0)
MV_AVX512 __m512d Binade8(__m512d v)
{
    return _mm512_castsi512_pd(_mm512_and_si512(_mm512_castpd_si512(v), _mm512_set1_epi64(0x7ff0000000000000LL)));
}

MV_AVX512 __m512d ToFloat8(__m512d v) { return _mm512_cvtps_pd(_mm512_cvtpd_ps(v)); }

MV_AVX512 void TwoSum8(__m512d a, __m512d b, __m512d& s, __m512d& e)
{
    s = _mm512_add_pd(a, b);
    const __m512d bb = _mm512_sub_pd(s, a);
    e = _mm512_add_pd(_mm512_sub_pd(a, _mm512_sub_pd(s, bb)), _mm512_sub_pd(b, bb));
}

// The tail e of s + e (|e| at most half a double ulp of s) rounded to the 64-bit
// significand of s + e, ties to even: a multiple of u = 2^(e_s - 63), or of u / 2
// when |s| is a power of two and e points below it. s itself is a multiple of 2^11 u,
// so the parity of the 64-bit result is that of the multiple.
MV_AVX512 __m512d Tail64(__m512d s, __m512d e)
{
    const __m512d zero = _mm512_setzero_pd();
    const __m512d p = Binade8(s);
    __m512d u = _mm512_mul_pd(p, _mm512_set1_pd(0x1p-63));
    const __mmask8 lower = _mm512_cmp_pd_mask(Abs8(s), p, _CMP_EQ_OQ) &
                           _mm512_cmp_pd_mask(_mm512_mul_pd(s, e), zero, _CMP_LT_OQ);
    u = _mm512_mask_mul_pd(u, lower, u, _mm512_set1_pd(0.5));
    const __m512d m = _mm512_mul_pd(u, _mm512_set1_pd(0x1.8p52));
    return _mm512_sub_pd(_mm512_add_pd(e, m), m);
}

// float(rnd64(rnd64(x + p) + q)) for the lanes in want, exactly: each addition as an
// exact double-double sum, its tail rounded to 64 bits (Tail64), and the last
// rounding to a float decided by that tail where the double part lies on a float
// midpoint. Lanes it cannot settle (a third term left over, a zero, an infinity or
// not-a-number) go to unsettled; lanes where both double additions were exact keep
// fast, which is then exact.
MV_AVX512 __m512d Replay8(__m512d x, __m512d p, __m512d q, __m512d fast, __mmask8& unsettled)
{
    const __m512d zero = _mm512_setzero_pd();
    __m512d u1, e1, a, b, c, dd, s2, e2;
    TwoSum8(x, p, u1, e1);
    const __m512d r1 = Tail64(u1, e1);
    TwoSum8(u1, q, a, b);
    TwoSum8(b, r1, c, dd);
    TwoSum8(a, c, s2, e2);
    const __m512d r2 = Tail64(s2, e2);
    const __m512d f0 = ToFloat8(s2);
    const __m512d diff = _mm512_sub_pd(s2, f0);
    const __m512d g = _mm512_add_pd(f0, _mm512_add_pd(diff, diff));
    const __mmask8 mid = _mm512_cmp_pd_mask(diff, zero, _CMP_NEQ_OQ) & _mm512_cmp_pd_mask(ToFloat8(g), g, _CMP_EQ_OQ);
    const __mmask8 push = mid & _mm512_cmp_pd_mask(_mm512_mul_pd(r2, diff), zero, _CMP_GT_OQ);
    __m512d r = _mm512_mask_blend_pd(push, f0, g);
    const __mmask8 exact = _mm512_cmp_pd_mask(e1, zero, _CMP_EQ_OQ) & _mm512_cmp_pd_mask(b, zero, _CMP_EQ_OQ);
    r = _mm512_mask_blend_pd(exact, r, fast);
    const __mmask8 open = _mm512_cmp_pd_mask(dd, zero, _CMP_NEQ_UQ) | _mm512_cmp_pd_mask(s2, zero, _CMP_EQ_UQ) |
                          _mm512_cmp_pd_mask(Abs8(f0), _mm512_set1_pd(0x1.fffffep127), _CMP_NLE_UQ);
    unsettled |= open & static_cast<__mmask8>(~exact);
    return r;
}

// The check, on the bits of the double result: for ((x + p) + q) the double way
// rounds the two additions to 53 bits (u1, then u2), the extended way to 64 bits; the
// results lie within 2^-52 (|u1| + |u2|) of each other (the double roundings cost at
// most 2^-53 of each result, the extended ones 2^-64). The extended result lies
// within that of u2. With |u1| < 2^11 |u2| (no deep
// cancellation) that is less than 2^12.1 units in the last place of u2. The float
// rounding of u2 looks at its lowest 29 bits, and a rounding midpoint lies where they
// read 2^28; when they are more than 2^13 units away from it, the extended result
// rounds to the same float. Only for results in the normal float range, where a float
// keeps 24 bits; the rest (zeros, tiny and huge results, infinities, not-a-number)
// are left to Replay8.
// (x + p) - q instead of (x + p) + (-q) saves the negation; IEEE subtraction is
// exactly the addition of the negated operand.
template <bool Subtract>
MV_AVX512 __m512d Checked8(__m512d x, __m512d p, __m512d q, __mmask8& ok)
{
    const __m512d u1 = _mm512_add_pd(x, p);
    const __m512d u2 = Subtract ? _mm512_sub_pd(u1, q) : _mm512_add_pd(u1, q);
    const __m512i absMask = _mm512_set1_epi64(0x7fffffffffffffffLL);
    const __m512i b1 = _mm512_and_si512(_mm512_castpd_si512(u1), absMask);
    const __m512i b2 = _mm512_and_si512(_mm512_castpd_si512(u2), absMask);
    // the lowest 29 bits within 2^13 of 2^28: (low + 2^13 - 2^28) mod 2^29 <= 2^14
    const __m512i shifted = _mm512_and_si512(_mm512_add_epi64(_mm512_castpd_si512(u2), _mm512_set1_epi64((1LL << 13) - (1LL << 28))),
                                             _mm512_set1_epi64((1LL << 29) - 1));
    const __mmask8 farFromMidpoint = _mm512_cmpgt_epu64_mask(shifted, _mm512_set1_epi64(1LL << 14));
    const __mmask8 noCancellation = _mm512_cmplt_epi64_mask(b1, _mm512_add_epi64(b2, _mm512_set1_epi64(11LL << 52)));
    // 2^-126 <= |u2| < 2^127 as bit patterns: exponent fields 897 .. 1149
    const __mmask8 normal = _mm512_cmplt_epu64_mask(_mm512_sub_epi64(b2, _mm512_set1_epi64(897LL << 52)),
                                                    _mm512_set1_epi64((1150LL - 897LL) << 52));
    ok = farFromMidpoint & noCancellation & normal;
    return ToFloat8(u2);
}

// The other outputs of a butterfly where the check left lanes open.
// Lanes whose three terms are all zeros (of either sign) are exact both ways: the
// signs of zero sums follow the same rule in every precision. A grid that is mostly
// zeros (a small template in a large frame) then stays on the fast way.
MV_AVX512 __m512d Settle8(__m512d x, __m512d p, __m512d q, __m512d f, __mmask8 ok, __mmask8& unsettled)
{
    const __m512d zero = _mm512_setzero_pd();
    ok |= _mm512_cmp_pd_mask(x, zero, _CMP_EQ_OQ) & _mm512_cmp_pd_mask(p, zero, _CMP_EQ_OQ) &
          _mm512_cmp_pd_mask(q, zero, _CMP_EQ_OQ);
    if (ok == 0xFF) return f;
    __mmask8 open = 0;
    const __m512d r = Replay8(x, p, q, f, open);
    unsettled |= open & static_cast<__mmask8>(~ok);
    return _mm512_mask_blend_pd(ok, r, f);
}

// Eight complex values, one per lane.
struct TC8 {
    __m512d Re, Im;
};

// The twiddle factors of one group: element d for the first output, e for the second.
struct TTwiddle8 {
    int32_t D, E;
    __m512d Cd, Sd, Ce, Se;
    bool Unit;
};

MV_AVX512 TTwiddle8 Twiddle8(int32_t d, int32_t e)
{
    const double* cs = CosD.data();
    const double* sn = SinD.data();
    // Twiddle 1 (cos 1, sin 0): x + y of two floats is exact in double precision
    // unless their exponents lie 29 or more apart, and then both ways round to the
    // larger of them; adding the product with 0 changes at most a zero's sign, alike in
    // both. Only infinities and not-a-number still go through the check.
    return {d, e, _mm512_set1_pd(cs[d]), _mm512_set1_pd(sn[d]), _mm512_set1_pd(cs[e]), _mm512_set1_pd(sn[e]),
            cs[d] == 1.0 && sn[d] == 0.0};
}

// The lanes of one butterfly the plain way, in extended precision, for the outputs
// the double way cannot vouch for.
__attribute__((noinline)) void PlainLanes(const TC8& x, const TC8& y, int32_t d, int32_t e, unsigned lanes, TC8& j,
                                          TC8& f)
{
    alignas(64) double xr[8], xi[8], yr[8], yi[8], jr[8], ji[8], fr[8], fi[8];
    std::memcpy(xr, &x.Re, sizeof xr);
    std::memcpy(xi, &x.Im, sizeof xi);
    std::memcpy(yr, &y.Re, sizeof yr);
    std::memcpy(yi, &y.Im, sizeof yi);
    std::memcpy(jr, &j.Re, sizeof jr);
    std::memcpy(ji, &j.Im, sizeof ji);
    std::memcpy(fr, &f.Re, sizeof fr);
    std::memcpy(fi, &f.Im, sizeof fi);
    using LD = long double;
    const LD cd = CosTable[static_cast<size_t>(d)], sd = SinTable[static_cast<size_t>(d)];
    const LD ce = CosTable[static_cast<size_t>(e)], se = SinTable[static_cast<size_t>(e)];
    for (int l = 0; l < 8; ++l) {
        if (!(lanes & (1u << l))) continue;
        const LD Xr = xr[l], Xi = xi[l], Yr = yr[l], Yi = yi[l];
        jr[l] = static_cast<float>(Xr + cd * Yr + sd * Yi);
        ji[l] = static_cast<float>(Xi + cd * Yi - sd * Yr);
        fr[l] = static_cast<float>(Xr + ce * Yr + se * Yi);
        fi[l] = static_cast<float>(Xi + ce * Yi - se * Yr);
    }
    std::memcpy(&j.Re, jr, sizeof jr);
    std::memcpy(&j.Im, ji, sizeof ji);
    std::memcpy(&f.Re, fr, sizeof fr);
    std::memcpy(&f.Im, fi, sizeof fi);
}

// One butterfly on eight lanes: j = x + w_d y, f = x + w_e y, every output the float
// the extended-precision definition gives.
MV_AVX512 void Butterfly8(const TC8& x, const TC8& y, const TTwiddle8& w, TC8& j, TC8& f)
{
    const __m512d p1 = _mm512_mul_pd(w.Cd, y.Re), q1 = _mm512_mul_pd(w.Sd, y.Im);
    const __m512d p2 = _mm512_mul_pd(w.Cd, y.Im), m2 = _mm512_mul_pd(w.Sd, y.Re);
    const __m512d p3 = _mm512_mul_pd(w.Ce, y.Re), q3 = _mm512_mul_pd(w.Se, y.Im);
    const __m512d p4 = _mm512_mul_pd(w.Ce, y.Im), m4 = _mm512_mul_pd(w.Se, y.Re);
    __mmask8 ok1, ok2, ok3, ok4;
    if (w.Unit) {
        const __m512d inf = _mm512_set1_pd(__builtin_inf());
        const __m512d ur = _mm512_add_pd(_mm512_add_pd(x.Re, p1), q1);
        const __m512d ui = _mm512_sub_pd(_mm512_add_pd(x.Im, p2), m2);
        ok1 = _mm512_cmp_pd_mask(Abs8(ur), inf, _CMP_LT_OQ);
        ok2 = _mm512_cmp_pd_mask(Abs8(ui), inf, _CMP_LT_OQ);
        j.Re = ToFloat8(ur);
        j.Im = ToFloat8(ui);
    } else {
        j.Re = Checked8<false>(x.Re, p1, q1, ok1);
        j.Im = Checked8<true>(x.Im, p2, m2, ok2);
    }
    f.Re = Checked8<false>(x.Re, p3, q3, ok3);
    f.Im = Checked8<true>(x.Im, p4, m4, ok4);
    if ((ok1 & ok2 & ok3 & ok4) != 0xFF) [[unlikely]] {
        __mmask8 unsettled = 0;
        j.Re = Settle8(x.Re, p1, q1, j.Re, ok1, unsettled);
        j.Im = Settle8(x.Im, p2, Neg8(m2), j.Im, ok2, unsettled);
        f.Re = Settle8(x.Re, p3, q3, f.Re, ok3, unsettled);
        f.Im = Settle8(x.Im, p4, Neg8(m4), f.Im, ok4, unsettled);
        if (unsettled) [[unlikely]]
            PlainLanes(x, y, w.D, w.E, unsettled, j, f);
    }
}

MV_AVX512 TC8 Load8(const double* a, int32_t k)
{
    constexpr int32_t L = 8;
    return {_mm512_loadu_pd(a + 2 * k * L), _mm512_loadu_pd(a + (2 * k + 1) * L)};
}

MV_AVX512 void Store8(double* b, int32_t k, const TC8& v)
{
    constexpr int32_t L = 8;
    _mm512_storeu_pd(b + 2 * k * L, v.Re);
    _mm512_storeu_pd(b + (2 * k + 1) * L, v.Im);
}

// The stages of FFT1D on eight lanes, two stages at a time where two are left: the
// four elements j, j + h/2, j + h, j + 3h/2 of a group of stage s meet only each
// other in stages s and s + 1, so their four butterflies run in registers, each
// exactly as it would alone (its outputs rounded to floats as when stored), and the
// buffer is read and written once for both stages. Unlike LanesFFT, the last stage
// writes its outputs at their frequencies: the result is in natural order.
__attribute__((target("avx512f,avx512dq"))) double* Stages8(double* buf, double* tmp, int32_t n, int32_t bits)
{
    double* a = buf;
    double* b = tmp;
    const int32_t* rev = Reversed.data();
    int32_t h = n;
    for (int32_t s = 1; s <= bits;) {
        h /= 2;
        const int32_t groups = int32_t{1} << (s - 1);
        if (s + 1 <= bits) {
            const int32_t q = h / 2;
            const bool last = s + 1 == bits;
            for (int32_t g = 0; g < groups; ++g) {
                const TTwiddle8 w1 = Twiddle8(rev[2 * g], rev[2 * g + 1]);
                const TTwiddle8 w2 = Twiddle8(rev[4 * g], rev[4 * g + 1]);
                const TTwiddle8 w3 = Twiddle8(rev[4 * g + 2], rev[4 * g + 3]);
                const int32_t base = g * 2 * h;
                for (int32_t t = 0; t < q; ++t) {
                    const int32_t j0 = base + t, j1 = j0 + q, j2 = j0 + h, j3 = j2 + q;
                    TC8 a0, a1, a2, a3, b0, b1, b2, b3;
                    Butterfly8(Load8(a, j0), Load8(a, j2), w1, a0, a2);
                    Butterfly8(Load8(a, j1), Load8(a, j3), w1, a1, a3);
                    Butterfly8(a0, a1, w2, b0, b1);
                    Butterfly8(a2, a3, w3, b2, b3);
                    Store8(b, last ? rev[j0] : j0, b0);
                    Store8(b, last ? rev[j1] : j1, b1);
                    Store8(b, last ? rev[j2] : j2, b2);
                    Store8(b, last ? rev[j3] : j3, b3);
                }
            }
            h = q;
            s += 2;
        } else {
            const bool last = s == bits;
            int32_t j = 0;
            for (int32_t g = 0; g < groups; ++g) {
                const TTwiddle8 w = Twiddle8(rev[2 * g], rev[2 * g + 1]);
                for (int32_t t = 0; t < h; ++t, ++j) {
                    const int32_t f = j + h;
                    TC8 oj, of;
                    Butterfly8(Load8(a, j), Load8(a, f), w, oj, of);
                    Store8(b, last ? rev[j] : j, oj);
                    Store8(b, last ? rev[f] : f, of);
                }
                j += h;
            }
            s += 1;
        }
        std::swap(a, b);
    }
    return a;
}
#endif

// Columns c0..c0+L-1 of (re, im), transformed in place (Stages leaves the result in
// natural order).
template <class V, class VF, double* (*Stages)(double*, double*, int32_t, int32_t)>
MV_INLINE void ColumnGroup(float* const* re, float* const* im, int32_t c0, int32_t n, int32_t bits, double* buf,
                           double* tmp)
{
    constexpr int32_t L = sizeof(V) / sizeof(double);
    for (int32_t k = 0; k < n; ++k) {
        VF fr, fi;
        std::memcpy(&fr, re[k] + c0, sizeof fr);
        std::memcpy(&fi, im[k] + c0, sizeof fi);
        const V dr = __builtin_convertvector(fr, V), di = __builtin_convertvector(fi, V);
        std::memcpy(buf + 2 * k * L, &dr, sizeof dr);
        std::memcpy(buf + (2 * k + 1) * L, &di, sizeof di);
    }
    const double* out = Stages(buf, tmp, n, bits);
    for (int32_t k = 0; k < n; ++k) {
        V dr, di;
        std::memcpy(&dr, out + 2 * k * L, sizeof dr);
        std::memcpy(&di, out + (2 * k + 1) * L, sizeof di);
        const VF fr = __builtin_convertvector(dr, VF), fi = __builtin_convertvector(di, VF);
        std::memcpy(re[k] + c0, &fr, sizeof fr);
        std::memcpy(im[k] + c0, &fi, sizeof fi);
    }
}

#if defined(MORVANE_FOURIER_LANES)
// Eight rows of eight doubles in v[0..7] become eight columns: v[m] lane l = row l,
// element m.
MV_AVX512 void Transpose8(__m512d* v)
{
    __m512d t[8], u[8];
    for (int k = 0; k < 4; ++k) {
        t[2 * k] = _mm512_unpacklo_pd(v[2 * k], v[2 * k + 1]);
        t[2 * k + 1] = _mm512_unpackhi_pd(v[2 * k], v[2 * k + 1]);
    }
    for (int k = 0; k < 2; ++k) {
        u[4 * k + 0] = _mm512_shuffle_f64x2(t[4 * k + 0], t[4 * k + 2], 0x88);
        u[4 * k + 1] = _mm512_shuffle_f64x2(t[4 * k + 0], t[4 * k + 2], 0xDD);
        u[4 * k + 2] = _mm512_shuffle_f64x2(t[4 * k + 1], t[4 * k + 3], 0x88);
        u[4 * k + 3] = _mm512_shuffle_f64x2(t[4 * k + 1], t[4 * k + 3], 0xDD);
    }
    v[0] = _mm512_shuffle_f64x2(u[0], u[4], 0x88);
    v[4] = _mm512_shuffle_f64x2(u[0], u[4], 0xDD);
    v[2] = _mm512_shuffle_f64x2(u[1], u[5], 0x88);
    v[6] = _mm512_shuffle_f64x2(u[1], u[5], 0xDD);
    v[1] = _mm512_shuffle_f64x2(u[2], u[6], 0x88);
    v[5] = _mm512_shuffle_f64x2(u[2], u[6], 0xDD);
    v[3] = _mm512_shuffle_f64x2(u[3], u[7], 0x88);
    v[7] = _mm512_shuffle_f64x2(u[3], u[7], 0xDD);
}

// Rows r0..r0+7 of (re, im) transformed in place: gathered and scattered in blocks
// of 8 x 8.
__attribute__((target("avx512f,avx512dq"))) void RowGroup8(float* const* re, float* const* im, int32_t r0, int32_t n, int32_t bits, double* buf,
                         double* tmp)
{
    constexpr int32_t L = 8;
    __m512d v[8];
    for (int part = 0; part < 2; ++part) {
        float* const* g = part == 0 ? re : im;
        for (int32_t k0 = 0; k0 < n; k0 += 8) {
            for (int l = 0; l < 8; ++l) v[l] = _mm512_cvtps_pd(_mm256_loadu_ps(g[r0 + l] + k0));
            Transpose8(v);
            for (int m = 0; m < 8; ++m) _mm512_storeu_pd(buf + (2 * (k0 + m) + part) * L, v[m]);
        }
    }
    const double* sorted = Stages8(buf, tmp, n, bits);
    for (int part = 0; part < 2; ++part) {
        float* const* g = part == 0 ? re : im;
        for (int32_t m0 = 0; m0 < n; m0 += 8) {
            for (int m = 0; m < 8; ++m) v[m] = _mm512_loadu_pd(sorted + (2 * (m0 + m) + part) * L);
            Transpose8(v);
            for (int l = 0; l < 8; ++l) _mm256_storeu_ps(g[r0 + l] + m0, _mm512_cvtpd_ps(v[l]));
        }
    }
}

// Columns c0..c0+15 of (re, im), transformed in place as two groups of eight.
__attribute__((target("avx512f,avx512dq"))) void ColumnPair8(float* const* re, float* const* im, int32_t c0, int32_t n, int32_t bits,
                           TLaneBuffer& buf, TLaneBuffer& tmp, TLaneBuffer& buf2, TLaneBuffer& tmp2)
{
    constexpr int32_t L = 8;
    for (int part = 0; part < 2; ++part) {
        float* const* g = part == 0 ? re : im;
        for (int32_t k = 0; k < n; ++k) {
            const float* src = g[k] + c0;
            _mm512_storeu_pd(buf.data() + (2 * k + part) * L, _mm512_cvtps_pd(_mm256_loadu_ps(src)));
            _mm512_storeu_pd(buf2.data() + (2 * k + part) * L, _mm512_cvtps_pd(_mm256_loadu_ps(src + L)));
        }
    }
    const double* out = Stages8(buf.data(), tmp.data(), n, bits);
    const double* out2 = Stages8(buf2.data(), tmp2.data(), n, bits);
    for (int part = 0; part < 2; ++part) {
        float* const* g = part == 0 ? re : im;
        for (int32_t k = 0; k < n; ++k) {
            float* dst = g[k] + c0;
            _mm256_storeu_ps(dst, _mm512_cvtpd_ps(_mm512_loadu_pd(out + (2 * k + part) * L)));
            _mm256_storeu_ps(dst + L, _mm512_cvtpd_ps(_mm512_loadu_pd(out2 + (2 * k + part) * L)));
        }
    }
}

__attribute__((target("avx512f,avx512dq"))) void LanesFFT2D8(float* const* re, float* const* im, int32_t n,
                                                           int32_t bits)
{
    constexpr int32_t L = 8;
    const size_t len = static_cast<size_t>(2 * n * L);
    // groups of eight rows, then of eight or sixteen columns, as units of the pool;
    // each range has buffers of its own
    const int32_t rowGroups = n / L;
    ParallelFor(rowGroups, GrainFor(rowGroups), [&](int64_t g0, int64_t g1) {
        TLaneBuffer buf(len), tmp(len);
        for (auto g = static_cast<int32_t>(g0); g < g1; ++g) RowGroup8(re, im, g * L, n, bits, buf.data(), tmp.data());
    });
    if (n < 2 * L) {
        TLaneBuffer buf(len), tmp(len);
        for (int32_t c0 = 0; c0 < n; c0 += L)
            ColumnGroup<VD8, VF8, Stages8>(re, im, c0, n, bits, buf.data(), tmp.data());
        return;
    }
    // columns sixteen at a time: a whole cache line of every row per visit
    const int32_t colGroups = n / (2 * L);
    ParallelFor(colGroups, GrainFor(colGroups), [&](int64_t g0, int64_t g1) {
        TLaneBuffer buf(len), tmp(len), buf2(len), tmp2(len);
        for (auto g = static_cast<int32_t>(g0); g < g1; ++g) ColumnPair8(re, im, g * 2 * L, n, bits, buf, tmp, buf2, tmp2);
    });
}
#endif

#if defined(MORVANE_FOURIER_LANES)
// ---- four lanes with AVX2
//
// The same stages and the same checks for processors without AVX-512: comparisons
// give vectors instead of mask registers, and the unsigned comparisons are made of
// signed ones.

#define MV_AVX2 __attribute__((target("avx2"), always_inline)) inline

MV_AVX2 __m256d Abs4(__m256d v)
{
    return _mm256_castsi256_pd(_mm256_and_si256(_mm256_castpd_si256(v), _mm256_set1_epi64x(0x7fffffffffffffffLL)));
}

MV_AVX2 __m256d Neg4(__m256d v)
{
    return _mm256_castsi256_pd(
        _mm256_xor_si256(_mm256_castpd_si256(v), _mm256_set1_epi64x(static_cast<long long>(0x8000000000000000ULL))));
}

MV_AVX2 __m256d Binade4(__m256d v)
{
    return _mm256_castsi256_pd(_mm256_and_si256(_mm256_castpd_si256(v), _mm256_set1_epi64x(0x7ff0000000000000LL)));
}

MV_AVX2 __m256d ToFloat4(__m256d v) { return _mm256_cvtps_pd(_mm256_cvtpd_ps(v)); }

MV_AVX2 unsigned Bits4(__m256d mask) { return static_cast<unsigned>(_mm256_movemask_pd(mask)); }

MV_AVX2 void TwoSum4(__m256d a, __m256d b, __m256d& s, __m256d& e)
{
    s = _mm256_add_pd(a, b);
    const __m256d bb = _mm256_sub_pd(s, a);
    e = _mm256_add_pd(_mm256_sub_pd(a, _mm256_sub_pd(s, bb)), _mm256_sub_pd(b, bb));
}

// Tail64 with four lanes.
MV_AVX2 __m256d Tail64x4(__m256d s, __m256d e)
{
    const __m256d zero = _mm256_setzero_pd();
    const __m256d p = Binade4(s);
    __m256d u = _mm256_mul_pd(p, _mm256_set1_pd(0x1p-63));
    const __m256d lower = _mm256_and_pd(_mm256_cmp_pd(Abs4(s), p, _CMP_EQ_OQ),
                                        _mm256_cmp_pd(_mm256_mul_pd(s, e), zero, _CMP_LT_OQ));
    u = _mm256_blendv_pd(u, _mm256_mul_pd(u, _mm256_set1_pd(0.5)), lower);
    const __m256d m = _mm256_mul_pd(u, _mm256_set1_pd(0x1.8p52));
    return _mm256_sub_pd(_mm256_add_pd(e, m), m);
}

// Replay8 with four lanes.
MV_AVX2 __m256d Replay4(__m256d x, __m256d p, __m256d q, __m256d fast, unsigned& unsettled)
{
    const __m256d zero = _mm256_setzero_pd();
    __m256d u1, e1, a, b, c, dd, s2, e2;
    TwoSum4(x, p, u1, e1);
    const __m256d r1 = Tail64x4(u1, e1);
    TwoSum4(u1, q, a, b);
    TwoSum4(b, r1, c, dd);
    TwoSum4(a, c, s2, e2);
    const __m256d r2 = Tail64x4(s2, e2);
    const __m256d f0 = ToFloat4(s2);
    const __m256d diff = _mm256_sub_pd(s2, f0);
    const __m256d g = _mm256_add_pd(f0, _mm256_add_pd(diff, diff));
    const __m256d mid = _mm256_and_pd(_mm256_cmp_pd(diff, zero, _CMP_NEQ_OQ), _mm256_cmp_pd(ToFloat4(g), g, _CMP_EQ_OQ));
    const __m256d push = _mm256_and_pd(mid, _mm256_cmp_pd(_mm256_mul_pd(r2, diff), zero, _CMP_GT_OQ));
    __m256d r = _mm256_blendv_pd(f0, g, push);
    const __m256d exact = _mm256_and_pd(_mm256_cmp_pd(e1, zero, _CMP_EQ_OQ), _mm256_cmp_pd(b, zero, _CMP_EQ_OQ));
    r = _mm256_blendv_pd(r, fast, exact);
    const unsigned open = Bits4(_mm256_cmp_pd(dd, zero, _CMP_NEQ_UQ)) | Bits4(_mm256_cmp_pd(s2, zero, _CMP_EQ_UQ)) |
                          Bits4(_mm256_cmp_pd(Abs4(f0), _mm256_set1_pd(0x1.fffffep127), _CMP_NLE_UQ));
    unsettled |= open & ~Bits4(exact) & 0xFu;
    return r;
}

// Checked8 with four lanes; ok gets the lanes it vouches for.
template <bool Subtract>
MV_AVX2 __m256d Checked4(__m256d x, __m256d p, __m256d q, unsigned& ok)
{
    const __m256d u1 = _mm256_add_pd(x, p);
    const __m256d u2 = Subtract ? _mm256_sub_pd(u1, q) : _mm256_add_pd(u1, q);
    const __m256i absMask = _mm256_set1_epi64x(0x7fffffffffffffffLL);
    const __m256i b1 = _mm256_and_si256(_mm256_castpd_si256(u1), absMask);
    const __m256i b2 = _mm256_and_si256(_mm256_castpd_si256(u2), absMask);
    const __m256i shifted = _mm256_and_si256(
        _mm256_add_epi64(_mm256_castpd_si256(u2), _mm256_set1_epi64x((1LL << 13) - (1LL << 28))),
        _mm256_set1_epi64x((1LL << 29) - 1));
    const __m256i far = _mm256_cmpgt_epi64(shifted, _mm256_set1_epi64x(1LL << 14));
    const __m256i noCancellation = _mm256_cmpgt_epi64(_mm256_add_epi64(b2, _mm256_set1_epi64x(11LL << 52)), b1);
    const __m256i normal = _mm256_and_si256(_mm256_cmpgt_epi64(b2, _mm256_set1_epi64x((897LL << 52) - 1)),
                                            _mm256_cmpgt_epi64(_mm256_set1_epi64x(1150LL << 52), b2));
    ok = Bits4(_mm256_castsi256_pd(_mm256_and_si256(_mm256_and_si256(far, noCancellation), normal)));
    return ToFloat4(u2);
}

MV_AVX2 __m256d Settle4(__m256d x, __m256d p, __m256d q, __m256d f, unsigned ok, unsigned& unsettled)
{
    const __m256d zero = _mm256_setzero_pd();  // all-zero lanes: see Settle8
    ok |= Bits4(_mm256_and_pd(_mm256_and_pd(_mm256_cmp_pd(x, zero, _CMP_EQ_OQ), _mm256_cmp_pd(p, zero, _CMP_EQ_OQ)),
                              _mm256_cmp_pd(q, zero, _CMP_EQ_OQ)));
    if (ok == 0xFu) return f;
    unsigned open = 0;
    const __m256d r = Replay4(x, p, q, f, open);
    unsettled |= open & ~ok;
    const __m256i sel = _mm256_set_epi64x((ok & 8u) ? -1 : 0, (ok & 4u) ? -1 : 0, (ok & 2u) ? -1 : 0, (ok & 1u) ? -1 : 0);
    return _mm256_blendv_pd(r, f, _mm256_castsi256_pd(sel));
}

// Stages8 with four lanes (element k of lane l at [2k 4 + l] and [(2k + 1) 4 + l]).
__attribute__((target("avx2"))) double* Stages4(double* buf, double* tmp, int32_t n, int32_t bits)
{
    constexpr int32_t L = 4;
    double* a = buf;
    double* b = tmp;
    const double* cs = CosD.data();
    const double* sn = SinD.data();
    const int32_t* rev = Reversed.data();
    const __m256d inf = _mm256_set1_pd(__builtin_inf());
    int32_t h = n;
    for (int32_t s = 1; s <= bits; ++s) {
        h /= 2;
        int32_t j = 0;
        const int32_t groups = int32_t{1} << (s - 1);
        for (int32_t g = 0; g < groups; ++g) {
            const int32_t d = rev[2 * g], e = rev[2 * g + 1];
            const __m256d cd = _mm256_set1_pd(cs[d]), sd = _mm256_set1_pd(sn[d]);
            const __m256d ce = _mm256_set1_pd(cs[e]), se = _mm256_set1_pd(sn[e]);
            const bool unit = cs[d] == 1.0 && sn[d] == 0.0;  // see Stages8
            for (int32_t t = 0; t < h; ++t, ++j) {
                const int32_t f = j + h;
                const int32_t jo = s == bits ? rev[j] : j, fo = s == bits ? rev[f] : f;
                const __m256d xr = _mm256_loadu_pd(a + 2 * j * L), xi = _mm256_loadu_pd(a + (2 * j + 1) * L);
                const __m256d yr = _mm256_loadu_pd(a + 2 * f * L), yi = _mm256_loadu_pd(a + (2 * f + 1) * L);
                const __m256d p1 = _mm256_mul_pd(cd, yr), q1 = _mm256_mul_pd(sd, yi);
                const __m256d p2 = _mm256_mul_pd(cd, yi), m2 = _mm256_mul_pd(sd, yr);
                const __m256d p3 = _mm256_mul_pd(ce, yr), q3 = _mm256_mul_pd(se, yi);
                const __m256d p4 = _mm256_mul_pd(ce, yi), m4 = _mm256_mul_pd(se, yr);
                unsigned ok1, ok2, ok3, ok4;
                __m256d jr, ji;
                if (unit) {
                    const __m256d ur = _mm256_add_pd(_mm256_add_pd(xr, p1), q1);
                    const __m256d ui = _mm256_sub_pd(_mm256_add_pd(xi, p2), m2);
                    ok1 = Bits4(_mm256_cmp_pd(Abs4(ur), inf, _CMP_LT_OQ));
                    ok2 = Bits4(_mm256_cmp_pd(Abs4(ui), inf, _CMP_LT_OQ));
                    jr = ToFloat4(ur);
                    ji = ToFloat4(ui);
                } else {
                    jr = Checked4<false>(xr, p1, q1, ok1);
                    ji = Checked4<true>(xi, p2, m2, ok2);
                }
                __m256d fr = Checked4<false>(xr, p3, q3, ok3);
                __m256d fi = Checked4<true>(xi, p4, m4, ok4);
                unsigned unsettled = 0;
                if ((ok1 & ok2 & ok3 & ok4) != 0xFu) [[unlikely]] {
                    jr = Settle4(xr, p1, q1, jr, ok1, unsettled);
                    ji = Settle4(xi, p2, Neg4(m2), ji, ok2, unsettled);
                    fr = Settle4(xr, p3, q3, fr, ok3, unsettled);
                    fi = Settle4(xi, p4, Neg4(m4), fi, ok4, unsettled);
                }
                _mm256_storeu_pd(b + 2 * jo * L, jr);
                _mm256_storeu_pd(b + (2 * jo + 1) * L, ji);
                _mm256_storeu_pd(b + 2 * fo * L, fr);
                _mm256_storeu_pd(b + (2 * fo + 1) * L, fi);
                if (unsettled) [[unlikely]] {
                    for (int32_t l = 0; l < L; ++l)
                        if (unsettled & (1u << l)) PlainButterfly(a, b, j, f, jo, fo, d, e, L, l);
                }
            }
            j += h;
        }
        std::swap(a, b);
    }
    return a;
}

// Four rows of four doubles in v[0..3] become four columns.
MV_AVX2 void Transpose4(__m256d* v)
{
    const __m256d t0 = _mm256_unpacklo_pd(v[0], v[1]), t1 = _mm256_unpackhi_pd(v[0], v[1]);
    const __m256d t2 = _mm256_unpacklo_pd(v[2], v[3]), t3 = _mm256_unpackhi_pd(v[2], v[3]);
    v[0] = _mm256_permute2f128_pd(t0, t2, 0x20);
    v[1] = _mm256_permute2f128_pd(t1, t3, 0x20);
    v[2] = _mm256_permute2f128_pd(t0, t2, 0x31);
    v[3] = _mm256_permute2f128_pd(t1, t3, 0x31);
}

__attribute__((target("avx2"))) void RowGroup4(float* const* re, float* const* im, int32_t r0, int32_t n, int32_t bits, double* buf,
                       double* tmp)
{
    constexpr int32_t L = 4;
    __m256d v[4];
    for (int part = 0; part < 2; ++part) {
        float* const* g = part == 0 ? re : im;
        for (int32_t k0 = 0; k0 < n; k0 += 4) {
            for (int l = 0; l < 4; ++l) v[l] = _mm256_cvtps_pd(_mm_loadu_ps(g[r0 + l] + k0));
            Transpose4(v);
            for (int m = 0; m < 4; ++m) _mm256_storeu_pd(buf + (2 * (k0 + m) + part) * L, v[m]);
        }
    }
    const double* sorted = Stages4(buf, tmp, n, bits);
    for (int part = 0; part < 2; ++part) {
        float* const* g = part == 0 ? re : im;
        for (int32_t m0 = 0; m0 < n; m0 += 4) {
            for (int m = 0; m < 4; ++m) v[m] = _mm256_loadu_pd(sorted + (2 * (m0 + m) + part) * L);
            Transpose4(v);
            for (int l = 0; l < 4; ++l) _mm_storeu_ps(g[r0 + l] + m0, _mm256_cvtpd_ps(v[l]));
        }
    }
}

// Columns c0..c0+15 of (re, im), transformed in place as four groups of four.
__attribute__((target("avx2"))) void ColumnQuad4(float* const* re, float* const* im, int32_t c0, int32_t n, int32_t bits,
                         std::vector<TLaneBuffer>& bufs, std::vector<TLaneBuffer>& tmps)
{
    constexpr int32_t L = 4;
    for (int part = 0; part < 2; ++part) {
        float* const* g = part == 0 ? re : im;
        for (int32_t k = 0; k < n; ++k) {
            const float* src = g[k] + c0;
            for (int q = 0; q < 4; ++q)
                _mm256_storeu_pd(bufs[q].data() + (2 * k + part) * L, _mm256_cvtps_pd(_mm_loadu_ps(src + q * L)));
        }
    }
    const double* out[4];
    for (int q = 0; q < 4; ++q) out[q] = Stages4(bufs[q].data(), tmps[q].data(), n, bits);
    for (int part = 0; part < 2; ++part) {
        float* const* g = part == 0 ? re : im;
        for (int32_t k = 0; k < n; ++k) {
            float* dst = g[k] + c0;
            for (int q = 0; q < 4; ++q)
                _mm_storeu_ps(dst + q * L, _mm256_cvtpd_ps(_mm256_loadu_pd(out[q] + (2 * k + part) * L)));
        }
    }
}

__attribute__((target("avx2"))) void LanesFFT2D4(float* const* re, float* const* im, int32_t n, int32_t bits)
{
    constexpr int32_t L = 4;
    const size_t len = static_cast<size_t>(2 * n * L);
    const int32_t rowGroups = n / L;
    ParallelFor(rowGroups, GrainFor(rowGroups), [&](int64_t g0, int64_t g1) {
        TLaneBuffer buf(len), tmp(len);
        for (auto g = static_cast<int32_t>(g0); g < g1; ++g) RowGroup4(re, im, g * L, n, bits, buf.data(), tmp.data());
    });
    if (n < 4 * L) {
        TLaneBuffer buf(len), tmp(len);
        for (int32_t c0 = 0; c0 < n; c0 += L)
            ColumnGroup<VD4, VF4, Stages4>(re, im, c0, n, bits, buf.data(), tmp.data());
        return;
    }
    // columns sixteen at a time, as with eight lanes
    const int32_t colGroups = n / (4 * L);
    ParallelFor(colGroups, GrainFor(colGroups), [&](int64_t g0, int64_t g1) {
        std::vector<TLaneBuffer> bufs, tmps;
        for (int q = 0; q < 4; ++q) {
            bufs.emplace_back(len);
            tmps.emplace_back(len);
        }
        for (auto g = static_cast<int32_t>(g0); g < g1; ++g) ColumnQuad4(re, im, g * 4 * L, n, bits, bufs, tmps);
    });
}
#endif

}  // namespace

void SetFFTPath(TFFTPath path) { ChosenPath = path; }

bool FFTPathAvailable(TFFTPath path)
{
    switch (path) {
    case TFFTPath::Auto:
    case TFFTPath::Plain:
        return true;
#if defined(MORVANE_FOURIER_LANES)
    case TFFTPath::Lanes4:
        return __builtin_cpu_supports("avx2");
    case TFFTPath::Lanes8:
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq");
#else
    default:
        return false;
#endif
    }
    return false;
}

int32_t BitReverse(int32_t n, int32_t a)
{
    int32_t result = 0;
    for (int32_t i = 0; i < n; ++i) {
        result = 2 * result + (a & 1);
        a >>= 1;
    }
    return result;
}

void FFT1D(float* re, float* im)
{
    const int32_t n = FFTSize;
    if (n < 1 || static_cast<int32_t>(CosTable.size()) < n) return;
    struct TComplex {
        float Re, Im;
    };
    std::vector<TComplex> buffer(2 * static_cast<size_t>(n));
    TComplex* rows[2] = {buffer.data(), buffer.data() + n};
    for (int32_t k = 0; k < n; ++k) rows[0][k] = {re[k], im[k]};
    int a = 0, b = 1;
    int32_t h = n;
    const float* C = CosTable.data();
    const float* S = SinTable.data();
    for (int32_t s = 1; s <= FFTBits; ++s) {
        h /= 2;
        int32_t j = 0;
        for (int32_t g = 0; g < (int32_t{1} << (s - 1)); ++g) {
            const int32_t d = BitReverse(FFTBits, 2 * g), e = BitReverse(FFTBits, 2 * g + 1);
            for (int32_t t = 0; t < h; ++t) {
                const int32_t f = j + h;
                const TComplex x = rows[a][j], y = rows[a][f];
                using LD = long double;
                rows[b][j].Re = static_cast<float>(LD(x.Re) + LD(C[d]) * LD(y.Re) + LD(S[d]) * LD(y.Im));
                rows[b][j].Im = static_cast<float>(LD(x.Im) + LD(C[d]) * LD(y.Im) - LD(S[d]) * LD(y.Re));
                rows[b][f].Re = static_cast<float>(LD(x.Re) + LD(C[e]) * LD(y.Re) + LD(S[e]) * LD(y.Im));
                rows[b][f].Im = static_cast<float>(LD(x.Im) + LD(C[e]) * LD(y.Im) - LD(S[e]) * LD(y.Re));
                ++j;
            }
            j += h;
        }
        std::swap(a, b);
    }
    for (int32_t k = 0; k < n; ++k) {
        const int32_t to = BitReverse(FFTBits, k);
        re[to] = rows[a][k].Re;
        im[to] = rows[a][k].Im;
    }
}

void FFT2D(float* const* re, float* const* im, int32_t bits, bool flag)
{
    if (bits < 0 || bits > 11) throw ERangeError();
    // the tables are shared: one transform at a time (its rows and columns still go to
    // every thread of the pool)
    static std::mutex one;
    std::lock_guard lock(one);
    BuildTables(bits);
    const int32_t n = FFTSize;
    if (flag) {
        SwapQuadrants(re, n);
        SwapQuadrants(im, n);
    }
    bool done = false;
#if defined(MORVANE_FOURIER_LANES)
    const TFFTPath path = ChosenPath == TFFTPath::Auto ? (FFTPathAvailable(TFFTPath::Lanes8)   ? TFFTPath::Lanes8
                                                          : FFTPathAvailable(TFFTPath::Lanes4) ? TFFTPath::Lanes4
                                                                                               : TFFTPath::Plain)
                                                       : ChosenPath;
    if (path == TFFTPath::Lanes8 && n >= 8 && FFTPathAvailable(path)) {
        LanesFFT2D8(re, im, n, bits);
        done = true;
    } else if (path == TFFTPath::Lanes4 && n >= 4 && FFTPathAvailable(path)) {
        LanesFFT2D4(re, im, n, bits);
        done = true;
    }
#endif
    if (!done) PlainFFT2D(re, im, n);
    SwapQuadrants(re, n);
    SwapQuadrants(im, n);
}

void FFT2D(TQTVPicture& re, TQTVPicture& im, int32_t bits, bool flag)
{
    if (bits < 0 || bits > 11) throw ERangeError();
    const int32_t n = int32_t{1} << bits;
    if (!re.HasData() || !im.HasData() || re.Rows < n || re.Cols < n || im.Rows < n || im.Cols < n)
        throw ERangeError();
    std::vector<float*> pr(static_cast<size_t>(n)), pi(static_cast<size_t>(n));
    for (int32_t r = 0; r < n; ++r) {
        pr[static_cast<size_t>(r)] = re.Data[r];
        pi[static_cast<size_t>(r)] = im.Data[r];
    }
    FFT2D(pr.data(), pi.data(), bits, flag);
}
