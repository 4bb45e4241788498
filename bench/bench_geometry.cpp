// The sphere filter (pixel radius 4, 16 and 64 on 1024 x 1024 and 2048 x 2048), the
// distortion correction and the image arithmetic on random images, single thread,
// against a plain copy of the same image as the baseline.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <map>

#include "core/Messages.h"
#include "processing/Arithmetic.h"
#include "processing/Geometry.h"
#include "processing/Sphere.h"

namespace {

// A random image of size x size, one lateral unit per pixel (so a radius R gives the
// pixel radius R + 1 in a run), heights in the same unit.
const TQTVPicture& Source(int size)
{
    static std::map<int, TQTVPicture> cache;
    auto it = cache.find(size);
    if (it != cache.end()) return it->second;
    TQTVPicture& p = cache[size];
    p.SetSize(size, size);
    p.Para.XScanRange = p.Para.YScanRange = size;
    p.Para.XPhysUnit = p.Para.YPhysUnit = p.Para.PhysUnit = "nm";
    uint32_t seed = 987654321u;
    float* b = p.Data.Block();
    for (size_t i = 0; i < static_cast<size_t>(size) * size; ++i) {
        seed = seed * 1664525u + 1013904223u;
        b[i] = static_cast<float>(seed >> 8) / 16777216.0f * 10.0f - 5.0f;
    }
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

// Args: image size, pixel radius of the run.
void BM_Sphere(benchmark::State& state)
{
    const int size = static_cast<int>(state.range(0));
    const int r = static_cast<int>(state.range(1));
    const TQTVPicture& src = Source(size);
    TQTVPicture w;
    w.SetSize(size, size);
    for (auto _ : state) {
        SphereFilter(src, w, r - 1, true);
        benchmark::DoNotOptimize(w.Data.Block());
    }
}
BENCHMARK(BM_Sphere)
    ->Args({1024, 4})->Args({1024, 16})->Args({1024, 64})
    ->Args({2048, 4})->Args({2048, 16})->Args({2048, 64})
    ->Unit(benchmark::kMillisecond);

// The straightforward loops, for comparison (small radius only).
void BM_SpherePlain(benchmark::State& state)
{
    const int size = static_cast<int>(state.range(0));
    const int r = static_cast<int>(state.range(1));
    const TQTVPicture& src = Source(size);
    TQTVPicture w;
    for (auto _ : state) {
        SphereFilterPlain(src, w, r - 1, true);
        benchmark::DoNotOptimize(w.Data.Block());
    }
}
BENCHMARK(BM_SpherePlain)->Args({1024, 4})->Args({1024, 16})->Unit(benchmark::kMillisecond);

void BM_Distortion(benchmark::State& state)
{
    const int size = static_cast<int>(state.range(0));
    const TQTVPicture& src = Source(size);
    TQTVPicture w;
    w.SetSize(size, size);
    for (auto _ : state) {
        CorrectDistortion(src, w, 0.05, 0.02, -0.03, 0.01);
        benchmark::DoNotOptimize(w.Data.Block());
    }
}
BENCHMARK(BM_Distortion)->Arg(2048)->Unit(benchmark::kMillisecond);

void BM_Arithmetic(benchmark::State& state)
{
    const int size = static_cast<int>(state.range(0));
    const TQTVPicture& src = Source(size);
    TQTVPicture result;
    for (auto _ : state) {
        ComputeArithmetic(src, src, " /", result);
        benchmark::DoNotOptimize(result.Data.Block());
    }
}
BENCHMARK(BM_Arithmetic)->Arg(2048)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
