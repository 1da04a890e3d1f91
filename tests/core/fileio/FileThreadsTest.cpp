// File objects built, used and destroyed on many threads at once, as the host does when it makes
// thumbnails in parallel. Each thread keeps creating and destroying its objects, so the number of
// live objects keeps dropping to 0 and rising again: with a lock that the last destructor frees
// while the next constructor (or a raw operation) of another thread takes it, this crashes or
// hangs. Every read is checked against the file's known content.
//
// Running time: 8 threads x 1500 open/read/close cycles take about 4 s in the 64-bit build, and
// the churn of 8 x 50000 bare constructions under 0.1 s. The 32-bit build does 8 x 300 cycles and
// 8 x 10000 constructions, sized for a machine that runs 32-bit code about ten times slower. The
// names end in ManyThreads: where 32-bit code only runs through the user-mode CPU emulator, which
// cannot run two of wine's threads at once, tools/test.sh leaves these tests to the 64-bit build.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "FileTestSupport.h"
#include "core/fileio/DiskFile.h"
#include "core/fileio/SharedState.h"
#include "core/thread/Lock.h"

namespace {

constexpr int threadCount = 8;
constexpr int cyclesPerThread = sizeof(void*) == 8 ? 1500 : 300;
constexpr int churnPerThread = sizeof(void*) == 8 ? 50000 : 10000;

// Objects that are only built and destroyed, with nothing else in between, move the count through
// 0 as often as possible. Whoever holds an object must always find the lock there and be able to
// take it; the count must come back to exactly 0 and the lock be gone.
TEST(FileThreads, LockLifecycleUnderChurnManyThreads) {
    std::atomic<int> missing{0};
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back([&] {
            ++ready;
            while (ready.load() < threadCount) {
                std::this_thread::yield();
            }
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
    }
    for (auto& thread : threads) {
        thread.join();
    }
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
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back([&, t] {
            const std::string path = dir.file("f" + std::to_string(t) + ".bin");
            const std::string& expected = contents[static_cast<std::size_t>(t)];
            ++ready;
            while (ready.load() < threadCount) {
                std::this_thread::yield();
            }
            for (int cycle = 0; cycle < cyclesPerThread; ++cycle) {
                // An object that is only built and destroyed moves the count through 0 as well.
                { DiskFile idle(false); }
                DiskFile f(false);
                // Every third cycle goes through name resolution with backslashes and "/./".
                std::string name = path;
                if (cycle % 3 == 0) {
                    name = dir.path() + "\\.\\f" + std::to_string(t) + ".bin";
                }
                if (!f.Open(name.c_str(), cycle % 5 == 0 ? 1u : 0u, 0)) {
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
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(fileObjectCount.load(), 0u);
    EXPECT_EQ(fileLock.load(), nullptr);
}

} // namespace
