// The named recursive lock and its guard: recursion, exclusion, and exact counts under contention.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "core/thread/Lock.h"
#include "support/Threads.h"

namespace {

TEST(Lock, IsRecursiveAndExcludesOtherThreadsUntilFullyReleased) {
    Lock lock("test");
    std::atomic<bool> otherGotIt{false};
    std::thread other;
    {
        ScopedLock outer(lock);
        {
            ScopedLock inner(lock); // the holder takes it again without blocking
            other = std::thread([&] {
                ScopedLock guard(lock);
                otherGotIt = true;
            });
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            EXPECT_FALSE(otherGotIt.load());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_FALSE(otherGotIt.load()); // one guard is still held
    }
    other.join();
    EXPECT_TRUE(otherGotIt.load());
}

TEST(Lock, CountsStayExactUnderContentionManyThreads) {
    Lock lock(nullptr);
    long counter = 0;
    runOnThreads(4, [&](int) {
        for (int i = 0; i < 20000; ++i) {
            ScopedLock guard(lock);
            ScopedLock again(lock);
            ++counter;
        }
    });
    EXPECT_EQ(counter, 80000);
}

} // namespace
