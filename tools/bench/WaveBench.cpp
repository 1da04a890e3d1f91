// The benchmark of the two file entry points on generated 16-bit stereo 44.1 kHz files of 10
// seconds, 10 minutes and 60 minutes, loose and as stored entries of a pak (behind 4095 other
// entries), with storage simulated by an added latency per ReadFile (and, with --size-latency, per
// GetFileSize): the calling thread sleeps, so calls made at the same time wait at the same time.
// For each latency (0, 100 us, 1 ms) it prints the file calls of one identify and one picture at
// 800 x 600, the picture's median time, the time of today's frame-by-frame sampling (the reference
// road) and the time of a plain serial loop of the same 1,600 reads (2 x 800 frames) made straight
// through the platform table (the bound), with the ratios. Then the pictures per second of 1 and of
// 8 host threads drawing at 1 ms per read. Figures, not a test.
//
// The entry points are linked into this program from the plugin's own objects, so that the platform
// table they call through can be wrapped; the code is the DLL's code.
//   tools/wine-run.sh <build>/bin/wave_bench.exe [runs] [--size-latency] [--short]
// --short leaves out the 60-minute file. The files are made in a scratch folder under the temporary
// directory and deleted afterwards.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/Utils/Platform.h"
#include "core/fileio/ArchiveMount.h"
#include "core/fileio/PakArchive.h"
#include "plugin/EntryPoints.h"
#include "tests/support/WavWriter.h"
#include "tools/bench/BenchClock.h"
#include "core/memory/HeapPointer.h"
#include "wave/HostBitmap.h"
#include "wave/PictureDrawing.h"
#include "wave/WaveSampler.h"

namespace {

// The simulated storage: counts every file call and delays reads (and size queries when asked).
struct Storage {
    std::atomic<std::int64_t> opens{0}, reads{0}, seeks{0}, sizes{0}, closes{0};
    std::atomic<std::uint32_t> latencyMicros{0};
    bool sizeLatency = false;
    PlatformCalls real{};
    std::int64_t calls() const { return opens + reads + seeks + sizes + closes; }
    void reset() { opens = reads = seeks = sizes = closes = 0; }
};
Storage storage;

using DelayFn = LONG(NTAPI*)(BOOLEAN, PLARGE_INTEGER);

// Sleeps about micros microseconds: NtDelayExecution counts in 100 ns, Sleep only in milliseconds.
void delay(std::uint32_t micros) {
    static const DelayFn delayExecution =
        reinterpret_cast<DelayFn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtDelayExecution")));
    if (micros == 0) {
        return;
    }
    LARGE_INTEGER interval;
    interval.QuadPart = -static_cast<LONGLONG>(micros) * 10;
    if (delayExecution != nullptr) {
        delayExecution(FALSE, &interval);
    } else {
        Sleep((micros + 999) / 1000);
    }
}

HANDLE WINAPI countedCreateA(LPCSTR n, DWORD a, DWORD s, LPSECURITY_ATTRIBUTES sa, DWORD d, DWORD f, HANDLE t) {
    ++storage.opens;
    return storage.real.CreateFileA(n, a, s, sa, d, f, t);
}
HANDLE WINAPI countedCreateW(LPCWSTR n, DWORD a, DWORD s, LPSECURITY_ATTRIBUTES sa, DWORD d, DWORD f, HANDLE t) {
    ++storage.opens;
    return storage.real.CreateFileW(n, a, s, sa, d, f, t);
}
BOOL WINAPI slowRead(HANDLE file, LPVOID buffer, DWORD count, LPDWORD got, LPOVERLAPPED overlapped) {
    ++storage.reads;
    delay(storage.latencyMicros.load());
    return storage.real.ReadFile(file, buffer, count, got, overlapped);
}
DWORD WINAPI countedSeek(HANDLE file, LONG distance, PLONG high, DWORD method) {
    ++storage.seeks;
    return storage.real.SetFilePointer(file, distance, high, method);
}
DWORD WINAPI maybeSlowSize(HANDLE file, LPDWORD high) {
    ++storage.sizes;
    if (storage.sizeLatency) {
        delay(storage.latencyMicros.load());
    }
    return storage.real.GetFileSize(file, high);
}
BOOL WINAPI countedClose(HANDLE handle) {
    ++storage.closes;
    return storage.real.CloseHandle(handle);
}

void installStorage() {
    storage.real = platform();
    platform().CreateFileA = countedCreateA;
    platform().CreateFileW = countedCreateW;
    platform().ReadFile = slowRead;
    platform().SetFilePointer = countedSeek;
    platform().GetFileSize = maybeSlowSize;
    platform().CloseHandle = countedClose;
}

double nowMs() { return benchSeconds() * 1000.0; }

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2.0;
}

void putLe32(std::uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

constexpr std::uint32_t waveHeaderBytes = 44;
std::uint32_t waveFileBytes(std::uint32_t seconds) { return waveHeaderBytes + 44100u * 4u * seconds; }

// A 16-bit stereo 44.1 kHz file of the given length at the file's position: a 44-byte header and
// one second of a fading tone written over and over.
bool writeWave(std::FILE* file, std::uint32_t seconds) {
    const std::uint32_t rate = 44100;
    std::vector<std::int16_t> second;
    for (std::uint32_t i = 0; i < rate; ++i) {
        const double value = 0.6 * std::sin(2.0 * 3.14159265358979 * 220.0 * i / rate) * (1.0 - static_cast<double>(i) / rate);
        const std::int16_t sample = static_cast<std::int16_t>(std::lround(value * 32767.0));
        second.push_back(sample);
        second.push_back(sample);
    }
    const std::vector<std::uint8_t> block = samples16(second);
    const std::uint32_t dataBytes = static_cast<std::uint32_t>(block.size()) * seconds;
    const std::vector<std::uint8_t> header =
        WavWriter().pcm(2, rate, 16).chunk("data", dataBytes, {}).riffSize(36 + dataBytes).bytes();
    bool written = std::fwrite(header.data(), 1, header.size(), file) == header.size();
    for (std::uint32_t s = 0; s < seconds && written; ++s) {
        written = std::fwrite(block.data(), 1, block.size(), file) == block.size();
    }
    return written;
}

struct Length {
    const char* label;
    std::uint32_t seconds;
};

// A pak whose directory holds 4095 empty fillers and then the waves, stored one after another as
// "long/<seconds>.wav" (packed size 0: stored); the waves are found only after the whole directory has been scanned.
bool writePak(const std::string& path, const std::vector<Length>& lengths, std::vector<std::uint32_t>& offsets) {
    const std::uint32_t fillers = 4095;
    const std::uint32_t entries = fillers + static_cast<std::uint32_t>(lengths.size());
    const std::uint32_t dataStart = 8 + 16 * entries;
    std::vector<std::uint8_t> head(dataStart);
    putLe32(head.data(), dataStart);
    for (std::uint32_t i = 0; i < fillers; ++i) {
        putLe32(head.data() + 8 + 16 * i, HashEntryName(("filler/" + std::to_string(i) + ".wav").c_str()));
    }
    std::uint32_t offset = 0;
    for (std::size_t w = 0; w < lengths.size(); ++w) {
        std::uint8_t* entry = head.data() + 8 + 16 * (fillers + w);
        putLe32(entry, HashEntryName(("long/" + std::to_string(lengths[w].seconds) + ".wav").c_str()));
        putLe32(entry + 4, offset);
        putLe32(entry + 12, waveFileBytes(lengths[w].seconds));
        offsets.push_back(dataStart + offset);
        offset += waveFileBytes(lengths[w].seconds);
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    bool written = std::fwrite(head.data(), 1, head.size(), file) == head.size();
    for (const Length& l : lengths) {
        written = written && writeWave(file, l.seconds);
    }
    return std::fclose(file) == 0 && written;
}

// One subject: a name the host gives, and where its wave starts in the file that holds it.
struct Subject {
    std::string label;
    std::string name;
    std::string container;
    std::uint32_t waveAt;
    FileInfoRecord info;
};

bool identifyOnce(Subject& s, std::int64_t* calls) {
    std::vector<char> name(s.name.begin(), s.name.end());
    name.push_back('\0');
    s.info = FileInfoRecord{};
    storage.reset();
    const BOOL identified = DVP_IdentifyFileA(nullptr, name.data(), &s.info, nullptr);
    if (calls != nullptr) {
        *calls = storage.calls();
    }
    return identified == TRUE;
}

// One picture through the entry point: its time in ms, or -1.
double pictureOnce(const Subject& s, std::int64_t* calls) {
    std::vector<char> name(s.name.begin(), s.name.end());
    name.push_back('\0');
    FileInfoRecord info = s.info;
    ImageSizeRecord size{800, 600};
    storage.reset();
    const double start = nowMs();
    HBITMAP bitmap = DVP_LoadBitmapA(nullptr, name.data(), &info, &size, nullptr);
    const double took = nowMs() - start;
    if (calls != nullptr) {
        *calls = storage.calls();
    }
    if (bitmap == nullptr) {
        return -1.0;
    }
    DeleteObject(bitmap);
    return took;
}

// The bound: the same 1,600 frames read one after another straight through the platform table,
// a seek and a 4-byte read each, on one handle of the file that holds the wave.
double boundOnce(const Subject& s) {
    const std::uint32_t width = 800;
    const WavePrivateArea& area = s.info.privateArea;
    const float step = samplingStep(area.frameCount, static_cast<std::int32_t>(width));
    const double start = nowMs();
    HANDLE file = platform().CreateFileA(s.container.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return -1.0;
    }
    float position = 0.0f;
    std::uint8_t frame[4];
    for (std::uint32_t i = 0; i < 2 * width; ++i) {
        const std::uint32_t target = frameSeekTarget(position, area.bytesPerFrame, area.dataOffset) + s.waveAt;
        platform().SetFilePointer(file, static_cast<LONG>(target), nullptr, FILE_BEGIN);
        DWORD got = 0;
        platform().ReadFile(file, frame, sizeof frame, &got, nullptr);
        position = position + step;
    }
    platform().CloseHandle(file);
    return nowMs() - start;
}

template <class Run>
double medianOf(int runs, Run run) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        times.push_back(run());
    }
    return median(times);
}

// Every subject at one latency: calls, the picture against the bound and against today's road.
void benchLatency(std::vector<Subject>& subjects, std::uint32_t micros, int runs) {
    storage.latencyMicros = micros;
    // What the delay really is here (wine's timers may round it).
    const double start = nowMs();
    for (int i = 0; i < 20; ++i) {
        delay(micros);
    }
    std::printf("\n== %u us per read%s (measured %.0f us)\n", micros, storage.sizeLatency ? " and size query" : "",
                (nowMs() - start) * 1000.0 / 20.0);
    std::printf("%-16s %6s %6s %10s %10s %10s %9s %9s\n", "file", "ident", "pict", "picture ms", "today ms", "bound ms",
                "pic/bound", "pic/today");
    for (Subject& s : subjects) {
        std::int64_t identifyCalls = 0;
        std::int64_t pictureCalls = 0;
        identifyOnce(s, &identifyCalls);
        pictureOnce(s, &pictureCalls);
        const double picture = medianOf(runs, [&] { return pictureOnce(s, nullptr); });
        samplingTuning() = referenceSamplingTuning;
        const double today = medianOf(runs, [&] { return pictureOnce(s, nullptr); });
        samplingTuning() = defaultSamplingTuning;
        const double bound = medianOf(runs, [&] { return boundOnce(s); });
        std::printf("%-16s %6lld %6lld %10.2f %10.2f %10.2f %9.3f %9.3f\n", s.label.c_str(),
                    static_cast<long long>(identifyCalls), static_cast<long long>(pictureCalls), picture, today, bound,
                    picture / bound, picture / today);
    }
}

// What every 800 x 600 picture costs besides its sampling: the drawing of 1,600 samples and the
// host's bitmap made from the pixels.
double drawingOnce() {
    static float samples[1600] = {};
    const double start = nowMs();
    HeapPointer<std::uint32_t> pixels = allocateHeapBlock<std::uint32_t>(800u * 600u * 4u, 16, HeapCategory::GlobalNew);
    if (pixels == nullptr) {
        return -1.0;
    }
    drawWaveform(pixels.get(), 800, 600, samples);
    HBITMAP bitmap = static_cast<HBITMAP>(createHostBitmap(nullptr, std::move(pixels), 800, 600));
    const double took = nowMs() - start;
    DeleteObject(bitmap);
    return took;
}

// Pictures per second of threads host threads drawing the subject for about seconds.
double picturesPerSecond(const Subject& s, int threads, double seconds) {
    std::atomic<int> pictures{0};
    std::atomic<bool> failed{false};
    const double start = nowMs();
    std::vector<std::thread> hosts;
    for (int t = 0; t < threads; ++t) {
        hosts.emplace_back([&] {
            while (nowMs() - start < seconds * 1000.0) {
                if (pictureOnce(s, nullptr) < 0.0) {
                    failed = true;
                }
                ++pictures;
            }
        });
    }
    for (std::thread& host : hosts) {
        host.join();
    }
    return failed ? -1.0 : pictures.load() * 1000.0 / (nowMs() - start);
}

// Host calls per second of threads host threads, each identifying the subject and drawing a
// 50 x 20 picture of it in turn for about seconds, under the given sampling tuning.
double hostCallsPerSecond(const Subject& s, int threads, double seconds, const SamplingTuning& tuning) {
    samplingTuning() = tuning;
    std::atomic<int> calls{0};
    std::atomic<bool> failed{false};
    const double start = nowMs();
    std::vector<std::thread> hosts;
    for (int t = 0; t < threads; ++t) {
        hosts.emplace_back([&] {
            std::vector<char> name(s.name.begin(), s.name.end());
            name.push_back('\0');
            while (nowMs() - start < seconds * 1000.0) {
                FileInfoRecord info{};
                ImageSizeRecord size{50, 20};
                if (DVP_IdentifyFileA(nullptr, name.data(), &info, nullptr) != TRUE) {
                    failed = true;
                    return;
                }
                HBITMAP bitmap = DVP_LoadBitmapA(nullptr, name.data(), &info, &size, nullptr);
                if (bitmap == nullptr) {
                    failed = true;
                    return;
                }
                DeleteObject(bitmap);
                calls += 2;
            }
        });
    }
    for (std::thread& host : hosts) {
        host.join();
    }
    samplingTuning() = defaultSamplingTuning;
    return failed ? -1.0 : calls.load() * 1000.0 / (nowMs() - start);
}

} // namespace

int main(int argc, char** argv) {
    int runs = 5;
    bool withHour = true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--size-latency") == 0) {
            storage.sizeLatency = true;
        } else if (std::strcmp(argv[i], "--short") == 0) {
            withHour = false;
        } else {
            runs = std::max(1, std::atoi(argv[i]));
        }
    }
    char temp[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathA(MAX_PATH, temp);
    if (length == 0 || length > MAX_PATH) {
        std::fprintf(stderr, "wave_bench: no temporary folder\n");
        return 1;
    }
    const std::string folder = std::string(temp) + "sonolook-bench-" + std::to_string(GetCurrentProcessId());
    if (!CreateDirectoryA(folder.c_str(), nullptr)) {
        std::fprintf(stderr, "wave_bench: cannot make %s\n", folder.c_str());
        return 1;
    }
    std::vector<Length> lengths = {{"10 s", 10}, {"10 min", 600}};
    if (withHour) {
        lengths.push_back({"60 min", 3600});
    }
    std::vector<Subject> subjects;
    bool ready = true;
    for (const Length& l : lengths) {
        const std::string path = folder + "\\bench-" + std::to_string(l.seconds) + "s.wav";
        std::FILE* file = std::fopen(path.c_str(), "wb");
        ready = ready && file != nullptr && writeWave(file, l.seconds);
        ready = file != nullptr && std::fclose(file) == 0 && ready;
        subjects.push_back({std::string(l.label) + " loose", path, path, 0, {}});
    }
    const std::string pak = folder + "\\bank.pak";
    std::vector<std::uint32_t> offsets;
    ready = ready && writePak(pak, lengths, offsets);
    for (std::size_t i = 0; ready && i < lengths.size(); ++i) {
        subjects.push_back({std::string(lengths[i].label) + " pak", pak + "\\long\\" + std::to_string(lengths[i].seconds) + ".wav",
                            pak, offsets[i], {}});
    }
    installStorage();
    for (Subject& s : subjects) {
        if (ready && !identifyOnce(s, nullptr)) {
            std::fprintf(stderr, "wave_bench: %s is not identified\n", s.name.c_str());
            ready = false;
        }
    }
    if (!ready) {
        std::fprintf(stderr, "wave_bench: the files could not be written or identified\n");
    } else {
        std::printf("%s-bit build, 16-bit stereo 44.1 kHz, picture 800 x 600, median of %d runs; calls are file calls "
                    "(opens, reads, seeks, size queries, closes) of one identify and one picture\n",
                    sizeof(void*) == 4 ? "32" : "64", runs);
        std::printf("drawing and the host's bitmap alone, in every picture: %.2f ms\n", medianOf(runs, drawingOnce));
        for (const std::uint32_t micros : {0u, 100u, 1000u}) {
            benchLatency(subjects, micros, micros == 0 ? runs : std::min(runs, 3));
        }
        storage.latencyMicros = 1000;
        std::printf("\n== host threads drawing at 1 ms per read: pictures per second\n");
        for (const Subject& s : subjects) {
            const double one = picturesPerSecond(s, 1, 3.0);
            const double eight = picturesPerSecond(s, 8, 3.0);
            std::printf("%-16s 1 thread %8.2f/s  8 threads %8.2f/s  ratio %.2f\n", s.label.c_str(), one, eight, eight / one);
        }
        std::printf("\n== host threads at 1 ms per read, each identifying and drawing 50 x 20 in turn: calls per second\n");
        for (const Subject& s : subjects) {
            for (const bool serial : {true, false}) {
                const SamplingTuning& tuning = serial ? referenceSamplingTuning : defaultSamplingTuning;
                const double one = hostCallsPerSecond(s, 1, 3.0, tuning);
                const double eight = hostCallsPerSecond(s, 8, 3.0, tuning);
                std::printf("%-16s %-13s 1 thread %8.2f/s  8 threads %8.2f/s  ratio %.2f\n", s.label.c_str(),
                            serial ? "frame by frame" : "all roads", one, eight, eight / one);
            }
        }
    }
    restoreDefaultPlatform();
    UnmountArchive();
    for (const Subject& s : subjects) {
        DeleteFileA(s.container.c_str());
    }
    RemoveDirectoryA(folder.c_str());
    return ready ? 0 : 1;
}
