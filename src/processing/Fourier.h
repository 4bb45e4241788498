#pragma once
// The Fourier module: a radix-2 transform of one row, the two-dimensional transform
// of square power-of-two grids with the zero frequency in the centre. The FFT view
// of the processing dialog is built on it (processing/FFTView.h).
//
// Forward kernel e^(-2 pi i k n / N), no normalisation. Samples are 32-bit floats;
// inside one butterfly the arithmetic is extended precision (long double), rounded
// to a float when stored.
#include <cstdint>
#include <functional>
#include <vector>

#include "core/Picture.h"

// Module state, rebuilt by every FFT2D call and read by FFT1D: the transform length
// N (a power of two), log2 N, and the tables cos(2 pi k / N), sin(2 pi k / N),
// computed in extended precision and rounded to floats. The state is global: FFT2D
// must not run twice at the same time.
extern int32_t FFTSize;
extern int32_t FFTBits;
extern std::vector<float> CosTable;
extern std::vector<float> SinTable;

// The lowest n bits of a in reverse order. BitReverse(3, 1) = 4.
int32_t BitReverse(int32_t n, int32_t a);

// In-place forward transform of one row of FFTSize complex values (real parts in re,
// imaginary parts in im), with the tables of the last FFT2D call.
void FFT1D(float* re, float* im);

// In-place forward transform of the N x N grids re[r][c], im[r][c], N = 2^bits
// (bits 0..11), result in centred layout: element [N/2 + u][N/2 + v] (indices modulo
// N) holds the coefficient of frequency (u, v). With flag set the input is first
// taken out of that centred layout. Throws ERangeError for bits outside 0..11.
void FFT2D(float* const* re, float* const* im, int32_t bits, bool flag);
// The same on the samples of two records of at least N x N samples each (rows
// 0..N-1, columns 0..N-1); throws ERangeError when either is smaller.
void FFT2D(TQTVPicture& re, TQTVPicture& im, int32_t bits, bool flag);

// Progress of a long run built on the transforms (the FFT view, the cross
// correlation): called on the calling thread, between the run's steps and while its
// rows go through the thread pool, with the work done so far out of total. Returning
// false stops the run. Neither the callback's calls nor a stop change any result.
using TRunProgress = std::function<bool(int64_t done, int64_t total)>;

// Which way FFT2D computes, for tests and benchmarks: Auto takes the widest lanes the
// processor has (eight with AVX-512, four with AVX2); Plain is the definition, row by
// row through FFT1D with transposes. Every way gives the same bits.
enum class TFFTPath { Auto, Plain, Lanes4, Lanes8 };
void SetFFTPath(TFFTPath path);
// Whether the processor can run the path.
bool FFTPathAvailable(TFFTPath path);
