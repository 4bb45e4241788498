#pragma once
// Running the same work with several thread counts and comparing the bits.
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/Picture.h"
#include "core/Threads.h"

// Sets the pool's size for a scope and restores the one before.
class TThreadScope {
public:
    explicit TThreadScope(int n) : before_(ThreadCount()) { SetThreadCount(n); }
    ~TThreadScope() { SetThreadCount(before_); }
    TThreadScope(const TThreadScope&) = delete;
    TThreadScope& operator=(const TThreadScope&) = delete;

private:
    int before_;
};

// The thread counts every parallel operation is checked with.
inline const std::vector<int>& ThreadCountsToCheck()
{
    static const std::vector<int> counts{1, 2, 3, 8};
    return counts;
}

// The samples of a record as bytes (empty without samples).
inline std::string SampleBytes(const TQTVPicture& p)
{
    if (!p.HasData()) return {};
    return std::string(reinterpret_cast<const char*>(p.Data.Block()),
                       static_cast<size_t>(p.Rows) * static_cast<size_t>(p.Cols) * sizeof(float));
}

// Runs make() with every thread count; each result must equal the one-thread result
// byte for byte.
template <class F>
void ExpectSameForEveryThreadCount(const std::string& what, F make)
{
    std::string first;
    for (const int n : ThreadCountsToCheck()) {
        TThreadScope scope(n);
        const std::string got = make();
        if (n == 1) {
            first = got;
            continue;
        }
        EXPECT_TRUE(got == first) << what << ": " << n << " threads differ from one";
    }
}
