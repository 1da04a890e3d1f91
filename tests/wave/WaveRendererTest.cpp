// The picture from real files: pixels checked against the drawing rules, frame picking through the
// seeks it makes, early ends (end of file, abort), refusals, the bitmap step's failures, and
// allocation failures at every point.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <utility>
#include <vector>

#include "WaveTestSupport.h"
#include "support/WavWriter.h"
#include "wave/WaveRenderer.h"
#include "wave/WaveScanner.h"
#include "wave/PictureDrawing.h"

namespace {

using wavetest::span;

// A scanned file, ready to be drawn.
class Identified {
public:
    explicit Identified(const std::vector<std::uint8_t>& bytes) : file("render.wav", bytes) {
        std::memset(&info, 0, sizeof info);
        identified = wavetest::scan(&info, file.path(), nullptr);
    }
    void* draw(std::int32_t width, std::int32_t height, void* abortEvent = nullptr) {
        const ImageSizeRecord size{width, height};
        return wavetest::render(file.path(), &info, &size, abortEvent);
    }
    ScratchFile file;
    FileInfoRecord info;
    bool identified = false;
};

std::vector<std::uint8_t> mono16(const std::vector<std::int16_t>& values) {
    return WavWriter().pcm(1, 8000, 16).data(samples16(values)).bytes();
}

TEST(WaveRenderer, SilenceAndConstantsFollowTheRows) {
    PlatformFakes fakes;
    // 8 frames for 4 columns: the step is 1, so column x shows frames 2x and 2x + 1.
    Identified silence(mono16(std::vector<std::int16_t>(8, 0)));
    ASSERT_TRUE(silence.identified);
    ASSERT_NE(silence.draw(4, 600), nullptr);
    EXPECT_EQ(fakes.log().header.biWidth, 4);
    EXPECT_EQ(fakes.log().header.biHeight, 600); // positive: bottom-up
    EXPECT_EQ(fakes.log().header.biBitCount, 32);
    EXPECT_EQ(fakes.log().header.biCompression, static_cast<DWORD>(BI_RGB));
    for (std::int32_t x = 0; x < 4; ++x) {
        EXPECT_EQ(fakes.rows(x, traceColour), span(299, 299));
        EXPECT_EQ(fakes.rows(x, backgroundColour).size(), 599u);
    }
    Identified half(mono16({16384, 16384, -16384, -16384, 16384, -16384, 0, 16384}));
    ASSERT_NE(half.draw(4, 600), nullptr);
    EXPECT_EQ(fakes.rows(0, fillColour), span(299, 447));
    EXPECT_EQ(fakes.rows(0, traceColour), span(448, 448));
    EXPECT_EQ(fakes.rows(1, traceColour), span(149, 149));
    EXPECT_EQ(fakes.rows(1, fillColour), span(150, 299));
    EXPECT_EQ(fakes.rows(2, traceColour), span(149, 448));
    EXPECT_TRUE(fakes.rows(2, fillColour).empty());
    EXPECT_EQ(fakes.rows(3, traceColour), span(299, 448)); // touching zero: no grey
    EXPECT_TRUE(fakes.rows(3, fillColour).empty());
    EXPECT_EQ(fakes.log().getDcCalls, fakes.log().releaseDcCalls);
}

TEST(WaveRenderer, FramesShorterThanTheSampleReadStayInTheBuffer) {
    // (The conversion of every depth is checked value by value in the arithmetic's tests.) 24-bit
    // mono frames are 3 bytes long: the sign goes into the frame buffer's extra byte, and a stale
    // byte there never leaks into the sample.
    PlatformFakes fakes;
    Identified deep(WavWriter().pcm(1, 8000, 24).data(samples24({-8388608, -8388608, 8388607, 8388607, 0x600000, 0x600000,
                                                                 -0x400000, -0x400000})).bytes());
    ASSERT_EQ(deep.info.privateArea.bytesPerFrame, 3);
    ASSERT_NE(deep.draw(4, 600), nullptr);
    EXPECT_EQ(fakes.rows(0, traceColour), span(0, 0));
    EXPECT_EQ(fakes.rows(1, traceColour), span(597, 597));
    EXPECT_EQ(fakes.rows(2, traceColour), span(523, 523)); // 0.75: trunc(299 x 1.75)
    EXPECT_EQ(fakes.rows(3, traceColour), span(149, 149)); // -0.5
    EXPECT_EQ(fakes.rows(3, fillColour), span(150, 299));
}

TEST(WaveRenderer, StereoIsDrawnFromTheFirstChannel) {
    PlatformFakes fakes;
    std::vector<std::int16_t> frames;
    for (int i = 0; i < 8; ++i) {
        frames.push_back(16384);  // left
        frames.push_back(-32768); // right, never drawn
    }
    Identified stereo(WavWriter().pcm(2, 8000, 16).data(samples16(frames)).bytes());
    ASSERT_EQ(stereo.info.privateArea.bytesPerFrame, 4);
    ASSERT_NE(stereo.draw(4, 600), nullptr);
    for (std::int32_t x = 0; x < 4; ++x) {
        EXPECT_EQ(fakes.rows(x, traceColour), span(448, 448));
    }
}

// The frames the renderer read, from the seeks it made: the data offset first, then after every
// sample a seek to the next sample's frame.
std::vector<std::uint32_t> framesRead(const PlatformLog& log, const WavePrivateArea& area) {
    std::vector<std::uint32_t> frames;
    for (std::int32_t i = 0; i < log.readFileCalls; ++i) {
        frames.push_back((log.seekTargets[static_cast<std::size_t>(i)] - area.dataOffset) /
                         static_cast<std::uint32_t>(area.bytesPerFrame));
    }
    return frames;
}

TEST(WaveRenderer, FramesArePickedBySeekingInSinglePrecision) {
    // The position starts at 0 and grows by frameCount / (2 x width), rounded to single precision
    // after every step. For sixty minutes the positions beyond 2^24 round to multiples of 8 and 16,
    // so the frames drift from the exact multiples of 99225; extended precision would pick others.
    // The hour's data is a sparse file: only the picked frames are ever read. Frame by frame, as
    // every other road must pick them (see the roads' table).
    const wavetest::TuningScope reference(referenceSamplingTuning);
    const struct Case {
        const char* label;
        std::uint32_t frames;
        std::int32_t width;
        std::vector<std::pair<std::size_t, std::uint32_t>> picked; // (sample, frame)
        std::uint64_t sum;                                          // of all frames read; 0: not checked
    } cases[] = {
        {"one second", 44100, 800, {{0, 0}, {1, 27}, {2, 55}, {3, 82}, {4, 110}, {1599, 44072}}, 0},
        {"sixty minutes", 158760000, 800, {{3, 297675}, {799, 79280152}, {800, 79379376}, {1599, 158661328}},
         126927849839ull},
        {"fewer frames than samples", 3, 2, {{0, 0}, {1, 0}, {2, 1}, {3, 2}}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::uint32_t dataBytes = c.frames * 4;
        ScratchFile file("frames.wav", WavWriter().pcm(2, 44100, 16).chunk("data", dataBytes, {}).bytes(), 44 + std::uint64_t{dataBytes});
        FileInfoRecord info{};
        ASSERT_TRUE(wavetest::scan(&info, file.path(), nullptr));
        ASSERT_EQ(info.privateArea.frameCount, c.frames);
        PlatformFakes fakes;
        const ImageSizeRecord size{c.width, 600};
        ASSERT_NE(wavetest::render(file.path(), &info, &size, nullptr), nullptr);
        // Every sample is one read after one seek, and nothing else of the data is read.
        EXPECT_EQ(fakes.log().readFileCalls, 2 * c.width);
        EXPECT_EQ(fakes.log().seekTargets.size(), 1u + 2u * static_cast<std::uint32_t>(c.width));
        EXPECT_EQ(fakes.log().seekTargets[0], 44u);
        const std::vector<std::uint32_t> frames = framesRead(fakes.log(), info.privateArea);
        for (const auto& sampleAndFrame : c.picked) {
            EXPECT_EQ(frames[sampleAndFrame.first], sampleAndFrame.second) << "sample " << sampleAndFrame.first;
        }
        if (c.sum != 0) {
            EXPECT_EQ(std::accumulate(frames.begin(), frames.end(), std::uint64_t{0}), c.sum);
        }
    }
}

TEST(WaveRenderer, SamplingStopsAtTheEndOfTheFileOrOnAbort) {
    PlatformFakes fakes;
    // The data chunk claims 64 frames, the file holds 8: once a seek reaches the end, the remaining
    // columns show the centre pixel.
    std::vector<std::uint8_t> bytes = WavWriter().pcm(1, 8000, 16).chunk("data", 128, samples16(std::vector<std::int16_t>(8, 16384))).bytes();
    Identified claimed(bytes);
    ASSERT_EQ(claimed.info.privateArea.frameCount, 64u);
    ASSERT_NE(claimed.draw(32, 600), nullptr); // step 1: frames 0 to 63 wanted
    for (std::int32_t x = 0; x < 4; ++x) {
        EXPECT_EQ(fakes.rows(x, traceColour), span(448, 448)) << x;
    }
    for (std::int32_t x = 4; x < 32; ++x) {
        EXPECT_EQ(fakes.rows(x, traceColour), span(299, 299)) << x;
    }
    // An abort reported at the sixth poll: six samples are read, the picture is still made.
    Identified loud(mono16(std::vector<std::int16_t>(64, -16384)));
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    fakes.log().waitCalls = 0;
    fakes.log().signalAtWait = 5;
    ASSERT_NE(loud.draw(32, 600, event), nullptr);
    EXPECT_EQ(fakes.log().waitCalls, 6);
    for (std::int32_t x = 0; x < 3; ++x) {
        EXPECT_EQ(fakes.rows(x, traceColour), span(149, 149)) << x;
    }
    for (std::int32_t x = 3; x < 32; ++x) {
        EXPECT_EQ(fakes.rows(x, traceColour), span(299, 299)) << x;
    }
    // Not signalled: one poll per sample.
    fakes.log().waitCalls = 0;
    fakes.log().signalAtWait = -1;
    ASSERT_NE(loud.draw(32, 600, event), nullptr);
    EXPECT_EQ(fakes.log().waitCalls, 64);
    EXPECT_EQ(fakes.rows(31, traceColour), span(149, 149));
    // Really signalled: the first poll ends the sampling after sample 0.
    SetEvent(event);
    fakes.log().waitCalls = 0;
    ASSERT_NE(loud.draw(32, 600, event), nullptr);
    EXPECT_EQ(fakes.log().waitCalls, 1);
    EXPECT_EQ(fakes.rows(0, traceColour), span(149, 299)); // -0.5 and 0.0 straddle: no grey
    EXPECT_EQ(fakes.rows(1, traceColour), span(299, 299));
    CloseHandle(event);
}

TEST(WaveRenderer, RefusalsTouchNoFile) {
    Identified good(mono16(std::vector<std::int16_t>(8, 100)));
    ASSERT_TRUE(good.identified);
    PlatformFakes fakes;
    // Each private value at 0, and a negative frame size: null without opening anything.
    for (int field = 0; field < 8; ++field) {
        FileInfoRecord forged = good.info;
        std::int32_t* values = &forged.privateArea.isPcm;
        if (field < 7) {
            values[field] = 0;
        } else {
            forged.privateArea.bytesPerFrame = -2;
        }
        EXPECT_EQ(wavetest::render(good.file.path(), &forged, nullptr, nullptr), nullptr) << field;
    }
    EXPECT_EQ(wavetest::render(good.file.path(), nullptr, nullptr, nullptr), nullptr);
    // Pixels beyond 4 GiB: no picture.
    const ImageSizeRecord huge{65536, 65536};
    EXPECT_EQ(wavetest::render(good.file.path(), &good.info, &huge, nullptr), nullptr);
    EXPECT_EQ(fakes.log().createFileCalls, 0);
    // Not PCM: identified, described, no picture.
    Identified ieee(WavWriter().fmt(3, 1, 8000, 32000, 4, 32).data(std::vector<std::uint8_t>(32, 0)).bytes());
    ASSERT_TRUE(ieee.identified);
    const std::int32_t opensBefore = fakes.log().createFileCalls;
    EXPECT_EQ(ieee.draw(4, 4), nullptr);
    EXPECT_EQ(fakes.log().createFileCalls, opensBefore);
    // A file that is gone, and a data offset at the end of the file.
    FileInfoRecord moved = good.info;
    EXPECT_EQ(wavetest::render("no/such/file.wav", &moved, nullptr, nullptr), nullptr);
    moved.privateArea.dataOffset = 44 + 16;
    EXPECT_EQ(wavetest::render(good.file.path(), &moved, nullptr, nullptr), nullptr);
    EXPECT_EQ(fakes.log().bitmapCalls, 0);
}

TEST(WaveRenderer, SizesAndTheBitmapStep) {
    Identified good(mono16(std::vector<std::int16_t>(8, 100)));
    PlatformFakes fakes;
    // A height below 2 with a width of 1 or more: the default picture.
    for (const ImageSizeRecord size : {ImageSizeRecord{5, 1}, ImageSizeRecord{5, 0}, ImageSizeRecord{0, 50}}) {
        ASSERT_NE(wavetest::render(good.file.path(), &good.info, &size, nullptr), nullptr);
        EXPECT_EQ(fakes.log().header.biWidth, 800);
        EXPECT_EQ(fakes.log().header.biHeight, 600);
    }
    ASSERT_NE(good.draw(1, 2), nullptr);
    EXPECT_EQ(fakes.log().pixels, (std::vector<std::uint32_t>{traceColour, backgroundColour}));
    // No device context, or no bitmap: null, and the context is always given back.
    fakes.log().noDeviceContext = true;
    EXPECT_EQ(good.draw(4, 4), nullptr);
    fakes.log().noDeviceContext = false;
    fakes.log().bitmapFails = true;
    EXPECT_EQ(good.draw(4, 4), nullptr);
    EXPECT_EQ(fakes.log().getDcCalls, 6);
    EXPECT_EQ(fakes.log().releaseDcCalls, 5);
}

// A forged byte rate makes each frame a gigabyte: the picture still costs its own pixels and a few
// bytes per sample, not a gigabyte buffer per call (found by fuzzing).
TEST(WaveRenderer, HugeFramesCostOnlyTheBytesDrawn) {
    Identified huge(WavWriter().fmt(1, 1, 1, 0x40000000u, 2, 16).chunk("data", 0xFFFFFFF0u, samples16({16384, 0, 0})).bytes());
    ASSERT_TRUE(huge.identified);
    ASSERT_EQ(huge.info.privateArea.bytesPerFrame, 0x40000000);
    FaultRegistry registry;
    void* bitmap = nullptr;
    {
        PlatformFakes fakes;
        bitmap = huge.draw(16, 16);
    }
    EXPECT_NE(bitmap, nullptr);
    EXPECT_LE(registry.heap().largestRequest.load(), 16u * 16u * 4u);
}

} // namespace
