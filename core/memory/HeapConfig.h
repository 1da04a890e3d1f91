// The tables a heap registry is built from: the heaps to create, in heap order, and the range of
// heaps that serves each allocation category. The module's own tables are compiled in.
#pragma once

#include <cstdint>

// Allocation categories. Every allocation of the system names one; the route table maps it to a
// range of heaps. Categories without a name here are routed all the same.
enum class HeapCategory : std::uint32_t {
    Engine = 0,      // the engine's own workings: locks, inflate state, archive buffers, the log sink
    GlobalNew = 1,   // whatever a plain new-expression makes
    PakArchive = 10, // a mounted archive itself
    String = 15,     // the text of the file layer's strings
};

constexpr std::uint32_t heapCategoryCount = 16;

inline constexpr std::uint32_t categoryNumber(HeapCategory category) {
    return static_cast<std::uint32_t>(category);
}

// One heap: its kind and two kind-specific parameters (block size and count, or arena size).
struct HeapConfigEntry {
    std::uint32_t kind;
    std::uint32_t param1;
    std::uint32_t param2;
};

struct HeapConfig {
    std::uint32_t heapCount;
    const HeapConfigEntry* entries;
};

// Heaps firstHeap to lastHeap (inclusive) serve the category, asked in that order.
struct CategoryRoute {
    std::uint32_t category;
    std::uint32_t firstHeap;
    std::uint32_t lastHeap;
};

// The module's configuration: one platform heap, "PltMl00", serving all sixteen categories.
const HeapConfig& defaultHeapConfig();
const CategoryRoute* defaultCategoryRoutes();
