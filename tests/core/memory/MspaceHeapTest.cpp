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

    // Filled until it refuses, twice: every block inside the arena, and the second fill as large as
    // the first (everything released came back). How many fit is dlmalloc's business.
    std::size_t filled[2] = {};
    for (std::size_t& count : filled) {
        std::vector<void*> blocks;
        for (void* p = heap.allocate(1000, 1); p != nullptr && blocks.size() < 65; p = heap.allocate(1000, 1)) {
            EXPECT_TRUE(heap.contains(p) && heap.contains(static_cast<char*>(p) + 999)) << "outside the arena";
            blocks.push_back(p);
        }
        count = blocks.size();
        for (void* p : blocks) {
            heap.release(p);
        }
    }
    EXPECT_GT(filled[0], 32u);
    EXPECT_LT(filled[0], 65u);
    EXPECT_EQ(filled[1], filled[0]);
    // Every request counts, also the two that failed.
    EXPECT_EQ(heap.allocationCount, 2 * (filled[0] + 1));
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
