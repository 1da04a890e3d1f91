// The host's entry points: the init count, the plugin's identity, the portable-installation answer,
// and the hand-over of file calls to the wave scanner and renderer, each with a file object of the
// plugin's own file class made for the call. The wide forms run the same scanner and renderer on
// the name carried as UTF-8 and write the answer out in UTF-16. The scanner and the renderer answer
// in wave's own terms; the host's records of both widths are written here.
#include "plugin/EntryPoints.h"

#include <atomic>
#include <string>
#include <utility>

#include "core/Utils/TextCopy.h"
#include "plugin/HostText.h"
#include "plugin/PluginFile.h"
#include "plugin/PluginIdentity.h"
#include "wave/HostBitmap.h"
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

constexpr std::uint32_t fileInfoFlags = 0x00000805u;

// The private area the host keeps, and wave's values, field by field (the host's record is laid
// out by the host's interface, wave's by wave).
WavePrivateArea privateAreaOf(const WaveValues& values) {
    WavePrivateArea area{};
    area.isPcm = values.isPcm;
    area.channelCount = values.channelCount;
    area.sampleRate = values.sampleRate;
    area.frameCount = values.frameCount;
    area.dataOffset = values.dataOffset;
    area.bytesPerFrame = values.bytesPerFrame;
    area.bitsPerSample = values.bitsPerSample;
    return area;
}

WaveValues valuesOf(const WavePrivateArea& area) {
    WaveValues values{};
    values.isPcm = area.isPcm;
    values.channelCount = area.channelCount;
    values.sampleRate = area.sampleRate;
    values.frameCount = area.frameCount;
    values.dataOffset = area.dataOffset;
    values.bytesPerFrame = area.bytesPerFrame;
    values.bitsPerSample = area.bitsPerSample;
    return values;
}

// Everything identifying writes into a record of either width on success, but the description.
template <typename Record>
void writeFileAnswer(Record& info, const WaveDescription& answer) {
    info.flags = fileInfoFlags;
    info.word8 = 0;
    info.word10 = 0;
    info.value12 = 0;
    info.value16 = 0;
    info.value20 = 0;
    info.privateArea = privateAreaOf(answer.values);
}

// Scans the named file; false when it is not a wave file this plugin describes.
bool identify(NameEncoding encoding, const char* name, HANDLE abortEvent, WaveDescription& answer) {
    PluginFile file(encoding);
    return scanWaveFile(file, name, abortEvent, answer);
}

// The picture of a file identified before, as the host's bitmap, or null.
HBITMAP drawPicture(NameEncoding encoding, HWND window, const char* name, const WavePrivateArea& area,
                    const ImageSizeRecord* size, HANDLE abortEvent) {
    const PictureSize requested = size != nullptr ? PictureSize{size->width, size->height} : PictureSize{0, 0};
    PluginFile file(encoding);
    PluginFileMaker moreFiles(encoding);
    WavePicture picture;
    if (!renderWaveform(file, &moreFiles, name, valuesOf(area), requested, abortEvent, picture)) {
        return nullptr;
    }
    return static_cast<HBITMAP>(createHostBitmap(window, std::move(picture.pixels), picture.size.width, picture.size.height));
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
    // No record: nowhere to report, so nothing to do.
    if (info == nullptr) {
        return FALSE;
    }
    WaveDescription answer{};
    if (!identify(NameEncoding::Ansi, name, abortEvent, answer)) {
        return FALSE;
    }
    writeFileAnswer(*info, answer);
    if (info->description != nullptr) {
        copyText(info->description, descriptionCopyCapacity(info->descriptionCapacity), answer.text);
    }
    return TRUE;
}

extern "C" HBITMAP __cdecl DVP_LoadBitmapA(HWND window, LPSTR name, FileInfoRecord* info, ImageSizeRecord* size,
                                           HANDLE abortEvent) {
    // Refused at once, before any file object exists.
    if (info == nullptr || !valuesDrawable(valuesOf(info->privateArea))) {
        return nullptr;
    }
    return drawPicture(NameEncoding::Ansi, window, name, info->privateArea, size, abortEvent);
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
    const HostName utf8(name);
    WaveDescription answer{};
    if (!identify(NameEncoding::Utf8, utf8.utf8(), abortEvent, answer)) {
        return FALSE;
    }
    writeFileAnswer(*info, answer);
    if (info->description != nullptr) {
        copyText(info->description, descriptionCopyCapacity(info->descriptionCapacity), answer.text);
    }
    return TRUE;
}

extern "C" HBITMAP __cdecl DVP_LoadBitmapW(HWND window, LPWSTR name, FileInfoRecordW* info, ImageSizeRecord* size,
                                           HANDLE abortEvent) {
    // Refused at once, before the name is converted or any file object exists.
    if (info == nullptr || !valuesDrawable(valuesOf(info->privateArea))) {
        return nullptr;
    }
    const HostName utf8(name);
    return drawPicture(NameEncoding::Utf8, window, utf8.utf8(), info->privateArea, size, abortEvent);
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
