// The RIFF WAVE scanner behind DVP_IdentifyFileA: walks a file's chunk headers, reads the fmt body,
// finds the data chunk, and fills the host's FileInfoRecord with the flag word, the one-line
// description and the private area the renderer reads back later. Only headers and the fmt body
// are read; every other body is skipped by seeking, so a file costs a handful of small reads
// whatever its length.
#pragma once

#include "plugin/HostRecords.h"

class File;

// Opens the named file through file, a Closed file object of the caller's (the entry points use the
// plugin's file class), scans it, and leaves it Closed again on every path. True when the file is
// RIFF WAVE audio with a complete fmt body; the record is then filled. False, with the record
// untouched, when the file cannot be opened or is not such a file, when a read fails so that the
// walk cannot move on, or when the abort event (polled before every chunk header, may be null) is
// signalled.
bool scanWaveFile(File& file, FileInfoRecord* info, const char* name, void* abortEvent);
