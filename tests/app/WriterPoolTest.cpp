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

// The bytes of step i's file; every 7th step writes into a missing directory, so that it fails.
std::string StepBytes(int i) {
    std::string bytes(uint64_t(i) * 131 % 20000, '\0');
    for (size_t k = 0; k < bytes.size(); ++k)
        bytes[k] = static_cast<char>(i + k);
    return bytes;
}

// Queues the writes and messages of the steps and returns what a single thread prints for them. Runs out of
// memory at step stopAt, here or on the worker that writes it.
std::string RunSteps(CWriterPool& pool, const std::string& directory, int steps, int stopAt = -1,
                     bool onWorker = false) {
    std::string expected;
    CByteBuffer bytes;
    for (int i = 0; i < steps; ++i) {
        // A path longer than any inline buffer makes the worker that opens it allocate.
        const std::string path = directory + "\\" + (i % 7 == 3 ? "missing\\" : "") +
                                 (i == stopAt ? std::string(400, 'x') : std::to_string(i) + ".bin");
        if (i == stopAt && !onWorker)
            StopOutOfMemory();
        if (i % 5 == 0) {
            pool.Message("step %I64u\r\n", uint64_t(i));
            expected += "step " + std::to_string(i) + "\r\n";
        }
        const std::string content = StepBytes(i);
        EXPECT_TRUE(bytes.Resize(0) && bytes.Append(content.data(), content.size()));
        pool.Write(path.c_str(), bytes);
        if (i % 7 == 3)
            expected += "Failed to write \"" + path + "\".\r\n";
    }
    return expected;
}

std::thread::id g_SelectingThread;

} // namespace

TEST(WriterPoolTest, EveryJobCountWritesAndPrintsAsOneThread) {
    const uint64_t defaultLimit = CWriterPool::DefaultWaitingLimit;
    const uint64_t limits[][2] = {{1, defaultLimit}, {4, defaultLimit}, {4, 65536}, {2, 1}};
    for (const auto& [jobs, limit] : limits) {
        SCOPED_TRACE(::testing::Message() << jobs << " jobs, limit " << limit);
        CTempDirectory output;
        ::testing::internal::CaptureStdout();
        CWriterPool pool(static_cast<uint32_t>(jobs), EWriteFailureReasons::Silent, limit);
        const std::string expected = RunSteps(pool, output.GetPath(), 150);
        const WriteCounts counts = pool.Finish();
        fflush(stdout);
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), expected);
        // The counts reach the summary line, which the end-to-end runs check at one and four jobs.
        EXPECT_EQ(counts.FailedWrites, 21u); // Steps 3, 10, ..., 143.
        // No more waits than the limit, except one buffer larger than it (24 KiB here) waiting alone.
        EXPECT_LE(pool.GetPeakWaitingBytes(), std::max<uint64_t>(limit, 24576));
    }
}

TEST(WriterPoolTest, OutOfMemoryPrintsEverythingBeforeItFirst) {
    const std::pair<uint32_t, bool> rows[] = {{1, false}, {4, false}, {4, true}};
    for (const auto& [jobs, onWorker] : rows) {
        SCOPED_TRACE(::testing::Message() << jobs << " jobs, on a worker: " << onWorker);
#ifdef _WIN32
        // Windows takes paths of any length without an allocation of the tool's.
        if (onWorker)
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
                CWriterPool pool(jobs);
                RunSteps(pool, directory, 80, 51, onWorker);
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
