// The picture's arithmetic, kept apart from files so it can be tested alone: the size, the spacing
// of the samples and which frame each is read from, turning a frame's first sample into a value in
// [-1, 1], and painting the columns into a bottom-up 32-bit pixel buffer.
#pragma once

#include <cstdint>

constexpr std::int32_t defaultPictureWidth = 800;
constexpr std::int32_t defaultPictureHeight = 600;

// Pixels are 0x00RRGGBB; the background sets every byte.
constexpr std::uint32_t backgroundColour = 0xFFFFFFFFu;
constexpr std::uint32_t fillColour = 0x00808080u;
constexpr std::uint32_t traceColour = 0x00000000u;

// Converting a sample reads up to the frame buffer's fourth byte and may write it (the sign of a
// 24-bit sample); the buffer always has that many bytes, however small the frame size claims to be.
constexpr std::uint32_t sampleBytesTouched = 4;

struct PictureSize {
    std::int32_t width;
    std::int32_t height;
};

// The size asked for when its width is at least 1 and its height at least 2; otherwise 800 x 600
// (a host that gives no size asks for {0, 0}). A height below 2 leaves no centre row to draw
// around.
PictureSize pictureSizeFor(PictureSize requested);

// Bytes of a W x H picture of 32-bit pixels; false when that does not fit in 32 bits.
bool pictureByteCount(PictureSize size, std::uint32_t& bytes);

// Frames between two samples: frameCount / (2 x width), divided in double precision and rounded to
// single precision. width is at least 1.
float samplingStep(std::uint32_t frameCount, std::int32_t width);

// The frame a sample at position comes from: position cut toward zero, as an unsigned 32-bit number.
std::uint32_t frameAt(float position);

// File offset of the frame at position: frame x bytesPerFrame + dataOffset, wrapping in unsigned
// 32-bit arithmetic.
std::uint32_t frameSeekTarget(float position, std::int32_t bytesPerFrame, std::uint32_t dataOffset);

// The first sample of a frame as a value in [-1, 1], by bits per sample: 8 unsigned, 16 and 24 and
// 32 signed integers; 0.0 for any other depth. frame holds at least sampleBytesTouched bytes; for
// 24 bits byte 3 is overwritten with the sample's sign byte.
float convertSample(std::uint8_t* frame, std::int32_t bitsPerSample);

// The centre row of a picture of the given height (at least 2): (height >> 1) - 1.
std::uint32_t centreRow(std::int32_t height);

// The row of a sample value: trunc(value x kf + kf), formed in double precision, kf being the centre
// row as a float. Kept inside [0, height - 1]; values in [-1, 1] never need it.
std::int32_t sampleRow(float value, float kf, std::int32_t height);

// Fills the picture (width x height pixels, row 0 at the bottom) with the background, then draws
// column x from samples 2x and 2x + 1: grey from the centre row to the nearer sample when both lie
// strictly on one side of zero, black between the two. height is at least 2.
void drawWaveform(std::uint32_t* pixels, std::int32_t width, std::int32_t height, const float* samples);
