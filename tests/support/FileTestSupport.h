// Helpers of the file layer's tests: a temporary folder of real files under wine, the categories
// a fault registry fails for them, guards of the process-wide settings, and FileError printed by
// name in failure messages.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "core/fileio/File.h"
#include "core/fileio/PathSettings.h"
#include "core/fileio/SharedState.h"
#include "support/FaultHeap.h"

// GoogleTest prints a FileError through this: "CannotOpen (1)" rather than a bare number.
void PrintTo(FileError error, std::ostream* out);

namespace filetest {

// A fresh folder under the temporary directory, removed with everything in it at destruction: the
// one temporary-file helper of the file layer's and the plugin's tests. Names the ANSI code page
// cannot spell are made beneath it through the wide calls (writeW, makeFolderW) and removed the
// same way, innermost first, before the folder itself.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The folder with '/' separators and no trailing separator.
    const std::string& path() const { return root; }
    std::string file(const std::string& name) const { return root + "/" + name; }
    // Writes (or replaces) a file with the given bytes; false when it cannot be written.
    bool write(const std::string& name, const std::string& bytes) const;
    bool makeFolder(const std::string& name) const;
    // Writes (or replaces) a file with the given bytes and answers its path; empty when it cannot
    // be written.
    std::string add(const std::string& name, const std::vector<std::uint8_t>& bytes) const;
    // The folder's path in wide characters (it is ASCII), '/' separators.
    std::wstring widePath() const { return std::wstring(root.begin(), root.end()); }
    // The wide forms of makeFolder and write, taking a whole path beneath the folder.
    bool makeFolderW(const std::wstring& path);
    bool writeW(const std::wstring& path, const std::vector<std::uint8_t>& bytes);
    // The whole content of a file, or "<missing>".
    std::string read(const std::string& name) const;

private:
    std::string root;
    // What the wide calls made, in order.
    std::vector<std::wstring> madeWide;
};

// The raw open of a name on the disk, as resolution hands it over.
bool rawOpenOnDisk(File& file, const std::string& path);

// The categories file-layer tests route to the fault heap: engine objects, the arrays of the
// tests (5), archives and strings.
constexpr std::uint32_t faultyCategories = (1u << 0) | (1u << 5) | (1u << 10) | (1u << 15);

// Sets the process-wide line-end mode for one scope and puts the previous mode back at its end.
class LineEndModeGuard {
public:
    explicit LineEndModeGuard(std::uint32_t mode) : previous(lineEndMode.load()) { setLineEndMode(mode); }
    ~LineEndModeGuard() { setLineEndMode(previous); }
    LineEndModeGuard(const LineEndModeGuard&) = delete;
    LineEndModeGuard& operator=(const LineEndModeGuard&) = delete;

private:
    std::uint32_t previous;
};

// Empties the path settings at the end of a scope that set them.
class PathSettingsGuard {
public:
    PathSettingsGuard() = default;
    ~PathSettingsGuard() { setPathSettings(nullptr, nullptr, nullptr); }
    PathSettingsGuard(const PathSettingsGuard&) = delete;
    PathSettingsGuard& operator=(const PathSettingsGuard&) = delete;
};

} // namespace filetest
