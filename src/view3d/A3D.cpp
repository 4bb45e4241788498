#include "view3d/A3D.h"

#include <algorithm>
#include <cmath>

#include "core/Numbers.h"
#include "core/Threads.h"

namespace {

struct TVec3d {
    double X, Y, Z;
};

// Unit normal of a triangle whose heights rise by gx along its x edge and gy along its
// y edge: (-gx, -gy, 1) normalised.
inline TVec3d TriangleNormal(double gx, double gy) {
    const double inv = 1.0 / std::sqrt(gx * gx + gy * gy + 1.0);
    return {-gx * inv, -gy * inv, inv};
}

// The two triangles of the grid square (a, b) .. (a + 1, b + 1) from its corner heights
// h00 = h(a, b), h10 = h(a + 1, b), h01 = h(a, b + 1), h11 = h(a + 1, b + 1): "upper"
// (a, b), (a, b + 1), (a + 1, b + 1) and "lower" (a, b), (a + 1, b), (a + 1, b + 1).
inline TVec3d UpperNormal(double h00, double h01, double h11) { return TriangleNormal(h11 - h01, h01 - h00); }
inline TVec3d LowerNormal(double h00, double h10, double h11) { return TriangleNormal(h10 - h00, h11 - h10); }

// The vertex normal of a point from its six triangles, summed in this order: upper and
// lower of the square down-left of it, upper of the square below it, lower of the
// square left of it, upper and lower of its own square.
inline TVec3f MeanNormal(const TVec3d& a, const TVec3d& b, const TVec3d& c, const TVec3d& d, const TVec3d& e,
                         const TVec3d& f) {
    double sx = 0, sy = 0, sz = 0;
    for (const TVec3d* t : {&a, &b, &c, &d, &e, &f}) {
        sx += t->X;
        sy += t->Y;
        sz += t->Z;
    }
    sx /= 6;
    sy /= 6;
    sz /= 6;
    const double len = std::sqrt(sx * sx + sy * sy + sz * sz);
    if (len > 0 && std::isfinite(len))
        return {static_cast<float>(sx / len), static_cast<float>(sy / len), static_cast<float>(sz / len)};
    return {0, 0, 1};  // a point beside a sample that is not a number
}

// round(t) half to even for t >= 0 as the extended-precision expression would give it:
// the double result where it is clearly away from a half, else recomputed in long double.
// Far below the range (a user-fixed one) any t beyond 1e6 only means "below entry 0".
inline long long RoundLevel(double z, int gainPercent) {
    const double t = std::fabs(z / gainPercent) * 100.0;
    if (t > 1.0e6) return 1000000;
    const double frac = t - std::floor(t);
    if (std::fabs(frac - 0.5) > 1e-9) return std::llround(std::floor(t) + (frac > 0.5 ? 1.0 : 0.0));
    const long double tl = std::fabs(static_cast<long double>(z) / gainPercent) * 100.0L;
    return static_cast<long long>(std::nearbyintl(tl));
}

}  // namespace

int GainPercentOfSlider(int position) { return 100 - std::clamp(position, 0, 99); }

void TSurfaceMesh::SetImage(const TQTVPicture& pic) {
    cols_ = pic.HasData() ? pic.Cols : 0;
    rows_ = pic.HasData() ? pic.Rows : 0;
    const size_t n = static_cast<size_t>(cols_) * static_cast<size_t>(rows_);
    normalised_.assign(n, 0.0f);
    normalised_.shrink_to_fit();

    // (mx - v) is exact in double for float samples of like magnitude
    const double mn = pic.Min;
    double mx = pic.Max;
    if (mx == mn) mx = mn + 1;
    const double k = -100.0 / std::fabs(mx - mn);
    ParallelFor(rows_, GrainFor(rows_), [&](int64_t y0, int64_t y1) {
        for (auto y = static_cast<int32_t>(y0); y < y1; ++y) {
            const float* row = pic.Data[y];
            float* dst = normalised_.data() + Index(0, y);
            for (int32_t x = 0; x < cols_; ++x) dst[x] = static_cast<float>((mx - static_cast<double>(row[x])) * k);
        }
    });

    for (size_t i = 0; i <= 100; ++i) {
        const int e = static_cast<int>(std::nearbyintl(static_cast<long double>(i) / 100.0L * 255.0L));
        const TPaletteEntry& p = pic.Palette.Entries[static_cast<size_t>(e)];
        table_[i] = {p.Red, p.Green, p.Blue};
        colours_[i] = {static_cast<float>(table_[i].Red / 255.0), static_cast<float>(table_[i].Green / 255.0),
                       static_cast<float>(table_[i].Blue / 255.0)};
    }
}

void TSurfaceMesh::SetGain(int gainPercent) { gainPercent_ = std::clamp(gainPercent, 1, 100); }

TVec3f TSurfaceMesh::PointColour(double z) const {
    long long l = 0;
    if (std::isfinite(z)) l = std::clamp(100 - RoundLevel(z, gainPercent_), 0LL, 100LL);
    return colours_[static_cast<size_t>(l)];
}

TVec3f TSurfaceMesh::Position(int32_t x, int32_t y, double z) const {
    return {static_cast<float>(static_cast<double>(x) * 256 / cols_),
            static_cast<float>(static_cast<double>(y) * 256 / rows_), static_cast<float>(z)};
}

TVec3f TSurfaceMesh::Colour(int32_t x, int32_t y) const { return PointColour(Z(x, y)); }

TVec3f TSurfaceMesh::Normal(int32_t x, int32_t y) const {
    if (x < 1 || y < 1 || x > cols_ - 2 || y > rows_ - 2) return {0, 0, 0};
    auto upper = [&](int32_t a, int32_t b) { return UpperNormal(Z(a, b), Z(a, b + 1), Z(a + 1, b + 1)); };
    auto lower = [&](int32_t a, int32_t b) { return LowerNormal(Z(a, b), Z(a + 1, b), Z(a + 1, b + 1)); };
    return MeanNormal(upper(x - 1, y - 1), lower(x - 1, y - 1), upper(x, y - 1), lower(x - 1, y), upper(x, y),
                      lower(x, y));
}

TSurfaceMesh::TVertex TSurfaceMesh::Vertex(int32_t x, int32_t y) const {
    const double z = Z(x, y);
    return {PointColour(z), Normal(x, y), Position(x, y, z)};
}

void TSurfaceMesh::Strip(int32_t s, std::vector<TVertex>& out) const {
    out.clear();
    if (s < 0 || s >= StripCount()) return;
    const int32_t x = s + 1;
    out.reserve(static_cast<size_t>(std::max(0, rows_ - 2)) * 2);
    for (int32_t y = 1; y <= rows_ - 2; ++y) {
        out.push_back(Vertex(x + 1, y));
        out.push_back(Vertex(x, y));
    }
}

void TSurfaceMesh::Columns(int32_t x0, int32_t x1, TVertex* out) const {
    x0 = std::max(x0, 0);
    x1 = std::min(x1, cols_);
    if (x0 >= x1 || rows_ <= 0) return;
    const double scale = ZScale();
    const auto rows = static_cast<size_t>(rows_);
    // The squares a0 .. a1 - 1 (square a between columns a and a + 1) around the
    // columns' inner points; an inner point x lies between squares x - 1 and x.
    const bool inner = cols_ >= 3 && rows_ >= 3;
    const int32_t a0 = std::max(0, x0 - 1), a1 = std::min(cols_ - 1, x1);
    const size_t squares = inner ? static_cast<size_t>(a1 - a0) : 0;
    // Rows are the units of the pool; a range starts by working out the square row
    // below its first row itself (the same numbers its neighbour gets).
    ParallelFor(rows_, GrainFor(rows_), [&](int64_t y0, int64_t y1) {
        std::vector<TVec3d> upperPrev(squares), lowerPrev(squares), upperCur(squares), lowerCur(squares);
        auto squareRow = [&](int32_t b, std::vector<TVec3d>& upper, std::vector<TVec3d>& lower) {
            const float* n0 = normalised_.data() + Index(0, b);
            const float* n1 = normalised_.data() + Index(0, b + 1);
            for (int32_t a = a0; a < a1; ++a) {
                const double h00 = scale * static_cast<double>(n0[a]), h10 = scale * static_cast<double>(n0[a + 1]);
                const double h01 = scale * static_cast<double>(n1[a]), h11 = scale * static_cast<double>(n1[a + 1]);
                upper[static_cast<size_t>(a - a0)] = UpperNormal(h00, h01, h11);
                lower[static_cast<size_t>(a - a0)] = LowerNormal(h00, h10, h11);
            }
        };
        if (inner && y0 >= 1) squareRow(static_cast<int32_t>(y0 - 1), upperPrev, lowerPrev);
        for (auto y = static_cast<int32_t>(y0); y < y1; ++y) {
            if (inner && y <= rows_ - 2) squareRow(y, upperCur, lowerCur);
            const bool innerRow = inner && y >= 1 && y <= rows_ - 2;
            const float* n = normalised_.data() + Index(0, y);
            for (int32_t x = x0; x < x1; ++x) {
                const double z = scale * static_cast<double>(n[x]);
                TVertex& v = out[static_cast<size_t>(x - x0) * rows + static_cast<size_t>(y)];
                v.Colour = PointColour(z);
                v.Position = Position(x, y, z);
                if (innerRow && x >= 1 && x <= cols_ - 2) {
                    const auto l = static_cast<size_t>(x - 1 - a0), r = static_cast<size_t>(x - a0);
                    v.Normal = MeanNormal(upperPrev[l], lowerPrev[l], upperPrev[r], lowerCur[l], upperCur[r], lowerCur[r]);
                } else {
                    v.Normal = {0, 0, 0};
                }
            }
            upperPrev.swap(upperCur);
            lowerPrev.swap(lowerCur);
        }
    });
}

std::vector<uint32_t> ColourRamp(const std::array<TRgb, 101>& table) {
    std::vector<uint32_t> img(static_cast<size_t>(RampWidth) * RampHeight, 0xFF808080u);
    for (int i = 0; i <= 100; ++i) {
        const TRgb& c = table[static_cast<size_t>(i)];
        const uint32_t argb = 0xFF000000u | (static_cast<uint32_t>(c.Red & 0xFF) << 16) |
                              (static_cast<uint32_t>(c.Green & 0xFF) << 8) | static_cast<uint32_t>(c.Blue & 0xFF);
        for (int y = std::max(0, 298 - 3 * i); y < std::min(RampHeight, 301 - 3 * i); ++y)
            for (int x = 1; x < 31; ++x) img[static_cast<size_t>(y) * RampWidth + static_cast<size_t>(x)] = argb;
    }
    return img;
}

// ---------------------------------------------------------------- scale bars

namespace {

// Arrow head with its tip at tip, pointing along axis (0 x, 1 y, 2 z) in direction
// sign: the base lies 10 units back, 2 units to either side.
std::array<TPoint3, 6> ArrowHead(const TPoint3& tip, int axis, float sign) {
    auto at = [&](float along, float u, float v) {
        float p[3] = {tip.X, tip.Y, tip.Z};
        p[axis] -= sign * along;
        p[(axis + 1) % 3] += u;
        p[(axis + 2) % 3] += v;
        return TPoint3{p[0], p[1], p[2]};
    };
    return {tip, at(10, -2, -2), at(10, 2, -2), at(10, 2, 2), at(10, -2, 2), at(10, -2, -2)};
}

TScaleBar Bar(const TPoint3& from, const TPoint3& to, int axis, const TPoint3& labelAt, std::string label) {
    TScaleBar bar;
    bar.From = from;
    bar.To = to;
    const float dir = (&to.X)[axis] >= (&from.X)[axis] ? 1.0f : -1.0f;
    bar.HeadFrom = ArrowHead(from, axis, -dir);
    bar.HeadTo = ArrowHead(to, axis, dir);
    bar.LabelAt = labelAt;
    bar.Label = std::move(label);
    return bar;
}

}  // namespace

std::array<TScaleBar, 3> ScaleBars(const TScanPara& para, float min, float max, int gainPercent,
                                   double rotZ) {
    const float b = static_cast<float>(-gainPercent);
    std::array<TScaleBar, 3> bars;

    const bool xNear = rotZ <= 90 || rotZ >= 270;
    const float xy = xNear ? -10.0f : 265.0f;
    bars[0] = Bar({0, xy, b}, {255, xy, b}, 0, xNear ? TPoint3{120, -20, b - 10} : TPoint3{135, 275, b - 10},
                  FormatGeneral(para.XScanRange, 4) + " " + para.XPhysUnit);

    const bool yFar = rotZ > 180;
    const float yx = yFar ? 265.0f : -10.0f;
    bars[1] = Bar({yx, 0, b}, {yx, 255, b}, 1, yFar ? TPoint3{275, 120, b - 10} : TPoint3{-20, 135, b - 10},
                  FormatGeneral(para.YScanRange, 4) + " " + para.YPhysUnit);

    float cx = 265, cy = -10;
    if (rotZ >= 270) {
        cx = 265;
        cy = 265;
    } else if (rotZ >= 180) {
        cx = -10;
        cy = 265;
    } else if (rotZ >= 90) {
        cx = -10;
        cy = -10;
    }
    const float out = 5.0f;
    const TPoint3 label{cx + (cx > 128 ? out : -out), cy + (cy > 128 ? out : -out), b / 2};
    bars[2] = Bar({cx, cy, 0}, {cx, cy, b}, 2, label,
                  FormatGeneral(static_cast<long double>(max) - static_cast<long double>(min), 4) + " " +
                      para.PhysUnit);
    return bars;
}

// ---------------------------------------------------------------- view under the mouse

void TViewState::BeginDrag(int32_t x, int32_t y, bool shift, bool ctrl) {
    DragX = x;
    DragY = y;
    DragMode = ctrl ? DragPan : shift ? DragZoom : DragRotate;
}

namespace {
// An angle above 360 loses 360, one below 0 gains 360 (a move of more than a full
// turn at once is brought into 0..360 as well).
double WrapAngle(double a) {
    if (a > 360) a -= 360;
    if (a < 0) a += 360;
    if (a > 360 || a < 0) {
        a = std::fmod(a, 360.0);
        if (a < 0) a += 360;
    }
    return a;
}
}  // namespace

bool TViewState::DragTo(int32_t x, int32_t y) {
    if (DragMode == DragNone) return false;
    const int64_t dx = static_cast<int64_t>(x) - DragX;
    const int64_t dy = static_cast<int64_t>(y) - DragY;
    DragX = x;
    DragY = y;
    switch (DragMode) {
        case DragRotate:
            if (dx != 0) RotZ = WrapAngle(RotZ + static_cast<double>(dx) / 10);
            if (dy != 0) RotX = WrapAngle(RotX + static_cast<double>(dy) / 10);
            break;
        case DragPan:
            PanX = static_cast<int32_t>(std::clamp<int64_t>(
                PanX + static_cast<int64_t>(std::nearbyint(static_cast<double>(dx) / 1.5)), -PanLimit, PanLimit));
            PanY = static_cast<int32_t>(std::clamp<int64_t>(
                PanY - static_cast<int64_t>(std::nearbyint(static_cast<double>(dy) / 1.5)), -PanLimit, PanLimit));
            break;
        case DragZoom:
            ZDist = static_cast<int32_t>(std::clamp<int64_t>(ZDist - dy, ZDistMin, ZDistMax));
            break;
        default:
            break;
    }
    return true;
}
