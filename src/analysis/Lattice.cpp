#include "analysis/Lattice.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <tuple>

#include "core/Numbers.h"

namespace {

int32_t RoundI(long double v) { return static_cast<int32_t>(RoundHalfEven(v)); }

struct TVec {
    double x = 0.0, y = 0.0;
};

// A walk that comes back to a state it was in would go round for ever: it is ended
// there. States are only recorded once a walk is longer than the match count, so
// ordinary walks pay nothing for the check.
class TCycleGuard {
public:
    explicit TCycleGuard(size_t matches) : limit_(matches + 1) {}
    bool Repeats(int32_t p, TVec va, TVec vb) {
        if (++steps_ <= limit_) return false;
        return !seen_.emplace(p, va.x, va.y, vb.x, vb.y).second;
    }

private:
    size_t limit_;
    size_t steps_ = 0;
    std::set<std::tuple<int32_t, double, double, double, double>> seen_;
};

class TLinker {
public:
    TLinker(std::vector<TUnitCellMatch>& m, int32_t cols, int32_t rows)
        : m_(m), index_(m, cols, rows), cols_(cols), rows_(rows) {}

    int32_t Nearest(double x, double y) const { return index_.Nearest(x, y); }
    TVec Pos(int32_t i) const { return {m_[static_cast<size_t>(i)].X, m_[static_cast<size_t>(i)].Y}; }

    // Walks along b from start (dir 0: +b, 2: -b), linking every match it passes.
    void Walk(int dir, int32_t start, TVec va, TVec vb) {
        TCycleGuard guard(m_.size());
        int32_t p = start;
        for (;;) {
            TUnitCellMatch& cur = m_[static_cast<size_t>(p)];
            const TVec pos = Pos(p);
            int32_t n = Nearest(pos.x + va.x, pos.y + va.y);
            cur.Neighbour[3] = n;
            if (n >= 0) va = {Pos(n).x - pos.x, Pos(n).y - pos.y};
            cur.Neighbour[2] = Nearest(pos.x - vb.x, pos.y - vb.y);
            cur.Neighbour[1] = Nearest(pos.x - va.x, pos.y - va.y);
            cur.Neighbour[0] = Nearest(pos.x + vb.x, pos.y + vb.y);
            const int32_t next = cur.Neighbour[static_cast<size_t>(dir)];
            if (next < 0 || next == p) return;
            const TVec q = Pos(next);
            vb = dir == 0 ? TVec{q.x - pos.x, q.y - pos.y} : TVec{pos.x - q.x, pos.y - q.y};
            p = next;
            if (guard.Repeats(p, va, vb)) return;
        }
    }

    int32_t Slot(int32_t i, int s) const { return m_[static_cast<size_t>(i)].Neighbour[static_cast<size_t>(s)]; }

    // The four sweeps along a from home.
    void Sweeps(int32_t home, TVec a, TVec b) {
        const size_t n = m_.size();
        // +a side, +b columns
        {
            int32_t p = home;
            TVec va = a;
            Walk(0, p, va, b);
            TCycleGuard guard(n);
            for (;;) {
                const int32_t q = Slot(p, 3);
                if (q < 0) break;
                va = {Pos(q).x - Pos(p).x, Pos(q).y - Pos(p).y};
                if (va.x == 0 && va.y == 0) break;
                p = q;
                Walk(0, p, va, b);
                if (guard.Repeats(p, va, {})) break;
            }
        }
        // +a side, -b columns
        {
            int32_t p = home;
            TVec va = a;
            Walk(2, home, a, b);
            TCycleGuard guard(n);
            for (;;) {
                const int32_t q = Slot(p, 3);
                if (q < 0) break;
                Walk(2, q, va, b);
                va = {Pos(q).x - Pos(p).x, Pos(q).y - Pos(p).y};
                if (va.x == 0 && va.y == 0) break;
                p = q;
                if (guard.Repeats(p, va, {})) break;
            }
        }
        // -a side, +b columns
        {
            int32_t p = home;
            TVec va = a;
            TCycleGuard guard(n);
            for (;;) {
                const int32_t q = Slot(p, 1);
                if (q < 0) break;
                Walk(0, q, va, b);
                va = {Pos(p).x - Pos(q).x, Pos(p).y - Pos(q).y};
                if (va.x == 0 && va.y == 0) break;
                p = q;
                if (guard.Repeats(p, va, {})) break;
            }
        }
        // -a side, -b columns
        {
            int32_t p = home;
            TVec va = a;
            Walk(2, home, a, b);
            TCycleGuard guard(n);
            for (;;) {
                const int32_t q = Slot(p, 1);
                if (q < 0) break;
                Walk(2, q, va, b);
                va = {Pos(p).x - Pos(q).x, Pos(p).y - Pos(q).y};
                if (va.x == 0 && va.y == 0) break;
                p = q;
                if (guard.Repeats(p, va, {})) break;
            }
        }
    }

private:
    std::vector<TUnitCellMatch>& m_;
    TMatchIndex index_;
    int32_t cols_, rows_;
};

}  // namespace

int32_t NearestMatch(const std::vector<TUnitCellMatch>& matches, double x, double y, int32_t cols, int32_t rows) {
    if (!(x >= 0) || !(y >= 0) || x >= cols - 1 || y >= rows - 1) return -1;
    int32_t best = -1;
    double bestD = static_cast<double>(rows) * rows;
    for (size_t i = 0; i < matches.size(); ++i) {
        const double dx = matches[i].X - x, dy = matches[i].Y - y;
        const double d = dx * dx + dy * dy;
        if (d < bestD) {
            bestD = d;
            best = static_cast<int32_t>(i);
        }
    }
    return best;
}

int32_t HomeMatchOf(const std::vector<TUnitCellMatch>& matches, const TCellCorners& c, int32_t cols, int32_t rows) {
    const double x = c.Corner1.x + (c.Corner3.x - c.Corner1.x) / 2.0;
    const double y = rows - c.Corner1.y - 1 - (c.Corner3.y - c.Corner1.y) / 2.0;
    return NearestMatch(matches, x, y, cols, rows);
}

int32_t LinkNeighbours(std::vector<TUnitCellMatch>& matches, const TCellCorners& c, int32_t cols, int32_t rows) {
    if (matches.empty()) return -1;
    const int32_t home = HomeMatchOf(matches, c, cols, rows);
    if (home < 0) return -1;
    const TPointI a = c.VecA(), b = c.VecB();
    TLinker linker(matches, cols, rows);
    linker.Sweeps(home, {static_cast<double>(a.x), static_cast<double>(-a.y)},
                  {static_cast<double>(b.x), static_cast<double>(-b.y)});

    KeepMutualLinks(matches);
    SetLocalVectors(matches);
    return home;
}

void KeepMutualLinks(std::vector<TUnitCellMatch>& matches) {
    // 0 <-> 2, 1 <-> 3
    static constexpr int Back[4] = {2, 3, 0, 1};
    for (size_t i = 0; i < matches.size(); ++i)
        for (int s = 0; s < 4; ++s) {
            const int32_t j = matches[i].Neighbour[static_cast<size_t>(s)];
            if (j < 0) continue;
            if (j >= static_cast<int32_t>(matches.size()) ||
                matches[static_cast<size_t>(j)].Neighbour[static_cast<size_t>(Back[s])] != static_cast<int32_t>(i))
                matches[i].Neighbour[static_cast<size_t>(s)] = -1;
        }
}

void SetLocalVectors(std::vector<TUnitCellMatch>& matches) {
    for (TUnitCellMatch& m : matches) {
        m.VecAX = m.VecAY = m.VecBX = m.VecBY = 0.0;
        if (m.Neighbour[3] >= 0) {
            const TUnitCellMatch& n = matches[static_cast<size_t>(m.Neighbour[3])];
            m.VecAX = n.X - m.X;
            m.VecAY = n.Y - m.Y;
        }
        if (m.Neighbour[0] >= 0) {
            const TUnitCellMatch& n = matches[static_cast<size_t>(m.Neighbour[0])];
            m.VecBX = n.X - m.X;
            m.VecBY = n.Y - m.Y;
        }
    }
}

TPointI GridAnchorOf(const TCellCorners& c) {
    return {(c.Corner1.x - c.Corner3.x) / 2, (c.Corner1.y - c.Corner3.y) / 2};
}

std::vector<TGridLine> FoundGridLines(const std::vector<TUnitCellMatch>& matches, TPointI anchor, TPointI drag,
                                      int32_t rows) {
    std::vector<TGridLine> out;
    const int32_t ox = anchor.x + drag.x, oy = anchor.y - drag.y;
    auto at = [&](const TUnitCellMatch& m) {
        return TPointI{RoundI(m.X) + ox, rows - 1 - (RoundI(m.Y) + oy)};
    };
    for (const TUnitCellMatch& m : matches)
        for (int s = 0; s < 4; ++s) {
            const int32_t j = m.Neighbour[static_cast<size_t>(s)];
            if (j < 0 || j >= static_cast<int32_t>(matches.size())) continue;
            out.push_back({at(m), at(matches[static_cast<size_t>(j)]), s == 0 || s == 2});
        }
    return out;
}

// ---------------------------------------------------------------- statistics plot

std::vector<TPlotPoint> LatticePlotData(const std::vector<TUnitCellMatch>& matches, TLatticeQuantity q,
                                        TPlotAxis axis, const TQTVPicture& source) {
    std::vector<TPlotPoint> out;
    const double dx = source.Cols > 0 ? source.Para.XScanRange / source.Cols : 0.0;
    const double dy = source.Rows > 0 ? source.Para.YScanRange / source.Rows : 0.0;
    const bool needA = q == TLatticeQuantity::Ax || q == TLatticeQuantity::Ay;
    for (size_t i = 0; i < matches.size(); ++i) {
        const TUnitCellMatch& m = matches[i];
        if (m.Neighbour[needA ? 3 : 0] < 0) continue;
        TPlotPoint p;
        p.X = axis == TPlotAxis::X ? m.X * dx : m.Y * dy;
        switch (q) {
        case TLatticeQuantity::A:
        case TLatticeQuantity::B: {
            const double vx = q == TLatticeQuantity::A ? m.VecAX : m.VecBX;
            const double vy = q == TLatticeQuantity::A ? m.VecAY : m.VecBY;
            p.Y = std::sqrt((vx * dx) * (vx * dx) + (vy * dy) * (vy * dy));
            if (p.Y == 0) continue;
            break;
        }
        case TLatticeQuantity::Phi: {
            const double c = std::sqrt(m.VecAX * m.VecAX + m.VecAY * m.VecAY) *
                             std::sqrt(m.VecBX * m.VecBX + m.VecBY * m.VecBY);
            const double d = m.VecAX * m.VecBX + m.VecAY * m.VecBY;
            if (c <= std::fabs(d) * 1e-9) continue;
            p.Y = std::acos(std::clamp(d / c, -1.0, 1.0)) * 180.0 / M_PI;
            break;
        }
        case TLatticeQuantity::Ax:
            p.Y = m.VecAX * dx;
            if (axis == TPlotAxis::X) p.X += p.Y / 2;
            break;
        case TLatticeQuantity::Ay: p.Y = m.VecAY * dy; break;
        case TLatticeQuantity::Bx: p.Y = m.VecBX * dx; break;
        case TLatticeQuantity::By: p.Y = m.VecBY * dy; break;
        }
        p.Match = static_cast<int32_t>(i);
        out.push_back(p);
    }
    return out;
}

std::vector<TPlotPoint> RegionSizeData(const std::vector<TUnitCellMatch>& matches, bool sqrtArea) {
    std::vector<TPlotPoint> out;
    int32_t largest = 0;
    for (const auto& m : matches) largest = std::max(largest, m.Pixels);
    std::vector<int32_t> count(static_cast<size_t>(largest) + 1, 0);
    for (const auto& m : matches)
        if (m.Pixels >= 0) ++count[static_cast<size_t>(m.Pixels)];
    for (int32_t s = 0; s <= largest; ++s)
        if (count[static_cast<size_t>(s)] >= 1) {
            TPlotPoint p;
            p.X = sqrtArea ? std::sqrt(static_cast<double>(s)) : s;
            p.Y = count[static_cast<size_t>(s)];
            out.push_back(p);
        }
    return out;
}

std::vector<TPlotPoint> PeakData(const std::vector<TUnitCellMatch>& matches, bool sqrtArea) {
    std::vector<TPlotPoint> out;
    for (const auto& m : matches) {
        TPlotPoint p;
        p.X = sqrtArea ? std::sqrt(static_cast<double>(m.Pixels)) : m.Pixels;
        p.Y = m.Peak;
        out.push_back(p);
    }
    return out;
}

std::optional<TParabola> FitParabola(const std::vector<TPlotPoint>& points) {
    // three distinct abscissae make the normal equations regular
    std::vector<double> xs;
    for (const auto& p : points)
        if (std::find(xs.begin(), xs.end(), p.X) == xs.end()) {
            xs.push_back(p.X);
            if (xs.size() >= 3) break;
        }
    if (xs.size() < 3) return std::nullopt;
    long double n = 0, sx = 0, sx2 = 0, sx3 = 0, sx4 = 0, sy = 0, sxy = 0, sx2y = 0;
    for (const auto& p : points) {
        const long double x = p.X, y = p.Y, x2 = x * x;
        n += 1;
        sx += x;
        sx2 += x2;
        sx3 += x2 * x;
        sx4 += x2 * x2;
        sy += y;
        sxy += x * y;
        sx2y += x2 * y;
    }
    // | sx4 sx3 sx2 | |c2|   | sx2y |
    // | sx3 sx2 sx  | |c1| = | sxy  |
    // | sx2 sx  n   | |c0|   | sy   |
    auto det3 = [](long double a, long double b, long double c, long double d, long double e, long double f,
                   long double g, long double h, long double i) {
        return a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g);
    };
    const long double det = det3(sx4, sx3, sx2, sx3, sx2, sx, sx2, sx, n);
    if (det == 0 || !std::isfinite(static_cast<double>(det))) return std::nullopt;
    TParabola f;
    f.C2 = static_cast<double>(det3(sx2y, sx3, sx2, sxy, sx2, sx, sy, sx, n) / det);
    f.C1 = static_cast<double>(det3(sx4, sx2y, sx2, sx3, sxy, sx, sx2, sy, n) / det);
    f.C0 = static_cast<double>(det3(sx4, sx3, sx2y, sx3, sx2, sxy, sx2, sx, sy) / det);
    return f;
}

std::string FitText(const TParabola& fit) {
    auto sign = [](double v) { return v >= 0 ? std::string("+") : std::string(); };
    return "fit = " + FormatSig(3, fit.C2) + " * x\xB2 " + sign(fit.C1) + FormatSig(3, fit.C1) + " * x " +
           sign(fit.C0) + FormatSig(3, fit.C0);
}

TDistortionPair DistortionFromFit(const TParabola& fit, const TQTVPicture& source, TPlotAxis axis) {
    const double L = axis == TPlotAxis::X ? source.Para.XScanRange : source.Para.YScanRange;
    double m = fit.C2 * L * L / 3 + fit.C1 * L / 2 + fit.C0;
    if (std::fabs(m) < 1e-9) m = 1;
    return {-fit.C1 * L / m / 2, -L * L * fit.C2 / m / 3};
}

const char* DistortionKeyC(TPlotAxis axis) { return axis == TPlotAxis::X ? "DistortionCX" : "DistortionCY"; }
const char* DistortionKeyD(TPlotAxis axis) { return axis == TPlotAxis::X ? "DistortionDX" : "DistortionDY"; }
std::string DistortionText(double value) { return FormatSig(4, value); }

std::string DistortionCopiedText(const TDistortionPair& d, TPlotAxis axis) {
    const char* a = axis == TPlotAxis::X ? "x" : "y";
    return std::string("Copied to Distortion: c_") + a + " = " + DistortionText(d.C) + ", d_" + a + " = " +
           DistortionText(d.D);
}

int32_t TPlotLayout::PixelX(double x) const { return RoundI(x * ScaleX) + 5; }
int32_t TPlotLayout::PixelY(double y) const { return Height - RoundI((y - MinY) * ScaleY) - 5; }

std::string TPlotLayout::TopLabel() const {
    if (std::isfinite(MaxY) && std::fabs(MaxY) < 1e15 && RoundHalfEven(1000.0L * MaxY) == 1000 * RoundHalfEven(MaxY))
        return FormatFixed(MaxY, 18, 0);
    return FormatSig(5, MaxY);
}

std::string TPlotLayout::BottomLabel() const { return FormatSig(5, MinY); }

std::string TPlotLayout::HintText(int32_t mx, int32_t my) const {
    const double x = (mx - 5) / ScaleX;
    const double y = (Height - my - 5) / ScaleY + MinY;
    return "(x;y) = (" + FormatSig(3, x) + " ; " + FormatSig(3, y) + ")";
}

std::vector<TPointI> TPlotLayout::FitPolyline(const TParabola& fit) const {
    std::vector<TPointI> out;
    auto py = [&](double v) -> int32_t {
        const long double r = (v - MinY) * ScaleY;
        if (!std::isfinite(static_cast<double>(r)) || std::fabs(r) > 1e7L) return r > 0 ? -100000 : 100000;
        return Height - RoundI(r) - 5;
    };
    out.push_back({5, py(fit.C0)});
    for (int32_t i = 1; i <= Width - 10; ++i) out.push_back({i + 5, py(fit(i / ScaleX))});
    return out;
}

TPlotLayout LayoutPlot(const std::vector<TPlotPoint>& points, int32_t width, int32_t height, bool mode2) {
    TPlotLayout l;
    l.Width = width;
    l.Height = height;
    for (const auto& p : points) {
        l.MinY = std::min(l.MinY, p.Y);
        l.MaxY = std::max(l.MaxY, p.Y);
        l.MinX = std::min(l.MinX, p.X);
        l.MaxX = std::max(l.MaxX, p.X);
    }
    if (mode2) l.MinX = 0;
    l.ScaleY = l.MaxY == l.MinY ? 1.0 : (height - 10) / (l.MaxY - l.MinY);
    l.ScaleX = l.MaxX == l.MinX ? 1.0 : (width - 10) / (l.MaxX - l.MinX);
    return l;
}

int32_t PickPlotPoint(const std::vector<TPlotPoint>& points, const TPlotLayout& layout, int32_t mx, int32_t my,
                      double limit) {
    if (points.empty()) return -1;
    int32_t best = -1;
    double bestD = limit;
    for (size_t i = 0; i < points.size(); ++i) {
        const double dx = layout.PixelX(points[i].X) - mx, dy = layout.PixelY(points[i].Y) - my;
        const double d = dx * dx + dy * dy;
        if (d < bestD) {
            bestD = d;
            best = static_cast<int32_t>(i);
        }
    }
    return best < 0 ? 0 : best;
}

std::string PlotDataText(const std::vector<TPlotPoint>& points) {
    std::string out;
    for (const auto& p : points) out += FormatGeneral(p.X, 15) + "\t" + FormatGeneral(p.Y, 15) + "\n";
    return out;
}

void DeleteExcluded(std::vector<TPlotPoint>& points, std::vector<TUnitCellMatch>& matches, int32_t& home,
                    bool removeMatches) {
    std::vector<uint8_t> gone(matches.size(), 0);
    std::vector<TPlotPoint> kept;
    for (const auto& p : points) {
        if (!p.Excluded) {
            kept.push_back(p);
            continue;
        }
        if (removeMatches && p.Match >= 0 && p.Match < static_cast<int32_t>(matches.size()))
            gone[static_cast<size_t>(p.Match)] = 1;
    }
    points = std::move(kept);
    if (!removeMatches) return;
    // new indices of the matches that stay; links to removed ones are cleared
    std::vector<int32_t> index(matches.size(), -1);
    std::vector<TUnitCellMatch> left;
    for (size_t i = 0; i < matches.size(); ++i)
        if (!gone[i]) {
            index[i] = static_cast<int32_t>(left.size());
            left.push_back(matches[i]);
        }
    auto remap = [&](int32_t j) { return j >= 0 && j < static_cast<int32_t>(index.size()) ? index[static_cast<size_t>(j)] : -1; };
    for (auto& m : left)
        for (auto& n : m.Neighbour) n = remap(n);
    for (auto& p : points) p.Match = remap(p.Match);
    home = remap(home);
    matches = std::move(left);
}

// ---------------------------------------------------------------- averaged cell

bool NewUnitCell(const std::vector<TUnitCellMatch>& matches, int32_t home, TPointI anchor, TPointI drag,
                 int32_t rows, TCellCorners& corners) {
    const auto count = static_cast<int32_t>(matches.size());
    if (home < 0 || home >= count) return false;
    const int32_t plusA = matches[static_cast<size_t>(home)].Neighbour[3];
    if (plusA < 0 || plusA >= count) return false;
    auto corner = [&](int32_t i) {
        const TUnitCellMatch& m = matches[static_cast<size_t>(i)];
        return TPointI{RoundI(m.X), rows - RoundI(m.Y) - 1};
    };
    // all three corners or none: a cell of two new corners and an old one is no cell
    const int32_t plusB = matches[static_cast<size_t>(plusA)].Neighbour[0];
    if (plusB < 0 || plusB >= count) return false;
    TCellCorners c{corner(home), corner(plusA), corner(plusB)};
    const int32_t ox = anchor.x + drag.x, oy = anchor.y + drag.y;
    for (TPointI* p : {&c.Corner1, &c.Corner2, &c.Corner3}) {
        p->x += ox;
        p->y += oy;
    }
    corners = c;
    return true;
}

TQTVPicture AverageCell(const TQTVPicture& source, const std::vector<TUnitCellMatch>& matches, int32_t home,
                        TCellCut& cut) {
    const int32_t h = cut.Half, s = 2 * h + 1;
    const int32_t W = source.Cols, H = source.Rows;
    TQTVPicture sum;
    sum.SetSize(s, s);
    sum.Para = source.Para;
    sum.Para.XScanRange = W > 0 ? s * (source.Para.XScanRange / W) : 0.0;
    sum.Para.YScanRange = H > 0 ? s * (source.Para.YScanRange / H) : 0.0;
    sum.Para.XPixel = s;
    sum.Para.YPixel = s;
    if (home < 0 || home >= static_cast<int32_t>(matches.size())) return sum;
    std::vector<int32_t> count(static_cast<size_t>(s) * s, 0);
    for (const TUnitCellMatch& m : matches) {
        const int32_t cx = RoundI(m.X), cy = RoundI(m.Y);
        for (int32_t k = 0; k < s; ++k) {
            const int32_t row = cy - h + k;
            if (row < 0 || row >= H) continue;
            const float* src = source.Data[row];
            float* dst = sum.Data[k];
            for (int32_t i = 0; i < s; ++i) {
                const int32_t col = cx - h + i;
                if (col < 0 || col >= W) continue;
                dst[i] += src[col];
                ++count[static_cast<size_t>(k) * s + i];
            }
        }
    }
    const int32_t cx = RoundI(matches[static_cast<size_t>(home)].X), cy = RoundI(matches[static_cast<size_t>(home)].Y);
    long double total = 0;
    int64_t averaged = 0;
    std::vector<uint8_t> inside(static_cast<size_t>(s) * s, 0);
    for (int32_t k = 0; k < s; ++k) {
        float* row = sum.Data[k];
        for (int32_t i = 0; i < s; ++i) {
            const int32_t col = cx - h + i, r = cy - h + k;
            const size_t at = static_cast<size_t>(k) * s + i;
            if (col < 0 || col >= W || r < 0 || r >= H || !cut.MaskAt(col, H - 1 - r)) continue;
            inside[at] = 1;
            if (count[at] >= 1) {
                row[i] = static_cast<float>(static_cast<double>(row[i]) / count[at]);
                total += row[i];
                ++averaged;
            } else {
                row[i] = 0.0f;
            }
        }
    }
    const double mean = averaged > 0 ? static_cast<double>(total / averaged) : 0.0;
    for (int32_t k = 0; k < s; ++k) {
        float* row = sum.Data[k];
        for (int32_t i = 0; i < s; ++i)
            row[i] = inside[static_cast<size_t>(k) * s + i] ? static_cast<float>(row[i] - mean) : 0.0f;
    }
    // into the centre window of the cut-out, where the correlation takes its template
    if (cut.Cell.HasData()) {
        const int32_t r0 = cut.Rows / 2 - h, c0 = cut.Cols / 2 - h;
        for (int32_t k = 0; k < s; ++k) {
            if (r0 + k < 0 || r0 + k >= cut.Cell.Rows) continue;
            float* dst = cut.Cell.Data[r0 + k];
            const float* src = sum.Data[k];
            for (int32_t i = 0; i < s; ++i)
                if (c0 + i >= 0 && c0 + i < cut.Cell.Cols) dst[c0 + i] = src[i];
        }
    }
    return sum;
}
