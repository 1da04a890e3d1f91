// File objects built, used and destroyed on many threads at once, as the host does when it makes
// thumbnails in parallel. Each thread keeps creating and destroying its objects, so the number of
// live objects keeps dropping to 0 and rising again: with a lock that the last destructor frees
// while the next constructor (or a raw operation) of another thread takes it, this crashes or
// hangs. Every read is checked against the file's known content.
//
// Running time: 8 threads x 1500 open/read/close cycles take about 4 s in the 64-bit build, and
// the churn of 8 x 50000 bare constructions under 0.1 s. The 32-bit build does 8 x 300 cycles and
// 8 x 10000 constructions, sized for a machine that runs 32-bit code about ten times slower; the
// mix of loose files and archives runs half as many cycles (about 5 s in the 64-bit build). The
// names end in ManyThreads: where 32-bit code only runs through the user-mode CPU emulator, which
// cannot run two of wine's threads at once, tools/test.sh leaves these tests to the 64-bit build.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "support/FileTestSupport.h"
#include "core/fileio/DiskFile.h"
#include "core/fileio/ArchiveMount.h"
#include "core/fileio/PakArchive.h"
#include "core/fileio/SharedState.h"
#include "core/thread/Lock.h"
#include "support/PakWriter.h"
#include "support/Threads.h"

namespace {

constexpr int threadCount = 8;
constexpr int cyclesPerThread = sizeof(void*) == 8 ? 1500 : 300;
constexpr int churnPerThread = sizeof(void*) == 8 ? 50000 : 10000;

// Objects that are only built and destroyed, with nothing else in between, move the count through
// 0 as often as possible. Whoever holds an object must always find the lock there and be able to
// take it; the count must come back to exactly 0 and the lock be gone.
TEST(FileThreads, LockLifecycleUnderChurnManyThreads) {
    std::atomic<int> missing{0};
    runOnThreads(threadCount, [&](int) {
        for (int i = 0; i < churnPerThread; ++i) {
            DiskFile f(true);
            Lock* lock = fileLock.load();
            if (lock == nullptr || fileObjectCount.load() == 0) {
                ++missing;
                continue;
            }
            ScopedLock guard(lock);
            if (fileLock.load() != lock) {
                ++missing;
            }
        }
    });
    EXPECT_EQ(missing.load(), 0);
    EXPECT_EQ(fileObjectCount.load(), 0u);
    EXPECT_EQ(fileLock.load(), nullptr);
}

TEST(FileThreads, OpensAndReadsManyThreads) {
    filetest::TempFolder dir;
    std::vector<std::string> contents;
    for (int t = 0; t < threadCount; ++t) {
        std::string content;
        for (int i = 0; i < 64 + t * 37; ++i) {
            content += static_cast<char>('a' + (i * 7 + t) % 26);
        }
        ASSERT_TRUE(dir.write("f" + std::to_string(t) + ".bin", content));
        contents.push_back(content);
    }
    std::atomic<int> failures{0};
    runOnThreads(threadCount, [&](int t) {
        const std::string path = dir.file("f" + std::to_string(t) + ".bin");
        const std::string& expected = contents[static_cast<std::size_t>(t)];
        for (int cycle = 0; cycle < cyclesPerThread; ++cycle) {
            // An object that is only built and destroyed moves the count through 0 as well.
            { DiskFile idle(false); }
            DiskFile f(false);
            // Every third cycle goes through name resolution with backslashes and "/./".
            std::string name = path;
            if (cycle % 3 == 0) {
                name = dir.path() + "\\.\\f" + std::to_string(t) + ".bin";
            }
            if (!f.Open(name.c_str(), cycle % 5 == 0 ? 1u : 0u, HeapCategory::Engine)) {
                ++failures;
                continue;
            }
            char buffer[512] = {};
            const std::uint32_t skip = static_cast<std::uint32_t>(cycle % 16);
            if (f.Skip(static_cast<std::int32_t>(skip)) != skip) {
                ++failures;
            }
            const std::uint32_t got = f.Read(buffer, 1, sizeof(buffer));
            if (got != expected.size() - skip || expected.compare(skip, got, buffer, got) != 0) {
                ++failures;
            }
            if (cycle % 2 == 0 && !f.Close()) {
                ++failures;
            }
        }
    });
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(fileObjectCount.load(), 0u);
    EXPECT_EQ(fileLock.load(), nullptr);
}

// Loose files and the entries of two archives read on many threads at once. Every open of a loose
// file drops the mounted archive and every open in the other archive swaps it; an entry already
// open must read on as if alone, whole or piece by piece, and every archive file must be closed
// once its last reader is done. Odd entries are compressed and loaded whole.
TEST(FileThreads, LooseFilesAndTwoArchivesManyThreads) {
    filetest::TempFolder dir;
    constexpr int files = 4;
    std::string paths[3][files];
    std::string contents[3][files];
    for (int source = 0; source < 3; ++source) {
        PakWriter pak;
        for (int file = 0; file < files; ++file) {
            std::string& content = contents[source][file];
            for (int i = 0; i < 300 + file * 53 + source * 17; ++i) {
                content += static_cast<char>('A' + (i * 11 + file * 5 + source * 3) % 26);
            }
            const std::vector<std::uint8_t> bytes(content.begin(), content.end());
            const std::string name = "f" + std::to_string(file) + ".bin";
            file % 2 == 1 ? pak.compressed("sounds/" + name, bytes) : pak.stored("sounds/" + name, bytes);
            paths[source][file] = source == 0 ? dir.file(name) : dir.file(std::to_string(source) + ".pak") + "\\sounds\\" + name;
            ASSERT_TRUE(source > 0 || dir.write(name, content));
        }
        const std::vector<std::uint8_t> bytes = pak.bytes();
        ASSERT_TRUE(source == 0 || dir.write(std::to_string(source) + ".pak", std::string(bytes.begin(), bytes.end())));
    }
    std::atomic<int> failures{0};
    std::atomic<int> wrongBytes{0};
    std::atomic<int> archiveReads{0};
    runOnThreads(threadCount, [&](int t) {
        for (int cycle = 0; cycle < cyclesPerThread / 2; ++cycle) {
            // Two archive opens for each loose one, so that archives stay mounted for a while.
            const int source = (t + cycle) % 5 < 2 ? (t + cycle) % 5 + 1 : 0;
            const int file = (t * 3 + cycle) % files;
            const std::string& expected = contents[source][file];
            DiskFile f(false);
            if (!f.Open(paths[source][file].c_str(), file % 2 == 1 || cycle % 7 == 0 ? 1u : 0u, HeapCategory::Engine)) {
                ++failures;
                continue;
            }
            // Pieces of 100 bytes, each checked against where it claims to come from.
            char buffer[100];
            std::uint32_t got = 1;
            for (std::uint32_t position = 0; got != 0 && position < expected.size(); position += got) {
                got = f.Read(buffer, 1, sizeof buffer);
                wrongBytes += expected.compare(position, got, buffer, got) != 0 ? 1 : 0;
                failures += got == 0 ? 1 : 0;
                archiveReads += source != 0 && got != 0 ? 1 : 0;
            }
        }
    });
    UnmountArchive();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(wrongBytes.load(), 0);
    EXPECT_GT(archiveReads.load(), 0);
    // A handle left open on an archive would refuse an exclusive open.
    for (const char* pak : {"1.pak", "2.pak"}) {
        HANDLE exclusive = CreateFileA(dir.file(pak).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(exclusive, INVALID_HANDLE_VALUE) << pak;
        CloseHandle(exclusive);
    }
    EXPECT_EQ(fileObjectCount.load(), 0u);
}

} // namespace
