// What the picture report of a batch costs: morvane-cli process over 200 demo scans
// (512 x 512) with a three-operation pipeline (level:Lines:1, filter:LowPass, median),
// without (0) and with (1) --report, in one run; the row of one file alone (figures and
// the two thumbnails); a plain copy of the image as the baseline.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/Numbers.h"
#include "formats/BatchReport.h"
#include "formats/Demo.h"
#include "formats/ImageWriters.h"
#include "formats/LoadFiles.h"

namespace {

constexpr int Files = 200;

const std::string& Dir()
{
    static const std::string dir = [] {
        std::string t = (std::filesystem::temp_directory_path() / "morvane-bench-report-XXXXXX").string();
        if (!mkdtemp(t.data())) std::abort();
        SetDecimalSeparator('.');
        if (!WriteDemoScan(t + "/in")) std::abort();
        return t;
    }();
    return dir;
}

// The inputs: copies of the demo's parameter file beside its data files.
const std::vector<std::string>& Inputs()
{
    static const std::vector<std::string> files = [] {
        std::vector<std::string> f;
        const std::string in = Dir() + "/in/";
        for (int k = 0; k < Files; ++k) {
            f.push_back(in + "scan" + std::to_string(k) + ".txt");
            std::filesystem::copy_file(in + DemoParamFile, f.back());
        }
        return f;
    }();
    return files;
}

// The demo's topography as the batch reads it.
const TQTVPicture& Scan()
{
    static TQTVPicture pic = [] {
        struct TKeep : TLoadTarget {
            TImageDoc Doc;
            bool Taken = false;
            TImageDoc* NewDocument(const std::string&) override { return Taken ? nullptr : (Taken = true, &Doc); }
            void Finished(TImageDoc* d) override { d->Picture.Render(); }
            void Discard(TImageDoc*) override {}
        } keep;
        Inputs();
        TLoadFiles loader(Dir() + "/in/" + DemoParamFile);
        if (!loader.ReadParamFile()) std::abort();
        std::vector<bool> pick(static_cast<size_t>(loader.Count()) + 1, false);
        pick[1] = true;
        loader.LoadChecked(pick, keep);
        TQTVPicture p;
        p.CopySamplesFrom(keep.Doc.Picture);
        p.Render();
        return p;
    }();
    return pic;
}

void BM_Copy(benchmark::State& state)
{
    const TQTVPicture& src = Scan();
    TQTVPicture dst;
    dst.SetSize(src.Cols, src.Rows);
    const size_t n = static_cast<size_t>(src.Cols) * static_cast<size_t>(src.Rows);
    for (auto _ : state) {
        std::memcpy(dst.Data.Block(), src.Data.Block(), n * sizeof(float));
        benchmark::ClobberMemory();
    }
}

// One file's row: figures and thumbnail of the input and of the output.
void BM_ReportRow(benchmark::State& state)
{
    const TQTVPicture& pic = Scan();
    const std::string thumb = Dir() + "/thumb.png";
    for (auto _ : state) {
        TReportRow row;
        RecordImage(row, pic, false, thumb);
        RecordImage(row, pic, true, thumb);
        benchmark::DoNotOptimize(row.Out.SD);
    }
}

void BM_Thumbnail(benchmark::State& state)
{
    const TQTVPicture& pic = Scan();
    for (auto _ : state) benchmark::DoNotOptimize(BuildThumbnailPng(pic, ReportThumbSide));
}

void BM_Describe(benchmark::State& state)
{
    const TQTVPicture& pic = Scan();
    for (auto _ : state) benchmark::DoNotOptimize(DescribeImage(pic).SD);
}

void BM_CliBatch(benchmark::State& state)
{
    const std::string out = Dir() + "/out";
    std::string cmd = std::string(MORVANE_CLI) + " process";
    for (const std::string& f : Inputs()) cmd += " " + f;
    cmd += " --out-dir " + out + " --op level:Lines:1 --op filter:LowPass --op median";
    if (state.range(0)) cmd += " --report";
    cmd += " >/dev/null";
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove_all(out);
        std::filesystem::create_directory(out);
        state.ResumeTiming();
        if (std::system(cmd.c_str()) != 0) state.SkipWithError("morvane-cli failed");
    }
}

}  // namespace

BENCHMARK(BM_Copy)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Thumbnail)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Describe)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReportRow)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CliBatch)->Arg(0)->Arg(1)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK_MAIN();
