// The built tool run on content directories made by the writers: whole output trees, standard output and
// exit statuses, byte for byte.
#include "support/ContentBuilder.h"
#include "support/ExpectedOutput.h"
#include "support/TempDirectory.h"
#include "support/ToolRunner.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

// Known answers: archive names and library ids from MD5 of the lower-cased paths, worked out apart from
// the tool.
const std::string PackPath = "[examples/pack.bundle].pc_resourcelib";
constexpr uint64_t PackId = 0x40000000EDE20E09ull;
const std::string InlinePath = "[e2e/inline.bundle].pc_resourcelib";
constexpr uint64_t InlineId = 0x4000000058184BF0ull;
const std::string SplitPath = "[e2e/split.bundle].pc_resourcelib";
constexpr uint64_t SplitId = 0x40000000DBED24D5ull;

class EndToEndTest : public ::testing::Test {
protected:
    CTempDirectory Root;
    std::string Source = Root.Join("src");
    std::string Output = Root.Join("out");

    void SetUp() override { ASSERT_TRUE(fs::create_directories(Source)); }
    void Write(const CTestContent& content) const { ASSERT_TRUE(WriteTestContent(Source, content)); }
    std::string Processing(const std::string& library) const {
        return "Processing " + Source + "\\" + library + "...\r\n";
    }
};

} // namespace

TEST_F(EndToEndTest, ExtractsEveryResourceAndWritesTheIndexFiles) {
    // Three containers: one admitted by "en", one with inline headers after 8 bytes of its own, one split
    // across two archive files; an external resource and five resources.
    const CTestContentContainer pack{PackPath, {"alpha", "beta"}, {"en"}};
    const CTestContentContainer inlineHeaders{InlinePath, {"gamma"}, {"all"}, {"b.archive"}, true, 8};
    const CTestContentContainer split{
        SplitPath, {std::string(1000, 'd'), "epsilon"}, {"de", "en"}, {"a.archive", "b.archive"}};
    Write({{"a.archive", "b.archive"},
           {{"chunk0.pc_headerlib",
             {pack, inlineHeaders, split},
             {MakeTestResource(pack, 0, 255, "res/alpha"), MakeTestResource(pack, 1, 0x1000, "res/beta"),
              MakeTestResource(inlineHeaders, 0, 0x2000, "res/gamma"),
              MakeTestResource(split, 0, 0x3000, "res/delta"),
              MakeTestResource(split, 1, 0x3001, "res/epsilon")},
             {std::string("examples/readme.txt")}}}});
    // A second run replaces every file with the same bytes.
    for (int run = 0; run < 2; ++run) {
        EXPECT_EQ(RunTool({Source, Output}),
                  (SToolRun{0,
                            MakeMountingText(Source, {"a.archive", "b.archive"}) +
                                Processing("chunk0.pc_headerlib") + MakeIndexFileProgress(),
                            MakeSummary({5, 1141, 0, 0, 0, 0, 0, 0, 0, 1, 0})}));
        // clang-format off
        const std::vector<std::pair<uint64_t, std::string>> names = {{PackId, PackPath}, {InlineId, InlinePath},
            {SplitId, SplitPath}, {0x00DAC1F461386257, "examples/readme.txt"}, {255, "res/alpha"},
            {0x1000, "res/beta"}, {0x2000, "res/gamma"}, {0x3000, "res/delta"}, {0x3001, "res/epsilon"}};
        // clang-format on
        CTreeSnapshot expected = MakeIndexFiles(
            names,
            MakeContainerLine(PackPath, "chunk0") + MakeContainerLine(InlinePath, "chunk0") +
                MakeContainerLine(SplitPath, "chunk0"),
            "   61574800270189143 00DAC1F461386257 examples/readme.txt 02DAC1F4613862571209EA07B75851CA\r\n");
        // Without inline headers the header library's entry header goes in front of the bytes.
        expected.insert({{"chunk0/", ""},
                         {"chunk0/00000000000000FF.bin", MakeTestEntryHeader(0, 5) + "alpha"},
                         {"chunk0/0000000000001000.bin", MakeTestEntryHeader(1, 4) + "beta"},
                         {"chunk0/0000000000002000.bin", MakeTestEntryHeader(0, 5) + "gamma"},
                         {"chunk0/0000000000003000.bin", MakeTestEntryHeader(0, 1000) + split.Entries[0]},
                         {"chunk0/0000000000003001.bin", MakeTestEntryHeader(1, 7) + "epsilon"}});
        EXPECT_EQ(SnapshotTree(Output), expected);
    }
}

TEST_F(EndToEndTest, FirstLibraryWinsAndNamesOutliveTheirLibrary) {
    // Names copied into megabyte blocks: one that fills a block, an empty one right after, one longer than
    // a block; the second library replaces the payload they were read from.
    const uint64_t block = uint64_t(1) << 20;
    const std::string names[] = {std::string(block - 1, 'a'), "", std::string(block + 5, 'c'), "d"};
    const CTestContentContainer first{PackPath, {"0", "1", "2", "3"}};
    CTestContentLibrary a{"a.pc_headerlib", {first}};
    for (uint32_t i = 0; i < 4; ++i)
        a.Resources.push_back(MakeTestResource(first, i, 100 + i, names[i]));
    const CTestContentContainer second{InlinePath, {"three", "four"}, {"all"}, {"a.archive"}, true};
    // Id 100 was named by the first library: skipped without a message. Id 3 is new. The library folder is
    // the file name up to its last dot; "...pc_headerlib" would be called ".." and write beside the output.
    Write({{},
           {a,
            {"b_pc_headerlib.PC_HEADERLIB",
             {second},
             {MakeTestResource(second, 0, 100, "other"), MakeTestResource(second, 1, 3, "b/3")}},
            {"...pc_headerlib", {first}, {MakeTestResource(first, 0, 0x22, "s")}}}});
    // Containers that admit every locale list no language by name, so any locale is warned about, shown
    // escaped as --locales shows names, so that the warning stays one line.
    EXPECT_EQ(RunTool({"--verbose", "-locale", "x\\y", Source, Output}),
              (SToolRun{1,
                        MakeMountingText(Source, {"a.archive"}) + "Failed to create output directory \"" +
                            Output + "\\..\".\r\n" + Processing("a.pc_headerlib") +
                            Processing("b_pc_headerlib.PC_HEADERLIB") + MakeIndexFileProgress(),
                        "VorskExtract: cannot create directory \"" + Output +
                            "\\..\": the library name is not a folder name.\nWarning: no container lists the "
                            "locale \"x\\\\y\"; the languages found are: all.\n" +
                            MakeSummary({5, 128, 0, 0, 1, 0, 0, 0, 0, 3, 0})}));
    const auto index = MakeIndexFiles({{PackId, PackPath},
                                       {100, names[0]},
                                       {101, names[1]},
                                       {102, names[2]},
                                       {103, names[3]},
                                       {InlineId, InlinePath},
                                       {3, "b/3"}});
    for (const char* file : {"NameMap.txt", "ResMap.bin"})
        EXPECT_TRUE(ReadTestFile(Output + "/" + file) == index.at(file)) << file;
    EXPECT_EQ(ReadTestFile(Output + "/a/0000000000000064.bin"), MakeTestEntryHeader(0, 1) + "0");
    EXPECT_EQ(ReadTestFile(Output + "/b_pc_headerlib/0000000000000003.bin"),
              MakeTestEntryHeader(1, 4) + "four");
}

TEST_F(EndToEndTest, BadCommandLinesAndAbortedRunsWriteNothing) {
    const std::string usage =
        "VorskExtract - extracts the resources of a game's content directory\r\n"
        "Usage: VorskExtract.exe [options] <source directory> <output directory>\r\n"
        "Options:\r\n"
        "  -locale <locale> - Change the locale of language specific files, defaults to \"en\".\r\n";
    const std::string noRun = MakeSummary(std::vector<uint64_t>(11, 0));
    // A damaged second archive stops the run after the first one mounted.
    ASSERT_TRUE(WriteTestArchives(Source, {MakeSimpleTestArchive("a.archive", {"x"}, {"y"})}));
    WriteTestFile(Source + "/b.archive", "ARCH");
    WriteTestFile(Source + "/c.archive", "never mounted");
    const struct {
        std::vector<std::string> Arguments;
        SToolRun Run;
    } cases[] = {
        {{"-loc", "de", Source, Output}, {2, "Unrecognized option: -loc\r\n", ""}},
        {{"--quiet", "--", "--src", Output}, {2, "Unrecognized option: --src\r\n", ""}},
        {{"--jobs", "32"}, {0, usage, ""}},
        {{"-locale", "de", Source}, {0, usage, ""}},
        {{"--jobs", "0", Source, Output}, {2, "", "Option --jobs takes a count from 1 to 32, not \"0\".\n"}},
        {{"--jobs", "33", Source, Output},
         {2, "", "Option --jobs takes a count from 1 to 32, not \"33\".\n"}},
        {{"--include"}, {2, "", "Option --include needs a value <pattern>.\n"}},
        {{"--json", Source, Output}, {2, "", "Option --json needs --list or --compare.\n"}},
        {{"--quick", "--list", Source}, {2, "", "Option --quick needs --compare or --reimport.\n"}},
        {{"--list", "--test", Source}, {2, "", "Options --list and --test cannot be used together.\n"}},
        {{"--locales", Source, Output},
         {2, "", "Option --locales takes only the source directory, not also \"" + Output + "\".\n"}},
        // The option's name is taken in any letter case; "-x" and "a-" are source directories' names.
        {{"-LOCALE", "de", "-x", Output}, {2, "No pc_headerlib files found in -x\r\n", noRun}},
        {{"a-", Output}, {2, "No pc_headerlib files found in a-\r\n", noRun}},
        {{Source, Output},
         {2,
          MakeMountingText(Source, {"a.archive"}) + Source + "\\b.archive... failed\nAborting extraction.\n",
          noRun}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RunTool(c.Arguments), c.Run) << c.Arguments[0];
    // Help stops the reading of options: what follows it is not looked at.
    const SToolRun help = RunTool({"--help", "--x"});
    EXPECT_EQ(help.ExitStatus, 0);
    EXPECT_TRUE(help.Output.rfind(usage, 0) == 0 &&
                help.Output.find("  --jobs <count> - ") != std::string::npos)
        << help.Output;
    EXPECT_EQ(help.Error, "");
    EXPECT_FALSE(fs::exists(Output));
}

TEST_F(EndToEndTest, ListedFilteredAndResumedRunsFollowTheDecisionsOfAFullRun) {
    // One library with every outcome at locale "en": two resources to extract (one named with a tab, line
    // ends, a backslash, a control byte and a byte that is no UTF-8; the text listing escapes the first
    // four), an id already named, a container for "d\te" and "e" only, a container that no archive holds.
    const CTestContentContainer pack{PackPath, {"alpha", "beta"}, {"en"}};
    const CTestContentContainer other{SplitPath, {"delta"}, {"d\te", "e"}};
    const CTestContentContainer absent{InlinePath, {"x"}, {"en"}, {}};
    Write(
        {{},
         {{"lib.pc_headerlib",
           {pack, other, absent},
           {MakeTestResource(pack, 0, 0x10, "res/a/alpha"),
            MakeTestResource(pack, 1, 0x11, "res/B\t\r\n\\\x01\xff"), MakeTestResource(pack, 0, 0x10, "dup"),
            MakeTestResource(other, 0, 0x12, "loc/delta"), MakeTestResource(absent, 0, 0x13, "gone")}}}});
    const CTreeSnapshot sourceBefore = SnapshotTree(Source);
    EXPECT_EQ(RunTool({"--list", "-locale", "en", Source}),
              (SToolRun{0,
                        "lib\t0000000000000010\t29\textract\tres/a/alpha\n"
                        "lib\t0000000000000011\t28\textract\tres/B\\t\\r\\n\\\\\x01\xff\n"
                        "lib\t0000000000000010\t-\tnamed\tdup\n"
                        "lib\t0000000000000012\t29\tlocale\tloc/delta\n"
                        "lib\t0000000000000013\t25\tunavailable\tgone\n",
                        MakeMountingText(Source, {"a.archive"}) + Processing("lib.pc_headerlib") +
                            MakeSummary({2, 57, 0, 1, 1, 1, 0, 0, 0, 1, 0}, "to extract")}));
    // The JSON form of the same listing ends in the summary with its own keys.
    SToolRun run = RunTool({"--list", "--json", "-locale", "en", Source});
    EXPECT_NE(run.Output.find(
                  "\n{\"summary\": {\"to_extract\": 2, \"to_extract_bytes\": 57, \"kept_existing\": 0, "),
              std::string::npos)
        << run.Output;
    run = RunTool({"--locales", Source});
    EXPECT_EQ(run.ExitStatus, 0);
    EXPECT_EQ(run.Output, "d\\te\t1\t1\ne\t1\t1\nen\t2\t4\n");
    EXPECT_TRUE(SnapshotTree(Source) == sourceBefore);
    EXPECT_EQ(RunTool({"--verbose", Source, Output}).Error,
              "Unavailable: lib\\0000000000000013 gone (no archive holds the container)\n" +
                  MakeSummary({2, 57, 0, 1, 1, 1, 0, 0, 0, 1, 0}));
    const CTreeSnapshot full = SnapshotTree(Output);
    const std::string alpha = "lib/0000000000000010.bin";
    const std::string beta = "lib/0000000000000011.bin";
    // A run cut short left alpha truncated and beta whole; beta's bytes change, its size does not.
    WriteTestFile(Output + "/" + alpha, "cut");
    WriteTestFile(Output + "/" + beta, std::string(28, 'k'));
    EXPECT_EQ(RunTool({"--skip-existing", "-locale", "en", Source, Output}).Error,
              MakeSummary({1, 29, 1, 1, 1, 1, 0, 0, 0, 1, 0}));
    CTreeSnapshot expected = full;
    expected[beta] = std::string(28, 'k');
    EXPECT_EQ(SnapshotTree(Output), expected);
    // "*" runs across "/", ASCII case is ignored, "?" is any one byte, patterns match whole names.
    fs::remove_all(Output);
    EXPECT_EQ(RunTool({"--include", "RES/*", "--exclude", "res/b??????", Source, Output}).Error,
              MakeSummary({1, 29, 0, 0, 0, 0, 4, 0, 0, 1, 0}));
    expected = full;
    expected.erase(beta);
    EXPECT_EQ(SnapshotTree(Output), expected);
    // An archive that does not mount is left out, and so is one that refers to it; the run goes on, ending
    // with status 1.
    fs::remove_all(Output);
    WriteTestFile(Source + "/0.archive", "ARCH");
    CTestArchive referring = MakeSimpleTestArchive("b.archive", {"x"}, {"y"});
    referring.References.push_back("0.archive");
    ASSERT_TRUE(WriteTestArchives(Source, {referring}));
    // Quiet, the run prints nothing on standard error.
    EXPECT_EQ(RunTool({"--keep-going", "--quiet", Source, Output}),
              (SToolRun{1,
                        "Mounting archives...\n" + Source + "\\0.archive... failed\n" + Source +
                            "\\a.archive... OK\n" + Source + "\\b.archive... failed\n" +
                            Processing("lib.pc_headerlib") + MakeIndexFileProgress(),
                        ""}));
    EXPECT_EQ(SnapshotTree(Output), full);
    // A reimport copies a.archive and the library alone: what did not mount stays out, and so do its copies.
    EXPECT_EQ(RunTool({"--keep-going", "--reimport", Output + "-d", Source, Output}).ExitStatus, 1);
    CTreeSnapshot copied = SnapshotTree(Source);
    copied.erase("0.archive");
    copied.erase("b.archive");
    EXPECT_EQ(SnapshotTree(Output + "-d"), copied);
}
