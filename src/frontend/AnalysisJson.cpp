#include "frontend/AnalysisJson.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "analysis/Correlation.h"
#include "analysis/Roughness.h"
#include "frontend/Input.h"
#include "core/Messages.h"
#include "core/Numbers.h"

namespace {

using json = nlohmann::ordered_json;

json NumberOrNull(double v) { return std::isfinite(v) ? json(v) : json(nullptr); }

json CornersJson(const TCellCorners& c) {
    return json::array({json::array({c.Corner1.x, c.Corner1.y}), json::array({c.Corner2.x, c.Corner2.y}),
                        json::array({c.Corner3.x, c.Corner3.y})});
}

// S rows of S numbers, row 0 the top line.
json CellValues(const TQTVPicture& cell) {
    json rows = json::array();
    for (int32_t k = cell.Rows - 1; k >= 0; --k) {
        json line = json::array();
        const float* r = cell.Data[k];
        for (int32_t i = 0; i < cell.Cols; ++i) line.push_back(NumberOrNull(r[i]));
        rows.push_back(std::move(line));
    }
    return rows;
}

}  // namespace

bool UnitCellQuantityOf(const std::string& s, TLatticeQuantity& q) {
    static const std::pair<const char*, TLatticeQuantity> names[] = {
        {"a", TLatticeQuantity::A},   {"b", TLatticeQuantity::B},   {"phi", TLatticeQuantity::Phi},
        {"ax", TLatticeQuantity::Ax}, {"ay", TLatticeQuantity::Ay}, {"bx", TLatticeQuantity::Bx},
        {"by", TLatticeQuantity::By}};
    for (const auto& [name, value] : names)
        if (s == name) {
            q = value;
            return true;
        }
    return false;
}

int32_t ProfileIndexOf(double index) { return static_cast<int32_t>(RoundHalfEven(std::clamp(index, -1e9, 1e9))); }

float ProfileAngleOf(double angle) { return NormaliseAngle(static_cast<float>(std::clamp(angle, -1e30, 1e30))); }

TProfileRequest MakeProfileRequest(TLineMode mode, int width, double index, double angle, const TAnyLine& line) {
    TProfileRequest req;
    req.Mode = mode;
    req.Width = std::max(width, 1);
    req.Index = ProfileIndexOf(index);
    req.Angle = ProfileAngleOf(angle);
    req.Line = line;
    return req;
}

json RoughnessJson(const TQTVPicture& src, const TProfile& p) {
    const TRoughness r = EvaluateRoughness(p.Z, p.Count);
    const TImageStats st = ImageStatistics(src);
    const std::string unit = Latin1ToUtf8(src.Para.PhysUnit);
    json j;
    j["profile"] = {{"Ra", NumberOrNull(r.Ra)},   {"Rpm", NumberOrNull(r.Rpm)},   {"Rvm", NumberOrNull(r.Rvm)},
                    {"Rz", NumberOrNull(r.Rz)},   {"Rmax", NumberOrNull(r.Rmax)}, {"Rq", NumberOrNull(r.Rq)},
                    {"unit", unit},               {"count", p.Count}};
    j["image"] = {{"mean", st.Valid ? NumberOrNull(st.Mean) : nullptr},
                  {"sd", st.Valid ? NumberOrNull(st.SD) : nullptr},
                  {"unit", unit}};
    return j;
}

bool UnitCellJson(const TImageDoc& doc, const TUnitCellOptions& o, json& j, TQTVPicture& cellPic) {
    const TQTVPicture& source = doc.Picture;
    const int32_t W = source.Cols, H = source.Rows;
    if (!source.HasData()) {
        ShowMessage("The image holds no samples.");
        return false;
    }
    TCellCorners corners = o.Corners;
    // ---- the marked cell
    if (!o.GivenCorners) {
        corners = DefaultCorners(W, H);
    } else if (!CornersValid(corners, W, H)) {
        ShowMessage(CheckUnitCellText);
        return false;
    }
    if (W > MaxCorrelationSize || H > MaxCorrelationSize) {
        ShowMessage(CorrelationSizeText());
        return false;
    }
    const TLatticeConstants k = LatticeConstants(corners, source);
    TCellCut cut;
    if (!ExtractCell(source, corners, cut)) return false;
    const TCellCorners markedCorners = corners;

    // ---- correlation and threshold
    TQTVPicture corr;
    if (!CrossCorrelate(source, cut.Cell, cut.Half, corr)) return false;
    const double t = ThresholdValue(corr, o.Threshold);

    // ---- "Find Grid"
    TRegionResult regions = LabelRegions(corr, t);
    if (regions.TooMany) return false;
    std::vector<TUnitCellMatch>& matches = regions.Matches;
    int32_t home = -1;
    TPointI anchor{0, 0};
    std::vector<TPlotPoint> points;
    std::optional<TParabola> fit;
    if (!matches.empty()) {
        anchor = GridAnchorOf(corners);
        home = LinkNeighbours(matches, corners, W, H);
        points = LatticePlotData(matches, o.Quantity, o.Axis, source);
        fit = FitParabola(points);
    }

    // ---- the cell
    bool averaged = false;
    TPointI cellPixel{};
    if (o.Average && home >= 0) {
        NewUnitCell(matches, home, anchor, {0, 0}, H, corners);
        if (!ExtractCell(source, corners, cut)) return false;
        cellPic = AverageCell(source, matches, home, cut);
        const TUnitCellMatch& m = matches[static_cast<size_t>(home)];
        cellPixel = {static_cast<int32_t>(RoundHalfEven(m.X)), H - 1 - static_cast<int32_t>(RoundHalfEven(m.Y))};
        averaged = true;
    } else {
        cellPic = CellView(cut, source);
        cellPixel = CellCentrePixel(cut);
    }

    // ---- JSON
    j = json::object();
    j["corners"] = CornersJson(markedCorners);
    j["marker_size"] = MarkerSizeFor(W);
    j["a"] = NumberOrNull(k.A);
    j["b"] = NumberOrNull(k.B);
    j["phi"] = NumberOrNull(k.Phi * 180.0 / M_PI);
    j["unit"] = Latin1ToUtf8(k.Unit);
    j["correlation"] = {{"min", NumberOrNull(corr.Min)}, {"max", NumberOrNull(corr.Max)},
                        {"threshold", NumberOrNull(t)}};
    json jm = json::array();
    for (const TUnitCellMatch& m : matches) {
        jm.push_back({{"x", m.X},
                      {"y", H - 1 - m.Y},
                      {"pixels", m.Pixels},
                      {"peak", NumberOrNull(m.Peak)},
                      {"neighbours",
                       {{"+a", m.Neighbour[3]}, {"-a", m.Neighbour[1]}, {"+b", m.Neighbour[0]}, {"-b", m.Neighbour[2]}}}});
    }
    j["matches"] = std::move(jm);
    j["home"] = home;
    json stats;
    stats["quantity"] = o.QuantityName;
    stats["axis"] = o.Axis == TPlotAxis::X ? "x" : "y";
    json pts = json::array();
    for (const TPlotPoint& p : points) pts.push_back({{"match", p.Match}, {"x", NumberOrNull(p.X)}, {"y", NumberOrNull(p.Y)}});
    stats["points"] = std::move(pts);
    if (fit) {
        stats["fit"] = {{"c2", NumberOrNull(fit->C2)}, {"c1", NumberOrNull(fit->C1)}, {"c0", NumberOrNull(fit->C0)}};
        const TDistortionPair d = DistortionFromFit(*fit, source, o.Axis);
        stats["distortion"] = {{"c", NumberOrNull(d.C)}, {"d", NumberOrNull(d.D)}};
    } else {
        stats["fit"] = nullptr;
        stats["distortion"] = nullptr;
    }
    j["stats"] = std::move(stats);
    json cell;
    cell["averaged"] = averaged;
    cell["corners"] = CornersJson(corners);
    cell["half"] = cut.Half;
    cell["size"] = cut.Size();
    cell["x"] = cellPixel.x;
    cell["y"] = cellPixel.y;
    cell["values"] = CellValues(cellPic);
    j["cell"] = std::move(cell);
    return true;
}
