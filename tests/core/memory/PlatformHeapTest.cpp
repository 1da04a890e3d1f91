// The C runtime heap: alignment, the raw-pointer word, counters and the wrap guard.
#include <gtest/gtest.h>

#include <cstdint>

#include "core/memory/PlatformHeap.h"

namespace {

TEST(PlatformHeap, AlignsAndKeepsMallocsAddressInTheWordBefore) {
    PlatformHeap heap("PltMl00");
    void* p = heap.allocate(100, 16);
    ASSERT_NE(p, nullptr);
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(p);
    EXPECT_EQ(address % 16, 0u);
    const std::uintptr_t raw = reinterpret_cast<std::uintptr_t>(static_cast<void**>(p)[-1]);
    // The block starts at the first multiple of 16 after the word that holds malloc's address.
    EXPECT_GE(address, raw + sizeof(void*));
    EXPECT_LT(address, raw + sizeof(void*) + 16);
    heap.release(p);
    EXPECT_EQ(heap.usage(), 0u);
}

TEST(PlatformHeap, CountsEveryRequestAndTheLargestSuccess) {
    PlatformHeap heap("PltMl00");
    void* a = heap.allocate(10, 1);
    void* b = heap.allocate(300, 1);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(heap.allocate(0xFFFFFFF0u, 16), nullptr); // fails, but counts
    EXPECT_EQ(heap.allocationCount.load(), 3u);
    EXPECT_EQ(heap.usage(), 3u);
    EXPECT_EQ(heap.largestRequest.load(), 300u);
    heap.release(a);
    heap.release(b);
    EXPECT_EQ(heap.usage(), 1u);
    EXPECT_EQ(heap.allocationSize(a), 0u);
}

TEST(PlatformHeap, RefusesRequestsWhoseOverheadWouldWrap) {
    PlatformHeap heap("PltMl00");
    // size + alignment + the pointer word passes 32 bits: a wrapped sum would be a tiny block.
    EXPECT_EQ(heap.allocate(0xFFFFFFFFu, 1), nullptr);
    EXPECT_EQ(heap.allocate(0xFFFFFFFCu, 1), nullptr);
    EXPECT_EQ(heap.allocate(0xFFFFFF00u, 0x100), nullptr);
    // An alignment that is not a power of two cannot be honoured.
    EXPECT_EQ(heap.allocate(16, 24), nullptr);
    // Alignment 0 is taken as 1.
    void* p = heap.allocate(8, 0);
    ASSERT_NE(p, nullptr);
    heap.release(p);
}

TEST(PlatformHeap, ClaimsEveryAddressAndIsNamed) {
    PlatformHeap heap("PltMl00-and-more");
    EXPECT_STREQ(heap.name, "PltMl00");
    EXPECT_EQ(heap.lock.name, heap.name);
    int local = 0;
    EXPECT_TRUE(heap.contains(&local));
    EXPECT_TRUE(heap.contains(nullptr));
}

} // namespace
