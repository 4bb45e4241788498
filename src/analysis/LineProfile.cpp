#include "analysis/LineProfile.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/Threads.h"

namespace {

constexpr double Pi = 3.14159265358979323846;

// Round half to even; values beyond any image index come out as a large number of
// the right sign, which the caller's clamp takes care of (NaN gives 0).
inline int64_t Rnd(double v) {
    if (std::isnan(v)) return 0;
    if (v > 1e15) return static_cast<int64_t>(1e15);
    if (v < -1e15) return static_cast<int64_t>(-1e15);
    return static_cast<int64_t>(std::nearbyint(v));
}

// Round half to even for |v| well below 2^51 (positions within a few image sizes):
// adding and taking away 1.5 * 2^52 leaves v rounded in the default rounding mode.
inline int64_t RoundSmall(double v) {
    constexpr double Magic = 6755399441055744.0;
    const double t = v + Magic;  // two roundings: no fast-math folds them away
    return static_cast<int64_t>(t - Magic);
}

void SizeLike(const TQTVPicture& src, TQTVPicture& avg) {
    if (avg.Cols != src.Cols || avg.Rows != src.Rows || avg.Data.empty()) avg.SetSize(src.Cols, src.Rows);
    avg.Para = src.Para;
}

bool Empty(const TQTVPicture& pic) { return pic.Rows <= 0 || pic.Cols <= 0 || pic.Data.empty(); }

}  // namespace

void TProfile::Resize(int32_t n) {
    if (n < 0) n = 0;
    Count = n;
    const auto size = static_cast<size_t>(n);
    X.assign(size, 0);
    Y.assign(size, 0);
    Z.assign(size, 0.0f);
    Z2.assign(size, 0.0f);
}

int32_t ClampIndex(int64_t v, int32_t lo, int32_t hi) {
    if (v > hi) v = hi;
    if (v < lo) v = lo;
    return static_cast<int32_t>(v);
}

int32_t EffectiveWidth(TLineMode mode, int32_t width) {
    return std::clamp(width, 1, mode == TLineMode::Radial ? MaxArcWidth : MaxLineWidth);
}

float NormaliseAngle(float angle) {
    if (!std::isfinite(angle)) return 0.0f;
    if (angle > 360.0f) angle = angle - 360.0f * std::trunc(angle / 360.0f);
    if (angle < 0.0f) angle = angle + 360.0f * (std::trunc(-angle / 360.0f) + 1.0f);
    return angle;
}

// ---------------------------------------------------------------- averages

void AverageRows(const TQTVPicture& src, int32_t width, TQTVPicture& avg) {
    SizeLike(src, avg);
    if (Empty(src)) return;
    const int32_t W = EffectiveWidth(TLineMode::Row, width);
    const int32_t rows = src.Rows, cols = src.Cols;
    const double inv = 1.0 / W;
    std::vector<double> acc(static_cast<size_t>(cols));
    for (int32_t r = 0; r < rows; ++r) {
        std::fill(acc.begin(), acc.end(), 0.0);
        for (int32_t i = 0; i < W; ++i) {
            const int64_t t = static_cast<int64_t>(r) - W / 2 + i;
            int64_t h = rows - 1 - t;
            if (h < 0) h = -h;
            if (h >= rows) h = 2 * static_cast<int64_t>(rows) - 1 - h;
            const float* s = src.Data[ClampIndex(h, 0, rows - 1)];
            for (int32_t c = 0; c < cols; ++c) acc[static_cast<size_t>(c)] += s[c];
        }
        float* d = avg.Data[r];
        for (int32_t c = 0; c < cols; ++c) d[c] = static_cast<float>(inv * acc[static_cast<size_t>(c)]);
    }
}

void AverageColumns(const TQTVPicture& src, int32_t width, TQTVPicture& avg) {
    SizeLike(src, avg);
    if (Empty(src)) return;
    const int32_t W = EffectiveWidth(TLineMode::Col, width);
    const int32_t rows = src.Rows, cols = src.Cols;
    const double inv = 1.0 / W;
    std::vector<double> acc(static_cast<size_t>(cols));
    for (int32_t r = 0; r < rows; ++r) {
        const float* s = src.Data[rows - 1 - r];
        std::fill(acc.begin(), acc.end(), 0.0);
        for (int32_t i = 0; i < W; ++i) {
            const int64_t o = static_cast<int64_t>(i) - W / 2;  // column c reads c + o
            // the columns that read inside the row, in one run
            const int64_t lo = std::clamp<int64_t>(-o, 0, cols), hi = std::clamp<int64_t>(cols - o, lo, cols);
            for (int64_t c = 0; c < lo; ++c) {
                int64_t h = c + o;
                if (h < 0) h = -h;
                acc[static_cast<size_t>(c)] += s[ClampIndex(h, 0, cols - 1)];
            }
            double* a = acc.data();
            for (int64_t c = lo; c < hi; ++c) a[c] += s[c + o];
            for (int64_t c = hi; c < cols; ++c) acc[static_cast<size_t>(c)] += s[cols - 1];
        }
        float* d = avg.Data[r];
        for (int32_t c = 0; c < cols; ++c) d[c] = static_cast<float>(inv * acc[static_cast<size_t>(c)]);
    }
}

namespace {

// The arc average of src into avg, both of one size; false when progress said stop
// (avg then partly written).
bool ArcAverage(const TQTVPicture& src, int32_t W, TQTVPicture& avg, const TArcProgress& progress) {
    const int32_t rows = src.Rows, cols = src.Cols;
    const int32_t cc = cols / 2, rc = rows / 2;
    const int32_t R0 = (cols - 1) / 2;
    const double half = (W / 2.0) * Pi / 180.0;

    // Outside the disc the samples stay as they are.
    for (int32_t r = 0; r < rows; ++r) {
        const float* s = src.Data[r];
        float* d = avg.Data[r];
        for (int32_t c = 0; c < cols; ++c) {
            const double dx = c - cc, dy = r - rc;
            if (!(std::sqrt(dx * dx + dy * dy) < R0)) d[c] = s[c];
        }
    }
    // Inside, the arc of a pixel depends only on its distance from the centre: the
    // angles (and their cosines and sines) are worked out once for the up to eight
    // pixels (+-a, +-b), (+-b, +-a) at that distance, and each of them sums its own arc
    // exactly as it would alone.
    // Each distance a (with its b <= a) is a unit of the pool; progress goes out on
    // this thread as the count of finished distances grows.
    std::vector<const float*> rowp(static_cast<size_t>(rows));
    for (int32_t r = 0; r < rows; ++r) rowp[static_cast<size_t>(r)] = src.Data[r];
    const auto distance = [&](int32_t a, std::vector<double>& cs, std::vector<double>& sn) {
        for (int32_t b = 0; b <= a; ++b) {
            const double rho = std::sqrt(static_cast<double>(a) * a + static_cast<double>(b) * b);
            if (!(rho < R0)) break;
            const double step = 1.0 / (rho + 1.0);
            cs.clear();
            sn.clear();
            double phi = -half;
            do {
                cs.push_back(std::cos(phi));
                sn.push_back(std::sin(phi));
                phi += step;
            } while (!(phi > half));
            const int32_t variants[8][2] = {{a, b}, {-a, b}, {a, -b}, {-a, -b}, {b, a}, {-b, a}, {b, -a}, {-b, -a}};
            for (int v = 0; v < 8; ++v) {
                const int32_t dx = variants[v][0], dy = variants[v][1];
                bool seen = false;
                for (int u = 0; u < v && !seen; ++u) seen = variants[u][0] == dx && variants[u][1] == dy;
                if (seen) continue;
                const int32_t c = cc + dx, r = rc + dy;
                if (c < 0 || c >= cols || r < 0 || r >= rows) continue;
                double sum = 0.0;
                const size_t n = cs.size();
                for (size_t k = 0; k < n; ++k) {
                    const int32_t c2 = ClampIndex(RoundSmall(cs[k] * dx + sn[k] * dy) + cc, 0, cols - 1);
                    const int32_t r2 = ClampIndex(RoundSmall(cs[k] * dy - sn[k] * dx) + rc, 0, rows - 1);
                    sum += rowp[static_cast<size_t>(r2)][c2];
                }
                avg.Data[r][c] = static_cast<float>(sum / static_cast<double>(n));
            }
        }
    };
    const int32_t total = std::max(R0, 0);
    int64_t told = 0;
    const bool ran = ParallelFor(
        total, 1,
        [&](int64_t a0, int64_t a1) {
            std::vector<double> cs, sn;
            for (auto a = static_cast<int32_t>(a0); a < a1; ++a) distance(a, cs, sn);
        },
        progress ? TTick([&](int64_t done) {
            if (done <= told) return true;
            told = done;
            return progress(static_cast<int32_t>(done), R0);
        })
                 : TTick());
    if (!ran) return false;
    return !progress || told >= total || progress(total, R0);
}

}  // namespace

bool AverageArc(const TQTVPicture& src, int32_t width, TQTVPicture& avg, const TArcProgress& progress) {
    const int32_t W = EffectiveWidth(TLineMode::Radial, width);
    if (!progress || Empty(src)) {
        SizeLike(src, avg);
        if (!Empty(src)) ArcAverage(src, W, avg, {});
        return true;
    }
    // The run works on a copy of the source into a picture of its own: the source may
    // go away during a progress call, and avg changes only once the run is complete.
    TQTVPicture from, to;
    from.CopySamplesFrom(src);
    SizeLike(from, to);
    if (!ArcAverage(from, W, to, progress)) return false;
    SizeLike(from, avg);
    std::memcpy(avg.Data.Block(), to.Data.Block(), static_cast<size_t>(from.Rows) * static_cast<size_t>(from.Cols) * sizeof(float));
    return true;
}


// ---------------------------------------------------------------- steps

void SetRowStep(const TQTVPicture& src, TProfile& p) {
    p.XLabel = "[" + src.Para.XPhysUnit + "]";
    p.SampleStep = static_cast<float>(src.Para.XScanRange / src.Para.XPixel);
}

void SetColumnStep(const TQTVPicture& src, TProfile& p) {
    p.XLabel = "[" + src.Para.YPhysUnit + "]";
    p.SampleStep = static_cast<float>(src.Para.YScanRange / src.Para.YPixel);
}

void SetFreeStep(const TQTVPicture& src, TProfile& p) {
    if (src.Para.XPhysUnit != src.Para.YPhysUnit || src.Para.XScanRange != src.Para.YScanRange) {
        p.SampleStep = 1.0f;
        p.XLabel.clear();
    } else {
        p.SampleStep = static_cast<float>(src.Para.XScanRange / src.Para.XPixel);
        p.XLabel = "[" + src.Para.XPhysUnit + "]";
    }
}

// ---------------------------------------------------------------- extraction

int32_t MapIndex(int32_t index, int32_t n1, int32_t n2) {
    if (n1 <= 0 || n2 <= 0) return 0;
    return ClampIndex(Rnd(static_cast<double>(index) / n1 * n2), 0, n2 - 1);
}

int32_t ExtractRow(const TQTVPicture& avg, int32_t rowIndex, TProfile& p, const TQTVPicture* secondAvg) {
    if (Empty(avg)) {
        p.Resize(0);
        return 0;
    }
    const int32_t R = ClampIndex(rowIndex, 0, avg.Rows - 1);
    p.Resize(avg.Cols);
    const float* d = avg.Data[R];
    for (int32_t i = 0; i < avg.Cols; ++i) {
        p.X[static_cast<size_t>(i)] = i;
        p.Y[static_cast<size_t>(i)] = R;
        p.Z[static_cast<size_t>(i)] = d[i];
    }
    p.HasSecond = secondAvg && !Empty(*secondAvg);
    if (p.HasSecond) {
        const float* d2 = secondAvg->Data[MapIndex(R, avg.Rows, secondAvg->Rows)];
        for (int32_t i = 0; i < avg.Cols; ++i)
            p.Z2[static_cast<size_t>(i)] = d2[std::min(i, secondAvg->Cols - 1)];
    }
    return R;
}

int32_t ExtractColumn(const TQTVPicture& avg, int32_t colIndex, TProfile& p, const TQTVPicture* secondAvg) {
    if (Empty(avg)) {
        p.Resize(0);
        return 0;
    }
    const int32_t C = ClampIndex(colIndex, 0, avg.Cols - 1);
    p.Resize(avg.Rows);
    for (int32_t i = 0; i < avg.Rows; ++i) {
        p.X[static_cast<size_t>(i)] = C;
        p.Y[static_cast<size_t>(i)] = i;
        p.Z[static_cast<size_t>(i)] = avg.Data[i][C];
    }
    p.HasSecond = secondAvg && !Empty(*secondAvg);
    if (p.HasSecond) {
        const int32_t a = MapIndex(C, avg.Cols, secondAvg->Cols);
        for (int32_t i = 0; i < avg.Rows; ++i)
            p.Z2[static_cast<size_t>(i)] = secondAvg->Data[std::min(i, secondAvg->Rows - 1)][a];
    }
    return C;
}

void ExtractRadial(const TQTVPicture& avg, float& angle, TProfile& p, const TQTVPicture* secondAvg) {
    angle = NormaliseAngle(angle);
    if (Empty(avg)) {
        p.Resize(0);
        return;
    }
    const int32_t rows = avg.Rows, cols = avg.Cols;
    const double theta = static_cast<double>(angle) * Pi / 180.0;
    const double cs = std::cos(theta), sn = std::sin(theta);
    p.Resize((rows - 1) / 2 + 1);
    for (int32_t i = 0; i < p.Count; ++i) {
        const int32_t c = ClampIndex(Rnd(cs * i + cols / 2), 0, cols - 1);
        const int32_t r = ClampIndex(Rnd(sn * i + rows / 2), 0, rows - 1);
        p.X[static_cast<size_t>(i)] = c;
        p.Y[static_cast<size_t>(i)] = rows - 1 - r;
        p.Z[static_cast<size_t>(i)] = avg.Data[r][c];
    }
    p.HasSecond = secondAvg && !Empty(*secondAvg);
    if (p.HasSecond) {
        const int32_t rows2 = secondAvg->Rows, cols2 = secondAvg->Cols;
        const float fr = static_cast<float>(rows2) / static_cast<float>(rows);
        for (int32_t i = 0; i < p.Count; ++i) {
            const int32_t c = ClampIndex(Rnd(cs * i * fr + cols2 / 2), 0, cols2 - 1);
            const int32_t r = ClampIndex(Rnd(sn * i * fr + rows2 / 2), 0, rows2 - 1);
            p.Z2[static_cast<size_t>(i)] = secondAvg->Data[r][c];
        }
    }
}

void SampleAny(const TQTVPicture& src, TAnyLine& line, int32_t width, TProfile& p, const TQTVPicture* second) {
    if (Empty(src)) {
        p.Resize(0);
        return;
    }
    const int32_t rows = src.Rows, cols = src.Cols;
    line.X1 = ClampIndex(line.X1, 0, cols - 1);
    line.X2 = ClampIndex(line.X2, 0, cols - 1);
    line.Y1 = ClampIndex(line.Y1, 0, rows - 1);
    line.Y2 = ClampIndex(line.Y2, 0, rows - 1);
    const int32_t W = EffectiveWidth(TLineMode::Any, width);

    const double dx = static_cast<double>(line.X2) - line.X1;
    const double dy = static_cast<double>(line.Y1) - line.Y2;
    int64_t n = Rnd(std::sqrt(dx * dx + dy * dy) + 1.0);
    if (n < 1) n = 1;
    const int32_t N = static_cast<int32_t>(n);
    p.Resize(N);
    const double sx = dx / N, sy = dy / N;
    double l2 = sx * sx + sy * sy;
    if (l2 < 0.1) l2 = 0.1;
    const double len = std::sqrt(l2);
    const double ux = sx / len, uy = sy / len;

    p.HasSecond = second && !Empty(*second);
    const int32_t rows2 = p.HasSecond ? second->Rows : 0, cols2 = p.HasSecond ? second->Cols : 0;
    const float fx = p.HasSecond ? static_cast<float>(cols2) / static_cast<float>(cols) : 0.0f;
    const float fy = p.HasSecond ? static_cast<float>(rows2) / static_cast<float>(rows) : 0.0f;
    auto at1 = [&](double y, double x) {
        return src.Data[ClampIndex(Rnd(y), 0, rows - 1)][ClampIndex(Rnd(x), 0, cols - 1)];
    };
    auto at2 = [&](double y, double x) {
        return second->Data[ClampIndex(Rnd(y * fy), 0, rows2 - 1)][ClampIndex(Rnd(x * fx), 0, cols2 - 1)];
    };

    double x = line.X1;
    double y = static_cast<double>(rows) - 1 - line.Y1;
    for (int32_t i = 0; i < N; ++i) {
        const auto k = static_cast<size_t>(i);
        p.X[k] = ClampIndex(Rnd(x), 0, cols - 1);
        p.Y[k] = rows - 1 - ClampIndex(Rnd(y), 0, rows - 1);
        if (W >= 2) {
            double sum = 0.0, sum2 = 0.0;
            int32_t count = 0;
            for (double t = -W / 2.0; t < W / 2.0; t += 1.0) {
                sum += at1(y - ux * t, x + uy * t);
                if (p.HasSecond) sum2 += at2(y - ux * t, x + uy * t);
                ++count;
            }
            p.Z[k] = static_cast<float>(sum / count);
            if (p.HasSecond) p.Z2[k] = static_cast<float>(sum2 / count);
        } else {
            p.Z[k] = at1(y, x);
            if (p.HasSecond) p.Z2[k] = at2(y, x);
        }
        x += sx;
        y += sy;
    }
}

// ---------------------------------------------------------------- one call

bool ComputeProfile(const TQTVPicture& src, TProfileRequest& req, TProfile& p, const TQTVPicture* second,
                    const TArcProgress& progress) {
    req.Width = EffectiveWidth(req.Mode, req.Width);
    const bool dual = second && !Empty(*second);
    TQTVPicture avg, avg2;
    switch (req.Mode) {
    case TLineMode::Row:
        AverageRows(src, req.Width, avg);
        if (dual) AverageRows(*second, req.Width, avg2);
        SetRowStep(src, p);
        req.Index = ExtractRow(avg, req.Index, p, dual ? &avg2 : nullptr);
        break;
    case TLineMode::Col:
        AverageColumns(src, req.Width, avg);
        if (dual) AverageColumns(*second, req.Width, avg2);
        SetColumnStep(src, p);
        req.Index = ExtractColumn(avg, req.Index, p, dual ? &avg2 : nullptr);
        break;
    case TLineMode::Any:
        SetFreeStep(src, p);
        SampleAny(src, req.Line, req.Width, p, dual ? second : nullptr);
        break;
    case TLineMode::Radial:
        if (!AverageArc(src, req.Width, avg, progress)) return false;
        if (dual && !AverageArc(*second, req.Width, avg2, progress)) return false;
        SetFreeStep(src, p);
        ExtractRadial(avg, req.Angle, p, dual ? &avg2 : nullptr);
        break;
    }
    return true;
}
