// Pak archives on real files: the name hash, the mount refusals, lookup, stored reads and seeks,
// nested opens, compressed entries, whole-file loads through File::Open, allocation failures, and
// the archive file's handle, counted through the platform table.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "support/FileTestSupport.h"
#include "core/fileio/DiskFile.h"
#include "core/fileio/ArchiveMount.h"
#include "core/fileio/PakArchive.h"
#include "core/fileio/SharedState.h"
#include "support/PakWriter.h"
#include "support/FileCallFaults.h"
#include "support/PlatformFakes.h"

namespace {

using filetest::TempFolder;
using Bytes = std::vector<std::uint8_t>;

Bytes text(const char* s) { return Bytes(s, s + std::strlen(s)); }

std::string asString(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// Counts platform calls for one test and drops an archive a failing assertion left mounted.
class PakTest : public ::testing::Test {
protected:
    void TearDown() override { UnmountArchive(); }
    std::string writePak(const std::string& name, const Bytes& bytes) {
        EXPECT_TRUE(dir.write(name, asString(bytes)));
        return dir.file(name);
    }
    PakArchive& mounted() { return *currentArchive.load(); }
    std::string readEntry(std::uint32_t count, PakCursor& from) {
        std::string buffer(count, '\0');
        buffer.resize(mounted().ReadEntry(from, &buffer[0], count));
        return buffer;
    }
    std::string readEntry(std::uint32_t count) { return readEntry(count, cursor); }
    PakCursor cursor;
    PlatformLog& counted() { return fakes.log(); }
    PlatformFakes fakes;
    TempFolder dir;
};

TEST(PakHash, NamesHashWithoutInversion) {
    const struct {
        const char* name;
        std::uint32_t hash;
    } cases[] = {
        {"abc", 0xCA6598D0u}, {"", 0u}, {"intro.wav", 0xA4DD152Fu}, {"Intro.wav", 0x262C978Cu},
        {"drums/kick.wav", 0x0FB8318Bu},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HashEntryName(c.name), c.hash) << c.name;
    }
    EXPECT_EQ(HashEntryName(nullptr), 0u);
}

TEST_F(PakTest, MountRefusesWhatCannotBeADirectoryAndAlwaysClosesTheFile) {
    const std::uint32_t sixteenMiB = pakMaxDirectoryBytes;
    const Bytes good = PakWriter().stored("a", text("abc")).bytes();
    const struct {
        const char* what;
        Bytes bytes;
        bool mounts;
    } cases[] = {
        {"an empty file", {}, false},
        {"dataStart 0", PakWriter().stored("a", text("abc")).dataStart(0).bytes(), false},
        {"dataStart 1", PakWriter().stored("a", text("abc")).dataStart(1).bytes(), false},
        {"dataStart 7", PakWriter().stored("a", text("abc")).dataStart(7).bytes(), false},
        {"no entries", PakWriter().bytes(), false},
        {"directory of 20 bytes", PakWriter().stored("a", text("abcdefgh")).dataStart(28).bytes(), false},
        {"directory over 16 MiB", PakWriter().stored("a", text("abc")).dataStart(8 + sixteenMiB + 16).bytes(), false},
        {"directory at 4 GiB", PakWriter().stored("a", text("abc")).dataStart(0xFFFFFFF8u).bytes(), false},
        {"16 MiB directory read short", PakWriter().stored("a", text("abc")).dataStart(8 + sixteenMiB).bytes(), true},
        {"a good archive", good, true},
    };
    for (const auto& c : cases) {
        const std::string path = writePak("case.pak", c.bytes);
        counted().readFileCalls = 0;
        EXPECT_EQ(MountArchive(path.c_str()), c.mounts) << c.what;
        if (c.mounts) {
            EXPECT_EQ(counted().openHandles, 1) << c.what;
            EXPECT_EQ(counted().readFileCalls, 2) << c.what; // the header, then the whole directory
            EXPECT_TRUE(UnmountArchive());
        }
        EXPECT_EQ(currentArchive.load(), nullptr) << c.what;
        EXPECT_EQ(counted().openHandles, 0) << c.what;
    }
    EXPECT_FALSE(MountArchive(dir.file("missing.pak").c_str()));
    // One and a half entries present ("xy" begins the second): the rest are zero, found by the
    // empty name, and one zero entry stands for all of them however many the header claims. With
    // two claimed, the half entry is the last: nothing is zero, and the empty name finds nothing.
    const struct {
        std::uint32_t claimed;
        std::uint32_t kept;
    } shortCases[] = {{8 + 64, 3}, {8 + sixteenMiB, 3}, {8 + 32, 2}};
    for (const auto& c : shortCases) {
        ASSERT_TRUE(MountArchive(writePak("short.pak", PakWriter().stored("a", text("xy")).dataStart(c.claimed).bytes()).c_str()));
        ASSERT_EQ(mounted().directory.count(), c.kept) << c.claimed;
        EXPECT_EQ(mounted().directory[1].nameHash, 0x7978u) << c.claimed; // "xy" and zeros
        cursor = PakCursor{};
        EXPECT_EQ(mounted().OpenEntry("", cursor), c.kept == 3) << c.claimed;
        EXPECT_EQ(mounted().EntrySize(cursor), 0u) << c.claimed;
        EXPECT_TRUE(UnmountArchive());
    }
    // One archive at a time: a second mount fails and changes nothing.
    ASSERT_TRUE(MountArchive(writePak("one.pak", good).c_str()));
    PakArchive* first = currentArchive.load();
    EXPECT_FALSE(MountArchive(writePak("two.pak", good).c_str()));
    EXPECT_EQ(currentArchive.load(), first);
    EXPECT_EQ(counted().openHandles, 1);
}

TEST_F(PakTest, LookupTakesTheFirstEqualHashAndKeepsLetterCase) {
    const std::uint32_t shared = HashEntryName("x");
    const Bytes pak = PakWriter()
                          .stored("first", text("1"))
                          .hash(shared)
                          .stored("second", text("2"))
                          .hash(shared)
                          .stored("intro.wav", text("lower"))
                          .stored("Intro.wav", text("Upper"))
                          .bytes();
    ASSERT_TRUE(MountArchive(writePak("names.pak", pak).c_str()));
    PakArchive& archive = mounted();
    ASSERT_TRUE(archive.OpenEntry("x", cursor));
    EXPECT_EQ(readEntry(8), "1");
    ASSERT_TRUE(archive.OpenEntry("Intro.wav", cursor));
    EXPECT_EQ(readEntry(8), "Upper");
    ASSERT_TRUE(archive.OpenEntry("intro.wav", cursor));
    EXPECT_EQ(readEntry(8), "lower");
    EXPECT_FALSE(archive.ContainsEntry("INTRO.WAV"));
    EXPECT_TRUE(archive.ContainsEntry("Intro.wav"));
    // A name that is not there leaves the cursor where it was.
    EXPECT_FALSE(archive.OpenEntry("missing", cursor));
    EXPECT_TRUE(archive.SeekEntry(cursor, 1));
    EXPECT_EQ(readEntry(8), "ower");
}

TEST_F(PakTest, StoredReadsSeeksAndNestedOpens) {
    // Entries out of order, with gaps, and one placed past 4 GiB by its offset.
    const Bytes pak = PakWriter()
                          .gap(5)
                          .stored("digits", text("0123456789"))
                          .offset(40)
                          .stored("letters", text("abcdef"))
                          .offset(3)
                          .stored("far", text("zz"))
                          .offset(0xFFFFFFF0u)
                          .bytes();
    const std::string path = writePak("stored.pak", pak);
    ASSERT_TRUE(MountArchive(path.c_str()));
    PakArchive& archive = mounted();
    ASSERT_TRUE(archive.OpenEntry("digits", cursor));
    EXPECT_EQ(readEntry(4), "0123");
    counted().setFilePointerCalls = 0;
    EXPECT_EQ(readEntry(3), "456");
    EXPECT_TRUE(archive.SeekEntry(cursor, 7)); // already there
    EXPECT_EQ(counted().setFilePointerCalls, 0);
    // Past the end: lands at the end with the end flag; an earlier seek leaves the flag.
    EXPECT_TRUE(archive.SeekEntry(cursor, 1000));
    EXPECT_EQ(cursor.position, 10u);
    EXPECT_TRUE(archive.EntryAtEnd(cursor));
    EXPECT_EQ(readEntry(5), "");
    EXPECT_TRUE(archive.SeekEntry(cursor, 2));
    EXPECT_TRUE(archive.EntryAtEnd(cursor));
    EXPECT_EQ(readEntry(3), "234");

    // A second cursor in the same archive: each reads from where it stands, with its own end flag,
    // whatever the other did to the shared file handle.
    PakCursor other;
    ASSERT_TRUE(archive.OpenEntry("letters", other));
    EXPECT_EQ(readEntry(100, other), "abcdef");
    EXPECT_TRUE(archive.EntryAtEnd(other));
    EXPECT_EQ(readEntry(100), "56789");
    ASSERT_TRUE(archive.OpenEntry("letters", other)); // opened again: restarts at 0
    EXPECT_EQ(readEntry(2, other), "ab");
    EXPECT_TRUE(archive.CloseEntry(other));
    EXPECT_FALSE(archive.CloseEntry(other));
    EXPECT_EQ(archive.EntrySize(other), 0u);
    EXPECT_EQ(archive.ReadEntry(other, nullptr, 4), 0u);
    EXPECT_FALSE(archive.SeekEntry(other, 0));
    EXPECT_TRUE(archive.EntryAtEnd(other));
    // An entry whose bytes would lie beyond 4 GiB reads nothing rather than wrapping to the header.
    ASSERT_TRUE(archive.OpenEntry("far", cursor));
    EXPECT_EQ(readEntry(2), "");
    EXPECT_FALSE(archive.SeekEntry(cursor, 1));
    EXPECT_EQ(counted().openHandles, 1);
    EXPECT_TRUE(UnmountArchive());
    EXPECT_EQ(counted().openHandles, 0);
}

// Compressed entries read whole or not at all; a failure never answers the full count.
TEST_F(PakTest, CompressedEntries) {
    const Bytes ten = text("compressed");
    const Bytes big = noise(300000, 7); // packed into three chunks of the inflate buffer
    const Bytes tune = text("a tune that inflates in one chunk, a tune that inflates in one chunk");
    Bytes badSmall = zlibStream(tune);
    badSmall.back() ^= 0x55; // the Adler-32 trailer no longer matches
    Bytes badBig = zlibStream(big);
    badBig.back() ^= 0x55;
    const Bytes whole = zlibStream(tune);
    const std::uint32_t tuneSize = static_cast<std::uint32_t>(tune.size());
    const std::uint32_t wholeSize = static_cast<std::uint32_t>(whole.size());
    const Bytes pak = PakWriter()
                          .compressed("ten", ten)
                          .compressed("big", big)
                          .entry(HashEntryName("adler"), badSmall, static_cast<std::uint32_t>(badSmall.size()), tuneSize)
                          .entry(HashEntryName("adler-big"), badBig, static_cast<std::uint32_t>(badBig.size()), 300000)
                          .entry(HashEntryName("cut"), whole, wholeSize - 4, tuneSize)
                          .entry(HashEntryName("long"), whole, wholeSize, tuneSize - 1)
                          .entry(HashEntryName("short"), whole, wholeSize, tuneSize + 5)
                          .stored("plain", text("stored"))
                          .bytes();
    ASSERT_GT(zlibStream(big).size(), 2u * pakInflateBufferBytes);
    ASSERT_TRUE(MountArchive(writePak("packed.pak", pak).c_str()));
    PakArchive& archive = mounted();
    const struct {
        const char* name;
        std::uint32_t count;    // what a whole read answers
        std::string content;    // what it delivers
    } cases[] = {
        {"ten", 10, "compressed"},
        {"big", 300000, asString(big)},
        {"adler", 0, ""},                                 // found by the one call, which is not counted
        {"cut", tuneSize - 1, asString(tune).substr(0, tuneSize - 1)}, // packed bytes run out before the end
        {"long", tuneSize - 2, asString(tune).substr(0, tuneSize - 2)}, // more content than its size
        {"short", tuneSize, asString(tune)},              // ends early: what it really gave
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(archive.OpenEntry(c.name, cursor)) << c.name;
        const std::uint32_t size = archive.EntrySize(cursor);
        std::string buffer(size, '\0');
        EXPECT_EQ(archive.ReadEntry(cursor, &buffer[0], size / 2), 0u) << c.name; // piecewise: nothing
        EXPECT_EQ(archive.ReadEntry(cursor, &buffer[0], size), c.count) << c.name;
        EXPECT_EQ(buffer.substr(0, c.count), c.content) << c.name;
        // Only position 0 can be sought; from there the entry reads whole again.
        EXPECT_FALSE(archive.SeekEntry(cursor, 1)) << c.name;
        EXPECT_TRUE(archive.SeekEntry(cursor, 0)) << c.name;
        std::string again(size, '\0');
        EXPECT_EQ(archive.ReadEntry(cursor, &again[0], size), c.count) << c.name;
        EXPECT_EQ(again.substr(0, c.count), c.content) << c.name;
        EXPECT_EQ(cursor.position, 0u) << c.name;
        ASSERT_TRUE(archive.CloseEntry(cursor));
    }
    // A mismatch found in the third chunk: the first two chunks' output counts, and a second read
    // after SeekEntry(0) starts from the entry's first packed byte again.
    ASSERT_TRUE(archive.OpenEntry("adler-big", cursor));
    std::string buffer(300000, '\0');
    const std::uint32_t first = archive.ReadEntry(cursor, &buffer[0], 300000);
    EXPECT_GT(first, 0u);
    EXPECT_LT(first, 300000u);
    EXPECT_EQ(buffer.substr(0, first), asString(big).substr(0, first));
    ASSERT_TRUE(archive.SeekEntry(cursor, 0));
    EXPECT_EQ(archive.ReadEntry(cursor, &buffer[0], 300000), first);
    ASSERT_TRUE(archive.CloseEntry(cursor));
    // A stored entry after compressed reads is found where it lies.
    ASSERT_TRUE(archive.OpenEntry("plain", cursor));
    EXPECT_EQ(readEntry(6), "stored");
}

TEST_F(PakTest, WholeFileLoadsThroughFileOpen) {
    const Bytes tune = text("whole-file loads inflate compressed entries");
    const Bytes stream = zlibStream(tune);
    const std::uint32_t tuneSize = static_cast<std::uint32_t>(tune.size());
    const Bytes pak = PakWriter()
                          .compressed("sub/tune.txt", tune)
                          .entry(HashEntryName("short"), stream, static_cast<std::uint32_t>(stream.size()), tuneSize + 1)
                          .entry(HashEntryName("long"), stream, static_cast<std::uint32_t>(stream.size()), tuneSize - 1)
                          .stored("plain", tune)
                          .bytes();
    const std::string path = writePak("load.pak", pak);
    DiskFile f(false);
    ASSERT_TRUE(f.Open((path + "\\sub\\.\\tune.txt").c_str(), 1, HeapCategory::Engine));
    EXPECT_EQ(f.state, FileState::Loaded);
    EXPECT_STREQ(f.name.c_str(), "sub/tune.txt");
    std::string buffer(tuneSize, '\0');
    EXPECT_EQ(f.Read(&buffer[0], tuneSize), tuneSize);
    EXPECT_EQ(buffer, asString(tune));
    ASSERT_TRUE(f.Close());
    // A stream that ends early or runs on: the load fails instead of handing over stale bytes.
    for (const char* name : {"short", "long"}) {
        EXPECT_FALSE(f.Open((path + "/" + name).c_str(), 1, HeapCategory::Engine)) << name;
        EXPECT_EQ(f.lastError, FileError::ReadFailed) << name;
        EXPECT_EQ(f.state, FileState::Opened) << name;
        ASSERT_TRUE(f.Close());
    }
    // Read piecewise, a compressed entry gives nothing.
    ASSERT_TRUE(f.Open((path + "/sub/tune.txt").c_str()));
    EXPECT_EQ(f.Read(&buffer[0], 1, 4), 0u);
    EXPECT_EQ(f.lastError, FileError::ReadFailed);
    ASSERT_TRUE(f.Close());
    ASSERT_TRUE(f.Open((path + "/plain").c_str(), 1, HeapCategory::Engine));
    EXPECT_EQ(f.state, FileState::Loaded);
    ASSERT_TRUE(f.Close());
    EXPECT_EQ(mounted().references, 1u); // the mount's alone
    EXPECT_EQ(counted().openHandles, 1);
}

// A directory word cannot make a whole-file load allocate more than the archive file could hold:
// a stored entry's size is bounded by the file's length, a compressed one's by deflate's densest
// ratio over it. Such entries still fail to load; true ones, however densely packed, load.
TEST_F(PakTest, SizesBeyondTheFileAreBoundedByIt) {
    const Bytes quiet(100000, 0); // inflates to far more than the whole archive holds
    const Bytes tune = text("a tune");
    const Bytes stream = zlibStream(tune);
    const Bytes pak = PakWriter()
                          .stored("plain", tune)
                          .stored("huge", tune)
                          .size(0xFFFFFFF0u)
                          .compressed("quiet", quiet)
                          .entry(HashEntryName("packed-huge"), stream, static_cast<std::uint32_t>(stream.size()), 0xFFFFFF00u)
                          .bytes();
    const std::uint32_t fileBytes = static_cast<std::uint32_t>(pak.size());
    ASSERT_GT(quiet.size(), 100u * fileBytes);
    const std::string path = writePak("sizes.pak", pak);
    const struct {
        const char* name;
        std::uint32_t size;
        bool loads;
        FileError error;
    } cases[] = {
        {"plain", 6, true, FileError::None},
        {"huge", fileBytes, false, FileError::ReadFailed},
        {"quiet", 100000, true, FileError::None},
        {"packed-huge", fileBytes * pakLargestInflateRatio, false, FileError::LoadEmpty},
    };
    for (const auto& c : cases) {
        FaultRegistry faults(filetest::faultyCategories);
        faults.heap().failSize = 0xFFFFFFF0u; // what the forged word would ask for
        {
            DiskFile f(false);
            EXPECT_EQ(f.Open((path + "/" + c.name).c_str(), 1, HeapCategory::Engine), c.loads) << c.name;
            EXPECT_EQ(f.size, c.size) << c.name;
            EXPECT_EQ(f.lastError, c.error) << c.name;
            if (c.loads) {
                EXPECT_EQ(std::memcmp(f.memoryData, c.size == 6 ? tune.data() : quiet.data(), c.size), 0) << c.name;
            }
            EXPECT_EQ(faults.heap().failures.load(), 0) << c.name;
            f.Close();
            UnmountArchive();
        }
        EXPECT_EQ(faults.heap().outstanding(), 0u) << c.name;
    }
}

// Each file object reads the entry it opened, whatever other objects opened since: entries of
// the same archive, loose files that unmount it, or another archive.
TEST_F(PakTest, FileObjectsReadTheirOwnEntries) {
    ASSERT_TRUE(dir.write("loose.txt", "loose"));
    const std::string path =
        writePak("own.pak", PakWriter().stored("digits", text("0123456789")).stored("letters", text("abcdef")).bytes());
    const std::string second = writePak("second.pak", PakWriter().stored("digits", text("9876543210")).bytes());
    DiskFile digits(false);
    DiskFile letters(false);
    ASSERT_TRUE(digits.Open((path + "/digits").c_str()));
    char b[16] = {};
    EXPECT_EQ(digits.Read(b, 4), 4u);
    ASSERT_TRUE(letters.Open((path + "/letters").c_str()));
    EXPECT_EQ(letters.Read(b + 4, 3), 3u);
    EXPECT_EQ(digits.Read(b + 7, 3), 3u);
    EXPECT_EQ(std::string(b, 10), "0123abc456");
    // Closed out of order: the other's entry is not closed with it.
    ASSERT_TRUE(digits.Close());
    EXPECT_EQ(letters.Read(b, 3), 3u);
    EXPECT_EQ(std::string(b, 3), "def");
    ASSERT_TRUE(letters.Close());
    EXPECT_EQ(mounted().references, 1u);

    // A loose file unmounts the archive; the object still open in it keeps reading it, and so it
    // does while another archive is mounted. The last holder closes the archive file.
    ASSERT_TRUE(digits.Open((path + "/digits").c_str()));
    DiskFile loose(false);
    ASSERT_TRUE(loose.Open(dir.file("loose.txt").c_str()));
    EXPECT_EQ(currentArchive.load(), nullptr);
    EXPECT_EQ(counted().openHandles, 2);
    EXPECT_EQ(digits.Read(b, 4), 4u);
    ASSERT_TRUE(letters.Open((second + "/digits").c_str()));
    EXPECT_EQ(digits.Read(b + 4, 2), 2u);
    EXPECT_EQ(letters.Read(b + 6, 3), 3u);
    EXPECT_TRUE(digits.Seek(8));
    EXPECT_EQ(digits.Read(b + 9, 9), 2u);
    EXPECT_EQ(std::string(b, 11), "012345987" "89");
    ASSERT_TRUE(digits.Close());
    EXPECT_EQ(counted().openHandles, 2); // the loose file and the second archive

    // While another thread holds the shared handle (waiting on its storage), a reader takes a
    // handle of its own rather than wait, reads through it, and closes it with its entry.
    ASSERT_TRUE(digits.Open((path + "/digits").c_str()));
    std::atomic<int> stage{0};
    std::thread holder([&] {
        PakArchive& archive = mounted();
        ASSERT_TRUE(archive.access.acquire());
        stage = 1;
        while (stage.load() != 2) {
            std::this_thread::yield();
        }
        archive.access.release();
    });
    while (stage.load() != 1) {
        std::this_thread::yield();
    }
    EXPECT_TRUE(digits.Seek(3));
    EXPECT_EQ(digits.Read(b, 4), 4u);
    EXPECT_EQ(std::string(b, 4), "3456");
    EXPECT_EQ(counted().openHandles, 4);
    stage = 2;
    holder.join();
    ASSERT_TRUE(digits.Close());
    EXPECT_EQ(counted().openHandles, 3); // and the archive, mounted again
}

// A failed seek must not leave the archive believing its file is at the target: the next seek
// there seeks again instead of reading from wherever the handle really is.
TEST_F(PakTest, AFailedSeekLeavesTheFilePositionUnknown) {
    const std::string path = writePak("seek.pak", PakWriter().stored("digits", text("0123456789")).bytes());
    DiskFile f(false);
    ASSERT_TRUE(f.Open((path + "/digits").c_str()));
    char b[4] = {};
    EXPECT_EQ(f.Read(b, 3), 3u);
    counted().seekFails = true;
    EXPECT_FALSE(f.Seek(6));
    EXPECT_EQ(f.lastError, FileError::SeekFailed);
    counted().seekFails = false;
    ASSERT_TRUE(f.Seek(6));
    EXPECT_EQ(f.Read(b, 2), 2u);
    EXPECT_EQ(std::string(b, 2), "67");
}

// A read of the archive file that fails once is tried again from the cursor's own place, for a
// stored entry read piecewise and a compressed one loaded whole; a failure on every try fails.
TEST_F(PakTest, AFailedReadIsTriedAgainFromTheCursor) {
    const Bytes tune = text("inflated in one request");
    const std::string path = writePak("retry.pak", PakWriter().stored("digits", text("0123456789")).compressed("tune", tune).bytes());
    std::uint32_t readFileMask = 0;
    for (std::size_t call = 0; call < FileCallFaults::callCount(); ++call) {
        readFileMask |= std::string(FileCallFaults::callName(call)) == "ReadFile" ? 1u << call : 0u;
    }
    DiskFile stored(false);
    ASSERT_TRUE(stored.Open((path + "/digits").c_str()));
    char b[4] = {};
    ASSERT_EQ(stored.Read(b, 3), 3u);
    for (const bool onwards : {false, true}) {
        FileCallFaults faults;
        faults.failAt(0, onwards, readFileMask);
        EXPECT_EQ(stored.Read(b, 2), onwards ? 0u : 2u) << onwards;
        DiskFile whole(false);
        EXPECT_EQ(whole.Open((path + "/tune").c_str(), 1, HeapCategory::Engine), !onwards) << onwards;
        if (!onwards) {
            EXPECT_EQ(std::string(b, 2), "34");
            EXPECT_EQ(Bytes(whole.memoryData, whole.memoryData + whole.Size()), tune);
        }
    }
}

// Without its inflate buffer an archive still mounts and serves its stored entries; only its
// compressed ones read nothing. (Every other allocation failure is the system sweep's.)
TEST_F(PakTest, MountsWithoutTheInflateBuffer) {
    const Bytes tune = text("inflated with zlib's memory from the registry");
    const std::string path =
        writePak("faults.pak", PakWriter().compressed("tune", tune).stored("plain", text("plain")).bytes());
    FaultRegistry faults(filetest::faultyCategories);
    faults.heap().failSize = pakInflateBufferBytes;
    {
        DiskFile plain(false);
        DiskFile packed(false);
        ASSERT_TRUE(plain.Open((path + "/plain").c_str()));
        EXPECT_EQ(mounted().inflateBufferSize, 0u);
        char b[8] = {};
        EXPECT_EQ(plain.Read(b, 5), 5u);
        EXPECT_EQ(std::string(b, 5), "plain");
        EXPECT_FALSE(packed.Open((path + "/tune").c_str(), 1, HeapCategory::Engine));
        EXPECT_EQ(packed.lastError, FileError::LoadEmpty);
        EXPECT_EQ(faults.heap().failures.load(), 1);
        UnmountArchive();
    }
    EXPECT_EQ(faults.heap().outstanding(), 0u);
    // zlib's requests: items x size beyond 32 bits is refused, not wrapped to a small block.
    EXPECT_EQ(zlibAllocate(nullptr, 65536, 65537), nullptr);
    void* block = zlibAllocate(nullptr, 4, 1000);
    EXPECT_NE(block, nullptr);
    zlibRelease(nullptr, block);
}

} // namespace
