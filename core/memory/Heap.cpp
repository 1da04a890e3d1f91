// Heap base: range test, name and lock shared by every kind.
#include "core/memory/Heap.h"

std::uintptr_t alignUp(std::uintptr_t value, std::uintptr_t alignment) {
    if (alignment <= 1) {
        return value;
    }
    return (value + alignment - 1) & ~(alignment - 1);
}

bool isPowerOfTwo(std::uint64_t value) { return value != 0 && (value & (value - 1)) == 0; }

bool blockAlignmentFits(std::uint32_t alignment, std::uint32_t blockSize) {
    if (alignment <= 1) {
        return true;
    }
    if (!isPowerOfTwo(alignment)) {
        return false;
    }
    return blockSize % alignment == 0;
}

namespace {

const char* copyName(char (&target)[heapNameLength + 1], const char* source) {
    std::uint32_t i = 0;
    for (; source != nullptr && i < heapNameLength && source[i] != '\0'; ++i) {
        target[i] = source[i];
    }
    for (; i <= heapNameLength; ++i) {
        target[i] = '\0';
    }
    return target;
}

} // namespace

Heap::Heap(std::uintptr_t heapBase, std::uintptr_t heapSize, const char* heapName)
    : base(heapBase), size(heapSize), name(), lock(copyName(name, heapName)) {}

Heap::~Heap() = default;

bool Heap::contains(const void* pointer) const {
    const std::uintptr_t p = reinterpret_cast<std::uintptr_t>(pointer);
    // Written as a difference so that base + size cannot wrap.
    return p >= base && p - base < size;
}
