// Threads of the module's own and their meeting point, on the POSIX threads library.
#include "core/thread/WorkerThread.h"

bool WorkerThread::Start(void* (*body)(void*), void* context, std::uint32_t stackBytes) {
    if (started) {
        return false;
    }
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) {
        return false;
    }
    // A stack below the library's minimum is refused by it: the default is used then.
    pthread_attr_setstacksize(&attributes, stackBytes);
    started = pthread_create(&thread, &attributes, body, context) == 0;
    pthread_attr_destroy(&attributes);
    return started;
}

void WorkerThread::Join() {
    if (!started) {
        return;
    }
    pthread_join(thread, nullptr);
    started = false;
}

Rendezvous::Rendezvous() : mutex(), conditions(), madeParts(0), ready(false) {
    if (pthread_mutex_init(&mutex, nullptr) != 0) {
        return;
    }
    madeParts = 1;
    for (pthread_cond_t& condition : conditions) {
        if (pthread_cond_init(&condition, nullptr) != 0) {
            return;
        }
        ++madeParts;
    }
    ready = true;
}

Rendezvous::~Rendezvous() {
    // Only what was made is destroyed.
    for (std::uint32_t i = 1; i < madeParts; ++i) {
        pthread_cond_destroy(&conditions[i - 1]);
    }
    if (madeParts > 0) {
        pthread_mutex_destroy(&mutex);
    }
}

void Rendezvous::Enter() { pthread_mutex_lock(&mutex); }
void Rendezvous::Leave() { pthread_mutex_unlock(&mutex); }
void Rendezvous::Wait(std::uint32_t condition) { pthread_cond_wait(&conditions[condition & 1u], &mutex); }
void Rendezvous::Wake(std::uint32_t condition) { pthread_cond_signal(&conditions[condition & 1u]); }
void Rendezvous::WakeAll(std::uint32_t condition) { pthread_cond_broadcast(&conditions[condition & 1u]); }
