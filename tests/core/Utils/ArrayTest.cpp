// The growable array: growth rule, reservation, resizing, ownership and failed allocations.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "core/Utils/Array.h"
#include "support/FileTestSupport.h"
#include "support/RegistrySwap.h"

namespace {

constexpr HeapCategory testCategory = static_cast<HeapCategory>(5); // routed to the fault heap by FaultRegistry

struct Counted {
    static int live;
    int value;
    explicit Counted(int v) : value(v) { ++live; }
    Counted(const Counted& other) : value(other.value) { ++live; }
    ~Counted() { --live; }
};
int Counted::live = 0;

TEST(Array, GrowsToHalfAgainPlusOne) {
    Array<std::uint32_t> array(testCategory);
    EXPECT_EQ(array.first_, nullptr);
    std::vector<std::uint32_t> capacities;
    for (std::uint32_t i = 0; i < 40; ++i) {
        ASSERT_TRUE(array.pushBack(i));
        if (capacities.empty() || capacities.back() != array.capacity()) {
            capacities.push_back(array.capacity());
        }
    }
    EXPECT_EQ(capacities, (std::vector<std::uint32_t>{1, 2, 4, 7, 11, 17, 26, 40}));
    for (std::uint32_t i = 0; i < 40; ++i) {
        EXPECT_EQ(array[i], i);
    }
}

TEST(Array, ReserveRules) {
    Array<std::uint32_t> array(testCategory);
    EXPECT_FALSE(array.reserve(0));
    for (std::uint32_t i = 0; i < 3; ++i) {
        ASSERT_TRUE(array.pushBack(i * 10));
    }
    ASSERT_EQ(array.capacity(), 4u);
    std::uint32_t* storage = array.first_;
    EXPECT_TRUE(array.reserve(4)); // the current capacity: nothing happens
    EXPECT_EQ(array.first_, storage);
    EXPECT_FALSE(array.reserve(2));
    EXPECT_EQ(array.capacity(), 4u);
    ASSERT_TRUE(array.reserve(10));
    EXPECT_EQ(array.capacity(), 10u);
    EXPECT_EQ(array.count(), 3u);
    EXPECT_EQ(array[2], 20u);
    // A byte count beyond 32 bits is refused, not wrapped.
    EXPECT_FALSE(array.reserve(0x40000001u));
    EXPECT_EQ(array.capacity(), 10u);
}

TEST(Array, ResizePopBackAndElementLifetimes) {
    {
        Array<Counted> array(testCategory);
        array.popBack(); // empty: nothing
        ASSERT_TRUE(array.resize(5, Counted(7)));
        EXPECT_EQ(Counted::live, 5);
        EXPECT_EQ(array.capacity(), 5u);
        EXPECT_EQ(array[4].value, 7);
        ASSERT_TRUE(array.resize(2, Counted(0)));
        EXPECT_EQ(array.count(), 2u);
        EXPECT_EQ(array.capacity(), 5u); // the storage is kept
        EXPECT_EQ(Counted::live, 2);
        array.popBack();
        EXPECT_EQ(Counted::live, 1);
        for (int i = 0; i < 20; ++i) {
            ASSERT_TRUE(array.pushBack(Counted(i)));
        }
        EXPECT_EQ(Counted::live, 21); // growth moved every element and destroyed the old ones
    }
    EXPECT_EQ(Counted::live, 0);
}

TEST(Array, FailedAllocationsLeaveTheArrayUnchanged) {
    FaultRegistry faults(filetest::faultyCategories);
    {
        Array<std::uint32_t> array(testCategory);
        ASSERT_TRUE(array.pushBack(1));
        ASSERT_TRUE(array.pushBack(2)); // capacity 2, full
        faults.failFrom(faults.heap().requests.load());
        std::uint32_t* storage = array.first_;
        EXPECT_FALSE(array.pushBack(3));
        EXPECT_FALSE(array.reserve(8));
        EXPECT_FALSE(array.resize(9, 5));
        EXPECT_EQ(array.count(), 2u);
        EXPECT_EQ(array.capacity(), 2u);
        EXPECT_EQ(array.first_, storage);
        EXPECT_EQ(array[1], 2u);
        EXPECT_TRUE(array.resize(1, 0)); // shrinking needs no memory
        faults.failFrom(-1);
        EXPECT_TRUE(array.pushBack(3));
        array.releaseStorage();
        EXPECT_EQ(array.first_, nullptr);
        EXPECT_EQ(array.last_, nullptr);
        EXPECT_EQ(array.limit_, nullptr);
    }
    EXPECT_EQ(faults.heap().outstanding(), 0u);
}

TEST(Array, NotOwnedStorageIsNeverReleasedOrGrown) {
    std::uint32_t outside[2] = {4, 5};
    {
        Array<std::uint32_t> view(arrayNotOwned);
        view.first_ = outside;
        view.last_ = outside + 2;
        view.limit_ = outside + 2;
        EXPECT_FALSE(view.pushBack(6)); // growing it would release storage it does not own
        EXPECT_EQ(view.count(), 2u);
    }
    EXPECT_EQ(outside[1], 5u);
}

TEST(Array, ReleasesAreSkippedAfterTheRegistryIsGone) {
    FaultRegistry faults(filetest::faultyCategories);
    {
        alignas(Array<std::uint32_t>) unsigned char place[sizeof(Array<std::uint32_t>)];
        auto* array = new (place) Array<std::uint32_t>(testCategory);
        ASSERT_TRUE(array->pushBack(1));
        EXPECT_EQ(faults.heap().outstanding(), 1u);
        std::uint32_t* storage = array->first_;
        {
            RegistrySwap teardown(nullptr); // as after the teardown at exit
            array->~Array();
        }
        EXPECT_EQ(faults.heap().outstanding(), 1u); // the storage was not released
        // Given back by hand, so that the test itself leaks nothing.
        heapRelease(storage);
    }
}

} // namespace
