// The meaning of a RIFF WAVE fmt body: its decoded fields, the codec names and channel texts of the
// one-line description, and the frame size and frame count the renderer steps through. Pure
// functions, shared by the scanner and its tests.
#pragma once

#include <cstdint>

// Bytes of the fmt body the scanner reads, whatever the chunk's size.
constexpr std::uint32_t fmtBodySize = 16;

// The fields of a 16-byte fmt body. The 16-bit fields are read as signed, as the description and the
// host's private area widen them with their sign. The block alignment at offset 12 plays no part.
struct WaveFormat {
    std::int16_t formatTag;
    std::int16_t channelCount;
    std::int32_t sampleRate;
    std::int32_t averageByteRate;
    std::int16_t bitsPerSample;
};

WaveFormat decodeFmtBody(const std::uint8_t (&body)[fmtBodySize]);

// "PCM" for tag 1, the names of the other known codecs, "Unknown format" for every other tag
// (IEEE float, tag 3, and the extensible tag 0xFFFE among them). Never null.
const char* codecName(std::int16_t formatTag);

// 1 for PCM (tag 1), else 0: only PCM files get a picture.
std::int32_t isPcmFlag(std::int16_t formatTag);

// Longest channel text: "n Channels".
constexpr std::uint32_t channelTextSize = 11;

// "Mono", "Stereo", or "n Channels" whose first character is the 8-bit character 48 + count (mod
// 256): the digit for 3 to 9 and 0, punctuation and letters beyond. Always NUL-terminated.
void channelText(std::int16_t channelCount, char (&text)[channelTextSize]);

// Average byte rate / sample rate, signed, truncated toward zero; 0 when there is nothing to divide
// by (a sample rate of 0) and when the quotient does not exist (INT32_MIN / -1, which traps on x86).
std::int32_t bytesPerFrameOf(std::int32_t averageByteRate, std::int32_t sampleRate);

// Data length / bytes per frame as unsigned 32-bit numbers (a negative frame size divides as its
// unsigned reading); 0 when the frame size is 0.
std::uint32_t frameCountOf(std::uint32_t dataLength, std::int32_t bytesPerFrame);

// Room for the widest description the template can make: each number at its longest signed
// width (11 and 6), the longest channel text (10) and codec name (14), the 24 fixed characters of
// the template, and the NUL.
constexpr std::uint32_t descriptionSize = 66;
// The capacity a description is copied under for a host buffer of hostCapacity: 0 means the host
// gave none, and the whole text with its terminator is written.
constexpr std::uint32_t descriptionCopyCapacity(std::uint32_t hostCapacity) {
    return hostCapacity != 0 ? hostCapacity : descriptionSize;
}
