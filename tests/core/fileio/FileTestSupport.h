// Helpers of the file layer's tests: a temporary folder of real files under wine, and a heap
// registry whose engine, array and string categories go to a heap that can be told to fail.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "core/memory/HeapRegistry.h"
#include "core/memory/PlatformHeap.h"

namespace filetest {

// A fresh folder under the temporary directory, removed with everything in it at destruction.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The folder with '/' separators and no trailing separator.
    const std::string& path() const { return root; }
    std::string file(const std::string& name) const { return root + "/" + name; }
    // Writes (or replaces) a file with the given bytes; false when it cannot be written.
    bool write(const std::string& name, const std::string& bytes) const;
    bool makeFolder(const std::string& name) const;
    // The whole content of a file, or "<missing>".
    std::string read(const std::string& name) const;

private:
    std::string root;
};

// A platform heap that fails every allocation from a chosen one on and keeps count of the blocks
// it handed out and got back (it claims every address, so it sees every release).
class FaultHeap : public PlatformHeap {
public:
    explicit FaultHeap(const char* name) : PlatformHeap(name) {}
    void* allocate(std::uint32_t size, std::uint32_t alignment) override;
    void release(void* pointer) override;

    std::atomic<std::int64_t> failFrom{-1}; // allocation number (0-based) from which all fail
    std::atomic<std::int64_t> failSize{-1}; // requests of exactly this size fail
    std::atomic<std::int64_t> requests{0};
    std::atomic<std::int64_t> failures{0};
    std::atomic<std::int64_t> faultLive{0}; // blocks of the faulty categories not yet released

private:
    static constexpr int tracked = 4096;
    std::atomic<void*> blocks[tracked] = {};
};

// Installs a registry in which categories 0, 5, 10 and 15 (engine objects, the arrays of the
// tests, archives, strings) are served by a FaultHeap and everything else by a plain platform
// heap; the previous registry is put back at destruction.
class FaultRegistry {
public:
    FaultRegistry();
    ~FaultRegistry();
    FaultRegistry(const FaultRegistry&) = delete;
    FaultRegistry& operator=(const FaultRegistry&) = delete;

    FaultHeap& heap();
    // Fails every faulty-category allocation from the n-th (0-based) of them on; -1 for none.
    void failFrom(std::int64_t n);

private:
    HeapRegistry* registry;
    HeapRegistry* previous;
};

} // namespace filetest
