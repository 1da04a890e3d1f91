// MspaceHeap: the heap kind backed by a dlmalloc mspace over its arena, kind 4. dlmalloc is built
// without locking and without any memory beyond the arena, so the heap serializes every call with
// its own lock and answers null when the arena is exhausted.
#pragma once

#include <cstdint>

#include "core/memory/HeapKinds.h"

class MspaceHeap : public Heap {
public:
    // Creates an mspace over the whole arena. An arena too small for dlmalloc's own bookkeeping
    // gets no mspace, and the heap then answers null to every request.
    MspaceHeap(const HeapArena& arena, const char* name);

    // dlmalloc's memalign on the mspace; null when it has no room or there is no mspace. Every
    // request counts, also one that fails.
    void* allocate(std::uint32_t size, std::uint32_t alignment) override;
    // dlmalloc's free; a corrupt chunk or a foreign pointer stops the process (DebugBreak).
    void release(void* pointer) override;
    // Requests made minus releases.
    std::uint32_t usage() const override;
    // Always 0.
    std::uint32_t allocationSize(void* pointer) const override;

    // All guarded by the heap's lock.
    std::uint32_t largestRequest;
    std::uint32_t allocationCount;
    std::uint32_t releaseCount;
    std::uintptr_t arenaStart;
    std::uint32_t arenaSize;
    void* mspace;  // null when the arena could not hold one
};
