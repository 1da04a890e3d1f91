// The run-map heap: the tightest run for each request, free neighbours joined again on release.
#include "core/memory/MultiBlockHeap.h"

#include <cstring>

namespace {

std::uint16_t allocatedHeader(std::uint32_t length) {
    return static_cast<std::uint16_t>(length | MultiBlockHeap::allocatedBit);
}

} // namespace

MultiBlockHeap::MultiBlockHeap(const HeapArena& arena, std::uint32_t blockBytes, std::uint32_t blocks,
                               const char* heapName)
    : Heap(arena.start, arena.bytes, heapName), blockCount(blockBytes > 0 && blocks <= maxBlockCount ? blocks : 0),
      blockSize(blockBytes), largestRequest(0), blocksInUse(0), peakBlocksInUse(0),
      runMap(arena.start + std::uintptr_t{blocks} * blockBytes) {
    if (blockCount == 0) {
        return;
    }
    setRunEntry(0, static_cast<std::uint16_t>(blockCount));
    for (std::uint32_t i = 1; i < blockCount; ++i) {
        setRunEntry(i, 0);
    }
}

// The map follows blocks of any size, so it may sit at an odd address: entries are copied.
std::uint16_t MultiBlockHeap::runEntry(std::uint32_t index) const {
    std::uint16_t value = 0;
    std::memcpy(&value, reinterpret_cast<const void*>(runMap + std::uintptr_t{index} * 2), sizeof value);
    return value;
}

void MultiBlockHeap::setRunEntry(std::uint32_t index, std::uint16_t value) {
    std::memcpy(reinterpret_cast<void*>(runMap + std::uintptr_t{index} * 2), &value, sizeof value);
}

std::uint32_t MultiBlockHeap::findRun(std::uint32_t n) const {
    std::uint32_t bestLength = 0xFFFF;
    std::uint32_t bestIndex = blockCount;
    // Every pass moves i on by a run length of at least 1, so the walk ends at blockCount; a
    // header of 0 (which the map never holds) ends it too.
    std::uint32_t i = 0;
    while (i < blockCount) {
        const std::uint16_t header = runEntry(i);
        const std::uint32_t length = header & lengthMask;
        if (length == 0) {
            return blockCount;
        }
        if ((header & allocatedBit) == 0) {
            if (length == n) {
                return i;
            }
            if (n < length && length < bestLength) {
                bestLength = length;
                bestIndex = i;
            }
        }
        i += length;
    }
    return bestIndex;
}

std::uint32_t MultiBlockHeap::placeRun(std::uint32_t index, std::uint32_t runLength, std::uint32_t n) {
    const std::uint32_t half = blockCount / 2;
    std::uint32_t first = index;
    if (runLength == n || 2 * index + n <= 2 * half) {
        if (runLength > n) {
            setRunEntry(index + n, static_cast<std::uint16_t>(runLength - n));
        }
    } else {
        // The free remainder keeps the front of the run; its other entries are 0 already.
        setRunEntry(index, static_cast<std::uint16_t>(runLength - n));
        first = index + runLength - n;
    }
    setRunEntry(first, allocatedHeader(n));
    for (std::uint32_t k = first + 1; k < first + n; ++k) {
        setRunEntry(k, allocatedBit);
    }
    return first;
}

void* MultiBlockHeap::allocate(std::uint32_t bytes, std::uint32_t alignment) {
    if (alignment > blockSize || !blockAlignmentFits(alignment, blockSize)) {
        return nullptr;
    }
    ScopedLock hold(lock);
    if (blocksInUse == blockCount) {
        return nullptr;
    }
    // A request of 0 bytes still takes a block: a run of length 0 would leave its block marked
    // free, or write a header over the next run.
    const std::uint64_t wanted = (std::uint64_t{bytes} + blockSize - 1) / blockSize;
    const std::uint32_t n = wanted == 0 ? 1 : static_cast<std::uint32_t>(wanted > blockCount ? blockCount + 1 : wanted);
    if (n > blockCount - blocksInUse) {
        return nullptr;
    }
    const std::uint32_t index = findRun(n);
    if (index >= blockCount) {
        return nullptr;
    }
    blocksInUse += n;
    peakBlocksInUse = blocksInUse > peakBlocksInUse ? blocksInUse : peakBlocksInUse;
    largestRequest = bytes > largestRequest ? bytes : largestRequest;
    const std::uint32_t first = placeRun(index, runEntry(index) & lengthMask, n);
    return reinterpret_cast<void*>(base + std::uintptr_t{first} * blockSize);
}

void MultiBlockHeap::release(void* pointer) {
    const std::uintptr_t offset = reinterpret_cast<std::uintptr_t>(pointer) - base;
    if (blockCount == 0 || offset / blockSize >= blockCount) {
        return;
    }
    const std::uint32_t i = static_cast<std::uint32_t>(offset / blockSize);
    ScopedLock hold(lock);
    const std::uint16_t header = runEntry(i);
    const std::uint32_t length = header & lengthMask;
    // Not the header of an allocated run: a second release, or a pointer into a run's middle.
    if ((header & allocatedBit) == 0 || length == 0) {
        return;
    }
    std::uint32_t merged = length;
    if (i + length < blockCount) {
        const std::uint16_t next = runEntry(i + length);
        if ((next & allocatedBit) == 0) {
            merged += next & lengthMask;
            setRunEntry(i + length, 0);
        }
    }
    setRunEntry(i, static_cast<std::uint16_t>(merged));
    if (i > 0 && (runEntry(i - 1) & allocatedBit) == 0) {
        // The block before lies in a free run: walk back over its zero entries to its header.
        std::uint32_t j = i - 1;
        while (j > 0 && runEntry(j) == 0) {
            --j;
        }
        setRunEntry(i, 0);
        setRunEntry(j, static_cast<std::uint16_t>((runEntry(j) & lengthMask) + merged));
    }
    for (std::uint32_t k = i + 1; k < i + length; ++k) {
        setRunEntry(k, 0);
    }
    blocksInUse -= length;
}

std::uint32_t MultiBlockHeap::usage() const {
    ScopedLock hold(lock);
    return blocksInUse * blockSize;
}

std::uint32_t MultiBlockHeap::allocationSize(void* pointer) const {
    const std::uintptr_t offset = reinterpret_cast<std::uintptr_t>(pointer) - base;
    if (blockCount == 0 || offset / blockSize >= blockCount) {
        return 0;
    }
    ScopedLock hold(lock);
    return blockSize * (runEntry(static_cast<std::uint32_t>(offset / blockSize)) & lengthMask);
}
