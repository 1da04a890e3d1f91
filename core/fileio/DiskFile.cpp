// The disk backend of the file object, and the road of an object's reads to the archive entry it
// opened. The Windows calls themselves are DiskHandle's.
#include "core/fileio/DiskFile.h"

#include <utility>

#include "core/fileio/DiskHandle.h"
#include "core/fileio/NameResolution.h"
#include "core/fileio/SharedState.h"
#include "core/thread/Lock.h"

DiskFile::DiskFile(bool skipPrefixFlag)
    : File(skipPrefixFlag), readHandle(nullptr), writeHandle(nullptr), rawSize(0), rawPosition(0), rawAtEnd(true),
      rawOk(false), rawSizeKnown(false), entryArchive(nullptr), entry() {
    countFileObject();
}

DiskFile::~DiskFile() {
    if (state == FileState::Opened) {
        DiskFile::RawClose();
    }
    uncountFileObject();
}

bool DiskFile::RawOpenRead(ResolvedName& target) {
    if (target.archive != nullptr) {
        // The reference taken when the name was resolved becomes this object's.
        PakArchive* archive = target.takeArchive();
        if (!archive->OpenEntry(target.entryName.c_str(), entry)) {
            PakArchive::Release(archive);
            rawOk = false;
            return false;
        }
        entryArchive = archive;
        rawOk = true;
        return true;
    }
    void* handle = openHandleForReading(target.diskName.c_str(), nameEncoding);
    if (handle == nullptr) {
        rawOk = false;
        return false;
    }
    readHandle = handle;
    rawSizeKnown = false;
    rawSize = RawSize();
    rawPosition = 0;
    rawAtEnd = false;
    rawOk = true;
    return true;
}

bool DiskFile::RawOpenCreate(const char* openName) {
    void* handle = openHandleForWriting(openName, false);
    if (handle == nullptr) {
        rawOk = false;
        return false;
    }
    writeHandle = handle;
    rawSize = 0;
    rawPosition = 0;
    rawAtEnd = false;
    rawOk = true;
    return true;
}

bool DiskFile::RawOpenAppend(const char* openName) {
    void* handle = openHandleForWriting(openName, true);
    if (handle == nullptr) {
        rawOk = false;
        return false;
    }
    writeHandle = handle;
    const std::uint32_t endOfFile = RawSize();
    // Without the size, or without the seek to it, the handle stays at the start of the file and
    // the first line written would overwrite what is there: the open fails instead.
    if (!rawOk || !RawSeek(endOfFile)) {
        closeHandle(handle);
        writeHandle = nullptr;
        rawSize = 0;
        rawPosition = 0;
        rawAtEnd = true;
        rawOk = false;
        return false;
    }
    rawSize = endOfFile;
    rawAtEnd = false;
    rawPosition = endOfFile;
    rawOk = true;
    return true;
}

bool DiskFile::RawClose() {
    bool closed = true;
    if (writeHandle != nullptr) {
        closed = closeHandle(std::exchange(writeHandle, nullptr));
    } else if (readHandle != nullptr) {
        closed = closeHandle(std::exchange(readHandle, nullptr));
    } else if (entryArchive != nullptr) {
        entryArchive->CloseEntry(entry);
        PakArchive::Release(std::exchange(entryArchive, nullptr));
    }
    rawOk = closed;
    rawSize = 0;
    rawSizeKnown = false;
    rawPosition = 0;
    rawAtEnd = true;
    return rawOk;
}

std::uint32_t DiskFile::RawSize() {
    void* handle = writeHandle;
    if (handle == nullptr) {
        if (entryArchive != nullptr) {
            return entryArchive->EntrySize(entry);
        }
        // Measured when the file was opened, and again whenever a seek reached the known end:
        // asking the storage at every call would cost a round trip each on a network share.
        if (rawSizeKnown) {
            rawOk = true;
            return rawSize;
        }
        handle = readHandle;
    }
    std::uint32_t measured = 0;
    rawOk = queryHandleSize(handle, measured);
    rawSize = measured;
    rawSizeKnown = rawOk && handle == readHandle && handle != nullptr;
    return measured;
}

bool DiskFile::RawSeek(std::uint32_t target) {
    if (entryArchive != nullptr) {
        return entryArchive->SeekEntry(entry, target);
    }
    void* handle = writeHandle;
    std::uint32_t fileSize = 0;
    bool measured = false;
    if (handle != nullptr) {
        fileSize = RawSize();
        measured = rawOk;
    } else if (target < rawSize && rawSizeKnown) {
        // Within the size the file had: nothing a new measure could say changes this seek.
        handle = readHandle;
        fileSize = rawSize;
        measured = true;
    } else {
        // At or beyond the known end the file may have grown since: it is measured again. A
        // failed measure leaves what was known.
        handle = readHandle;
        measured = queryHandleSize(handle, fileSize);
        if (measured) {
            rawSize = fileSize;
            rawSizeKnown = true;
        }
    }
    // Without a size the clamp would send every seek to 0 while the caller records the target,
    // and later reads would deliver the start of the file as if it came from there.
    if (!measured) {
        rawOk = false;
        return false;
    }
    // Both handles clamp to the size and keep the end flag in step with the target.
    const std::uint32_t clamped = target < fileSize ? target : fileSize;
    rawAtEnd = target >= fileSize;
    if (!seekHandle(handle, clamped)) {
        rawOk = false;
        return false;
    }
    rawPosition = clamped;
    rawOk = true;
    return true;
}

bool DiskFile::RawOk() { return rawOk; }

std::uint32_t DiskFile::RawRead(void* buffer, std::uint32_t count) {
    if (entryArchive != nullptr) {
        return entryArchive->ReadEntry(entry, buffer, count);
    }
    std::uint32_t delivered = 0;
    if (!readFromHandle(readHandle, buffer, count, delivered)) {
        rawOk = false;
        return 0;
    }
    rawPosition += delivered;
    if (rawPosition == rawSize) {
        rawAtEnd = true;
    }
    rawOk = true;
    return delivered;
}

bool DiskFile::RawWrite(const void* buffer, std::uint32_t count) {
    std::uint32_t written = 0;
    if (!writeToHandle(writeHandle, buffer, count, written)) {
        rawOk = false;
        return false;
    }
    rawPosition += written;
    // A write that took fewer bytes than given is a failed write, not a success.
    if (written != count) {
        rawOk = false;
        return false;
    }
    return rawOk;
}

bool DiskFile::RawAtEnd() {
    if (entryArchive != nullptr) {
        return entryArchive->EntryAtEnd(entry);
    }
    return rawAtEnd;
}

bool DiskFile::Exists(const char* existsName) {
    String slashed;
    if (existsName == nullptr || !slashed.assign(existsName)) {
        return false;
    }
    slashed.replaceCharacter('\\', '/');
    ResolvedName target;
    {
        ScopedLock guard(fileLock.load());
        if (slashed.empty() || !resolveName(existsName, skipPrefix, nameEncoding, slashed, target)) {
            return false;
        }
    }
    if (target.archive != nullptr) {
        return target.archive->ContainsEntry(target.entryName.c_str());
    }
    // A separate object probes, so this one keeps its state and handles whatever they are.
    DiskFile probe(true);
    probe.nameEncoding = nameEncoding;
    if (!probe.RawOpenRead(target)) {
        return false;
    }
    probe.state = FileState::Opened;
    probe.RawClose();
    probe.state = FileState::Closed;
    return true;
}

bool DiskFile::Delete(const char* deleteName) {
    return deleteDiskFile(deleteName);
}

bool DiskFile::ListDirectory(const char* path, Array<String>& files, Array<String>& folders) {
    String pattern;
    if (path == nullptr || !pattern.assign(path) || !pattern.append("/*.*")) {
        return false;
    }
    // A listing cut short (a name that cannot be stored, or an error of the platform's listing
    // other than its end) is a failure, not a shorter listing: what this call appended is taken
    // back, so that a caller never mistakes part of a folder for all of it.
    const std::uint32_t filesBefore = files.count();
    const std::uint32_t foldersBefore = folders.count();
    const bool complete = listFolder(pattern.c_str(), [&](const char* found, bool folder) {
        String copy;
        return copy.assign(found) && (folder ? folders : files).pushBack(std::move(copy));
    });
    if (!complete) {
        while (files.count() > filesBefore) {
            files.popBack();
        }
        while (folders.count() > foldersBefore) {
            folders.popBack();
        }
    }
    return complete;
}

String DiskFile::ExecutableDirectory() {
    String directory;
    if (!executablePath(directory)) {
        directory.clear();
        return directory;
    }
    directory.replaceCharacter('\\', '/');
    const std::uint32_t slash = directory.findLast('/');
    if (slash == String::npos) {
        directory.clear();
        return directory;
    }
    directory.truncate(slash + 1);
    return directory;
}
