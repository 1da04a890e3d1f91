// The preview tool: loads sonolook.dll of its own width (32 or 64 bits) exactly as the host does,
// identifies a WAV file, asks for its picture with the same record, and writes the picture as a
// PNG. By default it calls the wide entry points (DVP_IdentifyFileW, DVP_LoadBitmapW), as a Unicode
// host does, so any file name works; --ansi calls the 8-bit ones (DVP_IdentifyFileA,
// DVP_LoadBitmapA) with the name in the ANSI code page, as an older host does. With no file it
// makes a short sample recording (a decaying chirp) and previews that.
//   preview [--ansi] [file.wav [WIDTHxHEIGHT [out.png]]]
// file.wav may also name a file inside a pak archive, as the host does: bank.pak\drums\kick.wav.
// Exit codes: 0 done; 1 the plugin cannot be loaded; 2 bad arguments or no such file; 3 not RIFF
// WAVE audio (or, with --ansi, a name the 8-bit forms cannot open); 4 described but no picture;
// 5 the PNG cannot be written.
#include <windows.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include <stb_image_write.h>

#include "host/BitmapPixels.h"
#include "host/HostPlugin.h"
#include "tests/support/WavWriter.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// The name as UTF-8, for the terminal: wine hands a Linux program's output on as it is.
std::string utf8Of(const std::wstring& text) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) {
        return std::string();
    }
    std::string out(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], bytes, nullptr, nullptr);
    out.resize(static_cast<std::size_t>(bytes - 1));
    return out;
}

bool writeWide(const std::wstring& path, const Bytes& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    return CloseHandle(file) && ok && written == bytes.size();
}

// Three seconds of 16-bit mono at 22050 Hz: a chirp from 110 Hz to 1760 Hz in three notes, each
// struck and decaying, so that the picture shows the envelopes.
bool writeSample(const std::wstring& path) {
    const std::uint32_t rate = 22050;
    const std::uint32_t frames = rate * 3;
    std::vector<std::int16_t> values;
    const double pi = 3.14159265358979323846;
    double phase = 0.0;
    for (std::uint32_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double noteTime = std::fmod(t, 1.0);
        const double frequency = 110.0 * std::pow(16.0, t / 3.0);
        phase += 2.0 * pi * frequency / rate;
        const double envelope = 0.9 * std::exp(-3.5 * noteTime) * std::min(1.0, noteTime * 200.0);
        const double value = envelope * std::sin(phase);
        values.push_back(static_cast<std::int16_t>(std::lround(value * 32767.0)));
    }
    return writeWide(path, WavWriter().pcm(1, rate, 16).data(samples16(values)).bytes());
}


// The folder of this program, with a trailing backslash.
std::wstring programFolder() {
    std::vector<wchar_t> path(32768);
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    const std::wstring folder(path.data(), length < path.size() ? length : 0);
    const std::size_t slash = folder.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash + 1);
}

// The path as the user will look for it: the full Windows path, and under wine the host's own path.
std::string shownPath(const std::wstring& path) {
    std::wstring shown = path;
    const DWORD length = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (length > 0) {
        std::vector<wchar_t> full(length);
        if (GetFullPathNameW(path.c_str(), length, full.data(), nullptr) < length) {
            shown = full.data();
        }
    }
    typedef char*(__cdecl * UnixNameFn)(LPCWSTR);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    UnixNameFn unixName = reinterpret_cast<UnixNameFn>(
        reinterpret_cast<void*>(kernel != nullptr ? GetProcAddress(kernel, "wine_get_unix_file_name") : nullptr));
    if (unixName != nullptr) {
        if (char* hostPath = unixName(shown.c_str())) {
            const std::string unixPath = hostPath;
            HeapFree(GetProcessHeap(), 0, hostPath);
            return unixPath;
        }
    }
    return utf8Of(shown);
}

std::wstring pngPathFor(const std::wstring& wavPath) {
    const std::size_t slash = wavPath.find_last_of(L"\\/");
    const std::size_t dot = wavPath.find_last_of(L'.');
    if (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash)) {
        return wavPath.substr(0, dot) + L".png";
    }
    return wavPath + L".png";
}

bool parseSize(const char* text, ImageSizeRecord& size) {
    int width = 0;
    int height = 0;
    char rest = '\0';
    if (std::sscanf(text, "%dx%d%c", &width, &height, &rest) != 2 || width < 1 || height < 2 || width > 16384 ||
        height > 16384) {
        return false;
    }
    size.width = width;
    size.height = height;
    return true;
}


void appendBytes(void* context, void* data, int size) {
    const std::uint8_t* bytes = static_cast<const std::uint8_t*>(data);
    static_cast<Bytes*>(context)->insert(static_cast<Bytes*>(context)->end(), bytes, bytes + size);
}

// Reads a bitmap back and writes it as a PNG (top-down RGB rows), by a wide path.
bool writePng(HBITMAP bitmap, const std::wstring& path, LONG& width, LONG& height) {
    const std::vector<std::uint32_t> pixels = readBack(bitmap, width, height);
    if (pixels.empty()) {
        return false;
    }
    const std::size_t columns = static_cast<std::size_t>(width);
    const std::size_t rows = static_cast<std::size_t>(height);
    Bytes rgb(columns * rows * 3);
    for (std::size_t y = 0; y < rows; ++y) {
        for (std::size_t x = 0; x < columns; ++x) {
            // readBack's row 0 is the bottom one.
            const std::uint32_t pixel = pixels[(rows - 1 - y) * columns + x];
            std::uint8_t* out = &rgb[3 * (y * columns + x)];
            out[0] = static_cast<std::uint8_t>((pixel >> 16) & 0xFF);
            out[1] = static_cast<std::uint8_t>((pixel >> 8) & 0xFF);
            out[2] = static_cast<std::uint8_t>(pixel & 0xFF);
        }
    }
    Bytes png;
    return stbi_write_png_to_func(appendBytes, &png, static_cast<int>(width), static_cast<int>(height), 3, rgb.data(),
                                  static_cast<int>(width) * 3) != 0 &&
           writeWide(path, png);
}

// Whether the name is a file on the disk, or lies in a ".pak" file that is: what is inside the
// archive only the plugin can tell.
bool nameExists(const std::wstring& path) {
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
        return true;
    }
    const std::size_t dot = path.find(L".pak");
    if (dot == std::wstring::npos || dot + 4 >= path.size() || (path[dot + 4] != L'\\' && path[dot + 4] != L'/')) {
        return false;
    }
    return GetFileAttributesW(path.substr(0, dot + 4).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// One identify and draw, through the wide or the 8-bit forms: the records differ only in the
// description's characters.
struct Answer {
    bool identified = false;
    std::string description;
    WavePrivateArea area{};
    HBITMAP bitmap = nullptr;
};

Answer askWide(const std::wstring& name, const ImageSizeRecord* size) {
    Answer answer;
    wchar_t description[128] = {};
    FileInfoRecordW info{};
    info.description = description;
    info.descriptionCapacity = 128;
    std::vector<wchar_t> path(name.begin(), name.end());
    path.push_back(L'\0');
    answer.identified = plugin().identifyFileW(nullptr, path.data(), &info, nullptr) != FALSE;
    if (answer.identified) {
        answer.description = utf8Of(description);
        answer.area = info.privateArea;
        answer.bitmap = plugin().loadBitmapW(nullptr, path.data(), &info, const_cast<ImageSizeRecord*>(size), nullptr);
    }
    return answer;
}

Answer askAnsi(std::string name, const ImageSizeRecord* size) {
    Answer answer;
    char description[128] = {};
    FileInfoRecord info{};
    info.description = description;
    info.descriptionCapacity = sizeof description;
    answer.identified = plugin().identifyFile(nullptr, &name[0], &info, nullptr) != FALSE;
    if (answer.identified) {
        answer.description = description;
        answer.area = info.privateArea;
        answer.bitmap = plugin().loadBitmap(nullptr, &name[0], &info, const_cast<ImageSizeRecord*>(size), nullptr);
    }
    return answer;
}

// The name as a host converts it for the 8-bit forms (the ANSI code page, best fit and '?' for
// what it lacks); lossy tells whether a character did not convert as it is.
std::string ansiNameOf(const std::wstring& name, bool& lossy) {
    BOOL usedDefault = FALSE;
    const int bytes = WideCharToMultiByte(CP_ACP, 0, name.c_str(), -1, nullptr, 0, nullptr, &usedDefault);
    std::string ansi(static_cast<std::size_t>(bytes > 0 ? bytes : 1), '\0');
    WideCharToMultiByte(CP_ACP, 0, name.c_str(), -1, &ansi[0], bytes, nullptr, &usedDefault);
    ansi.resize(ansi.size() - 1);
    // A best-fit conversion sets no flag: the name is lossy when it does not convert back.
    const int units = MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, nullptr, 0);
    std::wstring back(static_cast<std::size_t>(units > 0 ? units : 1), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, &back[0], units);
    back.resize(back.size() - 1);
    lossy = usedDefault != FALSE || back != name;
    return ansi;
}

int preview(const std::wstring& wavPath, bool ansiForms, const ImageSizeRecord* size, const std::wstring& pngPath) {
    const std::string shownName = utf8Of(wavPath);
    const char* name = shownName.c_str();
    if (!nameExists(wavPath)) {
        std::fprintf(stderr, "preview: %s: no such file\n", name);
        return 2;
    }
    Answer answer;
    if (ansiForms) {
        bool lossy = false;
        const std::string ansiName = ansiNameOf(wavPath, lossy);
        std::printf("Entry points:  DVP_IdentifyFileA, DVP_LoadBitmapA (8-bit), the name in ANSI code page %u\n",
                    GetACP());
        answer = askAnsi(ansiName, size);
        if (!answer.identified && lossy) {
            std::fprintf(stderr,
                         "preview: %s: refused by DVP_IdentifyFileA: code page %u has no form of some of the name's "
                         "characters, so the 8-bit forms get \"%s\", which names no file (the wide forms open it; "
                         "run without --ansi)\n",
                         name, GetACP(), utf8Of(std::wstring(ansiName.begin(), ansiName.end())).c_str());
            return 3;
        }
    } else {
        std::printf("Entry points:  DVP_IdentifyFileW, DVP_LoadBitmapW (wide), the name in UTF-16\n");
        answer = askWide(wavPath, size);
    }
    if (!answer.identified) {
        std::fprintf(stderr, "preview: %s: not RIFF WAVE audio (the plugin does not identify it)\n", name);
        return 3;
    }
    const WavePrivateArea& area = answer.area;
    std::printf("File:          %s\n", name);
    std::printf("Description:   %s\n", answer.description.c_str());
    std::printf("isPcm %ld, channelCount %ld, sampleRate %ld, frameCount %lu, dataOffset %lu, bytesPerFrame %ld, "
                "bitsPerSample %ld\n",
                static_cast<long>(area.isPcm), static_cast<long>(area.channelCount), static_cast<long>(area.sampleRate),
                static_cast<unsigned long>(area.frameCount), static_cast<unsigned long>(area.dataOffset),
                static_cast<long>(area.bytesPerFrame), static_cast<long>(area.bitsPerSample));
    if (answer.bitmap == nullptr) {
        if (area.isPcm == 0) {
            std::fprintf(stderr, "preview: %s: described, but not PCM: the plugin draws no picture for it\n", name);
        } else {
            std::fprintf(stderr, "preview: %s: described, but the plugin drew no picture (no sample data to draw)\n", name);
        }
        return 4;
    }
    LONG width = 0;
    LONG height = 0;
    const bool written = writePng(answer.bitmap, pngPath, width, height);
    DeleteObject(answer.bitmap);
    if (!written) {
        std::fprintf(stderr, "preview: %s: the picture could not be written\n", utf8Of(pngPath).c_str());
        return 5;
    }
    std::printf("Picture:       %ld x %ld, written to %s\n", static_cast<long>(width), static_cast<long>(height),
                shownPath(pngPath).c_str());
    return 0;
}

} // namespace

// wmain: wine hands the Linux command line's UTF-8 names over as UTF-16, whatever the code page.
int wmain(int argc, wchar_t** argv) {
    bool ansiForms = false;
    if (argc > 1 && std::wcscmp(argv[1], L"--ansi") == 0) {
        ansiForms = true;
        --argc;
        ++argv;
    }
    if (argc > 4 || (argc > 1 && (std::wcscmp(argv[1], L"-h") == 0 || std::wcscmp(argv[1], L"--help") == 0))) {
        std::fprintf(stderr, "usage: preview [--ansi] [file.wav [WIDTHxHEIGHT [out.png]]]\n");
        return 2;
    }
    ImageSizeRecord size{};
    const ImageSizeRecord* wanted = nullptr;
    if (argc > 2) {
        const std::string sizeText = utf8Of(argv[2]);
        if (!parseSize(sizeText.c_str(), size)) {
            std::fprintf(stderr, "preview: %s: not a picture size such as 800x600\n", sizeText.c_str());
            return 2;
        }
        wanted = &size;
    }
    if (!plugin().loaded()) {
        std::fprintf(stderr, "preview: sonolook.dll: %s\n", plugin().errorText());
        return 1;
    }
    plugin().init();
    wchar_t pluginName[64] = {};
    PluginInfoRecordW identity{};
    identity.displayName = pluginName;
    identity.displayNameCapacity = 64;
    plugin().identifyW(&identity);
    std::printf("Plugin:        %s %u.%u.%u.%u\n", utf8Of(pluginName).c_str(), identity.versionHigh >> 16,
                identity.versionHigh & 0xFFFFu, identity.versionLow >> 16, identity.versionLow & 0xFFFFu);
    // A process loads DLLs of its own width only, so this tool's width is the DLL's.
    std::vector<wchar_t> dllPath(32768);
    const DWORD dllPathLength = GetModuleFileNameW(plugin().handle(), dllPath.data(), static_cast<DWORD>(dllPath.size()));
    std::printf("DLL:           %s, %s\n", sizeof(void*) == 8 ? "64-bit (for 64-bit hosts)" : "32-bit (for 32-bit hosts)",
                shownPath(std::wstring(dllPath.data(), dllPathLength)).c_str());

    std::wstring wavPath;
    if (argc > 1) {
        wavPath = argv[1];
    } else {
        wavPath = programFolder() + L"sonolook-sample.wav";
        if (!writeSample(wavPath)) {
            std::fprintf(stderr, "preview: %s: the sample recording could not be written\n", utf8Of(wavPath).c_str());
            plugin().uninit();
            return 5;
        }
        std::printf("No file given: made a sample recording, %s\n", shownPath(wavPath).c_str());
    }
    const std::wstring pngPath = argc > 3 ? std::wstring(argv[3]) : pngPathFor(wavPath);
    const int result = preview(wavPath, ansiForms, wanted, pngPath);
    plugin().uninit();
    return result;
}
