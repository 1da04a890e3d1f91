// The named recursive lock and its guard.
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

TEST(Lock, NamesAreKeptNotCopiedAndMayBeNull) {
    static const char name[] = "logger";
    Lock named(name);
    Lock unnamed(nullptr);
    EXPECT_EQ(named.name, name);
    EXPECT_EQ(unnamed.name, nullptr);
    ScopedLock guard(unnamed);
    EXPECT_EQ(guard.lock, &unnamed);
}

TEST(Lock, ThreadsLibraryIsAttachedByTheFirstLock) {
    // The heap registry's first heap built a Lock during static initialisation.
    EXPECT_TRUE(threadsAttached());
    Lock a("a");
    Lock b("b");
    EXPECT_TRUE(threadsAttached());
}

TEST(Lock, NullGuardGuardsNothing) {
    ScopedLock guard(static_cast<Lock*>(nullptr));
    EXPECT_EQ(guard.lock, nullptr);
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
