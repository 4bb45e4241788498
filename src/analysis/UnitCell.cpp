#include "analysis/UnitCell.h"

#include <algorithm>
#include <cmath>

#include "core/Messages.h"
#include "core/Numbers.h"

namespace {

int64_t Dist2(TPointI p, TPointI q) {
    const int64_t dx = static_cast<int64_t>(p.x) - q.x;
    const int64_t dy = static_cast<int64_t>(p.y) - q.y;
    return dx * dx + dy * dy;
}

bool Inside(TPointI p, int32_t cols, int32_t rows) { return p.x >= 0 && p.y >= 0 && p.x < cols && p.y < rows; }

int32_t RoundI(long double v) { return static_cast<int32_t>(RoundHalfEven(v)); }

void PixelSizes(const TQTVPicture& s, double& dx, double& dy) {
    dx = s.Cols > 0 ? s.Para.XScanRange / s.Cols : 0.0;
    dy = s.Rows > 0 ? s.Para.YScanRange / s.Rows : 0.0;
}

}  // namespace

TCellCorners DefaultCorners(int32_t cols, int32_t rows) {
    return {{3 * cols / 7, 4 * rows / 7}, {4 * cols / 7, 4 * rows / 7}, {4 * cols / 7, 3 * rows / 7}};
}

bool CornersValid(const TCellCorners& c, int32_t cols, int32_t rows) {
    for (TPointI p : {c.Corner1, c.Corner2, c.Corner3})
        if (!Inside(p, cols, rows)) return false;
    const int64_t q = cols / 4;
    for (int64_t d : {Dist2(c.Corner1, c.Corner2), Dist2(c.Corner1, c.Corner3), Dist2(c.Corner2, c.Corner3)})
        if (d < 10 || d > q * q) return false;
    return true;
}

int32_t MarkerSizeFor(int32_t cols, int32_t controlWidth) {
    return 2 * RoundI(static_cast<long double>(cols) / controlWidth + 1);
}

std::vector<TSegment> LatticeSegments(const TCellCorners& c, int32_t cols, int32_t rows, bool grid) {
    std::vector<TSegment> out;
    if (cols <= 0 || rows <= 0) return out;
    const TPointI a = c.VecA(), b = c.VecB();
    std::vector<uint8_t> visited(static_cast<size_t>(cols) * rows, 0);
    // an explicit stack instead of the recursion; every reachable point is handled once
    std::vector<TPointI> stack{c.Corner1};
    auto add = [](TPointI p, TPointI v, int s) { return TPointI{p.x + s * v.x, p.y + s * v.y}; };
    while (!stack.empty()) {
        const TPointI p = stack.back();
        stack.pop_back();
        if (!Inside(p, cols, rows)) continue;
        uint8_t& seen = visited[static_cast<size_t>(p.y) * cols + p.x];
        if (seen) continue;
        seen = 1;
        out.push_back({p, add(p, a, 1)});
        out.push_back({p, add(p, a, -1)});
        if (grid) {
            out.push_back({p, add(p, b, 1)});
            out.push_back({p, add(p, b, -1)});
        }
        // pushed in reverse so that +a is visited first, as the recursion does
        stack.push_back(add(p, b, -1));
        stack.push_back(add(p, b, 1));
        stack.push_back(add(p, a, -1));
        stack.push_back(add(p, a, 1));
    }
    return out;
}

TLatticeConstants LatticeConstants(const TCellCorners& c, const TQTVPicture& source) {
    TLatticeConstants k;
    double dx, dy;
    PixelSizes(source, dx, dy);
    const TPointI a = c.VecA(), b = c.VecB();
    k.A = std::sqrt((a.x * dx) * (a.x * dx) + (a.y * dy) * (a.y * dy));
    k.B = std::sqrt((b.x * dx) * (b.x * dx) + (b.y * dy) * (b.y * dy));
    if (k.A * k.B < 1e-16) {
        const double dot = static_cast<double>(a.x) * b.x + static_cast<double>(a.y) * b.y;
        k.Phi = dot > 0 ? M_PI / 2 : dot < 0 ? -M_PI / 2 : 0.0;
    } else {
        double cosPhi = (dx * dx * a.x * b.x + dy * dy * a.y * b.y) / k.A / k.B;
        cosPhi = std::clamp(cosPhi, -1.0, 1.0);  // rounding must not leave the arccos' domain
        k.Phi = std::acos(cosPhi);
    }
    k.Spacing = k.B * std::sin(k.Phi);
    if (source.Para.XPhysUnit == source.Para.YPhysUnit) k.Unit = source.Para.XPhysUnit;
    return k;
}

std::string LatticeNumberText(double value) { return FormatGeneral(value, 5); }

namespace {

// Gives the corner `to` = from + v scaled to the physical length len.
bool Rescale(TPointI from, TPointI& to, const TQTVPicture& source, double len) {
    double dx, dy;
    PixelSizes(source, dx, dy);
    if (dx == 0 || dy == 0) return false;
    const double vx = (to.x - from.x) * dx, vy = (to.y - from.y) * dy;
    const double cur = std::sqrt(vx * vx + vy * vy);
    if (!(cur > 0)) return false;
    const long double nx = vx / cur * len / dx, ny = vy / cur * len / dy;
    if (!std::isfinite(static_cast<double>(nx)) || !std::isfinite(static_cast<double>(ny)) ||
        std::fabs(nx) > 1e6L || std::fabs(ny) > 1e6L)
        return false;
    to = {from.x + RoundI(nx), from.y + RoundI(ny)};
    return true;
}

}  // namespace

bool SetLengthA(TCellCorners& c, const TQTVPicture& source, double len) {
    return Rescale(c.Corner1, c.Corner2, source, len);
}

bool SetLengthB(TCellCorners& c, const TQTVPicture& source, double len) {
    return Rescale(c.Corner2, c.Corner3, source, len);
}

bool SetAngle(TCellCorners& c, const TQTVPicture& source, double degrees) {
    double dx, dy;
    PixelSizes(source, dx, dy);
    if (dx == 0 || dy == 0 || !std::isfinite(degrees)) return false;
    const TPointI a = c.VecA(), b = c.VecB();
    const double ax = a.x * dx, ay = a.y * dy, bx = b.x * dx, by = b.y * dy;
    const double lenB = std::sqrt(bx * bx + by * by);
    if (!(std::sqrt(ax * ax + ay * ay) > 0)) return false;
    // turn a's direction towards the side b is on (screen y grows downwards: a
    // negative cross product is counter-clockwise on the screen)
    const double cross = ax * by - ay * bx;
    const double side = cross > 0 ? 1.0 : -1.0;
    const double theta = std::atan2(ay, ax) + side * degrees * M_PI / 180.0;
    const long double nx = lenB * std::cos(theta) / dx, ny = lenB * std::sin(theta) / dy;
    if (std::fabs(nx) > 1e6L || std::fabs(ny) > 1e6L) return false;
    c.Corner3 = {c.Corner2.x + RoundI(nx), c.Corner2.y + RoundI(ny)};
    return true;
}

int32_t PickCorner(const TCellCorners& c, double x, double y, double limit) {
    int32_t best = 0;
    double bestD = limit;
    const TPointI pts[3] = {c.Corner1, c.Corner2, c.Corner3};
    for (int i = 0; i < 3; ++i) {
        const double ddx = x - pts[i].x, ddy = y - pts[i].y;
        const double d = ddx * ddx + ddy * ddy;
        if (d < bestD) {
            bestD = d;
            best = i + 1;
        }
    }
    return best;
}

TCellCorners DragCorner(const TCellCorners& saved, int32_t which, TPointI p) {
    TCellCorners c = saved;
    if (which == 1) {
        const int32_t mx = p.x - saved.Corner1.x, my = p.y - saved.Corner1.y;
        c.Corner1 = p;
        c.Corner2 = {saved.Corner2.x + mx, saved.Corner2.y + my};
        c.Corner3 = {saved.Corner3.x + mx, saved.Corner3.y + my};
    } else if (which == 2) {
        c.Corner2 = p;
        c.Corner3 = {p.x + saved.Corner3.x - saved.Corner2.x, p.y + saved.Corner3.y - saved.Corner2.y};
    } else if (which == 3) {
        c.Corner3 = p;
    }
    return c;
}

double ControlToPixel(double pos, int32_t pixels, int32_t controlSize) {
    return pos * pixels / controlSize;
}

bool ExtractCell(const TQTVPicture& source, const TCellCorners& corners, TCellCut& cut) {
    const int32_t W = source.Cols, H = source.Rows;
    cut.Cols = W;
    cut.Rows = H;
    cut.Mask.assign(static_cast<size_t>(std::max(W, 0)) * std::max(H, 0), 0);
    cut.Valid = false;
    for (TPointI p : {corners.Corner1, corners.Corner2, corners.Corner3})
        if (!Inside(p, W, H)) {
            ShowMessage(CheckUnitCellText);
            return false;
        }
    const TPointI a = corners.VecA(), b = corners.VecB();
    auto set = [&](int32_t x, int32_t y) {
        // the fourth corner may lie outside the picture: its edges are clipped
        if (x >= 0 && y >= 0 && x < W && y < H) cut.Mask[static_cast<size_t>(x) * H + y] = 1;
    };
    auto edge = [&](double px, double py, double qx, double qy) {
        const double len = std::sqrt((qx - px) * (qx - px) + (qy - py) * (qy - py));
        const int32_t n = std::max<int32_t>(1, RoundI(2 * len + 1));
        const double sx = (qx - px) / n, sy = (qy - py) / n;
        for (int32_t i = 0; i <= n; ++i) {
            const double x = i == n ? qx : px + i * sx;
            const double y = i == n ? qy : py + i * sy;
            const auto tx = static_cast<int32_t>(std::trunc(x)), ty = static_cast<int32_t>(std::trunc(y));
            set(tx, ty);
            set(tx + 1, ty + 1);
        }
    };
    const double x1 = corners.Corner1.x, y1 = corners.Corner1.y;
    const double x2 = x1 + a.x, y2 = y1 + a.y;
    const double x3 = x2 + b.x, y3 = y2 + b.y;
    const double x4 = x1 + b.x, y4 = y1 + b.y;
    edge(x1, y1, x2, y2);
    edge(x2, y2, x3, y3);
    edge(x3, y3, x4, y4);
    edge(x4, y4, x1, y1);

    // fill every line between its first and last mask pixel
    bool any = false;
    cut.BoxLeft = W;
    cut.BoxRight = -1;
    cut.BoxTop = H;
    cut.BoxBottom = -1;
    for (int32_t y = 0; y < H; ++y) {
        int32_t first = -1, last = -1;
        for (int32_t x = 0; x < W; ++x)
            if (cut.Mask[static_cast<size_t>(x) * H + y]) {
                if (first < 0) first = x;
                last = x;
            }
        if (first < 0) continue;
        for (int32_t x = first; x <= last; ++x) cut.Mask[static_cast<size_t>(x) * H + y] = 1;
        any = true;
        cut.BoxLeft = std::min(cut.BoxLeft, first);
        cut.BoxRight = std::max(cut.BoxRight, last);
        cut.BoxTop = std::min(cut.BoxTop, y);
        cut.BoxBottom = std::max(cut.BoxBottom, y);
    }
    if (!any) cut.BoxLeft = cut.BoxRight = cut.BoxTop = cut.BoxBottom = 0;

    // mean height and centroid (sample rows)
    long double sum = 0, sumRow = 0, sumCol = 0;
    int64_t count = 0;
    for (int32_t x = 0; x < W; ++x)
        for (int32_t y = 0; y < H; ++y)
            if (cut.Mask[static_cast<size_t>(x) * H + y]) {
                const int32_t row = H - 1 - y;
                sum += source.Data[row][x];
                sumRow += row;
                sumCol += x;
                ++count;
            }
    double mean = 0, cRow = 0, cCol = 0;
    if (count > 0) {
        mean = static_cast<double>(sum / count);
        cRow = static_cast<double>(sumRow / count);
        cCol = static_cast<double>(sumCol / count);
    }
    cut.Mean = mean;
    // the centroid goes to row Rows div 2, column Cols div 2, where the correlation
    // takes its template
    cut.RowOffset = RoundI(cRow - H / 2);
    cut.ColOffset = RoundI(cCol - W / 2);

    cut.Cell.SetSize(W, H);
    cut.Cell.Para = source.Para;
    for (int32_t x = 0; x < W; ++x)
        for (int32_t y = 0; y < H; ++y)
            if (cut.Mask[static_cast<size_t>(x) * H + y]) {
                const int32_t row = H - 1 - y;
                const int32_t r = row - cut.RowOffset, c = x - cut.ColOffset;
                if (r >= 0 && r < H && c >= 0 && c < W)
                    cut.Cell.Data[r][c] = static_cast<float>(source.Data[row][x] - mean);
            }

    int32_t half = std::max(cut.BoxRight - cut.BoxLeft, cut.BoxBottom - cut.BoxTop);
    half = RoundI(half * 2.0L / 3.0L + 1);
    // the window around the centre must fit the picture both ways
    if (W < 2 * half + 1 || H < 2 * half + 1) half = std::min(W, H) / 2 - 1;
    cut.Half = std::max(half, 0);
    cut.Valid = true;
    return true;
}

TQTVPicture CellView(const TCellCut& cut, const TQTVPicture& source) {
    TQTVPicture view;
    const int32_t s = cut.Size();
    view.SetSize(s, s);
    double dx, dy;
    PixelSizes(source, dx, dy);
    view.Para = source.Para;
    view.Para.XPixel = s;
    view.Para.YPixel = s;
    view.Para.XScanRange = s * dx;
    view.Para.YScanRange = s * dy;
    if (!cut.Cell.HasData()) return view;
    const int32_t r0 = cut.Rows / 2 - cut.Half, c0 = cut.Cols / 2 - cut.Half;
    for (int32_t k = 0; k < s; ++k) {
        const float* src = cut.Cell.Data[r0 + k];
        float* dst = view.Data[k];
        for (int32_t i = 0; i < s; ++i) dst[i] = src[c0 + i];
    }
    return view;
}

TPointI CellCentrePixel(const TCellCut& cut) {
    const int32_t row = cut.Rows / 2 + cut.RowOffset;
    return {cut.Cols / 2 + cut.ColOffset, cut.Rows - 1 - row};
}
