// RegistrySwap: installs another heap registry as the module's for one scope and puts the previous
// one back at its end, so that a failing assertion cannot leave a test's registry installed.
#pragma once

#include "core/memory/HeapRegistry.h"

class RegistrySwap {
public:
    explicit RegistrySwap(HeapRegistry* replacement) : previous(swapHeapRegistry(replacement)), restored(false) {}
    ~RegistrySwap() { restore(); }
    RegistrySwap(const RegistrySwap&) = delete;
    RegistrySwap& operator=(const RegistrySwap&) = delete;

    // The registry that was installed before.
    HeapRegistry* replaced() const { return previous; }
    // Puts the previous registry back now; answers the one it took out (null when done already).
    HeapRegistry* restore() {
        if (restored) {
            return nullptr;
        }
        restored = true;
        return swapHeapRegistry(previous);
    }

private:
    HeapRegistry* previous;
    bool restored;
};
