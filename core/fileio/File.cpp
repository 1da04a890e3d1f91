// The file object's state machine, bookkeeping, name resolution and whole-file load, on top of
// the raw operations of a concrete class.
#include "core/fileio/File.h"

#include <cstring>

#include "core/fileio/NameResolution.h"
#include "core/fileio/PathSettings.h"
#include "core/fileio/SharedState.h"
#include "core/memory/HeapRegistry.h"
#include "core/thread/Lock.h"

File::File(bool skipPrefixFlag)
    : lastError(FileError::None), state(FileState::Closed), atEnd(true), writing(false), size(0), position(0),
      name(), memoryData(nullptr), skipPrefix(skipPrefixFlag), loadBuffer(nullptr),
      nameEncoding(NameEncoding::Ansi) {}

File::~File() {
    // A Loaded object that was never closed still owns its image.
    heapRelease(loadBuffer);
    loadBuffer = nullptr;
    memoryData = nullptr;
}

void File::OnClosed() {}

String File::ExecutableDirectory() { return String(); }

String File::QueryPath() {
    String copy;
    if (!copyQueryPath(copy)) {
        copy.clear();
    }
    return copy;
}

void File::ResetAfterFailedOpen() {
    state = FileState::Closed;
    name.clear();
    position = 0;
    size = 0;
}

bool File::Open(const char* callerName) { return Open(callerName, 0, HeapCategory::Engine); }

bool File::TakeNameForOpen(const char* callerName) {
    if (state == FileState::Opened) {
        lastError = FileError::AlreadyOpened;
        return false;
    }
    if (state == FileState::Loaded) {
        lastError = FileError::AlreadyLoaded;
        return false;
    }
    // A name that cannot even be copied cannot be opened.
    if (!name.assign(callerName)) {
        lastError = FileError::CannotOpen;
        ResetAfterFailedOpen();
        return false;
    }
    name.replaceCharacter('\\', '/');
    if (name.empty()) {
        lastError = FileError::CannotOpen;
        ResetAfterFailedOpen();
        return false;
    }
    return true;
}

bool File::Open(const char* callerName, std::uint32_t loadWhole, HeapCategory heapCategory) {
    if (!TakeNameForOpen(callerName)) {
        return false;
    }

    if (!OpenResolved(callerName)) {
        lastError = FileError::CannotOpen;
        ResetAfterFailedOpen();
        return false;
    }

    writing = false;
    lastError = FileError::None;
    state = FileState::Opened;
    size = RawSize();
    atEnd = size == 0;
    if (loadWhole != 1) {
        return true;
    }
    return LoadWhole(heapCategory);
}

bool File::OpenResolved(const char* callerName) {
    ResolvedName target;
    {
        ScopedLock guard(fileLock.load());
        if (!resolveName(callerName, skipPrefix, nameEncoding, name, target)) {
            return false;
        }
    }
    // The target holds its own reference to the archive it resolved into, so the open needs no
    // lock: another thread's mount or unmount cannot take that archive away, and a disk open may
    // wait on its storage without holding up anyone else's.
    return RawOpenRead(target);
}

bool File::LoadWhole(HeapCategory heapCategory) {
    loadBuffer = static_cast<std::uint8_t*>(heapAllocate(size, 1, heapCategory));
    // No buffer (an empty file asks for none) counts as nothing read; the raw read is not asked to
    // fill a null buffer.
    const std::uint32_t got = loadBuffer != nullptr ? RawRead(loadBuffer, size) : 0;
    if (got == 0) {
        lastError = FileError::LoadEmpty;
        heapRelease(loadBuffer);
        loadBuffer = nullptr;
        return false;
    }
    if (got != size) {
        lastError = FileError::ReadFailed;
        heapRelease(loadBuffer);
        loadBuffer = nullptr;
        return false;
    }
    // The image is complete: the raw file (a handle, or an entry and its archive) is released at
    // once rather than held until Close.
    RawClose();
    state = FileState::Loaded;
    memoryData = loadBuffer;
    return true;
}

bool File::OpenAppend(const char* callerName) {
    if (!TakeNameForOpen(callerName)) {
        return false;
    }

    bool opened = false;
    String fullName;
    if (buildAppendName(name, skipPrefix, fullName)) {
        // The probe for the existing length resolves nothing, so it reads the disk.
        ResolvedName probe;
        if (probe.assignDisk(fullName.c_str()) && RawOpenRead(probe)) {
            state = FileState::Opened;
            size = RawSize();
            RawClose();
            state = FileState::Closed;
        } else {
            size = 0;
        }
        position = size;
        opened = RawOpenAppend(fullName.c_str());
    }
    if (!opened) {
        lastError = FileError::CannotOpen;
        ResetAfterFailedOpen();
        return false;
    }
    atEnd = false;
    writing = true;
    lastError = FileError::None;
    state = FileState::Opened;
    return true;
}

bool File::Close() {
    if (state == FileState::Closed) {
        lastError = FileError::NotOpen;
        return false;
    }
    if (state == FileState::Opened) {
        RawClose();
    }
    memoryData = nullptr;
    state = FileState::Closed;
    atEnd = true;
    writing = false;
    lastError = FileError::None;
    name.clear();
    position = 0;
    size = 0;
    heapRelease(loadBuffer);
    loadBuffer = nullptr;
    OnClosed();
    return true;
}

std::uint32_t File::Read(void* buffer, std::uint32_t bytes) {
    if (state == FileState::Closed) {
        lastError = FileError::NotOpen;
        return 0;
    }
    if (bytes == 0 || buffer == nullptr) {
        return 0;
    }
    if (writing) {
        lastError = FileError::ReadOnAppend;
        return 0;
    }
    if (atEnd) {
        return 0;
    }
    // A Loaded object may have been sought beyond its size.
    if (position > size) {
        return 0;
    }
    const std::uint32_t remaining = size - position;
    if (bytes > remaining || bytes == 0xFFFFFFFFu) {
        bytes = remaining;
        atEnd = true;
    }
    if (state == FileState::Opened) {
        // The raw read is asked even for 0 bytes: at the end it answers 0, which is a failure.
        const std::uint32_t got = RawRead(buffer, bytes);
        if (got == 0) {
            lastError = FileError::ReadFailed;
            return 0;
        }
        // A short raw read (an entry cut short, an I/O error) counts for what it delivered, so
        // the rest of the caller's buffer is never passed off as file content.
        if (got < bytes) {
            bytes = got;
        }
    } else {
        std::memcpy(buffer, memoryData + position, bytes);
    }
    position += bytes;
    return bytes;
}

std::uint32_t File::Read(void* buffer, std::uint32_t itemSize, std::uint32_t itemCount) {
    if (itemSize == 0 || itemCount == 0) {
        lastError = FileError::ReadFailed;
        return 0;
    }
    // A product beyond 32 bits is more than any file here holds: it asks for all that is left
    // rather than for whatever number the wrapped product would give.
    const std::uint64_t product = std::uint64_t{itemSize} * itemCount;
    const std::uint32_t bytes = product > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(product);
    return Read(buffer, bytes);
}

bool File::Seek(std::uint32_t target) {
    if (state == FileState::Closed) {
        lastError = FileError::NotOpen;
        return false;
    }
    if (state == FileState::Loaded) {
        position = target;
        lastError = FileError::None;
        return true;
    }
    if (target < size) {
        atEnd = false;
        if (!RawSeek(target)) {
            lastError = FileError::SeekFailed;
            return false;
        }
        position = target;
        return true;
    }
    if (!RawSeek(size)) {
        lastError = FileError::SeekFailed;
        return false;
    }
    atEnd = true;
    position = size;
    return true;
}

std::uint32_t File::Skip(std::int32_t offset) {
    if (writing) {
        lastError = FileError::SeekFailed;
        return position;
    }
    // Positions reach 4 GiB - 1, so the target is computed in 64 bits: a position beyond 2 GiB
    // plus an offset must not turn negative and fall back to the start of the file.
    const std::int64_t wide = std::int64_t{position} + offset;
    std::uint32_t target = 0;
    if (wide > 0xFFFFFFFFll) {
        target = 0xFFFFFFFFu;
    } else if (wide > 0) {
        target = static_cast<std::uint32_t>(wide);
    }
    if (!Seek(target)) {
        return position;
    }
    return target;
}

std::uint32_t File::Size() {
    if (state == FileState::Closed) {
        lastError = FileError::NotOpen;
    }
    // For an object opened for appending, size grows with every line written; it is the end of the
    // file even after a Seek has moved the position back.
    return size;
}

bool File::WriteLine(const char* text, std::uint32_t noLineEnd) {
    if (state == FileState::Closed) {
        lastError = FileError::NotOpen;
        return false;
    }
    if (!writing) {
        lastError = FileError::WriteOnRead;
        return false;
    }
    if (position < size) {
        lastError = FileError::WriteNotAtEnd;
        return false;
    }
    const char* line = text != nullptr ? text : "";
    const std::uint64_t measured = std::strlen(line);
    // A text longer than a 32-bit count cannot be written in one piece.
    if (measured > 0xFFFFFFFFu) {
        lastError = FileError::WriteFailed;
        return false;
    }
    const std::uint32_t length = static_cast<std::uint32_t>(measured);
    if (!RawWrite(line, length)) {
        lastError = FileError::WriteFailed;
        return false;
    }
    position += length;
    // size follows the end of what has been written, so that a Seek on the write handle cannot
    // land before it and let the next line overwrite earlier ones.
    if (position > size) {
        size = position;
    }
    if (noLineEnd != 0) {
        return true;
    }
    const bool crlf = lineEndMode.load() == 1;
    const std::uint32_t endLength = crlf ? 2 : 1;
    // The line end's own result is not tested: the raw layer's state after it is.
    RawWrite(crlf ? "\r\n" : "\n", endLength);
    if (!RawOk()) {
        lastError = FileError::WriteFailed;
        return false;
    }
    position += endLength;
    if (position > size) {
        size = position;
    }
    return true;
}
