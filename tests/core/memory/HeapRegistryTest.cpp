// The heap registry: one-block layout, arena alignment, naming, routing, release by address,
// the module's registry and its teardown, and operator new through it.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "core/memory/BlockHeap.h"
#include "core/memory/GreedyHeap.h"
#include "core/memory/HeapRegistry.h"
#include "core/memory/MspaceHeap.h"
#include "core/memory/MultiBlockHeap.h"
#include "core/memory/PlatformHeap.h"
#include "support/RegistrySwap.h"
#include "support/Threads.h"

namespace {

// An ordinary static object: the registry must already exist when it is built.
struct EarlyStatic {
    bool sawRegistry = heapRegistryExists();
};
EarlyStatic earlyStatic;

// Stands in for the arena kinds: hands out the arena the registry gave it front to back and counts
// what it was asked.
class StandInHeap : public Heap {
public:
    StandInHeap(const HeapArena& arena, const char* heapName)
        : Heap(arena.start, arena.bytes, heapName), cursor(arena.start) {}

    void* allocate(std::uint32_t bytes, std::uint32_t alignment) override {
        ++requests;
        lastAlignment = alignment;
        if (bytes > base + size - cursor) {
            return nullptr;
        }
        void* p = reinterpret_cast<void*>(cursor);
        cursor += bytes;
        return p;
    }
    void release(void*) override { ++releases; }
    std::uint32_t usage() const override { return requests - releases; }
    std::uint32_t allocationSize(void*) const override { return 0; }

    std::uintptr_t cursor;
    std::uint32_t requests = 0;
    std::uint32_t releases = 0;
    std::uint32_t lastAlignment = 0;
};

Heap* constructStandIn(void* at, const HeapArena& arena, const HeapConfigEntry&, const char* heapName) {
    return new (at) StandInHeap(arena, heapName);
}

const HeapKindTable standInKinds = {{
    defaultHeapKinds().kinds[0],
    {sizeof(StandInHeap), constructStandIn},
    {sizeof(StandInHeap), constructStandIn},
    {sizeof(StandInHeap), constructStandIn},
    {sizeof(StandInHeap), constructStandIn},
}};

struct Routes {
    CategoryRoute entries[heapCategoryCount];
    explicit Routes(std::uint32_t first = 0, std::uint32_t last = 0) {
        for (std::uint32_t c = 0; c < heapCategoryCount; ++c) {
            entries[c] = {c, first, last};
        }
    }
};

StandInHeap& standIn(HeapRegistry* registry, std::uint32_t number) {
    return *static_cast<StandInHeap*>(registry->heap(number));
}

TEST(HeapRegistry, RoutesCategoriesInOrderAndReleasesByAddress) {
    const HeapConfigEntry entries[] = {{3, 64, 0}, {3, 64, 0}, {0, 0, 0}};
    const HeapConfig config = {3, entries};
    Routes routes(2, 2);
    routes.entries[5] = {5, 0, 2};  // greedy first, then the second, then malloc
    routes.entries[6] = {6, 1, 1};
    HeapRegistry* registry = HeapRegistry::build(config, routes.entries, standInKinds);
    ASSERT_NE(registry, nullptr);
    StandInHeap& first = standIn(registry, 0);
    StandInHeap& second = standIn(registry, 1);

    EXPECT_EQ(registry->allocate(0, 1, 5), nullptr); // size 0 asks no heap
    EXPECT_EQ(first.requests, 0u);
    EXPECT_EQ(registry->allocate(8, 1, 16), nullptr); // no such category

    void* a = registry->allocate(60, 1, 5);
    EXPECT_TRUE(first.contains(a));
    void* b = registry->allocate(60, 1, 5); // first is full: the next in the range serves
    EXPECT_TRUE(second.contains(b));
    void* c = registry->allocate(60, 1, 5); // both full: the platform heap
    ASSERT_NE(c, nullptr);
    EXPECT_FALSE(first.contains(c) || second.contains(c));
    EXPECT_EQ(registry->allocate(8, 1, 6), nullptr); // category 6 is served by the full heap only
    void* d = registry->allocate(8, 1, 0);
    ASSERT_NE(d, nullptr);

    registry->release(b);
    EXPECT_EQ(second.releases, 1u);
    EXPECT_EQ(first.releases, 0u);
    registry->release(a);
    EXPECT_EQ(first.releases, 1u);
    PlatformHeap& platformHeap = *static_cast<PlatformHeap*>(registry->heap(2));
    registry->release(c);
    registry->release(d);
    registry->release(nullptr);
    EXPECT_EQ(platformHeap.usage(), 0u);
    HeapRegistry::dismantle(registry);
}

TEST(HeapRegistry, RefusesConfigurationsItCannotBuild) {
    const HeapConfigEntry unknownKind[] = {{7, 0, 0}};
    const HeapConfigEntry platformOnly[] = {{0, 0, 0}};
    Routes routes;
    EXPECT_EQ(HeapRegistry::build({1, unknownKind}, routes.entries, standInKinds), nullptr);
    EXPECT_EQ(HeapRegistry::build({0, platformOnly}, routes.entries, standInKinds), nullptr);
    Routes pastTheTable(0, 1);
    EXPECT_EQ(HeapRegistry::build({1, platformOnly}, pastTheTable.entries, standInKinds), nullptr);
    Routes backwards;
    backwards.entries[3] = {3, 1, 0};
    const HeapConfigEntry two[] = {{0, 0, 0}, {0, 0, 0}};
    EXPECT_EQ(HeapRegistry::build({2, two}, backwards.entries, standInKinds), nullptr);

    // Entries the arena kinds can and cannot serve soundly.
    const struct {
        HeapConfigEntry entry;
        bool builds;
    } entries[] = {
        {{1, sizeof(void*) - 1, 4}, false}, // a free block cannot hold the link to the next
        {{2, sizeof(void*) - 1, 4}, true},  // the run map keeps nothing in the blocks
        {{2, 1, 4}, true},
        {{2, 0, 4}, false},                 // the run map divides by the block size
        {{2, 16, 0}, false},                // the run map needs an entry
        {{2, 16, 0x8000}, false},           // run lengths have 15 bits
        {{2, sizeof(void*), 0x7FFF}, true},
        {{1, 0x10000, 0x10000}, false},     // 4 GiB arena
        {{2, 0xFFFFFFF0u, 2}, false},
    };
    for (const auto& e : entries) {
        HeapRegistry* registry = HeapRegistry::build({1, &e.entry}, routes.entries, defaultHeapKinds());
        EXPECT_EQ(registry != nullptr, e.builds) << e.entry.kind << " " << e.entry.param1 << " " << e.entry.param2;
        if (registry != nullptr && e.entry.param1 == 1) {
            // Three one-byte blocks for three bytes, and they come back.
            void* p = registry->allocate(3, 1, 0);
            ASSERT_NE(p, nullptr);
            EXPECT_EQ(registry->heap(0)->allocationSize(p), 3u);
            registry->release(p);
            EXPECT_EQ(registry->heap(0)->usage(), 0u);
        }
        HeapRegistry::dismantle(registry);
    }
}

TEST(HeapRegistry, ModuleRegistryHasOnePlatformHeapForAllCategories) {
    EXPECT_TRUE(earlyStatic.sawRegistry) << "the registry is built before other static objects";
    HeapRegistry* registry = getHeapRegistry();
    ASSERT_NE(registry, nullptr);
    ASSERT_EQ(registry->heapCount(), 1u);
    EXPECT_STREQ(registry->heap(0)->name, "PltMl00");
    EXPECT_NE(dynamic_cast<PlatformHeap*>(registry->heap(0)), nullptr);
    for (std::uint32_t c = 0; c < heapCategoryCount; ++c) {
        void* p = registry->allocate(24, 1, c);
        ASSERT_NE(p, nullptr) << "category " << c;
        EXPECT_NE(static_cast<void**>(p)[-1], nullptr); // malloc's address precedes the block
        registry->release(p);
    }
}

TEST(HeapRegistry, AfterTeardownReleasesDoNothingAndAllocationBuildsAFreshRegistry) {
    HeapRegistry* original = getHeapRegistry();
    ASSERT_NE(original, nullptr);
    PlatformHeap& heap = *static_cast<PlatformHeap*>(original->heap(0));
    void* kept = heapAllocate(16, 1, HeapCategory::Engine);
    ASSERT_NE(kept, nullptr);

    // What the exit-list teardown does: forget the registry.
    RegistrySwap teardown(nullptr);
    EXPECT_EQ(teardown.replaced(), original);
    EXPECT_FALSE(heapRegistryExists());
    const std::uint32_t releasesBefore = heap.releaseCount.load();
    heapRelease(kept);
    EXPECT_EQ(heap.releaseCount.load(), releasesBefore);

    void* fresh = heapAllocate(16, 1, HeapCategory::Engine);
    ASSERT_NE(fresh, nullptr);
    HeapRegistry* rebuilt = teardown.restore();
    EXPECT_NE(rebuilt, original);
    rebuilt->release(fresh);
    HeapRegistry::dismantle(rebuilt);
    heapRelease(kept);
    EXPECT_EQ(heap.releaseCount.load(), releasesBefore + 1);
}

// Fails every request: the whole module then sees allocation failure.
class EmptyHeap : public Heap {
public:
    explicit EmptyHeap(const char* heapName) : Heap(0, 0, heapName) {}
    void* allocate(std::uint32_t, std::uint32_t) override {
        ++requests;
        return nullptr;
    }
    void release(void*) override {}
    std::uint32_t usage() const override { return 0; }
    std::uint32_t allocationSize(void*) const override { return 0; }
    std::uint32_t requests = 0;
};

Heap* constructEmpty(void* at, const HeapArena&, const HeapConfigEntry&, const char* heapName) {
    return new (at) EmptyHeap(heapName);
}

TEST(HeapRegistry, OperatorNewAnswersNullWhenNoHeapServes) {
    const HeapKindTable kinds = {{{sizeof(EmptyHeap), constructEmpty}, {0, nullptr}, {0, nullptr}, {0, nullptr}, {0, nullptr}}};
    const HeapConfigEntry entries[] = {{0, 0, 0}};
    Routes routes;
    HeapRegistry* failing = HeapRegistry::build({1, entries}, routes.entries, kinds);
    ASSERT_NE(failing, nullptr);
    RegistrySwap swap(failing);
    // The allocation functions themselves: a plain new-expression on a null answer is left to the
    // compiler's null check (-fcheck-new in the DLL's build), which not every compiler offers.
    void* global = ::operator new(sizeof(int));
    void* array = ::operator new[](4 * sizeof(int));
    struct Engine {
        int value = 7;
    };
    Engine* engine = new (HeapCategory::Engine) Engine;
    void* huge = ::operator new(std::size_t{0xFFFFFFFFu}, HeapCategory::Engine);
    swap.restore();
    EXPECT_EQ(global, nullptr);
    EXPECT_EQ(array, nullptr);
    EXPECT_EQ(engine, nullptr);
    EXPECT_EQ(huge, nullptr);
    EXPECT_EQ(static_cast<EmptyHeap*>(failing->heap(0))->requests, 4u);
    HeapRegistry::dismantle(failing);
}

TEST(HeapRegistry, OperatorNewUsesCategoryOneAndTheCategoryFormItsOwn) {
    const HeapConfigEntry entries[] = {{3, 256, 0}, {3, 256, 0}, {0, 0, 0}};
    Routes routes(2, 2);
    routes.entries[1] = {1, 0, 0};
    routes.entries[10] = {10, 1, 1};
    HeapRegistry* registry = HeapRegistry::build({3, entries}, routes.entries, standInKinds);
    ASSERT_NE(registry, nullptr);
    RegistrySwap swap(registry);
    int* global = new int(1);
    double* pak = new (HeapCategory::PakArchive) double(2.0);
    char* other = new (HeapCategory::String) char[3];
    swap.restore();
    // new asks any heap for the alignment that 64-bit code assumes, not only the platform heap.
    const std::uint32_t newAlignment = sizeof(void*) == 8 ? 16 : 1;
    EXPECT_EQ(standIn(registry, 0).lastAlignment, newAlignment);
    EXPECT_EQ(standIn(registry, 1).lastAlignment, newAlignment);
    EXPECT_TRUE(registry->heap(0)->contains(global));
    EXPECT_TRUE(registry->heap(1)->contains(pak));
    EXPECT_FALSE(registry->heap(0)->contains(other) || registry->heap(1)->contains(other));
    registry->release(other);
    HeapRegistry::dismantle(registry);
}

TEST(HeapRegistry, EveryBlockOfTheModuleAndOfNewHasTheWidthsAlignment) {
    // 64-bit code takes 16-byte alignment for granted from every allocator; the 32-bit module
    // promises none.
    const std::uintptr_t wanted = sizeof(void*) == 8 ? 16 : 1;
    for (std::uint32_t size : {1u, 7u, 8u, 24u, 100u, 4097u}) {
        for (std::uint32_t c = 0; c < heapCategoryCount; ++c) {
            void* block = heapAllocate(size, 1, static_cast<HeapCategory>(c));
            ASSERT_NE(block, nullptr);
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % wanted, 0u) << "category " << c << ", size " << size;
            heapRelease(block);
        }
        char* array = new char[size];
        char* engine = new (HeapCategory::Engine) char[size];
        void* plain = ::operator new(size, std::nothrow);
        ASSERT_TRUE(array != nullptr && engine != nullptr && plain != nullptr);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(array) % wanted, 0u) << "new[], size " << size;
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(engine) % wanted, 0u) << "category new, size " << size;
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(plain) % wanted, 0u) << "nothrow new, size " << size;
        delete[] array;
        delete[] engine;
        ::operator delete(plain);
    }
}

// The block's layout over the real kinds: header, heap table, the objects in heap order, then
// each arena at its kind's alignment; and the names counted per kind, carrying into the sixth
// character, from the templates again in every registry.
TEST(HeapRegistry, LaysOutEveryKindInOneBlockAndNamesItsHeaps) {
    HeapConfigEntry entries[19] = {
        {1, 64, 3}, {2, 32, 5}, {3, 200, 0}, {4, 4096, 0}, {1, 24, 2}, {2, 16, 4}, {3, 64, 0}, {4, 8192, 0}, {0, 0, 0},
        {4, 4096, 0},
    };
    for (std::uint32_t i = 10; i < 19; ++i) {
        entries[i] = {1, 16, 1};
    }
    // {name, arena alignment, arena bytes}
    const struct {
        const char* name;
        std::uintptr_t alignment;
        std::uintptr_t bytes;
    } expected[] = {
        {"Blokl00", 64, 192},  {"MltBl00", 32, 170},  {"Greed00", 128, 200}, {"Dlmaloc", 128, 4096},
        {"Blokl01", 8, 48},    {"MltBl01", 16, 72},   {"Greed01", 128, 64},  {"Dlmalp0", 128, 8192},
        {"PltMl00", 1, 0},     {"Dlmalp1", 128, 4096}, {"Blokl02", 16, 16},   {"Blokl03", 16, 16},
        {"Blokl04", 16, 16},   {"Blokl05", 16, 16},   {"Blokl06", 16, 16},   {"Blokl07", 16, 16},
        {"Blokl08", 16, 16},   {"Blokl09", 16, 16},   {"Blokl10", 16, 16},
    };
    Routes routes(8, 8);
    for (std::uint32_t c = 0; c < 8; ++c) {
        routes.entries[c] = {c, c, c};
    }
    for (int round = 0; round < 2; ++round) {
        HeapRegistry* registry = HeapRegistry::build({19, entries}, routes.entries, defaultHeapKinds());
        ASSERT_NE(registry, nullptr);
        EXPECT_NE(dynamic_cast<BlockHeap*>(registry->heap(4)), nullptr);
        EXPECT_NE(dynamic_cast<MultiBlockHeap*>(registry->heap(5)), nullptr);
        EXPECT_NE(dynamic_cast<GreedyHeap*>(registry->heap(6)), nullptr);
        EXPECT_NE(dynamic_cast<MspaceHeap*>(registry->heap(7)), nullptr);
        EXPECT_NE(dynamic_cast<PlatformHeap*>(registry->heap(8)), nullptr);
        EXPECT_EQ(registry->heap(18)->lock.name, registry->heap(18)->name);

        // Each category is served from its heap's arena and given back to it by address.
        for (std::uint32_t i = 0; i < 8; ++i) {
            const Heap& heap = *registry->heap(i);
            void* p = registry->allocate(16, 8, i);
            ASSERT_NE(p, nullptr) << heap.name;
            EXPECT_TRUE(heap.contains(p)) << heap.name;
            EXPECT_NE(heap.usage(), 0u) << heap.name;
            registry->release(p);
            EXPECT_EQ(heap.usage(), 0u) << heap.name;
        }

        const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(registry);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(registry->heapTable), start + sizeof(HeapRegistry));
        std::uintptr_t previousEnd = reinterpret_cast<std::uintptr_t>(registry->heapTable + 19);
        for (std::uint32_t i = 0; i < 19; ++i) {
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(registry->heap(i)), previousEnd) << "object " << i;
            previousEnd += alignUp(defaultHeapKinds().kinds[entries[i].kind].objectSize, alignof(void*));
        }
        for (std::uint32_t i = 0; i < 19; ++i) {
            const Heap& heap = *registry->heap(i);
            EXPECT_STREQ(heap.name, expected[i].name) << "round " << round;
            if (entries[i].kind == 0) {
                continue;
            }
            EXPECT_EQ(heap.base % expected[i].alignment, 0u) << heap.name;
            EXPECT_EQ(heap.size, expected[i].bytes) << heap.name;
            EXPECT_GE(heap.base, previousEnd) << heap.name << " overlaps what comes before it";
            previousEnd = heap.base + heap.size;
            // Every arena lies inside the block, end to end (the heaps are not used after this).
            std::memset(reinterpret_cast<void*>(heap.base), 0xA5, heap.size);
        }
        HeapRegistry::dismantle(registry);
    }
}

// Every locking kind shared by many threads: each thread allocates from all four, writes its own
// pattern, checks it before releasing, and afterwards every heap is empty again. Without a kind's
// lock two threads get the same memory, counters lose updates, or dlmalloc stops the process.
TEST(HeapRegistry, ArenaKindsKeepTheirBooksManyThreads) {
    const HeapConfigEntry entries[] = {{1, 64, 48}, {2, 32, 96}, {3, 2048, 0}, {4, 16384, 0}, {0, 0, 0}};
    Routes routes(4, 4);
    for (std::uint32_t c = 0; c < 4; ++c) {
        routes.entries[c] = {c, c, c};
    }
    HeapRegistry* registry = HeapRegistry::build({5, entries}, routes.entries, defaultHeapKinds());
    ASSERT_NE(registry, nullptr);

    constexpr int threadCount = 8;
    constexpr int rounds = sizeof(void*) == 8 ? 40000 : 10000;
    constexpr std::uint32_t sizes[4] = {64, 72, 40, 200};
    std::atomic<int> damaged{0};
    std::atomic<int> served[4] = {};
    runOnThreads(threadCount, [&](int t) {
        const unsigned char mark = static_cast<unsigned char>(0x10 + t);
        void* held[4][3] = {};
        auto checkAndRelease = [&](void* p, std::uint32_t c) {
            const unsigned char* bytes = static_cast<unsigned char*>(p);
            for (std::uint32_t b = 0; b < sizes[c]; ++b) {
                damaged += bytes[b] != mark ? 1 : 0;
            }
            registry->release(p);
        };
        for (int r = 0; r < rounds; ++r) {
            for (std::uint32_t c = 0; c < 4; ++c) {
                // The greedy arena only comes back when nothing is out, so its blocks go
                // back at once; the others are held for a while to keep the heaps busy.
                void*& slot = held[c][r % 3];
                if (slot != nullptr) {
                    checkAndRelease(slot, c);
                }
                slot = registry->allocate(sizes[c], 1, c);
                if (slot == nullptr) {
                    continue;
                }
                std::memset(slot, mark, sizes[c]);
                ++served[c];
                if (c == 2) {
                    checkAndRelease(slot, c);
                    slot = nullptr;
                }
            }
        }
        for (auto& perHeap : held) {
            for (void* p : perHeap) {
                registry->release(p);
            }
        }
    });
    EXPECT_EQ(damaged.load(), 0);
    for (std::uint32_t c = 0; c < 4; ++c) {
        EXPECT_GT(served[c].load(), 0) << registry->heap(c)->name;
    }
    EXPECT_EQ(registry->heap(0)->usage(), 0u);
    EXPECT_EQ(registry->heap(1)->usage(), 0u);
    EXPECT_EQ(registry->heap(2)->usage(), 0u);
    EXPECT_EQ(static_cast<GreedyHeap*>(registry->heap(2))->cursor, registry->heap(2)->base);
    EXPECT_EQ(static_cast<MspaceHeap*>(registry->heap(3))->releaseCount, static_cast<std::uint32_t>(served[3].load()));
    void* whole = registry->allocate(12000, 1, 3); // the mspace has everything back
    EXPECT_NE(whole, nullptr);
    registry->release(whole);
    HeapRegistry::dismantle(registry);
}

// Threads that all find no registry (as after the teardown at exit) get one and the same: a second
// one built beside it would leak, or be torn down under the thread using it.
TEST(HeapRegistry, ManyThreadsFindingNoRegistryBuildOne) {
    constexpr int threadCount = 8;
    for (int round = 0; round < 100; ++round) {
        HeapRegistry* seen[threadCount] = {};
        HeapRegistry* built = nullptr;
        {
            // Keeps the module's registry to put back; the threads are released once it is gone.
            RegistrySwap teardown(getHeapRegistry());
            runOnThreads(threadCount, [&](int t) { seen[t] = getHeapRegistry(); }, [] { swapHeapRegistry(nullptr); });
            built = teardown.restore();
        }
        ASSERT_NE(built, nullptr);
        for (HeapRegistry* registry : seen) {
            ASSERT_EQ(registry, built) << "round " << round;
        }
        HeapRegistry::dismantle(built);
    }
}

TEST(HeapRegistry, AlignUpRoundsToPowersOfTwo) {
    EXPECT_EQ(alignUp(13, 0), 13u);
    EXPECT_EQ(alignUp(13, 1), 13u);
    EXPECT_EQ(alignUp(13, 4), 16u);
    EXPECT_EQ(alignUp(128, 128), 128u);
    EXPECT_EQ(alignUp(129, 128), 256u);
}

} // namespace
