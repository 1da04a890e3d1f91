// The native configuration's Windows calls on POSIX: files through open/read/lseek/fstat, directory
// listing through opendir/readdir, the module path from /proc, events on a mutex and a condition,
// wsprintfA's one template through vsnprintf, and bitmaps kept in memory. Each call keeps the
// Windows result conventions the system relies on (handles that are INVALID_HANDLE_VALUE or null on
// failure, a per-thread last error, INVALID_FILE_SIZE with NO_ERROR for a size that looks like the
// failure value). Nothing here allocates through the system's heaps: it stands where Windows does.
#include <windows.h>

#include <cstdint>

#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <limits.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

namespace {

thread_local DWORD lastError = NO_ERROR;

// Every handle points at one of these; the tag tells a call whether it was handed the right kind.
enum class Kind : std::uint32_t { File = 0x454C4946u, Search = 0x48435253u, Event = 0x544E5645u, Bitmap = 0x504D5442u };

struct Object {
    Kind kind;
};

struct FileObject {
    Object head;
    int descriptor;
    // What this open does and lets others do, for the sharing checks Windows makes.
    DWORD access;
    DWORD share;
    dev_t device;
    ino_t inode;
    FileObject* next;
};

// Every open file, so that an open or a delete can be refused as Windows refuses it: a file opened
// for exclusive writing opens for nobody else, and one opened without delete sharing stays.
pthread_mutex_t openFilesGuard = PTHREAD_MUTEX_INITIALIZER;
FileObject* openFiles = nullptr;

// Under openFilesGuard.
bool sharingAllows(const struct stat& status, DWORD access, DWORD share, bool deleting) {
    for (const FileObject* open = openFiles; open != nullptr; open = open->next) {
        if (open->device != status.st_dev || open->inode != status.st_ino) {
            continue;
        }
        if (deleting) {
            if ((open->share & FILE_SHARE_DELETE) == 0) {
                return false;
            }
            continue;
        }
        const bool theyRefuse = ((access & GENERIC_READ) != 0 && (open->share & FILE_SHARE_READ) == 0) ||
                                ((access & GENERIC_WRITE) != 0 && (open->share & FILE_SHARE_WRITE) == 0);
        const bool weRefuse = ((open->access & GENERIC_READ) != 0 && (share & FILE_SHARE_READ) == 0) ||
                              ((open->access & GENERIC_WRITE) != 0 && (share & FILE_SHARE_WRITE) == 0);
        if (theyRefuse || weRefuse) {
            return false;
        }
    }
    return true;
}

struct SearchObject {
    Object head;
    DIR* directory;
    char pattern[MAX_PATH];
};

struct EventObject {
    Object head;
    pthread_mutex_t mutex;
    pthread_cond_t signalled;
    bool manualReset;
    bool state;
};

struct BitmapObject {
    Object head;
    LONG width;
    LONG height; // rows, always positive; the pixels are stored bottom-up
    std::uint32_t* pixels;
};

// The one device context there is: the screen's.
struct DeviceContext {
    int unused;
} screenContext;

// The one console there is.
struct Console {
    int unused;
} consoleHandle;

// The one module there is: this program, which stands for sonolook.dll.
struct Module {
    int unused;
} programModule;

DWORD fromErrno(int error) {
    switch (error) {
    case 0:
        return NO_ERROR;
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
        return ERROR_ACCESS_DENIED;
    case EEXIST:
        return ERROR_FILE_EXISTS;
    case EMFILE:
    case ENFILE:
        return ERROR_TOO_MANY_OPEN_FILES;
    case ENOSPC:
        return ERROR_DISK_FULL;
    case ENAMETOOLONG:
        return ERROR_FILENAME_EXCED_RANGE;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EBADF:
        return ERROR_INVALID_HANDLE;
    case EINVAL:
        return ERROR_INVALID_PARAMETER;
    default:
        return ERROR_READ_FAULT;
    }
}

BOOL fail(DWORD error) {
    lastError = error;
    return FALSE;
}

template <typename T>
T* objectOf(HANDLE handle, Kind kind) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    Object* object = static_cast<Object*>(handle);
    return object->kind == kind ? reinterpret_cast<T*>(object) : nullptr;
}

// Whether a verbatim name (what follows "\\?\") names something Windows could open: it parses
// nothing there, so an empty step (a doubled separator), a "." or ".." step and a step ending in a
// dot or a space are names no file has.
bool verbatimNameValid(const char* rest) {
    const char* step = rest;
    // A POSIX path keeps its leading root.
    if (*step == '/' || *step == '\\') {
        ++step;
    }
    for (;;) {
        const char* end = step;
        while (*end != '\0' && *end != '/' && *end != '\\') {
            ++end;
        }
        const size_t length = static_cast<size_t>(end - step);
        const bool dots = (length == 1 && step[0] == '.') || (length == 2 && step[0] == '.' && step[1] == '.');
        if (length == 0 || dots || end[-1] == '.' || end[-1] == ' ') {
            return false;
        }
        if (*end == '\0') {
            return true;
        }
        step = end + 1;
    }
}

// Appends the steps of text (separated by '/' or '\\') to out[0 .. length), which holds a root, as
// Windows normalises a path by its text alone: empty and "." steps go, ".." takes the step before
// it away (never the root) whether or not that one exists, and the last step loses its trailing
// dots and spaces. Steps are joined by mark, which also goes before the first one when markFirst.
// Returns the new length; out ends with a NUL. Steps that do not fit are left out.
size_t appendNormalisedSteps(const char* text, char* out, size_t capacity, size_t length, char mark, bool markFirst) {
    const size_t root = length;
    for (const char* step = text; *step != '\0';) {
        const char* end = step;
        while (*end != '\0' && *end != '/' && *end != '\\') {
            ++end;
        }
        const size_t stepLength = static_cast<size_t>(end - step);
        if (stepLength == 2 && step[0] == '.' && step[1] == '.') {
            while (length > root && out[--length] != mark) {
            }
        } else if (stepLength > 0 && !(stepLength == 1 && step[0] == '.') && length + stepLength + 2 < capacity) {
            if (length > root || markFirst) {
                out[length++] = mark;
            }
            memcpy(out + length, step, stepLength);
            length += stepLength;
        }
        step = *end != '\0' ? end + 1 : end;
    }
    while (length > root + 1 && out[length - 2] != mark && (out[length - 1] == '.' || out[length - 1] == ' ')) {
        --length;
    }
    out[length] = '\0';
    return length;
}

// Windows takes either separator; the copy uses '/'. A verbatim "\\?\" name and a device path
// ("\\.\", "//./", "//?/") stand for the path behind their prefix; Windows normalises the device
// path and takes the verbatim one as it is. False when the name does not fit or, verbatim, could
// not name a file (lastError says which).
bool posixName(LPCSTR name, char (&path)[PATH_MAX]) {
    if (name == nullptr) {
        lastError = ERROR_INVALID_PARAMETER;
        return false;
    }
    const bool verbatim = strncmp(name, "\\\\?\\", 4) == 0;
    const bool device = (name[0] == '\\' || name[0] == '/') && name[1] == name[0] && (name[2] == '.' || name[2] == '?') &&
                        name[3] == name[0];
    if (verbatim || device) {
        name += 4;
    }
    if (verbatim && !verbatimNameValid(name)) {
        lastError = ERROR_INVALID_NAME;
        return false;
    }
    const size_t length = strlen(name);
    if (length >= sizeof(path)) {
        lastError = ERROR_FILENAME_EXCED_RANGE;
        return false;
    }
    if (verbatim) {
        for (size_t i = 0; i <= length; ++i) {
            path[i] = name[i] == '\\' ? '/' : name[i];
        }
        return true;
    }
    // Windows normalises the rest by its text alone.
    const bool rooted = name[0] == '/' || name[0] == '\\';
    path[0] = '/';
    if (appendNormalisedSteps(name, path, sizeof path, rooted ? 1 : 0, '/', false) == 0) {
        path[0] = '.';
        path[1] = '\0';
    }
    return true;
}

// "*.*" matches every name on Windows, those without a dot too.
bool patternMatches(const char* pattern, const char* name) {
    if (strcmp(pattern, "*.*") == 0 || strcmp(pattern, "*") == 0) {
        return true;
    }
    return fnmatch(pattern, name, FNM_PERIOD) == 0;
}

// Fills found from the next matching entry; false at the end or on an error (last error set).
bool nextEntry(SearchObject* search, LPWIN32_FIND_DATAA found) {
    for (;;) {
        errno = 0;
        struct dirent* entry = readdir(search->directory);
        if (entry == nullptr) {
            lastError = errno == 0 ? static_cast<DWORD>(ERROR_NO_MORE_FILES) : fromErrno(errno);
            return false;
        }
        if (!patternMatches(search->pattern, entry->d_name)) {
            continue;
        }
        memset(found, 0, sizeof(*found));
        snprintf(found->cFileName, sizeof(found->cFileName), "%s", entry->d_name);
        struct stat status {};
        if (fstatat(dirfd(search->directory), entry->d_name, &status, 0) == 0) {
            found->dwFileAttributes = S_ISDIR(status.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
            const std::uint64_t size = static_cast<std::uint64_t>(status.st_size);
            found->nFileSizeLow = static_cast<DWORD>(size);
            found->nFileSizeHigh = static_cast<DWORD>(size >> 32);
        } else {
            found->dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
        }
        lastError = NO_ERROR;
        return true;
    }
}

bool seekTo(FileObject* file, LONGLONG distance, DWORD method, LONGLONG& position) {
    int whence = SEEK_SET;
    if (method == FILE_CURRENT) {
        whence = SEEK_CUR;
    } else if (method == FILE_END) {
        whence = SEEK_END;
    } else if (method != FILE_BEGIN) {
        lastError = ERROR_INVALID_PARAMETER;
        return false;
    }
    const off_t result = lseek(file->descriptor, static_cast<off_t>(distance), whence);
    if (result < 0) {
        lastError = errno == EINVAL ? static_cast<DWORD>(ERROR_NEGATIVE_SEEK) : fromErrno(errno);
        return false;
    }
    position = result;
    lastError = NO_ERROR;
    return true;
}

// The code points of a UTF-8 text, one at a time. False at the end; a malformed sequence (a stray
// continuation byte, a sequence cut short, an overlong form, a surrogate or a value beyond
// U+10FFFF) yields U+FFFD with malformed set, and the walk goes on after its first byte.
bool nextUtf8(const unsigned char* text, size_t length, size_t& at, std::uint32_t& point, bool& malformed) {
    if (at >= length) {
        return false;
    }
    const unsigned char lead = text[at];
    size_t extra = lead < 0x80 ? 0 : (lead & 0xE0) == 0xC0 ? 1 : (lead & 0xF0) == 0xE0 ? 2 : (lead & 0xF8) == 0xF0 ? 3 : 4;
    std::uint32_t value = extra == 0 ? lead : extra == 1 ? (lead & 0x1Fu) : extra == 2 ? (lead & 0x0Fu) : (lead & 0x07u);
    // The first byte says how many continuation bytes follow; each must be there.
    bool bad = extra == 4;
    for (size_t i = 1; !bad && i <= extra; ++i) {
        if (at + i >= length || (text[at + i] & 0xC0) != 0x80) {
            bad = true;
        } else {
            value = (value << 6) | (text[at + i] & 0x3Fu);
        }
    }
    static const std::uint32_t smallest[4] = {0, 0x80, 0x800, 0x10000};
    if (!bad && (value < smallest[extra] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))) {
        bad = true;
    }
    if (bad) {
        malformed = true;
        point = 0xFFFD;
        at += 1;
        return true;
    }
    point = value;
    at += extra + 1;
    return true;
}

// The code points of UTF-16 units; a lone surrogate yields U+FFFD with malformed set.
bool nextUtf16(LPCWSTR text, size_t length, size_t& at, std::uint32_t& point, bool& malformed) {
    if (at >= length) {
        return false;
    }
    const std::uint32_t unit = static_cast<std::uint32_t>(text[at]) & 0xFFFFu;
    if (unit >= 0xD800 && unit <= 0xDBFF && at + 1 < length) {
        const std::uint32_t low = static_cast<std::uint32_t>(text[at + 1]) & 0xFFFFu;
        if (low >= 0xDC00 && low <= 0xDFFF) {
            point = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
            at += 2;
            return true;
        }
    }
    at += 1;
    if (unit >= 0xD800 && unit <= 0xDFFF) {
        malformed = true;
        point = 0xFFFD;
        return true;
    }
    point = unit;
    return true;
}

// Stores one output element when there is room and counts it either way; false once the given
// capacity is exceeded.
template <typename Unit>
bool put(Unit* target, int capacity, int& count, std::uint32_t value) {
    if (target != nullptr && capacity > 0) {
        if (count >= capacity) {
            return false;
        }
        target[count] = static_cast<Unit>(value);
    }
    ++count;
    return true;
}

// The UTF-16 name as the UTF-8 bytes a POSIX file system takes; false when it does not fit.
bool narrowName(LPCWSTR name, char (&path)[PATH_MAX]) {
    if (name == nullptr) {
        return false;
    }
    return WideCharToMultiByte(CP_UTF8, 0, name, -1, path, PATH_MAX, nullptr, nullptr) > 0;
}

// open(2)'s flags for CreateFileA's access and disposition; false for a disposition it lacks.
bool openFlags(DWORD access, DWORD disposition, int& flags) {
    const bool reads = (access & GENERIC_READ) != 0;
    const bool writes = (access & GENERIC_WRITE) != 0;
    flags = O_CLOEXEC | (reads && writes ? O_RDWR : writes ? O_WRONLY : O_RDONLY);
    switch (disposition) {
    case CREATE_NEW:
        flags |= O_CREAT | O_EXCL;
        return true;
    case CREATE_ALWAYS:
        flags |= O_CREAT | O_TRUNC;
        return true;
    case OPEN_EXISTING:
        return true;
    case OPEN_ALWAYS:
        flags |= O_CREAT;
        return true;
    case TRUNCATE_EXISTING:
        flags |= O_TRUNC;
        return true;
    default:
        return false;
    }
}

} // namespace

extern "C" {

DWORD GetLastError(void) { return lastError; }

void SetLastError(DWORD error) { lastError = error; }

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition, DWORD, HANDLE) {
    char path[PATH_MAX];
    if (!posixName(name, path)) {
        return INVALID_HANDLE_VALUE;
    }
    int flags = 0;
    if (!openFlags(access, disposition, flags)) {
        lastError = ERROR_INVALID_PARAMETER;
        return INVALID_HANDLE_VALUE;
    }
    // The sharing check comes before open(2), whose truncation would otherwise already be done.
    pthread_mutex_lock(&openFilesGuard);
    struct stat existing {};
    if (stat(path, &existing) == 0 && !S_ISDIR(existing.st_mode) && !sharingAllows(existing, access, share, false)) {
        pthread_mutex_unlock(&openFilesGuard);
        lastError = ERROR_SHARING_VIOLATION;
        return INVALID_HANDLE_VALUE;
    }
    const int descriptor = open(path, flags, 0666);
    // Windows refuses to open a folder as a file; open(2) allows it for reading.
    struct stat status {};
    FileObject* file = nullptr;
    if (descriptor < 0) {
        lastError = fromErrno(errno);
    } else if (fstat(descriptor, &status) != 0 || S_ISDIR(status.st_mode)) {
        lastError = ERROR_ACCESS_DENIED;
    } else if ((file = static_cast<FileObject*>(calloc(1, sizeof(FileObject)))) == nullptr) {
        lastError = ERROR_NOT_ENOUGH_MEMORY;
    }
    if (file == nullptr) {
        if (descriptor >= 0) {
            close(descriptor);
        }
        pthread_mutex_unlock(&openFilesGuard);
        return INVALID_HANDLE_VALUE;
    }
    file->head.kind = Kind::File;
    file->descriptor = descriptor;
    file->access = access;
    file->share = share;
    file->device = status.st_dev;
    file->inode = status.st_ino;
    file->next = openFiles;
    openFiles = file;
    pthread_mutex_unlock(&openFilesGuard);
    lastError = NO_ERROR;
    return file;
}

BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD count, LPDWORD got, LPOVERLAPPED) {
    FileObject* file = objectOf<FileObject>(handle, Kind::File);
    if (got != nullptr) {
        *got = 0;
    }
    if (file == nullptr) {
        return fail(ERROR_INVALID_HANDLE);
    }
    // A disk file delivers everything asked for up to its end.
    DWORD total = 0;
    while (total < count) {
        const ssize_t step = read(file->descriptor, static_cast<char*>(buffer) + total, count - total);
        if (step < 0 && errno == EINTR) {
            continue;
        }
        if (step < 0) {
            return fail(fromErrno(errno));
        }
        if (step == 0) {
            break;
        }
        total += static_cast<DWORD>(step);
    }
    if (got != nullptr) {
        *got = total;
    }
    lastError = NO_ERROR;
    return TRUE;
}

BOOL WriteFile(HANDLE handle, LPCVOID buffer, DWORD count, LPDWORD written, LPOVERLAPPED) {
    FileObject* file = objectOf<FileObject>(handle, Kind::File);
    if (written != nullptr) {
        *written = 0;
    }
    if (file == nullptr) {
        return fail(ERROR_INVALID_HANDLE);
    }
    DWORD total = 0;
    while (total < count) {
        const ssize_t step = write(file->descriptor, static_cast<const char*>(buffer) + total, count - total);
        if (step < 0 && errno == EINTR) {
            continue;
        }
        if (step < 0) {
            if (written != nullptr) {
                *written = total;
            }
            return fail(fromErrno(errno));
        }
        total += static_cast<DWORD>(step);
    }
    if (written != nullptr) {
        *written = total;
    }
    lastError = NO_ERROR;
    return TRUE;
}

DWORD SetFilePointer(HANDLE handle, LONG distance, PLONG distanceHigh, DWORD method) {
    FileObject* file = objectOf<FileObject>(handle, Kind::File);
    if (file == nullptr) {
        lastError = ERROR_INVALID_HANDLE;
        return INVALID_SET_FILE_POINTER;
    }
    // Without a high part the distance is a signed 32-bit number; with one, the two make 64 bits.
    LONGLONG wide = distance;
    if (distanceHigh != nullptr) {
        wide = static_cast<LONGLONG>((static_cast<std::uint64_t>(static_cast<std::uint32_t>(*distanceHigh)) << 32) |
                                     static_cast<std::uint32_t>(distance));
    }
    LONGLONG position = 0;
    if (!seekTo(file, wide, method, position)) {
        return INVALID_SET_FILE_POINTER;
    }
    if (distanceHigh != nullptr) {
        *distanceHigh = static_cast<LONG>(static_cast<std::uint64_t>(position) >> 32);
    }
    return static_cast<DWORD>(position);
}

BOOL SetFilePointerEx(HANDLE handle, LARGE_INTEGER distance, PLARGE_INTEGER newPosition, DWORD method) {
    FileObject* file = objectOf<FileObject>(handle, Kind::File);
    if (file == nullptr) {
        return fail(ERROR_INVALID_HANDLE);
    }
    LONGLONG position = 0;
    if (!seekTo(file, distance.QuadPart, method, position)) {
        return FALSE;
    }
    if (newPosition != nullptr) {
        newPosition->QuadPart = position;
    }
    return TRUE;
}

BOOL SetEndOfFile(HANDLE handle) {
    FileObject* file = objectOf<FileObject>(handle, Kind::File);
    if (file == nullptr) {
        return fail(ERROR_INVALID_HANDLE);
    }
    const off_t here = lseek(file->descriptor, 0, SEEK_CUR);
    if (here < 0 || ftruncate(file->descriptor, here) != 0) {
        return fail(fromErrno(errno));
    }
    lastError = NO_ERROR;
    return TRUE;
}

DWORD GetFileSize(HANDLE handle, LPDWORD sizeHigh) {
    FileObject* file = objectOf<FileObject>(handle, Kind::File);
    if (file == nullptr) {
        lastError = ERROR_INVALID_HANDLE;
        return INVALID_FILE_SIZE;
    }
    struct stat status {};
    if (fstat(file->descriptor, &status) != 0) {
        lastError = fromErrno(errno);
        return INVALID_FILE_SIZE;
    }
    const std::uint64_t size = static_cast<std::uint64_t>(status.st_size);
    if (sizeHigh != nullptr) {
        *sizeHigh = static_cast<DWORD>(size >> 32);
    }
    // Set on success too: a size whose low half is 0xFFFFFFFF is told from a failure this way.
    lastError = NO_ERROR;
    return static_cast<DWORD>(size);
}

BOOL DeleteFileA(LPCSTR name) {
    char path[PATH_MAX];
    if (!posixName(name, path)) {
        return fail(ERROR_FILENAME_EXCED_RANGE);
    }
    pthread_mutex_lock(&openFilesGuard);
    struct stat status {};
    if (stat(path, &status) == 0 && !sharingAllows(status, 0, 0, true)) {
        pthread_mutex_unlock(&openFilesGuard);
        return fail(ERROR_SHARING_VIOLATION);
    }
    const int result = unlink(path);
    pthread_mutex_unlock(&openFilesGuard);
    if (result != 0) {
        return fail(fromErrno(errno));
    }
    lastError = NO_ERROR;
    return TRUE;
}

BOOL CreateDirectoryA(LPCSTR name, LPSECURITY_ATTRIBUTES) {
    char path[PATH_MAX];
    if (!posixName(name, path)) {
        return fail(ERROR_FILENAME_EXCED_RANGE);
    }
    if (mkdir(path, 0777) != 0) {
        return fail(errno == EEXIST ? static_cast<DWORD>(ERROR_ALREADY_EXISTS) : fromErrno(errno));
    }
    lastError = NO_ERROR;
    return TRUE;
}

BOOL RemoveDirectoryA(LPCSTR name) {
    char path[PATH_MAX];
    if (!posixName(name, path)) {
        return fail(ERROR_FILENAME_EXCED_RANGE);
    }
    if (rmdir(path) != 0) {
        return fail(fromErrno(errno));
    }
    lastError = NO_ERROR;
    return TRUE;
}

DWORD GetTempPathA(DWORD capacity, LPSTR buffer) {
    const char* folder = getenv("TMPDIR");
    if (folder == nullptr || folder[0] == '\0') {
        folder = "/tmp";
    }
    const size_t length = strlen(folder);
    const bool slash = folder[length - 1] == '/';
    const size_t needed = length + (slash ? 0 : 1);
    if (buffer == nullptr || needed + 1 > capacity) {
        return static_cast<DWORD>(needed + 1);
    }
    snprintf(buffer, capacity, "%s%s", folder, slash ? "" : "/");
    return static_cast<DWORD>(needed);
}

HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA found) {
    char path[PATH_MAX];
    if (!posixName(pattern, path) || found == nullptr) {
        lastError = ERROR_INVALID_PARAMETER;
        return INVALID_HANDLE_VALUE;
    }
    char* slash = strrchr(path, '/');
    const char* namePattern = path;
    const char* folder = ".";
    if (slash != nullptr) {
        *slash = '\0';
        namePattern = slash + 1;
        folder = slash == path ? "/" : path;
    }
    if (strlen(namePattern) >= MAX_PATH) {
        lastError = ERROR_FILENAME_EXCED_RANGE;
        return INVALID_HANDLE_VALUE;
    }
    SearchObject* search = static_cast<SearchObject*>(calloc(1, sizeof(SearchObject)));
    if (search == nullptr) {
        lastError = ERROR_NOT_ENOUGH_MEMORY;
        return INVALID_HANDLE_VALUE;
    }
    search->head.kind = Kind::Search;
    snprintf(search->pattern, sizeof(search->pattern), "%s", namePattern);
    search->directory = opendir(folder);
    if (search->directory == nullptr) {
        lastError = errno == ENOENT ? static_cast<DWORD>(ERROR_PATH_NOT_FOUND) : fromErrno(errno);
        free(search);
        return INVALID_HANDLE_VALUE;
    }
    if (!nextEntry(search, found)) {
        const DWORD error = lastError == ERROR_NO_MORE_FILES ? static_cast<DWORD>(ERROR_FILE_NOT_FOUND) : lastError;
        closedir(search->directory);
        free(search);
        lastError = error;
        return INVALID_HANDLE_VALUE;
    }
    return search;
}

BOOL FindNextFileA(HANDLE handle, LPWIN32_FIND_DATAA found) {
    SearchObject* search = objectOf<SearchObject>(handle, Kind::Search);
    if (search == nullptr || found == nullptr) {
        return fail(ERROR_INVALID_HANDLE);
    }
    return nextEntry(search, found) ? TRUE : FALSE;
}

BOOL FindClose(HANDLE handle) {
    SearchObject* search = objectOf<SearchObject>(handle, Kind::Search);
    if (search == nullptr) {
        return fail(ERROR_INVALID_HANDLE);
    }
    closedir(search->directory);
    search->head.kind = Kind{};
    free(search);
    return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
    if (FileObject* file = objectOf<FileObject>(handle, Kind::File)) {
        pthread_mutex_lock(&openFilesGuard);
        for (FileObject** link = &openFiles; *link != nullptr; link = &(*link)->next) {
            if (*link == file) {
                *link = file->next;
                break;
            }
        }
        pthread_mutex_unlock(&openFilesGuard);
        const int result = close(file->descriptor);
        file->head.kind = Kind{};
        free(file);
        return result == 0 ? TRUE : fail(fromErrno(errno));
    }
    if (EventObject* event = objectOf<EventObject>(handle, Kind::Event)) {
        pthread_cond_destroy(&event->signalled);
        pthread_mutex_destroy(&event->mutex);
        event->head.kind = Kind{};
        free(event);
        return TRUE;
    }
    return fail(ERROR_INVALID_HANDLE);
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD capacity) {
    if (module != nullptr && module != reinterpret_cast<HMODULE>(&programModule)) {
        lastError = ERROR_INVALID_HANDLE;
        return 0;
    }
    char path[PATH_MAX] = {};
    const ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (length <= 0 || buffer == nullptr || capacity == 0) {
        lastError = length <= 0 ? fromErrno(errno) : static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    // A path that does not fit is cut to the buffer, terminated, and reported as filling it.
    if (static_cast<size_t>(length) >= capacity) {
        memcpy(buffer, path, capacity - 1);
        buffer[capacity - 1] = '\0';
        lastError = ERROR_INSUFFICIENT_BUFFER;
        return capacity;
    }
    memcpy(buffer, path, static_cast<size_t>(length) + 1);
    lastError = NO_ERROR;
    return static_cast<DWORD>(length);
}

HMODULE LoadLibraryA(LPCSTR name) {
    if (name == nullptr) {
        lastError = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    const char* base = strrchr(name, '/');
    const char* backslash = strrchr(name, '\\');
    if (backslash != nullptr && (base == nullptr || backslash > base)) {
        base = backslash;
    }
    base = base == nullptr ? name : base + 1;
    if (strcasecmp(base, "sonolook.dll") != 0) {
        lastError = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    lastError = NO_ERROR;
    return reinterpret_cast<HMODULE>(&programModule);
}

HMODULE LoadLibraryExA(LPCSTR name, HANDLE, DWORD) { return LoadLibraryA(name); }

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
    if (module != reinterpret_cast<HMODULE>(&programModule) || name == nullptr) {
        lastError = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    void* symbol = dlsym(RTLD_DEFAULT, name);
    if (symbol == nullptr) {
        lastError = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(symbol);
}

BOOL FreeLibrary(HMODULE module) {
    return module == reinterpret_cast<HMODULE>(&programModule) ? TRUE : fail(ERROR_INVALID_HANDLE);
}

DWORD GetCurrentProcessId(void) { return static_cast<DWORD>(getpid()); }

DWORD GetCurrentThreadId(void) { return static_cast<DWORD>(syscall(SYS_gettid)); }

void Sleep(DWORD milliseconds) {
    struct timespec pause {};
    pause.tv_sec = static_cast<time_t>(milliseconds / 1000);
    pause.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCSTR) {
    EventObject* event = static_cast<EventObject*>(calloc(1, sizeof(EventObject)));
    if (event == nullptr) {
        lastError = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    event->head.kind = Kind::Event;
    pthread_mutex_init(&event->mutex, nullptr);
    pthread_cond_init(&event->signalled, nullptr);
    event->manualReset = manualReset != FALSE;
    event->state = initialState != FALSE;
    lastError = NO_ERROR;
    return event;
}

BOOL SetEvent(HANDLE handle) {
    EventObject* event = objectOf<EventObject>(handle, Kind::Event);
    if (event == nullptr) {
        return fail(ERROR_INVALID_HANDLE);
    }
    pthread_mutex_lock(&event->mutex);
    event->state = true;
    pthread_cond_broadcast(&event->signalled);
    pthread_mutex_unlock(&event->mutex);
    return TRUE;
}

BOOL ResetEvent(HANDLE handle) {
    EventObject* event = objectOf<EventObject>(handle, Kind::Event);
    if (event == nullptr) {
        return fail(ERROR_INVALID_HANDLE);
    }
    pthread_mutex_lock(&event->mutex);
    event->state = false;
    pthread_mutex_unlock(&event->mutex);
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    EventObject* event = objectOf<EventObject>(handle, Kind::Event);
    if (event == nullptr) {
        lastError = ERROR_INVALID_HANDLE;
        return WAIT_FAILED;
    }
    struct timespec deadline {};
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += static_cast<time_t>(milliseconds / 1000);
    deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    pthread_mutex_lock(&event->mutex);
    int waited = 0;
    while (!event->state && milliseconds != 0 && waited == 0) {
        waited = milliseconds == INFINITE ? pthread_cond_wait(&event->signalled, &event->mutex)
                                          : pthread_cond_timedwait(&event->signalled, &event->mutex, &deadline);
    }
    const bool signalled = event->state;
    if (signalled && !event->manualReset) {
        event->state = false;
    }
    pthread_mutex_unlock(&event->mutex);
    return signalled ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

void OutputDebugStringA(LPCSTR) {}

void DebugBreak(void) { abort(); }

HANDLE GetStdHandle(DWORD which) {
    if (which != STD_INPUT_HANDLE && which != STD_OUTPUT_HANDLE && which != STD_ERROR_HANDLE) {
        lastError = ERROR_INVALID_HANDLE;
        return INVALID_HANDLE_VALUE;
    }
    return reinterpret_cast<HANDLE>(&consoleHandle);
}

BOOL SetConsoleTextAttribute(HANDLE console, WORD) {
    return console == reinterpret_cast<HANDLE>(&consoleHandle) ? TRUE : fail(ERROR_INVALID_HANDLE);
}

LPSTR lstrcpynA(LPSTR target, LPCSTR source, int capacity) {
    if (target == nullptr || source == nullptr || capacity <= 0) {
        return target;
    }
    int i = 0;
    for (; i + 1 < capacity && source[i] != '\0'; ++i) {
        target[i] = source[i];
    }
    target[i] = '\0';
    return target;
}

// wsprintfA writes at most 1024 characters and a NUL, whatever the buffer. "%hs" names an 8-bit
// string there, which is what "%s" is to vsnprintf; the rest of its directives read alike.
int wsprintfA(LPSTR buffer, LPCSTR format, ...) {
    char translated[1024];
    size_t out = 0;
    for (size_t in = 0; format[in] != '\0' && out + 1 < sizeof(translated); ++in) {
        if (format[in] == '%' && format[in + 1] == 'h' && format[in + 2] == 's') {
            translated[out++] = '%';
            ++in; // drop the 'h'
            continue;
        }
        translated[out++] = format[in];
    }
    translated[out] = '\0';
    va_list arguments;
    va_start(arguments, format);
    const int length = vsnprintf(buffer, 1025, translated, arguments);
    va_end(arguments);
    if (length < 0) {
        return length;
    }
    return length > 1024 ? 1024 : length;
}

HWND GetDesktopWindow(void) { return reinterpret_cast<HWND>(&screenContext); }

HDC GetDC(HWND) { return reinterpret_cast<HDC>(&screenContext); }

int ReleaseDC(HWND, HDC context) { return context == reinterpret_cast<HDC>(&screenContext) ? 1 : 0; }

HBITMAP CreateDIBitmap(HDC context, const BITMAPINFOHEADER* header, DWORD init, const void* bits, const BITMAPINFO* info,
                       UINT) {
    if (context == nullptr || header == nullptr || header->biWidth <= 0 || header->biHeight == 0 ||
        header->biHeight == INT32_MIN) {
        lastError = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    const bool copies = (init & CBM_INIT) != 0 && bits != nullptr;
    if (copies && (info == nullptr || info->bmiHeader.biBitCount != 32 || info->bmiHeader.biCompression != BI_RGB)) {
        lastError = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    const LONG rows = header->biHeight < 0 ? -header->biHeight : header->biHeight;
    const size_t count = static_cast<size_t>(header->biWidth) * static_cast<size_t>(rows);
    BitmapObject* bitmap = static_cast<BitmapObject*>(calloc(1, sizeof(BitmapObject)));
    std::uint32_t* pixels = static_cast<std::uint32_t*>(calloc(count, sizeof(std::uint32_t)));
    if (bitmap == nullptr || pixels == nullptr) {
        free(bitmap);
        free(pixels);
        lastError = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    bitmap->head.kind = Kind::Bitmap;
    bitmap->width = header->biWidth;
    bitmap->height = rows;
    bitmap->pixels = pixels;
    if (copies) {
        const std::uint32_t* source = static_cast<const std::uint32_t*>(bits);
        const bool topDown = info->bmiHeader.biHeight < 0;
        for (LONG row = 0; row < rows; ++row) {
            const LONG from = topDown ? rows - 1 - row : row;
            memcpy(pixels + static_cast<size_t>(row) * static_cast<size_t>(bitmap->width),
                   source + static_cast<size_t>(from) * static_cast<size_t>(bitmap->width),
                   static_cast<size_t>(bitmap->width) * sizeof(std::uint32_t));
        }
    }
    return reinterpret_cast<HBITMAP>(bitmap);
}

int GetDIBits(HDC context, HBITMAP handle, UINT start, UINT lines, LPVOID bits, BITMAPINFO* info, UINT) {
    BitmapObject* bitmap = objectOf<BitmapObject>(handle, Kind::Bitmap);
    if (context == nullptr || bitmap == nullptr || info == nullptr || bits == nullptr ||
        info->bmiHeader.biBitCount != 32 || info->bmiHeader.biWidth != bitmap->width) {
        return 0;
    }
    const bool topDown = info->bmiHeader.biHeight < 0;
    std::uint32_t* target = static_cast<std::uint32_t*>(bits);
    UINT copied = 0;
    for (UINT line = 0; line < lines && start + line < static_cast<UINT>(bitmap->height); ++line) {
        const UINT row = start + line;
        const UINT from = topDown ? static_cast<UINT>(bitmap->height) - 1 - row : row;
        memcpy(target + static_cast<size_t>(line) * static_cast<size_t>(bitmap->width),
               bitmap->pixels + static_cast<size_t>(from) * static_cast<size_t>(bitmap->width),
               static_cast<size_t>(bitmap->width) * sizeof(std::uint32_t));
        ++copied;
    }
    return static_cast<int>(copied);
}

int GetObjectA(HGDIOBJ handle, int capacity, LPVOID buffer) {
    BitmapObject* bitmap = objectOf<BitmapObject>(handle, Kind::Bitmap);
    if (bitmap == nullptr || buffer == nullptr || capacity < static_cast<int>(sizeof(BITMAP))) {
        return 0;
    }
    BITMAP* shape = static_cast<BITMAP*>(buffer);
    memset(shape, 0, sizeof(*shape));
    shape->bmWidth = bitmap->width;
    shape->bmHeight = bitmap->height;
    shape->bmWidthBytes = bitmap->width * 4;
    shape->bmPlanes = 1;
    shape->bmBitsPixel = 32;
    return static_cast<int>(sizeof(BITMAP));
}

BOOL DeleteObject(HGDIOBJ handle) {
    BitmapObject* bitmap = objectOf<BitmapObject>(handle, Kind::Bitmap);
    if (bitmap == nullptr) {
        return FALSE;
    }
    free(bitmap->pixels);
    bitmap->head.kind = Kind{};
    free(bitmap);
    return TRUE;
}

// Made absolute against the current folder; empty steps and "." go, ".." takes the step before
// it away, and the last step loses its trailing dots and spaces, as Windows normalises. Prefixed
// names are given back as they are. The result keeps '/' separators, which the stand-in's file
// calls take. (No allocation: the module's operator new may be failing on purpose.)
DWORD GetFullPathNameW(LPCWSTR name, DWORD capacity, LPWSTR buffer, LPWSTR* filePart) {
    char narrow[PATH_MAX];
    if (!narrowName(name, narrow)) {
        lastError = ERROR_FILENAME_EXCED_RANGE;
        return 0;
    }
    char joined[2 * PATH_MAX] = {};
    char full[2 * PATH_MAX] = {};
    const auto separator = [](char c) { return c == '/' || c == '\\'; };
    const bool prefixed = separator(narrow[0]) && narrow[1] == narrow[0] && (narrow[2] == '.' || narrow[2] == '?') &&
                          narrow[3] == narrow[0];
    // Drive and UNC paths keep their root and get Windows' separators; POSIX paths keep '/'.
    const bool drive = ((narrow[0] | 0x20) >= 'a' && (narrow[0] | 0x20) <= 'z') && narrow[1] == ':' && separator(narrow[2]);
    const bool unc = !prefixed && separator(narrow[0]) && separator(narrow[1]);
    const char mark = drive || unc ? '\\' : '/';
    size_t length = 0;
    if (prefixed) {
        snprintf(full, sizeof full, "%s", narrow);
        length = strlen(full);
    } else {
        if (drive || unc) {
            full[0] = drive ? narrow[0] : '\\';
            full[1] = drive ? ':' : '\0';
            length = drive ? 2 : 1;
        } else if (!separator(narrow[0])) {
            char folder[PATH_MAX];
            if (getcwd(folder, sizeof folder) == nullptr) {
                lastError = fromErrno(errno);
                return 0;
            }
            snprintf(joined, sizeof joined, "%s/", folder);
        }
        const size_t rootLength = length;
        strncat(joined, narrow + (drive || unc ? 2 : 0), sizeof joined - strlen(joined) - 1);
        length = appendNormalisedSteps(joined, full, sizeof full, rootLength, mark, true);
        if (length == rootLength) {
            full[length++] = mark;
            full[length] = '\0';
        }
    }
    const int units = MultiByteToWideChar(CP_UTF8, 0, full, -1, nullptr, 0);
    if (units <= 0) {
        lastError = ERROR_INVALID_NAME;
        return 0;
    }
    if (buffer == nullptr || capacity < static_cast<DWORD>(units)) {
        return static_cast<DWORD>(units);
    }
    MultiByteToWideChar(CP_UTF8, 0, full, -1, buffer, static_cast<int>(capacity));
    if (filePart != nullptr) {
        *filePart = nullptr;
    }
    return static_cast<DWORD>(units - 1);
}

HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                   DWORD flags, HANDLE templateFile) {
    char path[PATH_MAX];
    if (!narrowName(name, path)) {
        lastError = name == nullptr ? static_cast<DWORD>(ERROR_INVALID_PARAMETER) : static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE);
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileA(path, access, share, security, disposition, flags, templateFile);
}

BOOL DeleteFileW(LPCWSTR name) {
    char path[PATH_MAX];
    return narrowName(name, path) ? DeleteFileA(path) : fail(ERROR_FILENAME_EXCED_RANGE);
}

BOOL CreateDirectoryW(LPCWSTR name, LPSECURITY_ATTRIBUTES security) {
    char path[PATH_MAX];
    return narrowName(name, path) ? CreateDirectoryA(path, security) : fail(ERROR_FILENAME_EXCED_RANGE);
}

BOOL RemoveDirectoryW(LPCWSTR name) {
    char path[PATH_MAX];
    return narrowName(name, path) ? RemoveDirectoryA(path) : fail(ERROR_FILENAME_EXCED_RANGE);
}

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR source, int sourceLength, LPWSTR target, int capacity) {
    if (source == nullptr || sourceLength == 0 || capacity < 0 || (codePage != CP_UTF8 && codePage != CP_ACP)) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    // -1: the text and its NUL.
    const size_t length = sourceLength < 0 ? strlen(source) + 1 : static_cast<size_t>(sourceLength);
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(source);
    int count = 0;
    bool malformed = false;
    size_t at = 0;
    std::uint32_t point = 0;
    while (codePage == CP_ACP ? (at < length && ((point = bytes[at++]), true)) : nextUtf8(bytes, length, at, point, malformed)) {
        const bool fits = point < 0x10000 ? put(target, capacity, count, point)
                                          : put(target, capacity, count, 0xD800 + ((point - 0x10000) >> 10)) &&
                                                put(target, capacity, count, 0xDC00 + ((point - 0x10000) & 0x3FF));
        if (!fits) {
            return fail(ERROR_INSUFFICIENT_BUFFER);
        }
    }
    if (malformed && (flags & MB_ERR_INVALID_CHARS) != 0) {
        return fail(ERROR_NO_UNICODE_TRANSLATION);
    }
    lastError = NO_ERROR;
    return count;
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR source, int sourceLength, LPSTR target, int capacity,
                        LPCSTR defaultCharacter, LPBOOL usedDefault) {
    if (source == nullptr || sourceLength == 0 || capacity < 0 || (codePage != CP_UTF8 && codePage != CP_ACP)) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    // As Windows: UTF-8 has no default character, and asking for one is a parameter error.
    if (codePage == CP_UTF8 && (defaultCharacter != nullptr || usedDefault != nullptr)) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    size_t length = 0;
    if (sourceLength < 0) {
        while (source[length] != 0) {
            ++length;
        }
        ++length;
    } else {
        length = static_cast<size_t>(sourceLength);
    }
    int count = 0;
    bool malformed = false;
    bool defaulted = false;
    size_t at = 0;
    std::uint32_t point = 0;
    while (nextUtf16(source, length, at, point, malformed)) {
        bool fits = true;
        if (codePage == CP_ACP) {
            defaulted = defaulted || point > 0xFF;
            fits = put(target, capacity, count, point > 0xFF ? '?' : point);
        } else if (point < 0x80) {
            fits = put(target, capacity, count, point);
        } else if (point < 0x800) {
            fits = put(target, capacity, count, 0xC0 | (point >> 6)) && put(target, capacity, count, 0x80 | (point & 0x3F));
        } else if (point < 0x10000) {
            fits = put(target, capacity, count, 0xE0 | (point >> 12)) &&
                   put(target, capacity, count, 0x80 | ((point >> 6) & 0x3F)) &&
                   put(target, capacity, count, 0x80 | (point & 0x3F));
        } else {
            fits = put(target, capacity, count, 0xF0 | (point >> 18)) &&
                   put(target, capacity, count, 0x80 | ((point >> 12) & 0x3F)) &&
                   put(target, capacity, count, 0x80 | ((point >> 6) & 0x3F)) &&
                   put(target, capacity, count, 0x80 | (point & 0x3F));
        }
        if (!fits) {
            return fail(ERROR_INSUFFICIENT_BUFFER);
        }
    }
    if (malformed && codePage == CP_UTF8 && (flags & WC_ERR_INVALID_CHARS) != 0) {
        return fail(ERROR_NO_UNICODE_TRANSLATION);
    }
    if (usedDefault != nullptr) {
        *usedDefault = defaulted || malformed ? TRUE : FALSE;
    }
    lastError = NO_ERROR;
    return count;
}

} // extern "C"
