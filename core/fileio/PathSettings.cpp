// The process-wide path settings and the resolution of names into what is opened.
#include "core/fileio/PathSettings.h"

#include <pthread.h>

#include <utility>

#include "core/fileio/NameConversion.h"
#include "core/fileio/PakArchive.h"
#include "core/fileio/SharedState.h"
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

PakSplit findPakStep(const String& fullPath) {
    PakSplit split{PakStep::None, 0, 0};
    const std::uint32_t dot = fullPath.find(".pak");
    if (dot == String::npos) {
        return split;
    }
    const std::uint32_t after = dot + 4;
    if (after == fullPath.length()) {
        split.step = PakStep::ArchiveItself;
        return split;
    }
    if (fullPath[after] != '/') {
        split.step = PakStep::OtherByte;
        return split;
    }
    split.step = PakStep::Entry;
    split.archiveLength = after;
    split.entryStart = after + 1;
    return split;
}

bool buildFullPath(const String& name, bool skipPrefix, String& prefix, String& fullPath) {
    if (!skipPrefix && !copyPathPrefix(prefix)) {
        return false;
    }
    return fullPath.assign(prefix) && fullPath.append(name);
}

namespace {

// The mounted archive with a reference for the caller.
PakArchive* referenceMounted() {
    PakArchive* mounted = currentArchive.load();
    mounted->AddReference();
    return mounted;
}

} // namespace

ArchiveRoute mountArchiveForPath(const String& fullPath, NameEncoding encoding, String& entryName, PakArchive*& archive) {
    archive = nullptr;
    const PakSplit split = findPakStep(fullPath);
    switch (split.step) {
    case PakStep::None:
    case PakStep::ArchiveItself:
        // Objects still reading entries of the mounted archive keep it alive by their references.
        UnmountArchive();
        return ArchiveRoute::Disk;
    case PakStep::OtherByte:
        // Not an archive step: a mounted archive stays mounted and serves this open too.
        if (currentArchive.load() == nullptr) {
            return ArchiveRoute::Disk;
        }
        archive = referenceMounted();
        return ArchiveRoute::MountedArchive;
    case PakStep::Entry:
        break;
    }
    String archivePath;
    if (!archivePath.assign(fullPath.c_str(), split.archiveLength) ||
        !entryName.assignSubstring(fullPath, split.entryStart, String::npos)) {
        return ArchiveRoute::NoMemory;
    }
    if (encoding == NameEncoding::Utf8) {
        String utf8Entry = std::move(entryName);
        if (!entryLookupName(utf8Entry, entryName)) {
            return ArchiveRoute::NoMemory;
        }
    }
    PakArchive* mounted = currentArchive.load();
    // The same bytes name another file in the other encoding.
    if (mounted != nullptr &&
        (!mounted->archivePath.equals(archivePath.c_str()) || mounted->nameEncoding != encoding)) {
        UnmountArchive();
        mounted = nullptr;
    }
    if (mounted != nullptr || MountArchive(archivePath.c_str(), encoding)) {
        archive = referenceMounted();
        return ArchiveRoute::Entry;
    }
    // Not an archive after all (a folder called x.pak, a damaged file): the whole name may still
    // be a file on the disk.
    return ArchiveRoute::Disk;
}

bool rewriteOpenName(String& name, ArchiveRoute route, String& entryName, const String& prefix, String& openName) {
    if (route == ArchiveRoute::NoMemory) {
        return false;
    }
    if (route == ArchiveRoute::Entry) {
        name = std::move(entryName);
    }
    // "/./" collapses in one pass; an overlapping second occurrence (a/././b) stays.
    std::uint32_t collapsed = 0;
    if (!name.replaceText("/./", "/", collapsed)) {
        return false;
    }
    if (route != ArchiveRoute::Disk) {
        return openName.assign(name);
    }
    return openName.assign(prefix) && openName.append(name);
}

bool buildAppendName(const String& name, bool skipPrefix, String& fullName) {
    if (skipPrefix) {
        return fullName.assign(name);
    }
    return copyPathPrefix(fullName) && fullName.append(name);
}
