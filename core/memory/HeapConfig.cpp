// The module's compiled-in heap configuration and the kinds this build can construct.
#include "core/memory/HeapConfig.h"

#include <new>

#include "core/memory/BlockHeap.h"
#include "core/memory/GreedyHeap.h"
#include "core/memory/MspaceHeap.h"
#include "core/memory/MultiBlockHeap.h"
#include "core/memory/PlatformHeap.h"

namespace {

const HeapConfigEntry moduleHeaps[] = {
    {static_cast<std::uint32_t>(HeapKind::Platform), 0, 0},
};

const HeapConfig moduleConfig = {1, moduleHeaps};

const CategoryRoute moduleRoutes[heapCategoryCount] = {
    {0, 0, 0},  {1, 0, 0},  {2, 0, 0},  {3, 0, 0},  {4, 0, 0},  {5, 0, 0},  {6, 0, 0},  {7, 0, 0},
    {8, 0, 0},  {9, 0, 0},  {10, 0, 0}, {11, 0, 0}, {12, 0, 0}, {13, 0, 0}, {14, 0, 0}, {15, 0, 0},
};

Heap* constructPlatformHeap(void* at, std::uintptr_t, const HeapConfigEntry&, const char* name) {
    return new (at) PlatformHeap(name);
}

Heap* constructBlockHeap(void* at, std::uintptr_t arenaStart, const HeapConfigEntry& entry, const char* name) {
    return new (at) BlockHeap(arenaStart, entry.param1, entry.param2, name);
}

Heap* constructMultiBlockHeap(void* at, std::uintptr_t arenaStart, const HeapConfigEntry& entry, const char* name) {
    return new (at) MultiBlockHeap(arenaStart, entry.param1, entry.param2, name);
}

// Greedy arenas round every allocation's end to 4 bytes.
constexpr std::uint32_t greedyGranularity = 4;

Heap* constructGreedyHeap(void* at, std::uintptr_t arenaStart, const HeapConfigEntry& entry, const char* name) {
    return new (at) GreedyHeap(arenaStart, entry.param1, greedyGranularity, name);
}

Heap* constructMspaceHeap(void* at, std::uintptr_t arenaStart, const HeapConfigEntry& entry, const char* name) {
    return new (at) MspaceHeap(arenaStart, entry.param1, name);
}

const HeapKindTable moduleKinds = {{
    {sizeof(PlatformHeap), constructPlatformHeap},
    {sizeof(BlockHeap), constructBlockHeap},
    {sizeof(MultiBlockHeap), constructMultiBlockHeap},
    {sizeof(GreedyHeap), constructGreedyHeap},
    {sizeof(MspaceHeap), constructMspaceHeap},
}};

} // namespace

const HeapConfig& defaultHeapConfig() { return moduleConfig; }

const CategoryRoute* defaultCategoryRoutes() { return moduleRoutes; }

const HeapKindTable& defaultHeapKinds() { return moduleKinds; }
