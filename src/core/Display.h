#pragma once
// Geometry and texts of an image window's composed display (z bar, scale bar, framed
// axis, the square image area) and a few small helpers of the application's dialogs.
// Pure functions: the windows only draw what these compute.
#include <string>
#include <utility>
#include <vector>

// A rectangle with exclusive right and bottom edges.
struct TIntRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
};

// ---- z bar
// The bar for a window of outer size wf x hf: left = round(0.8 wf), top = round(0.25 hf),
// width = 4 round(0.02 wf), height = 4 round(0.1 hf).
TIntRect ZBarRect(int wf, int hf);
// Palette index of line y (0 at the top) of a bar of the given height: 255 at the top
// (line 0 lies under the frame, line 1 is the first visible one), 0 at the bottom.
unsigned char ZBarIndex(int y, int height);
// The colour-range ends as Redraw formats them: fixed notation, 3 decimals, at most 4
// significant digits.
std::string RangeText(float value);
// The z-bar label numbers (3 significant digits): "0" and Max - Min with zeroMax,
// otherwise Min and Max.
struct TZBarLabels {
    std::string MinText, MaxText;
};
TZBarLabels ZBarLabels(float min, float max, bool zeroMax);
// The text drawn beside the bar: " " + number + " " + unit + " ".
std::string ZBarText(const std::string& number, const std::string& unit);

// ---- image area
// Side of the square image in a composition of w x h: with the z bar the smaller of
// round(0.7 w) and h, otherwise the smaller of w and h.
int ComposedImageSide(int w, int h, bool zScaling);
// Outer width a window keeps for a client height: 3/2 of it with the z bar, otherwise
// the client height plus the frame (a square client area). Heights below 2 keep the
// asked width (returned as -1).
int ShapedOuterWidth(int clientHeight, int frameWidth, bool zScaling);

// The picture inside the square image area of the given side: the whole square, or with
// trueAspect the largest rectangle of the scan's physical aspect (xRange : yRange), its
// short side rounded half to even and at least 1 pixel. Ranges that are not positive
// finite numbers give the square. The picture stands at the area's top-left corner.
struct TImageExtent {
    int Width = 0, Height = 0;
};
TImageExtent ImageExtent(int side, double xRange, double yRange, bool trueAspect);

// ---- scale bar
// A round bar length for a scan range: the range normalised into 1..10, rounded (half
// to even), times its decade / 10. 2345 gives 200, 9.6 gives 1, 0.25 gives 0.02.
// 0 for a range that is not a positive finite number.
double ScaleBarLength(double range);
struct TScaleBarLayout {
    bool Visible = false;  // false: nothing is drawn
    int Center = 0;        // the bar is centred at (Center, CenterY)
    int CenterY = 0;
    int Half = 0;          // half its length in pixels, truncated
    double Length = 0;     // in x units
    std::string Text;      // length in shortest form + " " + unit
};
TScaleBarLayout ScaleBarLayout(int side, double xScanRange, const std::string& xUnit);
// The same on a picture of width x height: centred at (round(0.8 width), round(0.8
// height)), its pixel length measured along the width.
TScaleBarLayout ScaleBarLayout(TImageExtent picture, double xScanRange, const std::string& xUnit);

// ---- framed axis
// The range label " " + shortest form + " ".
std::string AxisRangeText(double range);
// Offset of tick i (0..4) along a frame side of b pixels: b * i / 4, truncated.
int AxisTickOffset(int b, int i);

// ---- dialogs
// The file name proposed by Save As: name without its extension (from the last ".").
std::string SaveAsProposal(const std::string& fileName);
// The preview bitmaps tried for a channel's data file, in order: the name with its last
// three characters replaced by "bmp", then (names longer than 7 characters) the same
// with two blanks inserted before the last seven characters.
std::vector<std::string> PreviewCandidates(const std::string& dataPath);
// A filter text "description|patterns|description|patterns" as (description, patterns)
// pairs, patterns split at ";" and trimmed.
std::vector<std::pair<std::string, std::vector<std::string>>> SplitDialogFilter(
    const std::string& filter);
// The extension of the first pattern that names one ("*.bmp" -> "bmp"); empty for "*.*".
std::string FilterExtension(const std::vector<std::string>& patterns);
// name with "." + ext appended when its file name part has no extension.
std::string EnsureExtension(const std::string& name, const std::string& ext);
