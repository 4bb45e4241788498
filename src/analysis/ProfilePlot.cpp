#include "analysis/ProfilePlot.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "core/Numbers.h"

namespace {

int32_t Rnd(double v) {
    if (std::isnan(v)) return 0;
    if (v > 1e9) return 1000000000;
    if (v < -1e9) return -1000000000;
    return static_cast<int32_t>(std::nearbyint(v));
}

float CurveValue(const TProfile& p, int32_t curve, int32_t k) {
    if (k < 0 || k >= p.Count) return 0.0f;
    const auto i = static_cast<size_t>(k);
    return curve == 1 && p.HasSecond ? p.Z2[i] : p.Z[i];
}

}  // namespace

int32_t TPlotScale::PointX(int32_t j) const {
    if (Count <= 0) return 0;
    return Rnd(static_cast<double>(j) / Count * Width);
}

int32_t TPlotScale::PointY(double v) const { return Rnd((static_cast<double>(Max) - v) * Scale) + 1; }

int32_t TPlotScale::CursorY(double v) const { return Rnd((static_cast<double>(Max) - v) * Scale); }

int32_t TPlotScale::SampleAt(int32_t x) const {
    if (Count <= 0 || Width <= 0) return 0;
    return ClampIndex(Rnd(static_cast<double>(x) / Width * Count), 0, Count - 1);
}

TPlotScale MakePlotScale(const TProfile& p, int32_t width, int32_t height) {
    TPlotScale s;
    s.Width = width;
    s.Height = height;
    s.Count = p.Count;
    if (p.Count > 0) {
        s.Min = s.Max = p.Z[0];
        for (int32_t j = 1; j < p.Count; ++j) {
            const float v = p.Z[static_cast<size_t>(j)];
            if (v < s.Min) s.Min = v;
            if (v > s.Max) s.Max = v;
        }
        if (p.HasSecond)
            for (int32_t j = 0; j < p.Count; ++j) {
                const float v = p.Z2[static_cast<size_t>(j)];
                if (v < s.Min) s.Min = v;
                if (v > s.Max) s.Max = v;
            }
    }
    s.Scale = s.Max != s.Min ? static_cast<float>(height - 3) / (s.Max - s.Min) : 1.0f;
    return s;
}

TProfileLayout ProfileWindowLayout(int cw, int ch, bool dual, int labelWidth) {
    auto rnd = [](double v) { return std::isfinite(v) ? static_cast<int>(std::nearbyint(std::clamp(v, -1e8, 1e8))) : 0; };
    const int col = ProfileLeftColumn;
    const int room = std::max(labelWidth, 0) + 10;  // the labels and their gap to the plot
    int s = dual ? std::min(rnd((cw - 195) * 0.45), rnd(ch * 0.5)) : std::min(rnd((cw - col) * 0.6), rnd(ch * 0.5));
    // right of the labels the pictures must still fit, 4 pixels short of the right edge
    const int fit = dual ? (cw - col - room - 50 - 4) / 2 : cw - col - room - 4;
    s = std::max(std::min(s, fit), 20);
    TProfileLayout l;
    l.Side = s;
    l.Top = s / 10;
    l.Left = dual ? col + rnd((cw - col - 2 * s - 50) * 0.5) : col + rnd((cw - col - s) * 0.5);
    l.Left = std::max(l.Left, col + room);
    l.PlotTop = s + s / 5;
    l.PlotWidth = dual ? 2 * s + 50 : s;
    l.PlotHeight = std::max(ch - 3 * (s / 10) - s, 20);
    return l;
}

std::string PlotLimitText(float value) { return FormatSig(3, value); }

std::string PlotLengthText(const TProfile& p) {
    return FormatGeneral(static_cast<double>(p.Count) * static_cast<double>(p.SampleStep), 4);
}

// ---------------------------------------------------------------- cursors

void TCursors::Reset() {
    Selected = -1;
    C[0].Active = C[1].Active = false;
}

float TCursors::Value(const TProfile& p, int32_t i) const {
    if (i < 0 || i > 1) return 0.0f;
    return CurveValue(p, C[static_cast<size_t>(i)].Curve, C[static_cast<size_t>(i)].Sample);
}

void TCursors::PlaceY(const TProfile& p, const TPlotScale& s, int32_t i) {
    C[static_cast<size_t>(i)].Y = s.CursorY(Value(p, i));
}

int32_t TCursors::MouseDown(const TProfile& p, const TPlotScale& s, int32_t x, int32_t y) {
    if (!C[0].Active || std::abs(C[0].X - x) <= 3)
        Selected = 0;
    else if (!(C[1].Active && std::abs(C[1].X - x) > 3))
        Selected = 1;
    else
        Selected = -1;
    if (Selected < 0) return Selected;
    TCursor& c = C[static_cast<size_t>(Selected)];
    c.Curve = 0;
    if (p.HasSecond && p.Count > 0) {
        const int32_t k = s.SampleAt(x);
        const int32_t y2 = s.CursorY(p.Z2[static_cast<size_t>(k)]);
        const int32_t y1 = s.CursorY(p.Z[static_cast<size_t>(k)]);
        if (std::abs(y2 - y) < std::abs(y1 - y)) c.Curve = 1;
    }
    MouseMove(p, s, x);
    return Selected;
}

bool TCursors::MouseMove(const TProfile& p, const TPlotScale& s, int32_t x) {
    if (Selected < 0 || p.Count <= 0) return false;
    TCursor& c = C[static_cast<size_t>(Selected)];
    c.Sample = s.SampleAt(x);
    c.Active = true;
    c.X = x;
    PlaceY(p, s, Selected);
    return true;
}

bool TCursors::Key(const TProfile& p, const TPlotScale& s, TCursorKey key) {
    if (Selected < 0) return false;
    TCursor& c = C[static_cast<size_t>(Selected)];
    switch (key) {
    case TCursorKey::Space:
        Selected = Selected == 0 ? 1 : 0;
        break;
    case TCursorKey::Up:
    case TCursorKey::Down:
        if (!p.HasSecond) {
            C[0].Curve = C[1].Curve = 0;
            return false;
        }
        c.Curve = c.Curve == 0 ? 1 : 0;
        break;
    case TCursorKey::Left:
    case TCursorKey::Right:
        if (p.Count <= 0) return false;
        c.Sample = ClampIndex(static_cast<int64_t>(c.Sample) + (key == TCursorKey::Left ? -1 : 1), 0, p.Count - 1);
        c.X = s.PointX(c.Sample);
        break;
    }
    PlaceY(p, s, Selected);
    return true;
}

// ---------------------------------------------------------------- table

const std::array<std::string, 11>& MeasurementNames() {
    static const std::array<std::string, 11> names{"X ", "Y ", "Z ", "X ", "Y ", "Z ",
                                                   "dX ", "dY ", "dZ ", "dXY", "dXYZ"};
    return names;
}

std::array<std::string, 11> MeasurementValues(const TProfile& p, const TCursors& cursors, const TQTVPicture& src) {
    std::array<std::string, 11> rows{};
    const TScanPara& para = src.Para;
    double sx = 1.0, sy = 1.0;
    if (para.XPhysUnit == para.YPhysUnit) {
        sx = para.XScanRange / (src.Cols - 1);
        sy = para.YScanRange / (src.Rows - 1);
    }
    auto text = [](double v, const std::string& unit) { return FormatSig(3, v) + " " + unit; };
    for (int32_t i = 0; i < 2; ++i) {
        const TCursor& c = cursors.C[static_cast<size_t>(i)];
        if (!c.Active || c.Sample < 0 || c.Sample >= p.Count) continue;
        const auto k = static_cast<size_t>(c.Sample);
        rows[static_cast<size_t>(3 * i)] = text(p.X[k] * sx, para.XPhysUnit);
        rows[static_cast<size_t>(3 * i + 1)] = text(p.Y[k] * sy, para.YPhysUnit);
        rows[static_cast<size_t>(3 * i + 2)] = text(cursors.Value(p, i), para.PhysUnit);
    }
    const TCursor &c0 = cursors.C[0], &c1 = cursors.C[1];
    if (c0.Active && c1.Active && c0.Sample < p.Count && c1.Sample < p.Count && c0.Sample >= 0 && c1.Sample >= 0) {
        const auto k0 = static_cast<size_t>(c0.Sample), k1 = static_cast<size_t>(c1.Sample);
        const double dX = (static_cast<double>(p.X[k1]) - p.X[k0]) * sx;
        const double dY = (static_cast<double>(p.Y[k1]) - p.Y[k0]) * sy;
        const double dZ = static_cast<double>(cursors.Value(p, 1)) - cursors.Value(p, 0);
        rows[6] = text(dX, para.XPhysUnit);
        rows[7] = text(dY, para.YPhysUnit);
        rows[8] = text(dZ, para.PhysUnit);
        const double dxy = std::sqrt(dX * dX + dY * dY);
        const double dxyz = std::sqrt(dX * dX + dY * dY + dZ * dZ);
        rows[9] = para.XPhysUnit == para.YPhysUnit ? text(dxy, para.XPhysUnit) : FormatSig(3, dxy);
        rows[10] = para.XPhysUnit == para.YPhysUnit && para.XPhysUnit == para.PhysUnit
                       ? text(dxyz, para.XPhysUnit)
                       : FormatSig(3, dxyz);
    }
    return rows;
}
