// Resource files written by worker threads: the same files and output in the same order, bounded memory.
#include "app/WriterPool.h"

#include "base/Memory.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

namespace {

// Queues writes (every 7th into a missing directory, so that it fails) and messages, and returns what a
// single thread prints for them. Runs out of memory at step stopAt, here or on the worker that writes it.
std::string RunSteps(CWriterPool& pool, const std::string& directory, int steps, int stopAt = -1,
                     bool onWorker = false) {
    std::string expected;
    CByteBuffer bytes;
    for (int i = 0; i < steps; ++i) {
        const std::string name = (i % 7 == 3 ? "missing\\" : "") + std::to_string(i) + ".bin";
        // A path longer than any inline buffer makes the worker that opens it allocate.
        const std::string path = directory + "\\" + (i == stopAt ? std::string(400, 'x') : name);
        if (i == stopAt && !onWorker)
            StopOutOfMemory();
        if (i % 5 == 0) {
            pool.Message("step %I64u\r\n", uint64_t(i));
            expected += "step " + std::to_string(i) + "\r\n";
        }
        EXPECT_TRUE(bytes.Resize(uint64_t(i) * 131 % 20000));
        for (uint64_t k = 0; k < bytes.GetSize(); ++k)
            bytes.GetData()[k] = uint8_t(i + k);
        pool.Write(path.c_str(), bytes);
        if (i % 7 == 3)
            expected += "Failed to write \"" + path + "\".\r\n";
    }
    return expected;
}

std::thread::id g_SelectingThread;

} // namespace

TEST(WriterPoolTest, EveryJobCountWritesAndPrintsAsOneThread) {
    const struct {
        uint32_t Jobs;
        uint64_t WaitingLimit;
    } rows[] = {
        {1, CWriterPool::DefaultWaitingLimit}, {4, CWriterPool::DefaultWaitingLimit}, {4, 65536}, {2, 1}};
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.Jobs << " jobs, limit " << row.WaitingLimit);
        CTempDirectory output;
        const int steps = 150;
        ::testing::internal::CaptureStdout();
        CWriterPool pool(row.Jobs, EWriteFailureReasons::Silent, row.WaitingLimit);
        const std::string expected = RunSteps(pool, output.GetPath(), steps);
        const WriteCounts counts = pool.Finish();
        fflush(stdout);
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), expected);
        EXPECT_EQ(counts.FailedWrites, uint64_t(steps / 7 + (steps % 7 > 3)));
        EXPECT_EQ(counts.FilesWritten + counts.FailedWrites, uint64_t(steps));
        uint64_t totalBytes = 0;
        for (int i = 0; i < steps; ++i) {
            if (i % 7 == 3)
                continue;
            const std::string content = ReadTestFile(output.Join(std::to_string(i) + ".bin"));
            ASSERT_EQ(content.size(), uint64_t(i) * 131 % 20000);
            for (size_t k = 0; k < content.size(); ++k)
                ASSERT_EQ(uint8_t(content[k]), uint8_t(i + k));
            totalBytes += content.size();
        }
        EXPECT_EQ(counts.BytesWritten, totalBytes);
        // No more waits than the limit, except one buffer larger than it (24 KiB here) waiting alone.
        EXPECT_LE(pool.GetPeakWaitingBytes(), std::max<uint64_t>(row.WaitingLimit, 24576));
    }
}

TEST(WriterPoolTest, OutOfMemoryPrintsEverythingBeforeItFirst) {
    const struct {
        uint32_t Jobs;
        bool OnWorker;
    } rows[] = {{1, false}, {4, false}, {4, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.Jobs << " jobs, on a worker: " << row.OnWorker);
#ifdef _WIN32
        // Windows takes paths of any length without an allocation of the tool's.
        if (row.OnWorker)
            continue;
#endif
        // A death test may run in a process of its own, started afresh, so the paths must not depend on the
        // process; they lie in the working directory, which differs between builds run at the same time.
        const std::string directory = "vorsk-writer-pool-stop";
        std::filesystem::remove_all(directory);
        std::filesystem::create_directory(directory);
        const std::string log = directory + "/stdout.txt";
        EXPECT_EXIT(
            {
                std::freopen(log.c_str(), "wb", stdout);
                g_SelectingThread = std::this_thread::get_id();
                SetAllocationFaultHook(
                    [](uint64_t) { return std::this_thread::get_id() != g_SelectingThread; });
                CWriterPool pool(row.Jobs);
                RunSteps(pool, directory, 80, 51, row.OnWorker);
                pool.Finish();
            },
            ::testing::ExitedWithCode(2), "out of memory");
        CWriterPool reference(1);
        ::testing::internal::CaptureStdout();
        const std::string expected = RunSteps(reference, directory, 51);
        ::testing::internal::GetCapturedStdout();
        EXPECT_EQ(ReadTestFile(log), expected);
        std::filesystem::remove_all(directory);
    }
}
