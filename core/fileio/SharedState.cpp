// The file layer's process-wide items and the lifecycle of the lock its objects share.
#include "core/fileio/SharedState.h"

#include <pthread.h>

#include <new>

#include "core/memory/HeapRegistry.h"
#include "core/thread/Lock.h"
#include "core/thread/StaticMutexGuard.h"

std::atomic<PakArchive*> currentArchive{nullptr};
std::atomic<Lock*> fileLock{nullptr};
std::atomic<std::uint32_t> fileObjectCount{0};
std::atomic<std::uint32_t> lineEndMode{0};

void setLineEndMode(std::uint32_t mode) { lineEndMode.store(mode); }

namespace {

// Serialises the count of file objects with the creation and destruction of fileLock. It is
// statically initialised and never destroyed, so no thread can ever find it gone: a constructor
// and a destructor on two threads cannot both decide about the lock at once, and a thread never
// takes a lock that another is destroying (the lock only goes when no object is left to use it).
pthread_mutex_t lifecycleMutex = PTHREAD_MUTEX_INITIALIZER;

// When the shared lock cannot be allocated, file objects are serialised by this one instead of
// running unguarded. It is built in place on first need and never destroyed.
alignas(Lock) unsigned char fallbackStorage[sizeof(Lock)];
Lock* fallbackLock = nullptr;

// Under the lifecycle guard.
Lock* createFileLock() {
    Lock* lock = new (HeapCategory::Engine) Lock(nullptr);
    if (lock != nullptr && lock->made) {
        return lock;
    }
    // Not allocated, or not made by the threads library: the same lack of a lock.
    delete lock;
    if (fallbackLock == nullptr) {
        fallbackLock = new (fallbackStorage) Lock(nullptr);
    }
    return fallbackLock;
}

// Under the lifecycle guard.
void destroyFileLock(Lock* lock) {
    if (lock == nullptr || lock == fallbackLock) {
        return;
    }
    delete lock;
}

} // namespace

void countFileObject() {
    StaticMutexGuard guard(lifecycleMutex);
    if (fileLock.load() == nullptr) {
        fileLock.store(createFileLock());
    }
    fileObjectCount.fetch_add(1);
}

void uncountFileObject() {
    StaticMutexGuard guard(lifecycleMutex);
    if (fileObjectCount.fetch_sub(1) == 1) {
        destroyFileLock(fileLock.exchange(nullptr));
    }
}
