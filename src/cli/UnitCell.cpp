#include "cli/UnitCell.h"

#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>

#include "analysis/Correlation.h"
#include "analysis/Lattice.h"
#include "analysis/UnitCell.h"
#include "cli/CliLoad.h"
#include "core/Messages.h"
#include "core/Numbers.h"
#include "formats/Export.h"
#include "formats/ImageWriters.h"
#include "formats/LoadFiles.h"
#include "formats/NativeWriter.h"

namespace {

constexpr int ExitOk = 0;
constexpr int ExitRefused = 1;
constexpr int ExitUsage = 2;

using json = nlohmann::ordered_json;

void Complain(const std::string& text) {
    std::fprintf(stderr, "morvane-cli: %s\n", text.c_str());
    std::fflush(stderr);
}

std::string Lower(std::string s) {
    for (auto& ch : s)
        if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch + 32);
    return s;
}

bool ParseCorners(const std::string& text, TCellCorners& c) {
    std::vector<int> v;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        const std::string part = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        int n = 0;
        if (!TryStrToInt(part, n)) return false;
        v.push_back(n);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    if (v.size() != 6) return false;
    c = {{v[0], v[1]}, {v[2], v[3]}, {v[4], v[5]}};
    return true;
}

bool ParseQuantity(const std::string& s, TLatticeQuantity& q) {
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

json CornersJson(const TCellCorners& c) {
    return json::array({json::array({c.Corner1.x, c.Corner1.y}), json::array({c.Corner2.x, c.Corner2.y}),
                        json::array({c.Corner3.x, c.Corner3.y})});
}

json NumberOrNull(double v) { return std::isfinite(v) ? json(v) : json(nullptr); }

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

enum class TCellOutKind { Unknown, Native, Ascii, Stl, Bitmap, Jpeg };

TCellOutKind CellOutKind(const std::string& path) {
    const std::string ext = ExtractFileExt(path);
    if (ext == ".txt") return TCellOutKind::Native;
    if (ext == ".bmp") return TCellOutKind::Bitmap;
    const std::string lower = Lower(ext);
    if (lower == ".dat") return TCellOutKind::Ascii;
    if (lower == ".stl") return TCellOutKind::Stl;
    if (lower == ".jpg" || lower == ".jpeg") return TCellOutKind::Jpeg;
    return TCellOutKind::Unknown;
}

bool WriteCell(const TQTVPicture& cell, const TImageDoc& sourceDoc, const std::string& out, TCellOutKind kind) {
    TImageDoc doc;
    doc.FileName = ExtractFileName(out);
    doc.Title = doc.FileName;
    doc.CaptionTag = sourceDoc.CaptionTag;
    doc.Picture.SetSize(cell.Cols, cell.Rows);
    doc.Picture.Para = cell.Para;
    for (int32_t r = 0; r < cell.Rows; ++r) {
        const float* s = cell.Data[r];
        float* d = doc.Picture.Data[r];
        for (int32_t c = 0; c < cell.Cols; ++c) d[c] = s[c];
    }
    doc.Picture.Palette = sourceDoc.Picture.Palette;
    doc.Picture.Render();
    try {
        switch (kind) {
        case TCellOutKind::Native: return WriteNative(doc, out, TNativeKind::Int);
        case TCellOutKind::Ascii: WriteFileBytes(out, BuildAsciiTable(doc.Picture)); return true;
        case TCellOutKind::Stl: WriteFileBytes(out, BuildStl(doc.Picture)); return true;
        case TCellOutKind::Bitmap: WriteBitmapFile(doc.Picture, out); return true;
        case TCellOutKind::Jpeg: WriteJpegFile(doc.Picture, out, 90); return true;
        case TCellOutKind::Unknown: break;
        }
    } catch (const std::exception& e) {
        ShowMessage(e.what(), TMsgKind::Error);
    }
    return false;
}

}  // namespace

CLI::App* AddUnitCellCommand(CLI::App& app, TUnitCellArgs& a) {
    auto* cmd = app.add_subcommand("unitcell", "unit-cell analysis of one channel as JSON");
    cmd->add_option("IN", a.In, "measurement file")->required();
    cmd->add_option("--channel", a.Channel, "channel to analyse (1-based, file order)")->check(CLI::PositiveNumber);
    cmd->add_option("--corners", a.Corners, "X1,Y1,X2,Y2,X3,Y3: the marked cell (display pixels; a = C2 - C1, b = C3 - C2)");
    cmd->add_option("--threshold", a.Threshold, "slider position 0..100 (default 70)");
    cmd->add_option("--quantity", a.Quantity, "plotted quantity: a, b, phi, ax, ay, bx, by (default ax)");
    cmd->add_option("--axis", a.Axis, "abscissa: x or y (default y for ay and by, else x)");
    cmd->add_flag("--average", a.Average, "average the unit cell over all matches");
    cmd->add_option("--cell-out", a.CellOut, "write the cell as .txt, .dat, .stl, .bmp or .jpg");
    return cmd;
}

int RunUnitCell(const TUnitCellArgs& a) {
    // ---- usage
    int position = 0;
    if (!TryStrToInt(a.Threshold, position) || position < 0 || position > 100) {
        Complain("--threshold must be a whole number from 0 to 100");
        return ExitUsage;
    }
    TCellCorners corners;
    const bool givenCorners = !a.Corners.empty();
    if (givenCorners && !ParseCorners(a.Corners, corners)) {
        Complain("--corners must be six whole numbers X1,Y1,X2,Y2,X3,Y3");
        return ExitUsage;
    }
    TLatticeQuantity quantity{};
    if (!ParseQuantity(a.Quantity, quantity)) {
        Complain("--quantity must be one of a, b, phi, ax, ay, bx, by");
        return ExitUsage;
    }
    TPlotAxis axis = quantity == TLatticeQuantity::Ay || quantity == TLatticeQuantity::By ? TPlotAxis::Y : TPlotAxis::X;
    if (!a.Axis.empty()) {
        if (a.Axis != "x" && a.Axis != "y") {
            Complain("--axis must be x or y");
            return ExitUsage;
        }
        axis = a.Axis == "x" ? TPlotAxis::X : TPlotAxis::Y;
    }
    const TCellOutKind outKind = a.CellOut.empty() ? TCellOutKind::Unknown : CellOutKind(a.CellOut);
    if (!a.CellOut.empty() && outKind == TCellOutKind::Unknown) {
        Complain("unknown output type \"" + ExtractFileExt(a.CellOut) +
                 "\" for --cell-out (known: .txt, .dat, .stl, .bmp, .jpg; .txt and .bmp in lower case)");
        return ExitUsage;
    }

    // ---- input
    TCliInput input;
    try {
        if (!LoadInput(a.In, a.Channel, input)) return ExitRefused;
    } catch (const std::exception& e) {
        ShowMessage(e.what(), TMsgKind::Error);
        return ExitRefused;
    }
    const TCliChannel* chosen = nullptr;
    for (const auto& ch : input.Channels)
        if (ch.Index == a.Channel) chosen = &ch;
    if (!chosen) {
        if (a.Channel > input.ChannelCount && input.ChannelCount > 0) {
            Complain("--channel " + std::to_string(a.Channel) + ": " + PathToUtf8(a.In) + " has " +
                     std::to_string(input.ChannelCount) + (input.ChannelCount == 1 ? " channel" : " channels"));
            return ExitUsage;
        }
        Complain("channel " + std::to_string(a.Channel) + " of " + PathToUtf8(a.In) + " could not be loaded");
        return ExitRefused;
    }
    const TImageDoc& doc = *chosen->Doc;
    const TQTVPicture& source = doc.Picture;
    const int32_t W = source.Cols, H = source.Rows;
    if (!source.HasData()) {
        ShowMessage("The image holds no samples.");
        return ExitRefused;
    }

    try {
        // ---- the marked cell
        if (!givenCorners) {
            corners = DefaultCorners(W, H);
        } else if (!CornersValid(corners, W, H)) {
            ShowMessage(CheckUnitCellText);
            return ExitRefused;
        }
        if (W > MaxCorrelationSize || H > MaxCorrelationSize) {
            ShowMessage(CorrelationSizeText());
            return ExitRefused;
        }
        const TLatticeConstants k = LatticeConstants(corners, source);
        TCellCut cut;
        if (!ExtractCell(source, corners, cut)) return ExitRefused;
        const TCellCorners markedCorners = corners;

        // ---- correlation and threshold
        TQTVPicture corr;
        if (!CrossCorrelate(source, cut.Cell, cut.Half, corr)) return ExitRefused;
        const double t = ThresholdValue(corr, position);

        // ---- "Find Grid"
        TRegionResult regions = LabelRegions(corr, t);
        if (regions.TooMany) return ExitRefused;
        std::vector<TUnitCellMatch>& matches = regions.Matches;
        int32_t home = -1;
        TPointI anchor{0, 0};
        std::vector<TPlotPoint> points;
        std::optional<TParabola> fit;
        if (!matches.empty()) {
            anchor = GridAnchorOf(corners);
            home = LinkNeighbours(matches, corners, W, H);
            points = LatticePlotData(matches, quantity, axis, source);
            fit = FitParabola(points);
        }

        // ---- the cell
        bool averaged = false;
        TQTVPicture cellPic;
        TPointI cellPixel{};
        if (a.Average && home >= 0) {
            NewUnitCell(matches, home, anchor, {0, 0}, H, corners);
            if (!ExtractCell(source, corners, cut)) return ExitRefused;
            cellPic = AverageCell(source, matches, home, cut);
            const TUnitCellMatch& m = matches[static_cast<size_t>(home)];
            cellPixel = {static_cast<int32_t>(RoundHalfEven(m.X)), H - 1 - static_cast<int32_t>(RoundHalfEven(m.Y))};
            averaged = true;
        } else {
            cellPic = CellView(cut, source);
            cellPixel = CellCentrePixel(cut);
        }

        // ---- JSON
        json j;
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
        stats["quantity"] = a.Quantity;
        stats["axis"] = axis == TPlotAxis::X ? "x" : "y";
        json pts = json::array();
        for (const TPlotPoint& p : points) pts.push_back({{"match", p.Match}, {"x", NumberOrNull(p.X)}, {"y", NumberOrNull(p.Y)}});
        stats["points"] = std::move(pts);
        if (fit) {
            stats["fit"] = {{"c2", NumberOrNull(fit->C2)}, {"c1", NumberOrNull(fit->C1)}, {"c0", NumberOrNull(fit->C0)}};
            const TDistortionPair d = DistortionFromFit(*fit, source);
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

        if (!a.CellOut.empty() && !WriteCell(cellPic, doc, a.CellOut, outKind)) return ExitRefused;
        std::cout << j.dump(2) << std::endl;
    } catch (const std::exception& e) {
        ShowMessage(e.what(), TMsgKind::Error);
        return ExitRefused;
    }
    return ExitOk;
}
