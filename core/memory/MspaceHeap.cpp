// dlmalloc mspace over an arena of the registry's block.
#include "core/memory/MspaceHeap.h"

#include "core/memory/Dlmalloc.h"

MspaceHeap::MspaceHeap(const HeapArena& arena, const char* heapName)
    : Heap(arena.start, arena.bytes, heapName), largestRequest(0), allocationCount(0), releaseCount(0),
      arenaStart(arena.start), arenaSize(static_cast<std::uint32_t>(arena.bytes)), mspace(nullptr) {
    if (arena.bytes > 0) {
        mspace = create_mspace_with_base(reinterpret_cast<void*>(arena.start), arena.bytes, 0);
    }
}

void* MspaceHeap::allocate(std::uint32_t bytes, std::uint32_t alignment) {
    // dlmalloc keeps no lock of its own: two threads inside one mspace would corrupt it.
    ScopedLock hold(lock);
    allocationCount += 1;
    largestRequest = bytes > largestRequest ? bytes : largestRequest;
    if (mspace == nullptr) {
        return nullptr;
    }
    return mspace_memalign(mspace, alignment, bytes);
}

void MspaceHeap::release(void* pointer) {
    ScopedLock hold(lock);
    if (mspace == nullptr) {
        return;
    }
    mspace_free(mspace, pointer);
    releaseCount += 1;
}

std::uint32_t MspaceHeap::usage() const {
    ScopedLock hold(lock);
    return allocationCount - releaseCount;
}

std::uint32_t MspaceHeap::allocationSize(void*) const { return 0; }
