// Line profiles on synthetic images, single thread, each against a plain copy of the
// same image as the baseline: the arc average of mode "radial" (1024 x 1024, 10
// degrees), the row average of width 51 with the row extraction (2048 x 2048), the
// column average, a wide free line and the roughness of a long profile.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <map>

#include "analysis/LineProfile.h"
#include "analysis/Roughness.h"

namespace {

const TQTVPicture& Source(int size)
{
    static std::map<int, TQTVPicture> cache;
    auto it = cache.find(size);
    if (it != cache.end()) return it->second;
    TQTVPicture& p = cache[size];
    p.SetSize(size, size);
    uint32_t seed = 987654321u;
    float* b = p.Data.Block();
    for (size_t i = 0; i < static_cast<size_t>(size) * size; ++i) {
        seed = seed * 1664525u + 1013904223u;
        b[i] = static_cast<float>(seed >> 8) / 16777216.0f * 10.0f - 5.0f;
    }
    p.Para.XPhysUnit = p.Para.YPhysUnit = p.Para.PhysUnit = "nm";
    p.Para.XScanRange = p.Para.YScanRange = 1000;
    return p;
}

void BM_CopyBaseline(benchmark::State& state)
{
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

void BM_AverageArc(benchmark::State& state)
{
    const int size = static_cast<int>(state.range(0));
    const TQTVPicture& src = Source(size);
    TQTVPicture avg;
    for (auto _ : state) {
        AverageArc(src, static_cast<int>(state.range(1)), avg);
        benchmark::DoNotOptimize(avg.Data.Block());
    }
}
BENCHMARK(BM_AverageArc)->Args({1024, 10})->Unit(benchmark::kMillisecond);

void BM_RowProfile(benchmark::State& state)
{
    const int size = static_cast<int>(state.range(0));
    const TQTVPicture& src = Source(size);
    TQTVPicture avg;
    TProfile p;
    for (auto _ : state) {
        AverageRows(src, static_cast<int>(state.range(1)), avg);
        ExtractRow(avg, size / 3, p);
        benchmark::DoNotOptimize(p.Z.data());
    }
}
BENCHMARK(BM_RowProfile)->Args({2048, 51})->Unit(benchmark::kMillisecond);

void BM_ColumnProfile(benchmark::State& state)
{
    const int size = static_cast<int>(state.range(0));
    const TQTVPicture& src = Source(size);
    TQTVPicture avg;
    TProfile p;
    for (auto _ : state) {
        AverageColumns(src, static_cast<int>(state.range(1)), avg);
        ExtractColumn(avg, size / 3, p);
        benchmark::DoNotOptimize(p.Z.data());
    }
}
BENCHMARK(BM_ColumnProfile)->Args({2048, 51})->Unit(benchmark::kMillisecond);

void BM_FreeLine(benchmark::State& state)
{
    const int size = static_cast<int>(state.range(0));
    const TQTVPicture& src = Source(size);
    TProfile p;
    for (auto _ : state) {
        TAnyLine line{0, 0, size - 1, size - 1};
        SampleAny(src, line, static_cast<int>(state.range(1)), p);
        benchmark::DoNotOptimize(p.Z.data());
    }
}
BENCHMARK(BM_FreeLine)->Args({2048, 51})->Unit(benchmark::kMillisecond);

void BM_Roughness(benchmark::State& state)
{
    const TQTVPicture& src = Source(2048);
    TProfile p;
    TAnyLine line{0, 0, 2047, 2047};
    SampleAny(src, line, 1, p);
    for (auto _ : state) benchmark::DoNotOptimize(EvaluateRoughness(p.Z, p.Count));
}
BENCHMARK(BM_Roughness)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
