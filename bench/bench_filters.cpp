// The neighbourhood filters and the two-dimensional Fourier transform on a 2048 x 2048
// image (on the threads MORVANE_THREADS names, every core by default), against a
// plain image copy (one block move of every sample, as "Take Over" does it) as the
// baseline. The Fourier transform is also timed the
// plain way (row by row through FFT1D); bench_threads sets it against FFTW's
// single-precision complex 2-D transform, on one thread and on every core.
#include <benchmark/benchmark.h>

#include "scan_support.h"

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "processing/Fourier.h"
#include "processing/Kernels.h"


namespace {

constexpr int32_t Size = 2048;
constexpr size_t Count = static_cast<size_t>(Size) * Size;

const TQTVPicture& Scan() { return BenchScan(); }

TQTVPicture Fresh()
{
    TQTVPicture p;
    p.SetSize(Size, Size);
    return p;
}

void Restore(TQTVPicture& p)
{
    std::memcpy(p.Data.Block(), Scan().Data.Block(), Count * sizeof(float));
}

void BM_Copy(benchmark::State& state)
{
    const TQTVPicture& src = Scan();
    TQTVPicture dst = Fresh();
    for (auto _ : state) {
        std::memcpy(dst.Data.Block(), src.Data.Block(), Count * sizeof(float));
        benchmark::DoNotOptimize(dst.Data.Block());
        benchmark::ClobberMemory();
    }
}

void BM_Kernel(benchmark::State& state)
{
    const int kernel = static_cast<int>(state.range(0));
    state.SetLabel(KernelNames()[static_cast<size_t>(kernel)]);
    TQTVPicture w = Fresh();
    for (auto _ : state) {
        state.PauseTiming();
        Restore(w);
        state.ResumeTiming();
        ApplyKernel(w, kernel);
        benchmark::ClobberMemory();
    }
}

void BM_BadPoints(benchmark::State& state)
{
    TQTVPicture w = Fresh();
    const float t = BadPointThreshold(Scan(), 1.0);
    for (auto _ : state) {
        state.PauseTiming();
        Restore(w);
        state.ResumeTiming();
        RemoveBadPoints(w, t);
        benchmark::ClobberMemory();
    }
}

void BM_Median(benchmark::State& state)
{
    TQTVPicture w = Fresh();
    for (auto _ : state) {
        MedianFilter(Scan(), w);
        benchmark::ClobberMemory();
    }
}

void BM_Mean(benchmark::State& state)
{
    TQTVPicture w = Fresh();
    for (auto _ : state) {
        MeanFilter(Scan(), w);
        benchmark::ClobberMemory();
    }
}

void FFTBench(benchmark::State& state, TFFTPath path)
{
    if (!FFTPathAvailable(path)) {
        state.SkipWithError("not available on this processor");
        return;
    }
    TQTVPicture re = Fresh(), im = Fresh();
    SetFFTPath(path);
    for (auto _ : state) {
        state.PauseTiming();
        Restore(re);
        std::memset(im.Data.Block(), 0, Count * sizeof(float));
        state.ResumeTiming();
        FFT2D(re, im, 11, false);
        benchmark::ClobberMemory();
    }
    SetFFTPath(TFFTPath::Auto);
}

void BM_FFT2D(benchmark::State& state) { FFTBench(state, TFFTPath::Auto); }
void BM_FFT2D_Lanes4(benchmark::State& state) { FFTBench(state, TFFTPath::Lanes4); }
void BM_FFT2D_Plain(benchmark::State& state) { FFTBench(state, TFFTPath::Plain); }


}  // namespace

BENCHMARK(BM_Copy)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Kernel)->DenseRange(0, 14)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BadPoints)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Median)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Mean)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FFT2D)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FFT2D_Lanes4)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FFT2D_Plain)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK_MAIN();
