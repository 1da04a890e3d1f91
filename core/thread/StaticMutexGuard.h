// StaticMutexGuard: holds a statically initialised POSIX mutex for one scope. For the process-wide
// guards that must work at every moment of the process's life, before static construction and
// after the exit routines alike: their mutexes are PTHREAD_MUTEX_INITIALIZER and never destroyed,
// which a Lock (built and destroyed like any object) cannot promise.
#pragma once

#include <pthread.h>

class StaticMutexGuard {
public:
    explicit StaticMutexGuard(pthread_mutex_t& held) : mutex(held) { pthread_mutex_lock(&mutex); }
    ~StaticMutexGuard() { pthread_mutex_unlock(&mutex); }

    StaticMutexGuard(const StaticMutexGuard&) = delete;
    StaticMutexGuard& operator=(const StaticMutexGuard&) = delete;

private:
    pthread_mutex_t& mutex;
};
