#pragma once
// Height profiles along a line on an image: the four ways of placing the line (a
// displayed row, a displayed column, a free line between two points, a ray from the
// centre), the width averaging behind them, and the mapping of the same line onto a
// second image of any size.
//
// Coordinates: the line window works in displayed rows (row 0 at the top), while the
// image record stores row 0 at the bottom. The row and column averages are therefore
// stored flipped (their row r is displayed row r); the arc average keeps the record's
// orientation. Every position read from an image is clamped into it.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/Picture.h"

enum class TLineMode : int32_t { Row = 0, Col = 1, Any = 2, Radial = 3 };

// The extracted profile. Sample i lies i * SampleStep from the start.
struct TProfile {
    std::vector<int32_t> X;  // column of each sample, image pixels
    std::vector<int32_t> Y;  // row of each sample, counted from the top
    std::vector<float> Z;    // height (source PhysUnit)
    std::vector<float> Z2;   // heights on the second image (when HasSecond)
    int32_t Count = 0;
    float SampleStep = 1.0f;
    std::string XLabel;      // "[unit]" or empty (x axis in samples)
    bool HasSecond = false;

    void Resize(int32_t n);  // Count = n, arrays sized to hold n samples
};

// The free line of mode "any": two end points in image pixels, y from the top.
struct TAnyLine {
    int32_t X1 = 1, Y1 = 1, X2 = 10, Y2 = 10;
};

// Called on the calling thread as the arc average goes outwards from the centre (done,
// total steps), so that a front end can keep its window responsive; returning false
// stops the run.
using TArcProgress = std::function<bool(int32_t done, int32_t total)>;

// The widest averages: twice the largest image across (the band then covers any image
// twice over, every further row only repeats an edge) and one full turn of arc.
constexpr int32_t MaxLineWidth = 2 * MaxPixels + 1;
constexpr int32_t MaxArcWidth = 360;
// The width an average really uses: at least 1, at most the limit of the mode.
int32_t EffectiveWidth(TLineMode mode, int32_t width);

// Width averages into avg (sized like src). width < 1 counts as 1, widths beyond the
// limits above as the limit.
// Rows: displayed row r averages displayed rows r - W div 2 .. r - W div 2 + W - 1,
// mirrored at the top edge (repeating the edge line) and at the bottom edge (without
// repeating it); stored flipped.
void AverageRows(const TQTVPicture& src, int32_t width, TQTVPicture& avg);
// Columns: mirrored at the left edge, clamped at the right edge; stored flipped.
void AverageColumns(const TQTVPicture& src, int32_t width, TQTVPicture& avg);
// Arcs of width degrees around the centre (Cols div 2, Rows div 2), one point about
// every pixel along the arc; samples outside the averaging disc are copied. Record
// orientation. With progress the run reads a copy of src taken before the first call
// and writes avg only after the last one: a run the callback stops returns false and
// leaves avg as it was (src may go away during a call that says stop).
bool AverageArc(const TQTVPicture& src, int32_t width, TQTVPicture& avg,
                const TArcProgress& progress = {});

// Brings an angle in degrees into 0..360 (400 -> 40, -30 -> 330, 360 stays 360).
float NormaliseAngle(float angle);
// Clamps v into lo..hi (hi < lo gives lo).
int32_t ClampIndex(int64_t v, int32_t lo, int32_t hi);

// Physical step of one sample: modes "row" (x range per x pixel), "col" (y), and the
// rule of modes "any" and "radial" (1 and no unit unless x and y agree in unit and
// range). Each also sets the profile's XLabel.
void SetRowStep(const TQTVPicture& src, TProfile& p);
void SetColumnStep(const TQTVPicture& src, TProfile& p);
void SetFreeStep(const TQTVPicture& src, TProfile& p);

// Extraction from a prepared average (avg of AverageRows / AverageColumns /
// AverageArc). The index (row, column) is clamped into the image and returned.
// secondAvg (may be null) is the second image's average of the same kind; its
// samples go to Z2 (HasSecond is set when it is given).
int32_t ExtractRow(const TQTVPicture& avg, int32_t rowIndex, TProfile& p,
                   const TQTVPicture* secondAvg = nullptr);
int32_t ExtractColumn(const TQTVPicture& avg, int32_t colIndex, TProfile& p,
                      const TQTVPicture* secondAvg = nullptr);
// The ray at angle (degrees, normalised first and written back), from the centre out,
// (Rows - 1) div 2 + 1 samples.
void ExtractRadial(const TQTVPicture& avg, float& angle, TProfile& p,
                   const TQTVPicture* secondAvg = nullptr);
// The free line: the end points are clamped into the image (and kept so); the
// profile walks from point 1 towards point 2, nearest samples, averaged over width
// samples across the line when width >= 2. second (may be null) is sampled along the
// same walk, scaled by the size ratios.
void SampleAny(const TQTVPicture& src, TAnyLine& line, int32_t width, TProfile& p,
               const TQTVPicture* second = nullptr);

// The row (column) of the second image that shows row (column) index of the first:
// Round(index / n1 * n2), limited to 0..n2 - 1.
int32_t MapIndex(int32_t index, int32_t n1, int32_t n2);

// Everything a front end needs for one profile in one call: the average for the mode
// (and of second, when given) and the extraction. Used by morvane-cli.
struct TProfileRequest {
    TLineMode Mode = TLineMode::Row;
    int32_t Width = 1;
    int32_t Index = 0;   // row (mode row) or column (mode col), displayed
    float Angle = 0.0f;  // mode radial
    TAnyLine Line;       // mode any
};
// False when progress stopped an arc average (p unchanged).
bool ComputeProfile(const TQTVPicture& src, TProfileRequest& req, TProfile& p,
                    const TQTVPicture* second = nullptr, const TArcProgress& progress = {});
