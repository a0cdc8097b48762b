// Tests of CArchiveManager and CArchiveStream: mount keys, look-up order, segmented reads and failed mounts.
#include "archive/ArchiveManager.h"

#include "base/Platform.h"
#include "support/ArchiveWriter.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

class ArchiveManagerTest : public ::testing::Test {
protected:
    CTempDirectory Directory;
    CArchiveManager Manager;

    CArchive* Mount(const std::string& fileName) { return Manager.Mount(Directory.Join(fileName).c_str()); }
    void Write(const std::vector<CTestArchive>& archives) {
        ASSERT_TRUE(WriteTestArchives(Directory.GetPath(), archives));
    }
    std::string ReadEntry(const char* name, uint64_t position, uint64_t count,
                          uint64_t* endPosition = nullptr) {
        CArchiveStream stream;
        Manager.OpenEntry(stream, name);
        stream.Position = position;
        std::string bytes(count, '\0');
        bytes.resize(stream.Read(bytes.data(), count));
        if (endPosition != nullptr)
            *endPosition = stream.Position;
        return bytes;
    }
    // A chain of count archives, each referring to the next.
    void WriteChain(const std::string& prefix, uint32_t count) {
        std::vector<CTestArchive> chain(count);
        for (uint32_t i = 0; i < count; ++i) {
            chain[i].FileName = prefix + std::to_string(i) + ".archive";
            if (i + 1 < count)
                chain[i].References = {prefix + std::to_string(i + 1) + ".archive"};
        }
        Write(chain);
    }
};

TEST_F(ArchiveManagerTest, FileNameIsTheKey) {
    Write(
        {MakeSimpleTestArchive("a.archive", {"x"}, {"1"}), MakeSimpleTestArchive("A.archive", {"x"}, {"2"})});
    std::filesystem::create_directory(Directory.Join("other"));
    // Never opened: the same file names are already mounted.
    WriteTestFile(Directory.Join("other/a.archive"), std::string("not an archive"));
    CArchive* first = Mount("a.archive");
    ASSERT_NE(first, nullptr);
    const std::string backslashed = Directory.GetPath() + "\\other\\a.archive";
    const char* sameKey[] = {"other/a.archive", "a.archive/", "other\\a.archive\\"};
    for (const char* path : sameKey) {
        SCOPED_TRACE(path);
        EXPECT_EQ(Mount(path), first);
    }
    EXPECT_EQ(Manager.Mount(backslashed.c_str()), first);
    EXPECT_EQ(Manager.FindArchive("a.archive"), first);
    // Letter case counts in file names.
    CArchive* upper = Mount("A.archive");
    ASSERT_NE(upper, nullptr);
    EXPECT_NE(upper, first);
    EXPECT_EQ(Manager.GetArchiveCount(), 2u);
}

TEST_F(ArchiveManagerTest, LookupIgnoresCaseAndLastRegisteredWins) {
    Write({MakeSimpleTestArchive("one.archive", {"shared", "only1"}, {"from one", "1"}),
           MakeSimpleTestArchive("two.archive", {"Shared"}, {"from two"})});
    ASSERT_NE(Mount("one.archive"), nullptr);
    ASSERT_NE(Mount("two.archive"), nullptr);
    EXPECT_EQ(ReadEntry("SHARED", 0, 100), "from two");
    EXPECT_EQ(ReadEntry("Only1", 0, 100), "1");

    CArchiveStream stream;
    stream.Position = 5;
    Manager.OpenEntry(stream, "absent");
    EXPECT_EQ(stream.Archive, nullptr);
    EXPECT_EQ(stream.Entry, nullptr);
    EXPECT_EQ(stream.Position, 0u);
    EXPECT_EQ(stream.Size, 0u);
    char byte = 0;
    EXPECT_EQ(stream.Read(&byte, 1), 0u);
}

TEST_F(ArchiveManagerTest, RepeatedLookupSeesMountsAndUnmounts) {
    // The answer for the last name is kept; a mount or an unmount in between must not leave it stale.
    Write({MakeSimpleTestArchive("one.archive", {"shared"}, {"from one"}),
           MakeSimpleTestArchive("two.archive", {"shared", "late"}, {"from two", "late"})});
    ASSERT_NE(Mount("one.archive"), nullptr);
    EXPECT_EQ(ReadEntry("shared", 0, 100), "from one");
    EXPECT_EQ(ReadEntry("late", 0, 100), "");
    ASSERT_NE(Mount("two.archive"), nullptr);
    EXPECT_EQ(ReadEntry("late", 0, 100), "late");
    EXPECT_EQ(ReadEntry("shared", 0, 100), "from two");
    // The same name in another letter case, asked twice in a row, finds the same entry.
    EXPECT_EQ(ReadEntry("SHARED", 3, 100), "m two");
    EXPECT_EQ(ReadEntry("SHARED", 0, 4), "from");
    // A failed mount drops nothing here, but is a change all the same.
    EXPECT_EQ(Mount("missing.archive"), nullptr);
    EXPECT_EQ(ReadEntry("SHARED", 0, 100), "from two");
    Manager.UnmountAll();
    CArchiveStream stream;
    Manager.OpenEntry(stream, "SHARED");
    EXPECT_EQ(stream.Archive, nullptr);
    EXPECT_EQ(stream.Entry, nullptr);
    EXPECT_EQ(stream.Size, 0u);
}

TEST_F(ArchiveManagerTest, ReadFollowsSegmentsAcrossFiles) {
    // Entry "split" is "0123" in one.archive, an empty segment, then "456789" in two.archive.
    CTestArchive one = MakeSimpleTestArchive("one.archive", {"empty"}, {});
    one.Entries[0].Segments.clear();
    one.References = {"one.archive", "two.archive"};
    CTestEntry split;
    split.Name = "split";
    split.Segments = {CTestSegment{0, {'0', '1', '2', '3'}, {}, {}, {}}, CTestSegment{1, {}, {}, {}, {}},
                      CTestSegment{1, {'4', '5', '6', '7', '8', '9'}, {}, {}, {}}};
    one.Entries.push_back(split);
    CTestArchive two = MakeSimpleTestArchive("two.archive", {"filler"}, {"xxxxxxxx"});
    Write({one, two});
    ASSERT_NE(Mount("one.archive"), nullptr);

    struct Case {
        uint64_t Position;
        uint64_t Count;
        const char* Expected;
    };
    const Case cases[] = {{0, 100, "0123456789"},
                          {2, 5, "23456"},
                          {4, 2, "45"},
                          {3, 1, "3"},
                          {9, 5, "9"},
                          {10, 1, ""},
                          {11, 1, ""},
                          {0, 0, ""}};
    for (const Case& test : cases) {
        SCOPED_TRACE(testing::Message() << test.Position << "+" << test.Count);
        uint64_t end = 0;
        EXPECT_EQ(ReadEntry("split", test.Position, test.Count, &end), test.Expected);
        EXPECT_EQ(end, test.Position + std::string(test.Expected).size());
    }
    CArchiveStream stream;
    Manager.OpenEntry(stream, "empty");
    EXPECT_NE(stream.Entry, nullptr);
    EXPECT_EQ(stream.Size, 0u);
    char byte = 0;
    EXPECT_EQ(stream.Read(&byte, 1), 0u);
}

TEST_F(ArchiveManagerTest, ReadEndsShortAtBadSegments) {
    // Each entry holds "abc", then a segment that cannot be read: a reference index not below the
    // reference count, a file offset past the end of the file, one that the read call refuses.
    CTestArchive archive = MakeSimpleTestArchive("short.archive", {"badref", "pastend", "refused", "wraps"},
                                                 {"abc", "abc", "abc", "abc"});
    archive.Entries[0].Segments.push_back(CTestSegment{1, {}, {}, 24, 3});
    archive.Entries[1].Segments.push_back(CTestSegment{0, {}, {}, uint64_t(1) << 40, 3});
    archive.Entries[2].Segments.push_back(CTestSegment{0, {}, {}, 0x8000000000000000, 3});
    archive.Entries[3].Segments.push_back(CTestSegment{0, {}, {}, ~uint64_t(0), 3});
    Write({archive});
    ASSERT_NE(Mount("short.archive"), nullptr);
    for (const char* name : {"badref", "pastend", "refused"}) {
        SCOPED_TRACE(name);
        uint64_t end = 0;
        EXPECT_EQ(ReadEntry(name, 1, 5, &end), "bc");
        EXPECT_EQ(end, 3u);
        EXPECT_EQ(ReadEntry(name, 3, 1, &end), "");
        EXPECT_EQ(end, 3u);
    }
    // One byte into the last segment its file position passes 64 bits; it must not wrap to the file's
    // first bytes.
    uint64_t end = 0;
    EXPECT_EQ(ReadEntry("wraps", 4, 2, &end), "");
    EXPECT_EQ(end, 4u);
}

TEST_F(ArchiveManagerTest, FailedMountDropsArchivesReferringToIt) {
    // bad.archive mounts keep.archive, then back.archive (which refers back to it and to deeper.archive,
    // which refers to back.archive), then fails on a missing reference.
    CTestArchive bad = MakeSimpleTestArchive("bad.archive", {"inbad"}, {"b"});
    bad.References = {"bad.archive", "keep.archive", "back.archive", "missing.archive"};
    CTestArchive keep = MakeSimpleTestArchive("keep.archive", {"inkeep"}, {"k"});
    CTestArchive back = MakeSimpleTestArchive("back.archive", {"inback"}, {"r"});
    back.References = {"back.archive", "deeper.archive"};
    CTestArchive deeper = MakeSimpleTestArchive("deeper.archive", {"indeeper"}, {"d"});
    deeper.References = {"deeper.archive", "back.archive"};
    CTestArchive later = MakeSimpleTestArchive("later.archive", {"inlater"}, {"l"});
    later.References = {"later.archive", "bad.archive"};
    // back.archive also refers to bad.archive and reads "viabad" from its file.
    back.References = {"back.archive", "deeper.archive", "bad.archive"};
    back.Entries.push_back(CTestEntry{"viabad", 0, {}, {CTestSegment{2, {}, {}, 24, 1}}, {}, false, {}});
    Write({bad, keep, back, deeper, later});

    EXPECT_EQ(Mount("bad.archive"), nullptr);
    EXPECT_EQ(Manager.GetArchiveCount(), 1u);
    EXPECT_NE(Manager.FindArchive("keep.archive"), nullptr);
    for (const char* name : {"inbad", "inback", "indeeper", "viabad"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(ReadEntry(name, 0, 4), "");
    }
    EXPECT_EQ(ReadEntry("inkeep", 0, 4), "k");
    // later.archive refers to bad.archive, which is mounted afresh and fails again.
    EXPECT_EQ(Mount("later.archive"), nullptr);
    EXPECT_EQ(Manager.GetArchiveCount(), 1u);
}

TEST_F(ArchiveManagerTest, ReferenceChainsNestAtMostMaxMountDepth) {
    // Every archive of a chain stays open while the chain mounts.
    Os::RaiseOpenFileLimit();
    WriteChain("ok", CArchiveManager::MaxMountDepth);
    WriteChain("deep", CArchiveManager::MaxMountDepth + 1);
    EXPECT_EQ(Mount("deep0.archive"), nullptr);
    EXPECT_EQ(Manager.GetArchiveCount(), 0u);
    ASSERT_NE(Mount("ok0.archive"), nullptr);
    EXPECT_EQ(Manager.GetArchiveCount(), CArchiveManager::MaxMountDepth);
    // Mounted from the top, the rest of the deep chain fits.
    EXPECT_NE(Manager.Mount(Directory.Join("deep1.archive").c_str()), nullptr);
}

} // namespace
