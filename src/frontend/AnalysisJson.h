#pragma once
// The analysis results of morvane-cli profile, roughness and unitcell as JSON, built from
// a loaded document: the command-line tool prints them, the Python module hands them
// over as dicts, so both give the same keys and numbers. No CLI parsing and no Qt here.
#include <nlohmann/json.hpp>
#include <string>

#include "analysis/Lattice.h"
#include "analysis/LineProfile.h"
#include "analysis/UnitCell.h"
#include "core/ImageDoc.h"

// The row or column index as given (rounded half to even) and the arc angle (brought
// into the arc window's range).
int32_t ProfileIndexOf(double index);
float ProfileAngleOf(double angle);
// A line request from the options as given: width at least 1, the index rounded half to
// even, the angle brought into the arc window's range.
TProfileRequest MakeProfileRequest(TLineMode mode, int width, double index, double angle, const TAnyLine& line);

// "profile": the line's Ra, Rpm, Rvm, Rz, Rmax, Rq, unit and count; "image": the whole
// image's mean and sd. Non-finite figures are null.
nlohmann::ordered_json RoughnessJson(const TQTVPicture& src, const TProfile& p);

// The plotted quantity by its option name: a, b, phi, ax, ay, bx, by.
bool UnitCellQuantityOf(const std::string& name, TLatticeQuantity& q);

struct TUnitCellOptions {
    bool GivenCorners = false;
    TCellCorners Corners;     // display pixels; unused without GivenCorners (the default cell)
    int Threshold = 70;       // slider position 0..100
    TLatticeQuantity Quantity = TLatticeQuantity::Ax;
    std::string QuantityName = "ax";
    TPlotAxis Axis = TPlotAxis::X;
    bool Average = false;
};

// The unit-cell window's steps on doc: marked cell, correlation, threshold, "Find Grid",
// the plot's fit and the (averaged) cell. False when refused, the reason shown through
// ShowMessage. cell receives the cell image.
bool UnitCellJson(const TImageDoc& doc, const TUnitCellOptions& o, nlohmann::ordered_json& j, TQTVPicture& cell);
