#include "core/Threads.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <sched.h>
#include <unistd.h>

namespace {

constexpr int MaxThreads = 256;

// The workers (ThreadCount() - 1 of them; the caller of a loop is the last thread)
// and the one loop they run at a time.
class TPool {
public:
    explicit TPool(int workers)
    {
        for (int k = 0; k < workers; ++k) threads_.emplace_back([this] { Work(); });
    }
    ~TPool()
    {
        {
            std::lock_guard lock(m_);
            quit_ = true;
        }
        wake_.notify_all();
        for (std::thread& t : threads_) t.join();
    }
    TPool(const TPool&) = delete;
    TPool& operator=(const TPool&) = delete;

    bool Run(int64_t count, int64_t grain, const TRangeBody& body, const TTick& tick)
    {
        {
            std::lock_guard lock(m_);
            body_ = &body;
            count_ = count;
            grain_ = grain;
            next_ = 0;
            finished_ = 0;
            stop_ = false;
            error_ = nullptr;
            active_ = static_cast<int>(threads_.size());
            ++generation_;
        }
        wake_.notify_all();
        bool go = true;
        auto askTick = [&] {
            if (!go || !tick) return;
            try {
                if (!tick(finished_.load(std::memory_order_relaxed))) go = false;
            } catch (...) {
                std::lock_guard lock(m_);
                if (!error_) error_ = std::current_exception();
                go = false;
            }
            if (!go) stop_ = true;
        };
        while (!stop_.load(std::memory_order_relaxed)) {
            askTick();
            if (!go || !RunOne()) break;
        }
        std::unique_lock lock(m_);
        while (active_ > 0) {
            if (!tick || !go) {
                done_.wait(lock);
                continue;
            }
            done_.wait_for(lock, std::chrono::milliseconds(20));
            if (active_ == 0) break;
            lock.unlock();
            askTick();
            lock.lock();
        }
        body_ = nullptr;
        if (error_) {
            std::exception_ptr e = error_;
            error_ = nullptr;
            std::rethrow_exception(e);
        }
        return go;
    }

private:
    // Takes and runs one range; false when none is left.
    bool RunOne()
    {
        const int64_t lo = next_.fetch_add(grain_, std::memory_order_relaxed);
        if (lo >= count_) return false;
        const int64_t hi = std::min(count_, lo + grain_);
        try {
            (*body_)(lo, hi);
        } catch (...) {
            std::lock_guard lock(m_);
            if (!error_) error_ = std::current_exception();
            stop_ = true;
        }
        finished_.fetch_add(hi - lo, std::memory_order_relaxed);
        return true;
    }

    void Work();

    std::vector<std::thread> threads_;
    std::mutex m_;
    std::condition_variable wake_, done_;
    uint64_t generation_ = 0;
    bool quit_ = false;
    int active_ = 0;
    const TRangeBody* body_ = nullptr;
    int64_t count_ = 0, grain_ = 1;
    std::atomic<int64_t> next_{0}, finished_{0};
    std::atomic<bool> stop_{false};
    std::exception_ptr error_;
};

thread_local bool InsideLoop = false;

void TPool::Work()
{
    InsideLoop = true;
    uint64_t seen = 0;
    for (;;) {
        {
            std::unique_lock lock(m_);
            wake_.wait(lock, [&] { return quit_ || generation_ != seen; });
            if (quit_) return;
            seen = generation_;
        }
        while (!stop_.load(std::memory_order_relaxed) && RunOne()) {
        }
        {
            std::lock_guard lock(m_);
            --active_;
        }
        done_.notify_all();
    }
}

std::mutex Busy;              // held while a loop runs on the pool, and while it is resized
std::atomic<int> Count{0};    // 0 until first asked
std::unique_ptr<TPool> Pool;
pid_t PoolOwner = 0;    // a child of fork() has none of its parent's threads

int InitialCount()
{
    const int env = ThreadsFromEnvironment();
    return env > 0 ? env : UsableCores();
}

}  // namespace

int UsableCores()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    int n = 0;
    if (sched_getaffinity(0, sizeof set, &set) == 0) n = CPU_COUNT(&set);
    if (n < 1) n = static_cast<int>(std::thread::hardware_concurrency());
    return std::clamp(n, 1, MaxThreads);
}

int ThreadsFromEnvironment()
{
    const char* text = std::getenv("MORVANE_THREADS");
    if (!text || !*text) return 0;
    char* end = nullptr;
    const long n = std::strtol(text, &end, 10);
    if (*end != '\0' || n < 1) return 0;
    return static_cast<int>(std::min<long>(n, MaxThreads));
}

int ThreadCount()
{
    int n = Count.load();
    if (n == 0) {
        const int first = InitialCount();
        Count.compare_exchange_strong(n, first);
        n = Count.load();
    }
    return n;
}

void SetThreadCount(int n)
{
    std::lock_guard lock(Busy);
    const int want = n >= 1 ? std::min(n, MaxThreads) : UsableCores();
    if (want == Count.load()) return;
    Count = want;
    if (Pool && PoolOwner == getpid()) Pool.reset();
    else (void)Pool.release();  // inherited through fork(): its threads are not ours to join
}

void ApplyThreadSetting(int threads)
{
    if (ThreadsFromEnvironment() == 0) SetThreadCount(threads);
}

int64_t GrainFor(int64_t count)
{
    const int64_t threads = ThreadCount();
    return std::max<int64_t>(1, count / (threads * 8));
}

bool ParallelFor(int64_t count, int64_t grain, const TRangeBody& body, const TTick& tick)
{
    if (count <= 0) return !tick || tick(0);
    if (grain < 1) grain = 1;
    std::unique_lock lock(Busy, std::defer_lock);
    const int threads = ThreadCount();
    if (threads == 1 || InsideLoop || count <= grain || !lock.try_lock()) {
        if (lock.owns_lock()) lock.unlock();
        for (int64_t lo = 0; lo < count; lo += grain) {
            if (tick && !tick(lo)) return false;
            body(lo, std::min(count, lo + grain));
        }
        return true;
    }
    if (Pool && PoolOwner != getpid()) (void)Pool.release();
    if (!Pool) {
        Pool = std::make_unique<TPool>(ThreadCount() - 1);
        PoolOwner = getpid();
    }
    InsideLoop = true;
    struct TLeave {
        ~TLeave() { InsideLoop = false; }
    } leave;
    return Pool->Run(count, grain, body, tick);
}

TSerialQueue::~TSerialQueue()
{
    Drain();
    {
        std::lock_guard<std::mutex> lock(m_);
        stop_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void TSerialQueue::Post(std::function<void()> job)
{
    std::unique_lock<std::mutex> lock(m_);
    if (!thread_.joinable()) thread_ = std::thread([this] { Work(); });
    changed_.wait(lock, [this] { return jobs_.size() < depth_; });
    jobs_.push_back(std::move(job));
    changed_.notify_all();
}

void TSerialQueue::Drain()
{
    std::unique_lock<std::mutex> lock(m_);
    changed_.wait(lock, [this] { return jobs_.empty() && !running_; });
}

void TSerialQueue::Work()
{
    std::unique_lock<std::mutex> lock(m_);
    for (;;) {
        changed_.wait(lock, [this] { return stop_ || !jobs_.empty(); });
        if (jobs_.empty()) return;  // stopped with nothing left
        std::function<void()> job = std::move(jobs_.front());
        jobs_.pop_front();
        running_ = true;
        changed_.notify_all();  // room for the next post
        lock.unlock();
        try {
            job();
        } catch (...) {
        }
        job = nullptr;  // what the job held goes before the queue counts it done
        lock.lock();
        running_ = false;
        changed_.notify_all();
    }
}
