// The process-wide PathSettings record: the query path and the two parts of the path prefix that
// name resolution (core/fileio/NameResolution.h) puts in front of every name.
#pragma once

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
