// Opening by mode, whole-file writes (never a truncated copy) and directory creation with parents.
#include "base/File.h"

#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

std::string ReadText(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadTestFile(path);
    return std::string(bytes.begin(), bytes.end());
}

bool IsDirectory(const std::string& path) {
    return std::filesystem::is_directory(path);
}

// Runs the test body with the working directory inside a temporary directory, and restores it afterwards.
class CWorkingDirectory {
public:
    explicit CWorkingDirectory(const std::string& path) : m_Previous(std::filesystem::current_path()) {
        std::filesystem::current_path(path);
    }
    ~CWorkingDirectory() { std::filesystem::current_path(m_Previous); }

private:
    std::filesystem::path m_Previous;
};

} // namespace

TEST(FileTest, CreateDirectoryPathCreatesParents) {
    CTempDirectory directory;
    const std::string base = directory.GetPath();
    ASSERT_TRUE(CreateDirectoryPath((base + "/abs/deep\\er/leaf").c_str()));
    EXPECT_TRUE(IsDirectory(base + "/abs/deep/er/leaf"));
    // Existing directories count as created.
    EXPECT_TRUE(CreateDirectoryPath((base + "\\abs\\deep").c_str()));
    EXPECT_TRUE(CreateDirectoryPath(base.c_str()));

    CWorkingDirectory inside(base);
    struct SCase {
        const char* Path;
        const char* Created;
    };
    const SCase cases[] = {{"rel\\sub", "rel/sub"},
                           {"twice\\\\inner", "twice/inner"},
                           {"slashes//inner", "slashes/inner"},
                           {"trail/end/", "trail/end"},
                           {"single", "single"}};
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.Path);
        EXPECT_TRUE(CreateDirectoryPath(c.Path));
        EXPECT_TRUE(IsDirectory(c.Created));
    }

    WriteTestFile("file", "x");
    EXPECT_FALSE(CreateDirectoryPath("file\\below"));
    EXPECT_FALSE(std::filesystem::exists("file/below"));
}

TEST(FileTest, OpenFileByMode) {
    CTempDirectory directory;
    const std::string path = directory.Join("data.bin");
    const std::string missing = directory.Join("missing.bin");
    WriteTestFile(path, "content");

    for (const char* mode : {"r", "rb", "r+"}) {
        SCOPED_TRACE(mode);
        const FileHandle file = OpenFile(path.c_str(), mode);
        ASSERT_NE(file, InvalidFileHandle);
        char bytes[16] = {};
        uint64_t read = 0;
        EXPECT_TRUE(Os::Read(file, bytes, sizeof(bytes), read));
        EXPECT_EQ(std::string(bytes, read), "content");
        CloseFile(file);
        EXPECT_EQ(OpenFile(missing.c_str(), mode), InvalidFileHandle);
    }
    for (const char* mode : {"x", "", "b", "+"}) {
        SCOPED_TRACE(mode);
        EXPECT_EQ(OpenFile(path.c_str(), mode), InvalidFileHandle);
        EXPECT_EQ(OpenFile(missing.c_str(), mode), InvalidFileHandle);
        EXPECT_FALSE(TestFileExists(missing));
    }

    // A directory is never opened, whatever the mode; for writing the system refuses it by itself.
    for (const char* mode : {"r", "r+", "w", "w+", "a", "a+"}) {
        SCOPED_TRACE(mode);
        EXPECT_EQ(OpenFile(directory.GetPath().c_str(), mode), InvalidFileHandle);
    }

    // "a" writes at the end of what is there; "w" empties first.
    FileHandle file = OpenFile(path.c_str(), "a");
    ASSERT_NE(file, InvalidFileHandle);
    uint64_t written = 0;
    EXPECT_TRUE(Os::Write(file, "+more", 5, written));
    CloseFile(file);
    EXPECT_EQ(ReadText(path), "content+more");

    file = OpenFile(path.c_str(), "w");
    ASSERT_NE(file, InvalidFileHandle);
#ifdef _WIN32
    // A writer has the file to itself there: a reader is refused until it closes.
    EXPECT_EQ(OpenFile(path.c_str(), "r"), InvalidFileHandle);
#else
    EXPECT_EQ(ReadText(path), "");
#endif
    EXPECT_TRUE(Os::Write(file, "new", 3, written));
    CloseFile(file);
    EXPECT_EQ(ReadText(path), "new");

    file = OpenFile(missing.c_str(), "a+");
    ASSERT_NE(file, InvalidFileHandle);
    CloseFile(file);
    EXPECT_TRUE(TestFileExists(missing));
}

TEST(FileTest, WriteWholeFileReplacesContent) {
    CTempDirectory directory;
    const std::string path = directory.Join("out.bin");
    WriteTestFile(path, std::string(5000, 'o'));
    ASSERT_TRUE(WriteWholeFile(path.c_str(), "short", 5));
    EXPECT_EQ(ReadText(path), "short");

    ASSERT_TRUE(WriteWholeFile(path.c_str(), nullptr, 0));
    EXPECT_TRUE(TestFileExists(path));
    EXPECT_EQ(ReadText(path), "");
    const std::string fresh = directory.Join("fresh.bin");
    ASSERT_TRUE(WriteWholeFile(fresh.c_str(), "", 0));
    EXPECT_TRUE(TestFileExists(fresh));

    const std::string unreachable = directory.Join("no/such/dir.bin");
    EXPECT_FALSE(WriteWholeFile(unreachable.c_str(), "x", 1));
    EXPECT_FALSE(TestFileExists(directory.Join("no")));
}

// Needs a per-process file size limit, which Windows does not have.
#ifndef _WIN32
TEST(FileTest, FailedWriteLeavesEmptyFile) {
    CTempDirectory directory;
    const std::string path = directory.Join("limited.bin");
    WriteTestFile(path, std::string(100, 'p'));
    const std::vector<uint8_t> content(10000, 0x5A);

    // The child may write at most 4096 bytes to any file; with SIGXFSZ ignored the write past that fails
    // instead of killing it. It reports WriteWholeFile's result through its exit status.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit = {4096, 4096};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
            _exit(3);
        _exit(WriteWholeFile(path.c_str(), content.data(), content.size()) ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the write reported success; 3: no file size limit";
    EXPECT_TRUE(TestFileExists(path));
    EXPECT_EQ(ReadTestFile(path).size(), 0u);
}
#endif
