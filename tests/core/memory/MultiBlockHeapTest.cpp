// The run-map heap: placement at both ends, best fit, merging, exhaustion, and the requests that
// once broke the map (0 bytes, alignments that do not divide the block size).
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "core/memory/MultiBlockHeap.h"

namespace {

constexpr std::uint32_t blockBytes = 16;
constexpr std::uint32_t blocks = 8;

struct RunMapHeap {
    alignas(16) unsigned char arena[blocks * (blockBytes + 2)] = {};
    MultiBlockHeap heap{{reinterpret_cast<std::uintptr_t>(arena), sizeof arena}, blockBytes, blocks, "MltBl00"};

    std::uintptr_t offsetOf(void* p) const {
        return p == nullptr ? UINTPTR_MAX : reinterpret_cast<std::uintptr_t>(p) - heap.base;
    }
    void* at(std::uintptr_t offset) const { return reinterpret_cast<void*>(heap.base + offset); }
    std::vector<std::uint16_t> map() const {
        std::vector<std::uint16_t> entries;
        for (std::uint32_t i = 0; i < blocks; ++i) {
            entries.push_back(heap.runEntry(i));
        }
        return entries;
    }
};

using Map = std::vector<std::uint16_t>;

TEST(MultiBlockHeap, PlacesAtBothEndsAndMergesOnRelease) {
    RunMapHeap h;
    EXPECT_EQ(h.map(), (Map{8, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(h.heap.runMap, h.heap.base + 128);

    // Lower-half runs are used from their start, upper-half runs from their end.
    EXPECT_EQ(h.offsetOf(h.heap.allocate(48, 1)), 0u);
    EXPECT_EQ(h.offsetOf(h.heap.allocate(16, 1)), 48u);
    EXPECT_EQ(h.offsetOf(h.heap.allocate(16, 16)), 112u);
    EXPECT_EQ(h.map(), (Map{0x8003, 0x8000, 0x8000, 0x8001, 3, 0, 0, 0x8001}));
    EXPECT_EQ(h.heap.usage(), 80u);
    EXPECT_EQ(h.heap.allocationSize(h.at(0)), 48u);

    // {offset released, map afterwards}
    const struct {
        std::uintptr_t offset;
        Map after;
    } releases[] = {
        {48, {0x8003, 0x8000, 0x8000, 4, 0, 0, 0, 0x8001}}, // merged with the run behind it
        {0, {7, 0, 0, 0, 0, 0, 0, 0x8001}},                 // and with the one behind that
        {0, {7, 0, 0, 0, 0, 0, 0, 0x8001}},                 // a second release changes nothing
        {112, {8, 0, 0, 0, 0, 0, 0, 0}},                    // merged backwards into the run before
    };
    for (const auto& r : releases) {
        h.heap.release(h.at(r.offset));
        EXPECT_EQ(h.map(), r.after) << "after releasing offset " << r.offset;
    }
    EXPECT_EQ(h.heap.usage(), 0u);
    EXPECT_EQ(h.heap.peakBlocksInUse, 5u);
    EXPECT_EQ(h.heap.largestRequest, 48u);
}

TEST(MultiBlockHeap, TakesTheShortestFittingRunAndFailsWhenNoneFits) {
    RunMapHeap h;
    void* p[8] = {};
    for (int k = 0; k < 8; ++k) {
        p[k] = h.heap.allocate(16, 1);
        ASSERT_NE(p[k], nullptr);
    }
    EXPECT_EQ(h.heap.allocate(1, 1), nullptr); // all in use
    // Free runs of 2 (offsets 0..31), 1 (64) and 2 (96..127), not adjacent to each other.
    for (std::uintptr_t offset : {0, 16, 64, 96, 112}) {
        h.heap.release(h.at(offset));
    }
    EXPECT_EQ(h.map(), (Map{2, 0, 0x8001, 0x8001, 1, 0x8001, 2, 0}));
    EXPECT_EQ(h.heap.allocate(48, 1), nullptr);          // 5 blocks free, but no run of 3
    EXPECT_EQ(h.offsetOf(h.heap.allocate(10, 1)), 64u);  // the run of exactly one
    EXPECT_EQ(h.offsetOf(h.heap.allocate(17, 1)), 0u);   // first of the equal runs of two
    EXPECT_EQ(h.heap.allocate(100, 1), nullptr);         // more blocks than are free: at once
    EXPECT_EQ(h.heap.allocate(0xFFFFFFFFu, 1), nullptr);
    EXPECT_EQ(h.heap.usage(), 6u * 16);
}

TEST(MultiBlockHeap, ZeroBytesTakeOneBlockAndAlignmentsMustDivideTheBlockSize) {
    RunMapHeap h;
    // Every request of 0 bytes gets a block of its own, in the lower and in the upper half.
    std::vector<std::uintptr_t> offsets;
    for (int k = 0; k < 8; ++k) {
        offsets.push_back(h.offsetOf(h.heap.allocate(0, 1)));
    }
    EXPECT_EQ(offsets, (std::vector<std::uintptr_t>{0, 16, 32, 48, 112, 96, 80, 64}));
    EXPECT_EQ(h.map(), (Map{0x8001, 0x8001, 0x8001, 0x8001, 0x8001, 0x8001, 0x8001, 0x8001}));
    EXPECT_EQ(h.heap.allocate(0, 1), nullptr);
    for (std::uintptr_t offset : offsets) {
        h.heap.release(h.at(offset));
    }
    EXPECT_EQ(h.map(), (Map{8, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(h.heap.usage(), 0u);

    alignas(64) static unsigned char arena[4 * (24 + 2)];
    MultiBlockHeap odd({reinterpret_cast<std::uintptr_t>(arena), sizeof arena}, 24, 4, "MltBl01");
    EXPECT_EQ(odd.allocate(8, 16), nullptr); // base + 24 is not a multiple of 16
    EXPECT_EQ(odd.allocate(8, 32), nullptr);
    EXPECT_EQ(odd.allocate(8, 3), nullptr);
    void* eight = odd.allocate(8, 8);
    ASSERT_NE(eight, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(eight) % 8, 0u);
    // Heaps the map cannot describe serve nothing.
    MultiBlockHeap none({reinterpret_cast<std::uintptr_t>(arena), 0}, 24, 0, "MltBl02");
    EXPECT_EQ(none.allocate(0, 0), nullptr);
    MultiBlockHeap zeroBlocks({reinterpret_cast<std::uintptr_t>(arena), 8}, 0, 4, "MltBl03");
    EXPECT_EQ(zeroBlocks.allocate(0, 0), nullptr);
}

} // namespace
