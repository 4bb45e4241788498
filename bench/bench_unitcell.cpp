// The unit-cell cross correlation (three N x N transforms) on 1024 x 1024 and
// 2048 x 2048 lattice images, the cut-out, the region search with the lattice linking,
// and a plain copy of the same image as the baseline, single thread.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <map>

#include "analysis/Correlation.h"
#include "analysis/Lattice.h"
#include "analysis/UnitCell.h"
#include "core/Messages.h"
#include "processing/Fourier.h"

namespace {

constexpr int Period = 16;

// Bumps on a square lattice of period 16 plus a little noise.
const TQTVPicture& Source(int size) {
    static std::map<int, TQTVPicture> cache;
    auto it = cache.find(size);
    if (it != cache.end()) return it->second;
    TQTVPicture& p = cache[size];
    p.SetSize(size, size);
    p.Para.XScanRange = p.Para.YScanRange = size * 0.1;
    p.Para.XPhysUnit = p.Para.YPhysUnit = p.Para.PhysUnit = "nm";
    uint32_t seed = 987654321u;
    for (int r = 0; r < size; ++r) {
        float* row = p.Data[r];
        for (int c = 0; c < size; ++c) {
            seed = seed * 1664525u + 1013904223u;
            const double dx = (c % Period) - Period / 2 + 0.5, dy = (r % Period) - Period / 2 + 0.5;
            row[c] = static_cast<float>(std::exp(-(dx * dx + dy * dy) / 12.0) +
                                        (static_cast<double>(seed >> 8) / 16777216.0 - 0.5) * 0.1);
        }
    }
    return p;
}

// The cell around the image centre, one period each way.
TCellCorners Corners(int size) {
    const int c = size / 2;
    return {{c - Period / 2, c + Period / 2}, {c + Period / 2, c + Period / 2}, {c + Period / 2, c - Period / 2}};
}

void BM_CopyBaseline(benchmark::State& state) {
    const int size = static_cast<int>(state.range(0));
    const TQTVPicture& src = Source(size);
    TQTVPicture w;
    w.SetSize(size, size);
    for (auto _ : state) {
        std::memcpy(w.Data.Block(), src.Data.Block(), static_cast<size_t>(size) * size * sizeof(float));
        benchmark::DoNotOptimize(w.Data.Block());
    }
}
BENCHMARK(BM_CopyBaseline)->Arg(1024)->Arg(2048)->Unit(benchmark::kMillisecond);

void BM_ExtractCell(benchmark::State& state) {
    const int size = static_cast<int>(state.range(0));
    const TQTVPicture& src = Source(size);
    TCellCut cut;
    for (auto _ : state) {
        ExtractCell(src, Corners(size), cut);
        benchmark::DoNotOptimize(cut.Cell.Data.Block());
    }
}
BENCHMARK(BM_ExtractCell)->Arg(1024)->Arg(2048)->Unit(benchmark::kMillisecond);

// "Cross Correlation": three N x N transforms and the product in between.
void BM_CrossCorrelation(benchmark::State& state) {
    const int size = static_cast<int>(state.range(0));
    const TQTVPicture& src = Source(size);
    TCellCut cut;
    ExtractCell(src, Corners(size), cut);
    TQTVPicture corr;
    for (auto _ : state) {
        CrossCorrelate(src, cut.Cell, cut.Half, corr);
        benchmark::DoNotOptimize(corr.Data.Block());
    }
}
BENCHMARK(BM_CrossCorrelation)->Arg(1024)->Arg(2048)->Unit(benchmark::kMillisecond);

// One of the three transforms alone, for comparison.
void BM_OneTransform(benchmark::State& state) {
    const int size = static_cast<int>(state.range(0));
    const int bits = static_cast<int>(std::lround(std::log2(size)));
    const TQTVPicture& src = Source(size);
    TQTVPicture re, im;
    re.SetSize(size, size);
    im.SetSize(size, size);
    for (auto _ : state) {
        std::memcpy(re.Data.Block(), src.Data.Block(), static_cast<size_t>(size) * size * sizeof(float));
        std::memset(im.Data.Block(), 0, static_cast<size_t>(size) * size * sizeof(float));
        FFT2D(re, im, bits, false);
        benchmark::DoNotOptimize(re.Data.Block());
    }
}
BENCHMARK(BM_OneTransform)->Arg(1024)->Arg(2048)->Unit(benchmark::kMillisecond);

// "Find Grid" after the correlation: regions above 70 %, matches, lattice linking.
void BM_FindGrid(benchmark::State& state) {
    const int size = static_cast<int>(state.range(0));
    const TQTVPicture& src = Source(size);
    TCellCut cut;
    ExtractCell(src, Corners(size), cut);
    TQTVPicture corr;
    CrossCorrelate(src, cut.Cell, cut.Half, corr);
    const double t = ThresholdValue(corr, 70);
    size_t found = 0;
    for (auto _ : state) {
        TRegionResult r = LabelRegions(corr, t);
        LinkNeighbours(r.Matches, Corners(size), size, size);
        found = r.Matches.size();
        benchmark::DoNotOptimize(r.Matches.data());
    }
    state.counters["matches"] = static_cast<double>(found);
}
BENCHMARK(BM_FindGrid)->Arg(1024)->Arg(2048)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
