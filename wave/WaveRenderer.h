// The picture renderer behind DVP_LoadBitmapA and DVP_LoadBitmapW. The values come back from the
// host, so they are checked again rather than believed. Samples are fetched by seeking to them, a
// couple per column, so a picture of a long file costs no more reads than one of a short file;
// only the first channel is drawn. The pixels go back to the caller, which makes the host's bitmap.
#pragma once

#include <cstdint>

#include "core/memory/HeapPointer.h"
#include "wave/PictureDrawing.h"
#include "wave/WaveDescription.h"

class File;
class FileMaker;

// Whether the values can be drawn from: all seven non-zero, and a positive frame size (a negative
// one, read as unsigned, would ask for gigabytes per frame).
bool valuesDrawable(const WaveValues& values);

// A finished picture: size.width x size.height pixels, row 0 at the bottom.
struct WavePicture {
    HeapPointer<std::uint32_t> pixels;
    PictureSize size;
};

// Draws the named file, read through file (a Closed file object of the caller's, left Closed on
// every path) and, where the storage is slow, through more file objects from moreFiles (may be
// null). requested is the host's size ({0, 0} for none: 800 x 600). False, picture untouched, when
// the values cannot be drawn from (the file is then not opened), when the picture's bytes do not
// fit in 32 bits, when the file cannot be opened or the data offset lies at or past its end, or
// when a buffer cannot be allocated. abortEvent may be null. A signalled abort event, the end of
// the file or a failed read end the sampling early: the picture is still drawn, the samples not
// read showing as the centre line.
bool renderWaveform(File& file, FileMaker* moreFiles, const char* name, const WaveValues& values,
                    PictureSize requested, void* abortEvent, WavePicture& picture);
