#pragma once
// The profile plot as numbers: its value range and scale, where each sample lies in
// plot pixels, the two measuring cursors (selection by mouse and keyboard) and the
// eleven rows of the measurement table.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/LineProfile.h"

struct TPlotScale {
    float Min = 0.0f;    // ProfileMin: over Z and, with a second curve, Z2
    float Max = 0.0f;    // ProfileMax
    float Scale = 1.0f;  // PlotScale: pixels per height unit
    int32_t Width = 0;   // plot size in pixels
    int32_t Height = 0;
    int32_t Count = 0;   // samples

    // Column of sample j: Round(j / Count * Width).
    int32_t PointX(int32_t j) const;
    // Row of a value on the curve: Round((Max - v) * Scale) + 1.
    int32_t PointY(double v) const;
    // Row of a cursor on a value: Round((Max - v) * Scale).
    int32_t CursorY(double v) const;
    // The sample under plot column x: Round(x / Width * Count), limited to the samples.
    int32_t SampleAt(int32_t x) const;
};

// Range and scale of a profile drawn into a plot of width x height pixels.
TPlotScale MakePlotScale(const TProfile& p, int32_t width, int32_t height);

// The axis labels: maximum, minimum (FormatSig 3) and the profile length
// (Count * SampleStep, general format, 4 digits).
std::string PlotLimitText(float value);
std::string PlotLengthText(const TProfile& p);

// Where the line window puts its pictures in a client area of cw x ch: the image side,
// the image's top-left, the plot below it. The left column (controls and tables) is 145
// wide; labelWidth is the widest height label, which ends 10 pixels left of the plot. The
// pictures are centred in the rest of the width, but move right (and shrink where the
// width is short) so that the labels never reach into the left column.
struct TProfileLayout {
    int Side = 0;  // S: the image (each image in a dual window) is S x S
    int Left = 0, Top = 0;
    int PlotTop = 0, PlotWidth = 0, PlotHeight = 0;  // the plot starts at Left too
};
inline constexpr int ProfileLeftColumn = 145;
TProfileLayout ProfileWindowLayout(int cw, int ch, bool dual, int labelWidth);

struct TCursor {
    bool Active = false;
    int32_t X = 0;       // plot column
    int32_t Y = 0;       // plot row
    int32_t Sample = 0;  // profile index
    int32_t Curve = 0;   // 0: Z, 1: Z2
};

enum class TCursorKey { Space, Up, Down, Left, Right };

class TCursors {
public:
    std::array<TCursor, 2> C;
    int32_t Selected = -1;  // -1 none, 0 or 1

    // Deselects both cursors and makes them inactive.
    void Reset();
    // A press on the plot: picks a cursor (cursor 0 when it is inactive or within 3
    // pixels, else cursor 1 unless it is active and farther than 3 pixels) and its
    // curve (the second one when its point is strictly nearer to y), then moves it
    // there. Returns the selected cursor (-1: none).
    int32_t MouseDown(const TProfile& p, const TPlotScale& s, int32_t x, int32_t y);
    // A drag with the button held: moves the selected cursor to the sample under x
    // and onto its curve. False when no cursor is selected.
    bool MouseMove(const TProfile& p, const TPlotScale& s, int32_t x);
    // A key: Space switches the cursors, Up/Down the curve (without a second curve both
    // go to the first one), Left/Right step the selected cursor one sample. True when a
    // cursor is selected afterwards (and was updated).
    bool Key(const TProfile& p, const TPlotScale& s, TCursorKey key);
    // The value under cursor i (its curve at its sample).
    float Value(const TProfile& p, int32_t i) const;

private:
    void PlaceY(const TProfile& p, const TPlotScale& s, int32_t i);
};

// Row names of the measurement table.
const std::array<std::string, 11>& MeasurementNames();
// Column 1 of the measurement table for the active cursors (empty texts elsewhere):
// positions in physical units when the x and y units agree (else in pixels), values,
// and with both cursors active their differences, dXY and dXYZ.
std::array<std::string, 11> MeasurementValues(const TProfile& p, const TCursors& cursors,
                                              const TQTVPicture& src);
