// Lock: the system's one synchronisation primitive, a named recursive mutex on the POSIX threads
// library, and ScopedLock, the guard that holds a Lock for one scope. Heaps guard their bookkeeping
// with one, the disk file class shares one among all its objects, and the logger owns one.
#pragma once

#include <pthread.h>

class Lock {
public:
    // Builds a recursive mutex. The name is not copied and may be null. The first Lock of the
    // process also performs the threads library's once-only process attach where it needs one.
    // made tells whether the threads library made the mutex; a lock that was not made is a lock
    // that could not be had, which its owner must replace or do without (it locks nothing).
    explicit Lock(const char* name);
    // Releases the mutex, then its attributes (what was made of them).
    ~Lock();

    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

    // Blocks until this thread holds the mutex; a thread that holds it already takes it again.
    // False, holding nothing, when the lock was not made or the threads library refuses.
    bool acquire();
    // Takes the mutex when no other thread holds it, without waiting; false otherwise, and when
    // the lock was not made.
    bool tryAcquire();
    // Gives back one acquisition that succeeded; the mutex is free for others once every acquire
    // is balanced.
    void release();

    const char* name;
    pthread_mutex_t mutex;
    // The mutex was made from them; they go with it.
    pthread_mutexattr_t attributes;
    bool made;
};

// Holds a Lock from construction to destruction. A null lock (one that could not be allocated), or
// one that cannot be acquired, guards nothing rather than crashing, and is not released.
class ScopedLock {
public:
    explicit ScopedLock(Lock* lock);
    explicit ScopedLock(Lock& held) : ScopedLock(&held) {}
    ~ScopedLock();

    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

    Lock* lock;
};
