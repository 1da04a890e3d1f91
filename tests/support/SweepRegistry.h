// A heap registry for allocation-failure sweeps through the whole system. Categories 0, 1, 10 and
// 15 (engine objects, operator new, pak archives, strings) are each served first by a small arena
// of one heap kind and, when it has no room, by the C runtime; every other category by the C
// runtime alone. One count spans every request of every category, whichever heap serves it, so a
// sweep can fail the n-th request of a road (once, or from then on) and afterwards check that
// every block, in the arenas and outside them, has come back.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "core/memory/Heap.h"
#include "core/memory/HeapRegistry.h"

// One request as the sweep saw it: the category and size asked for.
struct SweepRequest {
    std::uint32_t category;
    std::uint32_t size;
};

// What every gate of one registry shares: the count of requests, the failure to inject, and the
// first requests seen (fixed storage: recording must not allocate).
struct SweepCounter {
    std::atomic<std::int64_t> requests{0};
    std::atomic<std::int64_t> failAt{-1};
    std::atomic<bool> failOnwards{false};
    std::atomic<std::int64_t> failures{0};
    // Requests an arena served (the rest went to the C runtime).
    std::atomic<std::int64_t> arenaServed{0};
    static constexpr std::size_t logged = 256;
    SweepRequest log[logged] = {};
};

class SweepRegistry {
public:
    // The categories that get an arena of their own.
    static constexpr std::uint32_t arenaCategories[4] = {0, 1, 10, 15};

    // Builds the registry with arenas of the given kind (none for HeapKind::Platform) and installs
    // it as the module's.
    explicit SweepRegistry(HeapKind arenaKind);
    // Puts the previous registry back. The block is freed only when nothing is outstanding; a
    // block still out would otherwise point into freed memory.
    ~SweepRegistry();
    SweepRegistry(const SweepRegistry&) = delete;
    SweepRegistry& operator=(const SweepRegistry&) = delete;

    // Fails request n (0-based) of this registry, and with onwards every later one too.
    void failAt(std::int64_t n, bool onwards);
    std::int64_t requests() const { return counter.requests.load(); }
    std::int64_t failures() const { return counter.failures.load(); }
    const SweepCounter& seen() const { return counter; }
    // Blocks handed out and not yet released, over the arenas and the C runtime heap.
    std::size_t outstanding();
    // Whether the arenas' own books show nothing in use (usage() 0). The mspace kind is left out:
    // its usage counts failed requests too.
    bool arenasAtRest() const;
    // Whether the registry was built (false only when the C runtime had no memory for it).
    bool built() const { return registry != nullptr; }
    // The arena of a category (null without arenas), for checks of its own bookkeeping.
    Heap* arena(std::uint32_t category) const;

private:
    SweepCounter counter;
    HeapRegistry* registry;
    HeapRegistry* previous;
    std::uint32_t arenaCount;
};
