// The picture's arithmetic without files: size rules, seek targets, the sample conversions per
// depth, and the drawing at the smallest heights and beyond [-1, 1]. (Frame picking is checked
// through the seeks the renderer makes.)
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "wave/PictureDrawing.h"

namespace {

TEST(PictureDrawing, PictureSizeFallsBackToTheDefault) {
    for (const PictureSize requested : {PictureSize{0, 0}, PictureSize{0, 300}, PictureSize{-5, 300},
                                        PictureSize{120, 1}, PictureSize{120, -40}}) {
        const PictureSize size = pictureSizeFor(requested);
        EXPECT_EQ(size.width, 800);
        EXPECT_EQ(size.height, 600);
    }
    EXPECT_EQ(pictureSizeFor(PictureSize{1, 2}).width, 1);
    EXPECT_EQ(pictureSizeFor(PictureSize{1, 2}).height, 2);
}

TEST(PictureDrawing, PictureBytesMustFitIn32Bits) {
    std::uint32_t bytes = 0;
    ASSERT_TRUE(pictureByteCount(PictureSize{800, 600}, bytes));
    EXPECT_EQ(bytes, 800u * 600u * 4u);
    ASSERT_TRUE(pictureByteCount(PictureSize{32768, 32767}, bytes));
    EXPECT_EQ(bytes, 32768u * 32767u * 4u);
    EXPECT_FALSE(pictureByteCount(PictureSize{32768, 32768}, bytes)); // exactly 4 GiB
    EXPECT_FALSE(pictureByteCount(PictureSize{0x7FFFFFFF, 0x7FFFFFFF}, bytes));
    EXPECT_FALSE(pictureByteCount(PictureSize{0x40000000, 2}, bytes));
}

TEST(PictureDrawing, SeekTargetsAreFrameTimesSizePlusOffset) {
    EXPECT_EQ(frameSeekTarget(0.0f, 4, 44), 44u);
    EXPECT_EQ(frameSeekTarget(27.5625f, 4, 44), 27u * 4u + 44u);
    EXPECT_EQ(frameSeekTarget(82.6875f, 3, 100), 82u * 3u + 100u);
    // A data chunk claiming nearly 4 GiB: the offset wraps in 32 bits.
    EXPECT_EQ(frameSeekTarget(1073741824.0f, 4, 44), 44u);
    EXPECT_EQ(frameAt(-1.0f), 0u);
    EXPECT_EQ(frameAt(5e10f), 0xFFFFFFFFu);
}

TEST(PictureDrawing, SamplesConvertPerDepth) {
    std::uint8_t frame[5] = {};
    auto convert = [&](std::initializer_list<std::uint8_t> bytes, std::int32_t bits) {
        std::memset(frame, 0, sizeof frame);
        std::uint32_t i = 0;
        for (std::uint8_t b : bytes) {
            frame[i++] = b;
        }
        return convertSample(frame, bits);
    };
    EXPECT_EQ(convert({0}, 8), -1.0f);
    EXPECT_EQ(convert({128}, 8), 0.0f);
    EXPECT_EQ(convert({255}, 8), 0.9921875f);
    EXPECT_EQ(convert({0x00, 0x40}, 16), 0.5f);
    EXPECT_EQ(convert({0x00, 0xC0}, 16), -0.5f);
    EXPECT_EQ(convert({0x00, 0x80}, 16), -1.0f);
    EXPECT_EQ(convert({0xFF, 0x7F}, 16), 32767.0f / 32768.0f);
    EXPECT_EQ(convert({0x00, 0x00, 0x80}, 24), -1.0f);
    EXPECT_EQ(frame[3], 0xFF); // the sign byte in the buffer's fourth byte
    EXPECT_EQ(convert({0xFF, 0xFF, 0x7F}, 24), 8388607.0f / 8388608.0f);
    EXPECT_EQ(frame[3], 0x00);
    EXPECT_EQ(convert({0x00, 0x00, 0x60}, 24), 0.75f);
    EXPECT_EQ(convert({0x00, 0x00, 0xC0}, 24), -0.5f);
    // A stale fourth byte (the next channel's) never leaks into a 24-bit sample.
    EXPECT_EQ(convert({0x00, 0x00, 0x60, 0xAB}, 24), 0.75f);
    // PCM 32-bit samples are integers: full scale is +-1, not a tiny or NaN float.
    EXPECT_EQ(convert({0x00, 0x00, 0x00, 0x80}, 32), -1.0f);
    EXPECT_EQ(convert({0x00, 0x00, 0x00, 0x40}, 32), 0.5f);
    EXPECT_EQ(convert({0x00, 0x00, 0x00, 0xC0}, 32), -0.5f);
    EXPECT_EQ(convert({0xFF, 0xFF, 0xFF, 0x7F}, 32), 1.0f); // rounds to single precision
    EXPECT_EQ(convert({0x00, 0x00, 0xC0, 0x7F}, 32), 2143289344.0f / 2147483648.0f); // a float NaN's bits
    for (std::int32_t bits : {0, 4, 12, 20, 64, -1}) {
        EXPECT_EQ(convert({0x12, 0x34, 0x56, 0x78}, bits), 0.0f) << bits;
    }
}

TEST(PictureDrawing, RowsFollowTheCentreRow) {
    EXPECT_EQ(centreRow(600), 299u);
    EXPECT_EQ(centreRow(601), 299u);
    EXPECT_EQ(centreRow(2), 0u);
    EXPECT_EQ(centreRow(3), 0u);
    const float kf = 299.0f;
    EXPECT_EQ(sampleRow(-1.0f, kf, 600), 0);
    EXPECT_EQ(sampleRow(0.0f, kf, 600), 299);
    EXPECT_EQ(sampleRow(0.5f, kf, 600), 448);
    EXPECT_EQ(sampleRow(-0.5f, kf, 600), 149);
    EXPECT_EQ(sampleRow(32767.0f / 32768.0f, kf, 600), 597);
    EXPECT_EQ(sampleRow(1.0f, kf, 600), 598);
    EXPECT_EQ(sampleRow(0.9921875f, kf, 600), 595);
    // Beyond [-1, 1] rows are kept inside the picture.
    EXPECT_EQ(sampleRow(3.0f, kf, 600), 599);
    EXPECT_EQ(sampleRow(-3.0f, kf, 600), 0);
}

TEST(WaveformDrawing, SmallestPicturesStayInside) {
    // (Columns of ordinary pictures are checked pixel by pixel through real files in the renderer's
    // tests.) Height 2 and 3: the centre row is 0; full-scale samples stay in the picture.
    for (std::int32_t height : {2, 3}) {
        std::vector<std::uint32_t> pixels(2 * static_cast<std::size_t>(height), 0x12345678u);
        const float samples[4] = {-1.0f, 1.0f, 1.0f, 1.0f};
        drawWaveform(pixels.data(), 2, height, samples);
        EXPECT_EQ(pixels[0], traceColour);
        EXPECT_EQ(pixels[1], traceColour); // grey at row 0 is painted over by black
        EXPECT_EQ(pixels[2 * static_cast<std::size_t>(height - 1)], backgroundColour);
    }
    // Out-of-range values are clamped, never written outside.
    std::vector<std::uint32_t> guarded(1 * 4 + 2, 0xABABABABu);
    const float wild[2] = {-50.0f, 50.0f};
    drawWaveform(guarded.data() + 1, 1, 4, wild);
    EXPECT_EQ(guarded.front(), 0xABABABABu);
    EXPECT_EQ(guarded.back(), 0xABABABABu);
    EXPECT_EQ(guarded[1], traceColour);
    EXPECT_EQ(guarded[4], traceColour);
}

} // namespace
