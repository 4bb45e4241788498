// What the Python module costs over morvane-cli on a 2048 x 2048 scan, single thread,
// with a plain image copy (one block move of every sample) as the baseline.
//
//   Steps/OP   morvane-cli process in.txt out.txt --op OP, in this process: load the
//              native file, parse and apply the operation, render, write .txt + .sin
//   Script/OP  the same from Python through the installed-in-build module:
//              morvane.process(morvane.open(in)[0], OP).save(out, data="sin")
//   ApplyCli/OP   the operation alone as the tool runs it: apply and render in place
//   ScriptInPlace/OP  the script with image.apply(OP) instead of process()
//   ApplyPy/OP    morvane.process(image, OP): a new image (a copy), apply, render
//   ApplyInPlacePy/OP  image.apply(OP): apply and render in place
//
// The interpreter is embedded and finds the module in the build's python folder.
#include <benchmark/benchmark.h>
#include <pybind11/embed.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <unistd.h>

#include "frontend/Input.h"
#include "core/Messages.h"
#include "core/Numbers.h"
#include "formats/NativeWriter.h"
#include "processing/Operations.h"

namespace py = pybind11;
namespace fs = std::filesystem;

namespace {

constexpr int32_t Size = 2048;
const char* const Ops[] = {"invert", "median", "level:2Dim:1", "filter:LowPass", "fft"};

fs::path Dir() {
    static const fs::path dir = [] {
        // in memory where there is a tmpfs: the disk's write-back would swamp the comparison
        std::error_code ec;
        const fs::path base = fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
        fs::path d = base / ("morvane-bench-python-" + std::to_string(::getpid()));
        fs::create_directories(d);
        return d;
    }();
    return dir;
}

// A tilted, rippled surface with noise, written once as in.txt + in.sin.
std::string Input() {
    static const std::string path = [] {
        TImageDoc doc;
        doc.CaptionTag = "Topography";
        TQTVPicture& p = doc.Picture;
        p.SetSize(Size, Size);
        p.Para.XScanRange = p.Para.YScanRange = 1000;
        p.Para.XPhysUnit = p.Para.YPhysUnit = p.Para.PhysUnit = "nm";
        p.Para.Scale = 1;
        std::mt19937 gen(7);
        std::normal_distribution<float> noise(0.0f, 0.05f);
        for (int32_t r = 0; r < Size; ++r) {
            float* row = p.Data[r];
            for (int32_t c = 0; c < Size; ++c)
                row[c] = 0.001f * r - 0.0005f * c + std::sin(0.05f * c) * std::cos(0.03f * r) + noise(gen);
        }
        p.Render();
        const std::string in = (Dir() / "in.txt").string();
        if (!WriteNative(doc, in, TNativeKind::Sin)) std::abort();
        return in;
    }();
    return path;
}

void RemoveOutput(const std::string& stem) {
    std::error_code ec;
    fs::remove(Dir() / (stem + ".txt"), ec);
    fs::remove(Dir() / (stem + ".sin"), ec);
}

void BM_Copy(benchmark::State& state) {
    TCliInput input;
    LoadInput(Input(), 1, input);
    const TQTVPicture& src = input.Channels.at(0).Doc->Picture;
    TQTVPicture dst;
    for (auto _ : state) {
        dst.CopySamplesFrom(src);
        benchmark::DoNotOptimize(dst.Data.Block());
    }
}
BENCHMARK(BM_Copy)->Unit(benchmark::kMillisecond);

void BM_Steps(benchmark::State& state) {
    const std::string op = Ops[state.range(0)];
    const std::string out = (Dir() / "cli.txt").string();
    state.SetLabel(op);
    for (auto _ : state) {
        TCliInput input;
        if (!LoadInput(Input(), 1, input)) state.SkipWithError("load");
        TImageDoc& doc = *input.Channels.at(0).Doc;
        ApplyOperation(ParseOperation(op), doc);
        doc.Picture.Render();
        if (!WriteNative(doc, out, TNativeKind::Sin)) state.SkipWithError("write");
        state.PauseTiming();
        RemoveOutput("cli");
        state.ResumeTiming();
    }
}
BENCHMARK(BM_Steps)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);

void BM_Script(benchmark::State& state) {
    const std::string op = Ops[state.range(0)];
    state.SetLabel(op);
    py::module_ morvane = py::module_::import("morvane");
    const std::string in = Input(), out = (Dir() / "py.txt").string();
    py::dict kw;
    kw["data"] = "sin";
    for (auto _ : state) {
        py::object img = morvane.attr("open")(in)[py::int_(0)];
        morvane.attr("process")(img, op).attr("save")(out, **kw);
        state.PauseTiming();
        RemoveOutput("py");
        state.ResumeTiming();
    }
}
BENCHMARK(BM_Script)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);

// The same with the operation applied in place (Image.apply), as the tool does it.
void BM_ScriptInPlace(benchmark::State& state) {
    const std::string op = Ops[state.range(0)];
    state.SetLabel(op);
    py::module_ morvane = py::module_::import("morvane");
    const std::string in = Input(), out = (Dir() / "py.txt").string();
    py::dict kw;
    kw["data"] = "sin";
    for (auto _ : state) {
        py::object img = morvane.attr("open")(in)[py::int_(0)];
        img.attr("apply")(op).attr("save")(out, **kw);
        state.PauseTiming();
        RemoveOutput("py");
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ScriptInPlace)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);

void BM_ApplyCli(benchmark::State& state) {
    const std::string op = Ops[state.range(0)];
    state.SetLabel(op);
    TCliInput input;
    LoadInput(Input(), 1, input);
    TImageDoc& doc = *input.Channels.at(0).Doc;
    const TOperation apply = ParseOperation(op);
    for (auto _ : state) {
        ApplyOperation(apply, doc);
        doc.Picture.Render();
    }
}
BENCHMARK(BM_ApplyCli)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);

void BM_ApplyPy(benchmark::State& state) {
    const std::string op = Ops[state.range(0)];
    state.SetLabel(op);
    py::module_ morvane = py::module_::import("morvane");
    py::object img = morvane.attr("open")(Input())[py::int_(0)];
    py::object process = morvane.attr("process");
    for (auto _ : state) benchmark::DoNotOptimize(process(img, op).ptr());
}
BENCHMARK(BM_ApplyPy)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);

void BM_ApplyInPlacePy(benchmark::State& state) {
    const std::string op = Ops[state.range(0)];
    state.SetLabel(op);
    py::module_ morvane = py::module_::import("morvane");
    py::object img = morvane.attr("open")(Input())[py::int_(0)];
    py::object apply = img.attr("apply");
    for (auto _ : state) benchmark::DoNotOptimize(apply(op).ptr());
}
BENCHMARK(BM_ApplyInPlacePy)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    py::scoped_interpreter python;
#ifdef MORVANE_PYTHON_DIR
    py::module_::import("sys").attr("path").attr("insert")(0, MORVANE_PYTHON_DIR);  // the build's module
#endif
    SetDecimalSeparator('.');
    TCliMessageSink sink;
    TScopedMessageSink scoped(&sink);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    fs::remove_all(Dir(), ec);
    return 0;
}
