// The wide entry points through the DLL's exports, as a Unicode host calls them: the wide records
// and their capacities, names that the ANSI code page cannot spell, long paths, archives with such
// names, and the same answers as the 8-bit forms wherever both can name a file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "HostRoad.h"
#include "host/HostPlugin.h"
#include "support/FileTestSupport.h"
#include "support/PakWriter.h"
#include "support/WavWriter.h"

#ifndef SONOLOOK_CORPUS_DIR
#error "the build names the corpus folder (SONOLOOK_CORPUS_DIR)"
#endif

namespace {

using Bytes = std::vector<std::uint8_t>;

// UTF-16 units in the host's wide characters (one unit per element also where wchar_t is wider).
std::wstring utf16(const std::u16string& units) { return std::wstring(units.begin(), units.end()); }
std::wstring widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }
// A buffer's text up to its NUL, or all of it when none was written.
template <std::size_t capacity>
std::wstring textOf(const wchar_t (&buffer)[capacity]) {
    return std::wstring(buffer, std::find(buffer, buffer + capacity, L'\0'));
}

Bytes stereoRamp() {
    std::vector<std::int16_t> values;
    for (std::int16_t i = 0; i < 2000; ++i) {
        values.push_back(static_cast<std::int16_t>(i * 16));
        values.push_back(-1);
    }
    return WavWriter().pcm(2, 44100, 16).data(samples16(values)).bytes();
}
const wchar_t* const rampDescription = L"44100Hz, 16-bit, Stereo (PCM) Wave Audio";

class UnicodeEntryPoints : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(plugin().loaded()) << plugin().errorText(); }
    // A folder beneath the temporary one, named by the given units.
    std::wstring wideFolder(const std::wstring& name) {
        const std::wstring path = folder.widePath() + L"/" + name;
        EXPECT_TRUE(folder.makeFolderW(path));
        return path;
    }
    filetest::TempFolder folder;
};

// The identity's texts under capacities of 1, an exact fit and one unit short, with what lies
// behind each buffer's capacity left as it was; every number as the 8-bit form writes it.
TEST_F(UnicodeEntryPoints, IdentityUnderEachCapacity) {
    const std::wstring texts[] = {L".wav", L"Sonolook Viewer/Player", L"Sonolook Viewer and player plugin",
                                  L"Copyright (c) 2026 The Sonolook developers", L"https://sonolook.invalid/"};
    for (const char* rule : {"one", "exact", "short"}) {
        SCOPED_TRACE(rule);
        wchar_t buffers[5][64];
        std::wmemset(&buffers[0][0], 0xCDCD, 5 * 64);
        PluginInfoRecordW info;
        std::memset(&info, 0xCD, sizeof info);
        wchar_t** pointers[] = {&info.extensions, &info.displayName, &info.description, &info.copyright,
                                &info.webAddress};
        std::uint32_t* capacities[] = {&info.extensionsCapacity, &info.displayNameCapacity, &info.descriptionCapacity,
                                       &info.copyrightCapacity, &info.webAddressCapacity};
        std::uint32_t wanted[5] = {};
        for (int i = 0; i < 5; ++i) {
            const std::uint32_t exact = static_cast<std::uint32_t>(texts[i].size() + 1);
            wanted[i] = std::strcmp(rule, "one") == 0 ? 1 : std::strcmp(rule, "exact") == 0 ? exact : exact - 1;
            *pointers[i] = buffers[i];
            *capacities[i] = wanted[i];
        }
        ASSERT_EQ(plugin().identifyW(&info), TRUE);
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(textOf(buffers[i]), texts[i].substr(0, wanted[i] - 1)) << "text " << i;
            EXPECT_EQ(buffers[i][wanted[i]], static_cast<wchar_t>(0xCDCD)) << "text " << i;
        }
        EXPECT_EQ(info.hostHeader, 0xCDCDCDCDu);
        EXPECT_EQ(info.flags, 0x00008160u);
        EXPECT_EQ(info.versionHigh, 0u);
        EXPECT_EQ(info.versionLow, 2u);
        EXPECT_EQ(info.smallestFileSize, 36u);
        EXPECT_EQ(info.wordAfterHostBlock, 0u);
        EXPECT_EQ(info.identifier.data1, 0x5E6F3C21u);
        EXPECT_EQ(info.hostReserved[0], 0xCD);
    }
}

// The identity's texts unit for byte as the 8-bit form writes them, whatever the capacity (0, and
// ones that read as negative ints, included).
TEST_F(UnicodeEntryPoints, IdentityAsThe8BitFormUnderAnyCapacity) {
    for (const std::uint32_t capacity : {0u, 3u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(capacity);
        char narrow[64];
        std::memset(narrow, 0xCD, sizeof narrow);
        wchar_t wide[64];
        std::wmemset(wide, 0xCDCD, 64);
        PluginInfoRecord a{};
        a.copyright = narrow;
        a.copyrightCapacity = capacity;
        PluginInfoRecordW w{};
        w.copyright = wide;
        w.copyrightCapacity = capacity;
        ASSERT_EQ(plugin().identify(&a), TRUE);
        ASSERT_EQ(plugin().identifyW(&w), TRUE);
        for (int i = 0; i < 64; ++i) {
            const wchar_t expected = narrow[i] == static_cast<char>(0xCD) ? static_cast<wchar_t>(0xCDCD) : narrow[i];
            ASSERT_EQ(wide[i], expected) << "unit " << i;
        }
    }
}

// The description of a file under capacities of 1, an exact fit, one unit short and 0 (the whole
// text and its terminator, nothing after it).
TEST_F(UnicodeEntryPoints, DescriptionUnderEachCapacity) {
    const std::wstring name = widen(folder.add("capacity.wav", stereoRamp()));
    const std::uint32_t exact = static_cast<std::uint32_t>(std::wcslen(rampDescription) + 1);
    const struct {
        std::uint32_t capacity;
        std::uint32_t written;
    } rows[] = {{1, 0}, {exact, exact - 1}, {exact - 1, exact - 2}, {0, exact - 1}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.capacity);
        HostRecordW host;
        FileInfoRecordW& info = host.info;
        info.descriptionCapacity = row.capacity;
        ASSERT_EQ(identifyFile(name, host), TRUE);
        EXPECT_EQ(host.description(), std::wstring(rampDescription, row.written));
        EXPECT_EQ(host.text[row.written + 1], HostRecordW::untouchedUnit);
        EXPECT_EQ(info.descriptionCapacity, row.capacity);
        EXPECT_EQ(info.flags, 0x805u);
        EXPECT_EQ(info.privateArea.frameCount, 2000u);
        EXPECT_EQ(info.privateSpare, 0xCDCDCDCDu);
    }
}

// Names the ANSI code page cannot spell (and one it can), in a folder that it cannot spell either:
// each is identified and drawn through the wide forms, with the picture of the same file named in
// ASCII.
TEST_F(UnicodeEntryPoints, NamesBeyondTheCodePage) {
    const std::wstring beyond = wideFolder(utf16(u"Проба-音"));
    const auto reference = identifyAndDraw(widen(folder.add("plain.wav", stereoRamp())));
    ASSERT_EQ(reference.identified, TRUE);
    ASSERT_FALSE(reference.picture.pixels.empty());
    const std::u16string names[] = {u"тон.wav", u"音声.wav", u"\U0001F3B5 note.wav", u"e\u0301te\u0301.wav",
                                    u"caf\u00e9.wav"};
    for (const std::u16string& leaf : names) {
        const std::wstring name = beyond + L"/" + utf16(leaf);
        SCOPED_TRACE(::testing::PrintToString(std::vector<unsigned>(leaf.begin(), leaf.end())));
        ASSERT_TRUE(folder.writeW(name, stereoRamp()));
        const auto answer = identifyAndDraw(name);
        ASSERT_EQ(answer.identified, TRUE);
        EXPECT_EQ(answer.host.description(), rampDescription);
        EXPECT_EQ(answer.picture.pixels, reference.picture.pixels);
        // The same name with Windows' own separators.
        std::wstring backslashed = name;
        for (wchar_t& unit : backslashed) {
            unit = unit == L'/' ? L'\\' : unit;
        }
        EXPECT_EQ(identifyAndDraw(backslashed).identified, TRUE);
    }
    // A name that is not UTF-16 (a lone surrogate) names no file and is refused, record untouched.
    const auto lone = identifyAndDraw(beyond + L"/" + utf16(u"\xD800.wav"));
    EXPECT_EQ(lone.identified, FALSE);
    EXPECT_TRUE(lone.host.untouched());
}

// A path far beyond 260 characters, as it is, and (on Windows) with "\\?\" in front, whose
// backslashes the file layer's '/' must not break.
TEST_F(UnicodeEntryPoints, PathsBeyond260Characters) {
    std::wstring path = wideFolder(utf16(u"длинный"));
    for (int level = 0; level < 6; ++level) {
        path += L"/" + utf16(u"папка-") + std::wstring(50, L'x') + widen(std::to_string(level));
        ASSERT_TRUE(folder.makeFolderW(path));
    }
    const std::wstring name = path + utf16(u"/тон.wav");
    ASSERT_GT(name.size(), 300u);
    ASSERT_TRUE(folder.writeW(name, stereoRamp()));
    const auto answer = identifyAndDraw(name);
    EXPECT_EQ(answer.identified, TRUE);
    EXPECT_FALSE(answer.picture.pixels.empty());
#ifdef _WIN32
    std::wstring prefixed = L"\\\\?\\" + name;
    for (wchar_t& unit : prefixed) {
        unit = unit == L'/' ? L'\\' : unit;
    }
    EXPECT_EQ(identifyAndDraw(prefixed).identified, TRUE);
#endif
}

// An archive whose own name the code page cannot spell: its ASCII entry, an entry whose name is
// UTF-8, and one whose name is in the code page (looked up by its ANSI bytes, as the 8-bit form
// would look it up).
TEST_F(UnicodeEntryPoints, ArchiveNamedBeyondTheCodePage) {
    const std::wstring archiveFolder = wideFolder(utf16(u"Архив"));
    const std::wstring inCodePage = utf16(u"caf\u00e9.wav");
    char ansi[16] = {};
    BOOL defaulted = FALSE;
    ASSERT_GT(WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, inCodePage.c_str(), -1, ansi, sizeof ansi, nullptr,
                                  &defaulted),
              0);
    ASSERT_FALSE(defaulted);
    const std::string utf8Entry = "\xD0\xB7\xD0\xB2\xD1\x83\xD0\xBA/\xE9\x9F\xB3.wav"; // звук/音.wav
    const std::wstring archive = archiveFolder + utf16(u"/банк-音.pak");
    ASSERT_TRUE(folder.writeW(archive, PakWriter()
                                          .stored("drums/kick.wav", stereoRamp())
                                          .stored(utf8Entry, stereoRamp())
                                          .stored(ansi, stereoRamp())
                                          .bytes()));
    const std::wstring entries[] = {L"\\drums\\kick.wav", utf16(u"\\звук\\音.wav"), L"\\" + inCodePage};
    for (const std::wstring& entry : entries) {
        const auto answer = identifyAndDraw(archive + entry);
        EXPECT_EQ(answer.identified, TRUE);
        EXPECT_EQ(answer.host.description(), rampDescription);
        EXPECT_FALSE(answer.picture.pixels.empty());
    }
    EXPECT_EQ(identifyAndDraw(archive + L"\\missing.wav").identified, FALSE);
    // A name outside any archive lets go of the archive file, so that its folder can be removed.
    EXPECT_EQ(identifyAndDraw(widen(folder.add("release.wav", stereoRamp()))).identified, TRUE);
}

// Files of every kind the other tests build (formats the plugin describes, draws or refuses),
// the fuzzers' findings, and archive entries, through both forms: the same BOOL, record,
// description and picture, with and without a signalled abort event.
TEST_F(UnicodeEntryPoints, SameAnswersAsThe8BitForms) {
    HANDLE signalled = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    ASSERT_NE(signalled, nullptr);
    const Bytes frames = samples16({1000, -1000, 32767, -32768, 0, 5});
    const Bytes kinds[] = {
        stereoRamp(),
        WavWriter().pcm(1, 8000, 8).data(samples8({0, 128, 255, 7})).bytes(),
        WavWriter().pcm(1, 48000, 24).data(samples24({-8388608, 8388607, 0})).bytes(),
        WavWriter().pcm(3, 96000, 32).data(samples32({1, -1, 2, -2, 3, -3})).bytes(),
        WavWriter().fmt(2, 1, 22050, 11155, 512, 4).data(Bytes(512, 1)).bytes(),      // ADPCM: described only
        WavWriter().fmt(1, 1, 0, 0, 2, 16).data(frames).bytes(),                       // rate 0: no picture
        WavWriter().data(frames).bytes(),                                              // no fmt chunk
        WavWriter().formType("AVI ").pcm(1, 8000, 16).data(frames).bytes(),            // not WAVE
        WavWriter().chunk("LIST", Bytes(7, 'x'), true).pcm(2, 11025, 16).data(frames, true).bytes(),
        Bytes(30, 0),
    };
    std::vector<std::string> names;
    PakWriter pak;
    for (std::size_t i = 0; i < sizeof kinds / sizeof kinds[0]; ++i) {
        names.push_back(folder.add("kind" + std::to_string(i) + ".wav", kinds[i]));
        pak.stored("dir/" + std::to_string(i) + ".wav", kinds[i]);
    }
    const std::string archive = folder.add("kinds.pak", pak.bytes());
    for (std::size_t i = 0; i < sizeof kinds / sizeof kinds[0]; ++i) {
        names.push_back(archive + "\\dir\\" + std::to_string(i) + ".wav");
    }
    const std::string corpus = SONOLOOK_CORPUS_DIR;
    for (const char* finding : {"wave_scan/gigabyte-frames.wav", "pak/declared-gigabytes.pak", "pak/claimed-directory.pak"}) {
        names.push_back(corpus + "/" + finding);
        names.push_back(corpus + "/" + finding + "\\a.wav");
    }
    ASSERT_GT(names.size(), 20u);
    std::size_t identified = 0;
    for (const std::string& name : names) {
        for (HANDLE abortEvent : {static_cast<HANDLE>(nullptr), signalled}) {
            SCOPED_TRACE(name + (abortEvent != nullptr ? " (aborted)" : ""));
            const auto narrow = identifyAndDraw(name, {64, 48}, abortEvent);
            const auto wide = identifyAndDraw(widen(name), {64, 48}, abortEvent);
            ASSERT_EQ(wide.identified, narrow.identified);
            EXPECT_EQ(wide.picture.pixels, narrow.picture.pixels);
            // Byte for byte, but the description pointer; the text unit for byte.
            FileInfoRecord converted;
            std::memcpy(&converted, &wide.host.info, sizeof converted);
            converted.description = narrow.host.info.description;
            EXPECT_EQ(std::memcmp(&converted, &narrow.host.info, sizeof converted), 0);
            EXPECT_EQ(wide.host.text[0] == HostRecordW::untouchedUnit, narrow.host.text[0] == HostRecord::untouchedUnit);
            if (narrow.identified) {
                EXPECT_EQ(wide.host.description(), widen(narrow.host.description()));
                identified += abortEvent == nullptr ? 1 : 0;
            }
        }
    }
    EXPECT_GT(identified, 5u);
    CloseHandle(signalled);
}

} // namespace
