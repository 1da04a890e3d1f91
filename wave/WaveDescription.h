// What the scanner learns of a wave file, in wave's own terms: the one-line description and the
// seven values the picture is later drawn from. The plugin copies them into the host's records of
// either width; the host hands the values back with the request for a picture.
#pragma once

#include <cstdint>

#include "wave/WaveFormat.h"

// The seven values of the private area, in the order the host keeps them.
struct WaveValues {
    std::int32_t isPcm;         // 1 when the format tag is 1
    std::int32_t channelCount;  // fmt channel count, widened with its sign
    std::int32_t sampleRate;
    std::uint32_t frameCount;   // data length / bytesPerFrame
    std::uint32_t dataOffset;   // file offset of the data chunk's body
    std::int32_t bytesPerFrame; // average byte rate / sample rate
    std::int32_t bitsPerSample; // fmt bits per sample, widened with its sign
};
static_assert(sizeof(WaveValues) == 7 * 4, "seven 32-bit values");

// A scanned file: the description, NUL-terminated, and the values.
struct WaveDescription {
    char text[descriptionSize];
    WaveValues values;
};
