// The version and icon resources of the built DLL, read back through Windows' own resource calls.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "plugin/HostRecords.h"
#include "plugin/Version.h"

namespace {

constexpr WORD britishEnglish = 2057;

HMODULE loadAsData() {
    return LoadLibraryExA("sonolook.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
}

std::vector<unsigned char> resourceBytes(HMODULE module, LPCSTR type, LPCSTR name, WORD language) {
    HRSRC found = FindResourceExA(module, type, name, language);
    if (found == nullptr) {
        return {};
    }
    HGLOBAL loaded = LoadResource(module, found);
    const unsigned char* data = static_cast<const unsigned char*>(LockResource(loaded));
    const DWORD size = SizeofResource(module, found);
    return std::vector<unsigned char>(data, data + size);
}

std::string versionString(const std::vector<unsigned char>& info, const char* key) {
    std::string path = std::string("\\StringFileInfo\\080004b0\\") + key;
    char* value = nullptr;
    UINT length = 0;
    std::vector<unsigned char> copy(info);
    if (!VerQueryValueA(copy.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) || value == nullptr) {
        return "<missing>";
    }
    return std::string(value);
}

// The version words are those DVP_IdentifyA reports, and the strings the build's version text.
TEST(Resources, VersionIsWhatIdentifyReportsWithTheStringTable) {
    char path[MAX_PATH] = {};
    HMODULE module = LoadLibraryA("sonolook.dll");
    ASSERT_NE(module, nullptr);
    typedef BOOL(__cdecl * IdentifyFn)(PluginInfoRecord*);
    IdentifyFn identify = reinterpret_cast<IdentifyFn>(reinterpret_cast<void*>(GetProcAddress(module, "DVP_IdentifyA")));
    ASSERT_NE(identify, nullptr);
    PluginInfoRecord identity{};
    ASSERT_EQ(identify(&identity), TRUE);
    ASSERT_GT(GetModuleFileNameA(module, path, MAX_PATH), 0u);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
    ASSERT_GT(size, 0u);
    std::vector<unsigned char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, info.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, identity.versionHigh);
    EXPECT_EQ(fixed->dwFileVersionLS, identity.versionLow);
    EXPECT_EQ(fixed->dwProductVersionMS, identity.versionHigh);
    EXPECT_EQ(fixed->dwProductVersionLS, identity.versionLow);

    EXPECT_EQ(versionString(info, "FileVersion"), SONOLOOK_VERSION_TEXT);
    EXPECT_EQ(versionString(info, "ProductVersion"), SONOLOOK_VERSION_TEXT);
    EXPECT_EQ(versionString(info, "Comments"), "Sonolook Viewer plugin for Directory Opus");
    EXPECT_EQ(versionString(info, "FileDescription"), "sonolook.dll");
    EXPECT_EQ(versionString(info, "InternalName"), "sonolook.dll");
    EXPECT_EQ(versionString(info, "OriginalFilename"), "sonolook.dll");
    EXPECT_NE(versionString(info, "CompanyName"), "<missing>");
    EXPECT_NE(versionString(info, "LegalCopyright"), "<missing>");
    FreeLibrary(module);

    HMODULE data = loadAsData();
    ASSERT_NE(data, nullptr);
    EXPECT_FALSE(resourceBytes(data, MAKEINTRESOURCEA(16), MAKEINTRESOURCEA(1), britishEnglish).empty())
        << "the version resource is in language 2057";
    FreeLibrary(data);
}

std::uint32_t bigEndian32(const unsigned char* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

TEST(Resources, IconGroup104HoldsOne256PixelRgbaPng) {
    HMODULE data = loadAsData();
    ASSERT_NE(data, nullptr);
    const std::vector<unsigned char> group = resourceBytes(data, MAKEINTRESOURCEA(14), MAKEINTRESOURCEA(104), britishEnglish);
    ASSERT_GE(group.size(), 6u + 14u);
    EXPECT_EQ(group[2] | (group[3] << 8), 1); // icons
    ASSERT_EQ(group[4] | (group[5] << 8), 1); // one image
    EXPECT_EQ(group[6], 0);                   // width 0 means 256
    EXPECT_EQ(group[7], 0);
    const WORD iconId = static_cast<WORD>(group[6 + 12] | (group[6 + 13] << 8));

    const std::vector<unsigned char> image = resourceBytes(data, MAKEINTRESOURCEA(3), MAKEINTRESOURCEA(iconId), britishEnglish);
    ASSERT_GE(image.size(), 33u);
    const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    EXPECT_EQ(std::memcmp(image.data(), signature, 8), 0);
    EXPECT_EQ(std::memcmp(image.data() + 12, "IHDR", 4), 0);
    EXPECT_EQ(bigEndian32(image.data() + 16), 256u);
    EXPECT_EQ(bigEndian32(image.data() + 20), 256u);
    EXPECT_EQ(image[24], 8); // bit depth
    EXPECT_EQ(image[25], 6); // RGBA
    FreeLibrary(data);
}

} // namespace
