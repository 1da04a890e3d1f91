// Path resolution state and rules of the file layer: the process-wide PathSettings record (the
// query path and the two parts of the path prefix), the detection of a ".pak" step in a path, and
// the resolution that turns a caller's name into what File::Open really opens, mounting or
// dropping the process-wide archive on the way. Callers may write '\\' or '/'; from here on every
// name carries '/' only, so that one byte-wise comparison (no folding of letter case, as on the
// archive's hashed names) decides whether two paths name the same archive.
#pragma once

#include <cstdint>

#include "core/Utils/String.h"
#include "core/fileio/NameEncoding.h"

class PakArchive;

class PathSettings {
public:
    String queryPath;    // returned, as a copy, by File::QueryPath
    String reservedPath; // read by nothing
    String prefixHead;   // first part of the path prefix
    String prefixTail;   // second part of the path prefix
};

// The process-wide record, built empty on first use by a thread-safe one-time initialisation and
// destroyed at exit. Its strings are only read and written through the functions below.
PathSettings& pathSettings();

// Replaces the query path and the two prefix parts (null counts as empty). False when the copies
// cannot be allocated; the settings are then unchanged. With a non-empty prefix every name opened
// by an object without skipPrefix gets it in front, the archive path included.
bool setPathSettings(const char* queryPath, const char* prefixHead, const char* prefixTail);
// Copies prefixHead followed by prefixTail (or the query path) into result; false when the copy
// cannot be allocated.
bool copyPathPrefix(String& result);
bool copyQueryPath(String& result);

// What the leftmost lower-case ".pak" of a full path says about an archive.
enum class PakStep : std::uint32_t {
    None = 0,        // no ".pak" at all
    ArchiveItself,   // the path ends right after ".pak": the archive file itself
    Entry,           // ".pak" is followed by '/': archive path and entry name
    OtherByte,       // ".pak" is followed by another byte (a.paks/x): not an archive step
};

struct PakSplit {
    PakStep step;
    std::uint32_t archiveLength; // Entry: length of the archive path, up to and including ".pak"
    std::uint32_t entryStart;    // Entry: index of the entry name, just behind the '/'
};

PakSplit findPakStep(const String& fullPath);

// The full path of an open: prefix (empty with skipPrefix) followed by name. False when memory
// for the strings cannot be had.
bool buildFullPath(const String& name, bool skipPrefix, String& prefix, String& fullPath);

// Where an open goes once its path's ".pak" step has been acted on.
enum class ArchiveRoute : std::uint32_t {
    Disk = 0,         // no archive is mounted: the prefixed name is opened on the disk
    Entry,            // the path's archive is mounted: the entry name is opened inside it
    MountedArchive,   // an archive stays mounted for a path that names none of its own
                      // (a.paks/x): the name is opened inside it as it is
    NoMemory,         // the strings of the decision could not be allocated; nothing changed
};

// Acts on the leftmost ".pak" step of fullPath: mounts the archive it names, keeps the mounted one
// when it is the same (an exact, case-sensitive comparison of archive paths), and drops the mounted
// one when the path names another archive, no archive, or the archive file itself. A failed mount
// leaves nothing mounted and the route Disk. For Entry, entryName receives the entry name (what
// follows the "/" behind ".pak", possibly empty). A UTF-8 path (encoding) mounts its archive file
// by the wide name, is the same archive as a mounted one only when that was mounted from UTF-8
// too, and names its entry as entryLookupName says. For Entry and MountedArchive, archive
// receives the archive to open the name in, with a reference the caller must give back
// (PakArchive::Release); otherwise null. The caller holds fileLock.
ArchiveRoute mountArchiveForPath(const String& fullPath, NameEncoding encoding, String& entryName, PakArchive*& archive);

// Rewrites name for an open that takes route: it becomes the entry name for Entry; then every
// "/./" collapses to "/" in one left-to-right pass. openName receives what the raw open gets: name
// alone inside an archive, else prefix + name. False for NoMemory and when memory cannot be had.
bool rewriteOpenName(String& name, ArchiveRoute route, String& entryName, const String& prefix, String& openName);

// The archive-free path of an append: prefix (none with skipPrefix) followed by name, unchanged.
bool buildAppendName(const String& name, bool skipPrefix, String& fullName);
