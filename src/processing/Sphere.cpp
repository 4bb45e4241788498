#include "processing/Sphere.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "core/Messages.h"
#include "core/Threads.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define MORVANE_SPHERE_AVX2 1
#endif

double UnitPrefixFactor(const std::string& unit)
{
    if (unit.empty()) return 1;
    switch (static_cast<unsigned char>(unit[0])) {
    case 'm': return 1e-3;
    case 0xB5: return 1e-6;
    case 'n': return 1e-9;
    default: return 1;
    }
}

TSphereRadius AcceptSphereRadius(double radius, const TQTVPicture& source)
{
    TSphereRadius out;
    out.Radius = radius;
    const int32_t h = source.Cols / 2;
    const double pixels = std::nearbyint(radius / source.Para.XScanRange * source.Cols);
    // a radius that gives no pixel count at all (no scan range, not a number) is cut
    // back like one beyond a quarter of the width
    if (!(pixels <= h / 2.0)) {
        out.Pixels = h / 2;
        out.Radius = out.Pixels * source.Para.XScanRange / source.Cols;
        out.CutBack = true;
    } else {
        out.Pixels = static_cast<int32_t>(std::max(pixels, -1.0 * MaxPixels));
    }
    return out;
}

namespace {

// The largest pixel radius a run builds a table for: twice what a quarter of the widest
// image gives.
constexpr int32_t MaxElementRadius = MaxPixels / 2;

}  // namespace

TSphereElement MakeSphereElement(double radius, const TQTVPicture& source)
{
    TSphereElement e;
    const double r = std::nearbyint(radius / source.Para.XScanRange * source.Cols + 1);
    if (!(r >= 0 && r <= MaxElementRadius)) return e;
    e.R = static_cast<int32_t>(r);
    e.Scale = (radius / e.R) * UnitPrefixFactor(source.Para.XPhysUnit) / UnitPrefixFactor(source.Para.PhysUnit);
    const int32_t d = 2 * e.R + 1;
    try {
        e.S.assign(static_cast<size_t>(d) * static_cast<size_t>(d), 0.0);
    } catch (const std::bad_alloc&) {
        e.S.clear();
        return e;
    }
    for (int32_t i = 0; i < d; ++i)
        for (int32_t j = 0; j < d; ++j) {
            const int64_t q = int64_t{e.R} * e.R + 1 - int64_t{i - e.R} * (i - e.R) - int64_t{j - e.R} * (j - e.R);
            if (q >= 0)
                e.S[static_cast<size_t>(i) * static_cast<size_t>(d) + static_cast<size_t>(j)] =
                    e.Scale * (e.R + 1 - std::sqrt(static_cast<double>(q)));
        }
    e.Valid = true;
    return e;
}

namespace {

// The border reflection of an index: |k|, mirrored at the last index, and kept inside
// 0..n - 1 where the element reaches beyond a whole mirrored image.
inline int32_t Reflect(int32_t k, int32_t n)
{
    k = std::abs(k);
    if (k > n - 1) k = 2 * (n - 1) - k;
    return std::clamp(k, 0, n - 1);
}

struct TEntry {
    int32_t I, J;
    double S;
};

// The source with every row widened by r reflected columns on either side, so that
// column x + j - r of the element's view is entry x + j of the padded row.
struct TPadded {
    int32_t Len = 0;  // Cols + 2r
    std::vector<float> Cells;
    const float* Row(int32_t y) const { return Cells.data() + static_cast<size_t>(y) * static_cast<size_t>(Len); }
};

TPadded PadSource(const TQTVPicture& source, int32_t r)
{
    TPadded p;
    p.Len = source.Cols + 2 * r;
    // a spare block at the end for the vector loads of the last row
    p.Cells.assign(static_cast<size_t>(source.Rows) * static_cast<size_t>(p.Len) + 16, 0.0f);
    for (int32_t y = 0; y < source.Rows; ++y) {
        const float* s = source.Data[y];
        float* d = p.Cells.data() + static_cast<size_t>(y) * static_cast<size_t>(p.Len);
        for (int32_t k = 0; k < p.Len; ++k) d[k] = s[Reflect(k - r, source.Cols)];
    }
    return p;
}

// The entries in groups of up to GroupLen neighbours along one element row, each with
// its smallest depth and its column offsets; the groups in order of their smallest
// depth, so that the shallow middle of the ball raises the running maximum first.
// The maximum does not depend on the order its candidates come in: they are never
// -0 (an entry is never 0), and equal candidates have equal bits.
constexpr size_t GroupLen = 32;

struct TGroup {
    int32_t I = 0, JLo = 0, JHi = 0;
    double SMin = 0;
    size_t Begin = 0, End = 0;  // entries [Begin, End)
};

std::vector<TGroup> GroupEntries(std::vector<TEntry>& entries)
{
    std::vector<TGroup> groups;
    for (size_t k = 0; k < entries.size();) {
        TGroup g;
        g.I = entries[k].I;
        g.JLo = entries[k].J;
        g.Begin = k;
        g.SMin = entries[k].S;
        while (k < entries.size() && entries[k].I == g.I && k - g.Begin < GroupLen) {
            g.SMin = std::min(g.SMin, entries[k].S);
            g.JHi = entries[k].J;
            ++k;
        }
        g.End = k;
        groups.push_back(g);
    }
    std::stable_sort(groups.begin(), groups.end(), [](const TGroup& a, const TGroup& b) { return a.SMin < b.SMin; });
    std::vector<TEntry> ordered;
    ordered.reserve(entries.size());
    for (TGroup& g : groups) {
        const size_t begin = ordered.size();
        ordered.insert(ordered.end(), entries.begin() + static_cast<std::ptrdiff_t>(g.Begin),
                       entries.begin() + static_cast<std::ptrdiff_t>(g.End));
        g.Begin = begin;
        g.End = ordered.size();
    }
    entries.swap(ordered);
    return groups;
}

// The largest sample of every ChunkLen consecutive ones of each padded row (not-a-number
// samples left out; -inf for none): bounds of what a group can reach.
constexpr int32_t ChunkLen = 8;

struct TChunkMax {
    int32_t PerRow = 0;
    std::vector<float> Max;
    const float* Row(int32_t y) const { return Max.data() + static_cast<size_t>(y) * static_cast<size_t>(PerRow); }
};

TChunkMax ChunkMaxima(const TPadded& pad, int32_t rows)
{
    TChunkMax m;
    m.PerRow = (pad.Len + ChunkLen - 1) / ChunkLen;
    m.Max.assign(static_cast<size_t>(rows) * static_cast<size_t>(m.PerRow), -std::numeric_limits<float>::infinity());
    ParallelFor(rows, GrainFor(rows), [&](int64_t y0, int64_t y1) {
        for (auto y = static_cast<int32_t>(y0); y < y1; ++y) {
            const float* src = pad.Row(y);
            float* dst = m.Max.data() + static_cast<size_t>(y) * static_cast<size_t>(m.PerRow);
            for (int32_t k = 0; k < pad.Len; ++k) {
                float& c = dst[k / ChunkLen];
                if (src[k] > c) c = src[k];
            }
        }
    });
    return m;
}

inline float Finish(float s, double w, bool lowpass)
{
    const float low = static_cast<float>(w);
    return lowpass ? low : s - low;
}

// Columns x0..x1 - 1 of one row, one column at a time.
void RowPlain(const std::vector<const float*>& rows, const std::vector<TEntry>& entries, const float* self,
              float* out, int32_t x0, int32_t x1, bool lowpass)
{
    for (int32_t x = x0; x < x1; ++x) {
        double w = self[x];
        for (const TEntry& e : entries) {
            const double v = static_cast<double>(rows[static_cast<size_t>(e.I)][x + e.J]) - e.S;
            if (v > w) w = v;
        }
        out[x] = Finish(self[x], w, lowpass);
    }
}

#ifdef MORVANE_SPHERE_AVX2
// Sixteen columns at a time in four vectors of doubles; the same subtractions and
// comparisons as the plain loop, so the results are identical. A group none of whose
// candidates can beat the running maximum of any of the sixteen columns is left out:
// its candidates are at most (the largest sample under it) - (its smallest depth), as
// rounding keeps the order of differences.
__attribute__((target("avx2"))) int32_t RowAvx2(const std::vector<const float*>& rows,
                                                 const std::vector<const float*>& chunkRows,
                                                 const std::vector<TEntry>& entries,
                                                 const std::vector<TGroup>& groups, const float* self,
                                                 float* out, int32_t cols, bool lowpass)
{
    int32_t x = 0;
    for (; x + 16 <= cols; x += 16) {
        __m256d w0 = _mm256_cvtps_pd(_mm_loadu_ps(self + x));
        __m256d w1 = _mm256_cvtps_pd(_mm_loadu_ps(self + x + 4));
        __m256d w2 = _mm256_cvtps_pd(_mm_loadu_ps(self + x + 8));
        __m256d w3 = _mm256_cvtps_pd(_mm_loadu_ps(self + x + 12));
        for (const TGroup& g : groups) {
            // padded columns x + JLo .. x + 15 + JHi
            const float* chunks = chunkRows[static_cast<size_t>(g.I)];
            const int32_t c1 = (x + 15 + g.JHi) / ChunkLen;
            float top = -std::numeric_limits<float>::infinity();
            for (int32_t c = (x + g.JLo) / ChunkLen; c <= c1; ++c) top = chunks[c] > top ? chunks[c] : top;
            const __m256d bound = _mm256_set1_pd(static_cast<double>(top) - g.SMin);
            const __m256d below = _mm256_and_pd(
                _mm256_and_pd(_mm256_cmp_pd(bound, w0, _CMP_LE_OQ), _mm256_cmp_pd(bound, w1, _CMP_LE_OQ)),
                _mm256_and_pd(_mm256_cmp_pd(bound, w2, _CMP_LE_OQ), _mm256_cmp_pd(bound, w3, _CMP_LE_OQ)));
            if (_mm256_movemask_pd(below) == 0xF) continue;
            const float* base = rows[static_cast<size_t>(g.I)] + x;
            for (size_t k = g.Begin; k < g.End; ++k) {
                const TEntry& e = entries[k];
                const float* p = base + e.J;
                const __m256d s = _mm256_set1_pd(e.S);
                // max(v, w) is v when v > w, else w (w also when v is not a number)
                w0 = _mm256_max_pd(_mm256_sub_pd(_mm256_cvtps_pd(_mm_loadu_ps(p)), s), w0);
                w1 = _mm256_max_pd(_mm256_sub_pd(_mm256_cvtps_pd(_mm_loadu_ps(p + 4)), s), w1);
                w2 = _mm256_max_pd(_mm256_sub_pd(_mm256_cvtps_pd(_mm_loadu_ps(p + 8)), s), w2);
                w3 = _mm256_max_pd(_mm256_sub_pd(_mm256_cvtps_pd(_mm_loadu_ps(p + 12)), s), w3);
            }
        }
        __m128 low[4] = {_mm256_cvtpd_ps(w0), _mm256_cvtpd_ps(w1), _mm256_cvtpd_ps(w2), _mm256_cvtpd_ps(w3)};
        for (int k = 0; k < 4; ++k) {
            const __m128 v = lowpass ? low[k] : _mm_sub_ps(_mm_loadu_ps(self + x + 4 * k), low[k]);
            _mm_storeu_ps(out + x + 4 * k, v);
        }
    }
    return x;
}

bool HaveAvx2()
{
    static const bool have = __builtin_cpu_supports("avx2");
    return have;
}
#endif

}  // namespace

TSphereOutcome SphereFilter(const TQTVPicture& source, TQTVPicture& working, double radius, bool lowpass,
                            const TSphereProgress& progress)
{
    if (!source.HasData()) return TSphereOutcome::Failed;
    const TSphereElement el = MakeSphereElement(radius, source);
    if (!el.Valid) {
        ShowMessage("Error in Sphere-Init.");
        return TSphereOutcome::Failed;
    }
    const int32_t r = el.R, d = 2 * r + 1, rows = source.Rows, cols = source.Cols;
    std::vector<TEntry> entries;
    for (int32_t i = 0; i < d; ++i)
        for (int32_t j = 0; j < d; ++j)
            if (el.At(i, j) != 0) entries.push_back({i, j, el.At(i, j)});

    const std::vector<TGroup> groups = GroupEntries(entries);
    const TPadded pad = PadSource(source, r);  // from here on the source is not read
    const TChunkMax chunkMax = ChunkMaxima(pad, rows);
    std::vector<float> out(static_cast<size_t>(rows) * static_cast<size_t>(cols));
    // rows are the units of the pool; progress is asked on this thread before each row
    // it takes (on one thread: before every row, with its index) and while it waits
    const auto row = [&](int32_t y, std::vector<const float*>& rowPtr, std::vector<const float*>& chunkPtr) {
        for (int32_t i = 0; i < d; ++i) {
            rowPtr[static_cast<size_t>(i)] = pad.Row(Reflect(y + i - r, rows));
            chunkPtr[static_cast<size_t>(i)] = chunkMax.Row(Reflect(y + i - r, rows));
        }
        const float* self = pad.Row(y) + r;
        float* o = out.data() + static_cast<size_t>(y) * static_cast<size_t>(cols);
        int32_t done = 0;
#ifdef MORVANE_SPHERE_AVX2
        if (HaveAvx2()) done = RowAvx2(rowPtr, chunkPtr, entries, groups, self, o, cols, lowpass);
#endif
        RowPlain(rowPtr, entries, self, o, done, cols, lowpass);
    };
    const bool complete = ParallelFor(
        rows, 1,
        [&](int64_t y0, int64_t y1) {
            std::vector<const float*> rowPtr(static_cast<size_t>(d)), chunkPtr(static_cast<size_t>(d));
            for (auto y = static_cast<int32_t>(y0); y < y1; ++y) row(y, rowPtr, chunkPtr);
        },
        progress ? TTick([&](int64_t done) { return progress(static_cast<int32_t>(std::min<int64_t>(done, rows - 1))); })
                 : TTick());
    if (!complete) return TSphereOutcome::Cancelled;
    if (working.Cols != cols || working.Rows != rows || !working.HasData()) working.SetSize(cols, rows);
    if (!working.HasData()) return TSphereOutcome::Failed;
    std::memcpy(working.Data.Block(), out.data(), out.size() * sizeof(float));
    return TSphereOutcome::Done;
}

void SphereFilterPlain(const TQTVPicture& source, TQTVPicture& working, double radius, bool lowpass)
{
    if (!source.HasData()) return;
    const TSphereElement el = MakeSphereElement(radius, source);
    if (!el.Valid) {
        ShowMessage("Error in Sphere-Init.");
        return;
    }
    const int32_t r = el.R, d = 2 * r + 1, rows = source.Rows, cols = source.Cols;
    TQTVPicture result;
    result.SetSize(cols, rows);
    for (int32_t y = 0; y < rows; ++y)
        for (int32_t x = 0; x < cols; ++x) {
            double w = source.Data[y][x];
            for (int32_t i = 0; i < d; ++i)
                for (int32_t j = 0; j < d; ++j) {
                    const double s = el.At(i, j);
                    if (s == 0) continue;
                    const double v = static_cast<double>(source.Data[Reflect(y + i - r, rows)][Reflect(x + j - r, cols)]) - s;
                    if (v > w) w = v;
                }
            result.Data[y][x] = Finish(source.Data[y][x], w, lowpass);
        }
    working.SetSize(cols, rows);
    std::memcpy(working.Data.Block(), result.Data.Block(),
                static_cast<size_t>(rows) * static_cast<size_t>(cols) * sizeof(float));
}

void SwitchSphereResult(const TQTVPicture& source, TQTVPicture& working)
{
    if (!source.HasData() || working.Cols != source.Cols || working.Rows != source.Rows) return;
    const size_t n = static_cast<size_t>(source.Rows) * static_cast<size_t>(source.Cols);
    const float* s = source.Data.Block();
    float* w = working.Data.Block();
    for (size_t k = 0; k < n; ++k) w[k] = s[k] - w[k];
}
