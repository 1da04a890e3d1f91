// Heap: the abstract base of every heap kind the registry can build. A heap owns an address range
// (its arena, or everything for the platform heap), a short name and a lock; the registry asks it
// for memory by category route and hands releases back to it by address.
#pragma once

#include <cstdint>

#include "core/thread/Lock.h"

// Rounds value up to a multiple of alignment, a power of two. Alignments 0 and 1 leave the value
// unchanged.
std::uintptr_t alignUp(std::uintptr_t value, std::uintptr_t alignment);

// Whether value is a power of two (0 is not): the masks of alignUp and of the heaps round only
// for those.
bool isPowerOfTwo(std::uint64_t value);

// Whether every block of blockSize bytes laid end to end from a suitably aligned arena start lies
// at a multiple of alignment: alignment (0 taken as 1) is a power of two that divides blockSize.
// The block kinds hand out base + k * blockSize, so an alignment that merely does not exceed the
// block size (24-byte blocks asked for 16) would give misaligned memory.
bool blockAlignmentFits(std::uint32_t alignment, std::uint32_t blockSize);

constexpr std::uint32_t heapNameLength = 7;

class Heap {
public:
    // The name is cut to its first seven characters; the lock is named after the stored name.
    Heap(std::uintptr_t base, std::uintptr_t size, const char* name);

    Heap(const Heap&) = delete;
    Heap& operator=(const Heap&) = delete;

    // Slot 1. Destroys the lock. Heaps live in the registry's block and are destroyed only when a
    // registry built for a test is dismantled.
    virtual ~Heap();
    // Slot 2. A block of at least size bytes at a multiple of alignment (a power of two), or null.
    virtual void* allocate(std::uint32_t size, std::uint32_t alignment) = 0;
    // Slot 3. Gives back a block this heap handed out.
    virtual void release(void* pointer) = 0;
    // Slot 4. Amount in use; the unit is the kind's (live allocations for the platform heap).
    virtual std::uint32_t usage() const = 0;
    // Slot 5. How many bytes pointer's block holds; 0 from the kinds that keep no sizes.
    virtual std::uint32_t allocationSize(void* pointer) const = 0;

    // base <= pointer < base + size, compared unsigned.
    bool contains(const void* pointer) const;

    std::uintptr_t base;
    std::uintptr_t size;
    char name[heapNameLength + 1];
    // Mutable: the const queries of the arena kinds read their bookkeeping under it.
    mutable Lock lock;
};
