// The picture from real files: pixels checked against the drawing rules for every depth, frame
// picking through the seeks it makes, early ends (end of file, abort), refusals, the bitmap step's
// failures, and allocation failures at every point.
#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <vector>

#include "WaveTestSupport.h"
#include "core/fileio/DiskFile.h"
#include "support/WavWriter.h"
#include "wave/WaveRenderer.h"
#include "wave/WaveScanner.h"
#include "wave/Waveform.h"

namespace {

using wavetest::PlatformFakes;
using wavetest::span;

std::mutex callGuard;

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

TEST(WaveRenderer, EveryDepthDrawsItsExtremes) {
    PlatformFakes fakes;
    // 8-bit: 0 is -1.0 (row 0), 128 is 0.0, 255 is 0.9921875 (row 595).
    Identified eight(WavWriter().pcm(1, 8000, 8).data(samples8({0, 0, 128, 128, 255, 255, 0, 255})).bytes());
    ASSERT_NE(eight.draw(4, 600), nullptr);
    EXPECT_EQ(fakes.rows(0, traceColour), span(0, 0));
    EXPECT_EQ(fakes.rows(0, fillColour), span(1, 299));
    EXPECT_EQ(fakes.rows(1, traceColour), span(299, 299));
    EXPECT_EQ(fakes.rows(2, traceColour), span(595, 595));
    EXPECT_EQ(fakes.rows(3, traceColour), span(0, 595));
    // 24-bit mono: 3-byte frames, the sign byte in the buffer's extra byte.
    Identified deep(WavWriter().pcm(1, 8000, 24).data(samples24({-8388608, -8388608, 8388607, 8388607, 0x600000, 0x600000,
                                                                 -0x400000, -0x400000})).bytes());
    ASSERT_EQ(deep.info.privateArea.bytesPerFrame, 3);
    ASSERT_NE(deep.draw(4, 600), nullptr);
    EXPECT_EQ(fakes.rows(0, traceColour), span(0, 0));
    EXPECT_EQ(fakes.rows(1, traceColour), span(597, 597));
    EXPECT_EQ(fakes.rows(2, traceColour), span(523, 523)); // 0.75: trunc(299 x 1.75)
    EXPECT_EQ(fakes.rows(3, traceColour), span(149, 149)); // -0.5
    EXPECT_EQ(fakes.rows(3, fillColour), span(150, 299));
    // 32-bit PCM holds integers: full scale reaches the picture's edges instead of specks at the
    // centre (or NaN columns) as when they were read as floats.
    Identified wide(WavWriter().pcm(1, 8000, 32).data(samples32({INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, 0x40000000,
                                                                 0x40000000, 0x7FC00000, -0x40000000})).bytes());
    ASSERT_NE(wide.draw(4, 600), nullptr);
    EXPECT_EQ(fakes.rows(0, traceColour), span(0, 0));
    EXPECT_EQ(fakes.rows(1, traceColour), span(598, 598));
    EXPECT_EQ(fakes.rows(2, traceColour), span(448, 448));
    EXPECT_EQ(fakes.rows(3, traceColour), span(149, 597)); // 0x7FC00000, a float NaN's bits
    // Another depth draws nothing but the centre line.
    Identified odd(WavWriter().fmt(1, 1, 8000, 24000, 3, 20).data(samples24({0x7FFFFF, 0x7FFFFF, 1, 1, 2, 2, 3, 3})).bytes());
    ASSERT_NE(odd.draw(4, 600), nullptr);
    for (std::int32_t x = 0; x < 4; ++x) {
        EXPECT_EQ(fakes.rows(x, traceColour), span(299, 299));
    }
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

TEST(WaveRenderer, FramesArePickedBySeeking) {
    // One second at 44.1 kHz, 16-bit stereo, 800 columns: frames 0, 27, 55, 82, ... are read, each
    // after a seek, and nothing else of the data.
    Identified second(WavWriter().pcm(2, 44100, 16).data(std::vector<std::uint8_t>(176400, 0)).bytes());
    ASSERT_EQ(second.info.privateArea.frameCount, 44100u);
    PlatformFakes fakes;
    ASSERT_NE(wavetest::render(second.file.path(), &second.info, nullptr, nullptr), nullptr);
    EXPECT_EQ(fakes.log().header.biWidth, 800);
    EXPECT_EQ(fakes.log().header.biHeight, 600);
    const std::vector<std::uint32_t>& seeks = fakes.log().seekTargets;
    ASSERT_EQ(seeks.size(), 1u + 1600u); // the data offset, then one seek after every sample
    EXPECT_EQ(seeks[0], 44u);
    const std::uint32_t expected[] = {27, 55, 82, 110};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(seeks[1 + i], 44u + 4u * expected[i]) << i;
    }
    EXPECT_EQ(seeks[1599], 44u + 4u * 44072u); // the last frame read
    EXPECT_EQ(fakes.log().readFileCalls, 1600);
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

TEST(WaveRenderer, AllocationFailuresGiveNullAndLeakNothing) {
    Identified good(mono16(std::vector<std::int16_t>(64, 100)));
    ASSERT_TRUE(good.identified);
    PlatformFakes fakes;
    fakes.log().recordContent = false;
    // A file object kept alive holds the shared file lock, whose creation the file layer survives
    // with a fallback lock; the sweep is about the call's own allocations.
    DiskFile holdsTheLock(false);
    // Fail the n-th allocation of the call (the name strings, the three buffers), once and from then
    // on, until a run goes through untouched.
    const ImageSizeRecord size{16, 16};
    for (bool onwards : {false, true}) {
        for (std::int64_t n = 0;; ++n) {
            FaultRegistry registry;
            FaultHeap& heap = registry.heap();
            const std::size_t outstandingBefore = heap.outstanding();
            void* bitmap = nullptr;
            {
                // Only allocations of the call itself are made to fail.
                std::lock_guard<std::mutex> quiet(callGuard);
                heap.failAt = heap.requests + n;
                heap.failOnwards = onwards;
                {
                    DiskFile file(false);
                    bitmap = renderWaveform(file, nullptr, good.file.path(), &good.info, &size, nullptr);
                }
                heap.failAt = -1;
            }
            EXPECT_EQ(heap.outstanding(), outstandingBefore) << n;
            if (heap.failures == 0) {
                EXPECT_NE(bitmap, nullptr);
                break;
            }
            // A failure of one of the three buffers, or of the file's own allocations, gives null.
            EXPECT_EQ(bitmap, nullptr) << n;
            ASSERT_LT(n, 100);
        }
    }
}

} // namespace
