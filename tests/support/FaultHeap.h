// The one fault registry of the tests: chosen categories go through a gate that counts their
// requests and fails the chosen one (once, from then on, or by size), optionally with a small arena
// of one heap kind in front of the C runtime; the other categories go to a plain C runtime heap.
// Unit tests fail one category's requests; the system sweeps fail every request of a whole road
// and then check that every block, in the arenas and outside them, has come back.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "core/memory/Heap.h"
#include "core/memory/HeapRegistry.h"
#include "core/memory/PlatformHeap.h"

// One request as the fault heap saw it: the category and size asked for.
struct FaultRequest {
    std::uint32_t category;
    std::uint32_t size;
};

// The counts and failures of the faulty categories, and the C runtime heap behind their gates.
class FaultHeap : public PlatformHeap {
public:
    explicit FaultHeap(const char* name) : PlatformHeap(name) {}
    // As a gate uses it: counts the request and fails it when chosen, else serves it.
    void* allocate(std::uint32_t size, std::uint32_t alignment) override;
    void release(void* pointer) override;
    // Counts one request of category and answers whether it is to fail.
    bool failsNext(std::uint32_t category, std::uint32_t size);
    // A block from the C runtime, kept in the books of blocks out.
    void* serve(std::uint32_t size, std::uint32_t alignment);

    // The request (0-based, counted by requests) that fails, -1 for none; with failOnwards every
    // later request fails too.
    std::atomic<std::int64_t> failAt{-1};
    std::atomic<bool> failOnwards{false};
    // Requests of exactly this size fail; -1 for none.
    std::atomic<std::int64_t> failSize{-1};
    std::atomic<std::int64_t> requests{0};
    std::atomic<std::int64_t> failures{0};
    // Requests an arena served (the rest went to the C runtime).
    std::atomic<std::int64_t> arenaServed{0};
    // The first requests, in order (fixed storage: recording must not allocate).
    static constexpr std::size_t logged = 256;
    FaultRequest log[logged] = {};
    // Blocks this heap handed out and has not had back.
    std::size_t outstanding();

private:
    // Fixed storage: the heap may serve operator new itself, so keeping count must not allocate.
    static constexpr std::size_t tracked = 4096;
    std::mutex guard;
    void* live[tracked] = {};
};

// Installs the registry as the module's; the previous registry is put back at destruction. The
// fault heap claims every address, so it sees every release.
class FaultRegistry {
public:
    static constexpr std::uint32_t allCategories = 0xFFFFu;
    // The faulty categories that get an arena when one is asked for: engine objects, operator
    // new, pak archives, strings.
    static constexpr std::uint32_t arenaCategories[4] = {0, 1, 10, 15};

    // arenaKind HeapKind::Platform: no arenas, the C runtime alone.
    explicit FaultRegistry(std::uint32_t faultyCategories = allCategories, HeapKind arenaKind = HeapKind::Platform);
    // The registry's block is freed unless an arena still has blocks out (they would point into
    // freed memory); blocks of the C runtime stay valid without it.
    ~FaultRegistry();
    FaultRegistry(const FaultRegistry&) = delete;
    FaultRegistry& operator=(const FaultRegistry&) = delete;

    FaultHeap& heap();
    // Fails request n (0-based) of the faulty categories, and with onwards every later one too.
    void failAt(std::int64_t n, bool onwards);
    // The same from the n-th on; -1 for none.
    void failFrom(std::int64_t n) { failAt(n, true); }
    // Blocks of the faulty categories handed out and not yet released, arenas included.
    std::size_t outstanding();
    // Whether the arenas' own books show nothing in use (usage() 0). The mspace kind is left out:
    // its usage counts failed requests too.
    bool arenasAtRest() const;
    // Whether the registry was built (false only when the C runtime had no memory for it).
    bool built() const { return registry != nullptr; }

private:
    std::size_t arenaBlocksOut() const;

    HeapRegistry* registry;
    HeapRegistry* previous;
    std::uint32_t arenaCount;
    std::uint32_t faultHeapIndex;
};
