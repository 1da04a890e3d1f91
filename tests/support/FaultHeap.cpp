// The failing heap and its registry.
#include "support/FaultHeap.h"

#include <new>

void* FaultHeap::allocate(std::uint32_t size, std::uint32_t alignment) {
    const std::int64_t request = requests++;
    const std::int64_t at = failAt.load();
    if ((at >= 0 && (request == at || (failOnwards.load() && request > at))) || failSize.load() == std::int64_t{size}) {
        ++failures;
        return nullptr;
    }
    void* block = PlatformHeap::allocate(size, alignment);
    if (block != nullptr) {
        std::lock_guard<std::mutex> hold(guard);
        for (void*& slot : live) {
            if (slot == nullptr) {
                slot = block;
                break;
            }
        }
    }
    return block;
}

void FaultHeap::release(void* pointer) {
    {
        std::lock_guard<std::mutex> hold(guard);
        for (void*& slot : live) {
            if (slot == pointer && pointer != nullptr) {
                slot = nullptr;
                break;
            }
        }
    }
    PlatformHeap::release(pointer);
}

std::size_t FaultHeap::outstanding() {
    std::lock_guard<std::mutex> hold(guard);
    std::size_t count = 0;
    for (void* slot : live) {
        count += slot != nullptr ? 1 : 0;
    }
    return count;
}

namespace {

// Both heaps are of kind 0 (they take no arena); param1 tells the fault heap from the plain one.
Heap* constructTestHeap(void* at, const HeapArena&, const HeapConfigEntry& entry, const char* name) {
    if (entry.param1 == 0) {
        return new (at) FaultHeap(name);
    }
    return new (at) PlatformHeap(name);
}

} // namespace

FaultRegistry::FaultRegistry(std::uint32_t faultyCategories) : registry(nullptr), previous(nullptr) {
    // Heap 0 is the fault heap; heap 1, a plain platform heap, serves the rest.
    static const HeapConfigEntry entries[] = {{0, 0, 0}, {0, 1, 0}};
    static const HeapConfig config = {2, entries};
    CategoryRoute routes[heapCategoryCount];
    for (std::uint32_t c = 0; c < heapCategoryCount; ++c) {
        const std::uint32_t heapNumber = (faultyCategories >> c) & 1u ? 0u : 1u;
        routes[c] = {c, heapNumber, heapNumber};
    }
    static const HeapKindTable kinds = {{
        {sizeof(FaultHeap), constructTestHeap},
        {0, nullptr},
        {0, nullptr},
        {0, nullptr},
        {0, nullptr},
    }};
    registry = HeapRegistry::build(config, routes, kinds);
    previous = swapHeapRegistry(registry);
}

FaultRegistry::~FaultRegistry() {
    swapHeapRegistry(previous);
    // Blocks still out stay valid without the registry: both heaps are malloc-based and the
    // module's platform heap releases them the same way.
    HeapRegistry::dismantle(registry);
}

FaultHeap& FaultRegistry::heap() { return *static_cast<FaultHeap*>(registry->heap(0)); }

void FaultRegistry::failFrom(std::int64_t n) {
    heap().failOnwards = true;
    heap().failAt = n;
}
