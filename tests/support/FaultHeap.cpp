// The fault registry: a gate per faulty category that counts every request and fails the chosen
// one, small arenas of one kind in front of the C runtime, and a plain heap for the rest.
#include "support/FaultHeap.h"

#include <new>

#include "core/memory/BlockHeap.h"
#include "core/memory/GreedyHeap.h"
#include "core/memory/MspaceHeap.h"
#include "core/memory/MultiBlockHeap.h"

bool FaultHeap::failsNext(std::uint32_t category, std::uint32_t size) {
    const std::int64_t request = requests++;
    if (static_cast<std::size_t>(request) < logged) {
        log[request] = {category, size};
    }
    const std::int64_t at = failAt.load();
    if ((at >= 0 && (request == at || (failOnwards.load() && request > at))) || failSize.load() == std::int64_t{size}) {
        ++failures;
        return true;
    }
    return false;
}

void* FaultHeap::serve(std::uint32_t size, std::uint32_t alignment) {
    void* block = PlatformHeap::allocate(size, alignment);
    if (block != nullptr) {
        std::lock_guard<std::mutex> hold(guard);
        for (void*& slot : live) {
            if (slot == nullptr) {
                slot = block;
                break;
            }
        }
    }
    return block;
}

void* FaultHeap::allocate(std::uint32_t size, std::uint32_t alignment) {
    return failsNext(0, size) ? nullptr : serve(size, alignment);
}

void FaultHeap::release(void* pointer) {
    {
        std::lock_guard<std::mutex> hold(guard);
        for (void*& slot : live) {
            if (slot == pointer && pointer != nullptr) {
                slot = nullptr;
                break;
            }
        }
    }
    PlatformHeap::release(pointer);
}

std::size_t FaultHeap::outstanding() {
    std::lock_guard<std::mutex> hold(guard);
    std::size_t count = 0;
    for (void* slot : live) {
        count += slot != nullptr ? 1 : 0;
    }
    return count;
}

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

// The only heap of a faulty category's route. It claims no address; it has the fault heap count
// the request and fail it when chosen, and otherwise asks the category's arena and then the C
// runtime. The registry's own fall-through is not used because it would count an arena's refusal
// and the C runtime's answer as two requests.
class FaultGate : public Heap {
public:
    FaultGate(std::uint32_t gateCategory, const char* name) : Heap(0, 0, name), category(gateCategory) {}
    void* allocate(std::uint32_t size, std::uint32_t alignment) override {
        if (faults->failsNext(category, size)) {
            return nullptr;
        }
        void* block = arena != nullptr ? arena->allocate(size, alignment) : nullptr;
        if (block != nullptr) {
            ++faults->arenaServed;
            return block;
        }
        return faults->serve(size, alignment);
    }
    void release(void*) override {}
    std::uint32_t usage() const override { return 0; }
    std::uint32_t allocationSize(void*) const override { return 0; }

    std::uint32_t category;
    FaultHeap* faults = nullptr;
    Heap* arena = nullptr;
};

// Kind 0 builds the heaps without an arena: param1 0 the fault heap, 1 a gate for category
// param2, 2 the plain heap of the other categories.
Heap* constructKindZero(void* at, const HeapArena&, const HeapConfigEntry& entry, const char* name) {
    switch (entry.param1) {
    case 0:
        return new (at) FaultHeap(name);
    case 1:
        return new (at) FaultGate(entry.param2, name);
    default:
        return new (at) PlatformHeap(name);
    }
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

constexpr std::uint32_t kindZeroSize = sizeof(FaultHeap) > sizeof(FaultGate) ? sizeof(FaultHeap) : sizeof(FaultGate);

const HeapKindTable faultKinds = {{
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

constexpr std::uint32_t FaultRegistry::arenaCategories[4];

FaultRegistry::FaultRegistry(std::uint32_t faultyCategories, HeapKind arenaKind)
    : registry(nullptr), previous(nullptr), arenaCount(arenaKind == HeapKind::Platform ? 0 : 4), faultHeapIndex(0) {
    // Heaps: the arenas, a gate per category, the fault heap (it claims every address, so
    // releases find the arenas first, and it sees every other release), the plain heap last.
    HeapConfigEntry entries[4 + heapCategoryCount + 2];
    std::uint32_t count = 0;
    for (std::uint32_t i = 0; i < arenaCount; ++i) {
        entries[count++] = arenaEntry(arenaKind);
    }
    const std::uint32_t firstGate = count;
    for (std::uint32_t c = 0; c < heapCategoryCount; ++c) {
        entries[count++] = {0, 1, c};
    }
    faultHeapIndex = count;
    entries[count++] = {0, 0, 0};
    const std::uint32_t plainHeap = count;
    entries[count++] = {0, 2, 0};
    CategoryRoute routes[heapCategoryCount];
    for (std::uint32_t c = 0; c < heapCategoryCount; ++c) {
        const std::uint32_t heapNumber = (faultyCategories >> c & 1u) != 0 ? firstGate + c : plainHeap;
        routes[c] = {c, heapNumber, heapNumber};
    }
    registry = HeapRegistry::build({count, entries}, routes, faultKinds);
    if (registry == nullptr) {
        return;
    }
    for (std::uint32_t c = 0; c < heapCategoryCount; ++c) {
        FaultGate& gate = *static_cast<FaultGate*>(registry->heap(firstGate + c));
        gate.faults = &heap();
        for (std::uint32_t i = 0; i < arenaCount; ++i) {
            if (arenaCategories[i] == c) {
                gate.arena = registry->heap(i);
            }
        }
    }
    previous = swapHeapRegistry(registry);
}

FaultRegistry::~FaultRegistry() {
    if (registry == nullptr) {
        return;
    }
    swapHeapRegistry(previous);
    if (arenaBlocksOut() == 0) {
        HeapRegistry::dismantle(registry);
    }
}

FaultHeap& FaultRegistry::heap() { return *static_cast<FaultHeap*>(registry->heap(faultHeapIndex)); }

void FaultRegistry::failAt(std::int64_t n, bool onwards) {
    heap().failOnwards = onwards;
    heap().failAt = n;
}

std::size_t FaultRegistry::arenaBlocksOut() const {
    std::int64_t count = 0;
    for (std::uint32_t i = 0; i < arenaCount; ++i) {
        count += dynamic_cast<LiveBlocks&>(*registry->heap(i)).live;
    }
    return static_cast<std::size_t>(count);
}

std::size_t FaultRegistry::outstanding() {
    if (registry == nullptr) {
        return 0;
    }
    return heap().outstanding() + arenaBlocksOut();
}

bool FaultRegistry::arenasAtRest() const {
    for (std::uint32_t i = 0; i < arenaCount; ++i) {
        const Heap* arena = registry->heap(i);
        if (dynamic_cast<const MspaceHeap*>(arena) == nullptr && arena->usage() != 0) {
            return false;
        }
    }
    return true;
}
