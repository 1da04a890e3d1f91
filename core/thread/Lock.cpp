// Named recursive lock on the POSIX threads library.
#include "core/thread/Lock.h"

namespace {

// Set by the first Lock of the process. Not synchronised: the first Lock is built by the heap
// registry during static initialisation, before any other thread can enter the module.
bool attachedFlag = false;

// pthreads-win32 (which announces itself with PTW32_VERSION) must be attached to the process
// before first use when it is linked statically; mingw-w64's winpthreads attaches itself and has
// no such call, so the step does nothing there.
void attachThreadsLibrary() {
#if defined(PTW32_VERSION)
    pthread_win32_process_attach_np();
#endif
}

void attachOnce() {
    if (attachedFlag) {
        return;
    }
    attachThreadsLibrary();
    attachedFlag = true;
}

} // namespace

Lock::Lock(const char* lockName) : name(lockName), mutex(), attributes() {
    attachOnce();
    // Results are not examined: a mutex that failed to initialise makes lock and unlock fail
    // quietly, which leaves the guarded code unguarded but running.
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&mutex, &attributes);
}

Lock::~Lock() {
    pthread_mutex_destroy(&mutex);
    pthread_mutexattr_destroy(&attributes);
}

void Lock::acquire() { pthread_mutex_lock(&mutex); }

void Lock::release() { pthread_mutex_unlock(&mutex); }

ScopedLock::ScopedLock(Lock* heldLock) : lock(heldLock) {
    if (lock != nullptr) {
        lock->acquire();
    }
}

ScopedLock::~ScopedLock() {
    if (lock != nullptr) {
        lock->release();
    }
}

bool threadsAttached() { return attachedFlag; }
