// Name resolution: separators, the "/./" collapse, the prefix, the ".pak" rules and the decisions
// to keep, drop or mount an archive.
#include <gtest/gtest.h>

#include <string>

#include "support/FileTestSupport.h"
#include "core/fileio/DiskFile.h"
#include "core/fileio/PakArchive.h"
#include "core/fileio/PathSettings.h"
#include "core/fileio/SharedState.h"

namespace {

using filetest::TempFolder;

std::string backslashed(std::string path) {
    for (char& c : path) {
        if (c == '/') {
            c = '\\';
        }
    }
    return path;
}

PakSplit split(const char* path) {
    String s;
    EXPECT_TRUE(s.assign(path));
    return findPakStep(s);
}

TEST(PathResolution, PakStepDetection) {
    EXPECT_EQ(split("music/x.wav").step, PakStep::None);
    EXPECT_EQ(split("sounds.pak").step, PakStep::ArchiveItself);
    EXPECT_EQ(split("DATA.PAK/x.wav").step, PakStep::None); // lower case only
    EXPECT_EQ(split("a.paks/x.wav").step, PakStep::OtherByte);
    // The leftmost ".pak" decides, even when a later one would be followed by '/'.
    EXPECT_EQ(split("x.pakx.pak/y").step, PakStep::OtherByte);
    const PakSplit entry = split("game/data.pak/sounds/intro.wav");
    EXPECT_EQ(entry.step, PakStep::Entry);
    EXPECT_EQ(entry.archiveLength, 13u);
    EXPECT_EQ(entry.entryStart, 14u);
    const PakSplit empty = split("data.pak/");
    EXPECT_EQ(empty.step, PakStep::Entry);
    EXPECT_EQ(empty.entryStart, 9u); // the empty entry name
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
    ASSERT_TRUE(dir.write("sounds.pak", "not an archive"));
    ASSERT_TRUE(dir.makeFolder("DATA.PAK"));
    ASSERT_TRUE(dir.write("DATA.PAK/x.wav", "X"));
    ASSERT_TRUE(dir.makeFolder("folder.pak"));
    ASSERT_TRUE(dir.write("folder.pak/x.wav", "F"));
    const std::string data = dir.file("data.pak");
    DiskFile f(false);

    // A plain path drops the mounted archive and opens from the disk.
    installArchive(data);
    ASSERT_TRUE(f.Open(dir.file("music/x.wav").c_str()));
    EXPECT_EQ(currentArchive.load(), nullptr);
    ASSERT_TRUE(f.Close());
    // So does the archive file itself, and an upper-case ".PAK".
    installArchive(data);
    ASSERT_TRUE(f.Open(dir.file("sounds.pak").c_str()));
    EXPECT_EQ(currentArchive.load(), nullptr);
    ASSERT_TRUE(f.Close());
    installArchive(data);
    ASSERT_TRUE(f.Open(dir.file("DATA.PAK/x.wav").c_str()));
    EXPECT_EQ(currentArchive.load(), nullptr);
    EXPECT_STREQ(f.name.c_str(), dir.file("DATA.PAK/x.wav").c_str());
    ASSERT_TRUE(f.Close());

    // The same archive is kept and serves the entry (this stand-in has none, so the open fails).
    PakArchive* same = installArchive(data);
    EXPECT_FALSE(f.Open(dir.file("data.pak/y.wav").c_str()));
    EXPECT_EQ(f.lastError, FileError::CannotOpen);
    EXPECT_TRUE(f.name.empty());
    EXPECT_EQ(currentArchive.load(), same);
    // A ".pak" followed by another byte keeps it too.
    EXPECT_FALSE(f.Open(dir.file("a.paks/x.wav").c_str()));
    EXPECT_EQ(currentArchive.load(), same);
    // Another archive drops it; the new mount fails, leaving nothing mounted, and the open goes to
    // the disk with the unsplit name.
    EXPECT_FALSE(f.Open(dir.file("other.pak/y.wav").c_str()));
    EXPECT_EQ(f.lastError, FileError::CannotOpen);
    EXPECT_EQ(currentArchive.load(), nullptr);
    // A folder that merely ends in ".pak" cannot be mounted; its file opens from the disk.
    ASSERT_TRUE(f.Open(dir.file("folder.pak/./x.wav").c_str()));
    EXPECT_STREQ(f.name.c_str(), dir.file("folder.pak/x.wav").c_str());
    char c = 0;
    EXPECT_EQ(f.Read(&c, 1), 1u);
    EXPECT_EQ(c, 'F');
    ASSERT_TRUE(f.Close());
    EXPECT_FALSE(f.Open(dir.file("missing.pak/x.wav").c_str()));
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
