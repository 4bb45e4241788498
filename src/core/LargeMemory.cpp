#include "core/LargeMemory.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

namespace {
constexpr uintptr_t LargePage = uintptr_t{2} << 20;
constexpr size_t CacheLine = 64;
}  // namespace

void AdviseLargePages(void* p, size_t bytes)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    const auto start = reinterpret_cast<uintptr_t>(p);
    const uintptr_t first = (start + LargePage - 1) & ~(LargePage - 1);
    const uintptr_t last = (start + bytes) & ~(LargePage - 1);
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
    (void)p;
    (void)bytes;
#endif
}

void* AllocateLarge(size_t bytes)
{
    // below two large pages the rounding would cost more than the faults saved
    if (bytes < 2 * LargePage) return std::aligned_alloc(CacheLine, (bytes + CacheLine) / CacheLine * CacheLine);
    void* p = nullptr;
    if (posix_memalign(&p, LargePage, bytes) != 0) return nullptr;
    AdviseLargePages(p, bytes);
    return p;
}
