// GreedyHeap: the linear arena, kind 3. Allocations are cut from the arena front to back and never
// given back one by one; once every allocation has been released the whole arena is free again.
#pragma once

#include <cstdint>

#include "core/memory/HeapKinds.h"

class GreedyHeap : public Heap {
public:
    // Each allocation's end is rounded up to a multiple of granularity (a power of two; the
    // registry passes 4).
    GreedyHeap(const HeapArena& arena, std::uint32_t granularity, const char* name);

    // size bytes from the cursor, moved on to the alignment first. Null when the alignment is not
    // a power of two or when the block would not end inside the arena.
    void* allocate(std::uint32_t size, std::uint32_t alignment) override;
    // Counts the release; when releases have caught up with allocations the arena starts over.
    // The pointer itself is not examined.
    void release(void* pointer) override;
    // Bytes requested since the last reset.
    std::uint32_t usage() const override;
    // Always 0: sizes are not kept.
    std::uint32_t allocationSize(void* pointer) const override;

    // All guarded by the heap's lock.
    std::uintptr_t cursor;  // next free address; may lie up to granularity - 1 bytes past the end
    std::uint32_t granularity;
    std::uint32_t bytesUsed;
    std::uint32_t largestRequest;
    std::uint32_t allocationCount;
    std::uint32_t releaseCount;
};
