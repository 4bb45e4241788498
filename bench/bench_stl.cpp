// STL export of a 2048 x 2048 image (8.4 million triangles, about 420 MB) written to a
// file, against writing the same number of bytes with one write call (the baseline),
// and for reference a fresh buffer of that size filled and written.
//
//   build-*/bench_stl --benchmark_filter=StlExport   (peak memory of the export alone)
//
// Each benchmark reports the process's peak resident memory so far (peak_rss_MB).
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "formats/Export.h"

namespace {

constexpr int32_t Side = 2048;

const TQTVPicture& Surface()
{
    static TQTVPicture pic = [] {
        TQTVPicture p;
        p.SetSize(Side, Side);
        for (int32_t r = 0; r < Side; ++r)
            for (int32_t c = 0; c < Side; ++c)
                p.Data[r][c] = 3.0f * std::sin(c * 0.013f) * std::cos(r * 0.021f) + 0.001f * static_cast<float>(r);
        p.UpdateMinMax();
        return p;
    }();
    return pic;
}

std::string OutputPath(const char* name)
{
    return (std::filesystem::temp_directory_path() / name).string();
}

// One open, one write call (repeated only if the system writes less), one close.
void WriteOnce(const std::string& path, const char* data, size_t size)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) throw std::runtime_error("cannot open " + path);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = write(fd, data + done, size - done);
        if (n <= 0) {
            close(fd);
            throw std::runtime_error("cannot write " + path);
        }
        done += static_cast<size_t>(n);
    }
    close(fd);
}

void ReportPeak(benchmark::State& state)
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB
}

size_t StlSize() { return 84 + static_cast<size_t>(Side - 1) * (Side - 1) * 2 * 50; }

void BM_StlExport(benchmark::State& state)
{
    const TQTVPicture& pic = Surface();
    const std::string path = OutputPath("morvane-bench.StL");
    for (auto _ : state) {
        const std::string stl = BuildStl(pic);
        WriteOnce(path, stl.data(), stl.size());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(StlSize()));
    ReportPeak(state);
    std::filesystem::remove(path);
}

void BM_StlBuildOnly(benchmark::State& state)
{
    const TQTVPicture& pic = Surface();
    for (auto _ : state) {
        const std::string stl = BuildStl(pic);
        benchmark::DoNotOptimize(stl.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(StlSize()));
    ReportPeak(state);
}

// Baseline: the same number of bytes, already in memory, written with one call.
void BM_WriteSameBytes(benchmark::State& state)
{
    const std::string bytes(StlSize(), '\x5A');
    const std::string path = OutputPath("morvane-bench-baseline.bin");
    for (auto _ : state) WriteOnce(path, bytes.data(), bytes.size());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
    ReportPeak(state);
    std::filesystem::remove(path);
}

// Reference: a fresh buffer of that size filled and written. The kernel hands out
// zeroed pages, so any export that builds its bytes in memory pays this much.
void BM_FreshBufferWrite(benchmark::State& state)
{
    const std::string path = OutputPath("morvane-bench-fresh.bin");
    for (auto _ : state) {
        const std::string bytes(StlSize(), '\x5A');
        WriteOnce(path, bytes.data(), bytes.size());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(StlSize()));
    ReportPeak(state);
    std::filesystem::remove(path);
}

}  // namespace

BENCHMARK(BM_FreshBufferWrite)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_WriteSameBytes)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_StlExport)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_StlBuildOnly)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly(true);

BENCHMARK_MAIN();
