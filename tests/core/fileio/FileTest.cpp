// The file object's states, error codes, reads, seeks, skips, whole-file load and appending, on
// real files in a temporary folder.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/FileTestSupport.h"
#include "core/fileio/DiskFile.h"
#include "core/fileio/SharedState.h"

namespace {

// A category of an owner's own choosing, among those faultyCategories routes to the fault heap.
constexpr HeapCategory ownersCategory = static_cast<HeapCategory>(5);

using filetest::TempFolder;


TEST(File, NewObjectAndMisuseOfAClosedOne) {
    DiskFile f(false);
    EXPECT_TRUE(f.IsOk());
    EXPECT_TRUE(f.AtEnd());
    EXPECT_EQ(f.state, FileState::Closed);
    EXPECT_EQ(f.Size(), 0u);
    EXPECT_EQ(f.lastError, FileError::NotOpen);
    char b[4];
    f.lastError = FileError::None;
    EXPECT_EQ(f.Read(b, 4), 0u);
    EXPECT_EQ(f.lastError, FileError::NotOpen);
    f.lastError = FileError::None;
    EXPECT_FALSE(f.Seek(1));
    EXPECT_EQ(f.lastError, FileError::NotOpen);
    f.lastError = FileError::None;
    EXPECT_FALSE(f.Close());
    EXPECT_EQ(f.lastError, FileError::NotOpen);
    f.lastError = FileError::None;
    EXPECT_FALSE(f.WriteLine("x", 0));
    EXPECT_EQ(f.lastError, FileError::NotOpen);
}

TEST(File, OpenFailuresAndSecondOpens) {
    TempFolder dir;
    ASSERT_TRUE(dir.write("ten.bin", "0123456789"));
    DiskFile f(false);
    EXPECT_FALSE(f.Open(""));
    EXPECT_EQ(f.lastError, FileError::CannotOpen);
    EXPECT_FALSE(f.Open(nullptr));
    EXPECT_EQ(f.lastError, FileError::CannotOpen);
    EXPECT_FALSE(f.Open(dir.file("missing.bin").c_str()));
    EXPECT_EQ(f.lastError, FileError::CannotOpen);
    EXPECT_TRUE(f.name.empty());
    EXPECT_EQ(f.state, FileState::Closed);

    ASSERT_TRUE(f.Open(dir.file("ten.bin").c_str()));
    EXPECT_TRUE(f.IsOk());
    EXPECT_FALSE(f.AtEnd());
    EXPECT_EQ(f.Size(), 10u);
    EXPECT_EQ(f.Skip(4), 4u);
    EXPECT_FALSE(f.Open(dir.file("ten.bin").c_str()));
    EXPECT_EQ(f.lastError, FileError::AlreadyOpened);
    EXPECT_FALSE(f.OpenAppend(dir.file("ten.bin").c_str()));
    EXPECT_EQ(f.lastError, FileError::AlreadyOpened);
    EXPECT_EQ(f.position, 4u); // not disturbed
    EXPECT_STREQ(f.name.c_str(), dir.file("ten.bin").c_str());

    DiskFile loaded(false);
    ASSERT_TRUE(loaded.Open(dir.file("ten.bin").c_str(), 1, HeapCategory::Engine));
    EXPECT_EQ(loaded.state, FileState::Loaded);
    EXPECT_FALSE(loaded.Open(dir.file("ten.bin").c_str()));
    EXPECT_EQ(loaded.lastError, FileError::AlreadyLoaded);
    EXPECT_FALSE(loaded.OpenAppend(dir.file("ten.bin").c_str()));
    EXPECT_EQ(loaded.lastError, FileError::AlreadyLoaded);
    EXPECT_EQ(loaded.state, FileState::Loaded);
    EXPECT_NE(loaded.memoryData, nullptr);
}

TEST(File, ItemReadsAnswerInBytesAndClampAtTheEnd) {
    TempFolder dir;
    ASSERT_TRUE(dir.write("ten.bin", "0123456789"));
    DiskFile f(false);
    ASSERT_TRUE(f.Open(dir.file("ten.bin").c_str()));
    char b[16] = {};
    EXPECT_EQ(f.Read(b, 4, 3), 10u); // bytes, not items
    EXPECT_EQ(std::string(b, 10), "0123456789");
    EXPECT_TRUE(f.AtEnd());
    EXPECT_EQ(f.position, 10u);
    EXPECT_EQ(f.Read(b, 1), 0u); // atEnd: nothing, and no raw read
    EXPECT_TRUE(f.IsOk());

    ASSERT_TRUE(f.Seek(0));
    EXPECT_FALSE(f.AtEnd());
    EXPECT_EQ(f.Read(b, 1, 10), 10u); // exactly the rest: atEnd stays clear
    EXPECT_FALSE(f.AtEnd());
    EXPECT_EQ(f.Read(b, 1), 0u); // now the raw read of 0 bytes fails
    EXPECT_TRUE(f.AtEnd());
    EXPECT_EQ(f.lastError, FileError::ReadFailed);

    ASSERT_TRUE(f.Seek(2));
    f.lastError = FileError::None;
    EXPECT_EQ(f.Read(b, 0, 5), 0u);
    EXPECT_EQ(f.lastError, FileError::ReadFailed);
    f.lastError = FileError::None;
    EXPECT_EQ(f.Read(b, 5, 0), 0u);
    EXPECT_EQ(f.lastError, FileError::ReadFailed);
    f.lastError = FileError::None;
    EXPECT_EQ(f.Read(b, 0), 0u);
    EXPECT_EQ(f.Read(nullptr, 5), 0u);
    EXPECT_TRUE(f.IsOk());
    EXPECT_EQ(f.position, 2u);
    // A product beyond 32 bits asks for the rest, not for its wrapped value (here 0).
    EXPECT_EQ(f.Read(b, 0x10000, 0x10000), 8u);
    EXPECT_EQ(std::string(b, 8), "23456789");
    EXPECT_TRUE(f.AtEnd());
    // 0xFFFFFFFF means "all that is left".
    ASSERT_TRUE(f.Seek(7));
    EXPECT_EQ(f.Read(b, 0xFFFFFFFFu), 3u);
    EXPECT_TRUE(f.AtEnd());
}

TEST(File, SeeksAndSkipsAcrossTheEnds) {
    TempFolder dir;
    ASSERT_TRUE(dir.write("ten.bin", "0123456789"));
    DiskFile f(false);
    ASSERT_TRUE(f.Open(dir.file("ten.bin").c_str()));
    EXPECT_TRUE(f.Seek(110));
    EXPECT_EQ(f.position, 10u);
    EXPECT_TRUE(f.AtEnd());
    ASSERT_TRUE(f.Seek(0));
    EXPECT_EQ(f.Skip(10), 10u);
    EXPECT_TRUE(f.AtEnd());
    ASSERT_TRUE(f.Seek(0));
    EXPECT_EQ(f.Skip(100), 100u); // the unclamped target
    EXPECT_EQ(f.position, 10u);
    EXPECT_EQ(f.Skip(-100), 0u); // from 10: below 0 becomes 0
    EXPECT_EQ(f.position, 0u);
    EXPECT_FALSE(f.AtEnd());
    EXPECT_EQ(f.Skip(3), 3u);
    char b[2];
    ASSERT_EQ(f.Read(b, 2), 2u);
    EXPECT_EQ(std::string(b, 2), "34");
    EXPECT_EQ(f.Skip(0x7FFFFFFF), 5u + 0x7FFFFFFFu);
    EXPECT_EQ(f.position, 10u);
}

TEST(File, ZeroLengthFilesAndWholeFileLoads) {
    TempFolder dir;
    ASSERT_TRUE(dir.write("empty.bin", ""));
    ASSERT_TRUE(dir.write("abc.bin", "abc"));
    DiskFile f(false);
    ASSERT_TRUE(f.Open(dir.file("empty.bin").c_str()));
    EXPECT_EQ(f.Size(), 0u);
    EXPECT_TRUE(f.AtEnd());
    char b[4];
    EXPECT_EQ(f.Read(b, 4), 0u);
    EXPECT_TRUE(f.IsOk());
    ASSERT_TRUE(f.Close());

    EXPECT_FALSE(f.Open(dir.file("empty.bin").c_str(), 1, HeapCategory::Engine));
    EXPECT_EQ(f.lastError, FileError::LoadEmpty);
    EXPECT_EQ(f.state, FileState::Opened); // still attached, can be closed
    EXPECT_EQ(f.loadBuffer, nullptr);
    EXPECT_TRUE(f.Close());

    ASSERT_TRUE(f.Open(dir.file("abc.bin").c_str(), 1, HeapCategory::Engine));
    EXPECT_EQ(f.state, FileState::Loaded);
    EXPECT_EQ(f.readHandle, nullptr); // the raw file was released at once
    EXPECT_EQ(f.memoryData, f.loadBuffer);
    EXPECT_EQ(f.Size(), 3u);
    // The file is not held: it can be deleted while the image lives on.
    EXPECT_TRUE(f.Delete(dir.file("abc.bin").c_str()));
    EXPECT_EQ(f.Read(b, 2), 2u);
    EXPECT_EQ(std::string(b, 2), "ab");
    f.lastError = FileError::SeekFailed;
    EXPECT_TRUE(f.Seek(5)); // no clamping while Loaded, and the error is cleared
    EXPECT_TRUE(f.IsOk());
    EXPECT_EQ(f.position, 5u);
    EXPECT_EQ(f.Read(b, 1), 0u);
    EXPECT_TRUE(f.IsOk());
    EXPECT_TRUE(f.Seek(0));
    EXPECT_EQ(f.Read(b, 3), 3u);
    EXPECT_EQ(f.Skip(-1), 2u);
    EXPECT_TRUE(f.Close());
    EXPECT_EQ(f.loadBuffer, nullptr);
    EXPECT_EQ(f.memoryData, nullptr);
    EXPECT_EQ(f.state, FileState::Closed);
    EXPECT_FALSE(f.Close());
    EXPECT_EQ(f.lastError, FileError::NotOpen);
}

TEST(File, LoadedObjectsFreeTheirImageWhenDestroyedAndLoadsFailWithoutMemory) {
    TempFolder dir;
    ASSERT_TRUE(dir.write("abc.bin", "abc"));
    FaultRegistry faults(filetest::faultyCategories);
    {
        DiskFile f(false);
        ASSERT_TRUE(f.Open(dir.file("abc.bin").c_str(), 1, HeapCategory::Engine));
    }
    EXPECT_EQ(faults.heap().outstanding(), 0u);
    {
        DiskFile f(false);
        ASSERT_TRUE(f.Open(dir.file("abc.bin").c_str()));
        ASSERT_TRUE(f.Close());
        // Only the 3-byte image is refused; the strings of the open are longer.
        faults.heap().failSize.store(3);
        EXPECT_FALSE(f.Open(dir.file("abc.bin").c_str(), 1, ownersCategory));
        EXPECT_EQ(f.lastError, FileError::LoadEmpty);
        EXPECT_EQ(f.state, FileState::Opened);
        EXPECT_EQ(f.loadBuffer, nullptr);
        faults.heap().failSize.store(-1);
    }
    EXPECT_EQ(faults.heap().outstanding(), 0u);
}

TEST(File, AppendingByteForByte) {
    TempFolder dir;
    const std::string log = dir.file("log.txt");
    DiskFile f(false);
    ASSERT_TRUE(f.OpenAppend(log.c_str()));
    EXPECT_EQ(f.Size(), 0u);
    EXPECT_FALSE(f.AtEnd());
    ASSERT_TRUE(f.WriteLine("ab", 0));
    EXPECT_EQ(f.Size(), 3u);
    ASSERT_TRUE(f.WriteLine("c", 1));
    EXPECT_EQ(f.Size(), 4u);
    char b[4];
    EXPECT_EQ(f.Read(b, 1), 0u);
    EXPECT_EQ(f.lastError, FileError::ReadOnAppend);
    EXPECT_EQ(f.Skip(1), 4u);
    EXPECT_EQ(f.lastError, FileError::SeekFailed);
    ASSERT_TRUE(f.Close());
    EXPECT_EQ(dir.read("log.txt"), "ab\nc");

    filetest::LineEndModeGuard crlf(1);
    ASSERT_TRUE(f.OpenAppend(log.c_str()));
    EXPECT_EQ(f.Size(), 4u); // positioned at the existing end
    EXPECT_TRUE(f.WriteLine("d", 0));
    EXPECT_TRUE(f.WriteLine(nullptr, 0));
    EXPECT_EQ(f.Size(), 9u);
    // Seek is allowed on the write handle; writing before the end is refused.
    EXPECT_TRUE(f.Seek(1));
    EXPECT_EQ(f.position, 1u);
    EXPECT_FALSE(f.WriteLine("x", 0));
    EXPECT_EQ(f.lastError, FileError::WriteNotAtEnd);
    EXPECT_EQ(f.Size(), 9u); // still the end of the file
    // Lines written since the open count: a position inside them is refused too, rather than
    // letting the next line overwrite them.
    EXPECT_TRUE(f.Seek(6));
    EXPECT_FALSE(f.WriteLine("x", 0));
    EXPECT_EQ(f.lastError, FileError::WriteNotAtEnd);
    EXPECT_TRUE(f.Seek(100));
    EXPECT_EQ(f.position, 9u);
    EXPECT_TRUE(f.WriteLine("e", 1));
    ASSERT_TRUE(f.Close());
    EXPECT_EQ(dir.read("log.txt"), std::string("ab\ncd\r\n\r\ne"));

    DiskFile reader(false);
    ASSERT_TRUE(reader.Open(log.c_str()));
    EXPECT_FALSE(reader.WriteLine("x", 0));
    EXPECT_EQ(reader.lastError, FileError::WriteOnRead);
}

TEST(File, AFailedAppendLeavesTheObjectFullyClosed) {
    TempFolder dir;
    ASSERT_TRUE(dir.write("ten.bin", "0123456789"));
    DiskFile holder(false);
    ASSERT_TRUE(holder.OpenAppend(dir.file("ten.bin").c_str())); // exclusive
    DiskFile f(false);
    EXPECT_FALSE(f.OpenAppend(dir.file("ten.bin").c_str()));
    EXPECT_EQ(f.lastError, FileError::CannotOpen);
    EXPECT_EQ(f.state, FileState::Closed);
    EXPECT_TRUE(f.name.empty());
    EXPECT_EQ(f.position, 0u);
    EXPECT_EQ(f.Size(), 0u);
    EXPECT_FALSE(f.OpenAppend(""));
    EXPECT_EQ(f.lastError, FileError::CannotOpen);
}

} // namespace
