#pragma once
// Zoom and distortion correction: the two operations that move samples rather than
// change their values.
//
// Zoom cuts a rectangle out of an image. Its corners are picture pixels: x counts
// columns from the left, y counts picture lines from the top (line y shows sample row
// Rows - 1 - y). The mouse handler keeps the rectangle square.
//
// Distortion correction resamples an image so that a position that a non-linear
// scanner placed at the fraction f(x) = (1 - c - d) x + c x^2 + d x^3 of the scan width
// moves back to x; one pair (c, d) per axis.
#include <cstdint>
#include <string>

#include "core/Picture.h"

struct TZoomRect {
    int32_t X1 = 0, X2 = 0, Y1 = 0, Y2 = 0;
};

// The mouse handler's update while dragging (and at release) to picture pixel (x, y):
// X2 follows x within 0..cols - 1, Y2 lies |X2 - X1| from Y1 on the side of y, within
// 0..rows - 1, and X2 is then moved so the rectangle stays square after that clamp.
void ZoomDragTo(TZoomRect& rect, int32_t x, int32_t y, int32_t cols, int32_t rows);

// The physical size of the rectangle as the hint shows it: x and y scan range per
// pixel times the rectangle's width and height.
void ZoomRange(const TZoomRect& rect, const TQTVPicture& source, double& width, double& height);

// Zoom "Do": the corners are ordered and limited to 0..Cols and 0..Rows; with a
// positive width and height, working becomes the region (picture lines Y1..Y2 - 1,
// columns X1..X2 - 1) and true is returned. Otherwise nothing changes (false).
bool ZoomCut(const TQTVPicture& source, TQTVPicture& working, TZoomRect rect);

// Zoom "Take Over": the source's scan ranges are scaled to the kept columns and rows,
// the source takes the working size (every mark 1, Transformed cleared) and samples.
void ZoomTakeOver(TQTVPicture& source, const TQTVPicture& working);

// The x in [-1.2, 1.2] with f(x) = u, computed in extended precision: the root of the
// cubic (d != 0), quadratic (d = 0, c != 0) or linear equation nearest to 0 (the
// earlier one on ties); +infinity when there is none in that window.
long double SolveDistortion(long double c, long double d, long double u);

// The sample value at the fractional position (y rows, x columns) of the source: the
// plane through the base sample trunc(y), trunc(x) and its right and upper neighbours,
// the base held one short of the last row and column. A position lying exactly on a
// sample gives that sample. Positions that are not finite or at -1 and below have no
// sample: they are clamped into the image first.
float Interpolate(const TQTVPicture& source, double y, double x);

// Why the correction cannot take these coefficients, or empty when it can: along each
// axis f must rise from 0 to 1 across the scan (f' >= 0 on [0, 1]); coefficients that
// are not finite numbers, or whose f turns back somewhere, would fold the image onto
// itself. The text begins "These coefficients fold the scan: " and names the axis and
// the fraction of the scan where f falls fastest.
std::string DistortionFoldText(double cx, double dx, double cy, double dy);

// Distortion "Do": working takes the source's size and, at row i, column j, the source
// interpolated at ((H - 1) g_y(i / (H - 1)), (W - 1) g_x(j / (W - 1))), g being
// SolveDistortion with the axis's coefficients. All coefficients 0 copy the source.
void CorrectDistortion(const TQTVPicture& source, TQTVPicture& working, double cx, double dx, double cy,
                       double dy);
