#pragma once
// The FFT view of the processing dialog: the magnitude spectrum of an image's
// largest power-of-two block, through the Fourier module.
#include <cstdint>

#include "core/Picture.h"
#include "processing/Fourier.h"

// log2 of the largest power of two N with N <= rows and N <= cols; -1 when either is
// below 1.
int32_t FFTViewBits(int32_t rows, int32_t cols);

// One "Do" of the FFT view on the working image: with suppressZero the mean of the
// marked samples is first subtracted from every sample; then the lower-left N x N
// block (N = the largest power of two within Rows and Cols) is transformed (centred
// input when Transformed is set, which is then toggled) and replaced by the
// magnitude of the spectrum, or its log2 when logarithmic. Samples outside the block
// keep their values.
//
// With progress the run reads working once, before the first call, and writes it only
// after the last one: a run stopped by the callback returns false and leaves working
// exactly as it was, and working may go away during a call that says stop. Without
// a callback (and for a finished run) the result is the same to the bit.
bool FFTView(TQTVPicture& working, bool logarithmic, bool suppressZero, const TRunProgress& progress = {});
