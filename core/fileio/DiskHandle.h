// DiskHandle: every Win32 file call of the file layer (the handles that the disk backend and the
// pak archive share, deleting, listing a folder, the executable's path), each platform quirk dealt
// with once, here. Handles stay opaque (void*), null standing for none; the calls go through the
// platform table.
#pragma once

#include <cstdint>
#include <type_traits>

#include "core/Utils/String.h"
#include "core/fileio/NameEncoding.h"

// Opens an existing file for reading, shared for reading, writing and deleting. Null when it
// cannot be opened (INVALID_HANDLE_VALUE is never handed out). A UTF-8 name is opened by its
// UTF-16 form; one that cannot be converted (not UTF-8, no memory) cannot be opened.
void* openHandleForReading(const char* name, NameEncoding encoding);
// Opens a file for exclusive writing: truncated (or created) when append is false, else opened or
// created as it is. Null when it cannot be opened.
void* openHandleForWriting(const char* name, bool append);
// False when the platform reports the close failed. A null handle closes nothing and succeeds.
bool closeHandle(void* handle);
// The file's length; false (size 0) when it cannot be had or does not fit 32 bits.
bool queryHandleSize(void* handle, std::uint32_t& size);
// Moves the handle to an absolute position; every position below 4 GiB can be reached.
bool seekHandle(void* handle, std::uint32_t target);
// Reads up to count bytes; delivered is never more than count. False on a platform failure
// (delivered 0); true with delivered 0 at the end of the file.
bool readFromHandle(void* handle, void* buffer, std::uint32_t count, std::uint32_t& delivered);
// Writes count bytes; written is what the platform says it took. False on a platform failure.
bool writeToHandle(void* handle, const void* buffer, std::uint32_t count, std::uint32_t& written);

// Deletes the file on disk; false when the platform refuses.
bool deleteDiskFile(const char* name);

// Lists the folder entries matching pattern ("folder/*.*"), in the platform's order, calling
// visit(context, name, isFolder) for each but "." and "..". False when the listing cannot start,
// when visit answers false (the listing stops there), or when the platform's listing fails before
// its end.
bool listFolder(const char* pattern, bool (*visit)(void* context, const char* name, bool isFolder), void* context);
template <typename Visit>
bool listFolder(const char* pattern, Visit&& visit) {
    using Visitor = std::remove_reference_t<Visit>;
    return listFolder(
        pattern,
        [](void* context, const char* name, bool isFolder) { return (*static_cast<Visitor*>(context))(name, isFolder); },
        &visit);
}

// The full path of the process's executable, as the platform gives it. False when it cannot be
// had or does not fit the 256-byte buffer older systems used.
bool executablePath(String& path);
