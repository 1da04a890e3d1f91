// The benchmark of the heap kinds: nanoseconds per allocate-and-release pair of each kind, built by
// the registry from the module's own kind table, with few and with many blocks already in use.
// Figures, not a test: what they must show is that the block pool costs the same however full it
// is (its free list makes both calls constant time), that the run map's cost grows with the number
// of runs it has to skip, and what the heaps' locks add to the C runtime's malloc.
//   tools/wine-run.sh <build>/bin/heap_bench.exe [pairs]
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>

#include "core/memory/HeapRegistry.h"
#include "tools/bench/BenchClock.h"

namespace {

double nowNs() { return benchSeconds() * 1e9; }

struct Case {
    const char* what;
    HeapConfigEntry entry;
    std::uint32_t size;
};

// One heap of the case's kind on category 0, the platform heap behind it on every category.
double nanosecondsPerPair(const Case& c, std::uint32_t held, std::uint32_t pairs) {
    const HeapConfigEntry entries[] = {c.entry, {0, 0, 0}};
    CategoryRoute routes[heapCategoryCount];
    for (std::uint32_t k = 0; k < heapCategoryCount; ++k) {
        routes[k] = {k, k == 0 ? 0u : 1u, k == 0 ? 0u : 1u};
    }
    HeapRegistry* registry = HeapRegistry::build({2, entries}, routes, defaultHeapKinds());
    if (registry == nullptr) {
        return -1.0;
    }
    // Blocks kept out during the timing, so that the heap works with that many in use (for the
    // run map, that many runs in front of the free space).
    static void* kept[20000];
    std::uint32_t keptCount = 0;
    for (; keptCount < held; ++keptCount) {
        kept[keptCount] = registry->allocate(c.size, 1, 0);
        if (kept[keptCount] == nullptr) {
            break;
        }
    }
    std::uint32_t refused = 0;
    const double start = nowNs();
    for (std::uint32_t i = 0; i < pairs; ++i) {
        void* block = registry->allocate(c.size, 1, 0);
        refused += block == nullptr ? 1 : 0;
        registry->release(block);
    }
    const double elapsed = nowNs() - start;
    for (std::uint32_t i = 0; i < keptCount; ++i) {
        registry->release(kept[i]);
    }
    HeapRegistry::dismantle(registry);
    // The greedy arena never resets while blocks are held, so it runs dry: no figure then.
    return keptCount == held && refused == 0 ? elapsed / pairs : -1.0;
}

} // namespace

int main(int argc, char** argv) {
    const std::uint32_t pairs = argc > 1 ? static_cast<std::uint32_t>(std::atoi(argv[1])) : 200000;
    const Case cases[] = {
        {"platform heap (malloc)", {0, 0, 0}, 48},
        {"block heap, 64-byte blocks", {1, 64, 20000}, 48},
        {"multi-block heap, 16-byte blocks", {2, 16, 32767}, 48},
        {"greedy heap", {3, 4u << 20, 0}, 48},
        {"mspace heap", {4, 4u << 20, 0}, 48},
    };
    std::printf("%-36s %14s %14s %14s\n", "ns per allocate + release", "0 in use", "1000 in use", "10000 in use");
    for (const Case& c : cases) {
        std::printf("%-36s", c.what);
        for (std::uint32_t held : {0u, 1000u, 10000u}) {
            const double ns = nanosecondsPerPair(c, held, pairs);
            if (ns < 0) {
                std::printf(" %14s", "n/a");
            } else {
                std::printf(" %14.1f", ns);
            }
        }
        std::printf("\n");
    }
    return 0;
}
