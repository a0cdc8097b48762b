// Tests of the mounting phase of ExtractResources: its progress lines and the runs that it aborts.
#include "app/Extraction.h"
#include "archive/ArchiveManager.h"
#include "base/Console.h"
#include "support/ArchiveWriter.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

// ExtractResources mounts into the global manager; every test starts and ends with it empty.
class MountingTest : public ::testing::Test {
protected:
    CTempDirectory Source;
    CTempDirectory Output;

    void SetUp() override { GetArchiveManager().UnmountAll(); }
    void TearDown() override { GetArchiveManager().UnmountAll(); }

    EExtractionOutcome Run(const std::string& source, std::string& printed) {
        const std::string output = Output.Join("out");
        CRunOptions options;
        options.Source = source.c_str();
        options.Output = output.c_str();
        ::testing::internal::CaptureStdout();
        const EExtractionOutcome outcome = ExtractResources(options);
        FlushConsole();
        printed = ::testing::internal::GetCapturedStdout();
        return outcome;
    }
    std::string Listed(const char* fileName) const { return Source.GetPath() + "\\" + fileName; }
};

TEST_F(MountingTest, PrintsEachArchiveOnItsLine) {
    // b.archive refers to a.archive, which is then already mounted; a sub-directory named like an archive
    // is not listed.
    CTestArchive second = MakeSimpleTestArchive("b.archive", {"x"}, {"1"});
    second.References.push_back("a.archive");
    ASSERT_TRUE(
        WriteTestArchives(Source.GetPath(), {MakeSimpleTestArchive("a.archive", {"y"}, {"2"}), second}));
    std::filesystem::create_directory(Source.Join("c.archive"));
    std::string printed;
    EXPECT_NE(Run(Source.GetPath(), printed), EExtractionOutcome::Aborted);
    // The header library phase prints after the mounting phase.
    const std::string expected =
        "Mounting archives...\n" + Listed("a.archive") + "... OK\n" + Listed("b.archive") + "... OK\n";
    EXPECT_EQ(printed.substr(0, expected.size()), expected);
    EXPECT_EQ(GetArchiveManager().GetArchiveCount(), 2u);
}

TEST_F(MountingTest, DamagedArchiveAbortsTheRun) {
    CTestArchive damaged = MakeSimpleTestArchive("m2.archive", {"x"}, {"1"});
    damaged.Magic = 0x48435200;
    ASSERT_TRUE(
        WriteTestArchives(Source.GetPath(), {MakeSimpleTestArchive("m1.archive", {"y"}, {"2"}), damaged,
                                             MakeSimpleTestArchive("m3.archive", {"z"}, {"3"})}));
    std::string printed;
    EXPECT_EQ(Run(Source.GetPath(), printed), EExtractionOutcome::Aborted);
    EXPECT_EQ(printed, "Mounting archives...\n" + Listed("m1.archive") + "... OK\n" + Listed("m2.archive") +
                           "... failed\nAborting extraction.\n");
    EXPECT_TRUE(std::filesystem::is_empty(Output.GetPath()));
    // The archive mounted before the failure stays mounted.
    EXPECT_NE(GetArchiveManager().FindArchive("m1.archive"), nullptr);
    EXPECT_EQ(GetArchiveManager().FindArchive("m3.archive"), nullptr);
}

TEST_F(MountingTest, UnlistableSourceAbortsTheRun) {
    const std::string missing = Source.Join("missing");
    std::string printed;
    EXPECT_EQ(Run(missing, printed), EExtractionOutcome::Aborted);
    EXPECT_EQ(printed, "No pc_headerlib files found in " + missing + "\r\n");
    EXPECT_TRUE(std::filesystem::is_empty(Output.GetPath()));

    // A source without archives mounts nothing and goes on to the header library phase.
    EXPECT_NE(Run(Source.GetPath(), printed), EExtractionOutcome::Aborted);
    EXPECT_EQ(printed.substr(0, 21), "Mounting archives...\n");
}

} // namespace
