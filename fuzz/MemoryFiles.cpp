// The memory file calls of the fuzz targets, in the platform table in place of the disk's.
#include "fuzz/MemoryFiles.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/Utils/Platform.h"

namespace fuzzfiles {

namespace {

struct MemoryFile {
    char name[512];
    const std::uint8_t* data;
    std::uint64_t size;
};

struct OpenFile {
    bool used;
    const MemoryFile* file;
    std::uint64_t position;
};

constexpr std::uint32_t fileLimit = 8;
constexpr std::uint32_t handleLimit = 64;
MemoryFile files[fileLimit];
std::uint32_t fileCount = 0;
OpenFile handles[handleLimit];
BOOL(WINAPI* diskCloseHandle)(HANDLE) = nullptr;

OpenFile* openFileOf(HANDLE handle) {
    OpenFile* open = static_cast<OpenFile*>(handle);
    if (open < handles || open >= handles + handleLimit || !open->used) {
        return nullptr;
    }
    return open;
}

HANDLE WINAPI memoryCreateFile(LPCSTR name, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
    if ((access & GENERIC_WRITE) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    for (std::uint32_t i = 0; name != nullptr && i < fileCount; ++i) {
        if (std::strcmp(files[i].name, name) != 0) {
            continue;
        }
        for (OpenFile& open : handles) {
            if (!open.used) {
                open = OpenFile{true, &files[i], 0};
                SetLastError(NO_ERROR);
                return &open;
            }
        }
        SetLastError(ERROR_TOO_MANY_OPEN_FILES);
        return INVALID_HANDLE_VALUE;
    }
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
}

BOOL WINAPI memoryReadFile(HANDLE handle, LPVOID buffer, DWORD count, LPDWORD got, LPOVERLAPPED) {
    OpenFile* open = openFileOf(handle);
    if (got != nullptr) {
        *got = 0;
    }
    if (open == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const std::uint64_t left = open->position < open->file->size ? open->file->size - open->position : 0;
    const DWORD delivered = left < count ? static_cast<DWORD>(left) : count;
    if (delivered > 0) {
        std::memcpy(buffer, open->file->data + open->position, delivered);
    }
    open->position += delivered;
    if (got != nullptr) {
        *got = delivered;
    }
    SetLastError(NO_ERROR);
    return TRUE;
}

DWORD WINAPI memorySetFilePointer(HANDLE handle, LONG distance, PLONG distanceHigh, DWORD method) {
    OpenFile* open = openFileOf(handle);
    if (open == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_SET_FILE_POINTER;
    }
    std::int64_t wide = distance;
    if (distanceHigh != nullptr) {
        wide = static_cast<std::int64_t>((static_cast<std::uint64_t>(static_cast<std::uint32_t>(*distanceHigh)) << 32) |
                                         static_cast<std::uint32_t>(distance));
    }
    std::int64_t origin = 0;
    if (method == FILE_CURRENT) {
        origin = static_cast<std::int64_t>(open->position);
    } else if (method == FILE_END) {
        origin = static_cast<std::int64_t>(open->file->size);
    }
    // Both are far below 2^62 (a distance is at most 2^63 - 1 only with a forged high part).
    if (wide > INT64_MAX - origin || origin + wide < 0) {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    open->position = static_cast<std::uint64_t>(origin + wide);
    if (distanceHigh != nullptr) {
        *distanceHigh = static_cast<LONG>(open->position >> 32);
    }
    SetLastError(NO_ERROR);
    return static_cast<DWORD>(open->position);
}

DWORD WINAPI memoryGetFileSize(HANDLE handle, LPDWORD sizeHigh) {
    OpenFile* open = openFileOf(handle);
    if (open == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_FILE_SIZE;
    }
    if (sizeHigh != nullptr) {
        *sizeHigh = static_cast<DWORD>(open->file->size >> 32);
    }
    SetLastError(NO_ERROR);
    return static_cast<DWORD>(open->file->size);
}

BOOL WINAPI memoryCloseHandle(HANDLE handle) {
    OpenFile* open = openFileOf(handle);
    if (open == nullptr) {
        return diskCloseHandle(handle);
    }
    open->used = false;
    return TRUE;
}

} // namespace

void install() {
    if (diskCloseHandle != nullptr) {
        return;
    }
    PlatformCalls& calls = platform();
    diskCloseHandle = calls.CloseHandle;
    calls.CreateFileA = memoryCreateFile;
    calls.ReadFile = memoryReadFile;
    calls.SetFilePointer = memorySetFilePointer;
    calls.GetFileSize = memoryGetFileSize;
    calls.CloseHandle = memoryCloseHandle;
}

std::uint32_t openHandles() {
    std::uint32_t count = 0;
    for (const OpenFile& open : handles) {
        count += open.used ? 1 : 0;
    }
    return count;
}

void reset() {
    if (openHandles() != 0) {
        std::fprintf(stderr, "a file handle was left open\n");
        std::abort();
    }
    fileCount = 0;
}

void add(const char* name, const std::uint8_t* data, std::size_t size) {
    if (fileCount == fileLimit) {
        std::abort();
    }
    MemoryFile& file = files[fileCount++];
    std::snprintf(file.name, sizeof(file.name), "%s", name);
    file.data = data;
    file.size = size;
}

} // namespace fuzzfiles
