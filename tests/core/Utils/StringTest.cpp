// The file layer's string: replacement helpers and failure without change.
#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <utility>

#include "core/Utils/String.h"
#include "core/Utils/TextCopy.h"
#include "support/FileTestSupport.h"

namespace {

// Every form (8-bit, 8-bit into UTF-16, UTF-16) cuts alike; a byte above 0x7F becomes the unit of
// the same value.
TEST(TextCopy, CutsToTheCapacityAndAlwaysEndsWithNul) {
    struct Case {
        const char* source;
        std::uint32_t capacity;
        const char* expected; // null: nothing written
    } const cases[] = {
        {"Stereo", 16, "Stereo"}, {"Stereo", 7, "Stereo"}, {"Stereo", 6, "Stere"},  {"Stereo", 1, ""},
        {"Stereo", 0, nullptr},   {nullptr, 4, ""},        {"\xE9t\xE9", 3, "\xE9t"},
    };
    for (const Case& c : cases) {
        char buffer[16];
        std::memset(buffer, '#', sizeof buffer);
        wchar_t wide[16];
        std::wmemset(wide, L'#', 16);
        wchar_t fromWide[16];
        std::wmemset(fromWide, L'#', 16);
        std::wstring wideSource;
        for (const char* p = c.source; p != nullptr && *p != '\0'; ++p) {
            wideSource += static_cast<wchar_t>(static_cast<unsigned char>(*p));
        }
        const std::uint32_t copied = copyText(buffer, c.capacity, c.source);
        EXPECT_EQ(copyText(wide, c.capacity, c.source), copied) << c.capacity;
        EXPECT_EQ(copyText(fromWide, c.capacity, c.source != nullptr ? wideSource.c_str() : nullptr), copied)
            << c.capacity;
        if (c.expected == nullptr) {
            EXPECT_EQ(copied, 0u);
            EXPECT_EQ(buffer[0], '#');
            EXPECT_EQ(wide[0], L'#');
            EXPECT_EQ(fromWide[0], L'#');
            continue;
        }
        EXPECT_STREQ(buffer, c.expected) << c.capacity;
        EXPECT_EQ(copied, std::strlen(c.expected));
        EXPECT_EQ(buffer[copied + 1], '#') << "nothing written past the NUL";
        for (const wchar_t* got : {wide, fromWide}) {
            for (std::uint32_t i = 0; i < copied; ++i) {
                EXPECT_EQ(got[i], static_cast<wchar_t>(static_cast<unsigned char>(c.expected[i]))) << c.capacity;
            }
            EXPECT_EQ(got[copied], L'\0') << c.capacity;
            EXPECT_EQ(got[copied + 1], L'#') << "nothing written past the NUL";
        }
    }
}

TEST(String, AssignAppendFindAndSubstrings) {
    String s;
    EXPECT_STREQ(s.c_str(), "");
    EXPECT_TRUE(s.empty());
    ASSERT_TRUE(s.assign("music/a.wav"));
    ASSERT_TRUE(s.append("x"));
    ASSERT_TRUE(s.append('y'));
    ASSERT_TRUE(s.append(s)); // appending itself copies first
    EXPECT_STREQ(s.c_str(), "music/a.wavxymusic/a.wavxy");
    EXPECT_EQ(s.length(), 26u);
    EXPECT_EQ(s.find("a.wav"), 6u);
    EXPECT_EQ(s.find("a.wav", 7), 19u);
    EXPECT_EQ(s.find("zzz"), String::npos);
    EXPECT_EQ(s.find(""), String::npos);
    EXPECT_EQ(s.find('/'), 5u);
    EXPECT_EQ(s.findLast('/'), 18u);
    String part;
    ASSERT_TRUE(part.assignSubstring(s, 6, 5));
    EXPECT_STREQ(part.c_str(), "a.wav");
    ASSERT_TRUE(part.assignSubstring(s, 20, 1000)); // cut to what the source holds
    EXPECT_STREQ(part.c_str(), ".wavxy");
    part.truncate(2);
    EXPECT_STREQ(part.c_str(), ".w");
    String moved(std::move(part));
    EXPECT_TRUE(part.empty());
    EXPECT_TRUE(moved.equals(".w"));
    EXPECT_FALSE(moved.equals(".wa"));
}

TEST(String, CharacterAndTextReplacement) {
    String s;
    ASSERT_TRUE(s.assign("c:\\music\\a.wav"));
    EXPECT_EQ(s.replaceCharacter('\\', '/'), 2u);
    EXPECT_STREQ(s.c_str(), "c:/music/a.wav");

    // One pass, left to right, resuming behind each replacement: overlaps are not seen again.
    const struct {
        const char* in;
        const char* out;
        std::uint32_t count;
    } cases[] = {
        {"a/./b", "a/b", 1},       {"a/././b", "a/./b", 1},  {"a/./././b", "a/./b", 2}, {"a/./b/./c", "a/b/c", 2},
        {"./a/.", "./a/.", 0},     {"/./", "/", 1},           {"", "", 0},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(s.assign(c.in));
        std::uint32_t count = 99;
        ASSERT_TRUE(s.replaceText("/./", "/", count)) << c.in;
        EXPECT_STREQ(s.c_str(), c.out) << c.in;
        EXPECT_EQ(count, c.count) << c.in;
    }
    ASSERT_TRUE(s.assign("aXbXc"));
    std::uint32_t count = 0;
    ASSERT_TRUE(s.replaceText("X", "<=>", count)); // a growing replacement
    EXPECT_STREQ(s.c_str(), "a<=>b<=>c");
    EXPECT_EQ(count, 2u);
    EXPECT_FALSE(s.replaceText("", "y", count));
}

TEST(String, FailedAllocationsLeaveTheStringUnchanged) {
    FaultRegistry faults(filetest::faultyCategories);
    String s;
    ASSERT_TRUE(s.assign("keep"));
    faults.failFrom(faults.heap().requests.load());
    EXPECT_FALSE(s.assign("something longer"));
    EXPECT_FALSE(s.append(" and more than fits"));
    std::uint32_t count = 7;
    EXPECT_FALSE(s.replaceText("e", "EE", count));
    EXPECT_EQ(count, 0u);
    String other;
    EXPECT_FALSE(other.assign(s));
    EXPECT_TRUE(other.empty());
    EXPECT_STREQ(s.c_str(), "keep");
    faults.failFrom(-1);
    s.clear();
    EXPECT_EQ(faults.heap().outstanding(), 0u);
}

} // namespace
