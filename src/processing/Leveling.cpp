#include "processing/Leveling.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <exception>

#include "core/Messages.h"

namespace {

// Which samples take part in the fits: all, none, or those whose mark is 1 (laid out
// row-major, one byte a sample, so the fits read it along with the samples).
struct TFitSet {
    bool All = true;
    bool None = false;
    std::vector<uint8_t> Mask;
    int32_t Cols = 0;
    const uint8_t* Row(int32_t r) const { return Mask.data() + static_cast<size_t>(r) * Cols; }
};

TFitSet MakeFitSet(const TQTVPicture& pic)
{
    TFitSet set;
    set.Cols = pic.Cols;
    int32_t value = 0;
    if (pic.Marks.Uniform(value) && pic.Marks.Cols() == pic.Cols && pic.Marks.Rows() == pic.Rows) {
        set.All = value == 1;
        set.None = !set.All;
        return set;
    }
    set.All = false;
    set.Mask.assign(static_cast<size_t>(pic.Rows) * pic.Cols, 0);
    const int32_t mc = std::min(pic.Cols, pic.Marks.Cols());
    const int32_t mr = std::min(pic.Rows, pic.Marks.Rows());
    // column-major marks to row-major bytes, a band of rows at a time
    constexpr int32_t Band = 64;
    for (int32_t r0 = 0; r0 < mr; r0 += Band) {
        const int32_t r1 = std::min(mr, r0 + Band);
        for (int32_t c = 0; c < mc; ++c) {
            const int32_t* col = pic.Marks[c];
            for (int32_t r = r0; r < r1; ++r)
                set.Mask[static_cast<size_t>(r) * pic.Cols + c] = col[r] == 1;
        }
    }
    return set;
}

// Row pointer into the block (row 0 first).
inline float* RowOf(float* base, int32_t cols, int32_t r) { return base + static_cast<size_t>(r) * cols; }

// Sums of k, k^2 for k = 0..n-1 (exact integers in a double).
inline double SumK(int64_t n) { return static_cast<double>(n * (n - 1) / 2); }
inline double SumKK(int64_t n) { return static_cast<double>((n - 1) * n * (2 * n - 1) / 6); }

// Subtracts a + b k + c k^2 (k the column) from one row, in double.
// 0, 1, 2, ... as doubles, for loops the compiler vectorises.
const double* IndexTable()
{
    static const std::vector<double> table = [] {
        std::vector<double> t(MaxPixels);
        for (int32_t k = 0; k < MaxPixels; ++k) t[static_cast<size_t>(k)] = k;
        return t;
    }();
    return table.data();
}

inline void SubtractParabolaRow(float* row, int32_t cols, double a, double b, double c)
{
    const double* kd = IndexTable();
    for (int32_t k = 0; k < cols; ++k)
        row[k] = static_cast<float>(static_cast<double>(row[k]) - (a + b * kd[k] + c * (kd[k] * kd[k])));
}

// Parabola sums of one run of samples z[k * stride], k = 0..n-1, over the fitted ones
// (fit == nullptr: all; else fit[k * fitStride]).
struct TParSums {
    double N = 0, S1 = 0, S2 = 0, S3 = 0, S4 = 0, T0 = 0, T1 = 0, T2 = 0;
    void Add(double k, double z)
    {
        const double k2 = k * k;
        N += 1;
        S1 += k;
        S2 += k2;
        S3 += k2 * k;
        S4 += k2 * k2;  // exact, as the power is, for indices up to 2052
        T0 += z;
        T1 += k * z;
        T2 += k2 * z;
    }
    TParabolaFit Fit() const { return FitParabola(N, S1, S2, S3, S4, T0, T1, T2); }
};

// Index sums of a parabola over k = 0..n-1, summed in order.
TParSums IndexSums(int32_t n)
{
    TParSums s;
    for (int32_t k = 0; k < n; ++k) {
        const double kd = k, k2 = kd * kd;
        s.N += 1;
        s.S1 += kd;
        s.S2 += k2;
        s.S3 += k2 * kd;
        s.S4 += k2 * k2;
    }
    return s;
}

TParabolaFit RoundToFloat(const TParabolaFit& f)
{
    return {static_cast<float>(f.A), static_cast<float>(f.B), static_cast<float>(f.C)};
}

}  // namespace

// ------------------------------------------------------------------ building blocks

TLineFit FitLine(double n, double sk, double skk, double sz, double skz)
{
    const double d = n * skk - sk * sk;
    if (d == 0) return {};
    return {(n * skz - sk * sz) / d, (sz * skk - sk * skz) / d};
}

TParabolaFit FitParabola(double n, double s1, double s2, double s3, double s4, double t0,
                         double t1, double t2)
{
    const double det = n * s2 * s4 - n * s3 * s3 - s1 * s1 * s4 + 2 * s1 * s2 * s3 - s2 * s2 * s2;
    if (det == 0) return {};
    const double a = t0 * s2 * s4 - t0 * s3 * s3 - s1 * t1 * s4 + s1 * s3 * t2 + s2 * t1 * s3 -
                     s2 * s2 * t2;
    const double b = n * t1 * s4 - n * s3 * t2 - t0 * s1 * s4 + t0 * s2 * s3 + s1 * s2 * t2 -
                     s2 * s2 * t1;
    const double c = n * s2 * t2 - n * s3 * t1 - s1 * s1 * t2 + s1 * s2 * t1 + t0 * s1 * s3 -
                     t0 * s2 * s2;
    return {a / det, b / det, c / det};
}

const std::vector<const char*>& LevelMethodNames()
{
    static const std::vector<const char*> names = {"Points", "2Dim", "Lines", "Cols"};
    return names;
}

const std::vector<const char*>& LevelOrderNames()
{
    static const std::vector<const char*> names = {"0. order", "1st order ", "2nd order"};
    return names;
}

TMarkedPoint PreviewPoint(const TQTVPicture& pic, int32_t x, int32_t y, int32_t previewW,
                          int32_t previewH)
{
    if (pic.Cols <= 0 || pic.Rows <= 0 || previewW <= 0 || previewH <= 0) return {};
    const double px = std::nearbyint(static_cast<double>(pic.Cols) * x / previewW);
    const double line = std::nearbyint(static_cast<double>(pic.Rows) * y / previewH);
    TMarkedPoint p;
    p.X = static_cast<int32_t>(std::clamp(px, 0.0, static_cast<double>(pic.Cols - 1)));
    const int32_t l = static_cast<int32_t>(std::clamp(line, 0.0, static_cast<double>(pic.Rows - 1)));
    p.Row = pic.Rows - 1 - l;
    return p;
}

// ------------------------------------------------------------------ "2Dim"

void LevelMean2D(TQTVPicture& pic)
{
    if (!pic.HasData()) return;
    const TFitSet fit = MakeFitSet(pic);
    if (fit.None) return;
    float* base = pic.Data.Block();
    const int32_t cols = pic.Cols;
    double sum = 0;
    int64_t count = 0;
    for (int32_t r = 0; r < pic.Rows; ++r) {
        const float* row = RowOf(base, cols, r);
        if (fit.All) {
            for (int32_t c = 0; c < cols; ++c) sum += row[c];
            count += cols;
        } else {
            const uint8_t* m = fit.Row(r);
            for (int32_t c = 0; c < cols; ++c)
                if (m[c]) {
                    sum += row[c];
                    ++count;
                }
        }
    }
    if (count == 0) return;
    const double mean = sum / static_cast<double>(count);
    const size_t n = static_cast<size_t>(pic.Rows) * cols;
    for (size_t k = 0; k < n; ++k) base[k] = static_cast<float>(static_cast<double>(base[k]) - mean);
}

void LevelPlane2D(TQTVPicture& pic)
{
    if (!pic.HasData()) return;
    const TFitSet fit = MakeFitSet(pic);
    if (fit.None) return;
    float* base = pic.Data.Block();
    const int32_t cols = pic.Cols, rows = pic.Rows;
    double n = 0, sc = 0, scc = 0, sr = 0, srr = 0, sz = 0, scz = 0, srz = 0;
    if (fit.All) {
        // the index sums are exact integers whatever the order
        n = static_cast<double>(rows) * cols;
        sc = rows * SumK(cols);
        scc = rows * SumKK(cols);
        sr = cols * SumK(rows);
        srr = cols * SumKK(rows);
        const double* cd = IndexTable();
        for (int32_t r = 0; r < rows; ++r) {
            const float* row = RowOf(base, cols, r);
            const double rd = r;
            for (int32_t c = 0; c < cols; ++c) {
                const double z = row[c];
                sz += z;
                scz += cd[c] * z;
                srz += rd * z;
            }
        }
    } else {
        for (int32_t r = 0; r < rows; ++r) {
            const float* row = RowOf(base, cols, r);
            const uint8_t* m = fit.Row(r);
            const double rd = r;
            for (int32_t c = 0; c < cols; ++c) {
                if (!m[c]) continue;
                const double z = row[c], cd = c;
                n += 1;
                sc += cd;
                scc += cd * cd;
                sr += rd;
                srr += rd * rd;
                sz += z;
                scz += cd * z;
                srz += rd * z;
            }
        }
    }
    const double bx = FitLine(n, sc, scc, sz, scz).Slope;
    const double by = FitLine(n, sr, srr, sz, srz).Slope;
    const double* cd = IndexTable();
    for (int32_t r = 0; r < rows; ++r) {
        float* row = RowOf(base, cols, r);
        const double ry = r * by;
        for (int32_t c = 0; c < cols; ++c)
            row[c] = static_cast<float>(static_cast<double>(row[c]) - cd[c] * bx - ry);
    }
}

void LevelParabola2D(TQTVPicture& pic)
{
    if (!pic.HasData()) return;
    const TFitSet fit = MakeFitSet(pic);
    if (fit.None) return;
    float* base = pic.Data.Block();
    const int32_t cols = pic.Cols, rows = pic.Rows;
    // against the column index
    TParSums s;
    for (int32_t r = 0; r < rows; ++r) {
        const float* row = RowOf(base, cols, r);
        const uint8_t* m = fit.All ? nullptr : fit.Row(r);
        for (int32_t c = 0; c < cols; ++c)
            if (!m || m[c]) s.Add(c, row[c]);
    }
    const TParabolaFit fx = s.Fit();
    for (int32_t r = 0; r < rows; ++r) SubtractParabolaRow(RowOf(base, cols, r), cols, fx.A, fx.B, fx.C);
    // then against the row index, on the samples as changed
    TParSums t;
    for (int32_t r = 0; r < rows; ++r) {
        const float* row = RowOf(base, cols, r);
        const uint8_t* m = fit.All ? nullptr : fit.Row(r);
        for (int32_t c = 0; c < cols; ++c)
            if (!m || m[c]) t.Add(r, row[c]);
    }
    const TParabolaFit fy = t.Fit();
    for (int32_t r = 0; r < rows; ++r) {
        const double rd = r;
        const double sub = fy.A + fy.B * rd + fy.C * (rd * rd);
        float* row = RowOf(base, cols, r);
        for (int32_t c = 0; c < cols; ++c) row[c] = static_cast<float>(static_cast<double>(row[c]) - sub);
    }
}

// ------------------------------------------------------------------ "Lines"

void LevelLinesMean(TQTVPicture& pic)
{
    if (!pic.HasData()) return;
    const TFitSet fit = MakeFitSet(pic);
    if (fit.None) return;
    float* base = pic.Data.Block();
    const int32_t cols = pic.Cols;
    for (int32_t r = 0; r < pic.Rows; ++r) {
        float* row = RowOf(base, cols, r);
        double sum = 0;
        int32_t count = 0;
        if (fit.All) {
            for (int32_t c = 0; c < cols; ++c) sum += row[c];
            count = cols;
        } else {
            const uint8_t* m = fit.Row(r);
            for (int32_t c = 0; c < cols; ++c)
                if (m[c]) {
                    sum += row[c];
                    ++count;
                }
        }
        if (count == 0) continue;
        const double mean = sum / count;
        for (int32_t c = 0; c < cols; ++c) row[c] = static_cast<float>(static_cast<double>(row[c]) - mean);
    }
}

void LevelLinesLinear(TQTVPicture& pic)
{
    if (!pic.HasData()) return;
    const TFitSet fit = MakeFitSet(pic);
    if (fit.None) return;
    float* base = pic.Data.Block();
    const int32_t cols = pic.Cols;
    for (int32_t r = 0; r < pic.Rows; ++r) {
        float* row = RowOf(base, cols, r);
        double n = 0, sk = 0, skk = 0, sz = 0, skz = 0;
        if (fit.All) {
            n = cols;
            sk = SumK(cols);
            skk = SumKK(cols);
            for (int32_t c = 0; c < cols; ++c) {
                const double z = row[c];
                sz += z;
                skz += c * z;
            }
        } else {
            const uint8_t* m = fit.Row(r);
            for (int32_t c = 0; c < cols; ++c) {
                if (!m[c]) continue;
                const double z = row[c], cd = c;
                n += 1;
                sk += cd;
                skk += cd * cd;
                sz += z;
                skz += cd * z;
            }
        }
        // the row's fit is held in single precision
        const float d = static_cast<float>(n * skk - sk * sk);
        if (d == 0) continue;
        const float inv = static_cast<float>(1.0 / static_cast<double>(d));
        const float b = static_cast<float>((n * skz - sk * sz) * inv);
        const float a = static_cast<float>((sz * skk - sk * skz) * inv);
        SubtractParabolaRow(row, cols, a, b, 0.0);
    }
}

void LevelLinesParabola(TQTVPicture& pic, bool advanced)
{
    if (!pic.HasData()) return;
    const int32_t cols = pic.Cols, rows = pic.Rows;
    const TFitSet fit = advanced ? MakeFitSet(pic) : TFitSet{};
    if (fit.None) return;
    // with every sample in the fit set the per-row sums are the shared ones, term by term
    if (!fit.All) {
        float* base = pic.Data.Block();
        for (int32_t r = 0; r < rows; ++r) {
            float* row = RowOf(base, cols, r);
            const uint8_t* m = fit.All ? nullptr : fit.Row(r);
            TParSums s;
            for (int32_t c = 0; c < cols; ++c)
                if (!m || m[c]) s.Add(c, row[c]);
            const TParabolaFit f = RoundToFloat(s.Fit());
            SubtractParabolaRow(row, cols, f.A, f.B, f.C);
        }
        return;
    }
    // marks ignored: the index sums and the determinant once for every row
    const TParSums idx = IndexSums(cols);
    float* base = pic.Data.Block();
    constexpr int32_t Group = 4;  // rows summed side by side; each row's sums keep their order
    for (int32_t r0 = 0; r0 < rows; r0 += Group) {
        const int32_t nr = std::min(Group, rows - r0);
        double t0[Group] = {}, t1[Group] = {}, t2[Group] = {};
        const float* row[Group];
        for (int32_t g = 0; g < Group; ++g) row[g] = RowOf(base, cols, r0 + std::min(g, nr - 1));
        for (int32_t c = 0; c < cols; ++c) {
            const double k = c, k2 = k * k;
            for (int32_t g = 0; g < Group; ++g) {
                const double z = row[g][c];
                t0[g] += z;
                t1[g] += k * z;
                t2[g] += k2 * z;
            }
        }
        for (int32_t g = 0; g < nr; ++g) {
            const TParabolaFit f = RoundToFloat(
                FitParabola(idx.N, idx.S1, idx.S2, idx.S3, idx.S4, t0[g], t1[g], t2[g]));
            SubtractParabolaRow(RowOf(base, cols, r0 + g), cols, f.A, f.B, f.C);
        }
    }
}

// ------------------------------------------------------------------ "Cols"
// Each column is fitted on its own; its sums run over the rows in ascending order,
// kept for all columns side by side while the image is read row by row.

void LevelColsMean(TQTVPicture& pic)
{
    if (!pic.HasData()) return;
    const TFitSet fit = MakeFitSet(pic);
    if (fit.None) return;
    float* base = pic.Data.Block();
    const int32_t cols = pic.Cols, rows = pic.Rows;
    std::vector<double> sum(cols, 0.0), count(cols, 0.0);
    for (int32_t r = 0; r < rows; ++r) {
        const float* row = RowOf(base, cols, r);
        if (fit.All) {
            for (int32_t c = 0; c < cols; ++c) sum[c] += row[c];
        } else {
            const uint8_t* m = fit.Row(r);
            for (int32_t c = 0; c < cols; ++c)
                if (m[c]) {
                    sum[c] += row[c];
                    count[c] += 1;
                }
        }
    }
    std::vector<double> mean(cols, 0.0);
    for (int32_t c = 0; c < cols; ++c) {
        const double n = fit.All ? rows : count[c];
        mean[c] = n > 0 ? sum[c] / n : 0.0;
    }
    for (int32_t r = 0; r < rows; ++r) {
        float* row = RowOf(base, cols, r);
        for (int32_t c = 0; c < cols; ++c) row[c] = static_cast<float>(static_cast<double>(row[c]) - mean[c]);
    }
}

void LevelColsLinear(TQTVPicture& pic)
{
    if (!pic.HasData()) return;
    const TFitSet fit = MakeFitSet(pic);
    if (fit.None) return;
    float* base = pic.Data.Block();
    const int32_t cols = pic.Cols, rows = pic.Rows;
    std::vector<double> n(cols, 0.0), sk(cols, 0.0), skk(cols, 0.0), sz(cols, 0.0), skz(cols, 0.0);
    for (int32_t r = 0; r < rows; ++r) {
        const float* row = RowOf(base, cols, r);
        const double k = r;
        if (fit.All) {
            for (int32_t c = 0; c < cols; ++c) {
                const double z = row[c];
                sz[c] += z;
                skz[c] += k * z;
            }
        } else {
            const uint8_t* m = fit.Row(r);
            for (int32_t c = 0; c < cols; ++c) {
                if (!m[c]) continue;
                const double z = row[c];
                n[c] += 1;
                sk[c] += k;
                skk[c] += k * k;
                sz[c] += z;
                skz[c] += k * z;
            }
        }
    }
    if (fit.All) {
        std::fill(n.begin(), n.end(), static_cast<double>(rows));
        std::fill(sk.begin(), sk.end(), SumK(rows));
        std::fill(skk.begin(), skk.end(), SumKK(rows));
    }
    std::vector<double> a(cols, 0.0), b(cols, 0.0);
    for (int32_t c = 0; c < cols; ++c) {
        const TLineFit f = FitLine(n[c], sk[c], skk[c], sz[c], skz[c]);
        a[c] = f.Intercept;
        b[c] = f.Slope;
    }
    for (int32_t r = 0; r < rows; ++r) {
        float* row = RowOf(base, cols, r);
        const double k = r;
        for (int32_t c = 0; c < cols; ++c)
            row[c] = static_cast<float>(static_cast<double>(row[c]) - (a[c] + b[c] * k));
    }
}

void LevelColsParabola(TQTVPicture& pic, bool advanced)
{
    if (!pic.HasData()) return;
    const TFitSet fit = advanced ? MakeFitSet(pic) : TFitSet{};
    if (fit.None) return;
    float* base = pic.Data.Block();
    const int32_t cols = pic.Cols, rows = pic.Rows;
    std::vector<double> t0(cols, 0.0), t1(cols, 0.0), t2(cols, 0.0);
    std::vector<TParSums> each;  // per column, only where marks are honoured
    if (!fit.All) each.resize(cols);
    for (int32_t r = 0; r < rows; ++r) {
        const float* row = RowOf(base, cols, r);
        const double k = r, k2 = k * k;
        if (fit.All) {
            for (int32_t c = 0; c < cols; ++c) {
                const double z = row[c];
                t0[c] += z;
                t1[c] += k * z;
                t2[c] += k2 * z;
            }
        } else {
            const uint8_t* m = fit.Row(r);
            for (int32_t c = 0; c < cols; ++c)
                if (m[c]) each[c].Add(k, row[c]);
        }
    }
    std::vector<TParabolaFit> f(cols);
    if (fit.All) {
        const TParSums idx = IndexSums(rows);
        for (int32_t c = 0; c < cols; ++c)
            f[c] = RoundToFloat(FitParabola(idx.N, idx.S1, idx.S2, idx.S3, idx.S4, t0[c], t1[c], t2[c]));
    } else {
        for (int32_t c = 0; c < cols; ++c) f[c] = RoundToFloat(each[c].Fit());
    }
    for (int32_t r = 0; r < rows; ++r) {
        float* row = RowOf(base, cols, r);
        const double k = r, k2 = k * k;
        for (int32_t c = 0; c < cols; ++c)
            row[c] = static_cast<float>(static_cast<double>(row[c]) - (f[c].A + f[c].B * k + f[c].C * k2));
    }
}

// ------------------------------------------------------------------ "Points"

void LevelPoints(TQTVPicture& pic, const std::vector<TMarkedPoint>& points)
{
    if (!pic.HasData() || points.size() < 2) return;
    double n = 0, sx = 0, sxx = 0, sr = 0, srr = 0, sz = 0, sxz = 0, srz = 0;
    for (const TMarkedPoint& p : points) {
        const int32_t x = std::clamp(p.X, 0, pic.Cols - 1);
        const int32_t r = std::clamp(p.Row, 0, pic.Rows - 1);
        const double z = pic.Data[r][x], xd = x, rd = r;
        n += 1;
        sx += xd;
        sxx += xd * xd;
        sr += rd;
        srr += rd * rd;
        sz += z;
        sxz += xd * z;
        srz += rd * z;
    }
    const double bx = FitLine(n, sx, sxx, sz, sxz).Slope;
    const double by = FitLine(n, sr, srr, sz, srz).Slope;
    float* base = pic.Data.Block();
    for (int32_t r = 0; r < pic.Rows; ++r) {
        float* row = RowOf(base, pic.Cols, r);
        const double ry = r * by;
        for (int32_t c = 0; c < pic.Cols; ++c)
            row[c] = static_cast<float>(static_cast<double>(row[c]) - c * bx - ry);
    }
}

// ------------------------------------------------------------------ one run

bool RunLeveling(TQTVPicture& pic, int32_t method, int32_t order, bool advanced,
                 std::vector<TMarkedPoint>& points)
{
    const auto notSupported = [] {
        ShowMessage("Method not supported!");
        return false;
    };
    if (method < 0 || method > 3 || order < 0 || order > 2) return notSupported();
    const auto m = static_cast<TLevelMethod>(method);
    if (m == TLevelMethod::Points) {
        if (order != 1) return notSupported();
        if (points.size() < 2) {
            ShowMessage("Not enough points!\nPlease mark points with left mouse button.");
            return false;
        }
    }
    try {
        switch (m) {
        case TLevelMethod::Points:
            LevelPoints(pic, points);
            points.clear();
            break;
        case TLevelMethod::Plane:
            if (order == 0) LevelMean2D(pic);
            else if (order == 1) LevelPlane2D(pic);
            else LevelParabola2D(pic);
            break;
        case TLevelMethod::Lines:
            if (order == 0) LevelLinesMean(pic);
            else if (order == 1) LevelLinesLinear(pic);
            else LevelLinesParabola(pic, advanced);
            break;
        case TLevelMethod::Cols:
            if (order == 0) LevelColsMean(pic);
            else if (order == 1) LevelColsLinear(pic);
            else LevelColsParabola(pic, advanced);
            break;
        }
    } catch (const std::exception&) {
        ShowMessage("Sorry - Math Error!");
        return false;
    }
    return true;
}
