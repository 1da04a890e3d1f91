// Linear arena with a reset once everything has been released.
#include "core/memory/GreedyHeap.h"

GreedyHeap::GreedyHeap(const HeapArena& arena, std::uint32_t step, const char* heapName)
    : Heap(arena.start, arena.bytes, heapName), cursor(arena.start), granularity(isPowerOfTwo(step) ? step : 1),
      bytesUsed(0), largestRequest(0), allocationCount(0), releaseCount(0) {}

void* GreedyHeap::allocate(std::uint32_t bytes, std::uint32_t alignment) {
    if (alignment == 0) {
        alignment = 1;
    }
    // The mask below is only a rounding for powers of two.
    if (!isPowerOfTwo(alignment)) {
        return nullptr;
    }
    ScopedLock hold(lock);
    // In 64 bits: cursor + alignment and start + size near the top of the address space must not
    // wrap past the end check and hand out memory the arena does not have.
    const std::uint64_t end = std::uint64_t{base} + size;
    const std::uint64_t start = (std::uint64_t{cursor} + alignment - 1) & ~std::uint64_t{alignment - 1};
    if (start > end || bytes > end - start) {
        return nullptr;
    }
    largestRequest = bytes > largestRequest ? bytes : largestRequest;
    bytesUsed += bytes;
    allocationCount += 1;
    cursor = static_cast<std::uintptr_t>((start + bytes + granularity - 1) & ~std::uint64_t{granularity - 1});
    return reinterpret_cast<void*>(static_cast<std::uintptr_t>(start));
}

void GreedyHeap::release(void*) {
    ScopedLock hold(lock);
    releaseCount += 1;
    if (releaseCount != allocationCount) {
        return;
    }
    cursor = base;
    bytesUsed = 0;
    largestRequest = 0;
    allocationCount = 0;
    releaseCount = 0;
}

std::uint32_t GreedyHeap::usage() const {
    ScopedLock hold(lock);
    return bytesUsed;
}

std::uint32_t GreedyHeap::allocationSize(void*) const { return 0; }
