// The host's entry points: the init count, the plugin's identity, the portable-installation answer,
// and the hand-over of file calls to the wave scanner and renderer, each with a file object of the
// plugin's own file class made for the call.
#include "plugin/EntryPoints.h"

#include <atomic>

#include "core/Utils/Platform.h"
#include "plugin/PluginFile.h"
#include "plugin/PluginIdentity.h"
#include "wave/WaveRenderer.h"
#include "wave/WaveScanner.h"

namespace {

// Balanced DVP_Init / DVP_Uninit calls; never below 0. Hosts may call from several threads.
std::atomic<int> initCount{0};

void copyText(char* buffer, std::uint32_t capacity, const char* text) {
    if (buffer == nullptr) {
        return;
    }
    platform().lstrcpynA(buffer, text, static_cast<int>(capacity));
}

} // namespace

int pluginInitCount() { return initCount.load(); }

extern "C" BOOL __cdecl DVP_Init(void) {
    // A raise from 0 is the start-up point; the plugin has nothing to start.
    initCount.fetch_add(1);
    return TRUE;
}

extern "C" void __cdecl DVP_Uninit(void) {
    int count = initCount.load();
    while (count > 0 && !initCount.compare_exchange_weak(count, count - 1)) {
    }
}

extern "C" BOOL __cdecl DVP_IdentifyA(PluginInfoRecord* info) {
    if (info == nullptr) {
        return FALSE;
    }
    info->flags = identity::pluginFlags;
    info->versionHigh = identity::versionHigh;
    info->versionLow = identity::versionLow;
    copyText(info->extensions, info->extensionsCapacity, identity::extensions);
    copyText(info->displayName, info->displayNameCapacity, identity::displayName);
    copyText(info->description, info->descriptionCapacity, identity::description);
    copyText(info->copyright, info->copyrightCapacity, identity::copyright);
    copyText(info->webAddress, info->webAddressCapacity, identity::webAddress);
    info->smallestFileSize = identity::smallestFileSize;
    info->wordAfterHostBlock = identity::wordAfterHostBlock;
    info->identifier = identity::identifier;
    return TRUE;
}

extern "C" BOOL __cdecl DVP_IdentifyFileA(HWND, LPSTR name, FileInfoRecord* info, HANDLE abortEvent) {
    PluginFile file;
    return scanWaveFile(file, info, name, abortEvent) ? TRUE : FALSE;
}

extern "C" HBITMAP __cdecl DVP_LoadBitmapA(HWND window, LPSTR name, FileInfoRecord* info, ImageSizeRecord* size,
                                           HANDLE abortEvent) {
    // Refused at once, before any file object exists.
    if (info == nullptr || !privateAreaDrawable(info->privateArea)) {
        return nullptr;
    }
    PluginFile file;
    return static_cast<HBITMAP>(renderWaveform(file, window, name, info, size, abortEvent));
}

extern "C" BOOL __cdecl DVP_USBSafe(UsbSafeRecord* usb) {
    if (usb == nullptr || usb->fileNames == nullptr || usb->capacity == 0) {
        return TRUE;
    }
    // The host reads a list of wide-character names ended by an empty one: the name is cut to
    // capacity - 1 characters and a NUL, as lstrcpynW would, and the list's closing NUL follows
    // when there is room for it.
    const wchar_t* name = identity::moduleFileName;
    std::uint32_t length = 0;
    while (name[length] != L'\0' && length + 1 < usb->capacity) {
        usb->fileNames[length] = name[length];
        ++length;
    }
    usb->fileNames[length] = L'\0';
    if (length + 1 < usb->capacity) {
        usb->fileNames[length + 1] = L'\0';
    }
    return TRUE;
}
