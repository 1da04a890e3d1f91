/* The records the host exchanges with the plugin through its entry points, laid out field by field
   as the host's plugin interface lays them out: plain C structures with default packing, so the
   32-bit and the 64-bit host place the fields differently (pointers are 4 or 8 bytes and aligned
   to their width; 32-bit fields stay 4 bytes; the 64-bit size is 8-aligned). The offsets of both
   widths are pinned at the end. The host owns every record; the plugin fills or reads it during
   one call and keeps no pointer to it. */
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
    uint32_t wordAfterHostBlock;  /* 0 */
    PluginIdentifier identifier;  /* the plugin's fixed identifier */
} PluginInfoRecord;

/* The plugin's private area: written when a file is identified, handed back by the host with the
   request for its picture. The host carries eight 32-bit values whatever its width; the plugin
   uses the first seven (see FileInfoRecord) and stores nothing whose meaning depends on the
   width. */
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
    uint32_t privateSpare;        /* the private area's eighth value: neither read nor written */
} FileInfoRecord;

/* The wide forms, filled by DVP_IdentifyW and DVP_IdentifyFileW (and handed back to
   DVP_LoadBitmapW): the layouts above field by field, the text buffers holding UTF-16 and their
   capacities counting UTF-16 units, terminator included. */
typedef struct PluginInfoRecordW {
    uint32_t hostHeader;
    uint32_t flags;
    uint32_t versionHigh;
    uint32_t versionLow;
    wchar_t* extensions;
    wchar_t* displayName;
    wchar_t* description;
    wchar_t* copyright;
    wchar_t* webAddress;
    uint32_t extensionsCapacity;
    uint32_t displayNameCapacity;
    uint32_t descriptionCapacity;
    uint32_t copyrightCapacity;
    uint32_t webAddressCapacity;
    uint64_t smallestFileSize;
    uint8_t hostReserved[24];
    uint32_t wordAfterHostBlock;
    PluginIdentifier identifier;
} PluginInfoRecordW;

typedef struct FileInfoRecordW {
    uint32_t hostHeader;
    uint32_t flags;
    uint16_t word8;
    uint16_t word10;
    uint32_t value12;
    uint32_t value16;
    uint32_t value20;
    wchar_t* description;
    uint32_t descriptionCapacity;
    WavePrivateArea privateArea;
    uint32_t privateSpare;
} FileInfoRecordW;

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

/* Where the host reads and writes each field: the first column is the 32-bit host's offset, the
   second the 64-bit host's. */
static_assert(sizeof(void*) == 4 || sizeof(void*) == 8, "a 32-bit or a 64-bit host");
constexpr size_t hostOffset(size_t offset32, size_t offset64) { return sizeof(void*) == 4 ? offset32 : offset64; }

static_assert(offsetof(PluginInfoRecord, flags) == hostOffset(4, 4), "flag word");
static_assert(offsetof(PluginInfoRecord, versionHigh) == hostOffset(8, 8), "version, high part");
static_assert(offsetof(PluginInfoRecord, versionLow) == hostOffset(12, 12), "version, low part");
static_assert(offsetof(PluginInfoRecord, extensions) == hostOffset(16, 16), "extensions buffer");
static_assert(offsetof(PluginInfoRecord, displayName) == hostOffset(20, 24), "display-name buffer");
static_assert(offsetof(PluginInfoRecord, description) == hostOffset(24, 32), "description buffer");
static_assert(offsetof(PluginInfoRecord, copyright) == hostOffset(28, 40), "copyright buffer");
static_assert(offsetof(PluginInfoRecord, webAddress) == hostOffset(32, 48), "web-address buffer");
static_assert(offsetof(PluginInfoRecord, extensionsCapacity) == hostOffset(36, 56), "extensions capacity");
static_assert(offsetof(PluginInfoRecord, displayNameCapacity) == hostOffset(40, 60), "display-name capacity");
static_assert(offsetof(PluginInfoRecord, descriptionCapacity) == hostOffset(44, 64), "description capacity");
static_assert(offsetof(PluginInfoRecord, copyrightCapacity) == hostOffset(48, 68), "copyright capacity");
static_assert(offsetof(PluginInfoRecord, webAddressCapacity) == hostOffset(52, 72), "web-address capacity");
static_assert(offsetof(PluginInfoRecord, smallestFileSize) == hostOffset(56, 80), "smallest file size");
static_assert(offsetof(PluginInfoRecord, hostReserved) == hostOffset(64, 88), "host's own block");
static_assert(sizeof(PluginInfoRecord::hostReserved) == 24, "host's own block, 24 bytes in both widths");
static_assert(offsetof(PluginInfoRecord, wordAfterHostBlock) == hostOffset(88, 112), "word after the host's block");
static_assert(offsetof(PluginInfoRecord, identifier) == hostOffset(92, 116), "identifier");
static_assert(sizeof(PluginIdentifier) == 16 && alignof(PluginIdentifier) == 4, "identifier, 16 bytes, 4-aligned");

static_assert(offsetof(FileInfoRecord, flags) == hostOffset(4, 4), "flag word");
static_assert(offsetof(FileInfoRecord, word8) == hostOffset(8, 8), "word at 8");
static_assert(offsetof(FileInfoRecord, word10) == hostOffset(10, 10), "word at 10");
static_assert(offsetof(FileInfoRecord, value12) == hostOffset(12, 12), "value at 12");
static_assert(offsetof(FileInfoRecord, value16) == hostOffset(16, 16), "value at 16");
static_assert(offsetof(FileInfoRecord, value20) == hostOffset(20, 20), "value at 20");
static_assert(offsetof(FileInfoRecord, description) == hostOffset(24, 24), "description buffer");
static_assert(offsetof(FileInfoRecord, descriptionCapacity) == hostOffset(28, 32), "description capacity");
static_assert(offsetof(FileInfoRecord, privateArea.isPcm) == hostOffset(32, 36), "isPcm");
static_assert(offsetof(FileInfoRecord, privateArea.channelCount) == hostOffset(36, 40), "channelCount");
static_assert(offsetof(FileInfoRecord, privateArea.sampleRate) == hostOffset(40, 44), "sampleRate");
static_assert(offsetof(FileInfoRecord, privateArea.frameCount) == hostOffset(44, 48), "frameCount");
static_assert(offsetof(FileInfoRecord, privateArea.dataOffset) == hostOffset(48, 52), "dataOffset");
static_assert(offsetof(FileInfoRecord, privateArea.bytesPerFrame) == hostOffset(52, 56), "bytesPerFrame");
static_assert(offsetof(FileInfoRecord, privateArea.bitsPerSample) == hostOffset(56, 60), "bitsPerSample");
static_assert(sizeof(WavePrivateArea) == 7 * 4, "seven 32-bit values in both widths");
static_assert(offsetof(FileInfoRecord, privateSpare) == hostOffset(60, 64), "eighth private value");

/* The wide records at the same offsets, and of the same sizes, in both widths. */
static_assert(offsetof(PluginInfoRecordW, flags) == hostOffset(4, 4), "wide: flag word");
static_assert(offsetof(PluginInfoRecordW, versionHigh) == hostOffset(8, 8), "wide: version, high part");
static_assert(offsetof(PluginInfoRecordW, versionLow) == hostOffset(12, 12), "wide: version, low part");
static_assert(offsetof(PluginInfoRecordW, extensions) == hostOffset(16, 16), "wide: extensions buffer");
static_assert(offsetof(PluginInfoRecordW, displayName) == hostOffset(20, 24), "wide: display-name buffer");
static_assert(offsetof(PluginInfoRecordW, description) == hostOffset(24, 32), "wide: description buffer");
static_assert(offsetof(PluginInfoRecordW, copyright) == hostOffset(28, 40), "wide: copyright buffer");
static_assert(offsetof(PluginInfoRecordW, webAddress) == hostOffset(32, 48), "wide: web-address buffer");
static_assert(offsetof(PluginInfoRecordW, extensionsCapacity) == hostOffset(36, 56), "wide: extensions capacity");
static_assert(offsetof(PluginInfoRecordW, displayNameCapacity) == hostOffset(40, 60), "wide: display-name capacity");
static_assert(offsetof(PluginInfoRecordW, descriptionCapacity) == hostOffset(44, 64), "wide: description capacity");
static_assert(offsetof(PluginInfoRecordW, copyrightCapacity) == hostOffset(48, 68), "wide: copyright capacity");
static_assert(offsetof(PluginInfoRecordW, webAddressCapacity) == hostOffset(52, 72), "wide: web-address capacity");
static_assert(offsetof(PluginInfoRecordW, smallestFileSize) == hostOffset(56, 80), "wide: smallest file size");
static_assert(offsetof(PluginInfoRecordW, hostReserved) == hostOffset(64, 88), "wide: host's own block");
static_assert(offsetof(PluginInfoRecordW, wordAfterHostBlock) == hostOffset(88, 112), "wide: word after the block");
static_assert(offsetof(PluginInfoRecordW, identifier) == hostOffset(92, 116), "wide: identifier");
static_assert(sizeof(PluginInfoRecordW) == sizeof(PluginInfoRecord), "wide: same size as the 8-bit record");

static_assert(offsetof(FileInfoRecordW, flags) == hostOffset(4, 4), "wide: flag word");
static_assert(offsetof(FileInfoRecordW, word8) == hostOffset(8, 8), "wide: word at 8");
static_assert(offsetof(FileInfoRecordW, word10) == hostOffset(10, 10), "wide: word at 10");
static_assert(offsetof(FileInfoRecordW, value12) == hostOffset(12, 12), "wide: value at 12");
static_assert(offsetof(FileInfoRecordW, value16) == hostOffset(16, 16), "wide: value at 16");
static_assert(offsetof(FileInfoRecordW, value20) == hostOffset(20, 20), "wide: value at 20");
static_assert(offsetof(FileInfoRecordW, description) == hostOffset(24, 24), "wide: description buffer");
static_assert(offsetof(FileInfoRecordW, descriptionCapacity) == hostOffset(28, 32), "wide: description capacity");
static_assert(offsetof(FileInfoRecordW, privateArea) == hostOffset(32, 36), "wide: private area");
static_assert(offsetof(FileInfoRecordW, privateSpare) == hostOffset(60, 64), "wide: eighth private value");
static_assert(sizeof(FileInfoRecordW) == sizeof(FileInfoRecord), "wide: same size as the 8-bit record");

static_assert(offsetof(ImageSizeRecord, height) == hostOffset(4, 4), "height");

static_assert(offsetof(UsbSafeRecord, fileNames) == hostOffset(4, 8), "file-name buffer");
static_assert(offsetof(UsbSafeRecord, capacity) == hostOffset(8, 16), "file-name capacity");
#if defined(_WIN32)
/* Windows' wchar_t, which the host's names use. The native test build is a Linux program whose
   wchar_t is wider; its host is the test program itself, built with the same type. */
static_assert(sizeof(wchar_t) == 2, "the host's wide characters are 16-bit");
#endif
#endif
