// The table of every Windows call the system makes, with the real functions as defaults. Platform
// work goes through it so that tests can swap single entries to inject failures (an open that
// fails, a short read, a bitmap that cannot be made) and restore them afterwards. Only the few
// places whose job is platform work include this header: the disk backend and its name conversions,
// the entry points and their host texts, the abort-event poll, the renderer's bitmap step and the
// logger's sinks.
#pragma once

#include <windows.h>

struct PlatformCalls {
    // Files (the disk backend).
    HANDLE(WINAPI* CreateFileA)(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
    BOOL(WINAPI* ReadFile)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
    BOOL(WINAPI* WriteFile)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
    DWORD(WINAPI* SetFilePointer)(HANDLE, LONG, PLONG, DWORD);
    DWORD(WINAPI* GetFileSize)(HANDLE, LPDWORD);
    DWORD(WINAPI* GetLastError)();
    BOOL(WINAPI* CloseHandle)(HANDLE);
    BOOL(WINAPI* DeleteFileA)(LPCSTR);
    HANDLE(WINAPI* FindFirstFileA)(LPCSTR, LPWIN32_FIND_DATAA);
    BOOL(WINAPI* FindNextFileA)(HANDLE, LPWIN32_FIND_DATAA);
    BOOL(WINAPI* FindClose)(HANDLE);
    DWORD(WINAPI* GetModuleFileNameA)(HMODULE, LPSTR, DWORD);
    // Names that travel as UTF-8 (the host's wide names): the disk backend opens them by their
    // UTF-16 form, and the entry points and the archive lookup convert between the forms.
    HANDLE(WINAPI* CreateFileW)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
    DWORD(WINAPI* GetFullPathNameW)(LPCWSTR, DWORD, LPWSTR, LPWSTR*);
    int(WINAPI* MultiByteToWideChar)(UINT, DWORD, LPCSTR, int, LPWSTR, int);
    int(WINAPI* WideCharToMultiByte)(UINT, DWORD, LPCWSTR, int, LPSTR, int, LPCSTR, LPBOOL);
    // The plugin's identity strings (entry points).
    LPSTR(WINAPI* lstrcpynA)(LPSTR, LPCSTR, int);
    // Abort events (scanner and renderer).
    DWORD(WINAPI* WaitForSingleObject)(HANDLE, DWORD);
    // The file description (scanner).
    int(WINAPIV* wsprintfA)(LPSTR, LPCSTR, ...);
    // The picture handed to the host (renderer).
    HDC(WINAPI* GetDC)(HWND);
    int(WINAPI* ReleaseDC)(HWND, HDC);
    HBITMAP(WINAPI* CreateDIBitmap)(HDC, const BITMAPINFOHEADER*, DWORD, const void*, const BITMAPINFO*, UINT);
    // The logger's debugger sink and console colours.
    void(WINAPI* OutputDebugStringA)(LPCSTR);
    HANDLE(WINAPI* GetStdHandle)(DWORD);
    BOOL(WINAPI* SetConsoleTextAttribute)(HANDLE, WORD);
};

// The process-wide table. Entries are swapped only by tests, while no other thread is inside the
// system; restoreDefaultPlatform() puts every real function back.
PlatformCalls& platform();
void restoreDefaultPlatform();
