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

Heap* constructFaultHeap(void* at, std::uintptr_t, const HeapConfigEntry&, const char* name) {
    return new (at) FaultHeap(name);
}

Heap* constructPlainHeap(void* at, std::uintptr_t, const HeapConfigEntry&, const char* name) {
    return new (at) PlatformHeap(name);
}

} // namespace

FaultRegistry::FaultRegistry(std::uint32_t faultyCategories) : registry(nullptr), previous(nullptr) {
    // Heap 0 is the fault heap; kind 1's slot builds the plain heap that serves the rest.
    static const HeapConfigEntry entries[] = {{0, 0, 0}, {1, 0, 0}};
    static const HeapConfig config = {2, entries};
    CategoryRoute routes[heapCategoryCount];
    for (std::uint32_t c = 0; c < heapCategoryCount; ++c) {
        const std::uint32_t heapNumber = (faultyCategories >> c) & 1u ? 0u : 1u;
        routes[c] = {c, heapNumber, heapNumber};
    }
    static const HeapKindTable kinds = {{
        {sizeof(FaultHeap), constructFaultHeap},
        {sizeof(PlatformHeap), constructPlainHeap},
        {0, nullptr},
        {0, nullptr},
        {0, nullptr},
    }};
    registry = HeapRegistry::build(config, routes, kinds);
    previous = swapHeapRegistry(registry);
}

FaultRegistry::~FaultRegistry() {
    swapHeapRegistry(previous);
    // Blocks still out stay valid: both heaps are malloc-based and the module's platform heap
    // releases them the same way. The registry's block is kept for that reason.
}

FaultHeap& FaultRegistry::heap() { return *static_cast<FaultHeap*>(registry->heap(0)); }

void FaultRegistry::failFrom(std::int64_t n) {
    heap().failOnwards = true;
    heap().failAt = n;
}
