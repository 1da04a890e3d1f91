// The table of heap kinds: one row per kind, from its name to the class that is built for it.
#include "core/memory/HeapKinds.h"

#include <new>

#include "core/memory/BlockHeap.h"
#include "core/memory/GreedyHeap.h"
#include "core/memory/MspaceHeap.h"
#include "core/memory/MultiBlockHeap.h"
#include "core/memory/PlatformHeap.h"

namespace {

// Greedy arenas round every allocation's end to 4 bytes.
constexpr std::uint32_t greedyGranularity = 4;
// Arenas that hold no blocks start on a cache line.
constexpr std::uintptr_t lineAlignment = 128;

std::uint64_t noArena(const HeapConfigEntry&) { return 0; }
std::uint64_t arenaOfParam1(const HeapConfigEntry& entry) { return entry.param1; }
std::uint64_t blockArena(const HeapConfigEntry& entry) { return std::uint64_t{entry.param1} * entry.param2; }
// The blocks, then the run map: 2 bytes per block.
std::uint64_t runMapArena(const HeapConfigEntry& entry) { return std::uint64_t{entry.param2} * (std::uint64_t{entry.param1} + 2); }

std::uintptr_t alignToLine(const HeapConfigEntry&) { return lineAlignment; }
// Blocks follow one another from the arena's start, so the start is aligned as a block is.
std::uintptr_t alignToBlock(const HeapConfigEntry& entry) { return entry.param1; }

bool servesAny(const HeapConfigEntry&) { return true; }
// A free block holds the link to the next one.
bool servesBlocks(const HeapConfigEntry& entry) {
    return entry.param1 >= sizeof(void*) && blockArena(entry) <= UINT32_MAX;
}
// The run map keeps everything outside the blocks, so a block may be of any size but 0 (the heap
// divides by it); a run's length must fit the map's 15 bits, and a heap without blocks has no
// map to start from.
bool servesRuns(const HeapConfigEntry& entry) {
    return entry.param1 > 0 && entry.param2 > 0 && entry.param2 <= MultiBlockHeap::maxBlockCount &&
           runMapArena(entry) <= UINT32_MAX;
}

Heap* buildPlatform(void* at, const HeapArena&, const HeapConfigEntry&, const char* name) {
    return new (at) PlatformHeap(name);
}
Heap* buildBlocks(void* at, const HeapArena& arena, const HeapConfigEntry& entry, const char* name) {
    return new (at) BlockHeap(arena, entry.param1, entry.param2, name);
}
Heap* buildRuns(void* at, const HeapArena& arena, const HeapConfigEntry& entry, const char* name) {
    return new (at) MultiBlockHeap(arena, entry.param1, entry.param2, name);
}
Heap* buildGreedy(void* at, const HeapArena& arena, const HeapConfigEntry&, const char* name) {
    return new (at) GreedyHeap(arena, greedyGranularity, name);
}
Heap* buildMspace(void* at, const HeapArena& arena, const HeapConfigEntry&, const char* name) {
    return new (at) MspaceHeap(arena, name);
}

struct HeapKindRow {
    HeapKindFacts facts;
    HeapKindBuilder builder;
};

// In HeapKind order. param1 and param2 of an entry: block size and count for the block kinds,
// arena size for the greedy and mspace kinds, nothing for the platform heap.
constexpr HeapKindRow rows[heapKindCount] = {
    {{"PltMl00", servesAny, noArena, alignToLine}, {sizeof(PlatformHeap), buildPlatform}},
    {{"Blokl00", servesBlocks, blockArena, alignToBlock}, {sizeof(BlockHeap), buildBlocks}},
    {{"MltBl00", servesRuns, runMapArena, alignToBlock}, {sizeof(MultiBlockHeap), buildRuns}},
    {{"Greed00", servesAny, arenaOfParam1, alignToLine}, {sizeof(GreedyHeap), buildGreedy}},
    {{"Dlmaloc", servesAny, arenaOfParam1, alignToLine}, {sizeof(MspaceHeap), buildMspace}},
};

constexpr HeapKindTable builders = {{rows[0].builder, rows[1].builder, rows[2].builder, rows[3].builder, rows[4].builder}};

} // namespace

const HeapKindFacts& heapKindFacts(HeapKind kind) { return rows[static_cast<std::uint32_t>(kind)].facts; }

const HeapKindTable& defaultHeapKinds() { return builders; }
