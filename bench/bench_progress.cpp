// What a window's progress callback costs the long runs it can stop, on the 2048 x 2048
// scan with every usable core: the FFT view (with the mean suppressed, the case that
// works on a copy), the cross correlation and the arc average, each without a callback
// (argument 0) and with one that always goes on (argument 1), against a plain image
// copy as the baseline.
#include <benchmark/benchmark.h>

#include "scan_support.h"

#include <cstring>

#include "analysis/Correlation.h"
#include "analysis/LineProfile.h"
#include "processing/FFTView.h"

namespace {

constexpr size_t Count = static_cast<size_t>(2048) * 2048;

const TQTVPicture& Scan() { return BenchScan(); }

void BM_Copy(benchmark::State& state)
{
    TQTVPicture dst;
    dst.SetSize(2048, 2048);
    for (auto _ : state) {
        std::memcpy(dst.Data.Block(), Scan().Data.Block(), Count * sizeof(float));
        benchmark::ClobberMemory();
    }
}

int64_t calls = 0;
bool GoOn(int64_t, int64_t)
{
    ++calls;
    return true;
}

TRunProgress Callback(const benchmark::State& state) { return state.range(0) ? TRunProgress(GoOn) : TRunProgress(); }

void Report(benchmark::State& state)
{
    state.counters["calls"] = benchmark::Counter(static_cast<double>(calls), benchmark::Counter::kAvgIterations);
    calls = 0;
}

void BM_FFTViewSuppZero(benchmark::State& state)
{
    TQTVPicture w;
    w.CopySamplesFrom(Scan());
    const TRunProgress progress = Callback(state);
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(w.Data.Block(), Scan().Data.Block(), Count * sizeof(float));
        w.Transformed = false;
        state.ResumeTiming();
        FFTView(w, true, true, progress);
        benchmark::ClobberMemory();
    }
    Report(state);
}

void BM_Correlation(benchmark::State& state)
{
    TQTVPicture corr;
    const TRunProgress progress = Callback(state);
    for (auto _ : state) {
        CrossCorrelate(Scan(), Scan(), 16, corr, progress);
        benchmark::ClobberMemory();
    }
    Report(state);
}

void BM_AverageArc(benchmark::State& state)
{
    TQTVPicture avg;
    const TArcProgress progress =
        state.range(0) ? TArcProgress([](int32_t d, int32_t t) { return GoOn(d, t); }) : TArcProgress();
    for (auto _ : state) {
        AverageArc(Scan(), 10, avg, progress);
        benchmark::ClobberMemory();
    }
    Report(state);
}

}  // namespace

BENCHMARK(BM_Copy)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FFTViewSuppZero)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Correlation)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AverageArc)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

BENCHMARK_MAIN();
