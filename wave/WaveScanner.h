// The RIFF WAVE scanner behind DVP_IdentifyFileA. It reads no more than it must to tell a wave file
// and describe it: the chunk headers and the format body, seeking past everything else, so a
// long recording costs as little as a short one. The head of the file, where the chunk headers of a
// typical file lie, is read in one call and walked in memory. What it learns is answered as a
// WaveDescription, including the values the renderer will need when the host asks for a picture.
#pragma once

#include "wave/WaveDescription.h"

class File;

// Bytes of the file's start read in one call; headers beyond them are read one by one.
constexpr std::uint32_t scanHeadBytes = 4096;

// Opens the named file through file, a Closed file object of the caller's (the entry points use the
// plugin's file class), scans it, and leaves it Closed again on every path. True when the file is
// RIFF WAVE audio with a complete fmt body; description is then filled. False, with description
// untouched, when the file cannot be opened or is not such a file, when a read fails so that the
// walk cannot move on, or when the abort event (polled before every chunk header, may be null) is
// signalled.
bool scanWaveFile(File& file, const char* name, void* abortEvent, WaveDescription& description);
