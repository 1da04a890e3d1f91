// The waveform renderer behind DVP_LoadBitmapA. The private area comes back from the host, so it
// is checked again rather than believed. Samples are fetched by seeking to them, a couple per
// column, so a picture of a long file costs no more reads than one of a short file; only the first
// channel is drawn.
#pragma once

#include "plugin/HostRecords.h"

class File;

// Whether the private area can be drawn from: all seven values non-zero, and a positive frame size
// (a negative one, read as unsigned, would ask for gigabytes per frame).
bool privateAreaDrawable(const WavePrivateArea& area);

// The picture of the named file, read through file (a Closed file object of the caller's, left
// Closed on every path), as an opaque bitmap handle for the device context of window, or null:
// when the record is missing or its private area cannot be drawn from (the file is then not
// opened), when the picture's bytes do not fit in 32 bits, when the file cannot be opened or the
// data offset lies at or past its end, when a buffer cannot be allocated, or when the bitmap
// cannot be made. size may be null (800 x 600); abortEvent may be null. A signalled abort event,
// the end of the file or a failed read end the sampling early: the picture is still drawn, the
// samples not read showing as the centre line.
void* renderWaveform(File& file, void* window, const char* name, const FileInfoRecord* info,
                     const ImageSizeRecord* size, void* abortEvent);
