// The benchmark of the two file entry points: DVP_IdentifyFileA and DVP_LoadBitmapA at 800 x 600 on
// generated 16-bit stereo 44.1 kHz files of 10 seconds, 10 minutes and 60 minutes. It prints the
// median time of each call and how many platform file calls one call makes. Figures, not a test:
// what they must show is that identification costs a handful of header reads whatever the length,
// and that the picture's cost is bounded by its width, not by the file's length. The 60-minute file
// is then measured again as a stored entry of a pak (with 4095 other entries in its directory): its
// picture should cost about what the loose file's does, and mounting reads the directory in one
// request.
//
// The entry points are linked into this program from the plugin's own objects, so that the platform
// table they call through can be wrapped in the tests' counting fakes; the code is the DLL's code.
//   tools/wine-run.sh <build>/bin/wave_bench.exe [runs]
// The files are made in a scratch folder under the temporary directory and deleted afterwards.
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/fileio/ArchiveMount.h"
#include "core/fileio/PakArchive.h"
#include "plugin/EntryPoints.h"
#include "tests/support/PlatformFakes.h"
#include "tests/support/WavWriter.h"
#include "tools/bench/BenchClock.h"

namespace {

double nowMs() { return benchSeconds() * 1000.0; }

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2.0;
}

void putU32(std::uint8_t* at, std::uint32_t value) {
    at[0] = static_cast<std::uint8_t>(value & 0xFF);
    at[1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
    at[2] = static_cast<std::uint8_t>((value >> 16) & 0xFF);
    at[3] = static_cast<std::uint8_t>(value >> 24);
}

constexpr std::uint32_t waveHeaderBytes = 44;

std::uint32_t waveFileBytes(std::uint32_t seconds) { return waveHeaderBytes + 44100u * 4u * seconds; }

// A 16-bit stereo 44.1 kHz file of the given length, written at the file's current position: a
// 44-byte header and one second of a tone written over and over.
bool writeWave(std::FILE* file, std::uint32_t seconds) {
    const std::uint32_t rate = 44100;
    std::vector<std::int16_t> second;
    for (std::uint32_t i = 0; i < rate; ++i) {
        const double value = 0.6 * std::sin(2.0 * 3.14159265358979 * 220.0 * i / rate) * (1.0 - static_cast<double>(i) / rate);
        const std::int16_t sample = static_cast<std::int16_t>(std::lround(value * 32767.0));
        second.push_back(sample); // both channels
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

bool writeFile(const std::string& path, std::uint32_t seconds) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = writeWave(file, seconds);
    return std::fclose(file) == 0 && written;
}

// A pak whose directory holds fillers empty entries and then the wave file of the given length,
// stored under entryName; the wave is found only after the whole directory has been scanned.
bool writePak(const std::string& path, std::uint32_t fillers, const char* entryName, std::uint32_t seconds) {
    const std::uint32_t entries = fillers + 1;
    std::vector<std::uint8_t> head(8 + 16 * static_cast<std::size_t>(entries));
    putU32(head.data(), 8 + 16 * entries);
    for (std::uint32_t i = 0; i < fillers; ++i) {
        const std::string filler = "filler/" + std::to_string(i) + ".wav";
        putU32(head.data() + 8 + 16 * i, HashEntryName(filler.c_str()));
    }
    std::uint8_t* wave = head.data() + 8 + 16 * fillers;
    putU32(wave, HashEntryName(entryName));
    putU32(wave + 12, waveFileBytes(seconds));
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = std::fwrite(head.data(), 1, head.size(), file) == head.size() && writeWave(file, seconds);
    return std::fclose(file) == 0 && written;
}

struct Result {
    double identifyMs;
    PlatformLog identifyCalls;
    double bitmapMs;
    PlatformLog bitmapCalls;
};

// The fakes count from nothing and record nothing (the bitmap calls are the real ones).
void startCounting(PlatformFakes& fakes) {
    fakes.log() = PlatformLog{};
    fakes.log().recordContent = false;
    fakes.log().captureBitmaps = false;
}

bool measure(PlatformFakes& fakes, const std::string& path, int runs, Result& result) {
    std::vector<char> name(path.begin(), path.end());
    name.push_back('\0');
    std::vector<double> times;
    char description[128] = {};
    FileInfoRecord info{};
    for (int i = 0; i < runs; ++i) {
        info = FileInfoRecord{};
        info.description = description;
        info.descriptionCapacity = sizeof description;
        startCounting(fakes);
        const double start = nowMs();
        const BOOL identified = DVP_IdentifyFileA(nullptr, name.data(), &info, nullptr);
        times.push_back(nowMs() - start);
        if (!identified) {
            return false;
        }
        result.identifyCalls = fakes.log();
    }
    result.identifyMs = median(times);
    times.clear();
    ImageSizeRecord size{800, 600};
    for (int i = 0; i < runs; ++i) {
        startCounting(fakes);
        const double start = nowMs();
        HBITMAP bitmap = DVP_LoadBitmapA(nullptr, name.data(), &info, &size, nullptr);
        times.push_back(nowMs() - start);
        if (bitmap == nullptr) {
            return false;
        }
        DeleteObject(bitmap);
        result.bitmapCalls = fakes.log();
    }
    result.bitmapMs = median(times);
    return true;
}

void printCounts(const PlatformLog& c) {
    std::printf("%5ld file calls (CreateFileA %ld, ReadFile %ld, SetFilePointer %ld, GetFileSize %ld, CloseHandle %ld)\n",
                static_cast<long>(c.fileCalls()), static_cast<long>(c.createFileCalls), static_cast<long>(c.readFileCalls),
                static_cast<long>(c.setFilePointerCalls), static_cast<long>(c.getFileSizeCalls),
                static_cast<long>(c.closeHandleCalls));
}

// The loose files of 10 s, 10 min and 60 min, each written, measured and deleted. False when one
// cannot be written, identified or drawn. bitmapLong: the 60-minute picture's median.
bool benchLooseFiles(PlatformFakes& fakes, const std::string& folder, int runs, double& bitmapLong) {
    struct Length {
        const char* label;
        std::uint32_t seconds;
    } lengths[] = {{"10 s", 10}, {"10 min", 600}, {"60 min", 3600}};
    double bitmapShort = 0.0;
    for (const Length& l : lengths) {
        const std::string path = folder + "\\bench-" + std::to_string(l.seconds) + "s.wav";
        if (!writeFile(path, l.seconds)) {
            std::fprintf(stderr, "wave_bench: cannot write %s\n", path.c_str());
            return false;
        }
        Result result{};
        const bool measured = measure(fakes, path, runs, result);
        DeleteFileA(path.c_str());
        if (!measured) {
            std::fprintf(stderr, "wave_bench: %s was not identified or drawn\n", path.c_str());
            return false;
        }
        std::printf("%-7s DVP_IdentifyFileA %9.3f ms ", l.label, result.identifyMs);
        printCounts(result.identifyCalls);
        std::printf("%-7s DVP_LoadBitmapA   %9.3f ms ", l.label, result.bitmapMs);
        printCounts(result.bitmapCalls);
        if (l.seconds == 10) {
            bitmapShort = result.bitmapMs;
        }
        if (l.seconds == 3600) {
            bitmapLong = result.bitmapMs;
        }
    }
    if (bitmapShort > 0.0) {
        std::printf("picture of 60 min / picture of 10 s: %.2f\n", bitmapLong / bitmapShort);
    }
    return true;
}

// The 60-minute file again, as a stored entry of a pak named the way the host names it: mounting
// on its own, then the entry points (the first identify mounts; the archive then stays mounted for
// the following calls on the same archive). False when the pak cannot be written or its entry
// cannot be mounted, identified or drawn.
bool benchPakEntry(PlatformFakes& fakes, const std::string& folder, int runs, double bitmapLong) {
    const std::uint32_t fillers = 4095;
    const std::string pak = folder + "\\bank.pak";
    if (!writePak(pak, fillers, "drums/long.wav", 3600)) {
        std::fprintf(stderr, "wave_bench: cannot write %s\n", pak.c_str());
        DeleteFileA(pak.c_str());
        return false;
    }
    std::vector<double> mountTimes;
    PlatformLog mountCalls;
    bool mounted = true;
    for (int i = 0; i < runs && mounted; ++i) {
        startCounting(fakes);
        const double start = nowMs();
        mounted = MountArchive(pak.c_str());
        mountTimes.push_back(nowMs() - start);
        mountCalls = fakes.log();
        UnmountArchive();
    }
    const double mountMs = median(mountTimes);
    Result result{};
    const bool measured = mounted && measure(fakes, pak + "\\drums\\long.wav", runs, result);
    if (!measured) {
        std::fprintf(stderr, "wave_bench: the entry of %s was not mounted, identified or drawn\n", pak.c_str());
    } else {
        std::printf("pak     mount, %u entries %9.3f ms ", fillers + 1, mountMs);
        printCounts(mountCalls);
        std::printf("pak     DVP_IdentifyFileA %9.3f ms ", result.identifyMs);
        printCounts(result.identifyCalls);
        std::printf("pak     DVP_LoadBitmapA   %9.3f ms ", result.bitmapMs);
        printCounts(result.bitmapCalls);
        if (bitmapLong > 0.0) {
            std::printf("picture of 60 min in a pak / loose: %.2f\n", result.bitmapMs / bitmapLong);
        }
    }
    // A loose name drops the archive, so that its file can be deleted.
    measure(fakes, folder + "\\none.wav", 1, result);
    DeleteFileA(pak.c_str());
    return measured;
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 11;
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
    PlatformFakes fakes;
    std::printf("%s-bit build, 16-bit stereo 44.1 kHz, picture 800 x 600, median of %d runs\n",
                sizeof(void*) == 4 ? "32" : "64", runs);
    double bitmapLong = 0.0;
    const bool done = benchLooseFiles(fakes, folder, runs, bitmapLong) && benchPakEntry(fakes, folder, runs, bitmapLong);
    RemoveDirectoryA(folder.c_str());
    return done ? 0 : 1;
}
