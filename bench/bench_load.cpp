// Load + render of a 2048 x 2048 .int channel through the model, against a raw read of
// the same data file's bytes as the baseline.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/Messages.h"
#include "core/Numbers.h"
#include "formats/LoadFiles.h"

namespace {

constexpr int Size = 2048;

struct TFixture {
    std::string Dir, Param, Data;
    TFixture() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "morvane-bench-XXXXXX").string();
        if (!mkdtemp(tmpl.data())) std::abort();
        Dir = tmpl + "/";
        Param = Dir + "bench.txt";
        Data = Dir + "bench.int";
        std::string bytes(static_cast<size_t>(Size) * Size * 4, '\0');
        uint32_t seed = 12345;
        for (size_t i = 0; i < static_cast<size_t>(Size) * Size; ++i) {
            seed = seed * 1664525u + 1013904223u;
            const int32_t r = static_cast<int32_t>(i % Size), c = static_cast<int32_t>(i / Size);
            const int32_t v = 1000 * (r - c) + static_cast<int32_t>(seed >> 20);
            std::memcpy(&bytes[4 * i], &v, 4);
        }
        Write(Data, bytes);
        const std::string n = std::to_string(Size);
        Write(Param, "Version : 1.12\r\nXScanRange : 200\r\nYScanRange : 200\r\nXPhysUnit : nm\r\n"
                     "YPhysUnit : nm\r\nxPixel : " + n + "\r\nyPixel : " + n + "\r\n\r\n"
                     "FileDescBegin\r\nFileName : bench.int\r\nCaption  : Topography Fwd\r\n"
                     "Scale    : 1E-6\r\nPhysUnit : nm\r\nOffset   : 0\r\nFileDescEnd\r\n");
    }
    ~TFixture() {
        std::error_code ec;
        std::filesystem::remove_all(Dir, ec);
    }
    static void Write(const std::string& path, const std::string& bytes) {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) std::abort();
        std::fclose(f);
    }
};

TFixture& Fixture() {
    static TFixture f;
    return f;
}

class TRenderTarget : public TLoadTarget {
public:
    std::unique_ptr<TImageDoc> Doc;
    TImageDoc* NewDocument(const std::string& fileName) override {
        Doc = std::make_unique<TImageDoc>();
        Doc->FileName = fileName;
        return Doc.get();
    }
    void Finished(TImageDoc* doc) override { doc->Picture.Render(); }
    void Discard(TImageDoc*) override { Doc.reset(); }
};

void BM_LoadAndRender(benchmark::State& state) {
    const TFixture& fx = Fixture();
    SetDecimalSeparator('.');
    TRecordingSink sink;
    TScopedMessageSink scoped(&sink);
    for (auto _ : state) {
        TLoadFiles loader(fx.Param);
        loader.ReadParamFile();
        TRenderTarget target;
        loader.LoadChecked({true, true}, target);
        if (!target.Doc || !sink.Shown.empty()) {
            state.SkipWithError("load failed");
            break;
        }
        benchmark::DoNotOptimize(target.Doc->Picture.Bitmap.data());
    }
}

void BM_RawRead(benchmark::State& state) {
    const TFixture& fx = Fixture();
    const size_t size = static_cast<size_t>(Size) * Size * 4;
    for (auto _ : state) {
        auto buffer = std::make_unique_for_overwrite<char[]>(size);
        std::FILE* f = std::fopen(fx.Data.c_str(), "rb");
        const size_t got = f ? std::fread(buffer.get(), 1, size, f) : 0;
        if (f) std::fclose(f);
        if (got != size) {
            state.SkipWithError("read failed");
            break;
        }
        benchmark::DoNotOptimize(buffer.get());
    }
}

}  // namespace

BENCHMARK(BM_LoadAndRender)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RawRead)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
