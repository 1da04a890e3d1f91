// What a UTF-8 name becomes on its way to CreateFileW, and under which bytes an archive is asked
// for an entry named in UTF-8.
#include <gtest/gtest.h>

#include <string>

#include "core/fileio/NameConversion.h"

namespace {

std::wstring units(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }

// The wide form of each kind of path: short ones as they are; long drive and UNC paths normalised
// as Windows would (".", "..", doubled separators, a trailing dot or space), then given the prefix
// that lifts the length limit; prefixed and device names as they are.
TEST(NameConversion, WidePathForEachForm) {
    const std::string longTail = "/" + std::string(300, 'x') + "/\xD1\x82.wav"; // ".../т.wav"
    const std::wstring wideTail = L"\\" + std::wstring(300, L'x') + units(u"\\т.wav");
    const std::string y251 = "C:/" + std::string(251, 'y');
    const std::wstring wideY251 = L"C:\\" + std::wstring(251, L'y');
    const struct {
        std::string utf8;
        std::wstring wide;
    } rows[] = {
        {"C:/short/\xE9\x9F\xB3.wav", units(u"C:/short/音.wav")},
        {"relative/\xF0\x9F\x8E\xB5.wav", units(u"relative/\U0001F3B5.wav")},
        {"relative/../a.wav", L"relative/../a.wav"},
        {"C:" + longTail, L"\\\\?\\C:" + wideTail},
        {"//server/share" + longTail, L"\\\\?\\UNC\\server\\share" + wideTail},
        {"//server/share/sub/.." + longTail, L"\\\\?\\UNC\\server\\share" + wideTail},
        {"C:/sub/.." + longTail, L"\\\\?\\C:" + wideTail},
        {"C:/./" + longTail + ".", L"\\\\?\\C:" + wideTail},
        {"C:/" + longTail + " ", L"\\\\?\\C:" + wideTail},
        // 259 units (the 2-byte letter counts one): short enough without the prefix; 260 and 261 not.
        {y251 + "\xD1\x82.wav", L"C:/" + std::wstring(251, L'y') + units(u"т.wav")},
        {y251 + "y\xD1\x82.wav", L"\\\\?\\" + wideY251 + L"y" + units(u"т.wav")},
        {y251 + "/./\xD1\x82.wav", L"\\\\?\\" + wideY251 + units(u"\\т.wav")},
        {y251 + "//\xD1\x82.wav", L"\\\\?\\" + wideY251 + units(u"\\т.wav")},
        // Normalised below 260: Windows opens them as they are.
        {y251 + "/../\xD1\x82.wav", L"C:/" + std::wstring(251, L'y') + L"/../" + units(u"т.wav")},
        {y251 + "\xD1\x82.wav.", L"C:/" + std::wstring(251, L'y') + units(u"т.wav.")},
        {"//?/C:/given//a.wav", L"//?/C:/given//a.wav"},
        {"//./C:/dir/./a.wav", L"//./C:/dir/./a.wav"},
        {"\\\\?\\C:\\given\\\\a.wav", L"\\\\?\\C:\\given\\\\a.wav"},
    };
    for (const auto& row : rows) {
        WideName name;
        ASSERT_TRUE(name.assignPath(row.utf8.c_str())) << row.utf8;
        EXPECT_EQ(std::wstring(name.units()), row.wide) << row.utf8;
    }
    // A relative name made long by the current folder: prefixed, normalised.
    WideName relative;
    ASSERT_TRUE(relative.assignPath(("relative/sub/.." + longTail).c_str()));
    const std::wstring made(relative.units());
    EXPECT_EQ(made.rfind(L"\\\\?\\", 0), 0u) << "prefixed";
    EXPECT_EQ(made.find(L".."), std::wstring::npos);
    EXPECT_EQ(made.substr(made.size() - wideTail.size() - 9), L"\\relative" + wideTail);
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
