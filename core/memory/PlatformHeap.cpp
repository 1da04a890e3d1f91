// The C runtime heap behind the registry.
#include "core/memory/PlatformHeap.h"

#include <cstdint>
#include <cstdlib>

namespace {

constexpr std::uintptr_t headerBytes = sizeof(void*);

} // namespace

PlatformHeap::PlatformHeap(const char* heapName)
    : Heap(0, UINTPTR_MAX, heapName), largestRequest(0), allocationCount(0), releaseCount(0) {}

void* PlatformHeap::allocate(std::uint32_t size, std::uint32_t alignment) {
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    if (alignment < platformHeapMinimumAlignment) {
        alignment = platformHeapMinimumAlignment;
    }
    // An alignment that is not a power of two would make the mask below clear arbitrary bits.
    if (!isPowerOfTwo(alignment)) {
        return nullptr;
    }
    // A size near the top of the range would wrap size + alignment + header to a tiny request.
    const std::uint64_t total = std::uint64_t{size} + alignment + headerBytes;
    if (total > SIZE_MAX || total > UINT32_MAX) {
        return nullptr;
    }
    void* raw = std::malloc(static_cast<std::size_t>(total));
    if (raw == nullptr) {
        return nullptr;
    }
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t result = (start + headerBytes + alignment - 1) & ~std::uintptr_t{alignment - 1};
    reinterpret_cast<void**>(result)[-1] = raw;

    std::uint32_t largest = largestRequest.load(std::memory_order_relaxed);
    while (size > largest && !largestRequest.compare_exchange_weak(largest, size, std::memory_order_relaxed)) {
    }
    return reinterpret_cast<void*>(result);
}

void PlatformHeap::release(void* pointer) {
    std::free(static_cast<void**>(pointer)[-1]);
    releaseCount.fetch_add(1, std::memory_order_relaxed);
}

std::uint32_t PlatformHeap::usage() const {
    return allocationCount.load(std::memory_order_relaxed) - releaseCount.load(std::memory_order_relaxed);
}

std::uint32_t PlatformHeap::allocationSize(void*) const { return 0; }
