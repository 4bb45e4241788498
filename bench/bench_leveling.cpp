// Every leveling variant on a 2048 x 2048 random image, single thread, against a plain
// copy of the same image as the baseline. Each iteration starts from a fresh copy of
// the samples (the copy is part of every timing, so subtract the baseline).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "core/Messages.h"
#include "processing/Leveling.h"

namespace {

constexpr int Size = 2048;

const TQTVPicture& Source()
{
    static TQTVPicture pic = [] {
        TQTVPicture p;
        p.SetSize(Size, Size);
        uint32_t seed = 987654321u;
        float* b = p.Data.Block();
        for (size_t i = 0; i < static_cast<size_t>(Size) * Size; ++i) {
            seed = seed * 1664525u + 1013904223u;
            b[i] = static_cast<float>(seed >> 8) / 16777216.0f * 10.0f - 5.0f;
        }
        return p;
    }();
    return pic;
}

void CopyInto(TQTVPicture& dst)
{
    std::memcpy(dst.Data.Block(), Source().Data.Block(), static_cast<size_t>(Size) * Size * sizeof(float));
}

void BM_CopyBaseline(benchmark::State& state)
{
    TQTVPicture w;
    w.SetSize(Size, Size);
    for (auto _ : state) {
        CopyInto(w);
        benchmark::DoNotOptimize(w.Data.Block());
    }
}
BENCHMARK(BM_CopyBaseline)->Unit(benchmark::kMillisecond);

void BM_Level(benchmark::State& state)
{
    const int method = static_cast<int>(state.range(0));
    const int order = static_cast<int>(state.range(1));
    const bool advanced = state.range(2) != 0;
    TRecordingSink quiet;
    TScopedMessageSink scoped(&quiet);
    TQTVPicture w;
    w.SetSize(Size, Size);
    std::vector<TMarkedPoint> points;
    for (auto _ : state) {
        CopyInto(w);
        points = {{10, 10}, {2000, 30}, {500, 1900}};
        RunLeveling(w, method, order, advanced, points);
        benchmark::DoNotOptimize(w.Data.Block());
    }
    state.SetLabel(std::string(LevelMethodNames()[method]) + " / " + LevelOrderNames()[order] +
                   (advanced ? " / Advanced" : ""));
}
BENCHMARK(BM_Level)
    ->Args({1, 0, 0})->Args({1, 1, 0})->Args({1, 2, 0})
    ->Args({2, 0, 0})->Args({2, 1, 0})->Args({2, 2, 0})->Args({2, 2, 1})
    ->Args({3, 0, 0})->Args({3, 1, 0})->Args({3, 2, 0})->Args({3, 2, 1})
    ->Args({0, 1, 0})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
