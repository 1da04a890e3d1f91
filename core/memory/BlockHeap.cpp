// Fixed-size block pool on an intrusive free list.
#include "core/memory/BlockHeap.h"

#include <cstring>

namespace {

// A block's size need not be a multiple of the pointer's, so links are copied, not dereferenced.
std::uintptr_t nextFreeBlock(std::uintptr_t block) {
    std::uintptr_t next = 0;
    std::memcpy(&next, reinterpret_cast<const void*>(block), sizeof next);
    return next;
}

void linkFreeBlock(std::uintptr_t block, std::uintptr_t next) {
    std::memcpy(reinterpret_cast<void*>(block), &next, sizeof next);
}

} // namespace

BlockHeap::BlockHeap(const HeapArena& arena, std::uint32_t blockBytes, std::uint32_t blocks, const char* heapName)
    : Heap(arena.start, arena.bytes, heapName), freeList(0),
      blockCount(blockBytes >= sizeof(std::uintptr_t) ? blocks : 0), blockSize(blockBytes), largestRequest(0),
      blocksInUse(0), peakBlocksInUse(0) {
    // Chained from the last block back, so the list runs in address order.
    for (std::uint32_t k = blockCount; k > 0; --k) {
        const std::uintptr_t block = base + std::uintptr_t{k - 1} * blockSize;
        linkFreeBlock(block, freeList);
        freeList = block;
    }
}

void* BlockHeap::allocate(std::uint32_t bytes, std::uint32_t alignment) {
    if (bytes > blockSize) {
        return nullptr;
    }
    if (!blockAlignmentFits(alignment, blockSize)) {
        return nullptr;
    }
    ScopedLock hold(lock);
    if (blocksInUse == blockCount || freeList == 0) {
        return nullptr;
    }
    blocksInUse += 1;
    largestRequest = bytes > largestRequest ? bytes : largestRequest;
    peakBlocksInUse = blocksInUse > peakBlocksInUse ? blocksInUse : peakBlocksInUse;
    const std::uintptr_t block = freeList;
    freeList = nextFreeBlock(block);
    return reinterpret_cast<void*>(block);
}

void BlockHeap::release(void* pointer) {
    ScopedLock hold(lock);
    const std::uintptr_t block = reinterpret_cast<std::uintptr_t>(pointer);
    blocksInUse -= 1;
    linkFreeBlock(block, freeList);
    freeList = block;
}

std::uint32_t BlockHeap::usage() const {
    ScopedLock hold(lock);
    return blocksInUse * blockSize;
}

std::uint32_t BlockHeap::allocationSize(void*) const { return blockSize; }
