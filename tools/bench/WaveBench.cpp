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
// table they call through can be wrapped in counters; the code is the DLL's code.
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

#include "core/Utils/Platform.h"
#include "core/fileio/PakArchive.h"
#include "plugin/EntryPoints.h"

namespace {

struct FileCallCounts {
    long createFile = 0;
    long readFile = 0;
    long setFilePointer = 0;
    long getFileSize = 0;
    long closeHandle = 0;
    long total() const { return createFile + readFile + setFilePointer + getFileSize + closeHandle; }
};

FileCallCounts counts;
PlatformCalls real;

HANDLE WINAPI countCreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                               DWORD flags, HANDLE templateFile) {
    ++counts.createFile;
    return real.CreateFileA(name, access, share, security, disposition, flags, templateFile);
}

BOOL WINAPI countReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD got, LPOVERLAPPED overlapped) {
    ++counts.readFile;
    return real.ReadFile(file, buffer, count, got, overlapped);
}

DWORD WINAPI countSetFilePointer(HANDLE file, LONG distance, PLONG high, DWORD method) {
    ++counts.setFilePointer;
    return real.SetFilePointer(file, distance, high, method);
}

DWORD WINAPI countGetFileSize(HANDLE file, LPDWORD high) {
    ++counts.getFileSize;
    return real.GetFileSize(file, high);
}

BOOL WINAPI countCloseHandle(HANDLE handle) {
    ++counts.closeHandle;
    return real.CloseHandle(handle);
}

double nowMs() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

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
    const std::uint32_t second = rate * 4;
    const std::uint32_t dataBytes = second * seconds;
    std::uint8_t header[waveHeaderBytes] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0, 2, 0};
    putU32(header + 4, 36 + dataBytes);
    putU32(header + 24, rate);
    putU32(header + 28, second);
    header[32] = 4;
    header[34] = 16;
    header[36] = 'd';
    header[37] = 'a';
    header[38] = 't';
    header[39] = 'a';
    putU32(header + 40, dataBytes);
    std::vector<std::uint8_t> block(second);
    for (std::uint32_t i = 0; i < rate; ++i) {
        const double value = 0.6 * std::sin(2.0 * 3.14159265358979 * 220.0 * i / rate) * (1.0 - static_cast<double>(i) / rate);
        const std::int16_t sample = static_cast<std::int16_t>(std::lround(value * 32767.0));
        const std::uint16_t bits = static_cast<std::uint16_t>(sample);
        for (std::uint32_t channel = 0; channel < 2; ++channel) {
            block[4 * i + 2 * channel] = static_cast<std::uint8_t>(bits & 0xFF);
            block[4 * i + 2 * channel + 1] = static_cast<std::uint8_t>(bits >> 8);
        }
    }
    bool written = std::fwrite(header, 1, sizeof header, file) == sizeof header;
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
    FileCallCounts identifyCalls;
    double bitmapMs;
    FileCallCounts bitmapCalls;
};

bool measure(const std::string& path, int runs, Result& result) {
    std::vector<char> name(path.begin(), path.end());
    name.push_back('\0');
    std::vector<double> times;
    char description[128] = {};
    FileInfoRecord info{};
    for (int i = 0; i < runs; ++i) {
        info = FileInfoRecord{};
        info.description = description;
        info.descriptionCapacity = sizeof description;
        counts = FileCallCounts{};
        const double start = nowMs();
        const BOOL identified = DVP_IdentifyFileA(nullptr, name.data(), &info, nullptr);
        times.push_back(nowMs() - start);
        if (!identified) {
            return false;
        }
        result.identifyCalls = counts;
    }
    result.identifyMs = median(times);
    times.clear();
    ImageSizeRecord size{800, 600};
    for (int i = 0; i < runs; ++i) {
        counts = FileCallCounts{};
        const double start = nowMs();
        HBITMAP bitmap = DVP_LoadBitmapA(nullptr, name.data(), &info, &size, nullptr);
        times.push_back(nowMs() - start);
        if (bitmap == nullptr) {
            return false;
        }
        DeleteObject(bitmap);
        result.bitmapCalls = counts;
    }
    result.bitmapMs = median(times);
    return true;
}

void printCounts(const FileCallCounts& c) {
    std::printf("%5ld file calls (CreateFileA %ld, ReadFile %ld, SetFilePointer %ld, GetFileSize %ld, CloseHandle %ld)\n",
                c.total(), c.createFile, c.readFile, c.setFilePointer, c.getFileSize, c.closeHandle);
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
    real = platform();
    platform().CreateFileA = countCreateFileA;
    platform().ReadFile = countReadFile;
    platform().SetFilePointer = countSetFilePointer;
    platform().GetFileSize = countGetFileSize;
    platform().CloseHandle = countCloseHandle;

    struct Length {
        const char* label;
        std::uint32_t seconds;
    } lengths[] = {{"10 s", 10}, {"10 min", 600}, {"60 min", 3600}};
    std::printf("%s-bit build, 16-bit stereo 44.1 kHz, picture 800 x 600, median of %d runs\n",
                sizeof(void*) == 4 ? "32" : "64", runs);
    double bitmapShort = 0.0;
    double bitmapLong = 0.0;
    int status = 0;
    for (const Length& l : lengths) {
        const std::string path = folder + "\\bench-" + std::to_string(l.seconds) + "s.wav";
        if (!writeFile(path, l.seconds)) {
            std::fprintf(stderr, "wave_bench: cannot write %s\n", path.c_str());
            status = 1;
            break;
        }
        Result result{};
        if (!measure(path, runs, result)) {
            std::fprintf(stderr, "wave_bench: %s was not identified or drawn\n", path.c_str());
            DeleteFileA(path.c_str());
            status = 1;
            break;
        }
        DeleteFileA(path.c_str());
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
    if (status == 0 && bitmapShort > 0.0) {
        std::printf("picture of 60 min / picture of 10 s: %.2f\n", bitmapLong / bitmapShort);
    }

    // The 60-minute file again, as a stored entry of a pak named the way the host names it.
    const std::uint32_t fillers = 4095;
    const std::string pak = folder + "\\bank.pak";
    if (status == 0 && !writePak(pak, fillers, "drums/long.wav", 3600)) {
        std::fprintf(stderr, "wave_bench: cannot write %s\n", pak.c_str());
        status = 1;
    }
    if (status == 0) {
        // Mounting on its own, then the entry points (the first identify mounts; the archive then
        // stays mounted for the following calls on the same archive).
        std::vector<double> mountTimes;
        FileCallCounts mountCalls;
        bool mounted = true;
        for (int i = 0; i < runs && mounted; ++i) {
            counts = FileCallCounts{};
            const double start = nowMs();
            mounted = MountArchive(pak.c_str());
            mountTimes.push_back(nowMs() - start);
            mountCalls = counts;
            UnmountArchive();
        }
        const double mountMs = median(mountTimes);
        Result result{};
        if (!mounted || !measure(pak + "\\drums\\long.wav", runs, result)) {
            std::fprintf(stderr, "wave_bench: the entry of %s was not mounted, identified or drawn\n", pak.c_str());
            status = 1;
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
        measure(folder + "\\none.wav", 1, result);
    }
    DeleteFileA(pak.c_str());
    RemoveDirectoryA(folder.c_str());
    restoreDefaultPlatform();
    return status;
}
