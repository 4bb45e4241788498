// The thread pool, and every parallel processing operation giving the same bytes for
// 1, 2, 3 and 8 threads on odd sizes.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <chrono>
#include <cstring>
#include <limits>
#include <random>
#include <stdexcept>
#include <thread>
#include <vector>

#include "processing/FFTView.h"
#include "processing/Fourier.h"
#include "processing/Geometry.h"
#include "processing/Kernels.h"
#include "processing/Sphere.h"
#include "thread_support.h"

namespace {

TQTVPicture Random(int32_t cols, int32_t rows, uint32_t seed, bool specials = false)
{
    TQTVPicture p;
    p.SetSize(cols, rows);
    p.Para.XScanRange = cols;
    p.Para.YScanRange = rows;
    p.Para.XPhysUnit = p.Para.YPhysUnit = p.Para.PhysUnit = "nm";
    std::mt19937 gen(seed);
    std::normal_distribution<float> noise(0.0f, 1.0f);
    float* d = p.Data.Block();
    const size_t n = static_cast<size_t>(cols) * static_cast<size_t>(rows);
    for (size_t k = 0; k < n; ++k) d[k] = noise(gen) + 0.01f * static_cast<float>(k % static_cast<size_t>(cols));
    if (specials && n > 8) {
        d[gen() % n] = std::numeric_limits<float>::quiet_NaN();
        d[gen() % n] = std::numeric_limits<float>::infinity();
        d[gen() % n] = -0.0f;
        d[gen() % n] = 0.0f;
        d[gen() % n] = 1e30f;
    }
    p.UpdateMinMax();
    return p;
}

struct TSize {
    int32_t Cols, Rows;
};
// 1 x n, n x 1, primes, the largest image
const std::vector<TSize> OddSizes{{1, 37}, {37, 1}, {2, 2}, {3, 5}, {97, 61}, {131, 257}};

}  // namespace

TEST(ThreadPool, EveryUnitOnceExceptionsAndStop)
{
    for (const int n : ThreadCountsToCheck()) {
        TThreadScope scope(n);
        EXPECT_EQ(ThreadCount(), n);
        for (const int64_t count : {int64_t{0}, int64_t{1}, int64_t{7}, int64_t{1000}}) {
            std::vector<std::atomic<int>> hits(static_cast<size_t>(count));
            EXPECT_TRUE(ParallelFor(count, 3, [&](int64_t lo, int64_t hi) {
                EXPECT_LE(hi - lo, 3);
                for (int64_t k = lo; k < hi; ++k) hits[static_cast<size_t>(k)]++;
                // a loop inside a unit runs on its caller
                ParallelFor(4, 1, [](int64_t, int64_t) {});
            }));
            for (const auto& h : hits) EXPECT_EQ(h.load(), 1) << n << " threads, " << count << " units";
        }
        EXPECT_THROW(ParallelFor(100, 1,
                                 [](int64_t lo, int64_t) {
                                     if (lo == 57) throw std::runtime_error("unit 57");
                                 }),
                     std::runtime_error);
        std::atomic<int64_t> ran{0};
        int ticks = 0;
        EXPECT_FALSE(ParallelFor(
            2000, 1,
            [&](int64_t lo, int64_t hi) {
                std::this_thread::sleep_for(std::chrono::microseconds(100));
                ran += hi - lo;
            },
            [&](int64_t) { return ++ticks < 3; }));
        EXPECT_LT(ran.load(), 2000);
        // the pool is still usable afterwards
        std::atomic<int64_t> sum{0};
        EXPECT_TRUE(ParallelFor(10, 1, [&](int64_t lo, int64_t) { sum += lo; }));
        EXPECT_EQ(sum.load(), 45);
    }
}

// A fresh record clears its block at the first look; when that first look comes from
// several threads writing their own rows at once, no row written may be cleared again.
TEST(ThreadPool, FreshRecordsWrittenFromManyThreadsKeepEveryRow)
{
    TThreadScope scope(8);
    for (int round = 0; round < 40; ++round) {
        TQTVPicture p;
        p.SetSize(67, 509);
        ParallelFor(p.Rows, 1, [&](int64_t r0, int64_t r1) {
            for (auto r = static_cast<int32_t>(r0); r < r1; ++r)
                for (int32_t c = 0; c < p.Cols; ++c) p.Data[r][c] = static_cast<float>(r * 1000 + c + 1);
        });
        int32_t wrong = 0;
        for (int32_t r = 0; r < p.Rows; ++r)
            for (int32_t c = 0; c < p.Cols; ++c) wrong += p.Data[r][c] != static_cast<float>(r * 1000 + c + 1);
        ASSERT_EQ(wrong, 0) << "round " << round;
    }
}

TEST(SerialQueue, JobsRunInOrderBesideThePosterWithBoundedWaitingAndAFullDrain)
{
    std::vector<int> done;  // touched by the queue's thread only, read after Drain
    std::atomic<int> waiting{0}, most{0};
    {
        TSerialQueue queue(2);
        for (int k = 0; k < 50; ++k) {
            const int now = ++waiting;
            most = std::max(most.load(), now);
            queue.Post([&, k] {
                --waiting;
                if (k == 7) throw std::runtime_error("dropped");
                std::this_thread::sleep_for(std::chrono::microseconds(k % 5 == 0 ? 300 : 0));
                done.push_back(k);
            });
        }
        queue.Drain();
        ASSERT_EQ(done.size(), 49u);
        for (size_t i = 1; i < done.size(); ++i) EXPECT_LT(done[i - 1], done[i]);
        // the poster never ran far ahead: two waiting, one taken but not started yet,
        // and the one being posted (without the bound it would reach 50)
        EXPECT_LE(most.load(), 4);
        queue.Post([&] { done.push_back(99); });
    }  // the destructor waits for the last job
    EXPECT_EQ(done.back(), 99);
}

TEST(ThreadPool, ZeroMeansEveryUsableCoreAndTheEnvironmentWinsOverTheSetting)
{
    TThreadScope keep(1);
    SetThreadCount(0);
    EXPECT_EQ(ThreadCount(), UsableCores());
    const char* was = std::getenv("MORVANE_THREADS");
    const std::string saved = was ? was : "";
    unsetenv("MORVANE_THREADS");
    ApplyThreadSetting(3);
    EXPECT_EQ(ThreadCount(), 3);
    for (const char* bad : {"0", "-2", "two", ""}) {
        setenv("MORVANE_THREADS", bad, 1);
        EXPECT_EQ(ThreadsFromEnvironment(), 0) << bad;
    }
    setenv("MORVANE_THREADS", "5", 1);
    EXPECT_EQ(ThreadsFromEnvironment(), 5);
    ApplyThreadSetting(2);
    EXPECT_EQ(ThreadCount(), 3);  // the environment wins
    if (was) setenv("MORVANE_THREADS", saved.c_str(), 1);
    else unsetenv("MORVANE_THREADS");
}

TEST(Threads, FourierTransformAndViewOnEveryPath)
{
    for (const TFFTPath path : {TFFTPath::Plain, TFFTPath::Lanes4, TFFTPath::Lanes8}) {
        if (!FFTPathAvailable(path)) continue;
        SetFFTPath(path);
        for (const int32_t bits : {0, 1, 3, 4, 5, 9}) {
            const int32_t n = 1 << bits;
            const TQTVPicture src = Random(n, n, 7u + static_cast<uint32_t>(bits), bits > 2);
            ExpectSameForEveryThreadCount("FFT2D " + std::to_string(n), [&] {
                TQTVPicture re = src, im;
                im.SetSize(n, n);
                FFT2D(re, im, bits, bits % 2 == 1);
                return SampleBytes(re) + SampleBytes(im);
            });
        }
        for (const TSize s : {TSize{131, 257}, TSize{1, 5}, TSize{67, 1030}}) {
            const TQTVPicture src = Random(s.Cols, s.Rows, 11);
            ExpectSameForEveryThreadCount("FFT view", [&] {
                TQTVPicture w = src;
                FFTView(w, true, true);
                FFTView(w, false, false);
                return SampleBytes(w);
            });
        }
    }
    SetFFTPath(TFFTPath::Auto);
}

TEST(Threads, NeighbourhoodFiltersSphereAndDistortion)
{
    std::vector<TSize> sizes = OddSizes;
    sizes.push_back({2053, 2053});
    for (const TSize s : sizes) {
        const TQTVPicture src = Random(s.Cols, s.Rows, 5, true);
        const std::string at = std::to_string(s.Cols) + " x " + std::to_string(s.Rows);
        for (const int kernel : {0, 3, 11}) {
            ExpectSameForEveryThreadCount("kernel " + at, [&] {
                TQTVPicture w = src;
                ApplyKernel(w, kernel);
                return SampleBytes(w);
            });
        }
        ExpectSameForEveryThreadCount("median and mean " + at, [&] {
            TQTVPicture w = src, m = src;
            MedianFilter(src, w);
            MeanFilter(src, m);
            return SampleBytes(w) + SampleBytes(m);
        });
        ExpectSameForEveryThreadCount("bad points " + at, [&] {
            TQTVPicture w = src;
            RemoveBadPoints(w, 0.5f);
            return SampleBytes(w);
        });
        ExpectSameForEveryThreadCount("distortion " + at, [&] {
            TQTVPicture w;
            CorrectDistortion(src, w, 0.1, -0.05, 0.2, 0.03);
            return SampleBytes(w);
        });
        if (s.Cols < 2000) {
            ExpectSameForEveryThreadCount("sphere " + at, [&] {
                TQTVPicture low, high;
                SphereFilter(src, low, s.Cols / 5.0, true);
                SphereFilter(src, high, s.Cols / 7.0, false, [](int32_t) { return true; });
                return SampleBytes(low) + SampleBytes(high);
            });
        }
    }
}
