// The operating-system layer: reads at a position and at an offset, writes, sizes, directories and scans,
// the same on every platform.
#include "base/Platform.h"

#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// Collects what a scan reports.
void CollectName(void* context, const char* fileName) {
    static_cast<std::vector<std::string>*>(context)->push_back(fileName);
}

std::string ReadText(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadTestFile(path);
    return std::string(bytes.begin(), bytes.end());
}

} // namespace

TEST(PlatformTest, ReadsStopAtTheEndAndReadAtLeavesThePosition) {
    CTempDirectory directory;
    const std::string path = directory.Join("digits.bin");
    WriteTestFile(path, "0123456789");
    const FileHandle file = Os::OpenFile(path.c_str(), EFileAccess::Read, EFileCreation::OpenExisting);
    ASSERT_NE(file, InvalidFileHandle);

    struct SCase {
        uint64_t Offset;
        uint64_t Count;
        bool Succeeds;
        const char* Expected;
    };
    const SCase cases[] = {
        {3, 4, true, "3456"},     {8, 5, true, "89"},           {10, 1, true, ""}, {20, 4, true, ""},
        {0, 0, true, ""},         {uint64_t(1) << 63, 1, false, ""},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.Offset) + "+" + std::to_string(c.Count));
        char bytes[16] = {};
        uint64_t bytesRead = 99;
        EXPECT_EQ(Os::ReadAt(file, c.Offset, bytes, c.Count, bytesRead), c.Succeeds);
        if (c.Succeeds) {
            EXPECT_EQ(std::string(bytes, bytesRead), c.Expected);
        }
    }

    // None of the reads at an offset moved the position: a plain read still starts at the beginning.
    char bytes[16] = {};
    uint64_t bytesRead = 0;
    ASSERT_TRUE(Os::Read(file, bytes, 4, bytesRead));
    EXPECT_EQ(std::string(bytes, bytesRead), "0123");
    ASSERT_TRUE(Os::ReadAt(file, 9, bytes, 1, bytesRead));
    ASSERT_TRUE(Os::Read(file, bytes, sizeof(bytes), bytesRead));
    EXPECT_EQ(std::string(bytes, bytesRead), "456789");
    ASSERT_TRUE(Os::Read(file, bytes, sizeof(bytes), bytesRead));
    EXPECT_EQ(bytesRead, 0u);

    // A reader does not write.
    uint64_t bytesWritten = 99;
    EXPECT_FALSE(Os::Write(file, "x", 1, bytesWritten));
    EXPECT_EQ(bytesWritten, 0u);
    Os::CloseFile(file);
    EXPECT_EQ(ReadText(path), "0123456789");
}

TEST(PlatformTest, SeekWriteAndCut) {
    CTempDirectory directory;
    const std::string path = directory.Join("edit.bin");
    WriteTestFile(path, "abcdefgh");
    const FileHandle file = Os::OpenFile(path.c_str(), EFileAccess::ReadWrite, EFileCreation::OpenOrCreate);
    ASSERT_NE(file, InvalidFileHandle);

    uint64_t size = 0;
    ASSERT_TRUE(Os::GetFileSize(file, size));
    EXPECT_EQ(size, 8u);
    // Opening or creating keeps what is there.
    ASSERT_TRUE(Os::Seek(file, 2));
    uint64_t bytesWritten = 0;
    ASSERT_TRUE(Os::Write(file, "XY", 2, bytesWritten));
    EXPECT_EQ(bytesWritten, 2u);
    ASSERT_TRUE(Os::Seek(file, 6));
    ASSERT_TRUE(Os::SetEndOfFile(file));
    ASSERT_TRUE(Os::GetFileSize(file, size));
    EXPECT_EQ(size, 6u);
    ASSERT_TRUE(Os::SeekToEnd(file));
    ASSERT_TRUE(Os::Write(file, "!", 1, bytesWritten));
    // A position past what a signed 64-bit offset holds is refused rather than wrapped.
    EXPECT_FALSE(Os::Seek(file, ~uint64_t(0)));
    EXPECT_FALSE(Os::Seek(file, uint64_t(1) << 63));
    // Past the end is a valid position; reading there gives nothing.
    ASSERT_TRUE(Os::Seek(file, 100));
    char bytes[4] = {};
    uint64_t bytesRead = 99;
    ASSERT_TRUE(Os::Read(file, bytes, sizeof(bytes), bytesRead));
    EXPECT_EQ(bytesRead, 0u);
    Os::CloseFile(file);
    EXPECT_EQ(ReadText(path), "abXYef!");

    // Creating anew empties the file; opening an existing one fails when it is missing.
    const FileHandle again = Os::OpenFile(path.c_str(), EFileAccess::Write, EFileCreation::CreateOrTruncate);
    ASSERT_NE(again, InvalidFileHandle);
    ASSERT_TRUE(Os::GetFileSize(again, size));
    EXPECT_EQ(size, 0u);
    Os::CloseFile(again);
    EXPECT_EQ(Os::OpenFile(directory.Join("missing.bin").c_str(), EFileAccess::ReadWrite,
                           EFileCreation::OpenExisting),
              InvalidFileHandle);
}

TEST(PlatformTest, ReadersShareAFile) {
    CTempDirectory directory;
    const std::string path = directory.Join("shared.archive");
    WriteTestFile(path, "shared");
    const FileHandle first = Os::OpenFile(path.c_str(), EFileAccess::Read, EFileCreation::OpenExisting);
    const FileHandle second = Os::OpenFile(path.c_str(), EFileAccess::Read, EFileCreation::OpenExisting);
    EXPECT_NE(first, InvalidFileHandle);
    EXPECT_NE(second, InvalidFileHandle);
    EXPECT_NE(first, second);
    Os::CloseFile(first);
    Os::CloseFile(second);
}

TEST(PlatformTest, MakeDirectorySaysWhatHappened) {
    CTempDirectory directory;
    const std::string fresh = directory.Join("fresh");
    WriteTestFile(directory.Join("file"), "f");
    struct SCase {
        std::string Path;
        ECreateDirectory Expected;
    };
    const SCase cases[] = {
        {fresh, ECreateDirectory::Created},
        {fresh, ECreateDirectory::AlreadyExists},
        {directory.Join("file"), ECreateDirectory::AlreadyExists},
        {directory.Join("missing/child"), ECreateDirectory::Failed},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.Path);
        EXPECT_EQ(Os::MakeDirectory(c.Path.c_str()), c.Expected);
    }
    EXPECT_TRUE(std::filesystem::is_directory(fresh));
}

TEST(PlatformTest, ScanReportsMatchingFilesOnly) {
    CTempDirectory directory;
    const std::string prefix = directory.GetPath() + "\\";
    for (const char* name : {"one.archive", "Two.ARCHIVE", "archive", "three.archive.bak", "four.pc_headerlib"})
        WriteTestFile(directory.Join(name), std::string(name));
    std::filesystem::create_directory(directory.Join("folder.archive"));

    struct SCase {
        const char* Pattern;
        EDirectoryScan Expected;
        std::vector<std::string> Names;
    };
    const SCase cases[] = {
        {"*.archive", EDirectoryScan::Listed, {"Two.ARCHIVE", "one.archive"}},
        {"*.PC_HEADERLIB", EDirectoryScan::Listed, {"four.pc_headerlib"}},
        {"*.missing", EDirectoryScan::NothingMatched, {}},
        // Only a directory matches: nothing to list.
        {"folder.*", EDirectoryScan::NothingMatched, {}},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.Pattern);
        std::vector<std::string> names;
        EXPECT_EQ(Os::ScanDirectory(prefix.c_str(), c.Pattern, &CollectName, &names), c.Expected);
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, c.Names);
    }

    std::vector<std::string> names;
    const std::string missing = directory.Join("missing") + "\\";
    EXPECT_EQ(Os::ScanDirectory(missing.c_str(), "*.archive", &CollectName, &names), EDirectoryScan::Failed);
    EXPECT_TRUE(names.empty());
}
