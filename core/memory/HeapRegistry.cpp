// The heap registry: its one-block construction, category routing, release by address, the
// module-wide instance with its teardown at exit, and the module's operator new and delete.
#include "core/memory/HeapRegistry.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "core/memory/Heap.h"
#include "core/thread/StaticMutexGuard.h"

namespace {

typedef char HeapName[heapNameLength + 1];

// Advances a kind's name: the 7th character counts up, and past '9' it carries into the 6th.
void nextName(HeapName& name) {
    name[6] = static_cast<char>(name[6] + 1);
    if (name[6] > '9') {
        name[5] = static_cast<char>(name[5] + 1);
        name[6] = '0';
    }
}

// The module-wide registry. It is built during static initialisation, before any other thread can
// enter the module; afterwards it only changes at exit and when a test swaps it.
std::atomic<HeapRegistry*> moduleRegistry{nullptr};
// Held while the module's registry is built, so that it is built at most once at a time: two
// threads that both find none (after the teardown at exit, or after a failed build) would each
// build one, and one would leak or be torn down under the other. Statically initialised and never
// destroyed, so it works before static construction and after the exit routines alike. Guards
// teardownRegistered too.
pthread_mutex_t buildGuard = PTHREAD_MUTEX_INITIALIZER;
bool teardownRegistered = false;

void teardownRegistry() {
    // Heaps and outstanding blocks stay: objects released later by other exit routines are simply
    // not given back.
    moduleRegistry.store(nullptr);
}

// The sizing pass: the length of the one block (header, table, objects, and each arena with the
// most its alignment can cost), or 0 when the configuration cannot be built soundly.
std::uint64_t registryLength(const HeapConfig& config, const CategoryRoute* routes, const HeapKindTable& kinds) {
    if (config.heapCount == 0 || config.entries == nullptr || routes == nullptr) {
        return 0;
    }
    for (std::uint32_t c = 0; c < heapCategoryCount; ++c) {
        // A route outside the heap table would index past it on every allocation.
        if (routes[c].firstHeap > routes[c].lastHeap || routes[c].lastHeap >= config.heapCount) {
            return 0;
        }
    }
    std::uint64_t length = sizeof(HeapRegistry) + std::uint64_t{config.heapCount} * sizeof(Heap*);
    for (std::uint32_t i = 0; i < config.heapCount; ++i) {
        const HeapConfigEntry& entry = config.entries[i];
        if (entry.kind >= heapKindCount || kinds.kinds[entry.kind].construct == nullptr) {
            return 0;
        }
        const HeapKindFacts& kind = heapKindFacts(static_cast<HeapKind>(entry.kind));
        if (!kind.serves(entry)) {
            return 0;
        }
        const std::uintptr_t alignment = kind.arenaAlignment(entry);
        length += alignUp(kinds.kinds[entry.kind].objectSize, alignof(void*));
        length += kind.arenaBytes(entry) + (alignment > 0 ? alignment - 1 : 0);
    }
    if (length > SIZE_MAX || length > UINT32_MAX) {
        return 0;
    }
    return length;
}

// The construction pass: each heap's object after the table, its arena after all the objects at
// its kind's alignment. False when a heap could not be made whole; count then holds the heaps
// built, for the dismantling.
bool constructHeaps(HeapRegistry& registry, const HeapConfig& config, const HeapKindTable& kinds) {
    // Names start from the templates for every registry.
    HeapName names[heapKindCount] = {};
    for (std::uint32_t k = 0; k < heapKindCount; ++k) {
        std::memcpy(names[k], heapKindFacts(static_cast<HeapKind>(k)).nameTemplate, heapNameLength);
    }
    std::uintptr_t objectCursor = reinterpret_cast<std::uintptr_t>(registry.heapTable + config.heapCount);
    std::uintptr_t arenaCursor = objectCursor;
    for (std::uint32_t i = 0; i < config.heapCount; ++i) {
        arenaCursor += alignUp(kinds.kinds[config.entries[i].kind].objectSize, alignof(void*));
    }
    for (std::uint32_t i = 0; i < config.heapCount; ++i) {
        const HeapConfigEntry& entry = config.entries[i];
        const HeapKindFacts& kind = heapKindFacts(static_cast<HeapKind>(entry.kind));
        const HeapArena arena = {alignUp(arenaCursor, kind.arenaAlignment(entry)),
                                 static_cast<std::uintptr_t>(kind.arenaBytes(entry))};
        arenaCursor = arena.start + arena.bytes;
        const HeapKindBuilder& builder = kinds.kinds[entry.kind];
        registry.heapTable[i] = builder.construct(reinterpret_cast<void*>(objectCursor), arena, entry, names[entry.kind]);
        // A heap whose lock the threads library could not make would serve threads unguarded.
        if (!registry.heapTable[i]->lock.made) {
            registry.count = i + 1;
            return false;
        }
        nextName(names[entry.kind]);
        objectCursor += alignUp(builder.objectSize, alignof(void*));
    }
    return true;
}

} // namespace

HeapRegistry* HeapRegistry::build(const HeapConfig& config, const CategoryRoute* routes, const HeapKindTable& kinds) {
    const std::uint64_t length = registryLength(config, routes, kinds);
    if (length == 0) {
        return nullptr;
    }
    void* block = std::malloc(static_cast<std::size_t>(length));
    if (block == nullptr) {
        return nullptr;
    }

    HeapRegistry* registry = static_cast<HeapRegistry*>(block);
    registry->heapTable = reinterpret_cast<Heap**>(registry + 1);
    registry->count = config.heapCount;
    for (std::uint32_t c = 0; c < heapCategoryCount; ++c) {
        registry->routes[c] = routes[c];
    }

    if (!constructHeaps(*registry, config, kinds)) {
        dismantle(registry);
        return nullptr;
    }
    return registry;
}

void HeapRegistry::dismantle(HeapRegistry* registry) {
    if (registry == nullptr) {
        return;
    }
    for (std::uint32_t i = 0; i < registry->count; ++i) {
        registry->heapTable[i]->~Heap();
    }
    std::free(registry);
}

void* HeapRegistry::allocate(std::uint32_t size, std::uint32_t alignment, std::uint32_t category) {
    if (size == 0) {
        return nullptr;
    }
    if (category >= heapCategoryCount) {
        return nullptr;
    }
    const CategoryRoute& route = routes[category];
    for (std::uint32_t i = route.firstHeap; i <= route.lastHeap; ++i) {
        void* block = heapTable[i]->allocate(size, alignment);
        if (block != nullptr) {
            return block;
        }
    }
    return nullptr;
}

void HeapRegistry::release(void* pointer) {
    if (pointer == nullptr) {
        return;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        if (heapTable[i]->contains(pointer)) {
            heapTable[i]->release(pointer);
            return;
        }
    }
}

HeapRegistry* getHeapRegistry() {
    HeapRegistry* registry = moduleRegistry.load();
    if (registry != nullptr) {
        return registry;
    }
    StaticMutexGuard guard(buildGuard);
    // Another thread may have built it while this one waited.
    registry = moduleRegistry.load();
    if (registry != nullptr) {
        return registry;
    }
    registry = HeapRegistry::build(defaultHeapConfig(), defaultCategoryRoutes(), defaultHeapKinds());
    if (registry == nullptr) {
        return nullptr;
    }
    moduleRegistry.store(registry);
    // A registry rebuilt after the teardown at exit does not register the teardown again.
    if (!teardownRegistered) {
        teardownRegistered = true;
        std::atexit(teardownRegistry);
    }
    return registry;
}

bool heapRegistryExists() { return moduleRegistry.load() != nullptr; }

void* heapAllocate(std::uint32_t size, std::uint32_t alignment, HeapCategory category) {
    HeapRegistry* registry = getHeapRegistry();
    if (registry == nullptr) {
        return nullptr;
    }
    return registry->allocate(size, alignment, categoryNumber(category));
}

void heapRelease(void* pointer) {
    HeapRegistry* registry = moduleRegistry.load();
    if (registry == nullptr) {
        return;
    }
    registry->release(pointer);
}

HeapRegistry* swapHeapRegistry(HeapRegistry* replacement) { return moduleRegistry.exchange(replacement); }

namespace {

// Built before every other static object of the module, so that the first allocation of any
// other initialiser already finds the registry (and the first Lock attaches the threads library).
struct RegistryFirst {
    RegistryFirst() { getHeapRegistry(); }
};
RegistryFirst registryFirst __attribute__((init_priority(101)));

// What a plain new-expression may assume of its memory. Compiled 64-bit code takes 16 bytes for
// granted (aligned SSE moves, max_align_t), whichever heap the category is routed to; the 32-bit
// module asks for no alignment, as it always has.
constexpr std::size_t newAlignment = sizeof(void*) == 8 ? __STDCPP_DEFAULT_NEW_ALIGNMENT__ : 1;

void* allocateFromNew(std::size_t size, std::size_t alignment, HeapCategory category) {
    // A request beyond 32 bits cannot be expressed to the heaps; it is refused, not truncated.
    if (size > UINT32_MAX || alignment > UINT32_MAX) {
        return nullptr;
    }
    if (alignment < newAlignment) {
        alignment = newAlignment;
    }
    return heapAllocate(static_cast<std::uint32_t>(size), static_cast<std::uint32_t>(alignment), category);
}

} // namespace

// The module's operator new never raises: it answers null, and the module is built so that every
// new-expression tests for null before constructing.
void* operator new(std::size_t size) { return allocateFromNew(size, 1, HeapCategory::GlobalNew); }
void* operator new[](std::size_t size) { return allocateFromNew(size, 1, HeapCategory::GlobalNew); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return allocateFromNew(size, 1, HeapCategory::GlobalNew);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return allocateFromNew(size, 1, HeapCategory::GlobalNew);
}
void* operator new(std::size_t size, std::align_val_t alignment) {
    return allocateFromNew(size, static_cast<std::size_t>(alignment), HeapCategory::GlobalNew);
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    return allocateFromNew(size, static_cast<std::size_t>(alignment), HeapCategory::GlobalNew);
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return allocateFromNew(size, static_cast<std::size_t>(alignment), HeapCategory::GlobalNew);
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return allocateFromNew(size, static_cast<std::size_t>(alignment), HeapCategory::GlobalNew);
}
void* operator new(std::size_t size, HeapCategory category) noexcept {
    return allocateFromNew(size, 1, category);
}
void* operator new[](std::size_t size, HeapCategory category) noexcept {
    return allocateFromNew(size, 1, category);
}

void operator delete(void* pointer) noexcept { heapRelease(pointer); }
void operator delete[](void* pointer) noexcept { heapRelease(pointer); }
void operator delete(void* pointer, std::size_t) noexcept { heapRelease(pointer); }
void operator delete[](void* pointer, std::size_t) noexcept { heapRelease(pointer); }
void operator delete(void* pointer, const std::nothrow_t&) noexcept { heapRelease(pointer); }
void operator delete[](void* pointer, const std::nothrow_t&) noexcept { heapRelease(pointer); }
void operator delete(void* pointer, std::align_val_t) noexcept { heapRelease(pointer); }
void operator delete[](void* pointer, std::align_val_t) noexcept { heapRelease(pointer); }
void operator delete(void* pointer, std::size_t, std::align_val_t) noexcept { heapRelease(pointer); }
void operator delete[](void* pointer, std::size_t, std::align_val_t) noexcept { heapRelease(pointer); }
void operator delete(void* pointer, std::align_val_t, const std::nothrow_t&) noexcept { heapRelease(pointer); }
void operator delete[](void* pointer, std::align_val_t, const std::nothrow_t&) noexcept { heapRelease(pointer); }
void operator delete(void* pointer, HeapCategory) noexcept { heapRelease(pointer); }
void operator delete[](void* pointer, HeapCategory) noexcept { heapRelease(pointer); }
