// HeapRegistry: where the module's own memory comes from. The caller says what the memory is for
// (its category) and the registry tries the heaps configured for that, in turn; a release says
// nothing, because a heap can tell its own addresses. The registry, its heaps and their arenas
// share one block from the C runtime, taken first thing at start-up, so that no allocation made by
// the module's other static objects finds it missing.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/memory/HeapConfig.h"
#include "core/memory/HeapKinds.h"

class Heap;

class HeapRegistry {
public:
    // Builds a registry in one malloc'd block from the given tables; the block's layout follows
    // the kinds' rows (HeapKinds.h), kinds supplies the classes. Null when the block cannot be
    // had, when an entry names a kind kinds cannot build or one its kind does not serve (a pool
    // block that cannot hold a pointer, a run map of 0 blocks, of 0-byte blocks or of more than
    // 32767 blocks, an arena beyond 32 bits), when a route names a heap that does not exist, when
    // the block's length does not fit 32 bits, or when the threads library cannot make a heap's
    // lock.
    static HeapRegistry* build(const HeapConfig& config, const CategoryRoute* routes, const HeapKindTable& kinds);
    // Destroys the heaps of a registry made by build and frees its block. Only for registries that
    // are not installed as the module's; the module's registry is never dismantled.
    static void dismantle(HeapRegistry* registry);

    // A block of size bytes at a multiple of alignment from the first heap of the category's range
    // that can serve it; null for size 0, an unknown category, or when every heap fails.
    void* allocate(std::uint32_t size, std::uint32_t alignment, std::uint32_t category);
    // Gives pointer back to the first heap whose range holds it. Null and unclaimed pointers are
    // ignored.
    void release(void* pointer);

    std::uint32_t heapCount() const { return count; }
    Heap* heap(std::uint32_t number) const { return number < count ? heapTable[number] : nullptr; }

    // Layout of the block: this header, then the heap table at once, then the heap objects in heap
    // order, then the arenas at their aligned starts.
    Heap** heapTable;
    std::uint32_t count;
    CategoryRoute routes[heapCategoryCount];
};

// The module's registry, built from the compiled-in configuration if there is none (before the
// first use, or after the teardown at exit); threads that find none at once build it once. Null
// only when it cannot be built (no block from the C runtime, or no lock for a heap).
HeapRegistry* getHeapRegistry();

// Whether the module's registry exists: releases are skipped when it does not (after teardown).
bool heapRegistryExists();

// Allocates through the module's registry; null when there is none or it cannot serve.
void* heapAllocate(std::uint32_t size, std::uint32_t alignment, HeapCategory category);
// Releases through the module's registry when it exists; does nothing afterwards.
void heapRelease(void* pointer);

// Installs another registry as the module's (tests route the whole system through small or
// failing heaps this way) and returns the one it replaced.
HeapRegistry* swapHeapRegistry(HeapRegistry* replacement);

// The category form of operator new, with which engine objects are created. Null on failure; the
// constructor is then not run.
void* operator new(std::size_t size, HeapCategory category) noexcept;
void* operator new[](std::size_t size, HeapCategory category) noexcept;
// Matches the category form; runs only when a constructor of an object made with it throws.
void operator delete(void* pointer, HeapCategory category) noexcept;
void operator delete[](void* pointer, HeapCategory category) noexcept;
