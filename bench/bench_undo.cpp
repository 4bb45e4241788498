// What undo costs on a 2048 x 2048 image: a step around a sample change (Begin keeps
// the samples, Commit compares and keeps them), one around the negation (nothing
// kept), undo and redo of a sample step, against a plain copy of the image as the
// baseline. The counters give the snapshot bytes of 32 such steps.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>

#include "core/Messages.h"
#include "processing/Invert.h"
#include "processing/Undo.h"

namespace {

constexpr int Size = 2048;

TImageDoc& Doc() {
    static TImageDoc d = [] {
        TImageDoc doc;
        doc.CreateImage(Size, Size);
        uint32_t seed = 12345u;
        float* b = doc.Picture.Data.Block();
        for (size_t i = 0; i < static_cast<size_t>(Size) * Size; ++i) {
            seed = seed * 1664525u + 1013904223u;
            b[i] = static_cast<float>(seed >> 8) / 16777216.0f * 10.0f - 5.0f;
        }
        doc.Picture.UpdateMinMax();
        return doc;
    }();
    return d;
}

void BM_CopyBaseline(benchmark::State& state) {
    const TQTVPicture& src = Doc().Picture;
    TQTVPicture dst;
    for (auto _ : state) {
        dst.CopySamplesFrom(src);
        benchmark::DoNotOptimize(dst.Data.Block());
    }
}
BENCHMARK(BM_CopyBaseline)->Unit(benchmark::kMillisecond);

// One step around changing one sample (Begin + change + Commit).
void BM_SampleStep(benchmark::State& state) {
    TImageDoc& d = Doc();
    TUndoStack u;
    for (auto _ : state) {
        u.Begin(d, TSampleChange::Any);
        d.Picture.Data[7][7] += 1.0f;
        u.Commit(d, "Change");
    }
    state.counters["bytes per step"] = static_cast<double>(u.Bytes()) / u.UndoCount();
    state.counters["MiB of 32 steps"] = static_cast<double>(u.Bytes()) / u.UndoCount() * 32 / 1048576.0;
}
BENCHMARK(BM_SampleStep)->Unit(benchmark::kMillisecond);

void BM_NegateStep(benchmark::State& state) {
    TImageDoc& d = Doc();
    TUndoStack u;
    for (auto _ : state) {
        u.Begin(d, TSampleChange::Negate);
        InvertSamples(d.Picture);
        u.Commit(d, "Inverse");
    }
    state.counters["bytes per step"] = static_cast<double>(u.Bytes()) / u.UndoCount();
}
BENCHMARK(BM_NegateStep)->Unit(benchmark::kMillisecond);

void BM_UndoRedoSampleStep(benchmark::State& state) {
    TImageDoc& d = Doc();
    TUndoStack u;
    u.Begin(d, TSampleChange::Any);
    d.Picture.Data[7][7] += 1.0f;
    u.Commit(d, "Change");
    for (auto _ : state) {
        u.Undo(d);
        u.Redo(d);
    }
}
BENCHMARK(BM_UndoRedoSampleStep)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
