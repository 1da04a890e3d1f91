// The host's entry points: the init count, the plugin's identity, the portable-installation answer,
// and the hand-over of file calls to the wave scanner and renderer, each with a file object of the
// plugin's own file class made for the call. The wide forms run the same scanner and renderer on
// the 8-bit records' fields, with the name carried as UTF-8, and copy the answer out in UTF-16.
#include "plugin/EntryPoints.h"

#include <atomic>
#include <string>

#include "core/Utils/TextCopy.h"
#include "plugin/HostText.h"
#include "plugin/PluginFile.h"
#include "plugin/PluginIdentity.h"
#include "wave/WaveFormat.h"
#include "wave/WaveRenderer.h"
#include "wave/WaveScanner.h"

namespace {

// Balanced DVP_Init / DVP_Uninit calls; never below 0. Hosts may call from several threads.
std::atomic<int> initCount{0};

// The identity texts pass through a buffer of copyIdentityText's size.
constexpr bool fitsIdentityBuffer(const char* text) {
    return std::char_traits<char>::length(text) <= identityTextLimit;
}
static_assert(fitsIdentityBuffer(identity::extensions) && fitsIdentityBuffer(identity::displayName) &&
                  fitsIdentityBuffer(identity::description) && fitsIdentityBuffer(identity::copyright) &&
                  fitsIdentityBuffer(identity::webAddress),
              "identity texts within copyIdentityText's buffer");

// Everything the scanner writes into a record on success, but the description.
template <typename Target, typename Source>
void copyFileAnswer(Target& target, const Source& source) {
    target.flags = source.flags;
    target.word8 = source.word8;
    target.word10 = source.word10;
    target.value12 = source.value12;
    target.value16 = source.value16;
    target.value20 = source.value20;
    target.privateArea = source.privateArea;
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
    copyIdentityText(info->extensions, info->extensionsCapacity, identity::extensions);
    copyIdentityText(info->displayName, info->displayNameCapacity, identity::displayName);
    copyIdentityText(info->description, info->descriptionCapacity, identity::description);
    copyIdentityText(info->copyright, info->copyrightCapacity, identity::copyright);
    copyIdentityText(info->webAddress, info->webAddressCapacity, identity::webAddress);
    info->smallestFileSize = identity::smallestFileSize;
    info->wordAfterHostBlock = identity::wordAfterHostBlock;
    info->identifier = identity::identifier;
    return TRUE;
}

extern "C" BOOL __cdecl DVP_IdentifyFileA(HWND, LPSTR name, FileInfoRecord* info, HANDLE abortEvent) {
    PluginFile file(NameEncoding::Ansi);
    return scanWaveFile(file, info, name, abortEvent) ? TRUE : FALSE;
}

extern "C" HBITMAP __cdecl DVP_LoadBitmapA(HWND window, LPSTR name, FileInfoRecord* info, ImageSizeRecord* size,
                                           HANDLE abortEvent) {
    // Refused at once, before any file object exists.
    if (info == nullptr || !privateAreaDrawable(info->privateArea)) {
        return nullptr;
    }
    PluginFile file(NameEncoding::Ansi);
    return static_cast<HBITMAP>(renderWaveform(file, window, name, info, size, abortEvent));
}

extern "C" BOOL __cdecl DVP_IdentifyW(PluginInfoRecordW* info) {
    if (info == nullptr) {
        return FALSE;
    }
    info->flags = identity::pluginFlags;
    info->versionHigh = identity::versionHigh;
    info->versionLow = identity::versionLow;
    copyIdentityText(info->extensions, info->extensionsCapacity, identity::extensions);
    copyIdentityText(info->displayName, info->displayNameCapacity, identity::displayName);
    copyIdentityText(info->description, info->descriptionCapacity, identity::description);
    copyIdentityText(info->copyright, info->copyrightCapacity, identity::copyright);
    copyIdentityText(info->webAddress, info->webAddressCapacity, identity::webAddress);
    info->smallestFileSize = identity::smallestFileSize;
    info->wordAfterHostBlock = identity::wordAfterHostBlock;
    info->identifier = identity::identifier;
    return TRUE;
}

extern "C" BOOL __cdecl DVP_IdentifyFileW(HWND, LPWSTR name, FileInfoRecordW* info, HANDLE abortEvent) {
    if (info == nullptr) {
        return FALSE;
    }
    // The scanner fills an 8-bit record of the plugin's own, with the whole description; the
    // host's record and buffer are written only once it has said yes.
    char description[descriptionSize] = {};
    FileInfoRecord answer{};
    answer.description = description;
    answer.descriptionCapacity = descriptionSize;
    const HostName utf8(name);
    PluginFile file(NameEncoding::Utf8);
    if (!scanWaveFile(file, &answer, utf8.utf8(), abortEvent)) {
        return FALSE;
    }
    copyFileAnswer(*info, answer);
    if (info->description != nullptr) {
        copyText(info->description, descriptionCopyCapacity(info->descriptionCapacity), description);
    }
    return TRUE;
}

extern "C" HBITMAP __cdecl DVP_LoadBitmapW(HWND window, LPWSTR name, FileInfoRecordW* info, ImageSizeRecord* size,
                                           HANDLE abortEvent) {
    // Refused at once, before the name is converted or any file object exists.
    if (info == nullptr || !privateAreaDrawable(info->privateArea)) {
        return nullptr;
    }
    // The renderer reads nothing of the record but its private area.
    FileInfoRecord request{};
    request.privateArea = info->privateArea;
    const HostName utf8(name);
    PluginFile file(NameEncoding::Utf8);
    return static_cast<HBITMAP>(renderWaveform(file, window, utf8.utf8(), &request, size, abortEvent));
}

extern "C" BOOL __cdecl DVP_USBSafe(UsbSafeRecord* usb) {
    if (usb == nullptr || usb->fileNames == nullptr || usb->capacity == 0) {
        return TRUE;
    }
    // The host reads a list of wide-character names ended by an empty one: the name is cut to
    // capacity - 1 characters and a NUL, as lstrcpynW would, and the list's closing NUL follows
    // when there is room for it.
    const std::uint32_t length = copyText(usb->fileNames, usb->capacity, identity::moduleFileName);
    if (length + 1 < usb->capacity) {
        usb->fileNames[length + 1] = L'\0';
    }
    return TRUE;
}
