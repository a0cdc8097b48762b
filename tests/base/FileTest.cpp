// Files and directories: directory creation, failed reads, and which files a scan lists in which order.
#include "base/File.h"

#include "base/FileList.h"
#include "base/Platform.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

TEST(FileTest, CreateDirectoryPathMakesEveryMissingParent) {
    CTempDirectory root;
    // Backslashes and slashes, doubled separators and a trailing one; the temporary directory carries the
    // drive prefix on Windows.
    const std::string path = root.GetPath() + "\\a\\\\b/c\\";
    ASSERT_TRUE(CreateDirectoryPath(path.c_str()));
    EXPECT_TRUE(fs::is_directory(root.Join("a/b/c")));
    EXPECT_TRUE(CreateDirectoryPath(path.c_str()));
    WriteTestFile(root.Join("file"), "x");
    EXPECT_FALSE(CreateDirectoryPath((root.GetPath() + "\\file\\d").c_str()));
}

TEST(FileTest, ReadsReportFailureAndStopAtTheEnd) {
    CTempDirectory root;
    const std::string path = root.Join("data");
    WriteTestFile(path, "0123456789");
    uint8_t bytes[16];
    uint64_t count = 99;
    const FileHandle reader = Os::OpenFile(path.c_str(), EFileAccess::Read, EFileCreation::OpenExisting);
    ASSERT_NE(reader, InvalidFileHandle);
    EXPECT_TRUE(Os::ReadAt(reader, 4, bytes, sizeof(bytes), count));
    EXPECT_EQ(std::string(bytes, bytes + count), "456789");
    EXPECT_TRUE(Os::ReadAt(reader, 10, bytes, 1, count));
    EXPECT_EQ(count, 0u);
    // A position past the largest signed file offset cannot be reached.
    EXPECT_FALSE(Os::Seek(reader, uint64_t(1) << 63));
    ASSERT_TRUE(Os::Seek(reader, 8));
    EXPECT_TRUE(Os::Read(reader, bytes, sizeof(bytes), count));
    EXPECT_EQ(std::string(bytes, bytes + count), "89");
    Os::CloseFile(reader);
    // A handle open for writing only cannot be read: the failure must come back as one.
    const FileHandle writer = Os::OpenFile(path.c_str(), EFileAccess::Write, EFileCreation::CreateOrTruncate);
    ASSERT_NE(writer, InvalidFileHandle);
    EXPECT_FALSE(Os::ReadAt(writer, 0, bytes, 4, count));
    EXPECT_FALSE(Os::Read(writer, bytes, 4, count));
    Os::CloseFile(writer);
    // Only a regular file is an input. A named pipe that nobody writes to is refused at once: a tool that
    // waited for a writer would wait for ever.
    EXPECT_EQ(Os::OpenFile(root.GetPath().c_str(), EFileAccess::Read, EFileCreation::OpenExisting),
              InvalidFileHandle);
#ifndef _WIN32
    ASSERT_EQ(::mkfifo(root.Join("pipe").c_str(), 0600), 0);
    EXPECT_EQ(Os::OpenFile(root.Join("pipe").c_str(), EFileAccess::Read, EFileCreation::OpenExisting),
              InvalidFileHandle);
#endif
}

TEST(FileTest, ListsRegularFilesByUpperCasedNameThenRawBytes) {
#ifdef _WIN32
    GTEST_SKIP() << "names that differ only in letter case cannot share a directory on Windows";
#else
    CTempDirectory directory;
    // Created in an order that matches the listing neither forwards nor backwards. A name with a backslash
    // is left out: opened, it would name a file in another directory.
    for (const char* name : {"b.archive", "aA.archive", "_x.archive", "AA.archive", "Z.archive", "aa.archive",
                             "C.ARCHIVE", "notes.txt", "archive", "x.archive.bak", "..\\outside.archive"})
        WriteTestFile(directory.Join(name), name);
    fs::create_directory(directory.Join("folder.archive"));
    fs::create_symlink(directory.Join("b.archive"), directory.Join("linked.archive"));
    fs::create_symlink(directory.Join("missing"), directory.Join("dangling.archive"));
    CFileList list;
    ASSERT_TRUE(list.FindFiles(directory.GetPath().c_str(), "*.archive"));
    std::vector<std::string> listed;
    while (const char* path = list.NextPath())
        listed.push_back(path);
    // "_" sorts after the upper-case letters; equal upper-cased names fall back to their raw bytes.
    std::vector<std::string> expected;
    for (const char* name : {"AA.archive", "aA.archive", "aa.archive", "b.archive", "C.ARCHIVE",
                             "linked.archive", "Z.archive", "_x.archive"})
        expected.push_back(directory.GetPath() + "\\" + name);
    EXPECT_EQ(listed, expected);
    // A listed link opens for reading like the file it points to.
    const FileHandle linked =
        Os::OpenFile(directory.Join("linked.archive").c_str(), EFileAccess::Read, EFileCreation::OpenExisting);
    EXPECT_NE(linked, InvalidFileHandle);
    Os::CloseFile(linked);
    // A separator at the directory's end is not doubled.
    EXPECT_TRUE(list.FindFiles((directory.GetPath() + "/").c_str(), "z.*"));
    EXPECT_STREQ(list.NextPath(), (directory.GetPath() + "/Z.archive").c_str());
    EXPECT_TRUE(list.FindFiles(directory.GetPath().c_str(), "*.none"));
    EXPECT_EQ(list.GetCount(), 0u);
    EXPECT_FALSE(list.FindFiles(directory.Join("missing").c_str(), "*"));
#endif
}
