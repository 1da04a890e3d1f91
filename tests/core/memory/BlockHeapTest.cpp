// The fixed-size block pool: address order, last released first, refusals, counters.
#include <gtest/gtest.h>

#include <cstdint>

#include "core/memory/BlockHeap.h"

namespace {

TEST(BlockHeap, HandsOutBlocksInAddressOrderAndReusesTheLastReleasedFirst) {
    alignas(64) static unsigned char arena[4 * 64];
    const std::uintptr_t base = reinterpret_cast<std::uintptr_t>(arena);
    BlockHeap heap({base, sizeof arena}, 64, 4, "Blokl00");

    void* blocks[4] = {};
    for (std::uintptr_t k = 0; k < 4; ++k) {
        blocks[k] = heap.allocate(k == 2 ? 64 : 10, k == 3 ? 64 : 1);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(blocks[k]), base + k * 64) << "block " << k;
    }
    EXPECT_EQ(heap.allocate(1, 1), nullptr); // every block in use
    EXPECT_EQ(heap.usage(), 256u);
    EXPECT_EQ(heap.peakBlocksInUse, 4u);
    EXPECT_EQ(heap.largestRequest, 64u);
    EXPECT_EQ(heap.allocationSize(blocks[1]), 64u);

    // Released A then B: the next two allocations return B, then A.
    heap.release(blocks[1]);
    heap.release(blocks[3]);
    EXPECT_EQ(heap.usage(), 128u);
    EXPECT_EQ(heap.allocate(8, 1), blocks[3]);
    EXPECT_EQ(heap.allocate(8, 1), blocks[1]);
    EXPECT_EQ(heap.allocate(8, 1), nullptr);
    EXPECT_EQ(heap.peakBlocksInUse, 4u);
}

TEST(BlockHeap, RefusesWhatABlockCannotHoldBeforeTakingOne) {
    alignas(64) static unsigned char arena[4 * 24];
    BlockHeap heap({reinterpret_cast<std::uintptr_t>(arena), sizeof arena}, 24, 4, "Blokl00");
    // {size, alignment, served}
    const struct {
        std::uint32_t size;
        std::uint32_t alignment;
        bool served;
    } requests[] = {
        {25, 1, false}, // larger than a block
        {8, 32, false}, // alignment above the block size
        {8, 16, false}, // 24-byte blocks are 8-aligned only: base + 24 is not a multiple of 16
        {8, 3, false},  // not a power of two
        {24, 8, true},  {8, 0, true}, {1, 2, true},
    };
    for (const auto& r : requests) {
        void* p = heap.allocate(r.size, r.alignment);
        EXPECT_EQ(p != nullptr, r.served) << r.size << " bytes at " << r.alignment;
        if (p != nullptr) {
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % (r.alignment == 0 ? 1 : r.alignment), 0u);
        }
    }
    EXPECT_EQ(heap.usage(), 3u * 24);

    // A block that cannot hold the free-list link leaves a heap without blocks.
    BlockHeap tiny({reinterpret_cast<std::uintptr_t>(arena), 8}, 2, 4, "Blokl01");
    EXPECT_EQ(tiny.allocate(1, 1), nullptr);
    BlockHeap empty({reinterpret_cast<std::uintptr_t>(arena), 0}, 16, 0, "Blokl02");
    EXPECT_EQ(empty.allocate(1, 1), nullptr);
}

} // namespace
