// CFileList: which entries a scan lists, in which order, and how the directory is joined to each name.
#include "base/FileList.h"

#include "base/Memory.h"

#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

std::vector<std::string> ListAll(CFileList& list) {
    std::vector<std::string> paths;
    while (const char* path = list.NextPath())
        paths.push_back(path);
    return paths;
}

} // namespace

TEST(FileListTest, ListsByUpperCasedNameThenRawBytes) {
#ifdef _WIN32
    GTEST_SKIP() << "names that differ only in letter case cannot share a directory on Windows";
#endif
    CTempDirectory directory;
    // Created in an order that neither forwards nor backwards matches the listing, so that the order of the
    // directory itself cannot pass for sorting.
    for (const char* name :
         {"b.archive", "aA.archive", "A.archive", "_x.archive", "AA.archive", "Z.archive", "a.archive",
          "aa.archive", "C.ARCHIVE", "Aa.archive", "notes.txt", "archive", "x.archive.bak",
          "..\\outside.archive"}) // Its backslash would turn into a separator: left out.
        WriteTestFile(directory.Join(name), std::string(name));

    CFileList list;
    ASSERT_TRUE(list.FindFiles(directory.GetPath().c_str(), "*.archive"));
    const std::string prefix = directory.GetPath() + "\\";
    // "_" sorts after the upper-case letters; equal upper-cased names fall back to their raw bytes.
    std::vector<std::string> expected;
    for (const char* name : {"A.archive", "a.archive", "AA.archive", "Aa.archive", "aA.archive", "aa.archive",
                             "b.archive", "C.ARCHIVE", "Z.archive", "_x.archive"})
        expected.push_back(prefix + name);
    EXPECT_EQ(list.GetCount(), expected.size());
    EXPECT_EQ(ListAll(list), expected);
    EXPECT_EQ(list.NextPath(), nullptr);
}

TEST(FileListTest, ListsRegularFilesThroughLinksOnly) {
#ifdef _WIN32
    GTEST_SKIP() << "symbolic links need a privilege on Windows";
#endif
    CTempDirectory directory;
    WriteTestFile(directory.Join("plain.archive"), "p");
    WriteTestFile(directory.Join("target.bin"), "t");
    std::filesystem::create_directory(directory.Join("folder.archive"));
    std::filesystem::create_directory(directory.Join("realdir"));
    std::filesystem::create_symlink(directory.Join("target.bin"), directory.Join("linked.archive"));
    std::filesystem::create_directory_symlink(directory.Join("realdir"), directory.Join("dirlink.archive"));
    std::filesystem::create_symlink(directory.Join("missing.bin"), directory.Join("dangling.archive"));

    CFileList list;
    ASSERT_TRUE(list.FindFiles(directory.GetPath().c_str(), "*.archive"));
    const std::string prefix = directory.GetPath() + "\\";
    EXPECT_EQ(ListAll(list), (std::vector<std::string>{prefix + "linked.archive", prefix + "plain.archive"}));
}

TEST(FileListTest, JoinsDirectoryFormsAsGiven) {
    CTempDirectory directory;
    WriteTestFile(directory.Join("one.pc_headerlib"), "1");
    const std::string base = directory.GetPath();
    struct SCase {
        std::string Directory;
        std::string Expected;
    };
    const SCase cases[] = {{base, base + "\\one.pc_headerlib"},
                           {base + "\\", base + "\\one.pc_headerlib"},
                           {base + "/", base + "/one.pc_headerlib"}};
    CFileList list;
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.Directory);
        ASSERT_TRUE(list.FindFiles(c.Directory.c_str(), "*.PC_HEADERLIB"));
        EXPECT_EQ(ListAll(list), std::vector<std::string>{c.Expected});
    }
}

TEST(FileListTest, EmptyAndFailedScans) {
    CTempDirectory directory;
    const std::string base = directory.GetPath();
    for (const char* name : {"a.archive", "b.archive", "c.archive"})
        WriteTestFile(directory.Join(name), name);
    CTempDirectory other;
    WriteTestFile(other.Join("only.txt"), "x");

    CFileList list;
    ASSERT_TRUE(list.FindFiles(base.c_str(), "*.archive"));
    EXPECT_EQ(list.GetCount(), 3u);
    EXPECT_NE(list.NextPath(), nullptr);

    // A rescan starts from an empty list and from the first path.
    ASSERT_TRUE(list.FindFiles(base.c_str(), "b*"));
    EXPECT_EQ(ListAll(list), std::vector<std::string>{base + "\\b.archive"});

    // Nothing matched is a success with no paths.
    ASSERT_TRUE(list.FindFiles(other.GetPath().c_str(), "*.archive"));
    EXPECT_EQ(list.GetCount(), 0u);
    EXPECT_EQ(list.NextPath(), nullptr);

    // A path that cannot be stored stops the run instead of leaving a file out.
    EXPECT_EXIT(
        {
            CFileList fresh;
            SetAllocationFaultHook([](uint64_t) { return true; });
            (void)fresh.FindFiles(base.c_str(), "*.archive");
        },
        ::testing::ExitedWithCode(2), "VorskExtract: out of memory\\.");

    // A directory that cannot be enumerated fails and leaves the list empty.
    ASSERT_TRUE(list.FindFiles(base.c_str(), "*.archive"));
    for (const std::string& missing : {base + "\\absent", directory.Join("a.archive")}) {
        SCOPED_TRACE(missing);
        EXPECT_FALSE(list.FindFiles(missing.c_str(), "*.archive"));
        EXPECT_EQ(list.GetCount(), 0u);
        EXPECT_EQ(list.NextPath(), nullptr);
    }
}
