// What the picture report of a batch costs: morvane-cli process over 200 demo scans
// (512 x 512) with a three-operation pipeline (level:Lines:1, filter:LowPass, median),
// without and with --report, in one run; the row of one file alone (figures and
// the two thumbnails); a plain copy of the image as the baseline.
#include <benchmark/benchmark.h>

#include "temp_dir.h"
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
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
        const std::string t = BenchTempDir("report");
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
    const std::string thumbs = Dir() + "/thumbs";
    std::filesystem::create_directories(thumbs);
    size_t made = 0;
    for (auto _ : state) {
        TReportRow row;
        RecordImage(row, pic, false, thumbs + "/" + std::to_string(made++) + ".png");
        RecordImage(row, pic, true, thumbs + "/" + std::to_string(made++) + ".png");
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

double Seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6; }

// The batch without and with --report, alternating within every iteration so that both
// meet the same load on a shared machine: wall time and the processor time of the
// program (user + system) of each, in ms per batch, and their ratios.
void BM_CliBatch(benchmark::State& state)
{
    std::string cmd = std::string(MORVANE_CLI) + " process";
    for (const std::string& f : Inputs()) cmd += " " + f;
    cmd += " --op level:Lines:1 --op filter:LowPass --op median --out-dir ";
    double wall[2] = {0, 0}, cpu[2] = {0, 0};
    // every run writes into a folder of its own, all removed at the end: a file system
    // that has just deleted hundreds of files takes longer to make new ones, which
    // would fall on whichever run came next
    std::vector<std::string> folders;
    for (auto _ : state) {
        for (int report = 0; report < 2; ++report) {
            state.PauseTiming();
            const std::string out = Dir() + "/out" + std::to_string(folders.size());
            folders.push_back(out);
            std::filesystem::create_directory(out);
            rusage before{}, after{};
            getrusage(RUSAGE_CHILDREN, &before);
            state.ResumeTiming();
            const auto start = std::chrono::steady_clock::now();
            if (std::system((cmd + out + (report ? " --report" : "") + " >/dev/null").c_str()) != 0)
                state.SkipWithError("morvane-cli failed");
            wall[report] += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            getrusage(RUSAGE_CHILDREN, &after);
            cpu[report] += Seconds(after.ru_utime) - Seconds(before.ru_utime) + Seconds(after.ru_stime) -
                           Seconds(before.ru_stime);
        }
    }
    for (const std::string& f : folders) std::filesystem::remove_all(f);
    const double n = static_cast<double>(state.iterations());
    state.counters["plain_ms"] = 1e3 * wall[0] / n;
    state.counters["report_ms"] = 1e3 * wall[1] / n;
    state.counters["wall_ratio"] = wall[1] / wall[0];
    state.counters["plain_cpu_ms"] = 1e3 * cpu[0] / n;
    state.counters["report_cpu_ms"] = 1e3 * cpu[1] / n;
    state.counters["cpu_ratio"] = cpu[1] / cpu[0];
}

}  // namespace

BENCHMARK(BM_Copy)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Thumbnail)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Describe)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReportRow)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CliBatch)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8);
BENCHMARK_MAIN();
