// What the system does when the threads library cannot make a mutex. The failure is injected by
// wrapping pthread_mutex_init at link time (-Wl,--wrap), which the native build does; the Windows
// builds link the threads library statically, where that is not to be had.
#include <gtest/gtest.h>

#include <pthread.h>

#include <atomic>
#include <cerrno>

#include "core/fileio/DiskFile.h"
#include "core/fileio/SharedState.h"
#include "core/memory/HeapConfig.h"
#include "core/memory/HeapRegistry.h"
#include "core/thread/Lock.h"

namespace {

// The next this many mutexes fail to be made.
std::atomic<int> failuresLeft{0};

} // namespace

extern "C" int __real_pthread_mutex_init(pthread_mutex_t* mutex, const pthread_mutexattr_t* attributes);

extern "C" int __wrap_pthread_mutex_init(pthread_mutex_t* mutex, const pthread_mutexattr_t* attributes) {
    if (failuresLeft.load() > 0) {
        --failuresLeft;
        return EAGAIN;
    }
    return __real_pthread_mutex_init(mutex, attributes);
}

namespace {

TEST(LockFailure, AnUnmadeLockIsKnownAndGuardsNothing) {
    failuresLeft = 1;
    Lock lock("unmade");
    EXPECT_FALSE(lock.made);
    EXPECT_FALSE(lock.acquire());
    ScopedLock guard(lock);
    EXPECT_EQ(guard.lock, nullptr); // nothing held, so nothing is released
}

TEST(LockFailure, OwnersDoWithoutAnUnmadeLock) {
    // The heaps: a heap without its lock would serve threads unguarded, so there is no registry.
    failuresLeft = 1;
    EXPECT_EQ(HeapRegistry::build(defaultHeapConfig(), defaultCategoryRoutes(), defaultHeapKinds()), nullptr);
    failuresLeft = 0;

    // The file layer: the shared lock it could not make is given back (LeakSanitizer would see it
    // otherwise) and the fallback lock, made next, serves instead.
    ASSERT_EQ(fileLock.load(), nullptr);
    failuresLeft = 1;
    {
        DiskFile file(false);
        ASSERT_NE(fileLock.load(), nullptr);
        EXPECT_TRUE(fileLock.load()->made) << "a lock that was not made is never installed as the file lock";
        EXPECT_EQ(failuresLeft.load(), 0);
    }
    EXPECT_EQ(fileLock.load(), nullptr);
}

} // namespace
