#pragma once
// Cross correlation of the cut-out unit cell with its image, the threshold of the
// slider and the search for connected regions above it (the matches).
#include <array>
#include <cstdint>
#include <vector>

#include "core/Picture.h"
#include "processing/Fourier.h"

struct TCellCut;

constexpr int32_t MaxCorrelationSize = 2048;
constexpr int32_t MaxRegionPixels = 1000;
constexpr const char* TooManyPointsText = "Too many datapoints above border!\rPlease use Slider to raise border!";

// One candidate cell position. X, Y are in sample orientation (column, sample row,
// row 0 at the bottom).
struct TUnitCellMatch {
    double X = 0.0;     // mean column of the region's pixels
    double Y = 0.0;     // mean sample row
    int32_t Pixels = 0;
    double Peak = 0.0;  // largest correlation value in the region
    // match indices, -1 = none: 0 at +b, 1 at -a, 2 at -b, 3 at +a; 4 and 5 unused
    std::array<int32_t, 6> Neighbour{-1, -1, -1, -1, -1, -1};
    double VecAX = 0.0, VecAY = 0.0;  // (+a neighbour) - this match, or 0
    double VecBX = 0.0, VecBY = 0.0;  // (+b neighbour) - this match, or 0
};

// The message refusing images beyond the work grid.
const char* CorrelationSizeText();

// Correlates the cell with the source in the frequency domain on an N x N grid
// (N the smallest power of two >= Rows, Cols and 2): the source minus its mean, the
// template the rows Rows div 2 - Half .. Rows div 2 + Half - 1 and columns
// Cols div 2 - Half .. Cols div 2 + Half of the cell picture. corr gets the source's
// size and the centred correlation. An image beyond 2048 in either direction shows
// the size message and returns false (corr unchanged). Three N x N transforms.
// source and cell are read before the first progress call, corr is written after the
// last one: a run the callback stops returns false with corr unchanged, and the
// pictures may go away during a call that says stop.
bool CrossCorrelate(const TQTVPicture& source, const TQTVPicture& cell, int32_t cellHalf, TQTVPicture& corr,
                    const TRunProgress& progress = {});

// t = Min + (Max - Min) * position / 100 with Min and Max of the correlation (as its
// last UpdateMinMax / Render left them).
double ThresholdValue(const TQTVPicture& corr, int32_t position);
// The threshold display: the correlation where it is >= t, 0 elsewhere (same size).
void ApplyThreshold(const TQTVPicture& corr, double t, TQTVPicture& out);

// The region search: every 4-connected region of values strictly above t becomes a
// match, found column by column from the left and bottom up within a column. A region
// of 1000 pixels ends the search with the message "Too many datapoints above
// border!" / "Please use Slider to raise border!" and no matches (tooMany set).
struct TRegionResult {
    std::vector<TUnitCellMatch> Matches;
    bool TooMany = false;
};
TRegionResult LabelRegions(const TQTVPicture& corr, double t);
