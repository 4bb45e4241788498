// Reading a 2048 x 2048 image from a Gwyddion file against reading the same image from
// a native .sin file, both through the open command's loaders (no rendering), with a
// raw read of the .gwy bytes as the floor.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "core/Messages.h"
#include "core/Numbers.h"
#include "formats/FieldFiles.h"
#include "formats/LoadFiles.h"
#include "formats/NativeWriter.h"
#include "formats/OpenFlow.h"

namespace {

constexpr int Size = 2048;

struct TFixture {
    std::string Dir, Sin, Gwy;
    TFixture() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "morvane-bench-XXXXXX").string();
        if (!mkdtemp(tmpl.data())) std::abort();
        Dir = tmpl + "/";
        Sin = Dir + "bench.txt";
        Gwy = Dir + "bench.gwy";
        TImageDoc doc;
        doc.CreateImage(Size, Size);
        uint32_t seed = 12345;
        for (int r = 0; r < Size; ++r)
            for (int c = 0; c < Size; ++c) {
                seed = seed * 1664525u + 1013904223u;
                doc.Picture.Data[r][c] = 0.001f * static_cast<float>(r - c) + static_cast<float>(seed >> 20) * 1e-6f;
            }
        TScanPara& p = doc.Picture.Para;
        p.XPhysUnit = p.YPhysUnit = p.PhysUnit = "nm";
        p.XScanRange = p.YScanRange = 200;
        p.Scale = 1;
        doc.CaptionTag = "Topography Fwd";
        TRecordingSink sink;
        TScopedMessageSink scoped(&sink);
        if (!WriteNative(doc, Sin, TNativeKind::Sin) || !WriteGwy({&doc}, Gwy)) std::abort();
    }
    ~TFixture() {
        std::error_code ec;
        std::filesystem::remove_all(Dir, ec);
    }
};

TFixture& Fixture() {
    static TFixture f;
    return f;
}

// Keeps the last document, unrendered.
class TTarget : public TLoadTarget {
public:
    std::unique_ptr<TImageDoc> Doc;
    TImageDoc* NewDocument(const std::string&) override {
        Doc = std::make_unique<TImageDoc>();
        return Doc.get();
    }
    void Finished(TImageDoc*) override {}
    void Discard(TImageDoc*) override { Doc.reset(); }
};

template <class Load>
void Run(benchmark::State& state, Load load) {
    SetDecimalSeparator('.');
    TRecordingSink sink;
    TScopedMessageSink scoped(&sink);
    for (auto _ : state) {
        TTarget target;
        load(target);
        if (!target.Doc || !sink.Shown.empty()) {
            state.SkipWithError("load failed");
            break;
        }
        benchmark::DoNotOptimize(target.Doc->Picture.Data.Block());
    }
}

void BM_ReadSin(benchmark::State& state) {
    const TFixture& fx = Fixture();
    Run(state, [&](TTarget& t) {
        TLoadFiles loader(fx.Sin);
        loader.ReadParamFile();
        loader.LoadChecked({true, true}, t);
    });
}

void BM_ReadGwy(benchmark::State& state) {
    const TFixture& fx = Fixture();
    Run(state, [&](TTarget& t) { LoadFieldFile(fx.Gwy, TFileKind::Gwy, t); });
}

void BM_RawReadGwyBytes(benchmark::State& state) {
    const TFixture& fx = Fixture();
    for (auto _ : state) {
        std::string bytes;
        if (!ReadWholeFile(fx.Gwy, bytes)) {
            state.SkipWithError("read failed");
            break;
        }
        benchmark::DoNotOptimize(bytes.data());
    }
}

}  // namespace

BENCHMARK(BM_ReadSin)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadGwy)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RawReadGwyBytes)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
