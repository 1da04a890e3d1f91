// Recording platform fakes and the all-category fault registry of the wave tests.
#include "WaveTestSupport.h"

#include <new>

#include "core/Utils/Platform.h"
#include "core/fileio/DiskFile.h"
#include "wave/WaveRenderer.h"
#include "wave/WaveScanner.h"

namespace wavetest {

bool scan(FileInfoRecord* info, const char* name, void* abortEvent) {
    DiskFile file(false);
    return scanWaveFile(file, info, name, abortEvent);
}

void* render(const char* name, const FileInfoRecord* info, const ImageSizeRecord* size, void* abortEvent) {
    DiskFile file(false);
    return renderWaveform(file, nullptr, name, info, size, abortEvent);
}

namespace {

PlatformLog current;
PlatformCalls real;

HANDLE WINAPI fakeCreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                              DWORD flags, HANDLE templateFile) {
    ++current.createFileCalls;
    return real.CreateFileA(name, access, share, security, disposition, flags, templateFile);
}

BOOL WINAPI fakeReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD got, LPOVERLAPPED overlapped) {
    const std::int32_t call = current.readFileCalls++;
    if (current.readFileFailFrom >= 0 && call >= current.readFileFailFrom) {
        if (got != nullptr) {
            *got = 0;
        }
        return FALSE;
    }
    return real.ReadFile(file, buffer, count, got, overlapped);
}

DWORD WINAPI fakeSetFilePointer(HANDLE file, LONG distance, PLONG high, DWORD method) {
    if (method == FILE_BEGIN && current.recordContent) {
        current.seekTargets.push_back(static_cast<std::uint32_t>(distance));
    }
    return real.SetFilePointer(file, distance, high, method);
}

DWORD WINAPI fakeWaitForSingleObject(HANDLE event, DWORD timeout) {
    const std::int32_t call = current.waitCalls++;
    if (current.signalAtWait >= 0 && call >= current.signalAtWait) {
        return WAIT_OBJECT_0;
    }
    return real.WaitForSingleObject(event, timeout);
}

HDC WINAPI fakeGetDC(HWND) {
    ++current.getDcCalls;
    return current.noDeviceContext ? nullptr : reinterpret_cast<HDC>(static_cast<std::uintptr_t>(0xDC00));
}

int WINAPI fakeReleaseDC(HWND, HDC) {
    ++current.releaseDcCalls;
    return 1;
}

HBITMAP WINAPI fakeCreateDIBitmap(HDC, const BITMAPINFOHEADER* header, DWORD, const void* bits, const BITMAPINFO*, UINT) {
    ++current.bitmapCalls;
    current.header = *header;
    if (!current.recordContent) {
        return current.bitmapFails ? nullptr : reinterpret_cast<HBITMAP>(static_cast<std::uintptr_t>(0xB17));
    }
    const std::uint32_t* pixels = static_cast<const std::uint32_t*>(bits);
    const std::size_t count = static_cast<std::size_t>(header->biWidth) * static_cast<std::size_t>(header->biHeight);
    current.pixels.assign(pixels, pixels + count);
    return current.bitmapFails ? nullptr : reinterpret_cast<HBITMAP>(static_cast<std::uintptr_t>(0xB17));
}

} // namespace

PlatformFakes::PlatformFakes() {
    restoreDefaultPlatform();
    real = platform();
    current = PlatformLog{};
    platform().CreateFileA = fakeCreateFileA;
    platform().ReadFile = fakeReadFile;
    platform().SetFilePointer = fakeSetFilePointer;
    platform().WaitForSingleObject = fakeWaitForSingleObject;
    platform().GetDC = fakeGetDC;
    platform().ReleaseDC = fakeReleaseDC;
    platform().CreateDIBitmap = fakeCreateDIBitmap;
}

PlatformFakes::~PlatformFakes() { restoreDefaultPlatform(); }

PlatformLog& PlatformFakes::log() { return current; }

std::uint32_t PlatformFakes::pixel(std::int32_t row, std::int32_t x) const {
    return current.pixels[static_cast<std::size_t>(row) * static_cast<std::size_t>(current.header.biWidth) +
                          static_cast<std::size_t>(x)];
}

std::vector<std::int32_t> PlatformFakes::rows(std::int32_t x, std::uint32_t colour) const {
    std::vector<std::int32_t> found;
    for (std::int32_t r = 0; r < current.header.biHeight; ++r) {
        if (pixel(r, x) == colour) {
            found.push_back(r);
        }
    }
    return found;
}

std::vector<std::int32_t> span(std::int32_t from, std::int32_t to) {
    std::vector<std::int32_t> rows;
    for (std::int32_t r = from; r <= to; ++r) {
        rows.push_back(r);
    }
    return rows;
}

} // namespace wavetest
