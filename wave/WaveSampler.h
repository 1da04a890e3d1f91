// Sampling the data chunk for the picture: two samples per column at evenly spaced frames, each
// from the start of its frame. Every road gives the same samples as reading the frames one by one
// (the reference road): frames close together are read in spans of one call each, and frames far
// apart on slow storage are fetched by readers in flight, each with a file object of its own,
// while the calling thread takes the samples in order and polls the abort event once per sample.
#pragma once

#include <cstdint>

#include "wave/WaveDescription.h"

class File;
class FileMaker;

// How the roads are chosen. The process-wide tuning is changed only by tests and the benchmark,
// while no picture is being drawn.
struct SamplingTuning {
    // Frames at most this many bytes apart are read together; 0: every frame on its own.
    std::uint32_t spanGap;
    // Bytes read in one span at most, and the size of its buffer.
    std::uint32_t spanBytes;
    // Frame reads timed before the storage is judged.
    std::uint32_t probeReads;
    // Mean microseconds per timed read above which the storage counts as slow (0: every storage).
    std::uint32_t slowReadMicros;
    // Readers one picture keeps in flight at most; 0: none.
    std::uint32_t readersPerPicture;
};

// 64 KiB between frames costs about one more request's worth of transfer on a disk or a network
// share, so reading through it is no slower than seeking over it. 1 MiB holds a 10-second stereo
// recording's samples in two spans and bounds a picture's extra memory. Eight reads tell a cached
// file (a few microseconds each) from one behind a network or a spinning disk (hundreds). 24
// readers draw an 800-column picture at 1 ms per read in about a twentieth of the serial time.
constexpr SamplingTuning defaultSamplingTuning{64u * 1024u, 1024u * 1024u, 8, 50, 24};
// Today's frame-by-frame reads, and nothing else.
constexpr SamplingTuning referenceSamplingTuning{0, 0, 0, 0, 0};

SamplingTuning& samplingTuning();

// Readers in flight across the process at most (two pictures at full width); a picture that finds
// none free goes on serially and asks again every few samples.
constexpr std::uint32_t readersInProcess = 48;
// The readers in flight now, for tests: 0 whenever no picture is being drawn.
std::uint32_t readersInFlight();

// What one picture samples.
struct SamplingJob {
    // Opened, standing at the data offset, not at its end and without error.
    File* file;
    // Makes the readers' file objects; null: no readers.
    FileMaker* moreFiles;
    // The name file was opened by, for the readers' own opens.
    const char* name;
    WaveValues values;
    // Bytes read per frame: as much of its start as the conversion touches.
    std::uint32_t readBytes;
    std::uint32_t sampleCount;
    std::int32_t width;
    void* abortEvent;
};

// Fills samples[0 .. sampleCount) as far as the sampling gets; samples not reached keep their
// value. The end of the file, a failed read or seek, and the abort event end it sooner, exactly
// where reading the frames one by one ends it.
void sampleFrames(const SamplingJob& job, const SamplingTuning& tuning, float* samples);
