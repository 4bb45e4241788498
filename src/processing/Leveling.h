#pragma once
// Leveling: a low-order polynomial fitted to the samples (the whole image, each line,
// each column, or points the user clicked) and subtracted.
//
// Coordinates in the fits are the integer indices (x = column c, y = row r, row 0 at
// the bottom). A sample takes part in a fit only where its mark is 1; the subtraction
// always applies to every sample. Sums are 64-bit floats accumulated in row-major
// order (rows ascending, columns ascending within a row); that order is part of the
// result.
#include <cstdint>
#include <vector>

#include "core/Picture.h"

// Method and order as the leveling lists index them.
enum class TLevelMethod : int32_t { Points = 0, Plane = 1, Lines = 2, Cols = 3 };
// Texts of the two lists, index = method / order.
const std::vector<const char*>& LevelMethodNames();  // "Points", "2Dim", "Lines", "Cols"
const std::vector<const char*>& LevelOrderNames();   // "0. order", "1st order ", "2nd order"

// A point marked for "Points" leveling: column and row (row 0 at the bottom).
struct TMarkedPoint {
    int32_t X = 0;
    int32_t Row = 0;
};
constexpr int32_t MaxMarkedPoints = 30;

// The point a click at (x, y) on a preview of previewW x previewH pixels marks on pic:
// picture pixel = picture size x position / preview size, rounded half to even, the
// line turned into a row (row 0 at the bottom). Clamped into the image.
TMarkedPoint PreviewPoint(const TQTVPicture& pic, int32_t x, int32_t y, int32_t previewW,
                          int32_t previewH);

// The variants. Each changes pic in place and never fails: degenerate fits (no fitted
// sample, all in one column) give zero coefficients.
void LevelMean2D(TQTVPicture& pic);                 // "2Dim", "0. order"
void LevelPlane2D(TQTVPicture& pic);                // "2Dim", "1st order "
void LevelParabola2D(TQTVPicture& pic);             // "2Dim", "2nd order"
void LevelLinesMean(TQTVPicture& pic);              // "Lines", "0. order"
void LevelLinesLinear(TQTVPicture& pic);            // "Lines", "1st order "
void LevelLinesParabola(TQTVPicture& pic, bool advanced);  // "Lines", "2nd order"
void LevelColsMean(TQTVPicture& pic);               // "Cols", "0. order"
void LevelColsLinear(TQTVPicture& pic);             // "Cols", "1st order "
void LevelColsParabola(TQTVPicture& pic, bool advanced);   // "Cols", "2nd order"
// "Points", "1st order ": the x and y slopes through the points removed (no constant).
// Points outside the image are clamped into it. Needs at least 2 points.
void LevelPoints(TQTVPicture& pic, const std::vector<TMarkedPoint>& points);

// One leveling run as "Do" makes it: picks the variant, reports "Method not supported!"
// (method/order pair without an algorithm, or method -1), "Not enough points!..."
// (fewer than 2 points; nothing changes), or "Sorry - Math Error!" for a failure inside
// the variant (what changed so far stays). A "Points" run empties points. Returns true
// when a variant ran to its end.
bool RunLeveling(TQTVPicture& pic, int32_t method, int32_t order, bool advanced,
                 std::vector<TMarkedPoint>& points);

// Least-squares building blocks over n pairs (k, z), from their 64-bit sums.
struct TLineFit {
    double Slope = 0.0, Intercept = 0.0;  // both 0 when n*Skk - Sk^2 is 0
};
TLineFit FitLine(double n, double sk, double skk, double sz, double skz);
struct TParabolaFit {
    double A = 0.0, B = 0.0, C = 0.0;  // z = A + B k + C k^2; all 0 when the determinant is 0
};
// s1..s4: sums of k, k^2, k^3, k^4; t0..t2: sums of z, k z, k^2 z.
TParabolaFit FitParabola(double n, double s1, double s2, double s3, double s4, double t0,
                         double t1, double t2);
