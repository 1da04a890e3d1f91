// The heap kinds: for each, in one row, its name template, the arena an entry of it takes and how
// that arena is aligned, which entries it can serve, and how its heap object is built. The
// registry lays out its block from these rows alone; tests may swap the builders for their own
// classes, never the layout.
#pragma once

#include <cstdint>

#include "core/memory/Heap.h"
#include "core/memory/HeapConfig.h"

// The heap kinds a configuration entry can name; the numbers are stored in configurations.
enum class HeapKind : std::uint32_t {
    Platform = 0,   // C runtime malloc
    Block = 1,      // fixed-size blocks on a free list
    MultiBlock = 2, // runs of fixed-size blocks, best fit
    Greedy = 3,     // linear arena reset when everything is released
    Mspace = 4,     // dlmalloc mspace over the arena
};

constexpr std::uint32_t heapKindCount = 5;

// The span of the registry's block that a heap gets for its arena; bytes 0 for none.
struct HeapArena {
    std::uintptr_t start;
    std::uintptr_t bytes;
};

// How the registry builds the heaps of one kind: the size of its object and a function that
// constructs it in place, on the arena the registry placed for it. A kind whose construct is null
// cannot be built, and a configuration that names it gets no registry.
struct HeapKindBuilder {
    std::uint32_t objectSize;
    Heap* (*construct)(void* at, const HeapArena& arena, const HeapConfigEntry& entry, const char* name);
};

struct HeapKindTable {
    HeapKindBuilder kinds[heapKindCount];
};

// What a kind is, whichever class builds it.
struct HeapKindFacts {
    // Seven characters; the registry counts them up per heap of the kind.
    const char* nameTemplate;
    // Whether the kind can serve the entry soundly; the registry refuses a configuration otherwise.
    bool (*serves)(const HeapConfigEntry& entry);
    // Bytes of the arena, and the alignment of its start (0 or 1: none).
    std::uint64_t (*arenaBytes)(const HeapConfigEntry& entry);
    std::uintptr_t (*arenaAlignment)(const HeapConfigEntry& entry);
};

// The facts of a kind below heapKindCount.
const HeapKindFacts& heapKindFacts(HeapKind kind);
// The classes this build constructs for the kinds.
const HeapKindTable& defaultHeapKinds();
