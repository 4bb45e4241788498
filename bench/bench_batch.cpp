// A batch run file by file: the demo scan (512 x 512) read, taken through a
// three-operation pipeline (level:Lines:1, filter:LowPass, median) and written in the
// native format, against the pipeline alone and a plain copy of the image as the
// baseline. The share of the pipeline in the whole file shows whether a batch is
// bounded by the operations or by reading and writing.
#include <benchmark/benchmark.h>

#include "temp_dir.h"
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/Messages.h"
#include "core/Numbers.h"
#include "formats/Demo.h"
#include "formats/LoadFiles.h"
#include "formats/NativeWriter.h"
#include "processing/Operations.h"

namespace {

const std::vector<std::string> Pipeline = {"level:Lines:1", "filter:LowPass", "median"};

struct TKeep : TLoadTarget {
    std::vector<std::unique_ptr<TImageDoc>> Docs;
    TImageDoc* NewDocument(const std::string& name) override
    {
        Docs.push_back(std::make_unique<TImageDoc>());
        Docs.back()->FileName = name;
        return Docs.back().get();
    }
    void Finished(TImageDoc* d) override { d->Picture.Render(); }
    void Discard(TImageDoc*) override { Docs.pop_back(); }
};

const std::string& Dir()
{
    static const std::string dir = [] {
        const std::string t = BenchTempDir("batch");
        SetDecimalSeparator('.');
        if (!WriteDemoScan(t)) std::abort();
        return t + "/";
    }();
    return dir;
}

// The topography channel of the demo, read as the tool reads it.
std::unique_ptr<TImageDoc> LoadDemo()
{
    TLoadFiles loader(Dir() + DemoParamFile);
    if (!loader.ReadParamFile()) return nullptr;
    TKeep keep;
    std::vector<bool> pick(static_cast<size_t>(loader.Count()) + 1, false);
    pick[1] = true;
    loader.LoadChecked(pick, keep);
    return keep.Docs.empty() ? nullptr : std::move(keep.Docs.front());
}

std::vector<TOperation> Ops()
{
    std::vector<TOperation> ops;
    for (const std::string& t : Pipeline) ops.push_back(ParseOperation(t));
    return ops;
}

void BM_CopyBaseline(benchmark::State& state)
{
    const auto doc = LoadDemo();
    TQTVPicture w;
    w.SetSize(doc->Picture.Cols, doc->Picture.Rows);
    const size_t n = static_cast<size_t>(doc->Picture.Cols) * static_cast<size_t>(doc->Picture.Rows);
    for (auto _ : state) {
        std::memcpy(w.Data.Block(), doc->Picture.Data.Block(), n * sizeof(float));
        benchmark::DoNotOptimize(w.Data.Block());
    }
}
BENCHMARK(BM_CopyBaseline)->Unit(benchmark::kMillisecond);

// The three operations alone, each followed by the rendering the tool does after it.
void BM_PipelineOnly(benchmark::State& state)
{
    const auto doc = LoadDemo();
    const auto ops = Ops();
    TImageDoc work;
    const size_t n = static_cast<size_t>(doc->Picture.Cols) * static_cast<size_t>(doc->Picture.Rows);
    for (auto _ : state) {
        state.PauseTiming();
        work.Picture.SetSize(doc->Picture.Cols, doc->Picture.Rows);
        std::memcpy(work.Picture.Data.Block(), doc->Picture.Data.Block(), n * sizeof(float));
        work.Picture.Para = doc->Picture.Para;
        work.Picture.Render();
        state.ResumeTiming();
        for (const auto& op : ops) {
            ApplyOperation(op, work);
            work.Picture.Render();
        }
        benchmark::DoNotOptimize(work.Picture.Data.Block());
    }
}
BENCHMARK(BM_PipelineOnly)->Unit(benchmark::kMillisecond);

// Reading alone and writing alone (.int and .sin).
void BM_ReadFile(benchmark::State& state)
{
    for (auto _ : state) benchmark::DoNotOptimize(LoadDemo());
}
BENCHMARK(BM_ReadFile)->Unit(benchmark::kMillisecond);

void BM_WriteFile(benchmark::State& state)
{
    const auto doc = LoadDemo();
    const TNativeKind kind = state.range(0) ? TNativeKind::Int : TNativeKind::Sin;
    int k = 0;
    for (auto _ : state) {
        const std::string out = Dir() + "w" + std::to_string(k++) + ".txt";
        if (!WriteNative(*doc, out, kind)) state.SkipWithError("write failed");
        state.PauseTiming();
        std::filesystem::remove(out);
        std::filesystem::remove(NativeDataFileName(out, kind));
        state.ResumeTiming();
    }
}
BENCHMARK(BM_WriteFile)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

// One batch file: read, three operations, native .txt + .int written.
void BM_BatchFile(benchmark::State& state)
{
    const auto ops = Ops();
    TRecordingSink quiet;
    TScopedMessageSink scoped(&quiet);
    int k = 0;
    for (auto _ : state) {
        auto doc = LoadDemo();
        for (size_t i = 0; i < ops.size(); ++i) {
            ApplyOperation(ops[i], *doc);
            doc->Picture.Render();
            doc->History.push_back(HistoryEntry(ops[i]));
        }
        const std::string out = Dir() + "out" + std::to_string(k++) + ".txt";
        if (!WriteNative(*doc, out, TNativeKind::Int)) state.SkipWithError("write failed");
        state.PauseTiming();
        std::filesystem::remove(out);
        std::filesystem::remove(NativeDataFileName(out, TNativeKind::Int));
        state.ResumeTiming();
    }
    state.counters["files/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_BatchFile)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
