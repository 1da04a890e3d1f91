// The DLL driven through records laid out byte by byte the way a host of this build's width lays
// them out: the offsets below are written from the host's side (plain C structures with default
// packing) and do not come from the plugin's header, so a record declaration that drifted from
// the host's layout fails here even when it agrees with itself.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <cwchar>

#include "HostRoad.h"
#include "host/HostPlugin.h"
#include "plugin/HostRecords.h"
#include "support/FileTestSupport.h"
#include "support/WavWriter.h"

namespace {

struct HostLayout {
    // The plugin record.
    std::size_t text[5];     // extensions, display name, description, copyright, web address
    std::size_t capacity[5]; // their capacities
    std::size_t smallestFileSize;
    std::size_t hostBlock;   // 24 bytes of the host's own
    std::size_t word;        // the word after the host's block
    std::size_t identifier;
    // The file record.
    std::size_t fileDescription;
    std::size_t fileCapacity;
    std::size_t privateArea; // eight 32-bit values
    // The portable-installation record.
    std::size_t usbBuffer;
    std::size_t usbCapacity;
};

constexpr HostLayout host32 = {{16, 20, 24, 28, 32}, {36, 40, 44, 48, 52}, 56, 64, 88, 92, 24, 28, 32, 4, 8};
constexpr HostLayout host64 = {{16, 24, 32, 40, 48}, {56, 60, 64, 68, 72}, 80, 88, 112, 116, 24, 32, 36, 8, 16};
const HostLayout& host = sizeof(void*) == 8 ? host64 : host32;

constexpr unsigned char untouched = 0xCD;

// A record as raw bytes, every byte preset to a marker that the plugin must leave where it
// writes nothing.
struct RecordImage {
    alignas(8) unsigned char bytes[192];

    RecordImage() { std::memset(bytes, untouched, sizeof bytes); }
    void putPointer(std::size_t at, const void* pointer) { std::memcpy(bytes + at, &pointer, sizeof pointer); }
    void put32(std::size_t at, std::uint32_t value) { std::memcpy(bytes + at, &value, 4); }
    std::uint32_t get32(std::size_t at) const {
        std::uint32_t value = 0;
        std::memcpy(&value, bytes + at, 4);
        return value;
    }
    std::uint64_t get64(std::size_t at) const {
        std::uint64_t value = 0;
        std::memcpy(&value, bytes + at, 8);
        return value;
    }
    // The first byte in [from, to) that is not the marker, or to.
    std::size_t firstTouched(std::size_t from, std::size_t to) const {
        while (from < to && bytes[from] == untouched) {
            ++from;
        }
        return from;
    }
};

typedef BOOL(__cdecl* IdentifyFn)(void*);
typedef BOOL(__cdecl* IdentifyFileFn)(HWND, LPSTR, void*, HANDLE);
typedef HBITMAP(__cdecl* LoadBitmapFn)(HWND, LPSTR, void*, void*, HANDLE);
typedef BOOL(__cdecl* UsbSafeFn)(void*);

// An export of the loaded plugin, called with a record of bytes instead of the plugin's own type.
template <typename Function>
Function entryPoint(const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(plugin().handle(), name)));
}

TEST(HostLayout, IdentifyWritesAtTheHostsOffsetsAndHonoursEachCapacity) {
    IdentifyFn identify = entryPoint<IdentifyFn>("DVP_IdentifyA");
    ASSERT_NE(identify, nullptr);
    RecordImage record;
    char buffers[5][64];
    // A different capacity for each text shows that each is read from its own offset.
    const std::uint32_t capacities[5] = {3, 7, 64, 5, 9};
    const char* expected[5] = {".w", "Sonolo", "Sonolook Viewer and player plugin", "Copy", "https://"};
    for (int i = 0; i < 5; ++i) {
        std::memset(buffers[i], 'x', sizeof buffers[i]);
        record.putPointer(host.text[i], buffers[i]);
        record.put32(host.capacity[i], capacities[i]);
    }
    ASSERT_EQ(identify(record.bytes), TRUE);

    for (int i = 0; i < 5; ++i) {
        EXPECT_STREQ(buffers[i], expected[i]) << "text " << i;
    }
    EXPECT_EQ(record.get32(4), 0x00008160u);
    // The version words are the plugin's business; here only where they land.
    PluginInfoRecord declared{};
    ASSERT_EQ(identify(&declared), TRUE);
    EXPECT_EQ(record.get32(8), declared.versionHigh);
    EXPECT_EQ(record.get32(12), declared.versionLow);
    EXPECT_EQ(record.get64(host.smallestFileSize), 36u);
    EXPECT_EQ(record.get32(host.word), 0u);
    const unsigned char identifier[16] = {0x21, 0x3C, 0x6F, 0x5E, 0x4B, 0x8A, 0x2E, 0x4D,
                                          0x9C, 0x71, 0x0B, 0x3A, 0x6D, 0x5F, 0x2E, 0x19};
    EXPECT_EQ(std::memcmp(record.bytes + host.identifier, identifier, 16), 0);
    // The host's header word, the gap before the 64-bit size, the host's block and everything
    // after the identifier stay as the host left them.
    EXPECT_EQ(record.firstTouched(0, 4), 4u);
    EXPECT_EQ(record.firstTouched(host.capacity[4] + 4, host.smallestFileSize), host.smallestFileSize);
    EXPECT_EQ(record.firstTouched(host.hostBlock, host.hostBlock + 24), host.hostBlock + 24);
    EXPECT_EQ(record.firstTouched(host.identifier + 16, sizeof record.bytes), sizeof record.bytes);
}

TEST(HostLayout, FileRecordCarriesThePrivateValuesFromIdentifyToPicture) {
    IdentifyFileFn identifyFile = entryPoint<IdentifyFileFn>("DVP_IdentifyFileA");
    LoadBitmapFn loadBitmap = entryPoint<LoadBitmapFn>("DVP_LoadBitmapA");
    ASSERT_TRUE(identifyFile != nullptr && loadBitmap != nullptr);
    filetest::TempFolder folder;
    std::string file =
        folder.add("host-layout.wav", WavWriter().pcm(2, 44100, 16).data(repeated(samples16({8000, -8000}), 4410)).bytes());
    ASSERT_FALSE(file.empty());
    LPSTR name = &file[0];

    RecordImage record;
    char description[80];
    std::memset(description, 'x', sizeof description);
    record.putPointer(host.fileDescription, description);
    record.put32(host.fileCapacity, sizeof description);
    ASSERT_EQ(identifyFile(nullptr, name, record.bytes, nullptr), TRUE);

    EXPECT_STREQ(description, "44100Hz, 16-bit, Stereo (PCM) Wave Audio");
    EXPECT_EQ(record.get32(4), 0x00000805u);
    for (std::size_t at = 8; at < 24; at += 4) {
        EXPECT_EQ(record.get32(at), 0u) << "offset " << at;
    }
    // The seven values (the scanner's tests say what they are) land at the host's offsets, as the
    // plugin's declaration of the record places them; the eighth is not the plugin's to write.
    FileInfoRecord declared{};
    ASSERT_EQ(identifyFile(nullptr, name, &declared, nullptr), TRUE);
    EXPECT_EQ(std::memcmp(record.bytes + host.privateArea, &declared.privateArea, 28), 0);
    EXPECT_EQ(record.get32(host.privateArea + 28), 0xCDCDCDCDu);
    EXPECT_EQ(record.firstTouched(host.fileCapacity + 4, host.privateArea), host.privateArea);
    EXPECT_EQ(record.firstTouched(host.privateArea + 32, sizeof record.bytes), sizeof record.bytes);

    // The record goes back as the host keeps it; the picture's size record is the same in both
    // widths.
    const std::int32_t size[2] = {40, 30};
    const Picture picture = takePicture(loadBitmap(nullptr, name, record.bytes, const_cast<std::int32_t*>(size), nullptr), false);
    ASSERT_TRUE(picture.drawn);
    EXPECT_EQ(picture.width, 40);
    EXPECT_EQ(picture.height, 30);
    // Each of the seven values is read from its own offset: zeroing any one refuses the picture.
    for (std::size_t i = 0; i < 7; ++i) {
        RecordImage forged = record;
        forged.put32(host.privateArea + 4 * i, 0);
        EXPECT_EQ(loadBitmap(nullptr, name, forged.bytes, const_cast<std::int32_t*>(size), nullptr), nullptr)
            << "private value " << i;
    }
}

// The name is cut to capacity - 1 characters and a NUL, and the list's closing NUL follows where
// there is room; capacity 0 or no buffer: nothing is written. The host's part stays as it was.
TEST(HostLayout, UsbSafeWritesThroughTheHostsBufferWithinItsCapacity) {
    UsbSafeFn usbSafe = entryPoint<UsbSafeFn>("DVP_USBSafe");
    ASSERT_NE(usbSafe, nullptr);
    struct Case {
        std::uint32_t capacity;
        std::size_t written;
        const wchar_t* text;
    };
    const Case cases[] = {
        {32, 14, L"sonolook.dll\0"}, {14, 14, L"sonolook.dll\0"}, {13, 13, L"sonolook.dll"},
        {9, 9, L"sonolook"},          {1, 1, L""},                  {0, 0, L""},
    };
    for (const Case& c : cases) {
        RecordImage record;
        wchar_t names[40];
        std::wmemset(names, L'#', 40);
        record.putPointer(host.usbBuffer, names);
        record.put32(host.usbCapacity, c.capacity);
        ASSERT_EQ(usbSafe(record.bytes), TRUE);
        EXPECT_EQ(std::wmemcmp(names, c.text, c.written), 0) << "capacity " << c.capacity;
        EXPECT_EQ(names[c.written], L'#') << "capacity " << c.capacity;
        EXPECT_EQ(record.firstTouched(0, sizeof(void*)), sizeof(void*)) << "the host's own part of the record";
    }
    RecordImage noBuffer;
    noBuffer.putPointer(host.usbBuffer, nullptr);
    noBuffer.put32(host.usbCapacity, 64);
    ASSERT_EQ(usbSafe(noBuffer.bytes), TRUE);
    EXPECT_EQ(noBuffer.get32(host.usbCapacity), 64u);
    EXPECT_EQ(noBuffer.firstTouched(0, host.usbBuffer), host.usbBuffer);
}

} // namespace
