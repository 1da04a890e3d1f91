// The Win32 disk backend of the file object, the redirection of reads to the mounted archive,
// and the lifecycle of the lock shared by all file objects. Every Windows call goes through the
// platform table.
#include "core/fileio/DiskFile.h"

#include <pthread.h>

#include <new>
#include <utility>

#include "core/Utils/Platform.h"
#include "core/fileio/NameConversion.h"
#include "core/fileio/PakArchive.h"
#include "core/fileio/SharedState.h"
#include "core/memory/HeapRegistry.h"
#include "core/thread/Lock.h"
#include "core/thread/StaticMutexGuard.h"

std::atomic<ArchiveState> archiveState{ArchiveState::ArchiveNone};
std::atomic<PakArchive*> currentArchive{nullptr};
std::atomic<Lock*> fileLock{nullptr};
std::atomic<std::uint32_t> fileObjectCount{0};
std::atomic<std::uint32_t> lineEndMode{0};

void setLineEndMode(std::uint32_t mode) { lineEndMode.store(mode); }

namespace {

// Serialises the count of file objects with the creation and destruction of fileLock. It is
// statically initialised and never destroyed, so no thread can ever find it gone: a constructor
// and a destructor on two threads cannot both decide about the lock at once, and a thread never
// takes a lock that another is destroying (the lock only goes when no object is left to use it).
pthread_mutex_t lifecycleMutex = PTHREAD_MUTEX_INITIALIZER;

// When the shared lock cannot be allocated, file objects are serialised by this one instead of
// running unguarded. It is built in place on first need and never destroyed.
alignas(Lock) unsigned char fallbackStorage[sizeof(Lock)];
Lock* fallbackLock = nullptr;

// Under the lifecycle guard.
Lock* createFileLock() {
    Lock* lock = new (HeapCategory::Engine) Lock(nullptr);
    if (lock != nullptr && lock->made) {
        return lock;
    }
    // Not allocated, or not made by the threads library: the same lack of a lock.
    delete lock;
    if (fallbackLock == nullptr) {
        fallbackLock = new (fallbackStorage) Lock(nullptr);
    }
    return fallbackLock;
}

// Under the lifecycle guard.
void destroyFileLock(Lock* lock) {
    if (lock == nullptr || lock == fallbackLock) {
        return;
    }
    delete lock;
}

HANDLE toHandle(void* handle) { return static_cast<HANDLE>(handle); }

PakArchive* readyArchive() {
    if (archiveState.load() != ArchiveState::ArchiveReady) {
        return nullptr;
    }
    return currentArchive.load();
}

// GetFileSize answers INVALID_FILE_SIZE both for a failure and for a size whose low half is
// 0xFFFFFFFF; only GetLastError tells them apart, and a file of 4 GiB - 1 bytes is valid. A file of
// 4 GiB or more (a high half other than 0) cannot be expressed in 32 bits, and is not passed off as
// its low half.
bool queryFileSize(void* handle, std::uint32_t& result) {
    DWORD high = 0;
    const DWORD low = platform().GetFileSize(toHandle(handle), &high);
    if ((low == INVALID_FILE_SIZE && platform().GetLastError() != NO_ERROR) || high != 0) {
        result = 0;
        return false;
    }
    result = low;
    return true;
}

// SetFilePointer with a high part, so that the whole unsigned 32-bit range seeks (without one,
// the distance is a signed 32-bit number and every target from 2 GiB on fails). A result of
// INVALID_SET_FILE_POINTER is also the low half of a valid position; only GetLastError tells.
bool setFilePointer(void* handle, std::uint32_t target) {
    LONG high = 0;
    const DWORD low = platform().SetFilePointer(toHandle(handle), static_cast<LONG>(target), &high, FILE_BEGIN);
    if (low == INVALID_SET_FILE_POINTER && platform().GetLastError() != NO_ERROR) {
        return false;
    }
    return true;
}

} // namespace

DiskFile::DiskFile(bool skipPrefixFlag)
    : File(skipPrefixFlag), readHandle(nullptr), writeHandle(nullptr), rawSize(0), rawPosition(0), rawAtEnd(true),
      rawOk(false), archiveTicket(0) {
    StaticMutexGuard guard(lifecycleMutex);
    if (fileLock.load() == nullptr) {
        fileLock.store(createFileLock());
    }
    fileObjectCount.fetch_add(1);
}

DiskFile::~DiskFile() {
    if (state == FileState::Opened) {
        DiskFile::RawClose();
    }
    StaticMutexGuard guard(lifecycleMutex);
    if (fileObjectCount.fetch_sub(1) == 1) {
        destroyFileLock(fileLock.exchange(nullptr));
    }
}

PakArchive* DiskFile::ownEntryArchive() {
    PakArchive* archive = readyArchive();
    // An entry opened by this object in an archive that has been unmounted since (or one that
    // another object closed for it) is not found: its reads deliver nothing.
    if (archive == nullptr || !archive->ResumeEntry(archiveTicket)) {
        return nullptr;
    }
    return archive;
}

bool DiskFile::UsesArchive() const {
    // An object that holds a handle was opened on the disk and keeps reading its own file, even
    // when an archive has been mounted since.
    return readHandle == nullptr && writeHandle == nullptr && readyArchive() != nullptr;
}

bool DiskFile::RawOpenRead(const char* openName) {
    ScopedLock guard(fileLock.load());
    if (PakArchive* archive = readyArchive()) {
        if (!archive->OpenEntry(openName)) {
            return false;
        }
        archiveTicket = archive->CurrentTicket();
        return true;
    }
    const DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE handle = INVALID_HANDLE_VALUE;
    if (nameEncoding == NameEncoding::Utf8) {
        // A wide name that cannot be converted (no memory) is a file that cannot be opened.
        WideName wide;
        if (wide.assignPath(openName)) {
            handle = platform().CreateFileW(wide.units(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL, nullptr);
        }
    } else {
        handle = platform().CreateFileA(openName, GENERIC_READ, sharing, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                        nullptr);
    }
    if (handle == INVALID_HANDLE_VALUE) {
        readHandle = nullptr;
        rawOk = false;
        return false;
    }
    readHandle = handle;
    rawSize = RawSize();
    rawPosition = 0;
    rawAtEnd = false;
    rawOk = true;
    return true;
}

bool DiskFile::RawOpenCreate(const char* openName) {
    ScopedLock guard(fileLock.load());
    HANDLE handle = platform().CreateFileA(openName, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        writeHandle = nullptr;
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
    ScopedLock guard(fileLock.load());
    HANDLE handle = platform().CreateFileA(openName, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        writeHandle = nullptr;
        rawOk = false;
        return false;
    }
    writeHandle = handle;
    const std::uint32_t endOfFile = RawSize();
    // Without the size, or without the seek to it, the handle stays at the start of the file and
    // the first line written would overwrite what is there: the open fails instead.
    if (!rawOk || !RawSeek(endOfFile)) {
        platform().CloseHandle(handle);
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
    ScopedLock guard(fileLock.load());
    BOOL result = TRUE;
    if (writeHandle != nullptr) {
        result = platform().CloseHandle(toHandle(writeHandle));
        writeHandle = nullptr;
    } else if (UsesArchive()) {
        // An object opened through the archive holds no handle; this closes its entry. When
        // another object's entry is current, this one's waits on the archive's stack and is only
        // taken off it: closing the current one would close someone else's entry.
        PakArchive* archive = readyArchive();
        const std::uint32_t ticket = archiveTicket;
        archiveTicket = 0;
        if (ticket != 0 && archive->CurrentTicket() == ticket) {
            return archive->CloseEntry();
        }
        return archive->DropEntry(ticket);
    } else if (readHandle != nullptr) {
        result = platform().CloseHandle(toHandle(readHandle));
        readHandle = nullptr;
    }
    archiveTicket = 0;
    rawOk = result != FALSE;
    rawSize = 0;
    rawPosition = 0;
    rawAtEnd = true;
    return rawOk;
}

std::uint32_t DiskFile::RawSize() {
    void* handle = writeHandle;
    if (handle == nullptr) {
        if (UsesArchive()) {
            // The archive's entry operations run under the file lock like every call into it.
            ScopedLock guard(fileLock.load());
            if (readyArchive() != nullptr) {
                PakArchive* archive = ownEntryArchive();
                return archive != nullptr ? archive->EntrySize() : 0;
            }
        }
        handle = readHandle;
    }
    std::uint32_t measured = 0;
    rawOk = queryFileSize(handle, measured);
    rawSize = measured;
    return measured;
}

bool DiskFile::RawSeek(std::uint32_t target) {
    ScopedLock guard(fileLock.load());
    void* handle = writeHandle;
    std::uint32_t fileSize = 0;
    bool measured = false;
    if (handle != nullptr) {
        fileSize = RawSize();
        measured = rawOk;
    } else {
        if (UsesArchive()) {
            PakArchive* archive = ownEntryArchive();
            return archive != nullptr && archive->SeekEntry(target);
        }
        handle = readHandle;
        // The read path measures without updating rawSize.
        measured = queryFileSize(handle, fileSize);
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
    if (!setFilePointer(handle, clamped)) {
        rawOk = false;
        return false;
    }
    rawPosition = clamped;
    rawOk = true;
    return true;
}

bool DiskFile::RawOk() { return rawOk; }

std::uint32_t DiskFile::RawRead(void* buffer, std::uint32_t count) {
    ScopedLock guard(fileLock.load());
    if (UsesArchive()) {
        PakArchive* archive = ownEntryArchive();
        return archive != nullptr ? archive->ReadEntry(buffer, count) : 0;
    }
    DWORD got = 0;
    if (!platform().ReadFile(toHandle(readHandle), buffer, count, &got, nullptr)) {
        rawOk = false;
        return 0;
    }
    // A platform that claims more than was asked is not believed beyond the request.
    const std::uint32_t delivered = got < count ? static_cast<std::uint32_t>(got) : count;
    rawPosition += delivered;
    if (rawPosition == rawSize) {
        rawAtEnd = true;
    }
    rawOk = true;
    return delivered;
}

bool DiskFile::RawWrite(const void* buffer, std::uint32_t count) {
    ScopedLock guard(fileLock.load());
    DWORD written = 0;
    if (!platform().WriteFile(toHandle(writeHandle), buffer, count, &written, nullptr)) {
        rawOk = false;
        return false;
    }
    rawPosition += static_cast<std::uint32_t>(written);
    // A write that took fewer bytes than given is a failed write, not a success.
    if (written != count) {
        rawOk = false;
        return false;
    }
    return rawOk;
}

bool DiskFile::RawAtEnd() {
    ScopedLock guard(fileLock.load());
    if (UsesArchive()) {
        PakArchive* archive = ownEntryArchive();
        return archive == nullptr || archive->EntryAtEnd();
    }
    return rawAtEnd;
}

bool DiskFile::Exists(const char* existsName) {
    ScopedLock guard(fileLock.load());
    if (PakArchive* archive = readyArchive()) {
        return archive->ContainsEntry(existsName);
    }
    // A separate object probes, so this one keeps its state and handles whatever they are.
    DiskFile probe(true);
    if (!probe.RawOpenRead(existsName)) {
        return false;
    }
    probe.state = FileState::Opened;
    probe.RawClose();
    probe.state = FileState::Closed;
    return true;
}

bool DiskFile::Delete(const char* deleteName) {
    ScopedLock guard(fileLock.load());
    return platform().DeleteFileA(deleteName) != FALSE;
}

bool DiskFile::ListDirectory(const char* path, Array<String>& files, Array<String>& folders) {
    ScopedLock guard(fileLock.load());
    String pattern;
    if (path == nullptr || !pattern.assign(path) || !pattern.append("/*.*")) {
        return false;
    }
    WIN32_FIND_DATAA found{};
    HANDLE search = platform().FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return false;
    }
    // A listing cut short (a name that cannot be stored, or an error of the platform's listing
    // other than its end) is a failure, not a shorter listing: what this call appended is taken
    // back, so that a caller never mistakes part of a folder for all of it.
    const std::uint32_t filesBefore = files.count();
    const std::uint32_t foldersBefore = folders.count();
    bool complete = true;
    // Each pass consumes one entry of the platform's listing, which ends when FindNextFileA fails.
    do {
        // cFileName is NUL-terminated within its array; the last byte is forced so a faulty
        // listing cannot run the copy past it.
        found.cFileName[sizeof(found.cFileName) - 1] = '\0';
        const char* entry = found.cFileName;
        const bool dot = entry[0] == '.' && entry[1] == '\0';
        const bool dotDot = entry[0] == '.' && entry[1] == '.' && entry[2] == '\0';
        if (!dot && !dotDot) {
            String copy;
            Array<String>& target = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? folders : files;
            if (!copy.assign(entry) || !target.pushBack(std::move(copy))) {
                complete = false;
                break;
            }
        }
    } while (platform().FindNextFileA(search, &found));
    // Read before FindClose, which may set its own.
    if (complete && platform().GetLastError() != ERROR_NO_MORE_FILES) {
        complete = false;
    }
    platform().FindClose(search);
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
    char buffer[256] = {};
    const DWORD length = platform().GetModuleFileNameA(nullptr, buffer, sizeof(buffer));
    // 0 is a failure; a result that fills the buffer is a path cut short, whose "directory" would
    // be wrong (and, on older systems, not terminated).
    if (length == 0 || length >= sizeof(buffer)) {
        return directory;
    }
    if (!directory.assign(buffer, static_cast<std::uint32_t>(length))) {
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
