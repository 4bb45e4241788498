#include "processing/Geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <numbers>
#include <vector>

#include "core/Numbers.h"
#include "core/Threads.h"

// ---------------------------------------------------------------- zoom

void ZoomDragTo(TZoomRect& rect, int32_t x, int32_t y, int32_t cols, int32_t rows)
{
    rect.X2 = std::clamp(x, 0, std::max(cols - 1, 0));
    const int32_t side = std::abs(rect.X2 - rect.X1);
    rect.Y2 = rect.Y1 < y ? rect.Y1 + side : rect.Y1 - side;
    rect.Y2 = std::clamp(rect.Y2, 0, std::max(rows - 1, 0));
    const int32_t height = std::abs(rect.Y2 - rect.Y1);
    rect.X2 = rect.X1 < rect.X2 ? rect.X1 + height : rect.X1 - height;
}

void ZoomRange(const TZoomRect& rect, const TQTVPicture& source, double& width, double& height)
{
    width = source.Para.XScanRange / source.Cols * std::abs(rect.X2 - rect.X1);
    height = source.Para.YScanRange / source.Rows * std::abs(rect.Y2 - rect.Y1);
}

bool ZoomCut(const TQTVPicture& source, TQTVPicture& working, TZoomRect rect)
{
    if (!source.HasData()) return false;
    if (rect.X1 > rect.X2) std::swap(rect.X1, rect.X2);
    if (rect.Y1 > rect.Y2) std::swap(rect.Y1, rect.Y2);
    // corners outside the picture are pulled onto its border: nothing beyond it is read
    rect.X1 = std::clamp(rect.X1, 0, source.Cols);
    rect.X2 = std::clamp(rect.X2, 0, source.Cols);
    rect.Y1 = std::clamp(rect.Y1, 0, source.Rows);
    rect.Y2 = std::clamp(rect.Y2, 0, source.Rows);
    if (!(rect.X1 < rect.X2 && rect.Y1 < rect.Y2)) return false;
    const int32_t w = rect.X2 - rect.X1, h = rect.Y2 - rect.Y1;
    working.SetSize(w, h);
    if (!working.HasData()) return false;
    for (int32_t j = 0; j < h; ++j)
        std::memcpy(working.Data[j], source.Data[source.Rows - rect.Y2 + j] + rect.X1,
                    static_cast<size_t>(w) * sizeof(float));
    return true;
}

void ZoomTakeOver(TQTVPicture& source, const TQTVPicture& working)
{
    if (!working.HasData() || !source.HasData()) return;
    source.Para.XScanRange = source.Para.XScanRange / source.Cols * working.Cols;
    source.Para.YScanRange = source.Para.YScanRange / source.Rows * working.Rows;
    source.SetSize(working.Cols, working.Rows);
    if (!source.HasData()) return;
    std::memcpy(source.Data.Block(), working.Data.Block(),
                static_cast<size_t>(working.Rows) * static_cast<size_t>(working.Cols) * sizeof(float));
}

// ---------------------------------------------------------------- distortion

long double SolveDistortion(long double c, long double d, long double u)
{
    constexpr long double inf = std::numeric_limits<long double>::infinity();
    long double x1 = inf, x2 = inf, x3 = inf;
    if (d != 0) {
        const long double a = c / d, b = (1 - c - d) / d, k = -u / d;
        const long double p = b - a * a / 3;
        const long double q = 2 * a * a * a / 27 - a * b / 3 + k;
        const long double D = (q / 2) * (q / 2) + (p / 3) * (p / 3) * (p / 3);
        if (D > 0) {
            const long double sd = std::sqrt(D);
            x1 = std::cbrt(-q / 2 + sd) + std::cbrt(-q / 2 - sd) - a / 3;
        } else {
            const long double phi = std::acos((-q / 2) * std::sqrt(-27 / (p * p * p)));
            const long double h = std::sqrt(-p / 3);
            constexpr long double pi3 = std::numbers::pi_v<long double> / 3;
            x1 = 2 * h * std::cos(phi / 3) - a / 3;
            x2 = -2 * h * std::cos(phi / 3 + pi3) - a / 3;
            x3 = -2 * h * std::cos(phi / 3 - pi3) - a / 3;
        }
    } else if (c != 0) {
        const long double m = -(1 - c) / (2 * c);
        const long double t = (1 - c) / c;
        const long double s = t * t / 4 + u / c;
        if (s >= 0) {
            x1 = m + std::sqrt(s);
            x2 = m - std::sqrt(s);
        }
    } else {
        x1 = u;
    }
    long double x = x1;
    if (std::fabs(x2) < std::fabs(x)) x = x2;
    if (std::fabs(x3) < std::fabs(x)) x = x3;
    if (!(x >= -1.2L && x <= 1.2L)) return inf;
    return x;
}

namespace {

// The reason the axis's f(x) = (1 - c - d) x + c x^2 + d x^3 does not rise across [0, 1],
// or empty. f' is a parabola in x: its smallest value on [0, 1] lies at an end or at
// its vertex.
std::string AxisFoldText(long double c, long double d, const char* axis)
{
    const std::string names = std::string("c_") + axis + " = " + FormatShortest(c) + " and d_" + axis + " = " +
                              FormatShortest(d);
    if (!std::isfinite(c) || !std::isfinite(d))
        return std::string("c_") + axis + " and d_" + axis + " must be finite numbers (" + names + ").";
    auto slope = [&](long double x) { return (1 - c - d) + 2 * c * x + 3 * d * x * x; };
    long double at = 0, lowest = slope(0);
    auto consider = [&](long double x) {
        const long double v = slope(x);
        if (v < lowest) lowest = v, at = x;
    };
    consider(1);
    if (d != 0) {
        const long double vertex = -c / (3 * d);
        if (vertex > 0 && vertex < 1) consider(vertex);
    }
    if (!(lowest < 0)) return {};
    return "with " + names + ", f(x) = (1 - c - d) x + c x\xB2 + d x\xB3 falls near x = " +
           FormatGeneral(at, 3) + " of the " + axis +
           " scan instead of rising from 0 to 1. Nothing was changed.";
}

// A coordinate with no sample (not finite, or at -1 and below) pulled into 0..last.
double ClampPosition(double p, int32_t last)
{
    if (std::isnan(p) || p <= -1) return 0;
    if (p == std::numeric_limits<double>::infinity()) return last;
    return p;
}

}  // namespace

float Interpolate(const TQTVPicture& source, double y, double x)
{
    const int32_t cols = source.Cols, rows = source.Rows;
    x = ClampPosition(x, cols - 1);
    y = ClampPosition(y, rows - 1);
    // exactly on a sample: that sample (the plane held inside the grid would otherwise
    // give the corner a value of its neighbours)
    if (x == std::floor(x) && y == std::floor(y) && x >= 0 && y >= 0 && x <= cols - 1 && y <= rows - 1)
        return source.Data[static_cast<int32_t>(y)][static_cast<int32_t>(x)];
    // finite, above -1, and (the plane's steps) not too far out for an integer
    x = std::min(x, 4.0 * MaxPixels);
    y = std::min(y, 4.0 * MaxPixels);
    int32_t v = static_cast<int32_t>(x), w = static_cast<int32_t>(y);
    if (v >= cols - 1) v = cols - 2;
    if (w >= rows - 1) w = rows - 2;
    // a single column or row has no neighbour to take a slope from
    const int32_t vr = cols > 1 ? v + 1 : 0, wu = rows > 1 ? w + 1 : 0;
    v = std::max(v, 0);
    w = std::max(w, 0);
    const double g = source.Data[w][v], h = source.Data[w][vr], l = source.Data[wu][v];
    return static_cast<float>(g + (x - v) * (h - g) + (y - w) * (l - g));
}

std::string DistortionFoldText(double cx, double dx, double cy, double dy)
{
    std::string why = AxisFoldText(cx, dx, "x");
    if (why.empty()) why = AxisFoldText(cy, dy, "y");
    return why.empty() ? why : "These coefficients fold the scan: " + why;
}

void CorrectDistortion(const TQTVPicture& source, TQTVPicture& working, double cx, double dx, double cy,
                       double dy)
{
    if (!source.HasData()) return;
    const int32_t W = source.Cols, H = source.Rows;
    if (working.Cols != W || working.Rows != H || !working.HasData()) working.SetSize(W, H);
    if (!working.HasData()) return;
    // every position and every sample on its own: columns, rows and output rows are
    // units of the pool
    std::vector<double> X(static_cast<size_t>(W)), Y(static_cast<size_t>(H));
    ParallelFor(W, GrainFor(W), [&](int64_t j0, int64_t j1) {
        for (auto j = static_cast<int32_t>(j0); j < j1; ++j)
            X[static_cast<size_t>(j)] =
                static_cast<double>((W - 1) * SolveDistortion(cx, dx, static_cast<long double>(j) / (W - 1)));
    });
    ParallelFor(H, GrainFor(H), [&](int64_t i0, int64_t i1) {
        for (auto i = static_cast<int32_t>(i0); i < i1; ++i)
            Y[static_cast<size_t>(i)] =
                static_cast<double>((H - 1) * SolveDistortion(cy, dy, static_cast<long double>(i) / (H - 1)));
    });
    std::unique_ptr<float[]> out(new float[static_cast<size_t>(W) * static_cast<size_t>(H)]);
    ParallelFor(H, GrainFor(H), [&](int64_t i0, int64_t i1) {
        for (auto i = static_cast<int32_t>(i0); i < i1; ++i)
            for (int32_t j = 0; j < W; ++j)
                out[static_cast<size_t>(i) * static_cast<size_t>(W) + static_cast<size_t>(j)] =
                    Interpolate(source, Y[static_cast<size_t>(i)], X[static_cast<size_t>(j)]);
    });
    std::memcpy(working.Data.Block(), out.get(), static_cast<size_t>(W) * static_cast<size_t>(H) * sizeof(float));
}
