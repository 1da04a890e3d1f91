// DiskFile: the concrete file class of the system. It implements the raw operations of File on
// Win32 file handles; an object whose name resolved into a pak archive instead holds a reference
// to that archive and its own cursor there, and its read-side raw operations go to the entry. An
// object's handle is its own and one object serves one thread at a time, so its raw operations
// take no lock shared with other objects; what is shared (the mount, an archive's handle) is
// guarded where it lives (core/fileio/SharedState.h).
#pragma once

#include <cstdint>

#include "core/fileio/File.h"
#include "core/fileio/PakArchive.h"

class DiskFile : public File {
public:
    // Counts the object among the live file objects; the first one creates fileLock.
    explicit DiskFile(bool skipPrefix);
    // Closes the raw file of an Opened object, then uncounts it; the last one destroys fileLock.
    ~DiskFile() override;

    // Slot 4. A target in an archive: the entry of that name there, whose
    // reference (taken from target) and cursor the object keeps; false, keeping nothing, when the
    // archive does not hold it. Else opens the disk name shared for reading, writing and deleting;
    // false (no handle kept, rawOk 0) when it cannot be opened; true with rawSize measured,
    // rawPosition 0, rawAtEnd 0, rawOk 1. A name in UTF-8 (nameEncoding) is opened by its UTF-16
    // form.
    bool RawOpenRead(ResolvedName& target) override;
    // Slot 5. Creates or truncates the file for exclusive writing.
    bool RawOpenCreate(const char* name) override;
    // Slot 6. Opens or creates the file for exclusive writing, positioned at its
    // end (rawSize and rawPosition at the size). Never goes to an archive. False, with no handle
    // kept and rawOk 0, when the file cannot be opened or its size or the seek to its end fails.
    bool RawOpenAppend(const char* name) override;
    // Slot 7. Closes the write handle if one is held, else the read handle, else
    // the entry (giving its archive reference back). With nothing open the close counts as
    // success. Resets rawSize, rawPosition, rawAtEnd.
    bool RawClose() override;
    // Slot 8. Size of the file behind the write handle, else the read handle (as last measured,
    // see rawSizeKnown), else of the entry. A failed query, and a file of 4 GiB or more, give 0
    // with rawOk 0.
    std::uint32_t RawSize() override;
    // Slot 9. Seeks to target clamped to the size; rawAtEnd is set when the
    // target is at or beyond the end and cleared otherwise. A read handle's size is asked again
    // only for a target at or beyond the size known so far. Every position below 4 GiB seeks.
    // False (rawOk 0) when the platform seek fails, or when the size cannot be had (the clamp
    // would otherwise send the seek to 0). An entry: the archive's SeekEntry on the own cursor.
    bool RawSeek(std::uint32_t target) override;
    // Slot 10.
    bool RawOk() override;
    // Slot 11. Reads up to count bytes from the read handle, or from the entry.
    // The bytes delivered, which may be fewer than count and 0 at the end of the file (rawOk 1);
    // 0 with rawOk 0 on failure.
    std::uint32_t RawRead(void* buffer, std::uint32_t count) override;
    // Slot 12. Writes count bytes through the write handle. A failed or short
    // write gives false and rawOk 0; later writes keep answering false until an open, seek, size
    // query or read succeeds again.
    bool RawWrite(const void* buffer, std::uint32_t count) override;
    // Slot 13. rawAtEnd, or the entry's end flag.
    bool RawAtEnd() override;
    // Slot 14. The name is resolved as Open resolves it (mounting or dropping the archive on the
    // way): a name into an archive asks whether the archive holds the entry; any other name
    // whether the file opens for reading. The probe runs on a separate object, so this object's
    // state, handles and raw fields are left as they were found, whatever its state.
    bool Exists(const char* name) override;
    // Slot 15. Deletes the file on disk.
    bool Delete(const char* name) override;
    // Slot 16. Appends the bare names found in path (no
    // trailing separator) to files and folders, skipping "." and "..". False, nothing appended,
    // when the folder cannot be listed, and when the listing is cut short: a name whose copy
    // cannot be stored, or an error of the platform's listing other than its end.
    bool ListDirectory(const char* path, Array<String>& files, Array<String>& folders) override;
    // Slot 17. The directory of the process's executable, with '/' separators and a trailing '/';
    // empty when it cannot be had (also when the path does not fit the 256-byte buffer).
    String ExecutableDirectory() override;

    // Win32 handles, kept opaque; null when none is held.
    void* readHandle;
    void* writeHandle;
    std::uint32_t rawSize;
    std::uint32_t rawPosition;
    bool rawAtEnd;
    bool rawOk;
    // rawSize is the read handle's size as measured at the open or at the last seek that reached
    // it; RawSize answers it without asking the platform again.
    bool rawSizeKnown;
    // The archive of the entry this object has open, with one reference held; null for a file on
    // the disk. Set only by RawOpenRead and cleared by RawClose.
    PakArchive* entryArchive;
    PakCursor entry;
};
