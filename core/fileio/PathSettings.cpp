// The process-wide path settings.
#include "core/fileio/PathSettings.h"

#include <pthread.h>

#include <utility>

#include "core/thread/StaticMutexGuard.h"

namespace {

// Guards the strings of the settings record: they are read by every open and replaced by
// setPathSettings. Statically initialised and never destroyed, so it is usable at any time.
pthread_mutex_t settingsMutex = PTHREAD_MUTEX_INITIALIZER;

} // namespace

PathSettings& pathSettings() {
    // A function-local static is built exactly once even when the first two opens come from two
    // threads (the compiler's guarded initialisation), and destroyed at exit.
    static PathSettings settings;
    return settings;
}

bool setPathSettings(const char* queryPath, const char* prefixHead, const char* prefixTail) {
    String query;
    String head;
    String tail;
    if (!query.assign(queryPath) || !head.assign(prefixHead) || !tail.assign(prefixTail)) {
        return false;
    }
    PathSettings& settings = pathSettings();
    StaticMutexGuard guard(settingsMutex);
    settings.queryPath = std::move(query);
    settings.prefixHead = std::move(head);
    settings.prefixTail = std::move(tail);
    return true;
}

bool copyPathPrefix(String& result) {
    PathSettings& settings = pathSettings();
    StaticMutexGuard guard(settingsMutex);
    return result.assign(settings.prefixHead) && result.append(settings.prefixTail);
}

bool copyQueryPath(String& result) {
    PathSettings& settings = pathSettings();
    StaticMutexGuard guard(settingsMutex);
    return result.assign(settings.queryPath);
}
