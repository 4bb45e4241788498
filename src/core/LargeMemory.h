#pragma once
// Memory for large blocks of samples. For a block of several megabytes the system is
// advised to back it with large pages, so that the first touch of a 2048 x 2048
// image costs a few page faults instead of four thousand. Only advice: without large
// pages the memory behaves as any other.
#include <cstddef>

// Advises large pages for the whole large pages inside [p, p + bytes).
void AdviseLargePages(void* p, size_t bytes);

// bytes of uninitialised memory, aligned as malloc aligns (nullptr when none can be
// had), released with std::free.
void* AllocateLarge(size_t bytes);

// Releases a block from malloc, aligned_alloc or AllocateLarge when its owner (a
// unique_ptr) ends.
struct TFreeBlock {
    void operator()(void* p) const noexcept;
};
