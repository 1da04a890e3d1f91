// A heap that fails chosen allocations, and a registry that routes chosen categories to it, so
// that tests drive allocation failure through the whole system and then check that nothing is
// left outstanding.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "core/memory/HeapRegistry.h"
#include "core/memory/PlatformHeap.h"

class FaultHeap : public PlatformHeap {
public:
    explicit FaultHeap(const char* name) : PlatformHeap(name) {}
    void* allocate(std::uint32_t size, std::uint32_t alignment) override;
    void release(void* pointer) override;

    // The request (0-based, counted by requests) that fails, -1 for none; with failOnwards every
    // later request fails too.
    std::atomic<std::int64_t> failAt{-1};
    std::atomic<bool> failOnwards{false};
    // Requests of exactly this size fail; -1 for none.
    std::atomic<std::int64_t> failSize{-1};
    std::atomic<std::int64_t> requests{0};
    std::atomic<std::int64_t> failures{0};
    // Blocks this heap handed out and has not had back.
    std::size_t outstanding();

private:
    // Fixed storage: the heap may serve operator new itself, so keeping count must not allocate.
    static constexpr std::size_t tracked = 4096;
    std::mutex guard;
    void* live[tracked] = {};
};

// Installs a registry in which the categories whose bits are set in faultyCategories go to a
// FaultHeap and the others to a plain platform heap; the previous registry is put back at
// destruction. The fault heap claims every address, so it sees every release.
class FaultRegistry {
public:
    static constexpr std::uint32_t allCategories = 0xFFFFu;

    explicit FaultRegistry(std::uint32_t faultyCategories = allCategories);
    ~FaultRegistry();
    FaultRegistry(const FaultRegistry&) = delete;
    FaultRegistry& operator=(const FaultRegistry&) = delete;

    FaultHeap& heap();
    // Fails every request of the faulty categories from the n-th (0-based) on; -1 for none.
    void failFrom(std::int64_t n);

private:
    HeapRegistry* registry;
    HeapRegistry* previous;
};
