#pragma once
// Neighbourhood filters of the processing dialog: the fifteen 3 x 3 kernels of
// "Simple Filter", bad-point removal ("Noise"), and the median and mean filters.
//
// At the image borders the kernel, median and mean filters mirror the indices: the
// missing row below row 0 is row 1, the missing column right of the last one is
// column Cols - 2 (the edge sample itself is not repeated). An image with a single
// row or column takes that row or column for its missing neighbours.
//
// All sums are 32-bit float running sums in a fixed order; the fast paths give the
// same bits as the plain loops.
#include <array>
#include <string>
#include <vector>

#include "core/Picture.h"

// Number of kernels: 15.
int KernelCount();
// The kernel names as the kernel list shows them; index = kernel number 0..14.
const std::vector<std::string>& KernelNames();
// The kernel number of a name as KernelNames spells it; -1 when there is none.
int KernelIndex(const std::string& name);
// The coefficient K[r][c] (row r = 0 applies to the row below the sample) as a
// 32-bit float. Throws ERangeError for a kernel or index out of range.
float KernelCoefficient(int kernel, int r, int c);
// The texts of the 3 x 3 grid cells, row-major, top row first: K[0][0], K[0][1], ...
// Each is four characters, right-aligned ("   0", "  -1", " 1/8", "-1/9").
std::array<std::string, 9> KernelGridTexts(int kernel);

// Whether the kernel's result lies on another value scale than its input: its
// coefficients do not add up to 1 (those adding up to 0 give slopes and curvatures,
// which take a constant image to 0). Throws ERangeError for a kernel out of range.
bool KernelChangesScale(int kernel);

// One "Do" of the kernel filter on the working image: every sample becomes the sum
// of its nine mirrored neighbours times the kernel, added as a float running sum in
// the order row offset -1, 0, +1 and column offset -1, 0, +1 within each row. All
// sums read the samples as they were before the pass. Throws ERangeError for a
// kernel number outside 0..14.
void ApplyKernel(TQTVPicture& working, int kernel);

// Bad-point removal in place, threshold t (a sample differs from another when
// |a - b| > t): inner samples row by row, then the first and last column of each
// inner row, then the first and last rows column by column, then the four corners.
// Samples already corrected count as neighbours for the ones after them. Images with
// fewer than 2 rows or 2 columns are left as they are.
void RemoveBadPoints(TQTVPicture& working, float threshold);
// The threshold for "percent" % of the source's z range: (Max - Min) / 100 * percent,
// or 1 when Max equals Min.
float BadPointThreshold(const TQTVPicture& source, double percent);
// The same threshold from a range given as its two ends.
float BadPointThreshold(float min, float max, double percent);

// Median filter: every sample of working becomes the median (the fifth smallest) of
// the nine mirrored neighbours in source. Working must have the source's size.
void MedianFilter(const TQTVPicture& source, TQTVPicture& working);
// Mean filter: every sample of working becomes the float running sum of the nine
// mirrored neighbours in source, divided by 9. Working must have the source's size.
void MeanFilter(const TQTVPicture& source, TQTVPicture& working);

// Whether the filters take eight samples at a time where the processor allows (the
// default) or four; for tests and benchmarks, both give the same bits.
void SetFilterLanes(int lanes);

// The median of nine values as the filter takes it: selection of the smallest
// remaining value into positions 0..4 (the first one found on ties), result at 4.
float MedianOfNine(std::array<float, 9> v);
