// The chunk walk on real files: what it accepts and refuses, the record it fills, the faults it
// must survive (sizes that wrap, reads that fail, chunks that never end), and the abort event.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "WaveTestSupport.h"
#include "core/fileio/DiskFile.h"
#include "support/WavWriter.h"
#include "wave/WaveScanner.h"

namespace {


// A record whose every byte is 0xCD, with a description buffer of 0xCD too.
struct Record {
    Record() {
        std::memset(&info, 0xCD, sizeof info);
        std::memset(text, 0xCD, sizeof text);
        info.description = text;
        info.descriptionCapacity = 0;
    }
    bool untouched() const {
        Record fresh;
        return std::memcmp(&fresh.info, &info, offsetof(FileInfoRecord, description)) == 0 &&
               std::memcmp(reinterpret_cast<const char*>(&fresh.info) + offsetof(FileInfoRecord, descriptionCapacity),
                           reinterpret_cast<const char*>(&info) + offsetof(FileInfoRecord, descriptionCapacity),
                           sizeof info - offsetof(FileInfoRecord, descriptionCapacity)) == 0 &&
               std::memcmp(fresh.text, text, sizeof text) == 0;
    }
    FileInfoRecord info;
    char text[128];
};

struct Scan {
    bool accepted;
    Record record;
};

Scan scanBytes(const std::vector<std::uint8_t>& bytes, void* abortEvent = nullptr) {
    ScratchFile file("scan.wav", bytes);
    EXPECT_TRUE(file.written());
    Scan scan{};
    scan.accepted = wavetest::scan(&scan.record.info, file.path(), abortEvent);
    if (!scan.accepted) {
        EXPECT_TRUE(scan.record.untouched()) << "a refused file must leave the record as it was";
    }
    return scan;
}

std::vector<std::uint8_t> body(std::uint32_t bytes) { return std::vector<std::uint8_t>(bytes, 0x11); }

std::vector<std::uint8_t> minimalStereo() { return WavWriter().pcm(2, 44100, 16).data(body(176400)).bytes(); }

TEST(WaveScanner, MinimalPcmFileFillsTheRecord) {
    const Scan scan = scanBytes(minimalStereo());
    ASSERT_TRUE(scan.accepted);
    const FileInfoRecord& info = scan.record.info;
    EXPECT_EQ(info.hostHeader, 0xCDCDCDCDu);
    EXPECT_EQ(info.flags, 0x00000805u);
    EXPECT_EQ(info.word8, 0);
    EXPECT_EQ(info.word10, 0);
    EXPECT_EQ(info.value12, 0u);
    EXPECT_EQ(info.value16, 0u);
    EXPECT_EQ(info.value20, 0u);
    EXPECT_EQ(info.descriptionCapacity, 0u);
    EXPECT_STREQ(scan.record.text, "44100Hz, 16-bit, Stereo (PCM) Wave Audio");
    EXPECT_EQ(static_cast<unsigned char>(scan.record.text[41]), 0xCD);
    EXPECT_EQ(info.privateArea.isPcm, 1);
    EXPECT_EQ(info.privateArea.channelCount, 2);
    EXPECT_EQ(info.privateArea.sampleRate, 44100);
    EXPECT_EQ(info.privateArea.frameCount, 44100u);
    EXPECT_EQ(info.privateArea.dataOffset, 44u);
    EXPECT_EQ(info.privateArea.bytesPerFrame, 4);
    EXPECT_EQ(info.privateArea.bitsPerSample, 16);
}

TEST(WaveScanner, DescriptionIsCutToTheHostsCapacity) {
    ScratchFile file("cut.wav", minimalStereo());
    for (std::uint32_t capacity : {1u, 10u, 41u, 42u, 200u}) {
        Record record;
        record.info.descriptionCapacity = capacity;
        ASSERT_TRUE(wavetest::scan(&record.info, file.path(), nullptr));
        const std::string whole = "44100Hz, 16-bit, Stereo (PCM) Wave Audio";
        const std::size_t kept = std::min<std::size_t>(whole.size(), capacity - 1);
        EXPECT_EQ(std::string(record.text), whole.substr(0, kept)) << capacity;
        EXPECT_EQ(static_cast<unsigned char>(record.text[kept + 1]), 0xCD) << capacity;
        EXPECT_EQ(record.info.descriptionCapacity, capacity);
    }
    // No buffer: the rest of the record is still filled.
    Record record;
    record.info.description = nullptr;
    ASSERT_TRUE(wavetest::scan(&record.info, file.path(), nullptr));
    EXPECT_EQ(record.info.privateArea.frameCount, 44100u);
    EXPECT_EQ(static_cast<unsigned char>(record.text[0]), 0xCD);
}

TEST(WaveScanner, FmtBodiesOfOtherSizes) {
    // Longer fmt chunks: 16 bytes are read and the rest skipped.
    for (std::uint32_t size : {18u, 40u}) {
        const Scan scan = scanBytes(WavWriter().fmt(1, 1, 8000, 16000, 2, 16, size).data(body(100)).bytes());
        ASSERT_TRUE(scan.accepted) << size;
        EXPECT_EQ(scan.record.info.privateArea.dataOffset, 12u + 8u + size + 8u) << size;
        EXPECT_EQ(scan.record.info.privateArea.frameCount, 50u);
        EXPECT_STREQ(scan.record.text, "8000Hz, 16-bit, Mono (PCM) Wave Audio");
    }
    // A 14-byte fmt chunk is still read for 16 bytes: the walk goes on 16 bytes after its header, so
    // two filler bytes keep the data chunk in step; the bits field comes from the filler.
    const Scan shortFmt = scanBytes(
        WavWriter().fmt(1, 1, 8000, 8000, 1, 8, 14).raw({8, 0}).data(body(10)).bytes());
    ASSERT_TRUE(shortFmt.accepted);
    EXPECT_EQ(shortFmt.record.info.privateArea.bitsPerSample, 8);
    EXPECT_EQ(shortFmt.record.info.privateArea.dataOffset, 12u + 8u + 16u + 8u);
    // A fmt chunk whose size reads as negative skips nothing either.
    const std::vector<std::uint8_t> fmtBody = {1, 0, 1, 0, 0x40, 0x1F, 0, 0, 0x40, 0x1F, 0, 0, 1, 0, 8, 0};
    const Scan negative = scanBytes(WavWriter().chunk("fmt ", 0xFFFFFFFFu, fmtBody).data(body(10)).bytes());
    ASSERT_TRUE(negative.accepted);
    EXPECT_EQ(negative.record.info.privateArea.dataOffset, 44u);
    EXPECT_EQ(negative.record.info.privateArea.frameCount, 10u);
}

TEST(WaveScanner, ChunksInAnyOrder) {
    const std::vector<std::uint8_t> list(7, 'L');
    // Data before fmt, other chunks before, between and after (an odd one among them, no pad).
    const Scan scan = scanBytes(WavWriter()
                                    .chunk("LIST", list)
                                    .data(body(400))
                                    .chunk("junk", {})
                                    .fmt(1, 2, 22050, 88200, 4, 16)
                                    .chunk("cue ", body(24))
                                    .bytes());
    ASSERT_TRUE(scan.accepted);
    EXPECT_EQ(scan.record.info.privateArea.dataOffset, 12u + 8u + 7u + 8u);
    EXPECT_EQ(scan.record.info.privateArea.frameCount, 100u);
    EXPECT_STREQ(scan.record.text, "22050Hz, 16-bit, Stereo (PCM) Wave Audio");
    // Later fmt and data chunks replace earlier ones.
    const Scan twice = scanBytes(WavWriter()
                                     .pcm(1, 8000, 8)
                                     .data(body(10))
                                     .pcm(2, 48000, 24)
                                     .data(body(60))
                                     .bytes());
    ASSERT_TRUE(twice.accepted);
    EXPECT_EQ(twice.record.info.privateArea.sampleRate, 48000);
    EXPECT_EQ(twice.record.info.privateArea.bytesPerFrame, 6);
    EXPECT_EQ(twice.record.info.privateArea.frameCount, 10u);
    EXPECT_EQ(twice.record.info.privateArea.dataOffset, 12u + 24u + 18u + 24u + 8u);
    // A flood of empty chunks ends too.
    WavWriter flood;
    for (int i = 0; i < 2000; ++i) {
        flood.chunk("pad ", {});
    }
    EXPECT_TRUE(scanBytes(flood.pcm(1, 8000, 8).data(body(8)).bytes()).accepted);
}

TEST(WaveScanner, TruncationAtEveryLength) {
    // RIFF header 12, fmt chunk to 36, data header to 44, 8 data bytes to 52. A complete fmt body
    // with nothing after it (36) is accepted without data; a data header met at the end after a
    // fmt chunk passes; everything else before 44 is refused.
    const std::vector<std::uint8_t> full = WavWriter().pcm(2, 44100, 16).data(body(8)).bytes();
    ASSERT_EQ(full.size(), 52u);
    for (std::size_t length = 0; length <= full.size(); ++length) {
        const Scan scan = scanBytes(std::vector<std::uint8_t>(full.begin(), full.begin() + length));
        const bool expected = length == 36 || length >= 44;
        EXPECT_EQ(scan.accepted, expected) << "cut at " << length;
        if (scan.accepted) {
            EXPECT_EQ(scan.record.info.privateArea.dataOffset, length == 36 ? 0u : 44u) << length;
            EXPECT_EQ(scan.record.info.privateArea.frameCount, length == 36 ? 0u : 2u) << length;
        }
    }    // The same across the end of the head read in one call: a LIST chunk pushes the headers over it.
    const std::vector<std::uint8_t> acrossHead = WavWriter().chunk("LIST", body(4060)).pcm(2, 44100, 16).data(body(8)).bytes();
    for (std::size_t length = 4068; length <= acrossHead.size(); ++length) {
        const Scan scan = scanBytes(std::vector<std::uint8_t>(acrossHead.begin(), acrossHead.begin() + length));
        EXPECT_EQ(scan.accepted, length == 4068 + 36 || length >= 4068 + 44) << "cut at " << length;
        EXPECT_TRUE(!scan.accepted || scan.record.info.privateArea.dataOffset == (length == 4104 ? 0u : 4112u)) << length;
    }
}

TEST(WaveScanner, EndOfFileRules) {
    // An odd data chunk with its pad byte last: the one-byte header read meets the end with tally
    // 17 and the stale header's size carries the walk out.
    const Scan padded = scanBytes(WavWriter().pcm(1, 8000, 8).data(body(7), true).bytes());
    ASSERT_TRUE(padded.accepted);
    EXPECT_EQ(padded.record.info.privateArea.frameCount, 7u);
    // Stray bytes after data: fine after a fmt chunk, refused without one.
    for (std::uint8_t stray = 1; stray < 8; ++stray) {
        EXPECT_TRUE(scanBytes(WavWriter().pcm(1, 8000, 8).data(body(8)).raw(body(stray)).bytes()).accepted) << +stray;
        EXPECT_FALSE(scanBytes(WavWriter().data(body(8)).raw(body(stray)).bytes()).accepted) << +stray;
    }
    // Only data chunks, or nothing after the header: refused (no fmt body).
    EXPECT_FALSE(scanBytes(WavWriter().data(body(8)).bytes()).accepted);
    EXPECT_FALSE(scanBytes(WavWriter().data(body(8)).data(body(8)).bytes()).accepted);
    EXPECT_FALSE(scanBytes(WavWriter().bytes()).accepted);
    // A fmt chunk without data is described, with no frames.
    const Scan noData = scanBytes(WavWriter().pcm(1, 8000, 8).chunk("LIST", body(4)).bytes());
    ASSERT_TRUE(noData.accepted);
    EXPECT_EQ(noData.record.info.privateArea.dataOffset, 0u);
    EXPECT_EQ(noData.record.info.privateArea.frameCount, 0u);
    // A second fmt chunk cut short by the end of the file leaves a mixed body: refused.
    std::vector<std::uint8_t> cutFmt = WavWriter().pcm(1, 8000, 8).data(body(8)).pcm(2, 44100, 16).bytes();
    cutFmt.resize(cutFmt.size() - 6);
    EXPECT_FALSE(scanBytes(cutFmt).accepted);
    // Not RIFF, not WAVE.
    EXPECT_FALSE(scanBytes(WavWriter().formType("AVI ").pcm(1, 8000, 8).data(body(8)).bytes()).accepted);
    std::vector<std::uint8_t> rifx = minimalStereo();
    rifx[3] = 'X';
    EXPECT_FALSE(scanBytes(rifx).accepted);
    // Not there at all.
    Record record;
    EXPECT_FALSE(wavetest::scan(&record.info, "no/such/file.wav", nullptr));
    EXPECT_FALSE(wavetest::scan(&record.info, "", nullptr));
    EXPECT_FALSE(wavetest::scan(&record.info, nullptr, nullptr));
    EXPECT_TRUE(record.untouched());
}

TEST(WaveScanner, SizesNear4GiB) {
    // Data claiming nearly 4 GiB: the walk ends at the data chunk, the length is kept.
    const Scan huge = scanBytes(WavWriter().pcm(2, 44100, 16).chunk("data", 0xFFFFFFFFu, body(16)).bytes());
    ASSERT_TRUE(huge.accepted);
    EXPECT_EQ(huge.record.info.privateArea.frameCount, 0xFFFFFFFFu / 4u);
    // Another chunk whose size would wrap a signed skip backwards: the walk ends, never restarts.
    EXPECT_FALSE(scanBytes(WavWriter().chunk("LIST", 0xFFFFFFF0u, body(4)).pcm(1, 8000, 8).data(body(8)).bytes()).accepted);
    EXPECT_TRUE(scanBytes(WavWriter().pcm(1, 8000, 8).chunk("LIST", 0x80000000u, body(4)).data(body(8)).bytes()).accepted);
    // A fmt size of 0x7FFFFFFF once made the skip's signed target wrap below 0, back to the RIFF
    // header, round after round; now the walk ends there, with the fmt body read.
    const Scan wrapping = scanBytes(WavWriter().chunk("fmt ", 0x7FFFFFFFu, WavWriter().pcm(1, 8000, 8).bytes()).bytes());
    EXPECT_TRUE(wrapping.accepted);
    std::vector<std::uint8_t> fmtBody = {1, 0, 1, 0, 0x40, 0x1F, 0, 0, 0x40, 0x1F, 0, 0, 1, 0, 8, 0};
    for (std::uint32_t size : {0x7FFFFFFFu, 0x7FFFFFF0u, 0x70000000u}) {
        std::vector<std::uint8_t> bytes = WavWriter().chunk("fmt ", size, fmtBody).data(body(8)).bytes();
        const Scan scan = scanBytes(bytes);
        ASSERT_TRUE(scan.accepted) << size;
        EXPECT_EQ(scan.record.info.privateArea.dataOffset, 0u) << "the walk ended at the fmt chunk";
    }
}

TEST(WaveScanner, FormatValuesThatCannotBeDivided) {
    // Sample rate 0; a byte rate below the sample rate; INT32_MIN over -1 (it traps on x86): the file
    // is described with frame size and frame count 0, so it gets no picture.
    struct Case {
        std::uint32_t rate, byteRate;
        const char* text;
    } cases[] = {{0, 176400, "0Hz, 16-bit, Stereo (PCM) Wave Audio"},
                 {44100, 100, "44100Hz, 16-bit, Stereo (PCM) Wave Audio"},
                 {0xFFFFFFFFu, 0x80000000u, "-1Hz, 16-bit, Stereo (PCM) Wave Audio"}};
    for (const Case& c : cases) {
        const Scan scan = scanBytes(WavWriter().fmt(1, 2, c.rate, c.byteRate, 4, 16).data(body(64)).bytes());
        ASSERT_TRUE(scan.accepted) << c.text;
        EXPECT_STREQ(scan.record.text, c.text);
        EXPECT_EQ(scan.record.info.privateArea.bytesPerFrame, 0);
        EXPECT_EQ(scan.record.info.privateArea.frameCount, 0u);
        EXPECT_EQ(scan.record.info.privateArea.dataOffset, 44u);
    }
}

TEST(WaveScanner, CodecsAndChannelsInTheRecord) {
    // (The texts themselves are checked with the description's formatter.)
    const Scan ieee = scanBytes(WavWriter().fmt(3, 2, 48000, 384000, 8, 32).data(body(64)).bytes());
    ASSERT_TRUE(ieee.accepted);
    EXPECT_EQ(ieee.record.info.privateArea.isPcm, 0);
    EXPECT_EQ(ieee.record.info.privateArea.frameCount, 8u);
    const Scan adpcm = scanBytes(WavWriter().fmt(2, 6, 22050, 66150, 2048, 0xFFFF).data(body(64)).bytes());
    ASSERT_TRUE(adpcm.accepted);
    EXPECT_STREQ(adpcm.record.text, "22050Hz, -1-bit, 6 Channels (ADPCM) Wave Audio");
    EXPECT_EQ(adpcm.record.info.privateArea.channelCount, 6);
    EXPECT_EQ(adpcm.record.info.privateArea.bitsPerSample, -1); // widened with its sign
    EXPECT_EQ(adpcm.record.info.privateArea.bytesPerFrame, 3);
    const Scan wide = scanBytes(WavWriter().fmt(0x0201, 0xFFFF, 8000, 8000, 1, 8).data(body(4)).bytes());
    ASSERT_TRUE(wide.accepted);
    EXPECT_EQ(wide.record.info.privateArea.channelCount, -1);
}

TEST(WaveScanner, FailingReadsEndTheWalk) {
    // A header read failing on an I/O error leaves the position where it was and the previous
    // header in the buffer: a chunk of size 0, or a fmt chunk whose body read fails too. The walk
    // once spun on it for ever; a pass that does not move now ends the scan as a failure.
    const std::vector<std::uint8_t> emptyChunk = WavWriter().chunk("junk", {}).pcm(1, 8000, 8).data(body(8)).bytes();
    const std::vector<std::uint8_t> zeroFmt = WavWriter().chunk("fmt ", 0, {}).pcm(1, 8000, 8).data(body(8)).bytes();
    const std::vector<std::uint8_t> pastHead = WavWriter().chunk("LIST", body(5000)).chunk("junk", {}).pcm(1, 8000, 8).data(body(8)).bytes();
    for (const auto* bytes : {&emptyChunk, &zeroFmt, &pastHead}) {
        ScratchFile file("failing.wav", *bytes);
        std::int32_t cleanReads = 0;
        {
            PlatformFakes fakes;
            Record record;
            ASSERT_TRUE(wavetest::scan(&record.info, file.path(), nullptr));
            cleanReads = fakes.log().readFileCalls;
        }
        // Every read from the failing one on fails: refused whichever read it is.
        for (std::int32_t failFrom = 0; failFrom < cleanReads; ++failFrom) {
            PlatformFakes fakes;
            fakes.log().readFileFailFrom = failFrom;
            Record record;
            EXPECT_FALSE(wavetest::scan(&record.info, file.path(), nullptr)) << failFrom;
            EXPECT_TRUE(record.untouched());
        }
    }
}

TEST(WaveScanner, AbortEventIsPolledOncePerChunk) {
    ScratchFile file("abort.wav", WavWriter().chunk("LIST", body(4)).pcm(1, 8000, 8).data(body(8)).bytes());
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    {
        PlatformFakes fakes;
        Record record;
        ASSERT_TRUE(wavetest::scan(&record.info, file.path(), event));
        EXPECT_EQ(fakes.log().waitCalls, 3);
        // No event: never polled.
        ASSERT_TRUE(wavetest::scan(&record.info, file.path(), nullptr));
        EXPECT_EQ(fakes.log().waitCalls, 3);
        // Signalled before the third chunk header: refused, record untouched.
        fakes.log().waitCalls = 0;
        fakes.log().signalAtWait = 2;
        const std::int32_t readsBefore = fakes.log().readFileCalls;
        Record aborted;
        EXPECT_FALSE(wavetest::scan(&aborted.info, file.path(), event));
        EXPECT_TRUE(aborted.untouched());
        EXPECT_EQ(fakes.log().readFileCalls - readsBefore, 1); // the head, which holds every chunk
    }
    // Really signalled, through the real wait.
    SetEvent(event);
    Record record;
    EXPECT_FALSE(wavetest::scan(&record.info, file.path(), event));
    EXPECT_TRUE(record.untouched());
    CloseHandle(event);
}

TEST(WaveScanner, WorksWithAnyFileObjectAndClosesIt) {
    ScratchFile file("object.wav", minimalStereo());
    DiskFile object(false);
    WaveDescription answer{};
    ASSERT_TRUE(scanWaveFile(object, file.path(), nullptr, answer));
    EXPECT_EQ(object.state, FileState::Closed);
    EXPECT_EQ(answer.values.dataOffset, 44u);
    ScratchFile bad("object-bad.wav", WavWriter().data(body(8)).bytes());
    EXPECT_FALSE(scanWaveFile(object, bad.path(), nullptr, answer));
    EXPECT_EQ(object.state, FileState::Closed);
}

} // namespace
