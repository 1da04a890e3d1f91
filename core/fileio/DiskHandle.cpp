// Win32 file handles through the platform table.
#include "core/fileio/DiskHandle.h"

#include "core/Utils/Platform.h"
#include "core/fileio/NameConversion.h"

namespace {

HANDLE toHandle(void* handle) { return static_cast<HANDLE>(handle); }

void* fromOpen(HANDLE handle) { return handle == INVALID_HANDLE_VALUE ? nullptr : handle; }

} // namespace

void* openHandleForReading(const char* name, NameEncoding encoding) {
    const DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    if (encoding == NameEncoding::Utf8) {
        WideName wide;
        if (!wide.assignPath(name)) {
            return nullptr;
        }
        return fromOpen(platform().CreateFileW(wide.units(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING,
                                               FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    return fromOpen(
        platform().CreateFileA(name, GENERIC_READ, sharing, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

void* openHandleForWriting(const char* name, bool append) {
    return fromOpen(platform().CreateFileA(name, GENERIC_WRITE, 0, nullptr, append ? OPEN_ALWAYS : CREATE_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool closeHandle(void* handle) {
    if (handle == nullptr) {
        return true;
    }
    return platform().CloseHandle(toHandle(handle)) != FALSE;
}

// GetFileSize answers INVALID_FILE_SIZE both for a failure and for a size whose low half is
// 0xFFFFFFFF; only GetLastError tells them apart, and a file of 4 GiB - 1 bytes is valid. A file of
// 4 GiB or more (a high half other than 0) cannot be expressed in 32 bits, and is not passed off as
// its low half.
bool queryHandleSize(void* handle, std::uint32_t& size) {
    DWORD high = 0;
    const DWORD low = platform().GetFileSize(toHandle(handle), &high);
    if ((low == INVALID_FILE_SIZE && platform().GetLastError() != NO_ERROR) || high != 0) {
        size = 0;
        return false;
    }
    size = low;
    return true;
}

// SetFilePointer with a high part, so that the whole unsigned 32-bit range seeks (without one,
// the distance is a signed 32-bit number and every target from 2 GiB on fails). A result of
// INVALID_SET_FILE_POINTER is also the low half of a valid position; only GetLastError tells.
bool seekHandle(void* handle, std::uint32_t target) {
    LONG high = 0;
    const DWORD low = platform().SetFilePointer(toHandle(handle), static_cast<LONG>(target), &high, FILE_BEGIN);
    return !(low == INVALID_SET_FILE_POINTER && platform().GetLastError() != NO_ERROR);
}

bool readFromHandle(void* handle, void* buffer, std::uint32_t count, std::uint32_t& delivered) {
    DWORD got = 0;
    delivered = 0;
    if (!platform().ReadFile(toHandle(handle), buffer, count, &got, nullptr)) {
        return false;
    }
    // A platform that claims more than was asked is not believed beyond the request.
    delivered = got < count ? static_cast<std::uint32_t>(got) : count;
    return true;
}

bool writeToHandle(void* handle, const void* buffer, std::uint32_t count, std::uint32_t& written) {
    DWORD took = 0;
    written = 0;
    if (!platform().WriteFile(toHandle(handle), buffer, count, &took, nullptr)) {
        return false;
    }
    written = static_cast<std::uint32_t>(took);
    return true;
}

bool deleteDiskFile(const char* name) { return platform().DeleteFileA(name) != FALSE; }

bool listFolder(const char* pattern, bool (*visit)(void* context, const char* name, bool isFolder), void* context) {
    WIN32_FIND_DATAA found{};
    HANDLE search = platform().FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool complete = true;
    // Each pass consumes one entry of the platform's listing, which ends when FindNextFileA fails.
    do {
        // cFileName is NUL-terminated within its array; the last byte is forced so a faulty
        // listing cannot run a copy past it.
        found.cFileName[sizeof(found.cFileName) - 1] = '\0';
        const char* name = found.cFileName;
        const bool dot = name[0] == '.' && name[1] == '\0';
        const bool dotDot = name[0] == '.' && name[1] == '.' && name[2] == '\0';
        if (!dot && !dotDot && !visit(context, name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)) {
            complete = false;
            break;
        }
    } while (platform().FindNextFileA(search, &found));
    // Read before FindClose, which may set its own.
    if (complete && platform().GetLastError() != ERROR_NO_MORE_FILES) {
        complete = false;
    }
    platform().FindClose(search);
    return complete;
}

bool executablePath(String& path) {
    char buffer[256] = {};
    const DWORD length = platform().GetModuleFileNameA(nullptr, buffer, sizeof(buffer));
    // 0 is a failure; a result that fills the buffer is a path cut short, whose directory would
    // be wrong (and, on older systems, not terminated).
    if (length == 0 || length >= sizeof(buffer)) {
        return false;
    }
    return path.assign(buffer, static_cast<std::uint32_t>(length));
}
