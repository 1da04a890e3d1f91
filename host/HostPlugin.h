// The host's side of the plugin interface: loads sonolook.dll with LoadLibrary, looks up the nine
// entry points by their plain names with GetProcAddress and calls them through C function
// pointers, as the file manager does. Used by the preview tool and the tests, which share one
// loaded plugin through plugin().
#pragma once

#include <windows.h>

#include "plugin/HostRecords.h"

typedef BOOL(__cdecl* DvpInitFn)(void);
typedef void(__cdecl* DvpUninitFn)(void);
typedef BOOL(__cdecl* DvpIdentifyFn)(PluginInfoRecord*);
typedef BOOL(__cdecl* DvpIdentifyFileFn)(HWND, LPSTR, FileInfoRecord*, HANDLE);
typedef HBITMAP(__cdecl* DvpLoadBitmapFn)(HWND, LPSTR, FileInfoRecord*, ImageSizeRecord*, HANDLE);
typedef BOOL(__cdecl* DvpUsbSafeFn)(UsbSafeRecord*);
typedef BOOL(__cdecl* DvpIdentifyWFn)(PluginInfoRecordW*);
typedef BOOL(__cdecl* DvpIdentifyFileWFn)(HWND, LPWSTR, FileInfoRecordW*, HANDLE);
typedef HBITMAP(__cdecl* DvpLoadBitmapWFn)(HWND, LPWSTR, FileInfoRecordW*, ImageSizeRecord*, HANDLE);

class HostPlugin {
public:
    // Loads the library at path (by default "sonolook.dll", found beside the program) and resolves
    // every entry point. loaded() tells whether all of that worked; error() says what did not.
    explicit HostPlugin(const char* path = "sonolook.dll");
    ~HostPlugin();

    HostPlugin(const HostPlugin&) = delete;
    HostPlugin& operator=(const HostPlugin&) = delete;

    bool loaded() const { return module != nullptr && error == nullptr; }
    const char* errorText() const { return error; }
    HMODULE handle() const { return module; }

    DvpInitFn init = nullptr;
    DvpUninitFn uninit = nullptr;
    DvpIdentifyFn identify = nullptr;
    DvpIdentifyFileFn identifyFile = nullptr;
    DvpLoadBitmapFn loadBitmap = nullptr;
    DvpUsbSafeFn usbSafe = nullptr;
    DvpIdentifyWFn identifyW = nullptr;
    DvpIdentifyFileWFn identifyFileW = nullptr;
    DvpLoadBitmapWFn loadBitmapW = nullptr;

private:
    HMODULE module = nullptr;
    const char* error = nullptr;
};

// The plugin beside the program, loaded on first use and kept until the program ends.
HostPlugin& plugin();
