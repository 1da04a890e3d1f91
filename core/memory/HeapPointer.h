// HeapPointer: a block from the module's heap registry owned by one scope (or handed on with
// std::move), given back to the registry on every path out. Once the registry has been torn down
// at exit the release does nothing, as every release does.
#pragma once

#include <cstdint>
#include <memory>

#include "core/memory/HeapRegistry.h"

struct HeapRelease {
    void operator()(void* pointer) const noexcept { heapRelease(pointer); }
};

template <typename T>
using HeapPointer = std::unique_ptr<T, HeapRelease>;

// A block of bytes at a multiple of alignment from category, as storage for T; empty when the
// registry cannot serve it. The storage is not initialised.
template <typename T>
HeapPointer<T> allocateHeapBlock(std::uint32_t bytes, std::uint32_t alignment, HeapCategory category) {
    return HeapPointer<T>(static_cast<T*>(heapAllocate(bytes, alignment, category)));
}
