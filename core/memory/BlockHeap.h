// BlockHeap: the heap kind of fixed-size blocks, kind 1. Its arena inside the registry's block is
// blockCount blocks of blockSize bytes; free blocks are chained through their first word, so
// allocation and release take constant time.
#pragma once

#include <cstdint>

#include "core/memory/HeapKinds.h"

class BlockHeap : public Heap {
public:
    // Chains blockCount blocks from the arena's start into the free list, first block first; the
    // arena holds them all. A block too small to hold the link leaves the heap without blocks
    // (every request fails).
    BlockHeap(const HeapArena& arena, std::uint32_t blockSize, std::uint32_t blockCount, const char* name);

    // One block, the one released last (or the lowest never used). Null when size exceeds the
    // block size, when the alignment does not divide the block size, or when every block is in use.
    void* allocate(std::uint32_t size, std::uint32_t alignment) override;
    // Puts the block at the front of the free list. Only blocks of this heap, each released once.
    void release(void* pointer) override;
    // Bytes of the blocks in use.
    std::uint32_t usage() const override;
    // Always the block size.
    std::uint32_t allocationSize(void* pointer) const override;

    // All guarded by the heap's lock.
    std::uintptr_t freeList;  // the block handed out next; 0 once every block is out
    std::uint32_t blockCount;
    std::uint32_t blockSize;
    std::uint32_t largestRequest;
    std::uint32_t blocksInUse;
    std::uint32_t peakBlocksInUse;
};
