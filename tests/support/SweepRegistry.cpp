// The sweep registry: small arenas of one kind in front of the C runtime, behind a gate per
// category that counts every request and fails the chosen one.
#include "support/SweepRegistry.h"

#include <new>

#include "core/memory/BlockHeap.h"
#include "core/memory/GreedyHeap.h"
#include "core/memory/MspaceHeap.h"
#include "core/memory/MultiBlockHeap.h"
#include "support/FaultHeap.h"

namespace {

// The count of blocks out of an arena, whatever unit its kind's usage() has.
struct LiveBlocks {
    std::atomic<std::int64_t> live{0};
};

template <class Kind>
class Counted : public Kind, public LiveBlocks {
public:
    using Kind::Kind;
    void* allocate(std::uint32_t size, std::uint32_t alignment) override {
        void* block = Kind::allocate(size, alignment);
        if (block != nullptr) {
            ++live;
        }
        return block;
    }
    void release(void* pointer) override {
        --live;
        Kind::release(pointer);
    }
};

// The only heap of a category's route. It claims no address; it counts the request, fails it when
// the sweep says so, and otherwise asks the category's arena and then the C runtime heap. The
// registry's own fall-through is not used because it would count an arena's refusal and the C
// runtime's answer as two requests.
class SweepGate : public Heap {
public:
    SweepGate(std::uint32_t gateCategory, const char* name) : Heap(0, 0, name), category(gateCategory) {}
    void* allocate(std::uint32_t size, std::uint32_t alignment) override {
        const std::int64_t n = counter->requests++;
        if (static_cast<std::size_t>(n) < SweepCounter::logged) {
            counter->log[n] = {category, size};
        }
        const std::int64_t at = counter->failAt.load();
        if (at >= 0 && (n == at || (counter->failOnwards.load() && n > at))) {
            ++counter->failures;
            return nullptr;
        }
        void* block = arena != nullptr ? arena->allocate(size, alignment) : nullptr;
        if (block != nullptr) {
            ++counter->arenaServed;
            return block;
        }
        return fallback->allocate(size, alignment);
    }
    void release(void*) override {}
    std::uint32_t usage() const override { return 0; }
    std::uint32_t allocationSize(void*) const override { return 0; }

    std::uint32_t category;
    SweepCounter* counter = nullptr;
    Heap* arena = nullptr;
    Heap* fallback = nullptr;
};

// Kind 0 builds both heaps without an arena: param1 0 the C runtime heap (a FaultHeap that never
// fails, for its count of blocks out), 1 a gate for category param2.
Heap* constructKindZero(void* at, const HeapArena&, const HeapConfigEntry& entry, const char* name) {
    if (entry.param1 == 0) {
        return new (at) FaultHeap(name);
    }
    return new (at) SweepGate(entry.param2, name);
}

template <class Kind>
Heap* constructBlocks(void* at, const HeapArena& arena, const HeapConfigEntry& entry, const char* name) {
    return new (at) Counted<Kind>(arena, entry.param1, entry.param2, name);
}

Heap* constructGreedy(void* at, const HeapArena& arena, const HeapConfigEntry&, const char* name) {
    return new (at) Counted<GreedyHeap>(arena, 4, name);
}

Heap* constructMspace(void* at, const HeapArena& arena, const HeapConfigEntry&, const char* name) {
    return new (at) Counted<MspaceHeap>(arena, name);
}

constexpr std::uint32_t kindZeroSize = sizeof(FaultHeap) > sizeof(SweepGate) ? sizeof(FaultHeap) : sizeof(SweepGate);

const HeapKindTable sweepKinds = {{
    {kindZeroSize, constructKindZero},
    {sizeof(Counted<BlockHeap>), constructBlocks<BlockHeap>},
    {sizeof(Counted<MultiBlockHeap>), constructBlocks<MultiBlockHeap>},
    {sizeof(Counted<GreedyHeap>), constructGreedy},
    {sizeof(Counted<MspaceHeap>), constructMspace},
}};

// A few hundred bytes per arena: the small objects of a road fit, the buffers do not. Blocks are
// 16-byte multiples, which 64-bit operator new asks for. dlmalloc needs more room for its own
// bookkeeping, twice as much with 64-bit words.
HeapConfigEntry arenaEntry(HeapKind kind) {
    const std::uint32_t k = static_cast<std::uint32_t>(kind);
    switch (kind) {
    case HeapKind::Block:
        return {k, 64, 6};
    case HeapKind::MultiBlock:
        return {k, 16, 24};
    case HeapKind::Greedy:
        return {k, 384, 0};
    case HeapKind::Mspace:
        return {k, sizeof(void*) == 4 ? 1024u : 2048u, 0};
    case HeapKind::Platform:
        break;
    }
    return {0, 0, 0};
}

} // namespace

constexpr std::uint32_t SweepRegistry::arenaCategories[4];

SweepRegistry::SweepRegistry(HeapKind arenaKind)
    : registry(nullptr), previous(nullptr), arenaCount(arenaKind == HeapKind::Platform ? 0 : 4) {
    // Heaps: the arenas, a gate per category, the C runtime heap last (it claims every address, so
    // releases find the arenas first).
    HeapConfigEntry entries[4 + heapCategoryCount + 1];
    std::uint32_t count = 0;
    for (std::uint32_t i = 0; i < arenaCount; ++i) {
        entries[count++] = arenaEntry(arenaKind);
    }
    const std::uint32_t firstGate = count;
    for (std::uint32_t c = 0; c < heapCategoryCount; ++c) {
        entries[count++] = {0, 1, c};
    }
    const std::uint32_t fallbackHeap = count;
    entries[count++] = {0, 0, 0};
    CategoryRoute routes[heapCategoryCount];
    for (std::uint32_t c = 0; c < heapCategoryCount; ++c) {
        routes[c] = {c, firstGate + c, firstGate + c};
    }
    registry = HeapRegistry::build({count, entries}, routes, sweepKinds);
    if (registry == nullptr) {
        return;
    }
    for (std::uint32_t c = 0; c < heapCategoryCount; ++c) {
        SweepGate& gate = *static_cast<SweepGate*>(registry->heap(firstGate + c));
        gate.counter = &counter;
        gate.fallback = registry->heap(fallbackHeap);
        for (std::uint32_t i = 0; i < arenaCount; ++i) {
            if (arenaCategories[i] == c) {
                gate.arena = registry->heap(i);
            }
        }
    }
    previous = swapHeapRegistry(registry);
}

SweepRegistry::~SweepRegistry() {
    if (registry == nullptr) {
        return;
    }
    swapHeapRegistry(previous);
    if (outstanding() == 0) {
        HeapRegistry::dismantle(registry);
    }
}

void SweepRegistry::failAt(std::int64_t n, bool onwards) {
    counter.failOnwards = onwards;
    counter.failAt = n;
}

std::size_t SweepRegistry::outstanding() {
    if (registry == nullptr) {
        return 0;
    }
    std::int64_t count = static_cast<FaultHeap*>(registry->heap(registry->heapCount() - 1))->outstanding();
    for (std::uint32_t i = 0; i < arenaCount; ++i) {
        count += dynamic_cast<LiveBlocks&>(*registry->heap(i)).live;
    }
    return static_cast<std::size_t>(count);
}

bool SweepRegistry::arenasAtRest() const {
    for (std::uint32_t i = 0; i < arenaCount; ++i) {
        const Heap* heap = registry->heap(i);
        if (dynamic_cast<const MspaceHeap*>(heap) == nullptr && heap->usage() != 0) {
            return false;
        }
    }
    return true;
}

Heap* SweepRegistry::arena(std::uint32_t category) const {
    for (std::uint32_t i = 0; i < arenaCount; ++i) {
        if (arenaCategories[i] == category) {
            return registry->heap(i);
        }
    }
    return nullptr;
}
