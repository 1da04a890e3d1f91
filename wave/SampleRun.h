// The state the sampling carries from one sample to the next, shared by its roads (WaveSampler.cpp
// and FrameReaders.cpp); not for use outside wave/.
#pragma once

#include <cstdint>

#include "wave/PictureDrawing.h"
#include "wave/WaveSampler.h"

struct SampleRun {
    const SamplingJob* job;
    float* samples;
    float step;
    // The position and the seek target of sample next. While the run goes on serially the file
    // stands at target.
    float position;
    std::uint32_t target;
    std::uint32_t next;
    std::uint32_t fileSize;
    // Kept from one sample to the next on purpose: a read cut short by the end of the file leaves
    // the rest of the previous frame, and a failed one all of it, in the sample it gives.
    std::uint8_t frame[sampleBytesTouched + 1];
    // Set by the sample that saw the abort event or whose seek reached the end of the file.
    bool ended;
};

// Sample next from the first readBytes of bytes, a frame wholly inside the file, leaving the run as
// reading it from the file would have, with the abort poll that follows each sample.
void takeSampleFromMemory(SampleRun& run, const std::uint8_t* bytes);

// Fetches the frames from sample next on through readers in flight, as far as they lie wholly
// inside the file, and takes their samples in order. Returns with the file standing at target
// (unless the run ended): at once, false, when no readers or threads can be had; else true, when
// the frames left are cut by the end of the file, or at a sample a reader could not fetch, which
// the caller then reads itself.
bool sampleInFlight(SampleRun& run, std::uint32_t readers);
