// DiskFile: the concrete file class of the system. It implements the raw operations of File on
// Win32 file handles, and it is where reads are redirected to the mounted pak archive: while an
// archive is mounted and idle, an object that holds no handle of its own reads, seeks, sizes and
// closes through the entry it opened there. All DiskFile objects share one recursive lock,
// fileLock, which exists exactly while at least one DiskFile exists (core/fileio/SharedState.h).
#pragma once

#include <cstdint>

#include "core/fileio/File.h"

class PakArchive;

class DiskFile : public File {
public:
    // Counts the object among the live file objects; the first one creates fileLock.
    explicit DiskFile(bool skipPrefix);
    // Closes the raw file of an Opened object, then uncounts it; the last one destroys fileLock.
    ~DiskFile() override;

    // Slot 4. Under fileLock. While an archive is ready: the archive's OpenEntry(name), whose
    // ticket the object keeps. Else opens the file shared for reading, writing and deleting; false
    // (no handle kept, rawOk 0) when it cannot be opened; true with rawSize measured, rawPosition
    // 0, rawAtEnd 0, rawOk 1. A name in UTF-8 (nameEncoding) is opened by its UTF-16 form
    // (WideName::assignPath), one that cannot be converted fails as a file that cannot be opened.
    bool RawOpenRead(const char* name) override;
    // Slot 5. Under fileLock. Creates or truncates the file for exclusive writing.
    bool RawOpenCreate(const char* name) override;
    // Slot 6. Under fileLock. Opens or creates the file for exclusive writing, positioned at its
    // end (rawSize and rawPosition at the size). Never goes to an archive. False, with no handle
    // kept and rawOk 0, when the file cannot be opened or its size or the seek to its end fails.
    bool RawOpenAppend(const char* name) override;
    // Slot 7. Under fileLock. Closes the write handle if one is held, else the read handle; an
    // object with no handle while an archive is ready closes the entry it opened there instead.
    // With no handle at all the close counts as success. Resets rawSize, rawPosition, rawAtEnd.
    bool RawClose() override;
    // Slot 8. Size of the file behind the write handle, else the read handle, else (archive ready)
    // of the entry the object opened there (0 when the archive does not hold it). A failed query,
    // and a file of 4 GiB or more, give 0 with rawOk 0.
    std::uint32_t RawSize() override;
    // Slot 9. Under fileLock. Seeks to target clamped to the size; rawAtEnd is set when the
    // target is at or beyond the end and cleared otherwise. Every position below 4 GiB seeks.
    // False (rawOk 0) when the platform seek fails, or when the size cannot be had (the clamp
    // would otherwise send the seek to 0). With no handle and an archive ready: the archive's
    // SeekEntry on the object's own entry.
    bool RawSeek(std::uint32_t target) override;
    // Slot 10.
    bool RawOk() override;
    // Slot 11. Under fileLock. Reads up to count bytes from the read handle (or, with no handle and
    // an archive ready, from the entry it opened there; 0 when the archive does not hold it). The
    // bytes delivered, which may be fewer than count and 0 at the end of the file (rawOk 1); 0
    // with rawOk 0 on failure.
    std::uint32_t RawRead(void* buffer, std::uint32_t count) override;
    // Slot 12. Under fileLock. Writes count bytes through the write handle. A failed or short
    // write gives false and rawOk 0; later writes keep answering false until an open, seek, size
    // query or read succeeds again.
    bool RawWrite(const void* buffer, std::uint32_t count) override;
    // Slot 13. Under fileLock. rawAtEnd, or the archive's entry-at-end flag.
    bool RawAtEnd() override;
    // Slot 14. While an archive is ready: whether it contains the entry. Else whether the file
    // opens for reading. The probe runs on a separate object, so this object's state, handles
    // and raw fields are left as they were found, whatever its state.
    bool Exists(const char* name) override;
    // Slot 15. Under fileLock. Deletes the file on disk.
    bool Delete(const char* name) override;
    // Slot 16. Under fileLock for the whole listing. Appends the bare names found in path (no
    // trailing separator) to files and folders, skipping "." and "..". False, nothing appended,
    // when the folder cannot be listed, and when the listing is cut short: a name whose copy
    // cannot be stored, or an error of the platform's listing other than its end.
    bool ListDirectory(const char* path, Array<String>& files, Array<String>& folders) override;
    // Slot 17. The directory of the process's executable, with '/' separators and a trailing '/';
    // empty when it cannot be had (also when the path does not fit the 256-byte buffer).
    String ExecutableDirectory() override;

    // Win32 handles, kept opaque; null when none is held (a failed open never stores
    // INVALID_HANDLE_VALUE).
    void* readHandle;
    void* writeHandle;
    std::uint32_t rawSize;
    std::uint32_t rawPosition;
    bool rawAtEnd;
    bool rawOk;
    // The ticket the archive gave the entry this object opened (0: none). Many objects may hold
    // entries of the one archive at once; each reads its own, whichever was opened last.
    std::uint32_t archiveTicket;

private:
    // The ready archive with this object's entry made current; null when there is no ready
    // archive or it does not hold this object's entry. Under fileLock.
    PakArchive* ownEntryArchive();
    // Whether a read-side call of this object goes to the mounted archive: an archive is ready and
    // the object holds no disk handle of its own.
    bool UsesArchive() const;
};
