// Turning a caller's name into the disk name or the archive entry that File::Open opens.
#include "core/fileio/NameResolution.h"

#include <cstring>
#include <utility>

#include "core/fileio/ArchiveMount.h"
#include "core/fileio/NameConversion.h"
#include "core/fileio/PakArchive.h"
#include "core/fileio/PathSettings.h"

ResolvedName::~ResolvedName() { PakArchive::Release(archive); }

bool ResolvedName::assignDisk(const char* name) { return diskName.assign(name); }

PakArchive* ResolvedName::takeArchive() { return std::exchange(archive, nullptr); }

std::uint32_t findArchiveStep(const String& path) {
    // Each pass starts behind the previous match, so the search ends. A ".pak" followed by any
    // other byte (tone.pak.wav, Sounds.paks/, kit.pak-2019/) is part of an ordinary name.
    for (std::uint32_t dot = path.find(".pak"); dot != String::npos; dot = path.find(".pak", dot + 1)) {
        if (dot + 4 < path.length() && path[dot + 4] == '/') {
            return dot;
        }
    }
    return String::npos;
}

bool buildAppendName(const String& name, bool skipPrefix, String& fullName) {
    if (skipPrefix) {
        return fullName.assign(name);
    }
    return copyPathPrefix(fullName) && fullName.append(name);
}

namespace {

// "\\?\" written with backslashes: Windows parses nothing behind it, so neither may we. Written
// with '/' it is an ordinary device path that Windows normalises.
bool isVerbatim(const char* name) { return std::strncmp(name, "\\\\?\\", 4) == 0; }

// "//./" and "//?/" (a device path once separators are '/'): their "/./" or "/?/" is not a step
// of the path. The collapse starts at the '/' that ends them.
std::uint32_t devicePrefixLength(const String& name) {
    const bool device = name.length() >= 4 && name[0] == '/' && name[1] == '/' && (name[2] == '.' || name[2] == '?') &&
                        name[3] == '/';
    return device ? 3 : 0;
}

// "/./" becomes "/" in one left-to-right pass: an occurrence that overlaps the one just replaced
// (a/././b) stays, as do a leading "./" and a trailing "/.".
bool collapseDotSteps(String& name) {
    const std::uint32_t kept = devicePrefixLength(name);
    std::uint32_t count = 0;
    if (kept == 0) {
        return name.replaceText("/./", "/", count);
    }
    String collapsed;
    String tail;
    if (!tail.assignSubstring(name, kept, String::npos) || !tail.replaceText("/./", "/", count) ||
        !collapsed.assign(name.c_str(), kept) || !collapsed.append(tail)) {
        return false;
    }
    name = std::move(collapsed);
    return true;
}

// The entry part of a path into an archive, as the archive is asked for it: collapsed, and for a
// wide name its ANSI spelling where it has one (so both forms find the same entries).
bool entryNameOf(const String& fullPath, std::uint32_t start, NameEncoding encoding, String& entryName) {
    if (!entryName.assignSubstring(fullPath, start, String::npos) || !collapseDotSteps(entryName)) {
        return false;
    }
    if (encoding != NameEncoding::Utf8) {
        return true;
    }
    String utf8Entry = std::move(entryName);
    return entryLookupName(utf8Entry, entryName);
}

} // namespace

bool resolveName(const char* callerName, bool skipPrefix, NameEncoding encoding, String& slashed,
                 ResolvedName& target) {
    String prefix;
    String fullPath;
    // The platform's form of the full path keeps the caller's separators; changing them to '/' changes
    // no length, so an index found in one form holds in the other.
    String written;
    if ((!skipPrefix && !copyPathPrefix(prefix)) || !fullPath.assign(prefix) || !fullPath.append(slashed) ||
        !written.assign(prefix) || !written.append(callerName)) {
        return false;
    }
    const bool verbatim = isVerbatim(written.c_str());
    const std::uint32_t step = findArchiveStep(fullPath);
    if (step == String::npos) {
        UnmountArchive();
    } else {
        // A verbatim name's archive file is opened as written, like the name itself would be.
        String archivePath;
        String entryName;
        if (!archivePath.assign((verbatim ? written : fullPath).c_str(), step + 4) ||
            !entryNameOf(fullPath, step + 5, encoding, entryName)) {
            return false;
        }
        PakArchive* archive = archiveForPath(archivePath, encoding);
        if (archive != nullptr) {
            target.archive = archive;
            target.entryName = std::move(entryName);
            return slashed.assign(target.entryName);
        }
        // Not an archive after all (a folder called x.pak, a damaged file): the whole name may
        // still be a file on the disk.
    }
    if (verbatim) {
        target.diskName = std::move(written);
        return true;
    }
    return collapseDotSteps(slashed) && target.diskName.assign(prefix) && target.diskName.append(slashed);
}
