#include "core/LargeMemory.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

namespace {
constexpr uintptr_t LargePage = uintptr_t{2} << 20;
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

void TFreeBlock::operator()(void* p) const noexcept { std::free(p); }

void* AllocateLarge(size_t bytes)
{
    // Plain malloc, which hands a block given up back to the next request of its size
    // without new page faults (blocks aligned beyond its own alignment are not reused
    // as readily); only the first touch of memory new to the process comes in large
    // pages. Below two large pages the advice would hardly cover anything.
    void* p = std::malloc(bytes == 0 ? 1 : bytes);
    if (p && bytes >= 2 * LargePage) AdviseLargePages(p, bytes);
    return p;
}
