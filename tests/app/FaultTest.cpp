// Faults of the tool's surroundings: blocked or linked output paths, a disk that fills up, archive reads that
// end short, memory that runs out, names held by pipes, hard links and links, standard output that fails, a
// run interrupted while it writes its index files.
#include "app/HeaderLibraryPhase.h"
#include "app/Options.h"
#include "app/OutputFiles.h"
#include "app/Report.h"
#include "app/WriterPool.h"
#include "archive/ArchiveManager.h"
#include "base/Console.h"
#include "base/FileList.h"
#include "base/Memory.h"
#include "support/ArchiveWriter.h"
#include "support/ContentBuilder.h"
#include "support/ExpectedOutput.h"
#include "support/TempDirectory.h"
#include "support/ToolRunner.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

const std::string PackPath = "[faults/pack.bundle].pc_resourcelib";

class FaultTest : public ::testing::Test {
protected:
    CTempDirectory Root;
    std::string Source = Root.Join("src");
    std::string Output = Root.Join("out");
    CTreeSnapshot SourceBefore;

    // One library "lib" of one container in a.archive whose entry i is resource 0x10 + i named names[i].
    void Write(const std::vector<std::string>& entries, const std::vector<std::string>& names) {
        ASSERT_TRUE(fs::create_directories(Source));
        const CTestContentContainer pack{PackPath, entries};
        CTestContentLibrary library{"lib.pc_headerlib", {pack}};
        for (uint32_t i = 0; i < entries.size(); ++i)
            library.Resources.push_back(MakeTestResource(pack, i, 0x10 + i, names[i]));
        ASSERT_TRUE(WriteTestContent(Source, {{}, {library}}));
        SourceBefore = SnapshotTree(Source);
    }
    std::string Expected(const std::string& middle, std::vector<bool> failed = std::vector<bool>(4)) const {
        return MakeMountingText(Source, {"a.archive"}) + "Processing " + Source +
               "\\lib.pc_headerlib...\r\n" + middle + MakeIndexFileProgress(std::move(failed));
    }
    std::string FailedWrite(uint64_t id) const {
        return "Failed to write \"" + Output + "\\lib\\" + MakeIdText(id) + ".bin\".\r\n";
    }
    void ExpectTrees(const CTreeSnapshot& expected) const {
        EXPECT_EQ(SnapshotTree(Output), expected);
        EXPECT_TRUE(SnapshotTree(Source) == SourceBefore) << "the tool changed its input";
    }
};

} // namespace

TEST_F(FaultTest, BlockedOutputPathsFailOneByOne) {
    Write({"zero", "one"}, {"r/0", "r/1"});
    const uint64_t packId = GetTestPathId(PackPath);
    CTreeSnapshot tree = MakeIndexFiles({{packId, PackPath}, {0x10, "r/0"}, {0x11, "r/1"}},
                                        MakeContainerLine(PackPath, "lib"));
    // The library's directory exists as a regular file: every resource below it fails, its id is named.
    fs::create_directories(Output);
    WriteTestFile(Output + "/lib", "occupied");
    EXPECT_EQ(RunTool({Source, Output}), (SToolRun{1, Expected(FailedWrite(0x10) + FailedWrite(0x11)),
                                                   MakeSummary({0, 0, 0, 0, 0, 0, 0, 0, 2, 1, 0})}));
    tree["lib"] = "occupied";
    ExpectTrees(tree);
    // A directory where an index file goes: only that file fails, and the run's status with it.
    fs::remove_all(Output);
    fs::create_directories(Output + "/ContainerNameMap.txt");
    EXPECT_EQ(RunTool({Source, Output}), (SToolRun{1, Expected("", {false, true, false, false}),
                                                   MakeSummary({2, 55, 0, 0, 0, 0, 0, 0, 0, 1, 0})}));
    tree.erase("lib");
    tree.erase("ContainerNameMap.txt");
    tree.insert({{"lib/", ""},
                 {"lib/0000000000000010.bin", MakeTestEntryHeader(0, 4) + "zero"},
                 {"lib/0000000000000011.bin", MakeTestEntryHeader(1, 3) + "one"},
                 {"ContainerNameMap.txt/", ""}});
    ExpectTrees(tree);
    // The output directory is a regular file: the library's folder cannot be made, nor any index file.
    fs::remove_all(Output);
    WriteTestFile(Output, "occupied");
    SToolRun run = RunTool({"--verbose", Source, Output});
    const std::string noFolder = MakeMountingText(Source, {"a.archive"}) +
                                 "Failed to create output directory \"" + Output + "\\lib\".\r\n";
    EXPECT_EQ(run.ExitStatus, 1);
    EXPECT_EQ(run.Output, noFolder + MakeIndexFileProgress({true, true, true, true}));
    // The reason is the system's own text: Linux's is known, other systems word it their own way.
    const std::string reason = "VorskExtract: cannot create directory \"" + Output + "\\lib\": ";
    const std::string summary = MakeSummary({0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0});
    EXPECT_TRUE(run.Error.starts_with(reason) && run.Error.ends_with(".\n" + summary)) << run.Error;
#ifdef __linux__
    EXPECT_EQ(run.Error, reason + "Not a directory (error 20).\n" + summary);
#endif
#ifndef _WIN32
    // Links at file names are replaced by the files, their target untouched; a hard link at an index file
    // too, as index files are renamed into place. A named pipe at a resource name is replaced, never opened:
    // opening it would wait for a reader for ever, so the run has a time limit.
    fs::remove_all(Output);
    fs::create_directories(Output + "/lib");
    const std::string target = Root.Join("target");
    WriteTestFile(target, "keep");
    ASSERT_EQ(::mkfifo((Output + "/lib/0000000000000010.bin").c_str(), 0600), 0);
    fs::create_symlink(target, Output + "/lib/0000000000000011.bin");
    fs::create_symlink(target, Output + "/NameMap.txt");
    fs::create_symlink(target, Output + "/.NameMap.txt.partial");
    fs::create_hard_link(target, Output + "/ResMap.bin");
    EXPECT_EQ(RunTool({Source, Output}, 0, 30).ExitStatus, 0);
    tree.erase("lib/0000000000000011.bin/");
    tree.erase("ContainerNameMap.txt/");
    tree["lib/0000000000000011.bin"] = MakeTestEntryHeader(1, 3) + "one";
    tree["ContainerNameMap.txt"] = MakeContainerLine(PackPath, "lib");
    ExpectTrees(tree);
    EXPECT_EQ(ReadTestFile(target), "keep");
    // A library folder that is a link (here into the source) fails the library.
    fs::remove_all(Output);
    fs::create_directories(Output);
    fs::create_directory_symlink(Source, Output + "/lib");
    run = RunTool({"--verbose", Source, Output});
    EXPECT_EQ(run.ExitStatus, 1);
    EXPECT_EQ(run.Error.substr(0, run.Error.find("Summary")), reason + "it is a symbolic link.\n");
    EXPECT_EQ(run.Output, noFolder + MakeIndexFileProgress());
    EXPECT_TRUE(SnapshotTree(Source) == SourceBefore) << "the tool changed its input";
#endif
}

TEST_F(FaultTest, FullDiskLeavesEveryFileWholeOrEmpty) {
#ifdef _WIN32
    GTEST_SKIP() << "no per-process file size limit on this platform";
#endif
    // Every file may grow to Limit bytes. Resource files are the 24-byte entry header and the data: the first
    // fits exactly, the second is one byte too big, the third is small and comes after the failure. Long
    // names make the name map the one index file that passes the limit.
    constexpr uint64_t Limit = 512;
    const std::vector<std::string> entries = {std::string(Limit - 24, 'f'), std::string(Limit - 23, 'b'),
                                              "after"};
    const std::vector<std::string> names = {"f/" + std::string(120, 'n'), "b/" + std::string(120, 'n'),
                                            "a/" + std::string(120, 'n')};
    Write(entries, names);
    // An earlier run's name map must not stay beside this run's other index files.
    fs::create_directories(Output);
    WriteTestFile(Output + "/NameMap.txt", "earlier run");
    const uint64_t packId = GetTestPathId(PackPath);
    const std::string resMap =
        MakeResMapImage({{packId, PackPath}, {0x10, names[0]}, {0x11, names[1]}, {0x12, names[2]}});
    EXPECT_EQ(RunTool({"--verbose", Source, Output}, Limit),
              (SToolRun{1, Expected(FailedWrite(0x11), {true, false, false, false}),
                        "VorskExtract: cannot write \"" + Output +
                            "\\lib\\0000000000000011.bin\": File too large (error 27).\n" +
                            MakeSummary({2, 541, 0, 0, 0, 0, 0, 0, 1, 1, 0})}));
    ExpectTrees({{"lib/", ""},
                 {"lib/0000000000000010.bin", MakeTestEntryHeader(0, Limit - 24) + entries[0]},
                 {"lib/0000000000000011.bin", ""},
                 {"lib/0000000000000012.bin", MakeTestEntryHeader(2, 5) + "after"},
                 {"NameMap.txt", ""},
                 {"ContainerNameMap.txt", MakeContainerLine(PackPath, "lib")},
                 {"ExternalResources.txt", ""},
                 {"ResMap.bin", resMap}});
}

TEST_F(FaultTest, ArchiveReadsThatEndShortFailTheResource) {
    Write({"k", "lost"}, {"kept", "lost"});
    // The entry's first segment holds the 24 bytes before the entries and "k"; the second, for "lost",
    // points past the end of its file, which shows only when its bytes are read.
    const std::string first = std::string(24, '.') + "k";
    CTestArchive archive{"a.archive", {"a.archive"}, {{GetTestArchiveName(PackPath), {}}}};
    archive.Entries[0].Segments = {{0, {first.begin(), first.end()}, {}, {}}, {0, {}, 100000, 4}};
    ASSERT_TRUE(WriteTestArchives(Source, {archive}));
    SourceBefore = SnapshotTree(Source);
    // A test run reads what an extraction would and writes nothing.
    const SToolRun test = RunTool({"--test", Source});
    EXPECT_EQ(test.ExitStatus, 1);
    EXPECT_EQ(test.Output + MakeIndexFileProgress(),
              Expected("Failed to read \"lib\\0000000000000011.bin\".\r\n"));
    EXPECT_EQ(test.Error, MakeSummary({1, 25, 0, 0, 0, 0, 0, 1, 0, 1, 0}, "read"));
    // A listing tells the same outcome.
    const SToolRun list = RunTool({"--list", Source});
    EXPECT_EQ(list.ExitStatus, 1);
    EXPECT_EQ(list.Output,
              "lib\t0000000000000010\t25\textract\tkept\nlib\t0000000000000011\t28\tunreadable\tlost\n");
    EXPECT_EQ(RunTool({Source, Output}),
              (SToolRun{1, Expected("Failed to read \"" + Output + "\\lib\\0000000000000011.bin\".\r\n"),
                        MakeSummary({1, 25, 0, 0, 0, 0, 0, 1, 0, 1, 0})}));
    EXPECT_EQ(ReadTestFile(Output + "/lib/0000000000000010.bin"), MakeTestEntryHeader(0, 1) + "k");
    EXPECT_EQ(ReadTestFile(Output + "/NameMap.txt"),
              MakeNameLine(GetTestPathId(PackPath), PackPath) + MakeNameLine(0x10, "kept"));
    // A reimport fails the read where the tree's file matches up to the missing bytes, and counts it nowhere
    // else; so does a quick one, though the file is older than the name map.
    const std::string lost = Output + "/lib/0000000000000011.bin";
    WriteTestFile(lost, MakeTestEntryHeader(1, 4) + "lost");
    fs::last_write_time(lost, fs::last_write_time(Output + "/NameMap.txt") - std::chrono::hours(1));
    const SToolRun reimport = RunTool({"--quick", "--reimport", Output + "-dest", Source, Output});
    EXPECT_EQ(reimport.ExitStatus, 1);
    EXPECT_NE(reimport.Error.find("Failed to read \"" + Output +
                                  "\\lib\\0000000000000011.bin\".\r\nSummary: 0 "
                                  "changed, 1 unchanged, 0 missing, 0 refused, 0 ignored, 1 failed reads"),
              std::string::npos)
        << reimport.Error;
    // A comparison, like the extraction, leaves the unread id out of the name map: nothing differs.
    EXPECT_EQ(RunTool({"--compare", Source, Output}).Output, "");
}

TEST_F(FaultTest, ResourcesAreNeverHeldWhole) {
    // Storage of half the large resource's size is refused: its bytes pass in bounded pieces, at any job
    // count.
    const std::string big(3 << 20, 'x');
    Write({big, "small"}, {"big", "small"});
    CArchiveManager manager;
    ASSERT_NE(manager.Mount((Source + "\\a.archive").c_str()), nullptr);
    CRunOptions options;
    options.Source = Source.c_str();
    options.Output = Output.c_str();
    options.Verbosity = EVerbosity::Quiet;
    for (const uint32_t jobs : {1u, 2u}) {
        CFileList files;
        CRunReport report(true);
        CWriterPool pool(jobs);
        SetAllocationFaultHook([](uint64_t size) { return size > (uint64_t(3) << 20) / 2; });
        ::testing::internal::CaptureStdout();
        EXPECT_EQ(ProcessHeaderLibraries(files, manager, options, report, pool), EExtractionOutcome::Clean);
        ::testing::internal::GetCapturedStdout();
        SetAllocationFaultHook(nullptr);
        const std::string written = ReadTestFile(Output + "/lib/0000000000000010.bin");
        EXPECT_TRUE(written == MakeTestEntryHeader(0, big.size()) + big) << written.size() << " bytes";
    }
}

TEST_F(FaultTest, FailedStandardOutputEndsTheRunWithoutIndexFiles) {
#ifdef _WIN32
    GTEST_SKIP() << "needs /dev/full";
#else
    Write({"zero"}, {"r/0"});
    const std::string log = Root.Join("log");
    for (const char* options : {"--list", "--list --json", "--locales", "--help", ""}) {
        SCOPED_TRACE(options);
        const std::string output = *options == '\0' ? " '" + Output + "'" : "";
        const std::string command = std::string("'" VORSK_EXECUTABLE "' ") + options + " '" + Source + "'" +
                                    output + " >/dev/full 2>'" + log + "'";
        const int status = std::system(command.c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << status;
        // The listings' messages come before on standard error; no summary comes after.
        const std::string error = ReadTestFile(log);
        const std::string reason = std::strerror(ENOSPC);
        const std::string line = "VorskExtract: cannot write standard output: " + reason + " (error 28).\n";
        EXPECT_TRUE(error.ends_with(line)) << error;
        EXPECT_EQ(error.find("Summary"), std::string::npos);
        EXPECT_FALSE(fs::exists(Output));
    }
#endif
}

TEST_F(FaultTest, InterruptedIndexFilesLeaveTheEarlierSetAndNoTemporaries) {
#ifdef _WIN32
    GTEST_SKIP() << "needs signals";
#else
    ASSERT_TRUE(fs::create_directories(Output));
    WriteTestFile(Output + "/NameMap.txt", "earlier run");
    WriteTestFile(Output + "/.NameMap.txt.partial", "left by a killed run");
    // A child of its own, which the test watches from outside, whatever the death test style.
    const pid_t child = ::fork();
    if (child == 0) {
        // Standard output is a full pipe that nobody reads, so the first progress text, printed once every
        // temporary is written, blocks the child before any rename. A child that is never ended here dies.
        int ends[2];
        char chunk[4096] = {};
        if (::pipe(ends) != 0 || ::fcntl(ends[1], F_SETFL, O_NONBLOCK) != 0)
            std::_Exit(3);
        while (::write(ends[1], chunk, sizeof(chunk)) > 0) {
        }
        if (::fcntl(ends[1], F_SETFL, 0) != 0 || ::dup2(ends[1], STDOUT_FILENO) < 0)
            std::_Exit(3);
        ::alarm(60);
        CNameMap names;
        names.FindOrInsert(255) = CStringViewA("renamed");
        TStringBufferA<260> path;
        const CStringBufferA none;
        (void)WriteIndexFiles(path, Output.c_str(), names, 100, none, none);
        std::_Exit(0);
    }
    ASSERT_GT(child, 0);
    for (int i = 0; i < 3000 && !fs::exists(Output + "/.ResMap.bin.partial"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ::kill(child, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    EXPECT_EQ(SnapshotTree(Output), CTreeSnapshot({{"NameMap.txt", "earlier run"}}));
#endif
}
