// Allocation and file-call failures driven through the whole system. Each road (the file layer, a
// pak archive's mount with stored and compressed reads, the logger with a log file, and the two
// file entry points on a loose file and on a file inside a pak) runs again and again, failing its
// n-th request to the heap registry, for n = 0, 1, 2, ... until a run sees no failure; once with
// only that request failing, once with every request from it on; with the C runtime alone and with
// small arenas of every heap kind in front of it. Then the same with the platform's file calls
// (FileCallFaults) in place of the requests. Every call must fail as that call reports failure or
// answer what it answers without failures, nothing may be corrupted or written into the host's
// record on a refusal, and afterwards every block and every file handle is back.
//
// Nothing inside a road may allocate for the test itself (the failures would hit the test): paths
// are made beforehand, results go into a fixed transcript, pictures are looked at after the
// registry is restored. Setting SONOLOOK_SWEEP_SITES prints the category and size of every request
// of each road's clean run, and its count of each file call.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "core/Utils/Array.h"
#include "core/Utils/Platform.h"
#include "core/Utils/String.h"
#include "core/fileio/DiskFile.h"
#include "core/fileio/ArchiveMount.h"
#include "core/fileio/PakArchive.h"
#include "HostRoad.h"
#include "core/log/Logger.h"
#include "host/BitmapPixels.h"
#include "plugin/EntryPoints.h"
#include "support/FaultHeap.h"
#include "support/FileCallFaults.h"
#include "support/FileTestSupport.h"
#include "support/PakWriter.h"
#include "support/PlatformFakes.h"
#include "support/WavWriter.h"
#include "wave/WaveSampler.h"

namespace {

using filetest::TempFolder;
using Bytes = std::vector<std::uint8_t>;

// What one run of a road answered, step by step, without allocating. Each step says how it may
// differ from the clean run when a failure was injected.
struct Transcript {
    enum Rule : char { Same = 's', SameOrZero = 'z', AtMost = 'm' };
    static constexpr int capacity = 32;
    std::uint32_t values[capacity] = {};
    Rule rules[capacity] = {};
    int steps = 0;
    // Bytes delivered that differ from the file's, or a host record written on failure.
    int damage = 0;
    HBITMAP bitmap = nullptr;

    void step(std::uint32_t value, Rule rule) {
        if (steps < capacity) {
            values[steps] = value;
            rules[steps] = rule;
        }
        ++steps;
    }
    void result(bool ok) { step(ok ? 1 : 0, SameOrZero); }
    void count(std::uint32_t n) { step(n, AtMost); }
    void same(std::uint32_t value) { step(value, Same); }
    // bytes delivered must be what the file holds from the position read at.
    void delivered(const void* got, std::uint32_t n, const Bytes& content, std::uint32_t from = 0) {
        count(n);
        if (from > content.size() || n > content.size() - from ||
            (n > 0 && std::memcmp(got, content.data() + from, n) != 0)) {
            ++damage;
        }
    }
};

// Where each step of a run differs from the clean run beyond what its rule allows; empty when
// none does.
std::string deviations(const Transcript& got, const Transcript& clean, bool failed) {
    std::string out;
    if (got.steps != clean.steps) {
        out += " steps " + std::to_string(got.steps) + " instead of " + std::to_string(clean.steps);
        return out;
    }
    for (int i = 0; i < got.steps && i < Transcript::capacity; ++i) {
        const std::uint32_t v = got.values[i];
        const std::uint32_t want = clean.values[i];
        bool allowed = v == want;
        if (failed && got.rules[i] == Transcript::SameOrZero) {
            allowed = allowed || v == 0;
        } else if (failed && got.rules[i] == Transcript::AtMost) {
            allowed = v <= want;
        }
        if (!allowed) {
            out += " step " + std::to_string(i) + ": " + std::to_string(v) + " instead of " + std::to_string(want);
        }
    }
    return out;
}

// A picture's width and height as one number; 0 for none.
std::uint32_t shapeOf(HBITMAP bitmap) {
    BITMAP shape{};
    if (bitmap == nullptr || GetObjectA(bitmap, sizeof shape, &shape) == 0) {
        return 0;
    }
    return static_cast<std::uint32_t>(shape.bmWidth) << 16 | static_cast<std::uint32_t>(shape.bmHeight);
}

// A picture's size and pixels as one number (FNV-1a); 0 for none.
std::uint64_t pictureOf(HBITMAP bitmap) {
    if (bitmap == nullptr) {
        return 0;
    }
    LONG width = 0;
    LONG height = 0;
    const std::vector<std::uint32_t> pixels = readBack(bitmap, width, height);
    std::uint64_t print = 14695981039346656037ull;
    auto mix = [&print](std::uint32_t value) { print = (print ^ value) * 1099511628211ull; };
    mix(static_cast<std::uint32_t>(width));
    mix(static_cast<std::uint32_t>(height));
    for (std::uint32_t pixel : pixels) {
        mix(pixel);
    }
    return print;
}

// What a swept run's picture is held against: under allocation failures a picture is the clean
// one or none; a file call failing inside the sampling ends it early, which still makes a picture
// of the clean size.
struct CleanPicture {
    std::uint32_t shape;
    std::uint64_t print;
};

const char* kindName(HeapKind kind) {
    switch (kind) {
    case HeapKind::Platform:
        return "C runtime only";
    case HeapKind::Block:
        return "block arenas";
    case HeapKind::MultiBlock:
        return "multi-block arenas";
    case HeapKind::Greedy:
        return "greedy arenas";
    case HeapKind::Mspace:
        return "mspace arenas";
    }
    return "?";
}

constexpr HeapKind sweptKinds[] = {HeapKind::Platform, HeapKind::Block, HeapKind::MultiBlock, HeapKind::Greedy,
                                   HeapKind::Mspace};

// What one swept run left behind, read after its registry and platform wrappers are gone.
struct Aftermath {
    std::size_t blocksOut = 0;
    bool arenasAtRest = true;
    std::int32_t handlesOpen = 0;
    std::int64_t failures = 0;
};

// Checks one swept run against the clean run; answers whether a failure was injected.
bool checkRun(const std::string& where, Transcript& got, const Transcript& clean, const CleanPicture& picture,
              bool samePicture, const Aftermath& after) {
    EXPECT_EQ(after.blocksOut, 0u) << where;
    EXPECT_TRUE(after.arenasAtRest) << where << ": an arena's books show memory in use";
    EXPECT_EQ(after.handlesOpen, 0) << where << ": file handles left open";
    EXPECT_EQ(got.damage, 0) << where;
    const std::string off = deviations(got, clean, after.failures > 0);
    EXPECT_TRUE(off.empty()) << where << ":" << off;
    if (got.bitmap != nullptr) {
        EXPECT_EQ(shapeOf(got.bitmap), picture.shape) << where;
        if (samePicture) {
            EXPECT_EQ(pictureOf(got.bitmap), picture.print) << where << ": another picture than the clean run's";
        }
        DeleteObject(got.bitmap);
    }
    return after.failures > 0;
}

// Runs road failing its n-th request to the heap registry, for n = 0, 1, ... until a run sees no
// failure, under every arena kind, once and onwards. Returns the requests of the run no failure
// reached.
template <class Road>
std::int64_t sweepAllocations(const char* name, Road road, const Transcript& clean, const CleanPicture& picture) {
    std::int64_t cleanRequests = -1;
    for (HeapKind kind : sweptKinds) {
        for (bool onwards : {false, true}) {
            for (std::int64_t n = 0;; ++n) {
                Transcript got;
                Aftermath after;
                std::int64_t requests = 0;
                std::int64_t arenaServed = 0;
                FaultRequest seen[FaultHeap::logged] = {};
                {
                    FaultRegistry registry(FaultRegistry::allCategories, kind);
                    if (!registry.built()) {
                        ADD_FAILURE() << "no fault registry";
                        return -1;
                    }
                    registry.failAt(n, onwards);
                    got = road();
                    after.blocksOut = registry.outstanding();
                    after.arenasAtRest = registry.arenasAtRest();
                    after.failures = registry.heap().failures;
                    requests = registry.heap().requests;
                    arenaServed = registry.heap().arenaServed;
                    std::copy(std::begin(registry.heap().log), std::end(registry.heap().log), seen);
                }
                const std::string where = std::string(name) + ", " + kindName(kind) + (onwards ? ", failing from request " : ", failing request ") + std::to_string(n);
                if (checkRun(where, got, clean, picture, true, after)) {
                    if (n >= 2000) {
                        ADD_FAILURE() << where << ": the road never ends its requests";
                        break;
                    }
                    continue;
                }
                // The run that no failure reached: every request served, the same as the clean run.
                if (kind != HeapKind::Platform) {
                    EXPECT_GT(arenaServed, 0) << where << ": the arenas served nothing";
                }
                if (cleanRequests < 0) {
                    cleanRequests = requests;
                    if (std::getenv("SONOLOOK_SWEEP_SITES") != nullptr) {
                        std::printf("[sweep] %s: %lld requests:", name, static_cast<long long>(requests));
                        for (std::int64_t i = 0; i < requests && i < static_cast<std::int64_t>(FaultHeap::logged); ++i) {
                            std::printf(" %u/%u", seen[i].category, seen[i].size);
                        }
                        std::printf("\n");
                    }
                }
                EXPECT_EQ(requests, cleanRequests) << where;
                break;
            }
        }
    }
    return cleanRequests;
}

// Runs road failing its n-th platform file call, for n = 0, 1, ... until a run sees no failure:
// counting every swept call together and each kind on its own, once and onwards. The heap registry
// fails nothing here; it only counts the blocks left out. Returns the file calls of the run no
// failure reached.
template <class Road>
std::int64_t sweepFileCalls(const char* name, Road road, const Transcript& clean, const CleanPicture& picture) {
    std::int64_t cleanCalls = -1;
    // Pass 0 counts every swept call, pass k the k-th kind alone.
    for (std::size_t pass = 0; pass <= FileCallFaults::callCount(); ++pass) {
        const std::uint32_t mask = pass == 0 ? FileCallFaults::allCalls : 1u << (pass - 1);
        const std::string which = pass == 0 ? std::string("file call") : FileCallFaults::callName(pass - 1);
        for (bool onwards : {false, true}) {
            for (std::int64_t n = 0;; ++n) {
                Transcript got;
                Aftermath after;
                std::int64_t calls = 0;
                std::int64_t perCall[FileCallFaults::maxCalls] = {};
                {
                    FaultRegistry registry;
                    PlatformFakes fakes;
                    fakes.log().recordContent = false;
                    fakes.log().captureBitmaps = false;
                    FileCallFaults faults;
                    faults.failAt(n, onwards, mask);
                    got = road();
                    after.failures = faults.failures();
                    after.handlesOpen = fakes.log().openHandles;
                    after.blocksOut = registry.outstanding();
                    calls = faults.calls();
                    for (std::size_t call = 0; call < FileCallFaults::callCount(); ++call) {
                        perCall[call] = faults.callsOf(call);
                    }
                }
                const std::string where = std::string(name) + (onwards ? ", failing from " : ", failing ") + which + " " + std::to_string(n);
                if (checkRun(where, got, clean, picture, false, after)) {
                    if (n >= 2000) {
                        ADD_FAILURE() << where << ": the road never ends its file calls";
                        break;
                    }
                    continue;
                }
                if (pass == 0) {
                    if (cleanCalls < 0 && std::getenv("SONOLOOK_SWEEP_SITES") != nullptr) {
                        std::printf("[file calls] %s: %lld:", name, static_cast<long long>(calls));
                        for (std::size_t call = 0; call < FileCallFaults::callCount(); ++call) {
                            std::printf(" %s %lld", FileCallFaults::callName(call), static_cast<long long>(perCall[call]));
                        }
                        std::printf("\n");
                    }
                    cleanCalls = calls;
                }
                break;
            }
        }
    }
    return cleanCalls;
}

// Runs road once under the module's own registry (which also builds, outside the sweeps, what the
// process keeps: the path settings), then under both sweeps, each run checked against that clean
// run. Returns the heap requests and the file calls of a clean run.
template <class Road>
std::pair<std::int64_t, std::int64_t> sweep(const char* name, Road road) {
    const Transcript clean = road();
    const CleanPicture picture{shapeOf(clean.bitmap), pictureOf(clean.bitmap)};
    DeleteObject(clean.bitmap);
    EXPECT_EQ(clean.damage, 0) << name;
    const std::int64_t requests = sweepAllocations(name, road, clean, picture);
    const std::int64_t calls = sweepFileCalls(name, road, clean, picture);
    return {requests, calls};
}

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A short PCM recording and the record and picture the host would keep of it.
Bytes recording() {
    std::vector<std::int16_t> values;
    for (int i = 0; i < 500; ++i) {
        values.push_back(static_cast<std::int16_t>((i * 37) % 2000 - 1000));
    }
    return WavWriter().pcm(1, 22050, 16).data(samples16(values)).bytes();
}

class FailureSweep : public ::testing::Test {
protected:
    void TearDown() override { UnmountArchive(); }
    std::string write(const std::string& name, const Bytes& bytes) {
        EXPECT_TRUE(folder.write(name, std::string(bytes.begin(), bytes.end())));
        return folder.file(name);
    }
    TempFolder folder;
};

TEST_F(FailureSweep, FileLayer) {
    const Bytes content = text("0123456789abcdefghij");
    const std::string path = write("plain.txt", content);
    ASSERT_TRUE(folder.makeFolder("sub"));
    const std::string appended = folder.file("appended.txt");
    const std::string listed = folder.path();
    const auto [requests, calls] = sweep("file layer", [&] {
        Transcript t;
        {
            DiskFile f(false);
            t.result(f.Open(path.c_str()));
            char b[32] = {};
            t.delivered(b, f.Read(b, 8), content);
            t.result(f.Seek(4));
            // A seek that failed leaves the position where it was; what follows is held against
            // the position the object reports.
            std::uint32_t from = f.position;
            t.count(f.Skip(3) - from);
            from = f.position;
            t.delivered(b, f.Read(b, 1), content, from);
            t.count(f.Size());
            t.result(f.Close());
            t.count(f.ExecutableDirectory().length());
            t.count(f.QueryPath().length());
            DiskFile whole(false);
            t.result(whole.Open(path.c_str(), 1, HeapCategory::String));
            t.delivered(whole.memoryData, whole.memoryData != nullptr ? whole.size : 0, content);
            whole.Close();
            DiskFile log(false);
            t.result(log.OpenAppend(appended.c_str()));
            t.result(log.WriteLine("one line", 0));
            log.Close();
            t.result(log.Exists(path.c_str()));
            Array<String> files(HeapCategory::String);
            Array<String> folders(HeapCategory::String);
            t.result(log.ListDirectory(listed.c_str(), files, folders));
            t.count(files.count());
            t.count(folders.count());
            t.result(log.Delete(appended.c_str()));
        }
        DeleteFileA(appended.c_str());
        return t;
    });
    EXPECT_GT(requests, 5);
    EXPECT_GT(calls, 10);
}

TEST_F(FailureSweep, PakMountStoredAndCompressedReads) {
    const Bytes stored = text("stored as it is");
    std::string longText;
    for (int i = 0; i < 200; ++i) {
        longText += "inflated through zlib, whose memory comes from the registry. ";
    }
    const Bytes packed = text(longText);
    const std::string pak = write("sweep.pak", PakWriter().stored("a/stored", stored).compressed("a/packed", packed).bytes());
    const std::string storedPath = pak + "/a/stored";
    const std::string packedPath = pak + "\\a\\packed";
    const auto [requests, calls] = sweep("pak archive", [&] {
        Transcript t;
        {
            DiskFile s(false);
            t.result(s.Open(storedPath.c_str()));
            char b[32] = {};
            t.delivered(b, s.Read(b, sizeof b), stored);
            // A second entry open beside the first, then the first read on where it was.
            DiskFile z(false);
            t.result(z.Open(packedPath.c_str(), 1, HeapCategory::Engine));
            t.delivered(z.memoryData, z.memoryData != nullptr ? z.size : 0, packed);
            t.result(s.Seek(2));
            const std::uint32_t from = s.position;
            t.delivered(b, s.Read(b, 4), stored, from);
            t.result(s.Close());
        }
        t.result(UnmountArchive());
        return t;
    });
    EXPECT_GT(requests, 5);
    EXPECT_GT(calls, 5);
}

// The logger writing an HTML log. With logged set, the file's bytes go there; with expected set,
// the file must hold the start of expected: a write that failed stops the log (later text is
// dropped), it never leaves a hole. The file is read with the C library, outside the registry.
// The logger road checks what reaches the log file, not the debugger. wine raises an exception
// for every text sent to the debugger, thousands of times over a sweep: slow, and in 32-bit runs
// under the CPU emulator now and then fatal to the test process.
void WINAPI ignoreDebuggerText(LPCSTR) {}

Transcript logRoad(const std::string& path, const std::string* expected, std::string* logged) {
    Transcript t;
    const auto debuggerText = platform().OutputDebugStringA;
    platform().OutputDebugStringA = ignoreDebuggerText;
    {
        Logger log;
        log.setColourMode(Logger::htmlMode);
        t.result(log.setLogFileName(path.c_str()));
        t.result(log.attachLogFile());
        log.setColour(4);
        log.writeText("a line <with> markup\n");
        log.writeEscaped("<escaped>");
        log.logMessage(3, "%s %d", "value", 42);
        t.result(log.closeLogFile());
    }
    platform().OutputDebugStringA = debuggerText;
    char bytes[1024] = {};
    std::size_t length = 0;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        length = std::fread(bytes, 1, sizeof bytes, file);
        std::fclose(file);
    }
    if (logged != nullptr) {
        logged->assign(bytes, length);
    }
    if (expected != nullptr && (length > expected->size() || std::memcmp(bytes, expected->data(), length) != 0)) {
        ++t.damage;
    }
    DeleteFileA(path.c_str());
    return t;
}

TEST_F(FailureSweep, LoggerWithALogFile) {
    const std::string logPath = folder.file("sweep.html");
    const auto [requests, calls] = sweep("logger", [&] { return logRoad(logPath, nullptr, nullptr); });
    EXPECT_GT(requests, 2);
    EXPECT_GT(calls, 3);
}

// When a piece of the HTML opening fails, the attach fails: a log that was attached holds the
// clean log's start, with no hole where a failed piece would be.
TEST_F(FailureSweep, LogFileHoldsTheStartOfTheCleanLog) {
    const std::string logPath = folder.file("sweep.html");
    std::string whole;
    logRoad(logPath, nullptr, &whole);
    ASSERT_FALSE(whole.empty());
    sweep("logger, its file", [&] { return logRoad(logPath, &whole, nullptr); });
}

// identify and then draw, on a loose file and on the same bytes stored in a pak.
TEST_F(FailureSweep, EntryPointsOnLooseAndPakFiles) {
    const Bytes wave = recording();
    const std::string loose = write("sweep.wav", wave);
    const std::string pak = write("bank.pak", PakWriter().stored("other.wav", text("x")).stored("drums/sweep.wav", wave).bytes());
    const std::string inside = pak + "\\drums\\sweep.wav";

    for (const std::string* path : {&loose, &inside}) {
        std::vector<char> name(path->begin(), path->end());
        name.push_back('\0');
        HostRecord clean;
        ASSERT_EQ(DVP_IdentifyFileA(nullptr, name.data(), &clean.info, nullptr), TRUE) << *path;
        UnmountArchive();
        const bool inPak = path == &inside;

        sweep(inPak ? "DVP_IdentifyFileA, pak" : "DVP_IdentifyFileA, loose", [&] {
            Transcript t;
            HostRecord host;
            const BOOL identified = DVP_IdentifyFileA(nullptr, name.data(), &host.info, nullptr);
            t.result(identified == TRUE);
            if (identified == TRUE) {
                t.damage += std::strcmp(host.text, clean.text) != 0 ? 1 : 0;
                t.damage += std::memcmp(&host.info.privateArea, &clean.info.privateArea, sizeof host.info.privateArea) != 0 ? 1 : 0;
            } else {
                // A refusal leaves the host's record as it was.
                t.damage += host.untouched() ? 0 : 1;
            }
            UnmountArchive();
            return t;
        });
        sweep(inPak ? "DVP_LoadBitmapA, pak" : "DVP_LoadBitmapA, loose", [&] {
            Transcript t;
            FileInfoRecord record = clean.info;
            ImageSizeRecord size{48, 32};
            t.bitmap = DVP_LoadBitmapA(nullptr, name.data(), &record, &size, nullptr);
            t.result(t.bitmap != nullptr);
            t.damage += std::memcmp(&record, &clean.info, sizeof record) != 0 ? 1 : 0;
            UnmountArchive();
            return t;
        });
    }
}

// The wide forms on a loose file and on an entry whose name is UTF-8 in a pak: the name's
// conversions (to UTF-8, to UTF-16 for the open, to the entry's lookup name) fail like any other
// request.
TEST_F(FailureSweep, WideEntryPointsOnLooseAndPakFiles) {
    const Bytes wave = recording();
    const std::string loose = write("sweep.wav", wave);
    const std::string pak =
        write("wide.pak", PakWriter().stored("\xD0\xB7\xD0\xB2\xD1\x83\xD0\xBA/\xE9\x9F\xB3.wav", wave).bytes());
    const std::u16string entry = u"\\звук\\音.wav";
    for (std::wstring name : {std::wstring(loose.begin(), loose.end()),
                              std::wstring(pak.begin(), pak.end()) + std::wstring(entry.begin(), entry.end())}) {
        name.push_back(L'\0');
        HostRecordW clean;
        ASSERT_EQ(DVP_IdentifyFileW(nullptr, &name[0], &clean.info, nullptr), TRUE);
        UnmountArchive();
        sweep("DVP_IdentifyFileW", [&] {
            Transcript t;
            HostRecordW host;
            const BOOL identified = DVP_IdentifyFileW(nullptr, &name[0], &host.info, nullptr);
            t.result(identified == TRUE);
            if (identified == TRUE) {
                t.damage += std::wcscmp(host.text, clean.text) != 0 ? 1 : 0;
                t.damage += std::memcmp(&host.info.privateArea, &clean.info.privateArea, sizeof host.info.privateArea) != 0;
            } else {
                t.damage += host.untouched() ? 0 : 1;
            }
            UnmountArchive();
            return t;
        });
        sweep("DVP_LoadBitmapW", [&] {
            Transcript t;
            FileInfoRecordW record = clean.info;
            ImageSizeRecord size{48, 32};
            t.bitmap = DVP_LoadBitmapW(nullptr, &name[0], &record, &size, nullptr);
            t.result(t.bitmap != nullptr);
            UnmountArchive();
            return t;
        });
    }
}

// The picture with a reader in flight from the first sample (one, so that the counting fakes never
// see two calls at once): a reader that cannot be made, open or read hands its sample back.
TEST_F(FailureSweep, PictureWithAReaderInFlight) {
    const std::string loose = write("flight.wav", recording());
    std::vector<char> name(loose.begin(), loose.end());
    name.push_back('\0');
    FileInfoRecord cleanRecord{};
    ASSERT_EQ(DVP_IdentifyFileA(nullptr, name.data(), &cleanRecord, nullptr), TRUE);
    const SamplingTuning previous = samplingTuning();
    samplingTuning() = SamplingTuning{0, 0, 0, 0, 1};
    sweep("DVP_LoadBitmapA, a reader in flight", [&] {
        Transcript t;
        FileInfoRecord record = cleanRecord;
        ImageSizeRecord size{48, 32};
        t.bitmap = DVP_LoadBitmapA(nullptr, name.data(), &record, &size, nullptr);
        t.result(t.bitmap != nullptr);
        return t;
    });
    samplingTuning() = previous;
}

} // namespace
