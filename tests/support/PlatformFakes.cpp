// The recording, failure-injecting platform table.
#include "support/PlatformFakes.h"

#include <algorithm>
#include <cstring>

#include "core/Utils/Platform.h"
#include "support/PlatformFailures.h"

namespace {

PlatformLog current;
PlatformCalls real;

// Counts a CreateFileA or CreateFileW call and the handle it gave.
HANDLE countOpen(HANDLE handle) {
    ++current.createFileCalls;
    current.openHandles += handle != INVALID_HANDLE_VALUE ? 1 : 0;
    return handle;
}

HANDLE WINAPI fakeCreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                              DWORD flags, HANDLE templateFile) {
    return countOpen(real.CreateFileA(name, access, share, security, disposition, flags, templateFile));
}

HANDLE WINAPI fakeCreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                              DWORD flags, HANDLE templateFile) {
    return countOpen(real.CreateFileW(name, access, share, security, disposition, flags, templateFile));
}

BOOL WINAPI fakeReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD got, LPOVERLAPPED overlapped) {
    const std::int32_t call = current.readFileCalls++;
    if (current.readFileFailFrom >= 0 && call >= current.readFileFailFrom) {
        if (got != nullptr) {
            *got = 0;
        }
        return platformFailures::readFile.fail();
    }
    if (current.readLimit >= 0) {
        count = std::min(count, static_cast<DWORD>(current.readLimit));
    }
    return real.ReadFile(file, buffer, count, got, overlapped);
}

BOOL WINAPI fakeWriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written, LPOVERLAPPED overlapped) {
    const std::int32_t call = current.writeFileCalls++;
    if (current.writeFails || call == current.writeFailAt) {
        if (written != nullptr) {
            *written = 0;
        }
        return platformFailures::writeFile.fail();
    }
    if (current.shortWrites && count > 1) {
        count -= 1;
    }
    return real.WriteFile(file, buffer, count, written, overlapped);
}

DWORD WINAPI fakeSetFilePointer(HANDLE file, LONG distance, PLONG high, DWORD method) {
    ++current.setFilePointerCalls;
    if (current.seekFails) {
        return platformFailures::setFilePointer.fail();
    }
    if (method == FILE_BEGIN && current.recordContent) {
        current.seekTargets.push_back(static_cast<std::uint32_t>(distance));
    }
    return real.SetFilePointer(file, distance, high, method);
}

DWORD WINAPI fakeGetFileSize(HANDLE file, LPDWORD high) {
    ++current.getFileSizeCalls;
    if (current.sizeFails) {
        return platformFailures::getFileSize.fail();
    }
    return real.GetFileSize(file, high);
}

BOOL WINAPI fakeFindNextFileA(HANDLE search, LPWIN32_FIND_DATAA found) {
    const std::int32_t call = current.findNextCalls++;
    if (current.findNextFailsFrom >= 0 && call >= current.findNextFailsFrom) {
        return platformFailures::findNextFile.fail();
    }
    return real.FindNextFileA(search, found);
}

BOOL WINAPI fakeCloseHandle(HANDLE handle) {
    ++current.closeHandleCalls;
    const BOOL closed = real.CloseHandle(handle);
    current.openHandles -= closed ? 1 : 0;
    return closed;
}

DWORD WINAPI fakeGetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
    if (current.modulePath == nullptr) {
        return real.GetModuleFileNameA(module, buffer, size);
    }
    const DWORD length = static_cast<DWORD>(std::strlen(current.modulePath));
    const DWORD copied = std::min(length, size);
    std::memcpy(buffer, current.modulePath, copied);
    if (copied < size) {
        buffer[copied] = '\0';
    }
    return copied; // a cut path answers the buffer's size, unterminated (as older systems do)
}

DWORD WINAPI fakeWaitForSingleObject(HANDLE event, DWORD timeout) {
    const std::int32_t call = current.waitCalls++;
    if (current.signalAtWait >= 0 && call >= current.signalAtWait) {
        return WAIT_OBJECT_0;
    }
    return real.WaitForSingleObject(event, timeout);
}

HDC WINAPI fakeGetDC(HWND window) {
    ++current.getDcCalls;
    if (!current.captureBitmaps) {
        return real.GetDC(window);
    }
    return current.noDeviceContext ? nullptr : reinterpret_cast<HDC>(static_cast<std::uintptr_t>(0xDC00));
}

int WINAPI fakeReleaseDC(HWND window, HDC context) {
    ++current.releaseDcCalls;
    if (!current.captureBitmaps) {
        return real.ReleaseDC(window, context);
    }
    return 1;
}

HBITMAP WINAPI fakeCreateDIBitmap(HDC context, const BITMAPINFOHEADER* header, DWORD init, const void* bits,
                                  const BITMAPINFO* info, UINT usage) {
    ++current.bitmapCalls;
    if (!current.captureBitmaps) {
        return real.CreateDIBitmap(context, header, init, bits, info, usage);
    }
    current.header = *header;
    if (current.recordContent) {
        const std::uint32_t* pixels = static_cast<const std::uint32_t*>(bits);
        const std::size_t count = static_cast<std::size_t>(header->biWidth) * static_cast<std::size_t>(header->biHeight);
        current.pixels.assign(pixels, pixels + count);
    }
    return current.bitmapFails ? nullptr : reinterpret_cast<HBITMAP>(static_cast<std::uintptr_t>(0xB17));
}

} // namespace

PlatformFakes::PlatformFakes() {
    restoreDefaultPlatform();
    real = platform();
    current = PlatformLog{};
    platform().CreateFileA = fakeCreateFileA;
    platform().CreateFileW = fakeCreateFileW;
    platform().ReadFile = fakeReadFile;
    platform().WriteFile = fakeWriteFile;
    platform().SetFilePointer = fakeSetFilePointer;
    platform().GetFileSize = fakeGetFileSize;
    platform().CloseHandle = fakeCloseHandle;
    platform().FindNextFileA = fakeFindNextFileA;
    platform().GetModuleFileNameA = fakeGetModuleFileNameA;
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
