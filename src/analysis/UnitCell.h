#pragma once
// The unit-cell window's model: the three corners of a hand-marked cell, the lattice
// they span, its constants a, b and phi in physical units, the cut-out of the marked
// cell that serves as correlation template, and the noise-reduced average of the cell
// over all lattice matches.
//
// Positions are integer pixels in display orientation: x = column from the left,
// y = picture line from the top; line y shows sample row Rows - 1 - y.
#include <cstdint>
#include <string>
#include <vector>

#include "core/Picture.h"

struct TPointI {
    int32_t x = 0;
    int32_t y = 0;
    bool operator==(const TPointI&) const = default;
};

// Corner1 -> Corner2 is lattice vector a, Corner2 -> Corner3 is b; the fourth corner
// is Corner1 + b.
struct TCellCorners {
    TPointI Corner1, Corner2, Corner3;
    bool operator==(const TCellCorners&) const = default;
    TPointI VecA() const { return {Corner2.x - Corner1.x, Corner2.y - Corner1.y}; }
    TPointI VecB() const { return {Corner3.x - Corner2.x, Corner3.y - Corner2.y}; }
};

constexpr int32_t UnitCellControlSize = 256;  // Image1 and Image2 are 256 x 256
constexpr const char* CheckUnitCellText = "Please check unitcell !";

// (3W/7, 4H/7), (4W/7, 4H/7), (4W/7, 3H/7): a W/7 x H/7 square around the centre, a
// pointing right and b pointing up.
TCellCorners DefaultCorners(int32_t cols, int32_t rows);
// The reset rule: every corner inside the picture and each squared corner distance
// at least 10 and at most (cols div 4)^2.
bool CornersValid(const TCellCorners& c, int32_t cols, int32_t rows);
// Half size of the corner markers: 2 * round(cols / controlWidth + 1), half to even.
int32_t MarkerSizeFor(int32_t cols, int32_t controlWidth = UnitCellControlSize);

// One line segment of the drawn lattice.
struct TSegment {
    TPointI From, To;
};
// The lattice lines through every lattice point inside the picture reached from
// Corner1 by steps of a and b: p -> p + a and p -> p - a at each point, with grid
// also p -> p + b and p -> p - b. Each point once; the order is the walk's.
std::vector<TSegment> LatticeSegments(const TCellCorners& c, int32_t cols, int32_t rows, bool grid);

// Lattice constants with the physical pixel sizes dx = XScanRange / Cols,
// dy = YScanRange / Rows.
struct TLatticeConstants {
    double A = 0.0;        // |a|
    double B = 0.0;        // |b|
    double Phi = 0.0;      // angle between a and b, radians
    double Spacing = 0.0;  // |b| * sin(phi): distance of neighbouring a-lines
    std::string Unit;      // XPhysUnit when it equals YPhysUnit, else empty
};
TLatticeConstants LatticeConstants(const TCellCorners& c, const TQTVPicture& source);
// The texts the window shows: general format with 5 significant digits.
std::string LatticeNumberText(double value);

// Typed constants. Each returns false and leaves the corners alone when a pixel size
// is 0 (or the vector to rescale has length 0).
// a keeps its direction and gets the physical length len (Corner2 moves).
bool SetLengthA(TCellCorners& c, const TQTVPicture& source, double len);
// b keeps its direction and gets the length len (Corner3 moves).
bool SetLengthB(TCellCorners& c, const TQTVPicture& source, double len);
// b keeps its length and is turned to the angle degrees from a, on the side of a it
// is on now (counter-clockwise on the screen when a and b are parallel).
bool SetAngle(TCellCorners& c, const TQTVPicture& source, double degrees);

// Corner dragging. PickCorner gives the corner (1..3) nearest to the unrounded pixel
// position (x, y) whose squared distance is below limit (the control's width), or 0.
int32_t PickCorner(const TCellCorners& c, double x, double y, double limit = UnitCellControlSize);
// The corners after dragging corner `which` to p from the corners saved at the press:
// corner 1 moves the whole cell, corner 2 takes corner 3 along, corner 3 moves alone.
TCellCorners DragCorner(const TCellCorners& saved, int32_t which, TPointI p);
// Mouse position on a control of the given size to a pixel position, unrounded.
double ControlToPixel(double pos, int32_t pixels, int32_t controlSize = UnitCellControlSize);

// The cut-out of the marked cell.
struct TCellCut {
    int32_t Cols = 0, Rows = 0;
    std::vector<int32_t> Mask;  // CellMask, [x * Rows + y] in display orientation; 1 inside
    int32_t BoxLeft = 0, BoxRight = 0, BoxTop = 0, BoxBottom = 0;  // CellBox
    double Mean = 0.0;          // mean height inside the cell
    int32_t RowOffset = 0;      // sample row of a mask pixel minus its row in Cell
    int32_t ColOffset = 0;      // column of a mask pixel minus its column in Cell
    int32_t Half = 0;           // CellHalf
    bool Valid = false;         // false after a refused cut-out (the mask is empty)
    TQTVPicture Cell;           // CellPicture: source size, height - mean, centred, 0 elsewhere

    bool MaskAt(int32_t x, int32_t y) const {
        return x >= 0 && y >= 0 && x < Cols && y < Rows && Mask[static_cast<size_t>(x) * Rows + y] != 0;
    }
    int32_t Size() const { return 2 * Half + 1; }
};

// Cuts the marked cell out of the source: rasterises the parallelogram's edges into
// the mask, fills every line between its first and last mask pixel, subtracts the mean
// height and moves the cell's centroid to row Rows div 2, column Cols div 2 of Cell.
// A corner outside the source shows "Please check unitcell !" and returns false
// (the mask cleared, Cell unchanged).
bool ExtractCell(const TQTVPicture& source, const TCellCorners& corners, TCellCut& cut);
// The square of side 2 Half + 1 around the centre of Cell (what Image3 shows), with
// the source's pixel size and units.
TQTVPicture CellView(const TCellCut& cut, const TQTVPicture& source);
// The source pixel shown at the centre of CellView, in display orientation.
TPointI CellCentrePixel(const TCellCut& cut);
