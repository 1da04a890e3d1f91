// The entry points reached the way the host reaches them: through the built DLL, by plain names.
#include <gtest/gtest.h>

#include <cstring>

#include "plugin/EntryPoints.h"
#include "host/HostPlugin.h"

namespace {

class EntryPoints : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(plugin().loaded()) << plugin().errorText(); }
};

TEST_F(EntryPoints, ExportsOnlyPlainNames) {
    // Decorated or stdcall-style names would not be found by the host.
    EXPECT_EQ(GetProcAddress(plugin().handle(), "_DVP_Init"), nullptr);
    EXPECT_EQ(GetProcAddress(plugin().handle(), "DVP_Init@0"), nullptr);
    EXPECT_EQ(GetProcAddress(plugin().handle(), "DllMain"), nullptr);
}

TEST(InitCount, CountsBalancedCallsAndStopsAtZero) {
    // The module's own copy of the entry points, linked into this program, shows the count (through
    // the DLL an Uninit too many is invisible: Init answers TRUE either way).
    const int start = pluginInitCount();
    for (int i = 0; i < start + 3; ++i) {
        DVP_Uninit();
    }
    EXPECT_EQ(pluginInitCount(), 0);
    EXPECT_EQ(DVP_Init(), TRUE);
    EXPECT_EQ(pluginInitCount(), 1); // a raise from 0 again: a start-up
    EXPECT_EQ(DVP_Init(), TRUE);
    EXPECT_EQ(pluginInitCount(), 2);
    DVP_Uninit();
    DVP_Uninit();
    DVP_Uninit();
    EXPECT_EQ(pluginInitCount(), 0);
}

PluginInfoRecord recordWithBuffers(char (&ext)[64], char (&name)[64], char (&desc)[64], char (&copy)[128],
                                   char (&web)[128]) {
    PluginInfoRecord info;
    std::memset(&info, 0xCD, sizeof info);
    info.extensions = ext;
    info.extensionsCapacity = sizeof ext;
    info.displayName = name;
    info.displayNameCapacity = sizeof name;
    info.description = desc;
    info.descriptionCapacity = sizeof desc;
    info.copyright = copy;
    info.copyrightCapacity = sizeof copy;
    info.webAddress = web;
    info.webAddressCapacity = sizeof web;
    return info;
}

TEST_F(EntryPoints, IdentifyWritesEveryFieldAndLeavesTheHostsOwn) {
    char ext[64], name[64], desc[64], copy[128], web[128];
    PluginInfoRecord info = recordWithBuffers(ext, name, desc, copy, web);
    ASSERT_EQ(plugin().identify(&info), TRUE);
    EXPECT_EQ(info.hostHeader, 0xCDCDCDCDu);
    EXPECT_EQ(info.flags, 0x00008160u);
    EXPECT_STREQ(ext, ".wav");
    EXPECT_STREQ(name, "Sonolook Viewer/Player");
    EXPECT_STREQ(desc, "Sonolook Viewer and player plugin");
    EXPECT_GT(std::strlen(copy), 0u);
    EXPECT_GT(std::strlen(web), 0u);
    EXPECT_EQ(info.smallestFileSize, 36u);
    EXPECT_EQ(info.wordAfterHostBlock, 0u);
    for (unsigned char byte : info.hostReserved) {
        EXPECT_EQ(byte, 0xCD);
    }
    // The identifier is fixed: a second call writes the same bytes.
    PluginInfoRecord again = recordWithBuffers(ext, name, desc, copy, web);
    ASSERT_EQ(plugin().identify(&again), TRUE);
    EXPECT_EQ(std::memcmp(&info.identifier, &again.identifier, sizeof info.identifier), 0);
    EXPECT_NE(info.identifier.data1, 0xCDCDCDCDu);
}

TEST_F(EntryPoints, IdentifyCutsStringsToTheirCapacity) {
    char ext[64], name[64], desc[64], copy[128], web[128];
    std::memset(ext, 'x', sizeof ext);
    std::memset(name, 'x', sizeof name);
    PluginInfoRecord info = recordWithBuffers(ext, name, desc, copy, web);
    info.extensionsCapacity = 1;                                 // only the terminator
    info.displayNameCapacity = sizeof "Sonolook Viewer/Player"; // exactly the string and its NUL
    info.descriptionCapacity = 9;
    ASSERT_EQ(plugin().identify(&info), TRUE);
    EXPECT_EQ(ext[0], '\0');
    EXPECT_EQ(ext[1], 'x');
    EXPECT_STREQ(name, "Sonolook Viewer/Player");
    EXPECT_STREQ(desc, "Sonoloo" "k");
    EXPECT_EQ(std::strlen(desc), 8u);
}

TEST_F(EntryPoints, IdentifyWithNoBuffersStillWritesTheNumbers) {
    PluginInfoRecord info;
    std::memset(&info, 0, sizeof info);
    info.extensionsCapacity = 100;
    ASSERT_EQ(plugin().identify(&info), TRUE);
    EXPECT_EQ(info.flags, 0x00008160u);
    EXPECT_EQ(info.smallestFileSize, 36u);
    EXPECT_NE(info.identifier.data1, 0u);
}

} // namespace
