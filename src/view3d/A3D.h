#pragma once
// The data behind the OpenGL 3-D view, without any OpenGL: the surface mesh (samples
// normalised to -100..0, heights by the gain, vertex normals, vertex colours from the
// palette, the triangle-strip layout), the colour ramp, the scale bars and the view's
// rotation, pan and zoom under the mouse.
//
// The mesh spans 0..256 in x and y (column x at x * 256 / Cols, row y at y * 256 /
// Rows); heights run from -GainPercent (lowest sample) to 0 (highest).
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/Picture.h"

// Settings section and keys of the 3-D view.
inline constexpr const char* View3DSection = "A3D";
inline constexpr const char* View3DBGColorKey = "BGColor";          // colour, red in the low byte
inline constexpr const char* View3DScaleKey = "CheckBoxSkala";      // scale bars shown
inline constexpr const char* View3DLeftKey = "FormLeft";
inline constexpr const char* View3DTopKey = "FormTop";
inline constexpr const char* View3DSliderKey = "ScrollBar1Pos";     // 0..99
inline constexpr int View3DDefaultBGColor = 0xFFFFFF;
inline constexpr int View3DDefaultSlider = 50;

using TVec3f = std::array<float, 3>;

struct TRgb {
    int32_t Red = 0, Green = 0, Blue = 0;
};

// The gain of a slider position 0..99 (positions outside are taken at the nearer end):
// 100 - position, 1..100.
int GainPercentOfSlider(int position);

class TSurfaceMesh {
public:
    // Copies pic's samples and palette. With pic's Min and Max (Max taken as Min + 1
    // when they are equal) every sample v becomes (Max - v) * (-100 / |Max - Min|):
    // the highest sample gives 0, the lowest -100. Fills the colour table.
    void SetImage(const TQTVPicture& pic);
    // The gain of the heights, limited to 1..100. Heights, normals and colours are
    // worked out from the normalised samples whenever they are asked for; only the
    // normalised samples are kept (4 bytes a point).
    void SetGain(int gainPercent);

    int32_t Cols() const { return cols_; }
    int32_t Rows() const { return rows_; }
    int GainPercent() const { return gainPercent_; }
    double ZScale() const { return gainPercent_ / 100.0; }

    // Per grid point, column x (0..Cols-1), row y (0..Rows-1); unchecked.
    float Normalised(int32_t x, int32_t y) const { return normalised_[Index(x, y)]; }
    // Height z = ZScale() * normalised sample.
    double Z(int32_t x, int32_t y) const { return ZScale() * static_cast<double>(normalised_[Index(x, y)]); }
    // Mean of the unit normals of the six triangles that meet at an inner point (each
    // grid square split by its diagonal from (x, y) to (x + 1, y + 1)), normalised.
    // Border points have a zero normal.
    TVec3f Normal(int32_t x, int32_t y) const;
    // Colour table entry 100 - round(|z / GainPercent| * 100) (limited to 0..100),
    // each component / 255; a point that is not a number takes entry 0.
    TVec3f Colour(int32_t x, int32_t y) const;

    // Entry i (0..100) is palette entry round(i / 100 * 255).
    const std::array<TRgb, 101>& ColourTable() const { return table_; }

    // Strip layout: one triangle strip per column x = 1 .. Cols - 2; along it, for each
    // row y = 1 .. Rows - 2, first the vertex of point (x + 1, y), then that of (x, y).
    struct TVertex {
        TVec3f Colour;
        TVec3f Normal;
        TVec3f Position;  // (column * 256 / Cols, row * 256 / Rows, z)
    };
    int32_t StripCount() const { return cols_ > 2 ? cols_ - 2 : 0; }
    // The vertices of strip s (0 .. StripCount() - 1, the strip of column s + 1).
    void Strip(int32_t s, std::vector<TVertex>& out) const;
    TVertex Vertex(int32_t x, int32_t y) const;
    // The vertices of every point of columns x0 .. x1 - 1 (cut to the grid), column by
    // column: point (x, y) at out[(x - x0) * Rows() + y], each the same as Vertex(x, y).
    // Rows are worked out on the thread pool; out holds (x1 - x0) * Rows() vertices.
    void Columns(int32_t x0, int32_t x1, TVertex* out) const;

private:
    size_t Index(int32_t x, int32_t y) const {
        return static_cast<size_t>(y) * static_cast<size_t>(cols_) + static_cast<size_t>(x);
    }
    TVec3f PointColour(double z) const;
    TVec3f Position(int32_t x, int32_t y, double z) const;

    int32_t cols_ = 0, rows_ = 0;
    int gainPercent_ = 50;
    std::vector<float> normalised_;
    std::array<TRgb, 101> table_{};
    std::array<TVec3f, 101> colours_{};  // table_ / 255
};

// The palette ramp beside the view: 32 x 302 pixels (0xFFRRGGBB, lines top-down), grey
// (128, 128, 128) with table entry i as the bar x 1..30, y 298 - 3i .. 300 - 3i (entry
// 0 at the bottom; bars above the top are cut).
inline constexpr int RampWidth = 32;
inline constexpr int RampHeight = 302;
std::vector<uint32_t> ColourRamp(const std::array<TRgb, 101>& table);

// ---------------------------------------------------------------- scale bars

struct TPoint3 {
    float X = 0, Y = 0, Z = 0;
    bool operator==(const TPoint3&) const = default;
};

// One black scale bar: a line with a square-pyramid arrow head at each end (a triangle
// fan: the tip, then the four corners of the base and the first corner again; length
// 10, half-width 2, pointing outward) and its label.
struct TScaleBar {
    TPoint3 From, To;
    std::array<TPoint3, 6> HeadFrom{}, HeadTo{};  // tips at From and To
    TPoint3 LabelAt;
    std::string Label;  // Latin-1
};

// The x, y and z bars at the bottom of the surface (b = -gainPercent), placed by the
// z rotation so that they stay on the near sides:
//   x bar at y = -10 when rotZ <= 90 or rotZ >= 270, else at y = 265; label XScanRange
//     (general format, 4 digits) + " " + XPhysUnit at (120, -20, b - 10) or (135, 275, b - 10)
//   y bar at x = 265 when rotZ > 180, else at x = -10; label YScanRange + " " + YPhysUnit
//     at (275, 120, b - 10) or (-20, 135, b - 10)
//   z bar from height 0 down to b at (265, -10) below 90 degrees, (-10, -10) from 90,
//     (-10, 265) from 180, (265, 265) from 270; label (max - min) + " " + PhysUnit at
//     half of b, 5 units diagonally outward from the bar.
std::array<TScaleBar, 3> ScaleBars(const TScanPara& para, float min, float max, int gainPercent,
                                   double rotZ);

// ---------------------------------------------------------------- view under the mouse

enum TDragMode : int32_t { DragNone = 0, DragRotate = 1, DragPan = 2, DragZoom = 3 };

struct TViewState {
    static constexpr int32_t PanLimit = 500;   // PanX and PanY within -500..500
    static constexpr int32_t ZDistMin = -1000;
    static constexpr int32_t ZDistMax = 24;

    int32_t PanX = 0, PanY = 0, ZDist = -500;
    double RotX = 0, RotY = 0, RotZ = 0;  // degrees; RotY is never changed
    int32_t DragMode = DragNone;
    int32_t DragX = 0, DragY = 0;

    // Left button down at (x, y): rotate, or zoom with Shift, or pan with Ctrl (Ctrl
    // wins when both are held).
    void BeginDrag(int32_t x, int32_t y, bool shift, bool ctrl);
    // The mouse moved to (x, y). While dragging: rotate turns RotZ by dx / 10 and RotX
    // by dy / 10 degrees (an angle above 360 loses 360, one below 0 gains 360); pan
    // moves PanX by round(dx / 1.5) and PanY by -round(dy / 1.5) within -500..500; zoom
    // lowers ZDist by dy within -1000..24. True when dragging (the view is to be drawn).
    bool DragTo(int32_t x, int32_t y);
    void EndDrag() { DragMode = DragNone; }
};
