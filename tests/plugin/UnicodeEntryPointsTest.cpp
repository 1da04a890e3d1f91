// The wide entry points through the DLL's exports, as a Unicode host calls them: the wide records
// and their capacities, names that the ANSI code page cannot spell, long paths, archives with such
// names, and the same answers as the 8-bit forms wherever both can name a file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "host/BitmapPixels.h"
#include "host/HostPlugin.h"
#include "support/PakWriter.h"
#include "support/WavWriter.h"

#ifndef SONOLOOK_CORPUS_DIR
#error "the build names the corpus folder (SONOLOOK_CORPUS_DIR)"
#endif

namespace {

using Bytes = std::vector<std::uint8_t>;
using Pixels = std::vector<std::uint32_t>;

// UTF-16 units in the host's wide characters (one unit per element also where wchar_t is wider).
std::wstring utf16(const std::u16string& units) { return std::wstring(units.begin(), units.end()); }
std::wstring widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }
// A buffer's text up to its NUL, or all of it when none was written.
template <std::size_t capacity>
std::wstring textOf(const wchar_t (&buffer)[capacity]) {
    return std::wstring(buffer, std::find(buffer, buffer + capacity, L'\0'));
}

// A fresh folder under the temporary directory, named by the given units; files and folders made
// through it are removed at the end, innermost first.
class WideFolder {
public:
    explicit WideFolder(const std::wstring& name) {
        char temp[MAX_PATH + 1] = {};
        const DWORD length = GetTempPathA(MAX_PATH, temp);
        // A folder a crashed run left behind (process numbers come round again) is not reused.
        for (int attempt = 0; attempt < 100 && !made; ++attempt) {
            root = widen(std::string(temp, length) + "sonolook-" + std::to_string(GetCurrentProcessId()) + "-" +
                         std::to_string(attempt) + "-") +
                   name;
            made = folder(root);
        }
    }
    ~WideFolder() {
        for (auto it = created.rbegin(); it != created.rend(); ++it) {
            if (!DeleteFileW(it->c_str())) {
                RemoveDirectoryW(it->c_str());
            }
        }
    }
    WideFolder(const WideFolder&) = delete;
    WideFolder& operator=(const WideFolder&) = delete;

    bool folder(const std::wstring& path) {
        if (!CreateDirectoryW(path.c_str(), nullptr)) {
            return false;
        }
        created.push_back(path);
        return true;
    }
    bool write(const std::wstring& path, const Bytes& bytes) {
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            return false;
        }
        created.push_back(path);
        DWORD written = 0;
        const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(file);
        return ok && written == bytes.size();
    }

    std::wstring root;
    bool made = false;

private:
    std::vector<std::wstring> created;
};

Bytes stereoRamp() {
    std::vector<std::int16_t> values;
    for (std::int16_t i = 0; i < 2000; ++i) {
        values.push_back(static_cast<std::int16_t>(i * 16));
        values.push_back(-1);
    }
    return WavWriter().pcm(2, 44100, 16).data(samples16(values)).bytes();
}
const wchar_t* const rampDescription = L"44100Hz, 16-bit, Stereo (PCM) Wave Audio";

// What a host keeps of one identify and draw through the wide forms.
struct WideAnswer {
    BOOL identified = FALSE;
    FileInfoRecordW info{};
    wchar_t text[96] = {};
    Pixels pixels;
};

WideAnswer askWide(const std::wstring& name, HANDLE abortEvent = nullptr) {
    WideAnswer answer;
    std::memset(&answer.info, 0xCD, sizeof answer.info);
    std::wmemset(answer.text, 0xCDCD, 96);
    answer.info.description = answer.text;
    answer.info.descriptionCapacity = 96;
    std::vector<wchar_t> path(name.begin(), name.end());
    path.push_back(L'\0');
    answer.identified = plugin().identifyFileW(nullptr, path.data(), &answer.info, abortEvent);
    ImageSizeRecord size{64, 48};
    if (HBITMAP bitmap = plugin().loadBitmapW(nullptr, path.data(), &answer.info, &size, abortEvent)) {
        LONG width = 0, height = 0;
        answer.pixels = readBack(bitmap, width, height);
        DeleteObject(bitmap);
    }
    return answer;
}

class UnicodeEntryPoints : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(plugin().loaded()) << plugin().errorText(); }
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
    ScratchFile file("capacity.wav", stereoRamp());
    const std::wstring name = widen(file.path());
    const std::uint32_t exact = static_cast<std::uint32_t>(std::wcslen(rampDescription) + 1);
    const struct {
        std::uint32_t capacity;
        std::uint32_t written;
    } rows[] = {{1, 0}, {exact, exact - 1}, {exact - 1, exact - 2}, {0, exact - 1}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.capacity);
        wchar_t text[96];
        std::wmemset(text, 0xCDCD, 96);
        FileInfoRecordW info;
        std::memset(&info, 0xCD, sizeof info);
        info.description = text;
        info.descriptionCapacity = row.capacity;
        std::vector<wchar_t> path(name.begin(), name.end());
        path.push_back(L'\0');
        ASSERT_EQ(plugin().identifyFileW(nullptr, path.data(), &info, nullptr), TRUE);
        EXPECT_EQ(textOf(text), std::wstring(rampDescription, row.written));
        EXPECT_EQ(text[row.written + 1], static_cast<wchar_t>(0xCDCD));
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
    WideFolder folder(utf16(u"Проба-音"));
    ASSERT_TRUE(folder.made);
    ScratchFile plain("plain.wav", stereoRamp());
    const WideAnswer reference = askWide(widen(plain.path()));
    ASSERT_EQ(reference.identified, TRUE);
    ASSERT_FALSE(reference.pixels.empty());
    const std::u16string names[] = {u"тон.wav", u"音声.wav", u"\U0001F3B5 note.wav", u"e\u0301te\u0301.wav",
                                    u"caf\u00e9.wav"};
    for (const std::u16string& leaf : names) {
        const std::wstring name = folder.root + L"/" + utf16(leaf);
        SCOPED_TRACE(::testing::PrintToString(std::vector<unsigned>(leaf.begin(), leaf.end())));
        ASSERT_TRUE(folder.write(name, stereoRamp()));
        const WideAnswer answer = askWide(name);
        ASSERT_EQ(answer.identified, TRUE);
        EXPECT_EQ(textOf(answer.text), rampDescription);
        EXPECT_EQ(answer.pixels, reference.pixels);
        // The same name with Windows' own separators.
        std::wstring backslashed = name;
        for (wchar_t& unit : backslashed) {
            unit = unit == L'/' ? L'\\' : unit;
        }
        EXPECT_EQ(askWide(backslashed).identified, TRUE);
    }
    // A name that is not UTF-16 (a lone surrogate) names no file and is refused, record untouched.
    const WideAnswer lone = askWide(folder.root + L"/" + utf16(u"\xD800.wav"));
    EXPECT_EQ(lone.identified, FALSE);
    EXPECT_EQ(lone.info.flags, 0xCDCDCDCDu);
    EXPECT_EQ(lone.text[0], static_cast<wchar_t>(0xCDCD));
}

// A path far beyond 260 characters, as it is, and (on Windows) with "\\?\" in front, whose
// backslashes the file layer's '/' must not break.
TEST_F(UnicodeEntryPoints, PathsBeyond260Characters) {
    WideFolder folder(utf16(u"длинный"));
    ASSERT_TRUE(folder.made);
    std::wstring path = folder.root;
    for (int level = 0; level < 6; ++level) {
        path += L"/" + utf16(u"папка-") + std::wstring(50, L'x') + widen(std::to_string(level));
        ASSERT_TRUE(folder.folder(path));
    }
    const std::wstring name = path + utf16(u"/тон.wav");
    ASSERT_GT(name.size(), 300u);
    ASSERT_TRUE(folder.write(name, stereoRamp()));
    const WideAnswer answer = askWide(name);
    EXPECT_EQ(answer.identified, TRUE);
    EXPECT_FALSE(answer.pixels.empty());
#ifdef _WIN32
    std::wstring prefixed = L"\\\\?\\" + name;
    for (wchar_t& unit : prefixed) {
        unit = unit == L'/' ? L'\\' : unit;
    }
    EXPECT_EQ(askWide(prefixed).identified, TRUE);
#endif
}

// An archive whose own name the code page cannot spell: its ASCII entry, an entry whose name is
// UTF-8, and one whose name is in the code page (looked up by its ANSI bytes, as the 8-bit form
// would look it up).
TEST_F(UnicodeEntryPoints, ArchiveNamedBeyondTheCodePage) {
    WideFolder folder(utf16(u"Архив"));
    ASSERT_TRUE(folder.made);
    const std::wstring inCodePage = utf16(u"caf\u00e9.wav");
    char ansi[16] = {};
    BOOL defaulted = FALSE;
    ASSERT_GT(WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, inCodePage.c_str(), -1, ansi, sizeof ansi, nullptr,
                                  &defaulted),
              0);
    ASSERT_FALSE(defaulted);
    const std::string utf8Entry = "\xD0\xB7\xD0\xB2\xD1\x83\xD0\xBA/\xE9\x9F\xB3.wav"; // звук/音.wav
    const std::wstring archive = folder.root + utf16(u"/банк-音.pak");
    ASSERT_TRUE(folder.write(archive, PakWriter()
                                          .stored("drums/kick.wav", stereoRamp())
                                          .stored(utf8Entry, stereoRamp())
                                          .stored(ansi, stereoRamp())
                                          .bytes()));
    const std::wstring entries[] = {L"\\drums\\kick.wav", utf16(u"\\звук\\音.wav"), L"\\" + inCodePage};
    for (const std::wstring& entry : entries) {
        const WideAnswer answer = askWide(archive + entry);
        EXPECT_EQ(answer.identified, TRUE);
        EXPECT_EQ(textOf(answer.text), rampDescription);
        EXPECT_FALSE(answer.pixels.empty());
    }
    EXPECT_EQ(askWide(archive + L"\\missing.wav").identified, FALSE);
    // A name outside any archive lets go of the archive file, so that its folder can be removed.
    ScratchFile loose("release.wav", stereoRamp());
    EXPECT_EQ(askWide(widen(loose.path())).identified, TRUE);
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
    std::vector<std::unique_ptr<ScratchFile>> files;
    std::vector<std::string> names;
    PakWriter pak;
    for (std::size_t i = 0; i < sizeof kinds / sizeof kinds[0]; ++i) {
        files.push_back(std::make_unique<ScratchFile>("kind" + std::to_string(i) + ".wav", kinds[i]));
        names.push_back(files.back()->path());
        pak.stored("dir/" + std::to_string(i) + ".wav", kinds[i]);
    }
    files.push_back(std::make_unique<ScratchFile>("kinds.pak", pak.bytes()));
    for (std::size_t i = 0; i < sizeof kinds / sizeof kinds[0]; ++i) {
        names.push_back(files.back()->path() + std::string("\\dir\\") + std::to_string(i) + ".wav");
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
            FileInfoRecord info;
            std::memset(&info, 0xCD, sizeof info);
            char text[96];
            std::memset(text, 0xCD, sizeof text);
            info.description = text;
            info.descriptionCapacity = sizeof text;
            std::vector<char> path(name.begin(), name.end());
            path.push_back('\0');
            const BOOL identifiedA = plugin().identifyFile(nullptr, path.data(), &info, abortEvent);
            Pixels pixelsA;
            ImageSizeRecord size{64, 48};
            if (HBITMAP bitmap = plugin().loadBitmap(nullptr, path.data(), &info, &size, abortEvent)) {
                LONG width = 0, height = 0;
                pixelsA = readBack(bitmap, width, height);
                DeleteObject(bitmap);
            }
            const WideAnswer wide = askWide(widen(name), abortEvent);
            ASSERT_EQ(wide.identified, identifiedA);
            EXPECT_EQ(wide.pixels, pixelsA);
            // Byte for byte, but the description pointer; the text unit for byte.
            FileInfoRecord converted;
            std::memcpy(&converted, &wide.info, sizeof converted);
            converted.description = info.description;
            EXPECT_EQ(std::memcmp(&converted, &info, sizeof info), 0);
            EXPECT_EQ(wide.text[0] == static_cast<wchar_t>(0xCDCD), text[0] == static_cast<char>(0xCD));
            if (identifiedA) {
                EXPECT_EQ(textOf(wide.text), widen(text));
                identified += abortEvent == nullptr ? 1 : 0;
            }
        }
    }
    EXPECT_GT(identified, 5u);
    CloseHandle(signalled);
}

} // namespace
