#pragma once
// The one thread pool of the model.
//
// Work is handed out in units (rows, columns, groups of rows) that are computed
// completely by one thread each, so every result is the same whichever thread
// computes which unit and however many threads there are. Nothing here shares a
// running sum between threads; an operation that needs one stays on one thread.
//
// The pool size comes from MORVANE_THREADS (a positive number), else every core the
// process may use; SetThreadCount changes it (0 = every usable core). The pool is
// started at its first parallel use. A parallel loop started while the pool is busy
// (from another thread, or from inside a unit) runs on its caller alone.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// The number of threads the parallel loops use (at least 1).
int ThreadCount();
// n >= 1: that many threads (at most 256); 0 or below: every usable core. Waits for a
// running loop to end.
void SetThreadCount(int n);
// The application's setting: section "Performance", key "Threads" (0 = every usable
// core). Applied unless MORVANE_THREADS is set, which wins.
inline constexpr const char* PerformanceSection = "Performance";
inline constexpr const char* ThreadsKey = "Threads";
void ApplyThreadSetting(int threads);
// The cores this process may run on (at least 1).
int UsableCores();
// The count MORVANE_THREADS asks for, or 0 when it is unset or not a positive number.
int ThreadsFromEnvironment();

// Calls body(lo, hi) for consecutive ranges covering [0, count), each at most grain
// units long, on up to ThreadCount() threads (the caller is one of them); returns
// when all are done. An exception thrown by a body stops the hand-out of further
// ranges and is rethrown here (the first one). With one thread the ranges run in
// ascending order on the caller.
//
// tick, when given, is called on the calling thread only: before each range the
// caller takes (with one thread: before every range, with its first unit) and about
// every 20 ms while the caller waits for the other threads, with the number of units
// finished so far. Returning false stops the hand-out of further ranges, waits for
// the running ones, and ParallelFor returns false. Returns true when every range ran
// and no tick said stop.
using TRangeBody = std::function<void(int64_t lo, int64_t hi)>;
using TTick = std::function<bool(int64_t done)>;
bool ParallelFor(int64_t count, int64_t grain, const TRangeBody& body, const TTick& tick = {});

// A grain that gives each thread several ranges of about the same size (at least 1).
int64_t GrainFor(int64_t count);

// Jobs run one after another, in the order posted, on a thread of its own (started at
// the first post), beside whatever the poster does next. Post waits while `depth`
// jobs are already waiting, so what the jobs hold stays bounded. Drain (and the
// destructor) waits for every posted job. An exception a job throws is dropped: jobs
// report their own failures. Not for a process that forks while jobs run.
class TSerialQueue {
public:
    explicit TSerialQueue(size_t depth = 1) : depth_(depth < 1 ? 1 : depth) {}
    ~TSerialQueue();
    TSerialQueue(const TSerialQueue&) = delete;
    TSerialQueue& operator=(const TSerialQueue&) = delete;
    void Post(std::function<void()> job);
    void Drain();

private:
    void Work();
    size_t depth_;
    std::mutex m_;
    std::condition_variable changed_;
    std::deque<std::function<void()>> jobs_;
    bool running_ = false, stop_ = false;
    std::thread thread_;
};
