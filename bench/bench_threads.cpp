// Every operation that runs on the thread pool, on a 2048 x 2048 image, with one
// thread (argument 1) and with every usable core (argument 0), against a plain image
// copy as the baseline; the FFT also against FFTW's single-precision 2-D transform on
// one thread and on every core. The speed-up is the ratio of the two real times.
#include <benchmark/benchmark.h>

#include "temp_dir.h"
#include <fcntl.h>
#include <sys/wait.h>
#include <spawn.h>

#include "scan_support.h"

#include <cmath>
#include <cstdlib>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "analysis/Correlation.h"
#include "analysis/LineProfile.h"
#include "core/Numbers.h"
#include "core/Threads.h"
#include "formats/Demo.h"
#include "formats/Export.h"
#include "formats/NativeWriter.h"
#include "processing/FFTView.h"
#include "processing/Fourier.h"
#include "processing/Geometry.h"
#include "processing/Kernels.h"
#include "processing/Sphere.h"
#include "view3d/A3D.h"
#include "view3d/S3D.h"

#if defined(MORVANE_HAVE_FFTW)
#include <fftw3.h>
#endif

namespace {

constexpr int32_t Size = 2048;
constexpr size_t Count = static_cast<size_t>(Size) * Size;

const TQTVPicture& Scan() { return BenchScan(); }

// Sets the pool for one benchmark: argument 0 means every usable core.
class TThreads {
public:
    explicit TThreads(benchmark::State& state)
    {
        const int n = static_cast<int>(state.range(0));
        SetThreadCount(n);
        state.counters["threads"] = ThreadCount();
    }
    ~TThreads() { SetThreadCount(0); }
};

void BM_Copy(benchmark::State& state)
{
    const TQTVPicture& src = Scan();
    TQTVPicture dst;
    dst.SetSize(Size, Size);
    for (auto _ : state) {
        std::memcpy(dst.Data.Block(), src.Data.Block(), Count * sizeof(float));
        benchmark::ClobberMemory();
    }
}

void BM_FFT2D(benchmark::State& state)
{
    TThreads t(state);
    TQTVPicture re, im;
    re.SetSize(Size, Size);
    im.SetSize(Size, Size);
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(re.Data.Block(), Scan().Data.Block(), Count * sizeof(float));
        std::memset(im.Data.Block(), 0, Count * sizeof(float));
        state.ResumeTiming();
        FFT2D(re, im, 11, false);
        benchmark::ClobberMemory();
    }
}

// The whole "fft:log" step: copy in, transform, log2 of the magnitude.
void BM_FFTView(benchmark::State& state)
{
    TThreads t(state);
    TQTVPicture w = Scan();
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(w.Data.Block(), Scan().Data.Block(), Count * sizeof(float));
        w.Transformed = false;
        state.ResumeTiming();
        FFTView(w, true, false);
        benchmark::ClobberMemory();
    }
}

#if defined(MORVANE_HAVE_FFTW)
// FFTW's single-precision complex 2-D transform of the same grid, planned with
// FFTW_MEASURE for the thread count (fftw3f_threads where it is linked).
void BM_FFTW(benchmark::State& state)
{
    TThreads t(state);
#if defined(MORVANE_HAVE_FFTW_THREADS)
    static const bool threadsReady = fftwf_init_threads() != 0;
    if (threadsReady) fftwf_plan_with_nthreads(ThreadCount());
#endif
    fftwf_complex* data = fftwf_alloc_complex(Count);
    fftwf_plan plan = fftwf_plan_dft_2d(Size, Size, data, data, FFTW_FORWARD, FFTW_MEASURE);
    const float* src = Scan().Data.Block();
    for (auto _ : state) {
        state.PauseTiming();
        for (size_t k = 0; k < Count; ++k) {
            data[k][0] = src[k];
            data[k][1] = 0.0f;
        }
        state.ResumeTiming();
        fftwf_execute(plan);
        benchmark::ClobberMemory();
    }
    fftwf_destroy_plan(plan);
    fftwf_free(data);
}
#endif

void BM_Correlation(benchmark::State& state)
{
    TThreads t(state);
    const TQTVPicture& src = Scan();
    TQTVPicture corr;
    for (auto _ : state) {
        CrossCorrelate(src, src, 16, corr);
        benchmark::ClobberMemory();
    }
}

// 1 nm per pixel: a radius of 63 nm is the pixel radius 64
void BM_Sphere(benchmark::State& state)
{
    TThreads t(state);
    const TQTVPicture& src = Scan();
    TQTVPicture w;
    for (auto _ : state) {
        SphereFilter(src, w, 63.0, true);
        benchmark::ClobberMemory();
    }
}

// The same surface with heights in micrometres: the ball is shallow against the noise,
// so little of it can be passed over (the filter's slowest case)
void BM_SphereSteep(benchmark::State& state)
{
    TThreads t(state);
    TQTVPicture src;
    src.CopySamplesFrom(Scan());
    src.Para.PhysUnit = "\xB5m";
    TQTVPicture w;
    for (auto _ : state) {
        SphereFilter(src, w, 63.0, true);
        benchmark::ClobberMemory();
    }
}

void BM_Kernel(benchmark::State& state)
{
    TThreads t(state);
    TQTVPicture w = Scan();
    for (auto _ : state) {
        ApplyKernel(w, 0);  // "LowPass"
        benchmark::ClobberMemory();
    }
}

void BM_Median(benchmark::State& state)
{
    TThreads t(state);
    TQTVPicture w = Scan();
    for (auto _ : state) {
        MedianFilter(Scan(), w);
        benchmark::ClobberMemory();
    }
}

void BM_Mean(benchmark::State& state)
{
    TThreads t(state);
    TQTVPicture w = Scan();
    for (auto _ : state) {
        MeanFilter(Scan(), w);
        benchmark::ClobberMemory();
    }
}

void BM_BadPoints(benchmark::State& state)
{
    TThreads t(state);
    TQTVPicture w = Scan();
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(w.Data.Block(), Scan().Data.Block(), Count * sizeof(float));
        state.ResumeTiming();
        RemoveBadPoints(w, 0.5f);
        benchmark::ClobberMemory();
    }
}

void BM_Distortion(benchmark::State& state)
{
    TThreads t(state);
    TQTVPicture w;
    for (auto _ : state) {
        CorrectDistortion(Scan(), w, 0.1, -0.05, 0.2, 0.03);
        benchmark::ClobberMemory();
    }
}

void BM_ArcAverage(benchmark::State& state)
{
    TThreads t(state);
    TQTVPicture avg;
    for (auto _ : state) {
        AverageArc(Scan(), 10, avg);
        benchmark::ClobberMemory();
    }
}

// The vertices of one paint of the 3-D view (heights, normals, colours), in blocks of
// 64 columns as the panel draws them
void BM_Mesh(benchmark::State& state)
{
    TThreads t(state);
    TSurfaceMesh mesh;
    mesh.SetImage(Scan());
    constexpr int32_t Block = 64;
    std::vector<TSurfaceMesh::TVertex> out(static_cast<size_t>(Block) * static_cast<size_t>(Size));
    for (auto _ : state) {
        for (int32_t x = 0; x < Size; x += Block) mesh.Columns(x, std::min(Size, x + Block), out.data());
        benchmark::ClobberMemory();
    }
}

void BM_Relief(benchmark::State& state)
{
    TThreads t(state);
    for (auto _ : state) {
        TRelief r = DrawRelief(Scan(), 100, 50);
        benchmark::DoNotOptimize(r.Pixels.data());
    }
}

void BM_IntData(benchmark::State& state)
{
    TThreads t(state);
    for (auto _ : state) {
        TIntData d = EncodeIntData(Scan());
        benchmark::DoNotOptimize(d.Bytes.data());
    }
}

// The STL mesh built block by block (into nothing: the file system is left out).
void BM_StlBlocks(benchmark::State& state)
{
    TThreads t(state);
    for (auto _ : state) {
        size_t total = 0;
        StreamStl(Scan(), [&](const char* d, size_t n) {
            benchmark::DoNotOptimize(d);
            total += n;
        });
        benchmark::DoNotOptimize(total);
    }
}

// morvane-cli process over 24 demo scans (512 x 512) with a three-operation pipeline,
// the files one at a time (-j 1) and two at a time (-j 2).
void BM_CliBatch(benchmark::State& state)
{
    static const std::string root = BenchTempDir("jobs");
    static const std::vector<std::string> inputs = [] {
        SetDecimalSeparator('.');
        std::vector<std::string> files;
        for (int k = 0; k < 24; ++k) {
            const std::string dir = root + "/in" + std::to_string(k);
            if (!WriteDemoScan(dir)) std::abort();
            const std::string name = dir + "/scan" + std::to_string(k) + ".txt";
            std::filesystem::rename(dir + "/" + DemoParamFile, name);
            files.push_back(name);
        }
        return files;
    }();
    // the environment as it is and with MORVANE_THREADS=1
    std::vector<std::string> env[2];
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "MORVANE_THREADS=", 16) != 0) env[0].emplace_back(*e);
    env[1] = env[0];
    env[1].emplace_back("MORVANE_THREADS=1");
    std::vector<char*> envp[2];
    for (int k = 0; k < 2; ++k) {
        for (std::string& e : env[k]) envp[k].push_back(e.data());
        envp[k].push_back(nullptr);
    }
    // the program itself, started without a shell, its output thrown away
    const auto start = [&](const std::vector<std::string>& files, const std::string& out, int jobs, bool oneThread) {
        std::vector<std::string> args = {MORVANE_CLI, "process"};
        args.insert(args.end(), files.begin(), files.end());
        for (const char* a : {"--op", "level:Lines:1", "--op", "filter:LowPass", "--op", "median", "--out-dir"})
            args.emplace_back(a);
        args.push_back(out);
        args.emplace_back("-j");
        args.push_back(std::to_string(jobs));
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        pid_t pid = 0;
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp[oneThread].data()) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        return pid;
    };
    const auto finish = [](pid_t pid) {
        int status = -1;
        if (pid > 0)
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        return status == 0;
    };
    // Every iteration runs, so that all meet the same load: -j 1, -j 2, -j 1 with one
    // thread per file, and the bound for -j 2: two independent one-thread runs of half
    // the files each, side by side (no batch to share out the files). Every run writes
    // into fresh folders (a file system that has just deleted many files makes new ones
    // slowly), all removed at the end.
    const std::vector<std::string> firstHalf(inputs.begin(), inputs.begin() + 12), secondHalf(inputs.begin() + 12, inputs.end());
    double wall[4] = {0, 0, 0, 0};
    std::vector<std::string> folders;
    for (auto _ : state) {
        for (int kind = 0; kind < 4; ++kind) {
            state.PauseTiming();
            const std::string out = root + "/out" + std::to_string(folders.size());
            folders.push_back(out);
            std::filesystem::create_directory(out);
            std::filesystem::create_directory(out + "b");
            folders.push_back(out + "b");
            state.ResumeTiming();
            const auto begin = std::chrono::steady_clock::now();
            bool ok = true;
            if (kind < 3) {
                ok = finish(start(inputs, out, kind == 1 ? 2 : 1, kind == 2));
            } else {
                const pid_t a = start(firstHalf, out, 1, true), b = start(secondHalf, out + "b", 1, true);
                ok = finish(a) & finish(b);
            }
            if (!ok) state.SkipWithError("morvane-cli failed");
            wall[kind] += std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        }
    }
    for (const std::string& f : folders) std::filesystem::remove_all(f);
    const double n = static_cast<double>(state.iterations());
    state.counters["j1_ms"] = 1e3 * wall[0] / n;
    state.counters["j2_ms"] = 1e3 * wall[1] / n;
    state.counters["ratio"] = wall[1] / wall[0];
    state.counters["j1_1thread_ms"] = 1e3 * wall[2] / n;
    state.counters["halves_side_by_side_ms"] = 1e3 * wall[3] / n;
    state.counters["bound_ratio"] = wall[3] / wall[0];
}

}  // namespace

#define MV_BOTH(fn) BENCHMARK(fn)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()
BENCHMARK(BM_Copy)->Unit(benchmark::kMillisecond)->UseRealTime();
MV_BOTH(BM_FFT2D);
MV_BOTH(BM_FFTView);
#if defined(MORVANE_HAVE_FFTW)
MV_BOTH(BM_FFTW);
#endif
MV_BOTH(BM_Correlation);
MV_BOTH(BM_Sphere)->Iterations(1);
MV_BOTH(BM_SphereSteep)->Iterations(1);
MV_BOTH(BM_Kernel);
MV_BOTH(BM_Median);
MV_BOTH(BM_Mean);
MV_BOTH(BM_BadPoints);
MV_BOTH(BM_Distortion);
MV_BOTH(BM_ArcAverage)->Iterations(1);
MV_BOTH(BM_Mesh);
MV_BOTH(BM_Relief);
MV_BOTH(BM_IntData);
MV_BOTH(BM_StlBlocks);
BENCHMARK(BM_CliBatch)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);
BENCHMARK_MAIN();
