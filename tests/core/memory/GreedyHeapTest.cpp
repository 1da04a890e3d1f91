// The linear arena: cursor steps, the reset, and requests that must not wrap past its end.
#include <gtest/gtest.h>

#include <cstdint>

#include "core/memory/GreedyHeap.h"

namespace {

TEST(GreedyHeap, CutsFrontToBackAndStartsOverWhenEverythingIsReleased) {
    alignas(128) static unsigned char arena[64];
    const std::uintptr_t base = reinterpret_cast<std::uintptr_t>(arena);
    GreedyHeap heap({base, sizeof arena}, 4, "Greed00");

    // {size, alignment, offset handed out (or -1 for none), cursor offset afterwards}
    const struct {
        std::uint32_t size;
        std::uint32_t alignment;
        std::intptr_t offset;
        std::uintptr_t cursor;
    } steps[] = {
        {5, 1, 0, 8},     // the end is rounded to 4 bytes
        {3, 16, 16, 20},  // aligned start
        {40, 1, 20, 60},
        {5, 1, -1, 60},   // 60 + 5 passes the end
        {4, 1, 60, 64},   // exactly to the end
        {1, 1, -1, 64},
    };
    int served = 0;
    for (const auto& s : steps) {
        void* p = heap.allocate(s.size, s.alignment);
        const std::intptr_t offset = p == nullptr ? -1 : static_cast<std::intptr_t>(reinterpret_cast<std::uintptr_t>(p) - base);
        EXPECT_EQ(offset, s.offset) << s.size << " bytes at " << s.alignment;
        EXPECT_EQ(heap.cursor - base, s.cursor);
        served += p != nullptr ? 1 : 0;
    }
    EXPECT_EQ(heap.usage(), 5u + 3 + 40 + 4);
    EXPECT_EQ(heap.largestRequest, 40u);
    EXPECT_EQ(heap.allocationCount, 4u);

    for (int k = 0; k < served; ++k) {
        EXPECT_NE(heap.usage(), 0u) << "reset before the last release";
        heap.release(arena);
    }
    EXPECT_EQ(heap.usage(), 0u);
    EXPECT_EQ(heap.cursor, base);
    EXPECT_EQ(heap.allocate(5, 1), arena);
}

TEST(GreedyHeap, RefusesRequestsThatWouldWrapAndAlignmentsThatAreNotPowersOfTwo) {
    alignas(128) static unsigned char arena[64];
    GreedyHeap heap({reinterpret_cast<std::uintptr_t>(arena), sizeof arena}, 4, "Greed00");
    ASSERT_NE(heap.allocate(8, 1), nullptr);
    // In 32 bits, start + size would wrap below the arena's end and pass its check.
    EXPECT_EQ(heap.allocate(0xFFFFFFF8u, 1), nullptr);
    EXPECT_EQ(heap.allocate(0xFFFFFFFFu, 4), nullptr);
    EXPECT_EQ(heap.allocate(8, 0x80000000u), nullptr);
    EXPECT_EQ(heap.allocate(8, 3), nullptr);
    EXPECT_EQ(heap.allocate(8, 24), nullptr);
    EXPECT_EQ(heap.allocationCount, 1u);
    EXPECT_EQ(heap.cursor - reinterpret_cast<std::uintptr_t>(arena), 8u);
    EXPECT_NE(heap.allocate(8, 0), nullptr); // alignment 0 is taken as 1
}

} // namespace
