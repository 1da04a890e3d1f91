// The whole road of one file through the DLL's exports, as the host travels it: identify, keep the
// record, hand it back for the picture, read the picture back from the bitmap.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "HostRoad.h"
#include "host/HostPlugin.h"
#include "support/FileTestSupport.h"
#include "support/PakWriter.h"
#include "support/WavWriter.h"

namespace {

class WaveEntryPoints : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(plugin().loaded()) << plugin().errorText(); }
    filetest::TempFolder folder;
    HostRecord host;
    FileInfoRecord& info = host.info;
};

std::vector<std::uint8_t> halfScaleStereo(std::uint32_t frames) {
    std::vector<std::int16_t> values;
    for (std::uint32_t i = 0; i < frames; ++i) {
        values.push_back(16384);  // first channel: 0.5
        values.push_back(-32768); // second channel: never drawn
    }
    return WavWriter().chunk("LIST", std::vector<std::uint8_t>(5, 'x')).pcm(2, 44100, 16).data(samples16(values)).bytes();
}

TEST_F(WaveEntryPoints, IdentifyThenDraw) {
    const std::string file = folder.add("road.wav", halfScaleStereo(4410));
    ASSERT_EQ(identifyFile(file, host), TRUE);
    EXPECT_EQ(host.description(), "44100Hz, 16-bit, Stereo (PCM) Wave Audio");
    EXPECT_EQ(info.hostHeader, 0xCDCDCDCDu);
    EXPECT_EQ(info.flags, 0x805u);
    EXPECT_EQ(info.privateArea.isPcm, 1);
    EXPECT_EQ(info.privateArea.channelCount, 2);
    EXPECT_EQ(info.privateArea.sampleRate, 44100);
    EXPECT_EQ(info.privateArea.frameCount, 4410u);
    EXPECT_EQ(info.privateArea.dataOffset, 12u + 13u + 24u + 8u);
    EXPECT_EQ(info.privateArea.bytesPerFrame, 4);
    EXPECT_EQ(info.privateArea.bitsPerSample, 16);

    ImageSizeRecord size{40, 600};
    const Picture picture = drawFile(file, info, &size);
    ASSERT_EQ(picture.width, 40);
    ASSERT_EQ(picture.height, 600);
    ASSERT_FALSE(picture.pixels.empty());
    for (LONG x = 0; x < picture.width; ++x) {
        for (LONG row = 0; row < picture.height; ++row) {
            const std::uint32_t pixel = picture.pixels[static_cast<std::size_t>(row) * 40 + static_cast<std::size_t>(x)];
            const std::uint32_t expected = row == 448 ? 0x000000u : (row >= 299 && row < 448) ? 0x808080u : 0xFFFFFFu;
            ASSERT_EQ(pixel, expected) << "row " << row << " column " << x;
        }
    }

    // No size record: 800 x 600, with the window handle given.
    const Picture whole = takePicture(
        plugin().loadBitmap(GetDesktopWindow(), const_cast<LPSTR>(file.c_str()), &info, nullptr, nullptr), false);
    ASSERT_TRUE(whole.drawn);
    EXPECT_EQ(whole.width, 800);
    EXPECT_EQ(whole.height, 600);
}

TEST_F(WaveEntryPoints, RefusedFilesLeaveTheRecord) {
    const std::string notWave = folder.add("refused.wav", WavWriter().formType("AVI ").pcm(1, 8000, 8).data({1, 2}).bytes());
    const std::string noFmt = folder.add("nofmt.wav", WavWriter().data(std::vector<std::uint8_t>(8, 0)).bytes());
    for (const std::string& path : {notWave, noFmt, std::string("Z:\\no\\such\\file.wav")}) {
        EXPECT_EQ(identifyFile(path, host), FALSE) << path;
        EXPECT_TRUE(host.untouched()) << path;
    }
}

TEST_F(WaveEntryPoints, DescribedButNotDrawn) {
    // IEEE floats carry tag 3: described, never drawn.
    const std::string floats = folder.add("float.wav", WavWriter().fmt(3, 1, 48000, 192000, 4, 32).data(std::vector<std::uint8_t>(64, 0)).bytes());
    ASSERT_EQ(identifyFile(floats, host), TRUE);
    EXPECT_EQ(host.description(), "48000Hz, 32-bit, Mono (Unknown format) Wave Audio");
    EXPECT_EQ(info.privateArea.isPcm, 0);
    EXPECT_FALSE(drawFile(floats, info, nullptr).drawn);
    // The division that traps: described with no frames, no picture.
    const std::string trap = folder.add("trap.wav", WavWriter().fmt(1, 2, 0xFFFFFFFFu, 0x80000000u, 4, 16).data(std::vector<std::uint8_t>(64, 0)).bytes());
    ASSERT_EQ(identifyFile(trap, host), TRUE);
    EXPECT_EQ(info.privateArea.bytesPerFrame, 0);
    EXPECT_EQ(info.privateArea.frameCount, 0u);
    EXPECT_FALSE(drawFile(trap, info, nullptr).drawn);
    // A negative frame size (byte rate -1 over rate 1) with a data chunk claiming 4 GiB gives one
    // frame; its read, as unsigned, would have filled a few-byte frame buffer from the whole file.
    const std::string negative = folder.add("negative.wav", WavWriter().fmt(1, 1, 1, 0xFFFFFFFFu, 2, 16).chunk("data", 0xFFFFFFFFu, std::vector<std::uint8_t>(4096, 0x7F)).bytes());
    ASSERT_EQ(identifyFile(negative, host), TRUE);
    EXPECT_EQ(info.privateArea.bytesPerFrame, -1);
    EXPECT_EQ(info.privateArea.frameCount, 1u);
    EXPECT_FALSE(drawFile(negative, info, nullptr).drawn);
    // A record never filled (or forged) with zeros: null at once.
    FileInfoRecord empty{};
    EXPECT_FALSE(drawFile(trap, empty, nullptr).drawn);
    EXPECT_EQ(plugin().loadBitmap(nullptr, const_cast<LPSTR>(trap.c_str()), nullptr, nullptr, nullptr), nullptr);
}

TEST_F(WaveEntryPoints, SignalledAbortEvent) {
    const std::string file = folder.add("abort.wav", halfScaleStereo(441));
    HANDLE event = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(identifyFile(file, host, event), FALSE);
    EXPECT_EQ(info.flags, 0xCDCDCDCDu);
    ResetEvent(event);
    ASSERT_EQ(identifyFile(file, host, event), TRUE);
    // Signalled during the picture: sampling ends after the first sample, the picture still comes.
    SetEvent(event);
    ImageSizeRecord size{4, 8};
    const Pixels pixels = drawFile(file, info, &size, event).pixels;
    ASSERT_EQ(pixels.size(), 32u);
    // k = 3: column 0 spans 0.0 (row 3) to 0.5 (row 4); the other columns are the centre pixel.
    EXPECT_EQ(pixels[3 * 4 + 0], 0u);
    EXPECT_EQ(pixels[4 * 4 + 0], 0u);
    for (int x = 1; x < 4; ++x) {
        EXPECT_EQ(pixels[3 * 4 + x], 0u);
        EXPECT_EQ(pixels[4 * 4 + x], 0xFFFFFFu);
    }
    CloseHandle(event);
}

// A wave file stored in a pak, named as the host names it (backslashes, an entry in a folder),
// answers exactly as the same bytes on their own; compressed, it is refused, since the scanner
// reads piece by piece.
TEST_F(WaveEntryPoints, WaveInAPakAnswersAsTheLooseFile) {
    std::vector<std::int16_t> values;
    for (std::uint32_t i = 0; i < 6000; ++i) {
        values.push_back(static_cast<std::int16_t>((static_cast<int>(i * i / 7) % 4001 - 2000) * 12));
        values.push_back(static_cast<std::int16_t>(i));
    }
    const std::vector<std::uint8_t> wave = WavWriter().pcm(2, 44100, 16).data(samples16(values)).bytes();
    const std::string loose = folder.add("kick.wav", wave);
    const std::string bank = folder.add("bank.pak", PakWriter()
                                                        .stored("drums/snare.wav", halfScaleStereo(100))
                                                        .stored("drums/kick.wav", wave)
                                                        .compressed("drums/packed.wav", wave)
                                                        .bytes());
    const auto fromDisk = identifyAndDraw(loose);
    const auto fromPak = identifyAndDraw(bank + "\\drums\\kick.wav");
    ASSERT_TRUE(fromDisk.identified);
    ASSERT_TRUE(fromPak.identified);
    EXPECT_EQ(fromDisk.host.description(), "44100Hz, 16-bit, Stereo (PCM) Wave Audio");
    EXPECT_TRUE(fromPak.host.sameAs(fromDisk.host));
    EXPECT_EQ(fromDisk.host.info.privateArea.frameCount, 6000u);
    EXPECT_EQ(fromDisk.host.info.privateArea.dataOffset, 44u);
    ASSERT_EQ(fromDisk.picture.pixels.size(), 64u * 48u);
    EXPECT_TRUE(fromPak.picture.pixels == fromDisk.picture.pixels);

    EXPECT_EQ(identifyFile(bank + "\\drums\\packed.wav", host), FALSE);
    EXPECT_TRUE(host.untouched());
    // The archive is dropped again by the next loose file.
    EXPECT_TRUE(identifyAndDraw(loose).picture.pixels == fromDisk.picture.pixels);
}

} // namespace
