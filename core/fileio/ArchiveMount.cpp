// Mounting and dropping the process-wide archive.
#include "core/fileio/ArchiveMount.h"

#include "core/fileio/PakArchive.h"
#include "core/fileio/SharedState.h"
#include "core/memory/HeapRegistry.h"
#include "core/thread/Lock.h"

bool MountArchive(const char* archivePath, NameEncoding encoding) {
    ScopedLock guard(fileLock.load());
    if (currentArchive.load() != nullptr) {
        return false;
    }
    PakArchive* archive = new (HeapCategory::PakArchive) PakArchive();
    if (archive == nullptr) {
        return false;
    }
    archive->nameEncoding = encoding;
    if (!archive->Mount(archivePath)) {
        PakArchive::Release(archive);
        return false;
    }
    // The creator's reference becomes the mount's.
    currentArchive.store(archive);
    return true;
}

bool UnmountArchive() {
    ScopedLock guard(fileLock.load());
    PakArchive* archive = currentArchive.exchange(nullptr);
    if (archive == nullptr) {
        return false;
    }
    PakArchive::Release(archive);
    return true;
}

PakArchive* archiveForPath(const String& archivePath, NameEncoding encoding) {
    PakArchive* mounted = currentArchive.load();
    // The same bytes name another file in the other encoding.
    const bool same = mounted != nullptr && mounted->archivePath.equals(archivePath.c_str()) &&
                      mounted->nameEncoding == encoding;
    if (!same) {
        // Objects still reading entries of the old archive keep it alive by their references.
        UnmountArchive();
        if (!MountArchive(archivePath.c_str(), encoding)) {
            return nullptr;
        }
        mounted = currentArchive.load();
    }
    mounted->AddReference();
    return mounted;
}
