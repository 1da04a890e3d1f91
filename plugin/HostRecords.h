/* The records the host exchanges with the plugin through its entry points, laid out field by field
   as the host's 32-bit plugin interface lays them out. The host owns every record; the plugin
   fills or reads it during one call and keeps no pointer to it. */
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A 128-bit identifier laid out as a Windows GUID. */
typedef struct PluginIdentifier {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];
} PluginIdentifier;

/* Filled by DVP_IdentifyA. */
typedef struct PluginInfoRecord {
    uint32_t hostHeader;          /* host's own, not touched */
    uint32_t flags;               /* 0x00008160 */
    uint32_t versionHigh;         /* 0 */
    uint32_t versionLow;          /* 2 */
    char* extensions;             /* ".wav", when not null */
    char* displayName;            /* when not null */
    char* description;            /* when not null */
    char* copyright;              /* when not null */
    char* webAddress;             /* when not null */
    uint32_t extensionsCapacity;  /* characters, terminator included */
    uint32_t displayNameCapacity;
    uint32_t descriptionCapacity;
    uint32_t copyrightCapacity;
    uint32_t webAddressCapacity;
    uint64_t smallestFileSize;    /* 36 */
    uint8_t hostReserved[24];     /* host's own, not touched */
    uint32_t word88;              /* 0 */
    PluginIdentifier identifier;  /* the plugin's fixed identifier */
} PluginInfoRecord;

/* The plugin's private area: written when a file is identified, handed back by the host with the
   request for its picture. */
typedef struct WavePrivateArea {
    int32_t isPcm;          /* 1 when the format tag is 1 */
    int32_t channelCount;   /* fmt channel count, widened with its sign */
    int32_t sampleRate;
    uint32_t frameCount;    /* data length / bytesPerFrame */
    uint32_t dataOffset;    /* file offset of the data chunk's body */
    int32_t bytesPerFrame;  /* average byte rate / sample rate */
    int32_t bitsPerSample;  /* fmt bits per sample, widened with its sign */
} WavePrivateArea;

/* Filled by DVP_IdentifyFileA, handed back to DVP_LoadBitmapA. */
typedef struct FileInfoRecord {
    uint32_t hostHeader;          /* host's own, not touched */
    uint32_t flags;               /* 0x00000805 */
    uint16_t word8;               /* 0 */
    uint16_t word10;              /* 0 */
    uint32_t value12;             /* 0 */
    uint32_t value16;             /* 0 */
    uint32_t value20;             /* 0 */
    char* description;            /* the one-line description, when not null */
    uint32_t descriptionCapacity; /* characters, terminator included; 0 means not given */
    WavePrivateArea privateArea;
} FileInfoRecord;

/* Passed by pointer (may be null) to DVP_LoadBitmapA. */
typedef struct ImageSizeRecord {
    int32_t width;
    int32_t height;
} ImageSizeRecord;

/* Passed to DVP_USBSafe. The buffer takes a double-NUL-terminated list of wide-character file
   names; its capacity counts characters, terminator included. */
typedef struct UsbSafeRecord {
    uint32_t hostHeader;  /* host's own, not touched */
    wchar_t* fileNames;
    uint32_t capacity;
} UsbSafeRecord;

#ifdef __cplusplus
}

#if UINTPTR_MAX == 0xFFFFFFFFu
/* The 32-bit host reads these records at these offsets. */
static_assert(offsetof(PluginInfoRecord, flags) == 4, "flag word");
static_assert(offsetof(PluginInfoRecord, versionHigh) == 8, "version, high part");
static_assert(offsetof(PluginInfoRecord, versionLow) == 12, "version, low part");
static_assert(offsetof(PluginInfoRecord, extensions) == 16, "extensions buffer");
static_assert(offsetof(PluginInfoRecord, displayName) == 20, "display-name buffer");
static_assert(offsetof(PluginInfoRecord, description) == 24, "description buffer");
static_assert(offsetof(PluginInfoRecord, copyright) == 28, "copyright buffer");
static_assert(offsetof(PluginInfoRecord, webAddress) == 32, "web-address buffer");
static_assert(offsetof(PluginInfoRecord, extensionsCapacity) == 36, "extensions capacity");
static_assert(offsetof(PluginInfoRecord, displayNameCapacity) == 40, "display-name capacity");
static_assert(offsetof(PluginInfoRecord, descriptionCapacity) == 44, "description capacity");
static_assert(offsetof(PluginInfoRecord, copyrightCapacity) == 48, "copyright capacity");
static_assert(offsetof(PluginInfoRecord, webAddressCapacity) == 52, "web-address capacity");
static_assert(offsetof(PluginInfoRecord, smallestFileSize) == 56, "smallest file size");
static_assert(offsetof(PluginInfoRecord, hostReserved) == 64, "host's own block");
static_assert(offsetof(PluginInfoRecord, word88) == 88, "word at 88");
static_assert(offsetof(PluginInfoRecord, identifier) == 92, "identifier");
static_assert(sizeof(PluginIdentifier) == 16, "identifier width");

static_assert(offsetof(FileInfoRecord, flags) == 4, "flag word");
static_assert(offsetof(FileInfoRecord, word8) == 8, "word at 8");
static_assert(offsetof(FileInfoRecord, word10) == 10, "word at 10");
static_assert(offsetof(FileInfoRecord, value12) == 12, "value at 12");
static_assert(offsetof(FileInfoRecord, value16) == 16, "value at 16");
static_assert(offsetof(FileInfoRecord, value20) == 20, "value at 20");
static_assert(offsetof(FileInfoRecord, description) == 24, "description buffer");
static_assert(offsetof(FileInfoRecord, descriptionCapacity) == 28, "description capacity");
static_assert(offsetof(FileInfoRecord, privateArea) + offsetof(WavePrivateArea, isPcm) == 32, "isPcm");
static_assert(offsetof(FileInfoRecord, privateArea) + offsetof(WavePrivateArea, channelCount) == 36, "channelCount");
static_assert(offsetof(FileInfoRecord, privateArea) + offsetof(WavePrivateArea, sampleRate) == 40, "sampleRate");
static_assert(offsetof(FileInfoRecord, privateArea) + offsetof(WavePrivateArea, frameCount) == 44, "frameCount");
static_assert(offsetof(FileInfoRecord, privateArea) + offsetof(WavePrivateArea, dataOffset) == 48, "dataOffset");
static_assert(offsetof(FileInfoRecord, privateArea) + offsetof(WavePrivateArea, bytesPerFrame) == 52, "bytesPerFrame");
static_assert(offsetof(FileInfoRecord, privateArea) + offsetof(WavePrivateArea, bitsPerSample) == 56, "bitsPerSample");

static_assert(offsetof(ImageSizeRecord, height) == 4, "height");

static_assert(offsetof(UsbSafeRecord, fileNames) == 4, "file-name buffer");
static_assert(offsetof(UsbSafeRecord, capacity) == 8, "file-name capacity");
static_assert(sizeof(wchar_t) == 2, "the host's wide characters are 16-bit");
#endif
#endif
