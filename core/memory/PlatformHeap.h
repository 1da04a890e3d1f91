// PlatformHeap: the heap kind that takes its memory from the C runtime's malloc. It claims every
// address, so it serves as the catch-all at the end of the registry's heap list.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/memory/Heap.h"

// The least alignment of every block the platform heap hands out. The 64-bit C runtime's malloc
// guarantees 16 bytes and code built for 64-bit Windows relies on it (SSE moves, max_align_t
// objects), so the 64-bit build keeps that promise; the 32-bit build honours only what it is asked.
constexpr std::uint32_t platformHeapMinimumAlignment = sizeof(void*) == 8 ? 16 : 1;

class PlatformHeap : public Heap {
public:
    explicit PlatformHeap(const char* name);

    // malloc of size + alignment + one pointer word; the block handed out is the first multiple
    // of alignment after that word, and the word just before it keeps malloc's address. An
    // alignment below platformHeapMinimumAlignment is raised to it (0 counts as 1). Null when
    // malloc fails, when the alignment is not a power of two, or when the request plus its
    // overhead does not fit the address width (a wrapped sum would hand out a tiny block as a
    // huge one). Every request counts, also one that fails.
    void* allocate(std::uint32_t size, std::uint32_t alignment) override;
    // free of the address kept before pointer.
    void release(void* pointer) override;
    // Requests made minus releases.
    std::uint32_t usage() const override;
    // Always 0: malloc's sizes are not tracked.
    std::uint32_t allocationSize(void* pointer) const override;

    // Counters are shared by every thread that allocates; relaxed atomics keep them exact.
    std::atomic<std::uint32_t> largestRequest;
    std::atomic<std::uint32_t> allocationCount;
    std::atomic<std::uint32_t> releaseCount;
};
