// The preview tool: loads sonolook.dll of its own width (32 or 64 bits) exactly as the host does, identifies a WAV file through
// DVP_IdentifyFileA, asks DVP_LoadBitmapA for its picture with the same record, and writes the
// picture as a PNG. With no file it makes a short sample recording (a decaying chirp) and previews
// that.
//   preview [file.wav [WIDTHxHEIGHT [out.png]]]
// file.wav may also name a file inside a pak archive, as the host does: bank.pak\drums\kick.wav.
// Exit codes: 0 done; 1 the plugin cannot be loaded; 2 bad arguments or no such file; 3 not RIFF
// WAVE audio; 4 described but no picture; 5 the PNG cannot be written.
#include <windows.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <stb_image_write.h>

#include "tests/support/WavWriter.h"
#include "tools/host/HostPlugin.h"

namespace {

// Three seconds of 16-bit mono at 22050 Hz: a chirp from 110 Hz to 1760 Hz in three notes, each
// struck and decaying, so that the picture shows the envelopes.
bool writeSample(const std::string& path) {
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
    return writeFileBytes(path, WavWriter().pcm(1, rate, 16).data(samples16(values)).bytes());
}

// The folder of this program, with a trailing backslash.
std::string programFolder() {
    char path[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    const std::size_t slash = folder.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
}

// The path as the user will look for it: the full Windows path, and under wine the host's own path.
std::string shownPath(const std::string& path) {
    char full[MAX_PATH + 1] = {};
    const DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    std::string shown = (length > 0 && length <= MAX_PATH) ? std::string(full) : path;
    typedef char*(__cdecl * UnixNameFn)(LPCWSTR);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    UnixNameFn unixName = reinterpret_cast<UnixNameFn>(
        reinterpret_cast<void*>(kernel != nullptr ? GetProcAddress(kernel, "wine_get_unix_file_name") : nullptr));
    if (unixName != nullptr) {
        wchar_t wide[MAX_PATH + 1] = {};
        if (MultiByteToWideChar(CP_ACP, 0, shown.c_str(), -1, wide, MAX_PATH) > 0) {
            char* hostPath = unixName(wide);
            if (hostPath != nullptr) {
                shown = hostPath;
                HeapFree(GetProcessHeap(), 0, hostPath);
            }
        }
    }
    return shown;
}

std::string pngPathFor(const std::string& wavPath) {
    const std::size_t slash = wavPath.find_last_of("\\/");
    const std::size_t dot = wavPath.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
        return wavPath.substr(0, dot) + ".png";
    }
    return wavPath + ".png";
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

// Reads a bitmap back as top-down RGB rows and writes it as a PNG.
bool writePng(HBITMAP bitmap, const std::string& path, int& width, int& height) {
    BITMAP shape{};
    if (GetObjectA(bitmap, sizeof shape, &shape) == 0) {
        return false;
    }
    width = shape.bmWidth;
    height = shape.bmHeight;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down, as PNG rows run
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    std::vector<std::uint32_t> pixels(count);
    HDC screen = GetDC(nullptr);
    const int rows = GetDIBits(screen, bitmap, 0, static_cast<UINT>(height), pixels.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    if (rows != height) {
        return false;
    }
    std::vector<std::uint8_t> rgb(count * 3);
    for (std::size_t i = 0; i < count; ++i) {
        rgb[3 * i + 0] = static_cast<std::uint8_t>((pixels[i] >> 16) & 0xFF);
        rgb[3 * i + 1] = static_cast<std::uint8_t>((pixels[i] >> 8) & 0xFF);
        rgb[3 * i + 2] = static_cast<std::uint8_t>(pixels[i] & 0xFF);
    }
    return stbi_write_png(path.c_str(), width, height, 3, rgb.data(), width * 3) != 0;
}

// Whether the name is a file on the disk, or lies in a ".pak" file that is: what is inside the
// archive only the plugin can tell.
bool nameExists(const std::string& path) {
    if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
        return true;
    }
    const std::size_t dot = path.find(".pak");
    if (dot == std::string::npos || dot + 4 >= path.size() || (path[dot + 4] != '\\' && path[dot + 4] != '/')) {
        return false;
    }
    return GetFileAttributesA(path.substr(0, dot + 4).c_str()) != INVALID_FILE_ATTRIBUTES;
}

int preview(HostPlugin& plugin, const std::string& wavPath, const ImageSizeRecord* size, const std::string& pngPath) {
    const char* name = wavPath.c_str();
    if (!nameExists(wavPath)) {
        std::fprintf(stderr, "preview: %s: no such file\n", name);
        return 2;
    }
    char description[128] = {};
    FileInfoRecord info{};
    info.description = description;
    info.descriptionCapacity = sizeof description;
    std::vector<char> path(wavPath.begin(), wavPath.end());
    path.push_back('\0');
    if (!plugin.identifyFile(nullptr, path.data(), &info, nullptr)) {
        std::fprintf(stderr, "preview: %s: not RIFF WAVE audio (the plugin does not identify it)\n", name);
        return 3;
    }
    const WavePrivateArea& area = info.privateArea;
    std::printf("File:          %s\n", name);
    std::printf("Description:   %s\n", description);
    std::printf("isPcm %ld, channelCount %ld, sampleRate %ld, frameCount %lu, dataOffset %lu, bytesPerFrame %ld, "
                "bitsPerSample %ld\n",
                static_cast<long>(area.isPcm), static_cast<long>(area.channelCount), static_cast<long>(area.sampleRate),
                static_cast<unsigned long>(area.frameCount), static_cast<unsigned long>(area.dataOffset),
                static_cast<long>(area.bytesPerFrame), static_cast<long>(area.bitsPerSample));
    HBITMAP bitmap = plugin.loadBitmap(nullptr, path.data(), &info, const_cast<ImageSizeRecord*>(size), nullptr);
    if (bitmap == nullptr) {
        if (area.isPcm == 0) {
            std::fprintf(stderr, "preview: %s: described, but not PCM: the plugin draws no picture for it\n", name);
        } else {
            std::fprintf(stderr, "preview: %s: described, but the plugin drew no picture (no sample data to draw)\n", name);
        }
        return 4;
    }
    int width = 0;
    int height = 0;
    const bool written = writePng(bitmap, pngPath, width, height);
    DeleteObject(bitmap);
    if (!written) {
        std::fprintf(stderr, "preview: %s: the picture could not be written\n", pngPath.c_str());
        return 5;
    }
    std::printf("Picture:       %d x %d, written to %s\n", width, height, shownPath(pngPath).c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 4 || (argc > 1 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0))) {
        std::fprintf(stderr, "usage: preview [file.wav [WIDTHxHEIGHT [out.png]]]\n");
        return 2;
    }
    ImageSizeRecord size{};
    const ImageSizeRecord* wanted = nullptr;
    if (argc > 2) {
        if (!parseSize(argv[2], size)) {
            std::fprintf(stderr, "preview: %s: not a picture size such as 800x600\n", argv[2]);
            return 2;
        }
        wanted = &size;
    }
    HostPlugin plugin;
    if (!plugin.loaded()) {
        std::fprintf(stderr, "preview: sonolook.dll: %s\n", plugin.errorText());
        return 1;
    }
    plugin.init();
    char pluginName[64] = {};
    PluginInfoRecord identity{};
    identity.displayName = pluginName;
    identity.displayNameCapacity = sizeof pluginName;
    plugin.identify(&identity);
    std::printf("Plugin:        %s %u.%u.%u.%u\n", pluginName, identity.versionHigh >> 16, identity.versionHigh & 0xFFFFu,
                identity.versionLow >> 16, identity.versionLow & 0xFFFFu);
    // A process loads DLLs of its own width only, so this tool's width is the DLL's.
    char dllPath[MAX_PATH + 1] = {};
    const DWORD dllPathLength = GetModuleFileNameA(plugin.handle(), dllPath, MAX_PATH);
    std::printf("DLL:           %s, %s\n", sizeof(void*) == 8 ? "64-bit (for 64-bit hosts)" : "32-bit (for 32-bit hosts)",
                shownPath(std::string(dllPath, dllPathLength)).c_str());

    std::string wavPath;
    if (argc > 1) {
        wavPath = argv[1];
    } else {
        wavPath = programFolder() + "sonolook-sample.wav";
        if (!writeSample(wavPath)) {
            std::fprintf(stderr, "preview: %s: the sample recording could not be written\n", wavPath.c_str());
            plugin.uninit();
            return 5;
        }
        std::printf("No file given: made a sample recording, %s\n", shownPath(wavPath).c_str());
    }
    const std::string pngPath = argc > 3 ? std::string(argv[3]) : pngPathFor(wavPath);
    const int result = preview(plugin, wavPath, wanted, pngPath);
    plugin.uninit();
    return result;
}
