// The archive's interface in a build that does not read archives yet: nothing can be mounted, and
// an archive object answers as one without entries.
#include "core/fileio/PakArchive.h"

#include "core/fileio/SharedState.h"

PakArchive::PakArchive() : DiskFile(true) {}

PakArchive::~PakArchive() = default;

bool PakArchive::OpenEntry(const char*) { return false; }

bool PakArchive::CloseEntry() { return false; }

std::uint32_t PakArchive::ReadEntry(void*, std::uint32_t) { return 0; }

bool PakArchive::SeekEntry(std::uint32_t) { return false; }

std::uint32_t PakArchive::EntrySize() { return 0; }

bool PakArchive::EntryAtEnd() { return true; }

bool PakArchive::ContainsEntry(const char*) { return false; }

bool MountArchive(const char*) {
    // A mount over a mounted archive fails at once, changing nothing; any other mount fails as an
    // unreadable archive does: nothing mounted, no redirection.
    if (currentArchive.load() != nullptr) {
        return false;
    }
    archiveState.store(ArchiveState::ArchiveNone);
    return false;
}

bool UnmountArchive() {
    PakArchive* archive = currentArchive.exchange(nullptr);
    archiveState.store(ArchiveState::ArchiveNone);
    if (archive == nullptr) {
        return false;
    }
    // Archives are created with the category form of operator new; delete gives the object back
    // to the registry (and does nothing after its teardown).
    delete archive;
    return true;
}
