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

Lock::Lock(const char* lockName) : name(lockName), mutex(), attributes(), made(false) {
    attachOnce();
    // Each step's result counts: a mutex that failed to initialise would make every lock and
    // unlock fail quietly, leaving what it guards unguarded while its owner believes otherwise.
    if (pthread_mutexattr_init(&attributes) != 0) {
        return;
    }
    // A mutex that is not recursive would deadlock the file layer, which re-enters its lock.
    if (pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE) != 0 ||
        pthread_mutex_init(&mutex, &attributes) != 0) {
        pthread_mutexattr_destroy(&attributes);
        return;
    }
    made = true;
}

Lock::~Lock() {
    if (!made) {
        return;
    }
    pthread_mutex_destroy(&mutex);
    pthread_mutexattr_destroy(&attributes);
}

bool Lock::acquire() { return made && pthread_mutex_lock(&mutex) == 0; }

bool Lock::tryAcquire() { return made && pthread_mutex_trylock(&mutex) == 0; }

void Lock::release() {
    if (made) {
        pthread_mutex_unlock(&mutex);
    }
}

ScopedLock::ScopedLock(Lock* heldLock) : lock(nullptr) {
    if (heldLock != nullptr && heldLock->acquire()) {
        lock = heldLock;
    }
}

ScopedLock::~ScopedLock() {
    if (lock != nullptr) {
        lock->release();
    }
}
