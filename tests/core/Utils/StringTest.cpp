// The file layer's string: replacement helpers and failure without change.
#include <gtest/gtest.h>

#include <cstring>
#include <utility>

#include "core/Utils/String.h"
#include "core/Utils/TextCopy.h"
#include "support/FileTestSupport.h"

namespace {

TEST(TextCopy, CutsToTheCapacityAndAlwaysEndsWithNul) {
    struct Case {
        const char* source;
        std::uint32_t capacity;
        const char* expected; // null: nothing written
    } const cases[] = {
        {"Stereo", 16, "Stereo"}, {"Stereo", 7, "Stereo"}, {"Stereo", 6, "Stere"},
        {"Stereo", 1, ""},        {"Stereo", 0, nullptr},  {nullptr, 4, ""},
    };
    for (const Case& c : cases) {
        char buffer[16];
        std::memset(buffer, '#', sizeof buffer);
        const std::uint32_t copied = copyText(buffer, c.capacity, c.source);
        if (c.expected == nullptr) {
            EXPECT_EQ(copied, 0u);
            EXPECT_EQ(buffer[0], '#');
            continue;
        }
        EXPECT_STREQ(buffer, c.expected) << c.capacity;
        EXPECT_EQ(copied, std::strlen(c.expected));
        EXPECT_EQ(buffer[copied + 1], '#') << "nothing written past the NUL";
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
