// Picture size, frame picking, sample conversion and column drawing of the wave picture.
#include "wave/PictureDrawing.h"

#include "core/Utils/LittleEndian.h"

PictureSize pictureSizeFor(PictureSize requested) {
    // No size, a width below 1, or a height below 2 (the centre row would underflow): the default.
    if (requested.width < 1 || requested.height < 2) {
        return PictureSize{defaultPictureWidth, defaultPictureHeight};
    }
    return requested;
}

bool pictureByteCount(PictureSize size, std::uint32_t& bytes) {
    if (size.width < 1 || size.height < 1) {
        return false;
    }
    const std::uint64_t total = std::uint64_t{static_cast<std::uint32_t>(size.width)} *
                                static_cast<std::uint32_t>(size.height) * 4u;
    // A host asking for more than 4 GiB of pixels gets no picture rather than a wrapped, small buffer.
    if (total > 0xFFFFFFFFu) {
        return false;
    }
    bytes = static_cast<std::uint32_t>(total);
    return true;
}

float samplingStep(std::uint32_t frameCount, std::int32_t width) {
    const double samples = 2.0 * static_cast<double>(width);
    return static_cast<float>(static_cast<double>(frameCount) / samples);
}

std::uint32_t frameAt(float position) {
    // Positions start at 0 and grow by a finite, non-negative step, so they are never negative or
    // NaN; the guards keep the conversion defined whatever the caller passes.
    if (!(position > 0.0f)) {
        return 0;
    }
    if (position >= 4294967296.0f) {
        return 0xFFFFFFFFu;
    }
    return static_cast<std::uint32_t>(position);
}

std::uint32_t frameSeekTarget(float position, std::int32_t bytesPerFrame, std::uint32_t dataOffset) {
    // Meant: the offset wraps to 32 bits, as every file-layer position does. Only a data chunk that
    // claims more bytes than a file can hold gets this far.
    const std::uint64_t offset = std::uint64_t{frameAt(position)} * static_cast<std::uint32_t>(bytesPerFrame) + dataOffset;
    return static_cast<std::uint32_t>(offset & 0xFFFFFFFFu);
}

float convertSample(std::uint8_t* frame, std::int32_t bitsPerSample) {
    switch (bitsPerSample) {
    case 8:
        return static_cast<float>(static_cast<std::int32_t>(frame[0]) - 128) / 128.0f;
    case 16:
        return static_cast<float>(le::readI16(frame)) * (1.0f / 32768.0f);
    case 24:
        // The sign byte goes into the buffer's fourth byte, so that bytes 0 to 3 read as one signed
        // 32-bit number. A mono 24-bit frame is 3 bytes long: the fourth is the buffer's extra byte.
        frame[3] = frame[2] >= 0x80 ? 0xFF : 0x00;
        return static_cast<float>(le::readI32(frame)) * (1.0f / 8388608.0f);
    case 32:
        // PCM 32-bit samples are signed integers (IEEE floats carry another format tag and are
        // never drawn). Reading them as floats would draw full-scale sound as specks or NaNs.
        return static_cast<float>(static_cast<double>(le::readI32(frame)) * (1.0 / 2147483648.0));
    default:
        return 0.0f;
    }
}

std::uint32_t centreRow(std::int32_t height) {
    return (static_cast<std::uint32_t>(height) >> 1) - 1u;
}

std::int32_t sampleRow(float value, float kf, std::int32_t height) {
    const double row = static_cast<double>(value) * static_cast<double>(kf) + static_cast<double>(kf);
    // Only values beyond [-1, 1] reach past the picture; the conversions give none, but no row
    // outside the picture may ever be written. NaN goes to the bottom row.
    if (!(row >= 0.0)) {
        return 0;
    }
    if (row >= static_cast<double>(height - 1)) {
        return height - 1;
    }
    return static_cast<std::int32_t>(row);
}

namespace {

void paintRows(std::uint32_t* pixels, std::int32_t width, std::int32_t x, std::int32_t from, std::int32_t to,
               std::uint32_t colour) {
    for (std::int32_t row = from; row <= to; ++row) {
        pixels[static_cast<std::uint64_t>(row) * static_cast<std::uint32_t>(width) + static_cast<std::uint32_t>(x)] = colour;
    }
}

} // namespace

void drawWaveform(std::uint32_t* pixels, std::int32_t width, std::int32_t height, const float* samples) {
    const std::uint64_t count = static_cast<std::uint64_t>(width) * static_cast<std::uint32_t>(height);
    for (std::uint64_t i = 0; i < count; ++i) {
        pixels[i] = backgroundColour;
    }
    const std::uint32_t k = centreRow(height);
    const std::int32_t centre = static_cast<std::int32_t>(k);
    const float kf = static_cast<float>(k);
    for (std::int32_t x = 0; x < width; ++x) {
        float lo = samples[2 * static_cast<std::uint64_t>(x)];
        float hi = samples[2 * static_cast<std::uint64_t>(x) + 1];
        if (hi < lo) {
            const float swap = lo;
            lo = hi;
            hi = swap;
        }
        const std::int32_t loRow = sampleRow(lo, kf, height);
        const std::int32_t hiRow = sampleRow(hi, kf, height);
        // Grey joins the band to the centre line only when both samples lie strictly on one side.
        if (hi < 0.0f) {
            paintRows(pixels, width, x, hiRow, centre, fillColour);
        } else if (lo > 0.0f) {
            paintRows(pixels, width, x, centre, loRow, fillColour);
        }
        paintRows(pixels, width, x, loRow, hiRow, traceColour);
    }
}
