// Resource files written by worker threads: the same files and output in the same order at every job count.
#include "app/WriterPool.h"

#include "base/Memory.h"
#include "support/ExpectedOutput.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

namespace {

// Queues step i's file (id i, a header of i % 70 bytes) and every 5th a message, and returns what one thread
// prints for them. A directory stands at every 7th file's name, so its write fails; every 11th asks for data
// that no archive holds, so its read fails. Runs out of memory at step stopAt.
std::string RunSteps(CWriterPool& pool, const std::string& directory, int steps, int stopAt = -1) {
    pool.SetFolder(Os::OpenDirectory(directory.c_str()), directory.c_str());
    std::string expected;
    static uint8_t header[70];
    for (int i = 0; i < steps; ++i) {
        const std::string name = "\"" + directory + "\\" + MakeIdText(i) + ".bin\".\r\n";
        if (i == stopAt)
            StopOutOfMemory();
        if (i % 5 == 0) {
            if (i % 10 == 0)
                pool.Message("step %I64u\r\n", uint64_t(i));
            else
                pool.ErrorMessage("step\n");
            expected += i % 10 == 0 ? "step " + std::to_string(i) + "\r\n" : "";
        }
        if (i % 7 == 3)
            fs::create_directory(directory + "/" + MakeIdText(i) + ".bin");
        pool.Write(CResourceFile{
            static_cast<ResourceId>(i), header, static_cast<uint32_t>(i % 70), {}, i % 11 == 5 ? 5u : 0u});
        if (i % 7 == 3)
            expected += "Failed to write " + name;
        else if (i % 11 == 5)
            expected += "Failed to read " + name;
    }
    return expected;
}

} // namespace

TEST(WriterPoolTest, EveryJobCountWritesAndPrintsAsOneThread) {
    for (const uint32_t jobs : {1u, 2u, 4u, 32u}) {
        SCOPED_TRACE(jobs);
        CTempDirectory output;
        ::testing::internal::CaptureStdout();
        CWriterPool pool(jobs);
        const std::string expected = RunSteps(pool, output.GetPath(), 700);
        const CWriteCounts counts = pool.Finish();
        fflush(stdout);
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), expected);
        // Steps 3, 10, ... fail their writes; of steps 5, 16, ... those that are not among them their reads.
        EXPECT_EQ(counts.FailedWrites, 100u);
        EXPECT_EQ(counts.FailedReads, 55u);
        EXPECT_EQ(counts.FilesWritten, 545u);
        EXPECT_EQ(pool.GetFailedReads().GetCount(), 55u);
        EXPECT_EQ(fs::file_size(output.Join(MakeIdText(69) + ".bin")), 69u);
        EXPECT_FALSE(fs::exists(output.Join(MakeIdText(16) + ".bin")));
    }
}

TEST(WriterPoolTest, OutOfMemoryPrintsEverythingBeforeItFirst) {
    // A death test may run in a process of its own, started afresh, so the folder must not depend on the
    // process: the first process names a fresh one in the environment, which the processes it starts inherit.
    static const std::string folder = [] {
        if (const char* inherited = std::getenv("VORSK_WRITER_POOL_TEST_FOLDER"))
            return std::string(inherited);
        const std::string made =
            (fs::path(::testing::TempDir()) / ("vorsk-writer-pool-" + std::to_string(std::random_device()())))
                .string();
#ifdef _WIN32
        _putenv_s("VORSK_WRITER_POOL_TEST_FOLDER", made.c_str());
#else
        setenv("VORSK_WRITER_POOL_TEST_FOLDER", made.c_str(), 1);
#endif
        return made;
    }();
    for (const uint32_t jobs : {1u, 4u}) {
        SCOPED_TRACE(jobs);
        const std::string directory = folder + "-" + std::to_string(jobs);
        fs::remove_all(directory);
        fs::create_directory(directory);
        const std::string log = directory + "/stdout.txt";
        EXPECT_EXIT(
            {
                if (std::freopen(log.c_str(), "wb", stdout) == nullptr)
                    std::_Exit(3); // Not the status the test expects.
                CWriterPool pool(jobs);
                RunSteps(pool, directory, 400, 301);
                pool.Finish();
            },
            ::testing::ExitedWithCode(2), "out of memory");
        const std::string stopped = ReadTestFile(log);
        fs::remove_all(directory);
        fs::create_directory(directory);
        std::string expected;
        {
            // The pool holds its folder open (on Windows, against removal) until it ends.
            CWriterPool reference(1);
            ::testing::internal::CaptureStdout();
            expected = RunSteps(reference, directory, 301);
            ::testing::internal::GetCapturedStdout();
        }
        EXPECT_EQ(stopped, expected);
        fs::remove_all(directory);
    }
}

TEST(WriterPoolTest, FilesLandInTheFolderOpenedForTheirLibrary) {
#ifndef _WIN32
    // A folder renamed and replaced by a link once its library began: its files still land in the folder.
    CTempDirectory root;
    const std::string folder = root.Join("folder"), moved = root.Join("moved"), other = root.Join("other");
    ASSERT_TRUE(fs::create_directories(folder) && fs::create_directories(other));
    CWriterPool pool(2);
    pool.SetFolder(Os::OpenDirectory(folder.c_str()), folder.c_str());
    fs::rename(folder, moved);
    fs::create_directory_symlink(other, folder);
    pool.Write(CResourceFile{0x10, nullptr, 0, {}, 0});
    EXPECT_EQ(pool.Finish().FilesWritten, 1u);
    EXPECT_TRUE(fs::exists(moved + "/0000000000000010.bin"));
    EXPECT_TRUE(fs::is_empty(other));
#endif
}
