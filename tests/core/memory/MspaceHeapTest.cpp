// The dlmalloc mspace heap: bounded by its arena, null without an mspace, alignment, counters.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "core/memory/MspaceHeap.h"

namespace {

TEST(MspaceHeap, NeverServesMoreThanItsArena) {
    alignas(128) static unsigned char arena[64 * 1024];
    const std::uintptr_t base = reinterpret_cast<std::uintptr_t>(arena);
    MspaceHeap heap({base, sizeof arena}, "Dlmaloc");
    ASSERT_NE(heap.mspace, nullptr);
    // Each 1000-byte chunk costs 1008 bytes in 32 bits and 1024 in 64; the rest is dlmalloc's own.
    const std::size_t bound = sizeof(void*) == 4 ? 64 : 63;

    for (int round = 0; round < 2; ++round) {
        std::vector<void*> blocks;
        for (void* p = heap.allocate(1000, 1); p != nullptr && blocks.size() <= bound; p = heap.allocate(1000, 1)) {
            EXPECT_TRUE(heap.contains(p) && heap.contains(static_cast<char*>(p) + 999)) << "outside the arena";
            blocks.push_back(p);
        }
        EXPECT_EQ(blocks.size(), bound) << "round " << round;
        for (void* p : blocks) {
            heap.release(p);
        }
    }
    // Every request counts, also the two that failed.
    EXPECT_EQ(heap.allocationCount, 2 * (bound + 1));
    EXPECT_EQ(heap.usage(), 2u);
    EXPECT_EQ(heap.largestRequest, 1000u);

    void* aligned = heap.allocate(100, 256);
    ASSERT_NE(aligned, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(aligned) % 256, 0u);
    heap.release(aligned);
    EXPECT_EQ(heap.allocate(0xFFFFFFF0u, 1), nullptr);
}

TEST(MspaceHeap, AnArenaTooSmallForDlmallocAnswersNull) {
    alignas(128) static unsigned char arena[128];
    MspaceHeap heap({reinterpret_cast<std::uintptr_t>(arena), sizeof arena}, "Dlmaloc");
    EXPECT_EQ(heap.mspace, nullptr);
    EXPECT_EQ(heap.allocate(8, 1), nullptr);
    EXPECT_EQ(heap.allocationCount, 1u);
    MspaceHeap empty({reinterpret_cast<std::uintptr_t>(arena), 0}, "Dlmalp0");
    EXPECT_EQ(empty.allocate(8, 1), nullptr);
}

} // namespace
