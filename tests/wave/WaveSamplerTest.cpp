// Every sampling road against the frame-by-frame reference, on a loose file and on a pak entry: the
// same samples, bit for bit, and the same place where an end of file, an abort or a failing read
// stops them; and readers in flight on many threads with aborts.
#include <gtest/gtest.h>

#include <windows.h>

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "WaveTestSupport.h"
#include "core/Utils/Platform.h"
#include "core/fileio/DiskFile.h"
#include "core/fileio/ArchiveMount.h"
#include "support/FileTestSupport.h"
#include "support/PakWriter.h"
#include "support/Threads.h"
#include "support/WavWriter.h"
#include "wave/FileMaker.h"
#include "wave/WaveScanner.h"

namespace {

constexpr std::uint32_t sampleCount = 200; // 100 columns
constexpr float notTaken = 7.0f;           // no 32-bit sample converts to it
// Every read that reaches past this byte of the file fails: the first such alone, or all of them.
std::atomic<std::uint64_t> failPast{~0ull};
std::atomic<bool> failOnwards{false};
std::atomic<bool> failSpent{false};
std::atomic<int> polls{0};
std::atomic<int> signalAtPoll{-1};
std::atomic<int> reads{0};
std::atomic<std::uint32_t> readersSeen{0};
PlatformCalls real;
// Threads that may still be started; -1: all (natively, where pthread_create is wrapped).
std::atomic<int> threadStarts{-1};

BOOL WINAPI readFailingPast(HANDLE file, LPVOID buffer, DWORD count, LPDWORD got, LPOVERLAPPED overlapped) {
    ++reads;
    readersSeen = std::max(readersSeen.load(), readersInFlight());
    const std::uint64_t at = real.SetFilePointer(file, 0, nullptr, FILE_CURRENT);
    if (at + count > failPast.load() && (failOnwards.load() || !failSpent.exchange(true))) {
        *got = 0;
        SetLastError(ERROR_NETWORK_BUSY);
        return FALSE;
    }
    return real.ReadFile(file, buffer, count, got, overlapped);
}

DWORD WINAPI pollSignalledAt(HANDLE, DWORD) {
    const int poll = polls++;
    return signalAtPoll.load() >= 0 && poll >= signalAtPoll.load() ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

class DiskFiles final : public FileMaker {
public:
    File* MakeFile() override { return new (HeapCategory::Engine) DiskFile(false); }
};

} // namespace

#if defined(SONOLOOK_WRAPS_THREAD_START)
extern "C" int __real_pthread_create(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
extern "C" int __wrap_pthread_create(pthread_t* thread, const pthread_attr_t* attributes, void* (*body)(void*),
                                     void* context) {
    if (threadStarts.load() >= 0 && threadStarts.fetch_sub(1) <= 0) {
        return EAGAIN;
    }
    return __real_pthread_create(thread, attributes, body, context);
}
#endif

namespace {

struct Scenario {
    const char* label;
    std::uint32_t failPastData; // byte of the data past which reads fail; ~0u: none
    bool onwards;
    int signalAt;
    // Where the reference stops (loose, and in a pak, whose reads try a failed read again), and
    // whether the other roads, which read that frame again after a failure of their own, draw the
    // whole picture instead.
    std::uint32_t taken;
    std::uint32_t takenInPak;
    bool retried;
};

// Stands for the abort event whose polls pollSignalledAt answers.
int countedEvent = 0;

// 32-bit mono samples 60 bytes apart (step 15 frames), each frame's four bytes all drawn.
std::vector<float> sampleOnce(const std::string& name, const SamplingTuning& tuning, const Scenario& s,
                              std::uint64_t dataAt, void* abortEvent = &countedEvent) {
    std::vector<float> samples(sampleCount, notTaken);
    failPast = s.failPastData == ~0u ? ~0ull : dataAt + s.failPastData;
    failOnwards = s.onwards;
    failSpent = false;
    polls = 0;
    signalAtPoll = s.signalAt;
    DiskFile file(false);
    WaveDescription scanned{};
    if (!scanWaveFile(file, name.c_str(), nullptr, scanned) || !file.Open(name.c_str()) ||
        !file.Seek(scanned.values.dataOffset)) {
        return {};
    }
    reads = 0;
    readersSeen = 0;
    DiskFiles more;
    const SamplingJob job{&file, &more, name.c_str(), scanned.values, 4, sampleCount, 100, abortEvent};
    sampleFrames(job, tuning, samples.data());
    return samples;
}

TEST(WaveSampler, EveryRoadTakesTheReferenceSamples) {
    std::vector<std::int32_t> values;
    for (std::uint32_t i = 0; i < 3000; ++i) {
        values.push_back(static_cast<std::int32_t>(i * 2654435761u));
    }
    // The data chunk claims 3000 frames; the short file holds sample 50's frame only in part, so
    // its read keeps the last two bytes of sample 49's.
    const std::vector<std::uint8_t> whole = WavWriter().pcm(1, 8000, 32).data(samples32(values)).bytes();
    std::vector<std::uint8_t> cutBody = samples32(values);
    cutBody.resize(60 * 50 + 2);
    const std::vector<std::uint8_t> cut = WavWriter().pcm(1, 8000, 32).chunk("data", 12000, cutBody).bytes();
    const Scenario scenarios[] = {
        {"whole", ~0u, false, -1, 200, 200, false},
        {"ends inside a frame", ~0u, false, -1, 51, 51, false},
        {"abort before the call", ~0u, false, 0, 1, 1, false},
        {"abort at the 40th poll", ~0u, false, 39, 40, 40, false},
        {"a read fails once", 60 * 70 + 1, false, -1, 71, 200, true},
        {"reads fail from then on", 60 * 70 + 1, true, -1, 71, 71, false},
    };
    const struct Road {
        const char* label;
        SamplingTuning tuning;
        int wholeReads; // reads of the whole picture; -1: readers were in flight
        int threadStarts; // readers that can be started; -1: all
    } roads[] = {
        {"one span", {64 * 1024, 1024 * 1024, 0, 0, 0}, 1, -1},
        {"spans of 256 bytes", {64 * 1024, 256, 0, 0, 0}, 40, -1},
        {"readers from the start", {0, 0, 0, 0, 4}, -1, -1},
        {"readers after three timed reads", {0, 0, 3, 0, 16}, -1, -1},
#if defined(SONOLOOK_WRAPS_THREAD_START)
        {"no reader can be started", {0, 0, 0, 0, 4}, 200, 0},
        {"one reader of four started", {0, 0, 0, 0, 4}, -1, 1},
#endif
    };
    filetest::TempFolder folder;
    ASSERT_TRUE(folder.write("whole.wav", std::string(whole.begin(), whole.end())));
    ASSERT_TRUE(folder.write("cut.wav", std::string(cut.begin(), cut.end())));
    const std::vector<std::uint8_t> pak = PakWriter().stored("a/whole.wav", whole).stored("a/cut.wav", cut).bytes();
    ASSERT_TRUE(folder.write("bank.pak", std::string(pak.begin(), pak.end())));
    const auto wholeAt = std::search(pak.begin(), pak.end(), whole.begin(), whole.end()) - pak.begin();
    const auto cutAt = std::search(pak.begin(), pak.end(), cut.begin(), cut.end()) - pak.begin();

    real = platform();
    platform().ReadFile = readFailingPast;
    platform().WaitForSingleObject = pollSignalledAt;
    for (const bool inPak : {false, true}) {
        for (const Scenario& s : scenarios) {
            const bool isCut = s.taken == 51;
            const std::string name = inPak ? folder.file(isCut ? "bank.pak/a/cut.wav" : "bank.pak/a/whole.wav")
                                           : folder.file(isCut ? "cut.wav" : "whole.wav");
            const std::uint64_t dataAt = (inPak ? (isCut ? cutAt : wholeAt) : 0) + 44;
            SCOPED_TRACE(std::string(s.label) + (inPak ? ", in a pak" : ", loose"));
            const std::vector<float> reference = sampleOnce(name, referenceSamplingTuning, s, dataAt);
            ASSERT_EQ(reference.size(), sampleCount);
            EXPECT_EQ(std::count_if(reference.begin(), reference.end(), [](float v) { return v != notTaken; }),
                      static_cast<std::ptrdiff_t>(inPak ? s.takenInPak : s.taken));
            const Scenario clean{s.label, ~0u, false, -1, 200, 200, false};
            const std::vector<float> expected = s.retried ? sampleOnce(name, referenceSamplingTuning, clean, dataAt) : reference;
            for (const Road& road : roads) {
                threadStarts = road.threadStarts;
                const std::vector<float> got = sampleOnce(name, road.tuning, s, dataAt);
                threadStarts = -1;
                EXPECT_EQ(readersInFlight(), 0u);
                ASSERT_EQ(got.size(), sampleCount) << road.label;
                EXPECT_EQ(std::memcmp(got.data(), expected.data(), sampleCount * sizeof(float)), 0) << road.label;
                if (s.taken == sampleCount && road.wholeReads >= 0) {
                    EXPECT_EQ(reads.load(), road.wholeReads) << road.label;
                }
                EXPECT_EQ(s.taken != sampleCount || road.wholeReads >= 0 || readersSeen > 0, true) << road.label;
            }
        }
    }
    restoreDefaultPlatform();
    UnmountArchive();
}

// Readers in flight for pictures on many threads, every other one with an event that another
// thread signals: each the reference samples, or (aborted) the reference's first ones and none
// after; no reader is left.
TEST(WaveSampler, ReadersInFlightWithAbortsManyThreads) {
    std::vector<std::int32_t> values;
    for (std::uint32_t i = 0; i < 3000; ++i) {
        values.push_back(static_cast<std::int32_t>(i * 2654435761u));
    }
    ScratchFile file("flight.wav", WavWriter().pcm(1, 8000, 32).data(samples32(values)).bytes());
    const Scenario clean{"threads", ~0u, false, -1, 200, 200, false};
    const std::vector<float> reference = sampleOnce(file.path(), referenceSamplingTuning, clean, 44);
    ASSERT_EQ(reference.size(), sampleCount);
    std::atomic<int> wrong{0};
    std::atomic<int> stopped{0};
    HANDLE events[6];
    for (HANDLE& event : events) {
        event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    }
    std::atomic<int> running{6};
    runOnThreads(7, [&](int t) {
        // The last thread signals the others' events, one every half millisecond, until they are done.
        for (int i = 0; t == 6 && running.load() > 0; ++i) {
            SetEvent(events[i % 6]);
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        for (int i = 0; t < 6 && i < 30; ++i) {
            ResetEvent(events[t]);
            const std::vector<float> got = sampleOnce(file.path(), {0, 0, 0, 0, 8}, clean, 44, i % 2 == 0 ? events[t] : nullptr);
            const auto taken = std::find(got.begin(), got.end(), notTaken) - got.begin();
            stopped += taken < static_cast<std::ptrdiff_t>(sampleCount) ? 1 : 0;
            // Without an event (every other picture), the whole of it.
            wrong += i % 2 == 1 && taken != static_cast<std::ptrdiff_t>(sampleCount) ? 1 : 0;
            const bool prefix = std::equal(got.begin(), got.begin() + taken, reference.begin());
            wrong += taken == 0 || !prefix || std::count(got.begin() + taken, got.end(), notTaken) != got.end() - got.begin() - taken;
        }
        running -= t < 6 ? 1 : 0;
    });
    for (HANDLE event : events) {
        CloseHandle(event);
    }
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(readersInFlight(), 0u);
    std::printf("[flight] 180 pictures on 6 threads, %d stopped by an abort\n", stopped.load());
}

} // namespace
