// Every hostile input the fuzzers ever found (tests/corpus/, one folder per fuzz target) replayed
// through the DLL's exports, as the host would meet it: the file identified, then drawn with the
// record the host keeps; the same for the file cut short at lengths spread over it. A refusal must leave the host's record exactly as the host filled it; a
// description must end within the host's buffer; a picture must have the size asked for. Each
// input's name is printed before it runs, so a call that never returns is named by the test's
// time-out.
//
// Folders are read by their fuzz target's layout: picture/ and path/ have their own (see
// tests/corpus/INDEX); every other folder holds files as they are, so that a new target's folder
// is replayed without a change here. The files of pak/ are archives: they are also opened the way
// the host names a wave file inside one, under a few names that are cheap to try (entries are
// found by a hash of their name alone).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "HostRoad.h"
#include "host/HostPlugin.h"
#include "support/FileTestSupport.h"

#ifndef SONOLOOK_CORPUS_DIR
#error "the build names the corpus folder (SONOLOOK_CORPUS_DIR)"
#endif

namespace {

using Bytes = std::vector<std::uint8_t>;

// The names inside an archive a replay opens, as the host spells them after the archive's path.
// The pak fuzz target's seeds use these names (the plugin refuses the compressed ones).
const char* const entryNames[] = {"a.wav", "b.wav", "dir\\b.wav", "dir\\.\\b.wav", "drums\\kick.wav", "sounds\\a.wav",
                                  "x", "tune.z", "big.z", ""};

// A picture as large as this many pixels is only slow, not hostile; the fuzz target leaves such
// sizes out too.
constexpr std::int64_t largestPicture = std::int64_t{1} << 16;

struct Entry {
    std::string name;
    bool folder;
};

std::vector<Entry> listFolder(const std::string& folder) {
    std::vector<Entry> entries;
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA((folder + "/*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return entries;
    }
    do {
        const std::string name = found.cFileName;
        if (name != "." && name != "..") {
            entries.push_back({name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return entries;
}

bool readWhole(const std::string& path, Bytes& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    std::uint8_t buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    const bool ok = std::ferror(file) == 0;
    std::fclose(file);
    return ok;
}

std::int32_t int32At(const std::uint8_t* bytes) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
                                     static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24);
}

class Replay {
public:
    explicit Replay(std::string inputName) : input(std::move(inputName)) {}

    // Identifies name; on success the host's record holds the answer, and the picture is asked
    // for at a small size and at the host's default size.
    void identifyAndDraw(const std::string& name) {
        HostRecord host;
        ++identifies;
        if (identifyFile(name, host) == FALSE) {
            EXPECT_TRUE(host.untouched()) << input << ": a refusal of " << name << " wrote into the host's record";
            // The host's pattern as private values (negative, so never drawable) is handed back too.
            draw(name, host, nullptr);
            return;
        }
        EXPECT_NE(std::memchr(host.text, '\0', sizeof host.text), nullptr) << input << ": description of " << name << " unterminated";
        ImageSizeRecord small{48, 16};
        draw(name, host, &small);
        draw(name, host, nullptr);
    }

    // Draws with the record the host holds; the record is the host's to keep, never written.
    void draw(const std::string& name, HostRecord& host, const ImageSizeRecord* size) {
        const HostRecord before = host;
        ImageSizeRecord wanted{};
        ImageSizeRecord* given = nullptr;
        if (size != nullptr) {
            wanted = *size;
            given = &wanted;
        }
        ++draws;
        const Picture picture = drawFile(name, host.info, given, nullptr, false);
        EXPECT_TRUE(host.sameAs(before)) << input << ": drawing " << name << " wrote into the host's record";
        if (given != nullptr) {
            EXPECT_TRUE(wanted.width == size->width && wanted.height == size->height) << input << ": the size record was written";
        }
        if (!picture.drawn) {
            return;
        }
        ++pictures;
        const bool fallback = size == nullptr || size->width < 1 || size->height < 2;
        EXPECT_EQ(picture.width, fallback ? 800 : size->width) << input;
        EXPECT_EQ(picture.height, fallback ? 600 : size->height) << input;
    }

    const std::string input;
    int identifies = 0;
    int draws = 0;
    int pictures = 0;
};

// The file, and the file cut short at up to 32 lengths spread over it: a finding's neighbours are
// hostile too, and most of them are refused, which the record must survive.
void replayWithCuts(Replay& replay, const Bytes& file, const filetest::TempFolder& folder) {
    const std::size_t cuts = file.size() < 32 ? file.size() : 32;
    for (std::size_t i = 0; i < cuts; ++i) {
        const std::string cut = folder.add("corpus-cut.wav", Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(i * file.size() / cuts)));
        ASSERT_FALSE(cut.empty());
        replay.identifyAndDraw(cut);
    }
    const std::string whole = folder.add("corpus.wav", file);
    ASSERT_FALSE(whole.empty());
    replay.identifyAndDraw(whole);
}

// picture/: seven private values, width, height, a flag byte (bit 0: no size record), the file.
void replayPicture(Replay& replay, const Bytes& bytes) {
    constexpr std::size_t headerBytes = 28 + 8 + 1;
    if (bytes.size() < headerBytes) {
        ADD_FAILURE() << replay.input << ": shorter than a picture input's header";
        return;
    }
    const Bytes content(bytes.begin() + headerBytes, bytes.end());
    filetest::TempFolder folder;
    replayWithCuts(replay, content, folder);
    const std::string file = folder.add("corpus-picture.wav", content);
    ASSERT_FALSE(file.empty());

    HostRecord host;
    WavePrivateArea& area = host.info.privateArea;
    area.isPcm = int32At(&bytes[0]);
    area.channelCount = int32At(&bytes[4]);
    area.sampleRate = int32At(&bytes[8]);
    area.frameCount = static_cast<std::uint32_t>(int32At(&bytes[12]));
    area.dataOffset = static_cast<std::uint32_t>(int32At(&bytes[16]));
    area.bytesPerFrame = int32At(&bytes[20]);
    area.bitsPerSample = int32At(&bytes[24]);
    const ImageSizeRecord size{int32At(&bytes[28]), int32At(&bytes[32])};
    const bool noRecord = (bytes[36] & 1) != 0;
    if (!noRecord && (size.width > 4096 || (size.width > 0 && size.height > 0 &&
                                            std::int64_t{size.width} * size.height > largestPicture))) {
        return;
    }
    replay.draw(file, host, noRecord ? nullptr : &size);
}

// path/: a flag byte, then prefix head, prefix tail, query path and name, NUL-separated. The host
// sets no prefix; the name is what it hands over.
void replayPath(Replay& replay, const Bytes& bytes) {
    std::string texts[4];
    std::size_t part = 0;
    for (std::size_t i = 1; i < bytes.size(); ++i) {
        if (bytes[i] == 0 && part < 3) {
            ++part;
        } else {
            texts[part] += static_cast<char>(bytes[i]);
        }
    }
    replay.identifyAndDraw(texts[3].substr(0, texts[3].find('\0')));
}

// Any other folder: the file as it is; an archive also through the names inside it.
void replayFile(Replay& replay, const Bytes& bytes, bool archive) {
    filetest::TempFolder folder;
    if (archive) {
        const std::string file = folder.add("corpus.pak", bytes);
        ASSERT_FALSE(file.empty());
        for (const char* entry : entryNames) {
            replay.identifyAndDraw(file + "\\" + entry);
        }
    }
    // Then as loose files, which drops the archive the names above mounted.
    replayWithCuts(replay, bytes, folder);
}

TEST(CorpusReplay, EveryFindingThroughTheExports) {
    ASSERT_TRUE(plugin().loaded()) << plugin().errorText();
    const std::string corpus = SONOLOOK_CORPUS_DIR;
    const std::vector<Entry> folders = listFolder(corpus);
    ASSERT_FALSE(folders.empty()) << "no corpus at " << corpus;
    int inputs = 0;
    for (const Entry& target : folders) {
        if (!target.folder) {
            continue;
        }
        for (const Entry& file : listFolder(corpus + "/" + target.name)) {
            if (file.folder) {
                continue;
            }
            Bytes bytes;
            ASSERT_TRUE(readWhole(corpus + "/" + target.name + "/" + file.name, bytes)) << target.name << "/" << file.name;
            Replay replay(target.name + "/" + file.name);
            std::printf("[replay] %s (%u bytes) ...", replay.input.c_str(), static_cast<unsigned>(bytes.size()));
            std::fflush(stdout);
            const auto start = std::chrono::steady_clock::now();
            if (target.name == "picture") {
                replayPicture(replay, bytes);
            } else if (target.name == "path") {
                replayPath(replay, bytes);
            } else {
                replayFile(replay, bytes, target.name == "pak");
            }
            const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
            std::printf(" %d identify, %d draw calls, %d pictures, %lld ms\n", replay.identifies, replay.draws,
                        replay.pictures, static_cast<long long>(elapsed.count()));
            ++inputs;
        }
    }
    std::printf("[replay] %d inputs from %s\n", inputs, corpus.c_str());
    EXPECT_GT(inputs, 0);
}

} // namespace
