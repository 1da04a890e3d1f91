// What a UTF-8 name becomes on its way to CreateFileW, and under which bytes an archive is asked
// for an entry named in UTF-8.
#include <gtest/gtest.h>

#include <string>

#include "core/fileio/NameConversion.h"

namespace {

std::wstring units(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }

// The wide form of each kind of path: short ones as they are, long drive and UNC paths with the
// prefix that lifts the length limit, a name given with the prefix with its backslashes back.
TEST(NameConversion, WidePathForEachForm) {
    const std::string longTail = "/" + std::string(300, 'x') + "/\xD1\x82.wav"; // ".../т.wav"
    const std::wstring wideTail = L"\\" + std::wstring(300, L'x') + units(u"\\т.wav");
    const struct {
        std::string utf8;
        std::wstring wide;
    } rows[] = {
        {"C:/short/\xE9\x9F\xB3.wav", units(u"C:/short/音.wav")},
        {"relative/\xF0\x9F\x8E\xB5.wav", units(u"relative/\U0001F3B5.wav")},
        {"C:" + longTail, L"\\\\?\\C:" + wideTail},
        {"//server/share" + longTail, L"\\\\?\\UNC\\server\\share" + wideTail},
        {"relative" + longTail, L"relative" + std::wstring(longTail.begin(), longTail.end() - 6) + units(u"т.wav")},
        {"//?/C:/given/a.wav", L"\\\\?\\C:\\given\\a.wav"},
        // 259 units (the 2-byte letter counts one): short enough without the prefix.
        {"C:/" + std::string(251, 'y') + "\xD1\x82.wav", L"C:/" + std::wstring(251, L'y') + units(u"т.wav")},
    };
    for (const auto& row : rows) {
        WideName name;
        ASSERT_TRUE(name.assignPath(row.utf8.c_str())) << row.utf8;
        EXPECT_EQ(std::wstring(name.units()), row.wide) << row.utf8;
    }
    WideName broken;
    EXPECT_FALSE(broken.assignPath("C:/\xC3(.wav")) << "not UTF-8: no name";
    EXPECT_EQ(broken.units(), nullptr);
}

// An entry named in UTF-8 is looked up by its ANSI bytes when every character has one, else by
// its UTF-8 bytes.
TEST(NameConversion, EntryLookupName) {
    const struct {
        const char* utf8;
        const char* lookup;
    } rows[] = {
        {"drums/kick.wav", "drums/kick.wav"},
        {"caf\xC3\xA9.wav", "caf\xE9.wav"},                   // é: in every Western code page
        {"\xD0\xB7\xD0\xB2/\xE9\x9F\xB3.wav", "\xD0\xB7\xD0\xB2/\xE9\x9F\xB3.wav"}, // Cyrillic and CJK
        {"caf\xC3\xA9-\xE9\x9F\xB3.wav", "caf\xC3\xA9-\xE9\x9F\xB3.wav"}, // one character without: all UTF-8
        {"", ""},
    };
    for (const auto& row : rows) {
        String entry;
        ASSERT_TRUE(entry.assign(row.utf8));
        String lookup;
        ASSERT_TRUE(entryLookupName(entry, lookup));
        EXPECT_STREQ(lookup.c_str(), row.lookup) << row.utf8;
    }
}

} // namespace
