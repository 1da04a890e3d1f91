// Default entries of the platform table: the real Windows functions.
#include "core/Utils/Platform.h"

namespace {

PlatformCalls defaultCalls() {
    PlatformCalls calls{};
    calls.CreateFileA = ::CreateFileA;
    calls.ReadFile = ::ReadFile;
    calls.WriteFile = ::WriteFile;
    calls.SetFilePointer = ::SetFilePointer;
    calls.GetFileSize = ::GetFileSize;
    calls.GetLastError = ::GetLastError;
    calls.CloseHandle = ::CloseHandle;
    calls.DeleteFileA = ::DeleteFileA;
    calls.FindFirstFileA = ::FindFirstFileA;
    calls.FindNextFileA = ::FindNextFileA;
    calls.FindClose = ::FindClose;
    calls.GetModuleFileNameA = ::GetModuleFileNameA;
    calls.CreateFileW = ::CreateFileW;
    calls.GetFullPathNameW = ::GetFullPathNameW;
    calls.MultiByteToWideChar = ::MultiByteToWideChar;
    calls.WideCharToMultiByte = ::WideCharToMultiByte;
    calls.lstrcpynA = ::lstrcpynA;
    calls.WaitForSingleObject = ::WaitForSingleObject;
    calls.wsprintfA = ::wsprintfA;
    calls.GetDC = ::GetDC;
    calls.ReleaseDC = ::ReleaseDC;
    calls.CreateDIBitmap = ::CreateDIBitmap;
    calls.OutputDebugStringA = ::OutputDebugStringA;
    calls.GetStdHandle = ::GetStdHandle;
    calls.SetConsoleTextAttribute = ::SetConsoleTextAttribute;
    return calls;
}

PlatformCalls table = defaultCalls();

} // namespace

PlatformCalls& platform() { return table; }

void restoreDefaultPlatform() { table = defaultCalls(); }
