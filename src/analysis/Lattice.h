#pragma once
// Linking the matches of the cross correlation into a lattice, the statistics plot
// of one lattice quantity with its parabola fit and the transfer of that fit to the
// distortion correction, and the averaged unit cell.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/Correlation.h"
#include "analysis/UnitCell.h"

// The match nearest to (x, y) (sample orientation) closer than rows pixels, the lower
// index on equal distances; -1 outside 0 <= x < cols - 1, 0 <= y < rows - 1 or when
// none is that close.
int32_t NearestMatch(const std::vector<TUnitCellMatch>& matches, double x, double y, int32_t cols, int32_t rows);

// NearestMatch through a grid of buckets: the same answer as the plain search over all
// matches (nearest, the lower index on equal distances, closer than rows), found by
// looking at rings of buckets around the point until no farther bucket can hold a
// match as near as the best one.
class TMatchIndex {
public:
    TMatchIndex(const std::vector<TUnitCellMatch>& m, int32_t cols, int32_t rows) : m_(m), cols_(cols), rows_(rows) {
        nx_ = std::max(1, (cols + Bucket - 1) / Bucket);
        ny_ = std::max(1, (rows + Bucket - 1) / Bucket);
        start_.assign(static_cast<size_t>(nx_) * ny_ + 1, 0);
        std::vector<int32_t> cell(m.size());
        for (size_t i = 0; i < m.size(); ++i) {
            cell[i] = CellOf(m[i].X, m[i].Y);
            ++start_[static_cast<size_t>(cell[i]) + 1];
        }
        for (size_t k = 1; k < start_.size(); ++k) start_[k] += start_[k - 1];
        items_.resize(m.size());
        std::vector<int32_t> fill(start_.begin(), start_.end() - 1);
        for (size_t i = 0; i < m.size(); ++i) items_[static_cast<size_t>(fill[static_cast<size_t>(cell[i])]++)] = static_cast<int32_t>(i);
    }

    int32_t Nearest(double x, double y) const {
        if (!(x >= 0) || !(y >= 0) || x >= cols_ - 1 || y >= rows_ - 1) return -1;
        const int32_t cx = std::min(nx_ - 1, static_cast<int32_t>(x / Bucket));
        const int32_t cy = std::min(ny_ - 1, static_cast<int32_t>(y / Bucket));
        int32_t best = -1;
        double bestD = static_cast<double>(rows_) * rows_;
        const int32_t maxRing = std::max(nx_, ny_);
        for (int32_t k = 0; k <= maxRing; ++k) {
            // every match outside rings 0..k-1 lies at least (k - 1) * Bucket away
            if (k >= 2) {
                const double reach = static_cast<double>(k - 1) * Bucket;
                if (reach * reach > bestD) break;
            }
            for (int32_t j = cy - k; j <= cy + k; ++j) {
                if (j < 0 || j >= ny_) continue;
                const bool edgeRow = j == cy - k || j == cy + k;
                for (int32_t i = cx - k; i <= cx + k; i += edgeRow ? 1 : 2 * k) {
                    if (i >= 0 && i < nx_) Scan(j * nx_ + i, x, y, best, bestD);
                    if (k == 0) break;
                }
            }
        }
        return best;
    }

private:
    static constexpr int32_t Bucket = 16;
    int32_t CellOf(double x, double y) const {
        const int32_t i = std::clamp(static_cast<int32_t>(std::floor(x / Bucket)), 0, nx_ - 1);
        const int32_t j = std::clamp(static_cast<int32_t>(std::floor(y / Bucket)), 0, ny_ - 1);
        return j * nx_ + i;
    }
    void Scan(int32_t cell, double x, double y, int32_t& best, double& bestD) const {
        for (int32_t k = start_[static_cast<size_t>(cell)]; k < start_[static_cast<size_t>(cell) + 1]; ++k) {
            const int32_t i = items_[static_cast<size_t>(k)];
            const double dx = m_[static_cast<size_t>(i)].X - x, dy = m_[static_cast<size_t>(i)].Y - y;
            const double d = dx * dx + dy * dy;
            if (d < bestD || (d == bestD && best >= 0 && i < best)) {
                bestD = d;
                best = i;
            }
        }
    }
    const std::vector<TUnitCellMatch>& m_;
    int32_t cols_, rows_, nx_ = 1, ny_ = 1;
    std::vector<int32_t> start_, items_;
};

// The match nearest the middle of the marked cell's diagonal, or -1.
int32_t HomeMatchOf(const std::vector<TUnitCellMatch>& matches, const TCellCorners& c, int32_t cols, int32_t rows);

// Links every match reachable from the home match: four sweeps along a from the home
// match, each walking the columns along +b or -b and predicting every neighbour from
// the local lattice vectors; then only mutual links stay, and every match gets its
// local VecA and VecB. Returns the home match (-1: nothing linked).
int32_t LinkNeighbours(std::vector<TUnitCellMatch>& matches, const TCellCorners& c, int32_t cols, int32_t rows);

// The steps after the sweeps: a link stays only where its match links back (+b with
// -b, +a with -a); then every match gets VecA, VecB from its +a and +b neighbours.
void KeepMutualLinks(std::vector<TUnitCellMatch>& matches);
void SetLocalVectors(std::vector<TUnitCellMatch>& matches);

// Offset from a match to a lattice corner: half the marked diagonal, display
// orientation, truncated toward zero.
TPointI GridAnchorOf(const TCellCorners& c);

// The found grid as the window draws it: every link from both ends, offset by
// (anchor.x + drag.x, anchor.y - drag.y) in sample orientation, in display pixels.
// BDirection: slots 0 and 2.
struct TGridLine {
    TPointI From, To;
    bool BDirection = false;
};
std::vector<TGridLine> FoundGridLines(const std::vector<TUnitCellMatch>& matches, TPointI anchor, TPointI drag,
                                      int32_t rows);

// ---------------------------------------------------------------- statistics plot
enum class TLatticeQuantity { A, B, Phi, Ax, Ay, Bx, By };
enum class TPlotAxis { X, Y };

struct TPlotPoint {
    double X = 0.0;
    double Y = 0.0;
    int32_t Match = -1;
    uint8_t Excluded = 0;
};

// Plot mode 1: one point per linked match that has the neighbour the quantity needs
// (+a for ax and ay, +b otherwise); lengths and components physical, the angle in
// degrees; |a|, |b| of 0 and zero vectors for the angle leave the match out.
std::vector<TPlotPoint> LatticePlotData(const std::vector<TUnitCellMatch>& matches, TLatticeQuantity q,
                                        TPlotAxis axis, const TQTVPicture& source);
// Plot mode 2, "Counts": per region size with at least one match, the count
// (abscissa the size or, with sqrtArea, its square root).
std::vector<TPlotPoint> RegionSizeData(const std::vector<TUnitCellMatch>& matches, bool sqrtArea);
// Plot mode 2, "Height": per match the peak over the size or its square root.
std::vector<TPlotPoint> PeakData(const std::vector<TUnitCellMatch>& matches, bool sqrtArea);

// y = C2 x^2 + C1 x + C0.
struct TParabola {
    double C2 = 0.0, C1 = 0.0, C0 = 0.0;
    double operator()(double x) const { return C2 * x * x + C1 * x + C0; }
};
// Least squares over all points (excluded ones too), sums in extended precision,
// Cramer's rule. No fit with fewer than three distinct abscissae (a singular system).
std::optional<TParabola> FitParabola(const std::vector<TPlotPoint>& points);
// "fit = 1.00 * x² +0 * x +1.00" (Latin-1 "²"), the coefficients at 3 digits.
std::string FitText(const TParabola& fit);

// What "Copy to Distortion" writes: c and d of the chosen axis. The fit runs over
// physical positions along the plotted axis, so its mean over the scan and the
// coefficients take that axis's scan length L (XScanRange for x, YScanRange for y):
// m = C2 L^2 / 3 + C1 L / 2 + C0 (1 when |m| < 1e-9), c = -C1 L / m / 2,
// d = -C2 L^2 / m / 3.
struct TDistortionPair {
    double C = 0.0, D = 0.0;
};
TDistortionPair DistortionFromFit(const TParabola& fit, const TQTVPicture& source, TPlotAxis axis);
// The results-list line after the transfer, the values as written to the settings:
// "Copied to Distortion: c_x = " + c + ", d_x = " + d (c_y, d_y for the y axis).
std::string DistortionCopiedText(const TDistortionPair& d, TPlotAxis axis);
// The settings keys of the axis: DistortionCX / DistortionDX or DistortionCY / DistortionDY.
const char* DistortionKeyC(TPlotAxis axis);
const char* DistortionKeyD(TPlotAxis axis);
// The value text written to the key: 4 digits.
std::string DistortionText(double value);

// The plot on a control of width x height pixels.
struct TPlotLayout {
    double MinY = 0.0, MaxY = 0.0, MinX = 0.0, MaxX = 0.0;
    double ScaleX = 1.0, ScaleY = 1.0;
    int32_t Width = 0, Height = 0;
    int32_t PixelX(double x) const;  // centre of a cross
    int32_t PixelY(double y) const;
    std::string TopLabel() const;     // Label7
    std::string BottomLabel() const;  // Label8
    // the position under the mouse as the hint shows it: "(x;y) = (1.23 ; 4.56)"
    std::string HintText(int32_t mx, int32_t my) const;
    // the parabola's polyline from the left edge across the plot
    std::vector<TPointI> FitPolyline(const TParabola& fit) const;
};
// mode2: the abscissa starts at 0.
TPlotLayout LayoutPlot(const std::vector<TPlotPoint>& points, int32_t width, int32_t height, bool mode2);
// The point a click at (mx, my) toggles: the nearest cross within the squared distance
// limit, else the first point; -1 without points.
int32_t PickPlotPoint(const std::vector<TPlotPoint>& points, const TPlotLayout& layout, int32_t mx, int32_t my,
                      double limit);
// "Copy Data": X tab Y per line, 15 significant digits.
std::string PlotDataText(const std::vector<TPlotPoint>& points);

// Removes the excluded points; in mode 1 also their matches, clearing every link to a
// removed match and renumbering the others (home becomes -1 when its match goes).
void DeleteExcluded(std::vector<TPlotPoint>& points, std::vector<TUnitCellMatch>& matches, int32_t& home,
                    bool removeMatches);

// ---------------------------------------------------------------- averaged cell
// "Show New Unit Cell": the cell of the found lattice at the home match, moved by
// anchor + drag. Returns false and changes nothing without a home match, its +a
// neighbour or the +b neighbour of that one.
bool NewUnitCell(const std::vector<TUnitCellMatch>& matches, int32_t home, TPointI anchor, TPointI drag,
                 int32_t rows, TCellCorners& corners);

// The average of the source over the window of side 2 Half + 1 around every match
// (rounded position), minus its mean inside the cell mask placed at the home match,
// 0 outside the cell. Returns the S x S result (row 0 = lowest sample row) and copies it
// into the centre of cut.Cell.
TQTVPicture AverageCell(const TQTVPicture& source, const std::vector<TUnitCellMatch>& matches, int32_t home,
                        TCellCut& cut);
