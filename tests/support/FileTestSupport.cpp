#include "support/FileTestSupport.h"

#include <cstdio>

#include "core/fileio/NameResolution.h"

void PrintTo(FileError error, std::ostream* out) {
    static const char* const names[] = {"None", "CannotOpen", "NotOpen", "AlreadyOpened", "AlreadyLoaded",
                                        "LoadEmpty", "ReadOnAppend", "WriteOnRead", "Unused8", "ReadFailed",
                                        "WriteFailed", "WriteNotAtEnd", "SeekFailed"};
    const auto number = static_cast<std::uint32_t>(error);
    *out << (number < sizeof names / sizeof names[0] ? names[number] : "?") << " (" << number << ")";
}

namespace filetest {

namespace {

std::atomic<int> folderNumber{0};

void removeTree(const std::string& path) {
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA((path + "/*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string entry = found.cFileName;
            if (entry == "." || entry == "..") {
                continue;
            }
            const std::string full = path + "/" + entry;
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                removeTree(full);
            } else {
                DeleteFileA(full.c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
}

} // namespace

TempFolder::TempFolder() {
    char temp[MAX_PATH + 1] = {};
    GetTempPathA(MAX_PATH, temp);
    root = temp;
    for (char& c : root) {
        if (c == '\\') {
            c = '/';
        }
    }
    while (!root.empty() && root.back() == '/') {
        root.pop_back();
    }
    root += "/sonolook_file_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(folderNumber++);
    removeTree(root);
    CreateDirectoryA(root.c_str(), nullptr);
}

TempFolder::~TempFolder() {
    for (auto made = madeWide.rbegin(); made != madeWide.rend(); ++made) {
        if (!DeleteFileW(made->c_str())) {
            RemoveDirectoryW(made->c_str());
        }
    }
    removeTree(root);
}

bool TempFolder::write(const std::string& name, const std::string& bytes) const {
    HANDLE h = CreateFileA(file(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const BOOL ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
    return ok && written == bytes.size();
}

bool TempFolder::makeFolder(const std::string& name) const {
    return CreateDirectoryA(file(name).c_str(), nullptr) != FALSE;
}

std::string TempFolder::add(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
    return write(name, std::string(bytes.begin(), bytes.end())) ? file(name) : std::string();
}

bool TempFolder::makeFolderW(const std::wstring& path) {
    // One a crashed run left behind (process numbers come round again) is taken as it is: the
    // 8-bit calls that empty the folder at the start cannot name it.
    if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        return false;
    }
    madeWide.push_back(path);
    return true;
}

bool TempFolder::writeW(const std::wstring& path, const std::vector<std::uint8_t>& bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    madeWide.push_back(path);
    DWORD written = 0;
    const BOOL ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
    return ok && written == bytes.size();
}

std::string TempFolder::read(const std::string& name) const {
    HANDLE h = CreateFileA(file(name).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return "<missing>";
    }
    std::string content;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(h, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
        content.append(buffer, got);
    }
    CloseHandle(h);
    return content;
}

bool rawOpenOnDisk(File& file, const std::string& path) {
    ResolvedName target;
    return target.assignDisk(path.c_str()) && file.RawOpenRead(target);
}

} // namespace filetest
