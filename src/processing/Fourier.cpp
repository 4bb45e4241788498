// The Fourier module and the FFT view.
//
// FFT1D is the transform as it is defined: a ping-pong buffer, butterflies in
// extended precision rounded to floats, output in natural order. FFT2D gives exactly
// the same floats, but transforms several rows (and later several columns) side by
// side, one per vector lane, in double precision: every butterfly output is
// ((x + C*y1) + S*y2) with float x, y and table entries, whose products are exact in
// double as in extended precision; only the two additions round differently (53
// instead of 64 bits). Each output checks that both ways provably round to the same
// float (see RoundChecked); a group of rows or columns where one output cannot
// prove it is done again the plain way.
#include "processing/Fourier.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <utility>

#include "core/Errors.h"

#pragma GCC diagnostic ignored "-Wpsabi"

int32_t FFTSize = 0;
int32_t FFTBits = 0;
std::vector<float> CosTable;
std::vector<float> SinTable;

namespace {

// Tables of the fast path: the same twiddle factors as doubles and the bit reversal
// of every index.
std::vector<double> CosD, SinD;
std::vector<int32_t> Reversed;

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

// Swaps the quadrants of an N x N grid: rows i and i + N/2, then columns j and
// j + N/2. For even N both together exchange [i][j] with [i + N/2][j + N/2] and
// [i][j + N/2] with [i + N/2][j]; N = 1 stays as it is.
void SwapQuadrants(float* const* g, int32_t n)
{
    if (n < 2) return;
    const int32_t h = n / 2;
    for (int32_t i = 0; i < h; ++i) {
        float* lo = g[i];
        float* hi = g[i + h];
        std::swap_ranges(lo, lo + h, hi + h);
        std::swap_ranges(lo + h, lo + n, hi);
    }
}

void Transpose(float* const* g, int32_t n)
{
    for (int32_t i = 0; i < n; ++i)
        for (int32_t j = 0; j < i; ++j) std::swap(g[i][j], g[j][i]);
}

// The transform as defined, row by row through FFT1D with transposes between.
void PlainFFT2D(float* const* re, float* const* im, int32_t n)
{
    for (int32_t r = 0; r < n; ++r) FFT1D(re[r], im[r]);
    Transpose(re, n);
    Transpose(im, n);
    for (int32_t r = 0; r < n; ++r) FFT1D(re[r], im[r]);
    Transpose(re, n);
    Transpose(im, n);
}

// ------------------------------------------------------------------ side-by-side transforms

#define MV_INLINE __attribute__((always_inline)) inline

// ((x + p) + q) as the double way rounds it (u2), which RoundChecked turns into the
// float f = float(u2). The extended way rounds the same two additions to 64 bits and
// then to a float. Both lie within 2^-52 (|u1| + |u2|) of each other (the double
// roundings cost at most 2^-53 of each result, the extended ones 2^-64), and every
// float f has no rounding boundary nearer than 2^-25 |f|. So when
// |u2 - f| + 2^-51 (|u1| + |u2|) < 2^-25 |f|, the extended result rounds to f as
// well (the factor 2 on the bound covers the rounding of the test itself). When both
// additions give exact zeros both ways are exact, zero signs included. Any other lane
// is flagged.
template <class V, class VM, class VF>
MV_INLINE V RoundChecked(V x, V p, V q, VM& bad)
{
    const VM absMask = VM{} + 0x7fffffffffffffffLL;
    const V u1 = x + p;
    const V u2 = u1 + q;
    const V f = __builtin_convertvector(__builtin_convertvector(u2, VF), V);
    const V eps = (V)((VM)(u2 - f) & absMask);
    const V a1 = (V)((VM)u1 & absMask);
    const V a2 = (V)((VM)u2 & absMask);
    const V af = (V)((VM)f & absMask);
    const V t = (eps + (a1 + a2) * 0x1p-51) - af * 0x1p-25;
    const VM ok = (t < 0.0) | ((u1 == 0.0) & (u2 == 0.0));
    bad |= ~ok;
    return f;
}

// Transforms L rows side by side. buf holds element k of lane l at [2k L + l] (real)
// and [(2k + 1) L + l] (imaginary), as doubles; tmp is a second buffer of the same
// size. Returns the buffer with the result (element k in the order of the stages,
// that is, frequency Reversed[k]) and sets the lanes that must be done the plain way
// in badLanes.
template <class V, class VM, class VF>
MV_INLINE double* LanesFFT(double* buf, double* tmp, int32_t n, int32_t bits, unsigned& badLanes)
{
    constexpr int32_t L = sizeof(V) / sizeof(double);
    VM bad = VM{};
    double* a = buf;
    double* b = tmp;
    const double* cs = CosD.data();
    const double* sn = SinD.data();
    const int32_t* rev = Reversed.data();
    int32_t h = n;
    for (int32_t s = 1; s <= bits; ++s) {
        h /= 2;
        int32_t j = 0;
        const int32_t groups = int32_t{1} << (s - 1);
        for (int32_t g = 0; g < groups; ++g) {
            const int32_t d = rev[2 * g], e = rev[2 * g + 1];
            const V cd = V{} + cs[d], sd = V{} + sn[d], ce = V{} + cs[e], se = V{} + sn[e];
            for (int32_t t = 0; t < h; ++t, ++j) {
                const int32_t f = j + h;
                V xr, xi, yr, yi;
                std::memcpy(&xr, a + 2 * j * L, sizeof(V));
                std::memcpy(&xi, a + (2 * j + 1) * L, sizeof(V));
                std::memcpy(&yr, a + 2 * f * L, sizeof(V));
                std::memcpy(&yi, a + (2 * f + 1) * L, sizeof(V));
                const V jr = RoundChecked<V, VM, VF>(xr, cd * yr, sd * yi, bad);
                const V ji = RoundChecked<V, VM, VF>(xi, cd * yi, -(sd * yr), bad);
                const V fr = RoundChecked<V, VM, VF>(xr, ce * yr, se * yi, bad);
                const V fi = RoundChecked<V, VM, VF>(xi, ce * yi, -(se * yr), bad);
                std::memcpy(b + 2 * j * L, &jr, sizeof(V));
                std::memcpy(b + (2 * j + 1) * L, &ji, sizeof(V));
                std::memcpy(b + 2 * f * L, &fr, sizeof(V));
                std::memcpy(b + (2 * f + 1) * L, &fi, sizeof(V));
            }
            j += h;
        }
        std::swap(a, b);
    }
    long long lanes[L];
    std::memcpy(lanes, &bad, sizeof lanes);
    badLanes = 0;
    for (int32_t l = 0; l < L; ++l)
        if (lanes[l]) badLanes |= 1u << l;
    return a;
}

// Rows r0..r0+L-1 of (re, im), transformed in place.
template <class V, class VM, class VF>
MV_INLINE void RowGroup(float* const* re, float* const* im, int32_t r0, int32_t n, int32_t bits, double* buf,
                        double* tmp)
{
    constexpr int32_t L = sizeof(V) / sizeof(double);
    for (int32_t l = 0; l < L; ++l) {
        const float* pr = re[r0 + l];
        const float* pi = im[r0 + l];
        for (int32_t k = 0; k < n; ++k) {
            buf[2 * k * L + l] = pr[k];
            buf[(2 * k + 1) * L + l] = pi[k];
        }
    }
    unsigned badLanes = 0;
    const double* out = LanesFFT<V, VM, VF>(buf, tmp, n, bits, badLanes);
    const int32_t* rev = Reversed.data();
    for (int32_t l = 0; l < L; ++l) {
        float* pr = re[r0 + l];
        float* pi = im[r0 + l];
        if (badLanes & (1u << l)) {
            FFT1D(pr, pi);
            continue;
        }
        for (int32_t k = 0; k < n; ++k) {
            pr[rev[k]] = static_cast<float>(out[2 * k * L + l]);
            pi[rev[k]] = static_cast<float>(out[(2 * k + 1) * L + l]);
        }
    }
}

// Columns c0..c0+L-1 of (re, im), transformed in place.
template <class V, class VM, class VF>
MV_INLINE void ColumnGroup(float* const* re, float* const* im, int32_t c0, int32_t n, int32_t bits, double* buf,
                           double* tmp, float* colRe, float* colIm)
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
    unsigned badLanes = 0;
    const double* out = LanesFFT<V, VM, VF>(buf, tmp, n, bits, badLanes);
    const int32_t* rev = Reversed.data();
    if (badLanes) {
        // the flagged columns the plain way, from the samples still in place
        for (int32_t l = 0; l < L; ++l) {
            if (!(badLanes & (1u << l))) continue;
            for (int32_t k = 0; k < n; ++k) {
                colRe[k] = re[k][c0 + l];
                colIm[k] = im[k][c0 + l];
            }
            FFT1D(colRe, colIm);
            for (int32_t k = 0; k < n; ++k) {
                re[k][c0 + l] = colRe[k];
                im[k][c0 + l] = colIm[k];
            }
        }
    }
    for (int32_t k = 0; k < n; ++k) {
        V dr, di;
        std::memcpy(&dr, out + 2 * k * L, sizeof dr);
        std::memcpy(&di, out + (2 * k + 1) * L, sizeof di);
        VF fr = __builtin_convertvector(dr, VF), fi = __builtin_convertvector(di, VF);
        float* pr = re[rev[k]] + c0;
        float* pi = im[rev[k]] + c0;
        if (badLanes) {
            for (int32_t l = 0; l < L; ++l)
                if (!(badLanes & (1u << l))) {
                    pr[l] = fr[l];
                    pi[l] = fi[l];
                }
            continue;
        }
        std::memcpy(pr, &fr, sizeof fr);
        std::memcpy(pi, &fi, sizeof fi);
    }
}

template <class V, class VM, class VF>
MV_INLINE void LanesFFT2D(float* const* re, float* const* im, int32_t n, int32_t bits)
{
    constexpr int32_t L = sizeof(V) / sizeof(double);
    const size_t len = static_cast<size_t>(2 * n * L);
    std::vector<double> buf(len), tmp(len);
    std::vector<float> colRe(static_cast<size_t>(n)), colIm(static_cast<size_t>(n));
    for (int32_t r0 = 0; r0 < n; r0 += L) RowGroup<V, VM, VF>(re, im, r0, n, bits, buf.data(), tmp.data());
    for (int32_t c0 = 0; c0 < n; c0 += L)
        ColumnGroup<V, VM, VF>(re, im, c0, n, bits, buf.data(), tmp.data(), colRe.data(), colIm.data());
}

#if defined(__x86_64__) && defined(__GNUC__)
#define MORVANE_FOURIER_LANES 1
typedef double VD8 __attribute__((vector_size(64)));
typedef long long VM8 __attribute__((vector_size(64)));
typedef float VF8 __attribute__((vector_size(32)));
typedef double VD4 __attribute__((vector_size(32)));
typedef long long VM4 __attribute__((vector_size(32)));
typedef float VF4 __attribute__((vector_size(16)));

__attribute__((target("avx512f"))) void LanesFFT2D8(float* const* re, float* const* im, int32_t n, int32_t bits)
{
    LanesFFT2D<VD8, VM8, VF8>(re, im, n, bits);
}
__attribute__((target("avx2"))) void LanesFFT2D4(float* const* re, float* const* im, int32_t n, int32_t bits)
{
    LanesFFT2D<VD4, VM4, VF4>(re, im, n, bits);
}
#endif

// Sum over the marked samples, their mean subtracted from every sample: the mean
// leveling of the whole image.
// TODO: use LevelMean2D
void SubtractMarkedMean(TQTVPicture& pic)
{
    if (!pic.HasData()) return;
    double sum = 0.0;
    int64_t count = 0;
    for (int32_t r = 0; r < pic.Rows; ++r) {
        const float* row = pic.Data[r];
        for (int32_t c = 0; c < pic.Cols; ++c)
            if (pic.Marks[c][r] == 1) {
                sum += row[c];
                ++count;
            }
    }
    const double mean = count > 0 ? sum / static_cast<double>(count) : 0.0;
    for (int32_t r = 0; r < pic.Rows; ++r) {
        float* row = pic.Data[r];
        for (int32_t c = 0; c < pic.Cols; ++c) row[c] = static_cast<float>(row[c] - mean);
    }
}

}  // namespace

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
    BuildTables(bits);
    const int32_t n = FFTSize;
    if (flag) {
        SwapQuadrants(re, n);
        SwapQuadrants(im, n);
    }
    bool done = false;
#if defined(MORVANE_FOURIER_LANES)
    static const bool avx512 = __builtin_cpu_supports("avx512f");
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx512 && n >= 8) {
        LanesFFT2D8(re, im, n, bits);
        done = true;
    } else if (avx2 && n >= 4) {
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

int32_t FFTViewBits(int32_t rows, int32_t cols)
{
    const int32_t m = std::min(rows, cols);
    if (m < 1) return -1;
    int32_t bits = 0;
    while (bits < 11 && (int32_t{2} << bits) <= m) ++bits;
    return bits;
}

void FFTView(TQTVPicture& working, bool logarithmic, bool suppressZero)
{
    if (!working.HasData()) return;
    if (suppressZero) SubtractMarkedMean(working);
    const int32_t bits = FFTViewBits(working.Rows, working.Cols);
    if (bits < 0) return;
    const int32_t n = int32_t{1} << bits;
    const size_t nn = static_cast<size_t>(n);
    std::vector<float> re(nn * nn), im(nn * nn, 0.0f);
    std::vector<float*> pr(nn), pi(nn);
    for (int32_t r = 0; r < n; ++r) {
        pr[static_cast<size_t>(r)] = re.data() + static_cast<size_t>(r) * nn;
        pi[static_cast<size_t>(r)] = im.data() + static_cast<size_t>(r) * nn;
        std::memcpy(pr[static_cast<size_t>(r)], working.Data[r], nn * sizeof(float));
    }
    FFT2D(pr.data(), pi.data(), bits, working.Transformed);
    working.Transformed = !working.Transformed;
    for (int32_t r = 0; r < n; ++r) {
        float* row = working.Data[r];
        const float* a = pr[static_cast<size_t>(r)];
        const float* b = pi[static_cast<size_t>(r)];
        for (int32_t c = 0; c < n; ++c) {
            const double x = a[c], y = b[c];
            const double m = std::sqrt(x * x + y * y);
            row[c] = static_cast<float>(logarithmic ? std::log2(m) : m);
        }
    }
}
