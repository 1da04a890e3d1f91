// Name resolution: separators, the "/./" collapse, the prefix, the ".pak" rules and the decisions
// to keep, drop or mount an archive.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "support/FileTestSupport.h"
#include "support/PakWriter.h"
#include "support/Threads.h"
#include "support/WavWriter.h"
#include "core/fileio/DiskFile.h"
#include "core/fileio/ArchiveMount.h"
#include "core/fileio/PakArchive.h"
#include "core/fileio/NameResolution.h"
#include "core/fileio/PathSettings.h"
#include "core/fileio/SharedState.h"

namespace {

using filetest::TempFolder;
using Bytes = std::vector<std::uint8_t>;

std::string backslashed(std::string path) {
    for (char& c : path) {
        if (c == '/') {
            c = '\\';
        }
    }
    return path;
}

std::uint32_t archiveStep(const char* path) {
    String s;
    EXPECT_TRUE(s.assign(path));
    return findArchiveStep(s);
}

TEST(PathResolution, ArchiveStepIsTheLeftmostPakFollowedBySlash) {
    const struct {
        const char* path;
        std::uint32_t step;
    } rows[] = {
        {"music/x.wav", String::npos},
        {"sounds.pak", String::npos}, // the archive file itself
        {"DATA.PAK/x.wav", String::npos}, // lower case only
        {"tone.pak.wav", String::npos},
        {"a.paks/x.wav", String::npos},
        {"x.pakx.pak/y", 6},
        {"kit.pak-2019/bank.pak/kick.wav", 17},
        {"game/data.pak/sounds/intro.pak/x", 9},
        {"data.pak/", 4}, // the empty entry name
    };
    for (const auto& row : rows) {
        EXPECT_EQ(archiveStep(row.path), row.step) << row.path;
    }
}

TEST(PathResolution, SeparatorsAndCollapse) {
    TempFolder dir;
    ASSERT_TRUE(dir.makeFolder("a"));
    ASSERT_TRUE(dir.write("a/b.wav", "b"));
    DiskFile f(false);
    ASSERT_TRUE(f.Open(backslashed(dir.file("a/b.wav")).c_str()));
    EXPECT_STREQ(f.name.c_str(), dir.file("a/b.wav").c_str());
    ASSERT_TRUE(f.Close());
    ASSERT_TRUE(f.Open(dir.file("a/./b.wav").c_str()));
    EXPECT_STREQ(f.name.c_str(), dir.file("a/b.wav").c_str());
    ASSERT_TRUE(f.Close());
    ASSERT_TRUE(f.Open((dir.path() + "\\.\\a/././b.wav").c_str()));
    EXPECT_STREQ(f.name.c_str(), dir.file("a/./b.wav").c_str()); // one pass: the overlap stays
    ASSERT_TRUE(f.Close());
    // Appending normalises separators but does not collapse.
    ASSERT_TRUE(f.OpenAppend(backslashed(dir.file("a/./log.txt")).c_str()));
    EXPECT_STREQ(f.name.c_str(), dir.file("a/./log.txt").c_str());
    ASSERT_TRUE(f.Close());
    EXPECT_EQ(dir.read("a/log.txt"), "");
}

TEST(PathResolution, PrefixAndQueryPath) {
    TempFolder dir;
    ASSERT_TRUE(dir.makeFolder("a"));
    ASSERT_TRUE(dir.write("a/b.wav", "b"));
    DiskFile f(false);
    EXPECT_TRUE(f.QueryPath().empty());
    filetest::PathSettingsGuard emptiedAtTheEnd;
    ASSERT_TRUE(setPathSettings("query/", dir.path().c_str(), "/a/"));
    EXPECT_STREQ(f.QueryPath().c_str(), "query/");
    EXPECT_TRUE(f.Open("b.wav"));
    EXPECT_STREQ(f.name.c_str(), "b.wav"); // the name is kept without the prefix
    EXPECT_TRUE(f.Close());
    EXPECT_TRUE(f.OpenAppend("log.txt"));
    EXPECT_TRUE(f.Close());
    DiskFile bare(true);
    EXPECT_FALSE(bare.Open("b.wav"));
    EXPECT_EQ(bare.lastError, FileError::CannotOpen);
    ASSERT_TRUE(setPathSettings(nullptr, nullptr, nullptr));
    EXPECT_EQ(dir.read("a/log.txt"), "");
}

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// What each name opens, with nothing mounted before and with an archive mounted by an earlier
// open: loose files whose names or folders hold ".pak" followed by another byte stay loose, an
// archive inside such a folder opens, and the mount afterwards is the archive the name ran
// through (none for a name on the disk). Then the same names from several threads at once.
TEST(PathResolution, EveryNameOpensWhatItNames) {
    TempFolder dir;
    ASSERT_TRUE(dir.write("tone.pak.wav", "loose tone"));
    ASSERT_TRUE(dir.makeFolder("Sounds.paks"));
    ASSERT_TRUE(dir.write("Sounds.paks/x.wav", "loose paks"));
    ASSERT_TRUE(dir.makeFolder("kit.pak-2019"));
    ASSERT_TRUE(dir.write("kit.pak-2019/x.wav", "loose kit"));
    ASSERT_TRUE(writeFileBytes(dir.file("kit.pak-2019/bank.pak"), PakWriter().stored("kick.wav", text("kick")).bytes()));
    ASSERT_TRUE(writeFileBytes(dir.file("data.pak"), PakWriter()
                                                              .stored("x.wav", text("data x"))
                                                              .stored("tone.pak.wav", text("data tone"))
                                                              .stored("a.paks/x.wav", text("data paks"))
                                                              .bytes()));
    ASSERT_TRUE(dir.makeFolder("folder.pak"));
    ASSERT_TRUE(dir.write("folder.pak/x.wav", "loose folder"));
    const struct {
        const char* name;
        const char* content; // null: the open fails
        const char* mountedAfter;
    } rows[] = {
        {"tone.pak.wav", "loose tone", nullptr},
        {"Sounds.paks/x.wav", "loose paks", nullptr},
        {"kit.pak-2019/x.wav", "loose kit", nullptr},
        {"kit.pak-2019/bank.pak/kick.wav", "kick", "kit.pak-2019/bank.pak"},
        {"data.pak/x.wav", "data x", "data.pak"},
        {"data.pak/tone.pak.wav", "data tone", "data.pak"},
        {"data.pak/a.paks/./x.wav", "data paks", "data.pak"},
        {"data.pak/missing.wav", nullptr, "data.pak"},
        {"folder.pak/./x.wav", "loose folder", nullptr}, // no archive: the whole name from the disk
        {"missing.pak/x.wav", nullptr, nullptr},
    };
    const auto contentOf = [&](const char* name) -> std::string {
        DiskFile f(false);
        if (!f.Open(dir.file(name).c_str(), 1, HeapCategory::Engine)) {
            return "<fails>";
        }
        return std::string(reinterpret_cast<const char*>(f.memoryData), f.Size());
    };
    for (const bool mountedBefore : {false, true}) {
        for (const auto& row : rows) {
            if (mountedBefore) {
                ASSERT_EQ(contentOf("data.pak/x.wav"), "data x");
            } else {
                UnmountArchive();
            }
            EXPECT_EQ(contentOf(row.name), row.content != nullptr ? row.content : "<fails>") << row.name;
            const PakArchive* mounted = currentArchive.load();
            const std::string expected = row.mountedAfter != nullptr ? dir.file(row.mountedAfter) : "";
            EXPECT_EQ(mounted != nullptr ? mounted->archivePath.c_str() : "", expected) << row.name;
            DiskFile probe(false);
            EXPECT_EQ(probe.Exists(dir.file(row.name).c_str()), row.content != nullptr) << row.name;
        }
    }
    std::atomic<int> wrong{0};
    runOnThreads(4, [&](int t) {
        for (int round = 0; round < 20; ++round) {
            const auto& row = rows[(t * 5 + round) % (sizeof rows / sizeof rows[0])];
            wrong += contentOf(row.name) != (row.content != nullptr ? row.content : "<fails>") ? 1 : 0;
        }
    });
    EXPECT_EQ(wrong.load(), 0);
    UnmountArchive();
}

// An empty archive object standing in for a mounted one, with no file behind it: the
// resolution's decisions to keep or drop it are visible through currentArchive.
PakArchive* installArchive(const std::string& path) {
    PakArchive* archive = new (HeapCategory::PakArchive) PakArchive();
    EXPECT_NE(archive, nullptr);
    EXPECT_TRUE(archive->archivePath.assign(path.c_str()));
    currentArchive.store(archive);
    return archive;
}

TEST(PathResolution, ArchiveDecisions) {
    TempFolder dir;
    ASSERT_TRUE(dir.makeFolder("music"));
    ASSERT_TRUE(dir.write("music/x.wav", "x"));
    const std::string data = dir.file("data.pak");
    DiskFile f(false);

    // A plain path drops the mounted archive and opens from the disk.
    installArchive(data);
    ASSERT_TRUE(f.Open(dir.file("music/x.wav").c_str()));
    EXPECT_EQ(currentArchive.load(), nullptr);
    ASSERT_TRUE(f.Close());

    // The same archive is kept and serves the entry (this stand-in has none, so the open fails).
    PakArchive* same = installArchive(data);
    EXPECT_FALSE(f.Open(dir.file("data.pak/y.wav").c_str()));
    EXPECT_EQ(f.lastError, FileError::CannotOpen);
    EXPECT_TRUE(f.name.empty());
    EXPECT_EQ(currentArchive.load(), same);
    // Another archive drops it; the new mount fails, leaving nothing mounted, and the open goes to
    // the disk with the unsplit name.
    EXPECT_FALSE(f.Open(dir.file("other.pak/y.wav").c_str()));
    EXPECT_EQ(f.lastError, FileError::CannotOpen);
    EXPECT_EQ(currentArchive.load(), nullptr);

    // Appending never mounts or unmounts.
    PakArchive* kept = installArchive(data);
    ASSERT_TRUE(f.OpenAppend(dir.file("music/log.txt").c_str()));
    EXPECT_EQ(currentArchive.load(), kept);
    ASSERT_TRUE(f.WriteLine("ok", 1));
    ASSERT_TRUE(f.Close());
    EXPECT_EQ(dir.read("music/log.txt"), "ok");
    EXPECT_TRUE(UnmountArchive());
}

} // namespace

namespace {

// Names as Windows reads them, through both encodings: device and verbatim prefixes, and names of
// 260 units or more with ".", "..", doubled separators and trailing dots or spaces (the 8-bit road
// does not take names that long, so only the wide one is asked for them).
TEST(PathResolution, LongAndPrefixedNamesOpenAsWindowsReadsThem) {
    TempFolder dir;
    ASSERT_TRUE(dir.write("a.wav", "a"));
    // Folders that bring the name of a.wav inside them to 258 units, then 259 and so on.
    const std::uint32_t base = static_cast<std::uint32_t>(dir.path().size());
    ASSERT_LT(base, 200u);
    const std::string deep = std::string(250 - base, 'd');
    ASSERT_TRUE(dir.makeFolder(deep));
    ASSERT_TRUE(dir.write(deep + "/a.wav", "deep"));
    const std::string at = dir.file(deep); // 251 bytes
    const struct {
        std::string name;
        const char* content; // null: refused
        bool wideOnly;
    } rows[] = {
        {"\\\\.\\" + backslashed(dir.file("a.wav")), "a", false},
        {"//./" + dir.file("./a.wav"), "a", false},
        {"\\\\?\\" + backslashed(dir.file("a.wav")), "a", false},
        {"\\\\?\\" + backslashed(dir.file("/a.wav")), nullptr, false}, // Windows parses nothing here
        {"\\\\?\\" + backslashed(dir.file("./a.wav")), nullptr, false},
        {"//?/" + dir.file("/a.wav"), "a", false}, // not the verbatim prefix: normalised
        {at + "/a.wav", "deep", true},                 // 257 units
        {at + "/./a.wav", "deep", true},               // 259
        {at + "//" + "a.wav", "deep", true},           // 258
        {at + "/x/../a.wav", "deep", true},            // 262
        {at + "/xxx/.././a.wav.", "deep", true},       // 266
        {at + "/xxxx/../a.wav ", "deep", true},        // 266
        {at + std::string(20, 'e') + "/../" + deep + "/a.wav", "deep", true},
    };
    for (const auto& row : rows) {
        for (const NameEncoding encoding : {NameEncoding::Ansi, NameEncoding::Utf8}) {
            if (row.wideOnly && encoding == NameEncoding::Ansi) {
                continue;
            }
            DiskFile f(false);
            f.nameEncoding = encoding;
            const bool opened = f.Open(row.name.c_str(), 1, HeapCategory::Engine);
            EXPECT_EQ(opened, row.content != nullptr) << row.name << (encoding == NameEncoding::Utf8 ? " (wide)" : "");
            if (opened && row.content != nullptr) {
                EXPECT_EQ(std::string(reinterpret_cast<const char*>(f.memoryData), f.Size()), row.content) << row.name;
            }
        }
    }
}

} // namespace
