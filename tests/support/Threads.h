// Starting several threads at once for the tests that make threads meet inside the system: each
// thread waits at a start barrier until all are up, so that they run together instead of one after
// another as they are made.
#pragma once

#include <atomic>
#include <thread>
#include <vector>

// Runs body(t) for t = 0 .. count - 1, each on a thread of its own, released together once every
// thread is waiting; before they are released, ready() runs on the calling thread (for a change the
// threads must all find). Returns when every thread has finished.
template <class Body, class Ready>
void runOnThreads(int count, Body body, Ready ready) {
    std::atomic<int> waiting{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < count; ++t) {
        threads.emplace_back([&, t] {
            ++waiting;
            while (!go.load()) {
                std::this_thread::yield();
            }
            body(t);
        });
    }
    while (waiting.load() < count) {
        std::this_thread::yield();
    }
    ready();
    go = true;
    for (std::thread& thread : threads) {
        thread.join();
    }
}

template <class Body>
void runOnThreads(int count, Body body) {
    runOnThreads(count, body, [] {});
}
