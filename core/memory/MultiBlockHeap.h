// MultiBlockHeap: kind 2, for requests of varied sizes out of equal blocks. All its books are a
// 16-bit map beside the blocks, one entry per block: the first entry of each run says how long the
// run is (low 15 bits) and whether it is taken (0x8000); the rest of a taken run read 0x8000, the
// rest of a free one 0, so release needs nothing but the pointer. A request gets the tightest free
// run; a run low in the arena gives up its front and one high up its back, which keeps the free
// space in one piece in the middle for longer.
#pragma once

#include <cstdint>

#include "core/memory/HeapKinds.h"

class MultiBlockHeap : public Heap {
public:
    static constexpr std::uint16_t allocatedBit = 0x8000;
    static constexpr std::uint16_t lengthMask = 0x7FFF;
    // Run lengths have 15 bits.
    static constexpr std::uint32_t maxBlockCount = 0x7FFF;

    // One free run over blockCount blocks from the arena's start, the run map right after them;
    // the arena holds both. A block count of 0 or above maxBlockCount, or a block size of 0,
    // leaves a heap whose every request fails.
    MultiBlockHeap(const HeapArena& arena, std::uint32_t blockSize, std::uint32_t blockCount, const char* name);

    // The fewest blocks that hold size bytes (one at least, also for 0 bytes) from the shortest
    // free run that fits, the first of equal lengths. Null when the alignment does not divide the
    // block size, when fewer blocks are free, or when no single free run is long enough.
    void* allocate(std::uint32_t size, std::uint32_t alignment) override;
    // Frees the run that starts at pointer and merges it with free neighbours on both sides. A
    // pointer that is not the start of an allocated run (a second release) is ignored.
    void release(void* pointer) override;
    // Bytes of the blocks in use.
    std::uint32_t usage() const override;
    // Bytes of the run that starts at pointer; 0 for a pointer past the blocks.
    std::uint32_t allocationSize(void* pointer) const override;

    // The run map entry of a block (index below blockCount).
    std::uint16_t runEntry(std::uint32_t index) const;

    // All guarded by the heap's lock.
    std::uint32_t blockCount;
    std::uint32_t blockSize;
    std::uint32_t largestRequest;
    std::uint32_t blocksInUse;
    std::uint32_t peakBlocksInUse;
    std::uintptr_t runMap;  // address of the map, right after the last block

private:
    void setRunEntry(std::uint32_t index, std::uint16_t value);
    // Header index of the best free run for n blocks, or blockCount when none fits.
    std::uint32_t findRun(std::uint32_t n) const;
    // Marks n blocks of the free run at index (length runLength) allocated; returns the first.
    std::uint32_t placeRun(std::uint32_t index, std::uint32_t runLength, std::uint32_t n);
};
