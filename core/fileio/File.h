// File: the one file abstraction of the system. It owns the object's state machine (Closed,
// Opened, Loaded), its last-error code, the size and position bookkeeping, the resolution of a
// caller's name into what is really opened, and the optional load of a whole file into memory.
// The platform work is done by the raw operations (slots 4 to 16) of a concrete class; DiskFile
// is the one of this system. Nothing here raises: results are booleans or byte counts, and the
// reason of a failure stays in lastError until an operation that clears it.
//
// One object is used by one thread at a time; objects on several threads share only the state
// listed in core/fileio/SharedState.h.
#pragma once

#include <cstdint>

#include "core/Utils/Array.h"
#include "core/Utils/String.h"
#include "core/fileio/NameEncoding.h"

class ResolvedName;

enum class FileState : std::uint32_t {
    Closed = 0, // nothing attached; the only state in which Open and OpenAppend are allowed
    Opened = 1, // a file is attached through the raw operations
    Loaded = 2, // the whole file is held in memory; the raw file has been released
};

enum class FileError : std::uint32_t {
    None = 0,           // construction, Close, successful Open and OpenAppend, Seek while Loaded
    CannotOpen = 1,     // Open, OpenAppend: the name is empty, or the file cannot be opened
    NotOpen = 2,        // Read, Seek, Size, Close, WriteLine: the object is Closed
    AlreadyOpened = 3,  // Open, OpenAppend: the object is already Opened
    AlreadyLoaded = 4,  // Open, OpenAppend: the object is already Loaded
    LoadEmpty = 5,      // Open with whole-file load: nothing was read (empty file, no buffer)
    ReadOnAppend = 6,   // Read: the object was opened for appending
    WriteOnRead = 7,    // WriteLine: the object was not opened for appending
    Unused8 = 8,        // never set
    ReadFailed = 9,     // Read: raw read of 0, or a zero item size or count; short whole-file load
    WriteFailed = 10,   // WriteLine: the raw write failed
    WriteNotAtEnd = 11, // WriteLine: the position lies before the end of the file
    SeekFailed = 12,    // Seek: the raw seek failed; Skip on an object opened for appending
};

class File {
public:
    // A Closed object with no error and atEnd set. With skipPrefix set, names are opened without
    // the process-wide path prefix.
    explicit File(bool skipPrefix);

    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Slot 0. Moves to an absolute position. Closed: false, lastError 2. Loaded: the position is
    // stored as it is (no clamping), lastError 0, true; atEnd is left as it was. Opened: a target
    // at or beyond the size becomes the size and sets atEnd, one before it clears atEnd; true when
    // the raw seek succeeds (lastError is not cleared), else false with lastError 12 and the
    // position unchanged.
    virtual bool Seek(std::uint32_t target);
    // Slot 1. Moves by a signed offset. Opened for appending: lastError 12, the position is
    // returned unchanged. Otherwise the target position + offset (below 0 it becomes 0, above
    // 0xFFFFFFFF it becomes 0xFFFFFFFF) is sought through slot 0; on success the target is
    // returned as computed, NOT as the seek clamped it (a skip past the end answers more than the
    // size while the position holds the size); on failure the unchanged position.
    virtual std::uint32_t Skip(std::int32_t offset);
    // Slot 2. Frees a whole-file buffer still held (a Loaded object never closed); destroys name.
    virtual ~File();
    // Slot 3. Runs as the last step of a successful Close. Does nothing here.
    virtual void OnClosed();

    // Slots 4 to 16: the raw operations, supplied by the concrete class. Names are taken exactly
    // as given: File resolves them before RawOpenRead; Delete and ListDirectory get their
    // callers' names unresolved.
    // Slot 4. Opens what a name resolved into (a file on the disk, or an entry of an archive, whose
    // reference the object takes over) for reading and records its size; true on success.
    virtual bool RawOpenRead(ResolvedName& target) = 0;
    // Slot 5. Creates or truncates the named file for writing.
    virtual bool RawOpenCreate(const char* name) = 0;
    // Slot 6. Opens or creates the named file for writing, positioned at its end.
    virtual bool RawOpenAppend(const char* name) = 0;
    // Slot 7. Releases what the raw open acquired.
    virtual bool RawClose() = 0;
    // Slot 8. Size of the attached file; 0 when it cannot be had.
    virtual std::uint32_t RawSize() = 0;
    // Slot 9. Sets the raw position, clamped to the size.
    virtual bool RawSeek(std::uint32_t target) = 0;
    // Slot 10. Whether the last raw operation succeeded.
    virtual bool RawOk() = 0;
    // Slot 11. Reads up to count bytes; the number delivered, 0 on failure.
    virtual std::uint32_t RawRead(void* buffer, std::uint32_t count) = 0;
    // Slot 12. Writes count bytes at the raw position.
    virtual bool RawWrite(const void* buffer, std::uint32_t count) = 0;
    // Slot 13. The raw end-of-file flag.
    virtual bool RawAtEnd() = 0;
    // Slot 14. Whether the named file can be opened for reading, the name resolved as Open would.
    virtual bool Exists(const char* name) = 0;
    // Slot 15. Deletes the named file.
    virtual bool Delete(const char* name) = 0;
    // Slot 16. Appends the bare names of the files and of the folders in the directory path
    // (given without a trailing separator) to the caller's arrays.
    virtual bool ListDirectory(const char* path, Array<String>& files, Array<String>& folders) = 0;
    // Slot 17. The directory of the process's executable with a trailing '/'; empty here.
    virtual String ExecutableDirectory();
    // Slot 18. A copy of the process-wide query path (empty unless set; empty also when the copy
    // cannot be allocated).
    virtual String QueryPath();

    // Resolves the name and opens it for reading; with loadWhole exactly 1 the whole file is then
    // read into a buffer from heapCategory and the raw file released.
    //  - Opened: false, lastError 3; Loaded: false, lastError 4 (the object is not disturbed).
    //  - Empty or null name, or a file that cannot be opened: false, lastError 1, Closed, name empty.
    //  - Success: lastError 0, Opened, size taken, atEnd set only for an empty file.
    //  - Whole-file load: nothing read (empty file, or no buffer): false, lastError 5; fewer bytes
    //    than the size: false, lastError 9. In both cases the object stays Opened, buffer freed.
    bool Open(const char* name, std::uint32_t loadWhole, HeapCategory heapCategory);
    // The same with loadWhole 0 and heap category 0.
    bool Open(const char* name);
    // Opens a file for appending, creating it if needed. No archive takes part. Opened or Loaded:
    // false with 3 or 4. Empty name, or the file cannot be opened: false, lastError 1, and the
    // object stays fully Closed (name empty, position and size 0). Success: lastError 0, Opened,
    // position and size at the end of the existing content.
    bool OpenAppend(const char* name);
    // Detaches the raw file (its failure is ignored) or the loaded image and resets every field
    // but skipPrefix and nameEncoding; then OnClosed. Closed: false, lastError 2.
    bool Close();
    // Copies up to bytes bytes from the position. Closed: 0, lastError 2. Null buffer or 0 bytes:
    // 0 with lastError untouched. Opened for appending: 0, lastError 6. atEnd set, or the position
    // beyond the size: 0. A request beyond the rest of the file (or of 0xFFFFFFFF) is cut to the
    // rest and sets atEnd. Opened: a raw read of 0 gives 0 and lastError 9; otherwise the number of
    // bytes the raw read delivered (never more than asked) is returned and added to the position.
    std::uint32_t Read(void* buffer, std::uint32_t bytes);
    // Reads itemSize x itemCount bytes and answers in BYTES, not items. A zero size or count: 0,
    // lastError 9. A product beyond 32 bits asks for everything that is left.
    std::uint32_t Read(void* buffer, std::uint32_t itemSize, std::uint32_t itemCount);
    // The size in bytes; for an object opened for appending it grows with every line written (it
    // is the end of the file, also after a Seek moved the position back). Closed: lastError 2,
    // and the (zero) size is still returned.
    std::uint32_t Size();
    bool IsOk() const { return lastError == FileError::None; }
    bool AtEnd() const { return atEnd; }
    // Appends a NUL-terminated text (null counts as empty) and, unless noLineEnd is nonzero, the
    // line end of the process-wide line-end mode (CR LF for mode 1, LF otherwise). Closed: 2; not
    // opened for appending: 7; position before the end of the file: 11; a failed raw write: 10.
    // The size follows what is written, so a Seek back on the write handle makes the next
    // WriteLine fail with 11 instead of overwriting earlier lines.
    bool WriteLine(const char* text, std::uint32_t noLineEnd);

    FileError lastError;
    FileState state;
    bool atEnd;
    bool writing;
    std::uint32_t size;
    std::uint32_t position;
    // The caller's name with '/' separators and "/./" collapsed, without the prefix; the entry
    // name for a file inside an archive. Empty when Closed.
    String name;
    std::uint8_t* memoryData;
    bool skipPrefix;
    std::uint8_t* loadBuffer;
    // How the names given to Open are encoded: Ansi from construction; the owner sets Utf8 before
    // opening a name that came from the host in UTF-16. Kept across Close, like skipPrefix.
    NameEncoding nameEncoding;

private:
    // Reads the whole opened file into a buffer from heapCategory.
    bool LoadWhole(HeapCategory heapCategory);
    // Resolves the caller's name (name holds it with '/' separators) and opens what it names with
    // the raw open, both in one hold of fileLock, so that the archive a name resolved into is the
    // one its entry is opened in, whatever other threads mount meanwhile.
    bool OpenResolved(const char* callerName);
    // Leaves the object Closed with name empty and position 0, as a failed open must.
    void ResetAfterFailedOpen();
    // The checks both opens start with: the object must be Closed (3, 4 otherwise) and the name
    // non-empty once copied with '/' separators (1 otherwise, and the object reset).
    bool TakeNameForOpen(const char* callerName);
};
