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
#include "frontend/AnalysisJson.h"
#include "frontend/Input.h"
#include "frontend/Output.h"
#include "core/Messages.h"
#include "core/Numbers.h"
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

bool WriteCell(const TQTVPicture& cell, const TImageDoc& sourceDoc, const std::string& out, TOutKind kind) {
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
        return WriteOutput(doc, out, kind, TNativeKind::Int);
    } catch (const std::exception& e) {
        ShowFailure(e);
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
    if (!UnitCellQuantityOf(a.Quantity, quantity)) {
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
    std::string refusal;
    const TOutKind outKind = a.CellOut.empty() ? TOutKind::Unknown : CheckedOutKind(a.CellOut, refusal);
    if (!a.CellOut.empty() && outKind == TOutKind::Unknown) {
        Complain("unknown output type \"" + ExtractFileExt(a.CellOut) +
                 "\" for --cell-out (known: .txt, .dat, .stl, .bmp, .jpg; .txt and .bmp in lower case)");
        return ExitUsage;
    }

    // ---- input
    TCliInput input;
    try {
        if (!LoadInput(a.In, a.Channel, input)) return ExitRefused;
    } catch (const std::exception& e) {
        ShowFailure(e);
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
    TUnitCellOptions o;
    o.GivenCorners = givenCorners;
    o.Corners = corners;
    o.Threshold = position;
    o.Quantity = quantity;
    o.QuantityName = a.Quantity;
    o.Axis = axis;
    o.Average = a.Average;
    try {
        json j;
        TQTVPicture cellPic;
        if (!UnitCellJson(doc, o, j, cellPic)) return ExitRefused;
        if (!a.CellOut.empty() && !WriteCell(cellPic, doc, a.CellOut, outKind)) return ExitRefused;
        std::cout << j.dump(2) << std::endl;
    } catch (const std::exception& e) {
        ShowFailure(e);
        return ExitRefused;
    }
    return ExitOk;
}
