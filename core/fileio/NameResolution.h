// Name resolution: what a caller's name really opens. The name gets '/' separators and the
// process-wide prefix; a path that runs through an archive (a ".pak" step followed by '/') opens
// the entry behind it in that archive, mounting it on the way; every other path opens a file on
// the disk, whatever is mounted. The result is one value that the raw open takes over, so nothing
// else passes between resolution and the open.
#pragma once

#include <cstdint>

#include "core/Utils/String.h"
#include "core/fileio/NameEncoding.h"

class PakArchive;

// What a name resolved into: an entry of an archive (archive set, holding one reference of its
// own, and entryName), or else a file on the disk (diskName, as the platform gets it).
class ResolvedName {
public:
    ResolvedName() = default;
    // Gives back the archive reference nobody took.
    ~ResolvedName();
    ResolvedName(const ResolvedName&) = delete;
    ResolvedName& operator=(const ResolvedName&) = delete;

    // A name on the disk, taken as it is (a probe, or a raw open outside resolution). False when
    // the copy cannot be had.
    bool assignDisk(const char* name);
    // Hands the archive and its reference over to the caller; null for a disk name.
    PakArchive* takeArchive();

    String diskName;
    String entryName;
    PakArchive* archive = nullptr;
};

// Where the leftmost ".pak" step followed by '/' starts in path (the index of its '.'); npos when
// the path runs through no archive. Only lower-case ".pak" counts, as the archive files are named.
std::uint32_t findArchiveStep(const String& path);

// Resolves a caller's name for reading. slashed is the caller's name with '/' separators; on
// success it becomes the object's name: "/./" steps collapsed, and inside an archive the entry
// name alone. A name that starts with "\\?\" (backslashes, as written) is Windows' own verbatim
// form: it reaches the disk exactly as given. "//./" and "//?/" at the start are kept out of the
// collapse. A path through an archive mounts it unless it is the mounted one; any other path
// drops the mount and goes to the disk, as does a path whose archive cannot be mounted (with its
// name unsplit). The caller holds fileLock. False only when memory cannot be had.
bool resolveName(const char* callerName, bool skipPrefix, NameEncoding encoding, String& slashed,
                 ResolvedName& target);

// The disk name of an append: prefix (none with skipPrefix) followed by the name; no archive
// takes part and nothing is collapsed.
bool buildAppendName(const String& name, bool skipPrefix, String& fullName);
