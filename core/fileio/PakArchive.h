// PakArchive: the mounted read-only archive. A path that runs through a ".pak" file mounts it
// (MountArchive) and opens the rest of the path as an entry; while it is mounted and idle, the
// disk backend sends the read-side raw operations of file objects to its entry operations. The
// archive is itself a DiskFile and reads its own file through the operations it inherits, with
// archiveState ArchiveBusy so that those reads reach the disk. At most one archive is mounted.
//
// The archive format is not read by this build yet: a mount fails the way every failed
// mount does, leaving nothing mounted and archiveState ArchiveNone, and the entry operations
// answer as for an archive without entries.
#pragma once

#include <cstdint>

#include "core/Utils/String.h"
#include "core/fileio/DiskFile.h"

class PakArchive : public DiskFile {
public:
    PakArchive();
    ~PakArchive() override;

    // Every entry operation is called with fileLock held and archiveState ArchiveReady.
    // Makes the named entry current (saving the current one); false when there is no such entry.
    bool OpenEntry(const char* entryName);
    // Restores the entry that was current before the last OpenEntry; false when none is open.
    bool CloseEntry();
    // Reads up to count bytes of the current entry; the bytes delivered, 0 on failure or at its end.
    std::uint32_t ReadEntry(void* buffer, std::uint32_t count);
    // Moves within the current entry, clamped to its size; false when no entry is current.
    bool SeekEntry(std::uint32_t target);
    // The size of the current entry; 0 when there is none.
    std::uint32_t EntrySize();
    // Whether the end of the current entry has been reached; true when there is none.
    bool EntryAtEnd();
    // Whether the archive holds an entry of that name.
    bool ContainsEntry(const char* entryName);

    // The path the archive was mounted under, prefix included; compared with the archive part of
    // every path that is opened.
    String archivePath;
};

// Mounts the archive at archivePath. Fails at once, changing nothing, when an archive is already
// mounted. True only when the archive is mounted and archiveState is ArchiveReady; on false
// nothing stays mounted and archiveState is ArchiveNone. The caller holds fileLock.
bool MountArchive(const char* archivePath);
// Destroys the mounted archive; currentArchive null and archiveState ArchiveNone afterwards. False
// when nothing was mounted. The caller holds fileLock.
bool UnmountArchive();
