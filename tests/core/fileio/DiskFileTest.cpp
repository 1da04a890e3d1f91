// The Win32 disk backend: raw operations on real files, failures injected through the platform
// table, directory listings, the executable's directory, the shared lock's lifecycle, and
// positions beyond 2 GiB on a sparse file.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "support/FileTestSupport.h"
#include "core/fileio/DiskFile.h"
#include "core/fileio/ArchiveMount.h"
#include "core/fileio/PakArchive.h"
#include "core/fileio/SharedState.h"
#include "core/thread/Lock.h"
#include "support/PlatformFakes.h"

namespace {

// A category of an owner's own choosing, among those faultyCategories routes to the fault heap.
constexpr HeapCategory ownersCategory = static_cast<HeapCategory>(5);

using filetest::TempFolder;


TEST(DiskFile, RawOpensSharingAndClose) {
    TempFolder dir;
    ASSERT_TRUE(dir.write("ten.bin", "0123456789"));
    DiskFile f(false);
    EXPECT_FALSE(filetest::rawOpenOnDisk(f, dir.file("missing")));
    EXPECT_EQ(f.readHandle, nullptr);
    EXPECT_FALSE(f.RawOk());

    ASSERT_TRUE(filetest::rawOpenOnDisk(f, dir.file("ten.bin")));
    EXPECT_EQ(f.rawSize, 10u);
    EXPECT_EQ(f.rawPosition, 0u);
    EXPECT_FALSE(f.rawAtEnd);
    EXPECT_TRUE(f.RawOk());
    // Open for reading here, the file can still be read, written and deleted by others.
    HANDLE other = CreateFileA(dir.file("ten.bin").c_str(), GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(other, INVALID_HANDLE_VALUE);
    CloseHandle(other);
    EXPECT_TRUE(f.RawSeek(1000));
    EXPECT_EQ(f.rawPosition, 10u);
    EXPECT_TRUE(f.RawAtEnd());
    EXPECT_TRUE(f.RawSeek(3));
    EXPECT_FALSE(f.RawAtEnd()); // a read handle's seek keeps the end flag in step too
    char b[16];
    EXPECT_EQ(f.RawRead(b, 16), 7u);
    EXPECT_TRUE(f.RawAtEnd());
    EXPECT_EQ(f.RawRead(b, 16), 0u); // at the end: 0 with success
    EXPECT_TRUE(f.RawOk());
    EXPECT_TRUE(f.Delete(dir.file("ten.bin").c_str()));
    EXPECT_TRUE(f.RawClose());
    EXPECT_EQ(f.readHandle, nullptr);
    EXPECT_EQ(f.rawSize, 0u);
    EXPECT_TRUE(f.RawAtEnd());
    EXPECT_TRUE(f.RawClose()); // no handle at all counts as success
    EXPECT_FALSE(f.Delete(dir.file("ten.bin").c_str()));
}

TEST(DiskFile, AppendCreateAndExclusiveWriting) {
    TempFolder dir;
    ASSERT_TRUE(dir.write("hundred.bin", std::string(100, 'h')));
    DiskFile f(true);
    ASSERT_TRUE(f.RawOpenAppend(dir.file("hundred.bin").c_str()));
    EXPECT_EQ(f.rawSize, 100u);
    EXPECT_EQ(f.rawPosition, 100u);
    // Exclusive: nobody else opens it, not even for reading.
    DiskFile reader(true);
    EXPECT_FALSE(filetest::rawOpenOnDisk(reader, dir.file("hundred.bin")));
    EXPECT_TRUE(f.RawWrite("12345", 5));
    EXPECT_EQ(f.rawPosition, 105u);
    EXPECT_TRUE(f.RawClose());
    EXPECT_EQ(dir.read("hundred.bin").size(), 105u);

    ASSERT_TRUE(f.RawOpenCreate(dir.file("hundred.bin").c_str()));
    EXPECT_TRUE(f.RawClose());
    EXPECT_EQ(dir.read("hundred.bin"), "");
    EXPECT_FALSE(f.RawOpenCreate(dir.file("no/such/folder").c_str()));
    EXPECT_EQ(f.writeHandle, nullptr);
}

// Without the size or the seek to the end, the write handle would sit at the start of the file and
// the first line would overwrite it: the open fails, and lets go of the file.
TEST(DiskFile, AppendFailsWhenTheEndCannotBeReached) {
    TempFolder dir;
    for (bool sizeFails : {true, false}) {
        ASSERT_TRUE(dir.write("log.txt", "first line\n"));
        {
            PlatformFakes fakes;
            fakes.log().sizeFails = sizeFails;
            fakes.log().seekFails = !sizeFails;
            DiskFile f(false);
            EXPECT_FALSE(f.RawOpenAppend(dir.file("log.txt").c_str())) << sizeFails;
            EXPECT_EQ(f.writeHandle, nullptr);
            EXPECT_FALSE(f.RawOk());
            EXPECT_EQ(fakes.log().closeHandleCalls, 1);
            EXPECT_FALSE(f.OpenAppend(dir.file("log.txt").c_str()));
            EXPECT_EQ(f.lastError, FileError::CannotOpen);
            EXPECT_EQ(f.state, FileState::Closed);
            EXPECT_FALSE(f.WriteLine("over the start", 0));
        }
        EXPECT_EQ(dir.read("log.txt"), "first line\n") << sizeFails;
        // The exclusive handle is gone: the file opens again.
        DiskFile again(false);
        ASSERT_TRUE(again.OpenAppend(dir.file("log.txt").c_str()));
        EXPECT_TRUE(again.Close());
    }
}

TEST(DiskFile, ExistsLeavesTheObjectAsItWas) {
    TempFolder dir;
    ASSERT_TRUE(dir.write("a.txt", "a"));
    ASSERT_TRUE(dir.write("b.txt", "bb"));
    DiskFile f(false);
    EXPECT_TRUE(f.Exists(dir.file("a.txt").c_str()));
    EXPECT_FALSE(f.Exists(dir.file("zz.txt").c_str()));
    EXPECT_EQ(f.state, FileState::Closed);
    EXPECT_EQ(f.readHandle, nullptr);
    ASSERT_TRUE(f.Open(dir.file("b.txt").c_str()));
    EXPECT_TRUE(f.Exists(dir.file("a.txt").c_str()));
    EXPECT_EQ(f.state, FileState::Opened);
    char c[2];
    EXPECT_EQ(f.Read(c, 2), 2u); // still reading its own file
    EXPECT_EQ(std::string(c, 2), "bb");
}

TEST(DiskFile, ShortFailedAndMissingPlatformResults) {
    TempFolder dir;
    ASSERT_TRUE(dir.write("ten.bin", "0123456789"));
    PlatformFakes fakes;
    PlatformLog& platformLog = fakes.log();
    DiskFile f(false);
    ASSERT_TRUE(f.Open(dir.file("ten.bin").c_str()));
    char b[16] = {};

    // A short raw read counts for what it delivered.
    platformLog.readLimit = 3;
    EXPECT_EQ(f.Read(b, 8), 3u);
    EXPECT_EQ(f.position, 3u);
    EXPECT_TRUE(f.IsOk());
    EXPECT_EQ(std::string(b, 3), "012");

    platformLog.readFileFailFrom = 0;
    EXPECT_EQ(f.Read(b, 2), 0u);
    EXPECT_EQ(f.lastError, FileError::ReadFailed);
    EXPECT_EQ(f.position, 3u);
    EXPECT_FALSE(f.RawOk());
    platformLog = PlatformLog{};

    platformLog.seekFails = true;
    f.lastError = FileError::None;
    EXPECT_FALSE(f.Seek(5));
    EXPECT_EQ(f.lastError, FileError::SeekFailed);
    EXPECT_EQ(f.position, 3u);
    EXPECT_EQ(f.Skip(4), 3u); // a failed skip answers the unchanged position
    platformLog.seekFails = false;
    // A successful seek does not clear the error.
    EXPECT_TRUE(f.Seek(5));
    EXPECT_EQ(f.lastError, FileError::SeekFailed);

    // A seek within the size known since the open asks nothing; one at the end asks again, and
    // when the size cannot be had it fails rather than seeking to 0.
    platformLog.sizeFails = true;
    f.lastError = FileError::None;
    EXPECT_FALSE(f.Seek(12));
    EXPECT_EQ(f.lastError, FileError::SeekFailed);
    EXPECT_EQ(f.position, 5u);
    f.lastError = FileError::None;
    EXPECT_TRUE(f.Seek(5));
    EXPECT_EQ(platformLog.getFileSizeCalls, 1);
    platformLog.sizeFails = false;
    EXPECT_EQ(f.Read(b, 2), 2u);
    EXPECT_EQ(std::string(b, 2), "56");
    ASSERT_TRUE(f.Close());

    // A failed size query opens the file with size 0.
    platformLog.sizeFails = true;
    ASSERT_TRUE(f.Open(dir.file("ten.bin").c_str()));
    EXPECT_EQ(f.Size(), 0u);
    EXPECT_TRUE(f.AtEnd());
    EXPECT_FALSE(f.RawOk());
    platformLog.sizeFails = false;
    ASSERT_TRUE(f.Close());

    // A whole-file load that gets fewer bytes than the size fails with 9.
    platformLog.readLimit = 4;
    EXPECT_FALSE(f.Open(dir.file("ten.bin").c_str(), 1, HeapCategory::Engine));
    EXPECT_EQ(f.lastError, FileError::ReadFailed);
    EXPECT_EQ(f.state, FileState::Opened);
    platformLog.readLimit = -1;
    ASSERT_TRUE(f.Close());
}

TEST(DiskFile, FailedWritesStayFailedUntilTheRawLayerRecovers) {
    TempFolder dir;
    PlatformFakes fakes;
    PlatformLog& platformLog = fakes.log();
    DiskFile f(false);
    ASSERT_TRUE(f.OpenAppend(dir.file("log.txt").c_str()));
    platformLog.writeFails = true;
    EXPECT_FALSE(f.WriteLine("a", 0));
    EXPECT_EQ(f.lastError, FileError::WriteFailed);
    platformLog.writeFails = false;
    EXPECT_FALSE(f.RawWrite("b", 1)); // the platform write succeeds; the raw layer is still failed
    EXPECT_EQ(f.RawSize(), 1u);        // a successful size query recovers it
    EXPECT_TRUE(f.RawWrite("c", 1));
    // A short write is a failed write.
    platformLog.shortWrites = true;
    f.position = f.RawSize();
    EXPECT_FALSE(f.WriteLine("xyz", 1));
    EXPECT_EQ(f.lastError, FileError::WriteFailed);
    platformLog.shortWrites = false;
    // A failed line end is caught through the raw state.
    f.RawSize();
    f.position = f.RawSize();
    platformLog.shortWrites = true;
    {
        filetest::LineEndModeGuard crlf(1);
        EXPECT_FALSE(f.WriteLine("", 0)); // the empty text writes, the CR LF line end does not
    }
    EXPECT_EQ(f.lastError, FileError::WriteFailed);
    platformLog.shortWrites = false;
    ASSERT_TRUE(f.Close());
}

TEST(DiskFile, ListsBareNamesWithoutDotEntries) {
    TempFolder dir;
    ASSERT_TRUE(dir.write("a.txt", "a"));
    ASSERT_TRUE(dir.write("b.wav", ""));
    ASSERT_TRUE(dir.makeFolder("sub"));
    DiskFile f(false);
    Array<String> files(HeapCategory::Engine);
    Array<String> folders(HeapCategory::Engine);
    String kept;
    ASSERT_TRUE(kept.assign("already"));
    ASSERT_TRUE(files.pushBack(static_cast<String&&>(kept)));
    ASSERT_TRUE(f.ListDirectory(dir.path().c_str(), files, folders));
    std::vector<std::string> fileNames;
    for (const String& s : files) {
        fileNames.push_back(s.c_str());
    }
    std::sort(fileNames.begin() + 1, fileNames.end());
    EXPECT_EQ(fileNames, (std::vector<std::string>{"already", "a.txt", "b.wav"}));
    ASSERT_EQ(folders.count(), 1u);
    EXPECT_STREQ(folders[0].c_str(), "sub");

    EXPECT_FALSE(f.ListDirectory(dir.file("missing").c_str(), files, folders));
    EXPECT_EQ(files.count(), 3u);
    EXPECT_EQ(folders.count(), 1u);
}

// A listing cut short, by memory or by an error of the platform's listing other than its end, is
// a failure with nothing appended, never a shorter listing passed off as the folder.
TEST(DiskFile, ListingCutShortFailsAndAppendsNothing) {
    TempFolder dir;
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(dir.write("f" + std::to_string(i), ""));
    }
    ASSERT_TRUE(dir.makeFolder("sub"));
    struct Case {
        const char* what;
        std::int64_t failSize;         // allocations of this size fail; -1: none
        std::int32_t findNextFailsFrom; // -1: the listing ends normally
        bool listed;
    };
    const Case cases[] = {
        {"complete", -1, -1, true},
        {"a name cannot be copied", 3, -1, false},             // "fN" and its NUL
        {"a name cannot be pushed", sizeof(String), -1, false}, // the folders' first growth
        {"the listing fails at once", -1, 0, false},
        {"the listing fails after two names", -1, 2, false},
    };
    for (const Case& c : cases) {
        FaultRegistry faults(filetest::faultyCategories);
        {
            PlatformFakes fakes;
            fakes.log().findNextFailsFrom = c.findNextFailsFrom;
            DiskFile f(false);
            Array<String> files(ownersCategory);
            Array<String> folders(ownersCategory);
            String kept;
            ASSERT_TRUE(kept.assign("kept"));
            ASSERT_TRUE(files.pushBack(std::move(kept)));
            faults.heap().failSize.store(c.failSize);
            EXPECT_EQ(f.ListDirectory(dir.path().c_str(), files, folders), c.listed) << c.what;
            faults.heap().failSize.store(-1);
            EXPECT_EQ(files.count(), c.listed ? 6u : 1u) << c.what;
            EXPECT_EQ(folders.count(), c.listed ? 1u : 0u) << c.what;
            EXPECT_STREQ(files[0].c_str(), "kept") << c.what;
        }
        EXPECT_EQ(faults.heap().outstanding(), 0u) << c.what;
    }
}

TEST(DiskFile, ExecutableDirectoryKeepsItsTrailingSlash) {
    PlatformFakes fakes;
    DiskFile f(false);
    String real = f.ExecutableDirectory();
    ASSERT_FALSE(real.empty());
    EXPECT_EQ(real[real.length() - 1], '/');
    EXPECT_EQ(real.find('\\'), String::npos);

    const char*& modulePath = fakes.log().modulePath;
    modulePath = "c:\\Program Files\\Host\\host.exe";
    EXPECT_STREQ(f.ExecutableDirectory().c_str(), "c:/Program Files/Host/");
    modulePath = "host.exe";
    EXPECT_TRUE(f.ExecutableDirectory().empty());
    modulePath = "";
    EXPECT_TRUE(f.ExecutableDirectory().empty());
    static std::string longPath = "c:\\" + std::string(300, 'x') + "\\host.exe";
    modulePath = longPath.c_str();
    EXPECT_TRUE(f.ExecutableDirectory().empty()); // a cut path has no trustworthy directory
}

TEST(DiskFile, TheSharedLockLivesExactlyWhileFileObjectsDo) {
    // Other tests leave no file objects behind.
    ASSERT_EQ(fileObjectCount.load(), 0u);
    EXPECT_EQ(fileLock.load(), nullptr);
    {
        DiskFile a(false);
        Lock* first = fileLock.load();
        ASSERT_NE(first, nullptr);
        {
            DiskFile b(false);
            EXPECT_EQ(fileLock.load(), first);
            EXPECT_EQ(fileObjectCount.load(), 2u);
        }
        EXPECT_EQ(fileLock.load(), first);
    }
    EXPECT_EQ(fileLock.load(), nullptr);
    EXPECT_EQ(fileObjectCount.load(), 0u);
}

TEST(DiskFile, ALockThatCannotBeAllocatedStillSerialises) {
    TempFolder dir;
    ASSERT_TRUE(dir.write("ten.bin", "0123456789"));
    FaultRegistry faults(filetest::faultyCategories);
    ASSERT_EQ(fileObjectCount.load(), 0u);
    faults.failFrom(faults.heap().requests.load()); // the engine category fails from now on
    {
        DiskFile a(true);
        EXPECT_NE(fileLock.load(), nullptr); // the never-destroyed stand-in
        faults.failFrom(-1);
        ASSERT_TRUE(a.Open(dir.file("ten.bin").c_str()));
        char b[10];
        EXPECT_EQ(a.Read(b, 10), 10u);
    }
    EXPECT_EQ(fileLock.load(), nullptr);
    EXPECT_EQ(faults.heap().outstanding(), 0u);
}

TEST(DiskFile, ObjectsOpenedOnDiskKeepTheirFileWhileAnArchiveIsMounted) {
    TempFolder dir;
    ASSERT_TRUE(dir.write("ten.bin", "0123456789"));
    DiskFile reader(false);
    ASSERT_TRUE(reader.Open(dir.file("ten.bin").c_str()));
    DiskFile writer(false);
    ASSERT_TRUE(writer.OpenAppend(dir.file("log.txt").c_str()));
    ASSERT_TRUE(writer.WriteLine("abc", 1));

    PakArchive* archive = new (HeapCategory::PakArchive) PakArchive();
    ASSERT_NE(archive, nullptr);
    currentArchive.store(archive);
    char b[4];
    EXPECT_EQ(reader.Read(b, 4), 4u);
    EXPECT_EQ(std::string(b, 4), "0123");
    EXPECT_TRUE(reader.Seek(8));
    EXPECT_EQ(reader.RawSize(), 10u);
    EXPECT_EQ(writer.RawSize(), 3u);
    // A raw open that no name resolution handed an archive reads the disk.
    DiskFile other(false);
    ASSERT_TRUE(filetest::rawOpenOnDisk(other, dir.file("ten.bin")));
    EXPECT_EQ(other.RawRead(b, 4), 4u);
    EXPECT_TRUE(other.RawClose());
    EXPECT_TRUE(reader.Close());
    EXPECT_TRUE(writer.Close());
    // A name that runs through no archive is asked of the disk, and drops the mount like an open.
    EXPECT_TRUE(other.Exists(dir.file("ten.bin").c_str()));
    EXPECT_EQ(currentArchive.load(), nullptr);
    EXPECT_FALSE(UnmountArchive());
}

// Positions between 2 GiB and 4 GiB: a sparse file of 3 GiB takes almost no disk space.
TEST(DiskFile, PositionsBeyondTwoGibibytesSeek) {
    TempFolder dir;
    const std::string big = dir.file("big.bin");
    const std::uint64_t threeGiB = 3ull << 30;
    const std::uint32_t markAt = 0xA0000000u; // 2.5 GiB
    {
        HANDLE h = CreateFileA(big.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        LARGE_INTEGER at;
        at.QuadPart = markAt;
        ASSERT_TRUE(SetFilePointerEx(h, at, nullptr, FILE_BEGIN));
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(h, "MARK", 4, &written, nullptr));
        at.QuadPart = static_cast<LONGLONG>(threeGiB - 4);
        ASSERT_TRUE(SetFilePointerEx(h, at, nullptr, FILE_BEGIN));
        ASSERT_TRUE(WriteFile(h, "TAIL", 4, &written, nullptr));
        CloseHandle(h);
    }
    {
        DiskFile f(false);
        ASSERT_TRUE(f.Open(big.c_str()));
        EXPECT_EQ(f.Size(), 0xC0000000u);
        char b[4] = {};
        ASSERT_TRUE(f.Seek(markAt));
        EXPECT_EQ(f.Read(b, 4), 4u);
        EXPECT_EQ(std::string(b, 4), "MARK");
        // A skip from beyond 2 GiB must not wrap to a negative target and land on 0.
        EXPECT_EQ(f.Skip(0x10000000), markAt + 4 + 0x10000000u);
        EXPECT_EQ(f.position, markAt + 4 + 0x10000000u);
        EXPECT_EQ(f.Skip(-0x10000000), markAt + 4);
        EXPECT_EQ(f.Skip(-4), markAt);
        EXPECT_EQ(f.Read(b, 4), 4u);
        EXPECT_EQ(std::string(b, 4), "MARK");
        ASSERT_TRUE(f.Seek(0xC0000000u - 4));
        EXPECT_EQ(f.Read(b, 100), 4u);
        EXPECT_EQ(std::string(b, 4), "TAIL");
        EXPECT_TRUE(f.AtEnd());
        EXPECT_TRUE(f.Seek(0xFFFFFFF0u)); // beyond the end: clamped to the size
        EXPECT_EQ(f.position, 0xC0000000u);
        EXPECT_TRUE(f.Close());
    }
    {
        // The largest size there is, 4 GiB - 1, is a size and not the failure value it resembles.
        HANDLE h = CreateFileA(big.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        LARGE_INTEGER at;
        at.QuadPart = 0xFFFFFFFFll;
        ASSERT_TRUE(SetFilePointerEx(h, at, nullptr, FILE_BEGIN));
        ASSERT_TRUE(SetEndOfFile(h));
        CloseHandle(h);
        DiskFile f(false);
        ASSERT_TRUE(f.Open(big.c_str()));
        EXPECT_EQ(f.Size(), 0xFFFFFFFFu);
        char b[4] = {};
        ASSERT_TRUE(f.Seek(0xFFFFFFFEu));
        EXPECT_EQ(f.Read(b, 4), 1u);
        EXPECT_TRUE(f.AtEnd());
        EXPECT_TRUE(f.Close());
    }
    {
        // 4 GiB and more cannot be expressed: the size query fails instead of reporting the low half.
        HANDLE h = CreateFileA(big.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        LARGE_INTEGER at;
        at.QuadPart = (4ll << 30) + 16;
        ASSERT_TRUE(SetFilePointerEx(h, at, nullptr, FILE_BEGIN));
        ASSERT_TRUE(SetEndOfFile(h));
        CloseHandle(h);
        DiskFile f(false);
        ASSERT_TRUE(filetest::rawOpenOnDisk(f, big));
        EXPECT_EQ(f.RawSize(), 0u);
        EXPECT_FALSE(f.RawOk());
        EXPECT_TRUE(f.RawClose());
    }
    EXPECT_TRUE(DeleteFileA(big.c_str()));
}

} // namespace
