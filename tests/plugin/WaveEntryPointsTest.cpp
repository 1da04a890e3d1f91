// The whole road of one file through the DLL's exports, as the host travels it: identify, keep the
// record, hand it back for the picture, read the picture back from the bitmap.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/PakWriter.h"
#include "support/WavWriter.h"
#include "host/BitmapPixels.h"
#include "host/HostPlugin.h"

namespace {

class WaveEntryPoints : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(plugin().loaded()) << plugin().errorText();
        std::memset(&info, 0xCD, sizeof info);
        std::memset(text, 0xCD, sizeof text);
        info.description = text;
        info.descriptionCapacity = sizeof text;
    }
    FileInfoRecord info;
    char text[96];
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
    ScratchFile file("road.wav", halfScaleStereo(4410));
    ASSERT_EQ(plugin().identifyFile(nullptr, const_cast<LPSTR>(file.path()), &info, nullptr), TRUE);
    EXPECT_STREQ(text, "44100Hz, 16-bit, Stereo (PCM) Wave Audio");
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
    HBITMAP bitmap = plugin().loadBitmap(nullptr, const_cast<LPSTR>(file.path()), &info, &size, nullptr);
    ASSERT_NE(bitmap, nullptr);
    LONG width = 0, height = 0;
    const std::vector<std::uint32_t> pixels = readBack(bitmap, width, height);
    DeleteObject(bitmap);
    ASSERT_EQ(width, 40);
    ASSERT_EQ(height, 600);
    ASSERT_FALSE(pixels.empty());
    for (LONG x = 0; x < width; ++x) {
        for (LONG row = 0; row < height; ++row) {
            const std::uint32_t pixel = pixels[static_cast<std::size_t>(row) * 40 + static_cast<std::size_t>(x)];
            const std::uint32_t expected = row == 448 ? 0x000000u : (row >= 299 && row < 448) ? 0x808080u : 0xFFFFFFu;
            ASSERT_EQ(pixel, expected) << "row " << row << " column " << x;
        }
    }

    // No size record: 800 x 600, with the window handle given.
    bitmap = plugin().loadBitmap(GetDesktopWindow(), const_cast<LPSTR>(file.path()), &info, nullptr, nullptr);
    ASSERT_NE(bitmap, nullptr);
    BITMAP shape{};
    ASSERT_NE(GetObjectA(bitmap, sizeof shape, &shape), 0);
    EXPECT_EQ(shape.bmWidth, 800);
    EXPECT_EQ(shape.bmHeight, 600);
    DeleteObject(bitmap);
}

TEST_F(WaveEntryPoints, RefusedFilesLeaveTheRecord) {
    ScratchFile notWave("refused.wav", WavWriter().formType("AVI ").pcm(1, 8000, 8).data({1, 2}).bytes());
    ScratchFile noFmt("nofmt.wav", WavWriter().data(std::vector<std::uint8_t>(8, 0)).bytes());
    const FileInfoRecord before = info;
    for (const char* path : {notWave.path(), noFmt.path(), "Z:\\no\\such\\file.wav"}) {
        EXPECT_EQ(plugin().identifyFile(nullptr, const_cast<LPSTR>(path), &info, nullptr), FALSE) << path;
        EXPECT_EQ(std::memcmp(&before, &info, sizeof info), 0) << path;
    }
    EXPECT_EQ(static_cast<unsigned char>(text[0]), 0xCD);
}

TEST_F(WaveEntryPoints, DescribedButNotDrawn) {
    // IEEE floats carry tag 3: described, never drawn.
    ScratchFile floats("float.wav", WavWriter().fmt(3, 1, 48000, 192000, 4, 32).data(std::vector<std::uint8_t>(64, 0)).bytes());
    ASSERT_EQ(plugin().identifyFile(nullptr, const_cast<LPSTR>(floats.path()), &info, nullptr), TRUE);
    EXPECT_STREQ(text, "48000Hz, 32-bit, Mono (Unknown format) Wave Audio");
    EXPECT_EQ(info.privateArea.isPcm, 0);
    EXPECT_EQ(plugin().loadBitmap(nullptr, const_cast<LPSTR>(floats.path()), &info, nullptr, nullptr), nullptr);
    // The division that traps: described with no frames, no picture.
    ScratchFile trap("trap.wav", WavWriter().fmt(1, 2, 0xFFFFFFFFu, 0x80000000u, 4, 16).data(std::vector<std::uint8_t>(64, 0)).bytes());
    ASSERT_EQ(plugin().identifyFile(nullptr, const_cast<LPSTR>(trap.path()), &info, nullptr), TRUE);
    EXPECT_EQ(info.privateArea.bytesPerFrame, 0);
    EXPECT_EQ(info.privateArea.frameCount, 0u);
    EXPECT_EQ(plugin().loadBitmap(nullptr, const_cast<LPSTR>(trap.path()), &info, nullptr, nullptr), nullptr);
    // A negative frame size (byte rate -1 over rate 1) with a data chunk claiming 4 GiB gives one
    // frame; its read, as unsigned, would have filled a few-byte frame buffer from the whole file.
    ScratchFile negative("negative.wav", WavWriter().fmt(1, 1, 1, 0xFFFFFFFFu, 2, 16).chunk("data", 0xFFFFFFFFu, std::vector<std::uint8_t>(4096, 0x7F)).bytes());
    ASSERT_EQ(plugin().identifyFile(nullptr, const_cast<LPSTR>(negative.path()), &info, nullptr), TRUE);
    EXPECT_EQ(info.privateArea.bytesPerFrame, -1);
    EXPECT_EQ(info.privateArea.frameCount, 1u);
    EXPECT_EQ(plugin().loadBitmap(nullptr, const_cast<LPSTR>(negative.path()), &info, nullptr, nullptr), nullptr);
    // A record never filled (or forged) with zeros: null at once.
    FileInfoRecord empty{};
    EXPECT_EQ(plugin().loadBitmap(nullptr, const_cast<LPSTR>(trap.path()), &empty, nullptr, nullptr), nullptr);
    EXPECT_EQ(plugin().loadBitmap(nullptr, const_cast<LPSTR>(trap.path()), nullptr, nullptr, nullptr), nullptr);
}

TEST_F(WaveEntryPoints, SignalledAbortEvent) {
    ScratchFile file("abort.wav", halfScaleStereo(441));
    HANDLE event = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(plugin().identifyFile(nullptr, const_cast<LPSTR>(file.path()), &info, event), FALSE);
    EXPECT_EQ(info.flags, 0xCDCDCDCDu);
    ResetEvent(event);
    ASSERT_EQ(plugin().identifyFile(nullptr, const_cast<LPSTR>(file.path()), &info, event), TRUE);
    // Signalled during the picture: sampling ends after the first sample, the picture still comes.
    SetEvent(event);
    ImageSizeRecord size{4, 8};
    HBITMAP bitmap = plugin().loadBitmap(nullptr, const_cast<LPSTR>(file.path()), &info, &size, event);
    ASSERT_NE(bitmap, nullptr);
    LONG width = 0, height = 0;
    const std::vector<std::uint32_t> pixels = readBack(bitmap, width, height);
    DeleteObject(bitmap);
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

// What the host keeps of one file: the description, the private values and the picture.
struct HostView {
    BOOL identified = FALSE;
    std::string description;
    WavePrivateArea values{};
    std::vector<std::uint32_t> pixels;
};

HostView viewThroughHost(const std::string& path) {
    HostView view;
    char description[96] = {};
    FileInfoRecord record{};
    record.description = description;
    record.descriptionCapacity = sizeof description;
    std::vector<char> name(path.begin(), path.end());
    name.push_back('\0');
    view.identified = plugin().identifyFile(nullptr, name.data(), &record, nullptr);
    if (!view.identified) {
        return view;
    }
    view.description = description;
    view.values = record.privateArea;
    ImageSizeRecord size{64, 48};
    HBITMAP bitmap = plugin().loadBitmap(nullptr, name.data(), &record, &size, nullptr);
    if (bitmap != nullptr) {
        LONG width = 0, height = 0;
        view.pixels = readBack(bitmap, width, height);
        DeleteObject(bitmap);
    }
    return view;
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
    ScratchFile loose("kick.wav", wave);
    ScratchFile bank("bank.pak", PakWriter()
                                     .stored("drums/snare.wav", halfScaleStereo(100))
                                     .stored("drums/kick.wav", wave)
                                     .compressed("drums/packed.wav", wave)
                                     .bytes());
    const std::string inside = std::string(bank.path()) + "\\drums\\kick.wav";
    const HostView fromDisk = viewThroughHost(loose.path());
    const HostView fromPak = viewThroughHost(inside);
    ASSERT_TRUE(fromDisk.identified);
    ASSERT_TRUE(fromPak.identified);
    EXPECT_EQ(fromDisk.description, "44100Hz, 16-bit, Stereo (PCM) Wave Audio");
    EXPECT_EQ(fromPak.description, fromDisk.description);
    EXPECT_EQ(fromDisk.values.frameCount, 6000u);
    EXPECT_EQ(fromDisk.values.dataOffset, 44u);
    EXPECT_EQ(std::memcmp(&fromPak.values, &fromDisk.values, sizeof fromDisk.values), 0);
    ASSERT_EQ(fromDisk.pixels.size(), 64u * 48u);
    EXPECT_TRUE(fromPak.pixels == fromDisk.pixels);

    const FileInfoRecord before = info;
    std::string packed = std::string(bank.path()) + "\\drums\\packed.wav";
    EXPECT_EQ(plugin().identifyFile(nullptr, &packed[0], &info, nullptr), FALSE);
    EXPECT_EQ(std::memcmp(&before, &info, sizeof info), 0);
    // The archive is dropped again by the next loose file.
    EXPECT_TRUE(viewThroughHost(loose.path()).pixels == fromDisk.pixels);
}

} // namespace
