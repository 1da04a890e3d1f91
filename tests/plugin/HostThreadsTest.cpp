// The host's way of making thumbnails: many threads identifying and drawing at once through the
// DLL's exports, with abort events that another thread signals whenever it likes. Every answer is
// held against the answer the same call gave on a single thread beforehand:
// - without an abort, or with one that arrived after the call was over, the very same answer:
//   identified or refused alike, the same record and description, the same picture;
// - with the event signalled before the call, a refusal with the record untouched, and the
//   picture sampling stops at once in (its first sample and the centre line after it);
// - with an abort that came during the call, either of the above, or a picture that stops early:
//   the full picture's columns up to one, the centre line after it. Never another picture.
// Entries of two pak archives are among the files: every open of a loose file on another thread
// drops the mounted archive, and every open of the other archive mounts that one instead. An
// entry's answers must not change for it.
//
// Threads cannot report through GoogleTest (not thread-safe in this build); each keeps its own
// list of what went wrong, reported after the join. The figures (calls of each kind, aborts, time)
// are printed. The name ends in ManyThreads: where 32-bit code runs only through the user-mode CPU
// emulator, under which wine's thread wake-ups are unreliable, tools/test.sh leaves it to the
// 64-bit build.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "HostRoad.h"
#include "host/HostPlugin.h"
#include "support/FileTestSupport.h"
#include "support/PakWriter.h"
#include "support/Threads.h"
#include "support/WavWriter.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int threadCount = 8;
// About 10 s in the 64-bit build under wine (the 32-bit build runs it only where 32-bit code is not
// emulated, at about the same speed).
constexpr int callsPerThread = 2000;
constexpr std::size_t reportedPerThread = 5;

const ImageSizeRecord sizes[] = {{16, 8}, {64, 48}, {160, 40}, {7, 300}};
constexpr int sizeCount = sizeof sizes / sizeof sizes[0];

std::uint64_t hashOf(const Pixels& pixels) {
    std::uint64_t hash = 1469598103934665603ull;
    for (std::uint32_t pixel : pixels) {
        hash = (hash ^ pixel) * 1099511628211ull;
    }
    return hash;
}

// A file the host meets, and what one thread made of it.
struct Subject {
    Subject(std::string path, const char* kind, bool archived) : name(std::move(path)), what(kind), inArchive(archived) {}
    std::string name;
    const char* what;
    bool inArchive;
    // The single-threaded answers.
    BOOL identified = FALSE;
    HostRecord record;
    // Per size, for files that are drawn: the picture, and the one drawn with the event
    // signalled before the call. Empty for files that get no picture.
    Pixels full[sizeCount];
    std::uint64_t fullHash[sizeCount] = {};
    Pixels stopped[sizeCount];
};

// What the host hands over and gets back in one identify call.
struct Identified {
    BOOL result;
    HostRecord host;
};

Identified identify(const std::string& name, HANDLE event) {
    Identified out;
    out.result = identifyFile(name, out.host, event);
    return out;
}

bool sameAnswer(const Identified& got, const Subject& subject) {
    if (got.result != subject.identified) {
        return false;
    }
    return got.result == FALSE ? got.host.untouched() : got.host.sameAs(subject.record);
}

// Draws with the record the host keeps of subject; the pixels, or empty for no picture. wrote
// tells whether the call changed the record.
Pixels draw(const std::string& name, const Subject& subject, const ImageSizeRecord& size, HANDLE event, bool& wrote) {
    FileInfoRecord record = subject.record.info;
    ImageSizeRecord wanted = size;
    Picture picture = drawFile(name, record, &wanted, event);
    wrote = std::memcmp(&record, &subject.record.info, sizeof record) != 0;
    if (picture.drawn && (picture.width != size.width || picture.height != size.height)) {
        // A picture of another size is wrong whatever its pixels; one pixel more says so.
        picture.pixels.push_back(0xFFFFFFFFu);
    }
    return picture.pixels;
}

bool columnsEqual(const Pixels& a, const Pixels& b, int x, int width, int height) {
    for (int row = 0; row < height; ++row) {
        const std::size_t at = static_cast<std::size_t>(row) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x);
        if (a[at] != b[at]) {
            return false;
        }
    }
    return true;
}

// A picture whose sampling stopped early: the full picture's columns up to one column (drawn from
// one sample read and one not), then only the centre line, as in the picture stopped at once
// (whose columns after the first are that).
bool stopsEarly(const Pixels& got, const Subject& subject, int s) {
    const Pixels& full = subject.full[s];
    const int width = sizes[s].width;
    const int height = sizes[s].height;
    if (got.size() != full.size()) {
        return false;
    }
    int x = 0;
    while (x < width && columnsEqual(got, full, x, width, height)) {
        ++x;
    }
    for (int later = x + 1; later < width; ++later) {
        if (!columnsEqual(got, subject.stopped[s], later, width, height)) {
            return false;
        }
    }
    return true;
}

std::uint32_t nextRandom(std::uint32_t& state) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

enum class Abort { None, Racing, Before };

struct Tally {
    std::atomic<int> identifies{0};
    std::atomic<int> draws{0};
    std::atomic<int> racing{0};
    std::atomic<int> before{0};
    std::atomic<int> signals{0};
    // Calls with a racing abort whose event was signalled when they returned.
    std::atomic<int> reached{0};
    // Racing aborts that took effect: an identify refused, a picture that stopped early.
    std::atomic<int> refusedByAbort{0};
    std::atomic<int> stoppedByAbort{0};
    // Calls that named an entry of an archive.
    std::atomic<int> pakCalls{0};
};

struct Worker {
    std::vector<std::string> problems;
    int count = 0;
    void report(const std::string& problem) {
        if (++count <= static_cast<int>(reportedPerThread)) {
            problems.push_back(problem);
        }
    }
};

// Whether an abort can have reached the call just made: its event is signalled after it.
bool reachedBy(HANDLE racingEvent, Tally& tally) {
    if (WaitForSingleObject(racingEvent, 0) != WAIT_OBJECT_0) {
        return false;
    }
    ++tally.reached;
    return true;
}

void runCalls(std::vector<Subject>& subjects, HANDLE racingEvent, HANDLE signalledEvent, std::uint32_t seed,
              Tally& tally, Worker& worker) {
    std::uint32_t random = seed;
    for (int call = 0; call < callsPerThread; ++call) {
        const std::size_t which = nextRandom(random) % subjects.size();
        const Subject& subject = subjects[which];
        const std::string& name = subject.name;
        const std::uint32_t roll = nextRandom(random) % 20;
        const Abort abort = roll < 8 ? Abort::None : roll < 17 ? Abort::Racing : Abort::Before;
        HANDLE event = nullptr;
        if (abort == Abort::Racing) {
            ResetEvent(racingEvent);
            event = racingEvent;
            ++tally.racing;
        } else if (abort == Abort::Before) {
            event = signalledEvent;
            ++tally.before;
        }
        if (subject.inArchive) {
            ++tally.pakCalls;
        }
        const bool drawing = nextRandom(random) % 3 != 0;
        const int s = static_cast<int>(nextRandom(random) % sizeCount);
        const std::string where = std::string(subject.what) + (drawing ? ", draw " + std::to_string(sizes[s].width) + "x" + std::to_string(sizes[s].height) : ", identify") +
                                  (abort == Abort::None ? "" : abort == Abort::Racing ? ", racing abort" : ", abort before");

        if (!drawing) {
            ++tally.identifies;
            const Identified got = identify(name, event);
            const bool aborted = abort == Abort::Before || (abort == Abort::Racing && reachedBy(racingEvent, tally));
            const bool same = sameAnswer(got, subject);
            const bool refused = got.result == FALSE && got.host.untouched();
            if (abort == Abort::Before && !refused) {
                worker.report(where + ": answered despite the abort, or wrote the record");
            } else if (!same && !(refused && aborted)) {
                worker.report(where + ": answered otherwise than on one thread" + (got.result ? ": \"" + got.host.description() + "\"" : ""));
            } else if (!same) {
                ++tally.refusedByAbort;
            }
            continue;
        }

        ++tally.draws;
        bool wrote = false;
        const Pixels got = draw(name, subject, sizes[s], event, wrote);
        const bool aborted = abort == Abort::Before || (abort == Abort::Racing && reachedBy(racingEvent, tally));
        if (wrote) {
            worker.report(where + ": the host's record was written");
        }
        if (subject.full[s].empty()) {
            if (!got.empty()) {
                worker.report(where + ": a picture of a file that gets none");
            }
            continue;
        }
        const bool same = !got.empty() && hashOf(got) == subject.fullHash[s];
        if (abort == Abort::Before) {
            if (got != subject.stopped[s]) {
                worker.report(where + ": not the picture stopped at its first sample");
            }
        } else if (!aborted) {
            if (!same) {
                worker.report(where + ": another picture than on one thread");
            }
        } else if (got.empty() || !stopsEarly(got, subject, s)) {
            worker.report(where + (got.empty() ? ": no picture" : ": neither the picture nor one that stops early"));
        } else if (!same) {
            ++tally.stoppedByAbort;
        }
    }
}

// A 16-bit stereo recording whose first channel sweeps up and down unevenly, so that every column
// of every size differs from its neighbours.
Bytes stereoSweep(std::uint32_t frames) {
    std::vector<std::int16_t> values;
    for (std::uint32_t i = 0; i < frames; ++i) {
        values.push_back(static_cast<std::int16_t>((static_cast<int>(i * 7919u % 4001u) - 2000) * 15));
        values.push_back(static_cast<std::int16_t>(i));
    }
    return WavWriter().pcm(2, 44100, 16).data(samples16(values)).bytes();
}

TEST(HostThreads, IdentifyAndDrawWithAbortsManyThreads) {
    ASSERT_TRUE(plugin().loaded()) << plugin().errorText();
    std::vector<std::uint8_t> eightBit;
    for (int i = 0; i < 1500; ++i) {
        eightBit.push_back(static_cast<std::uint8_t>((i * 37) % 256));
    }
    std::vector<std::int32_t> deep;
    for (int i = 0; i < 2500; ++i) {
        deep.push_back(((i * 104729) % 16000001) - 8000000);
    }
    const Bytes sweep = stereoSweep(6000);
    filetest::TempFolder folder;
    const std::string files[] = {
        folder.add("threads-avi.wav", WavWriter().formType("AVI ").pcm(1, 8000, 8).data({1, 2}).bytes()),
        folder.add("threads-nofmt.wav", WavWriter().data(std::vector<std::uint8_t>(64, 0)).bytes()),
        folder.add("threads-float.wav", WavWriter().fmt(3, 1, 48000, 192000, 4, 32).data(std::vector<std::uint8_t>(256, 0)).bytes()),
        folder.add("threads-noframe.wav", WavWriter().fmt(1, 2, 0xFFFFFFFFu, 0x80000000u, 4, 16).data(std::vector<std::uint8_t>(64, 0)).bytes()),
        folder.add("threads-stereo.wav", sweep),
        folder.add("threads-8bit.wav", WavWriter().chunk("LIST", std::vector<std::uint8_t>(9, 'x')).pcm(1, 11025, 8).data(samples8(eightBit)).bytes()),
        folder.add("threads-24bit.wav", WavWriter().pcm(1, 96000, 24).data(samples24(deep)).bytes()),
        folder.add("threads.pak", PakWriter().stored("sounds/other.wav", stereoSweep(50)).stored("sounds/sweep.wav", sweep).bytes()),
        folder.add("threads-b.pak", PakWriter()
                                        .stored("drums/8bit.wav", WavWriter().pcm(1, 11025, 8).data(samples8(eightBit)).bytes())
                                        .compressed("drums/packed.wav", sweep)
                                        .stored("drums/avi.wav", WavWriter().formType("AVI ").pcm(1, 8000, 8).data({1, 2}).bytes())
                                        .bytes()),
    };
    for (const std::string& file : files) {
        ASSERT_FALSE(file.empty());
    }
    std::vector<Subject> subjects = {
        {files[0], "refused (not WAVE)", false},
        {files[1], "refused (no fmt)", false},
        {files[2], "described (IEEE float)", false},
        {files[3], "described (no frame size)", false},
        {files[4], "drawn (16-bit stereo)", false},
        {files[5], "drawn (8-bit mono)", false},
        {files[6], "drawn (24-bit mono)", false},
        {files[7] + "\\sounds\\sweep.wav", "drawn (16-bit stereo in a pak)", true},
        {files[8] + "\\drums\\8bit.wav", "drawn (8-bit mono in another pak)", true},
        {files[8] + "\\drums\\packed.wav", "refused (compressed, in another pak)", true},
        {files[8] + "\\drums\\avi.wav", "refused (not WAVE, in another pak)", true},
    };

    // The answers on one thread, with no abort and with the event signalled before the call.
    HANDLE signalled = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    ASSERT_NE(signalled, nullptr);
    for (Subject& subject : subjects) {
        const Identified first = identify(subject.name, nullptr);
        subject.identified = first.result;
        subject.record = first.host;
        for (int s = 0; s < sizeCount; ++s) {
            bool wrote = false;
            subject.full[s] = draw(subject.name, subject, sizes[s], nullptr, wrote);
            subject.fullHash[s] = hashOf(subject.full[s]);
            subject.stopped[s] = draw(subject.name, subject, sizes[s], signalled, wrote);
            ASSERT_EQ(subject.full[s].empty(), subject.stopped[s].empty()) << subject.what;
        }
    }
    // What each file is meant to be, so that a fault cannot hide in the answers taken as right.
    const bool identified[] = {false, false, true, true, true, true, true, true, true, false, false};
    const bool drawn[] = {false, false, false, false, true, true, true, true, true, false, false};
    for (std::size_t i = 0; i < subjects.size(); ++i) {
        EXPECT_EQ(subjects[i].identified != FALSE, identified[i]) << subjects[i].what;
        EXPECT_EQ(!subjects[i].full[0].empty(), drawn[i]) << subjects[i].what;
        EXPECT_TRUE(!drawn[i] || subjects[i].full[1] != subjects[i].stopped[1]) << subjects[i].what;
    }
    EXPECT_EQ(subjects[7].record.description(), subjects[4].record.description());
    EXPECT_EQ(subjects[7].fullHash[2], subjects[4].fullHash[2]);
    EXPECT_EQ(subjects[8].fullHash[1], subjects[5].fullHash[1]);

    HANDLE events[threadCount];
    for (HANDLE& event : events) {
        event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        ASSERT_NE(event, nullptr);
    }
    Tally tally;
    Worker workers[threadCount];
    std::atomic<int> running{threadCount};
    const auto start = std::chrono::steady_clock::now();
    // The last thread is the host's side: aborts at random moments, now and then several close
    // together, until every caller is done.
    runOnThreads(threadCount + 1, [&](int t) {
        if (t < threadCount) {
            runCalls(subjects, events[t], signalled, 0x9E3779B9u * static_cast<std::uint32_t>(t + 1), tally, workers[t]);
            --running;
            return;
        }
        std::uint32_t random = 0xC0FFEEu;
        while (running.load() > 0) {
            SetEvent(events[nextRandom(random) % threadCount]);
            ++tally.signals;
            // A pause of up to about a tenth of a millisecond, a few times as long now and then.
            volatile std::uint32_t spin = nextRandom(random) % (nextRandom(random) % 8 == 0 ? 400000u : 100000u);
            while (spin > 0) {
                spin = spin - 1;
            }
        }
    });
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (HANDLE event : events) {
        CloseHandle(event);
    }
    CloseHandle(signalled);

    int differing = 0;
    for (const Worker& worker : workers) {
        differing += worker.count;
    }
    std::printf("[threads] %d-bit: %d threads, %d calls in %.2f s: %d identify, %d draw; %d with an abort racing the call "
                "(%d aborts signalled, %d calls reached by one: %d identifies refused, %d pictures stopped early), %d with "
                "the event signalled before the call; %d calls on pak entries; %d answers differ from one thread's\n",
                static_cast<int>(sizeof(void*) * 8), threadCount, threadCount * callsPerThread, seconds,
                tally.identifies.load(), tally.draws.load(), tally.racing.load(), tally.signals.load(), tally.reached.load(),
                tally.refusedByAbort.load(), tally.stoppedByAbort.load(), tally.before.load(), tally.pakCalls.load(), differing);
    for (int t = 0; t < threadCount; ++t) {
        for (const std::string& problem : workers[t].problems) {
            ADD_FAILURE() << "thread " << t << ": " << problem;
        }
        EXPECT_EQ(workers[t].count, 0) << "thread " << t << " saw that many wrong answers";
    }
}

} // namespace
