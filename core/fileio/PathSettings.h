// Path resolution state and rules of the file layer: the process-wide PathSettings record (the
// query path and the two parts of the path prefix), the detection of a ".pak" step in a path, and
// the resolution that turns a caller's name into what File::Open really opens, mounting or
// dropping the archive on the way. Paths use '/' inside the system and are compared byte for byte,
// letter case included.
#pragma once

#include <cstdint>

#include "core/Utils/String.h"

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

// Runs the resolution of an open on name (already with '/' separators and stored in the object):
// builds the full path from the prefix (none with skipPrefix), mounts, keeps or drops the archive
// as the ".pak" step asks, turns name into the entry name when an archive serves the path, and
// collapses "/./" to "/" in name in one left-to-right pass. openName receives what the raw open
// gets: name alone when an archive is mounted, else prefix + name. The caller holds fileLock.
// False only when memory for the strings cannot be had.
bool resolveOpenName(String& name, bool skipPrefix, String& openName);

// The archive-free path of an append: prefix (none with skipPrefix) followed by name, unchanged.
bool buildAppendName(const String& name, bool skipPrefix, String& fullName);
