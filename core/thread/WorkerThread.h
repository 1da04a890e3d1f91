// WorkerThread and Rendezvous: the module's own threads, for work that one host call hands to a
// few helpers and waits for before it returns (the picture's readers of a slow file). A thread is
// started with a small stack and always joined by the object that started it; a Rendezvous is a
// mutex with two condition variables, on which the helpers and their starter meet. Both answer
// their failures (no thread, no mutex) instead of raising, so a caller can do the work itself.
#pragma once

#include <pthread.h>

#include <cstdint>

class WorkerThread {
public:
    WorkerThread() : thread(), started(false) {}
    // Joins a thread still running: none outlives its object.
    ~WorkerThread() { Join(); }
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Runs body(context) on a new thread with a stack of stackBytes (rounded up by the threads
    // library as it needs). False, nothing started, when the thread cannot be made or one is
    // already running.
    bool Start(void* (*body)(void*), void* context, std::uint32_t stackBytes);
    // Waits for the thread to end; nothing when none was started.
    void Join();

private:
    pthread_t thread;
    bool started;
};

class Rendezvous {
public:
    Rendezvous();
    ~Rendezvous();
    Rendezvous(const Rendezvous&) = delete;
    Rendezvous& operator=(const Rendezvous&) = delete;

    // Whether the mutex and both condition variables were made; a Rendezvous that was not must
    // not be used.
    bool made() const { return ready; }
    void Enter();
    void Leave();
    // Waits, entered, on condition 0 or 1 until it is woken (or wakes spuriously).
    void Wait(std::uint32_t condition);
    void Wake(std::uint32_t condition);
    void WakeAll(std::uint32_t condition);

private:
    pthread_mutex_t mutex;
    pthread_cond_t conditions[2];
    std::uint32_t madeParts;
    bool ready;
};
