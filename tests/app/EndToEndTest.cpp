// The built tool run on content directories made by the writers: whole output trees, standard output and
// exit statuses, byte for byte.
#include "support/ContentBuilder.h"
#include "support/TempDirectory.h"
#include "support/ToolRunner.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <string>

namespace {

// Known answers for the container paths used below: archive names and library ids from MD5 of the
// lower-cased paths, worked out independently of the tool.
const std::string PackPath = "[examples/pack.bundle].pc_resourcelib";
const std::string PackArchiveName = "BB098D92BD77F6833EF8D28079B3C385.pc_resourcelib";
constexpr uint64_t PackId = 0x40000000EDE20E09ull;
const std::string InlinePath = "[e2e/inline.bundle].pc_resourcelib";
const std::string InlineArchiveName = "D185B0ADACCE2EE8F2828EA0316F38A1.pc_resourcelib";
constexpr uint64_t InlineId = 0x4000000058184BF0ull;
const std::string SplitPath = "[e2e/split.bundle].pc_resourcelib";
const std::string SplitArchiveName = "AF0AF0417AF458F2C14DC15F7E496288.pc_resourcelib";
constexpr uint64_t SplitId = 0x40000000DBED24D5ull;
const std::string ReadmePath = "examples/readme.txt";
const std::string ReadmeArchiveName = "02DAC1F4613862571209EA07B75851CA";
constexpr uint64_t ReadmeId = 0x00DAC1F461386257ull;

const std::string IndexFilesOk = "Writing name map... OK\r\n"
                                 "Writing container map... OK\r\n"
                                 "Writing external resources list... OK\r\n"
                                 "Writing res map... OK\r\n";

// One "NameMap.txt" line: the id in 20 decimal columns and 16 hexadecimal digits, then the name.
std::string NameLine(uint64_t id, const std::string& name) {
    char fields[64];
    std::snprintf(fields, sizeof(fields), "%20" PRIu64 " %016" PRIX64 " ", id, id);
    return fields + name + "\r\n";
}

// One "ResMap.bin" record.
std::string ResMapRecord(uint64_t id, const std::string& name) {
    std::string record;
    for (int i = 0; i < 8; ++i)
        record += static_cast<char>(id >> (8 * i));
    const uint32_t length = static_cast<uint32_t>(name.size()) + 1;
    for (int i = 0; i < 4; ++i)
        record += static_cast<char>(length >> (8 * i));
    return record + name + std::string(1, '\0');
}

std::string ResMapCount(uint32_t count) {
    std::string field;
    for (int i = 0; i < 4; ++i)
        field += static_cast<char>(count >> (8 * i));
    return field;
}

class EndToEndTest : public ::testing::Test {
protected:
    CTempDirectory Root;
    std::string Source = Root.Join("src");
    std::string Output = Root.Join("out");

    void SetUp() override { ASSERT_TRUE(std::filesystem::create_directories(Source)); }

    void WriteContent(const CTestContent& content) const { ASSERT_TRUE(WriteTestContent(Source, content)); }

    SToolRun Extract(const std::string& locale = "") const {
        if (locale.empty())
            return RunTool({Source, Output});
        return RunTool({"-locale", locale, Source, Output});
    }

    // The tool's spelling of a listed source file: the directory, a backslash, the file name.
    std::string Listed(const std::string& fileName) const { return Source + "\\" + fileName; }

    void ExpectOutputTree(const CTreeSnapshot& expected) const {
        const CTreeSnapshot actual = SnapshotTree(Output);
        EXPECT_TRUE(actual == expected) << DescribeTreeDifference(expected, actual);
    }
};

// A library with three containers (one with inline headers, one split across two archive files), an
// external resource and five resources.
CTestContent MakeMainContent() {
    CTestContentContainer pack;
    pack.Path = PackPath;
    pack.Languages = {std::string("en")};
    pack.Entries = {"alpha", "beta"};
    pack.Archives = {"a.archive"};
    CTestContentContainer inlineHeaders;
    inlineHeaders.Path = InlinePath;
    inlineHeaders.InlineHeaders = true;
    inlineHeaders.DataStart = 8;
    inlineHeaders.Entries = {"gamma"};
    inlineHeaders.Archives = {"b.archive"};
    CTestContentContainer split;
    split.Path = SplitPath;
    split.Languages = {std::string("de"), std::string("en")};
    split.Entries = {std::string(40, 'd'), "epsilon"};
    split.Archives = {"a.archive", "b.archive"};

    CTestContentLibrary library;
    library.FileName = "chunk0.pc_headerlib";
    library.Containers = {pack, inlineHeaders, split};
    library.ExternalNames = {ReadmePath};
    library.Resources = {MakeTestResource(pack, 0, 255, "res/alpha"), MakeTestResource(pack, 1, 0x1000, "res/beta"),
                         MakeTestResource(inlineHeaders, 0, 0x2000, "res/gamma"),
                         MakeTestResource(split, 0, 0x3000, "res/delta"),
                         MakeTestResource(split, 1, 0x3001, "res/epsilon")};
    CTestContent content;
    content.Archives = {"a.archive", "b.archive"};
    content.Libraries = {library};
    return content;
}

} // namespace

TEST_F(EndToEndTest, ExtractsEveryResourceAndWritesTheIndexFiles) {
    WriteContent(MakeMainContent());
    const CTreeSnapshot sourceBefore = SnapshotTree(Source);

    const SToolRun run = Extract();
    EXPECT_EQ(run.ExitStatus, 0);
    EXPECT_EQ(run.Output, "Mounting archives...\n" + Listed("a.archive") + "... OK\n" + Listed("b.archive") +
                              "... OK\n" + "Processing " + Listed("chunk0.pc_headerlib") + "...\r\n" + IndexFilesOk);

    const std::string nameMap = NameLine(PackId, PackPath) + NameLine(InlineId, InlinePath) +
                                NameLine(SplitId, SplitPath) + NameLine(ReadmeId, ReadmePath) +
                                NameLine(255, "res/alpha") + NameLine(0x1000, "res/beta") +
                                NameLine(0x2000, "res/gamma") + NameLine(0x3000, "res/delta") +
                                NameLine(0x3001, "res/epsilon");
    EXPECT_EQ(NameLine(255, "res/alpha"), "                 255 00000000000000FF res/alpha\r\n");
    const std::string resMap = ResMapCount(9) + ResMapRecord(PackId, PackPath) + ResMapRecord(InlineId, InlinePath) +
                               ResMapRecord(SplitId, SplitPath) + ResMapRecord(ReadmeId, ReadmePath) +
                               ResMapRecord(255, "res/alpha") + ResMapRecord(0x1000, "res/beta") +
                               ResMapRecord(0x2000, "res/gamma") + ResMapRecord(0x3000, "res/delta") +
                               ResMapRecord(0x3001, "res/epsilon");
    ExpectOutputTree({
        {"chunk0/", ""},
        // Without inline headers the header library's entry header goes in front of the bytes.
        {"chunk0/00000000000000FF.bin", MakeTestEntryHeader(0, 5) + "alpha"},
        {"chunk0/0000000000001000.bin", MakeTestEntryHeader(1, 4) + "beta"},
        // With inline headers the stored bytes carry their own header.
        {"chunk0/0000000000002000.bin", MakeTestEntryHeader(0, 5) + "gamma"},
        // The split container's first entry spans the two archive files.
        {"chunk0/0000000000003000.bin", MakeTestEntryHeader(0, 40) + std::string(40, 'd')},
        {"chunk0/0000000000003001.bin", MakeTestEntryHeader(1, 7) + "epsilon"},
        {"NameMap.txt", nameMap},
        {"ContainerNameMap.txt", PackArchiveName + " " + PackPath + " -> chunk0\r\n" + InlineArchiveName + " " +
                                     InlinePath + " -> chunk0\r\n" + SplitArchiveName + " " + SplitPath +
                                     " -> chunk0\r\n"},
        {"ExternalResources.txt", "   61574800270189143 00DAC1F461386257 examples/readme.txt " + ReadmeArchiveName +
                                      "\r\n"},
        {"ResMap.bin", resMap},
    });
    EXPECT_TRUE(SnapshotTree(Source) == sourceBefore) << "the tool changed its input";

    // A second run replaces every file with the same bytes.
    const SToolRun again = Extract();
    EXPECT_EQ(again.ExitStatus, 0);
    EXPECT_EQ(SnapshotTree(Output).at("chunk0/00000000000000FF.bin"), MakeTestEntryHeader(0, 5) + "alpha");
}

TEST_F(EndToEndTest, LocaleSelectsContainersByLanguage) {
    struct SCase {
        std::vector<std::optional<std::string>> Languages;
        std::string Locale;
        bool Written;
    };
    const SCase cases[] = {
        {{std::string("en")}, "", true},
        {{std::string("en")}, "de", false},
        {{std::string("fr"), std::string("de")}, "de", true},
        {{std::string("all")}, "xx", true},
        {{std::string("EN")}, "en", false},
        {{std::string("ALL")}, "en", false},
        {{}, "en", false},
        {{std::nullopt, std::string("en")}, "en", true},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.Locale + " " + std::to_string(c.Languages.size()));
        CTestContentContainer pack;
        pack.Path = PackPath;
        pack.Languages = c.Languages;
        pack.Entries = {"bytes"};
        pack.Archives = {"a.archive"};
        CTestContentLibrary library;
        library.FileName = "lib.pc_headerlib";
        library.Containers = {pack};
        library.Resources = {MakeTestResource(pack, 0, 0x77, "res/x")};
        CTestContent content;
        content.Libraries = {library};
        WriteContent(content);
        std::filesystem::remove_all(Output);

        const SToolRun run = Extract(c.Locale);
        EXPECT_EQ(run.ExitStatus, 0);
        EXPECT_EQ(TestFileExists(Output + "/lib/0000000000000077.bin"), c.Written);
        const std::string nameMap = NameLine(PackId, PackPath) + (c.Written ? NameLine(0x77, "res/x") : "");
        EXPECT_EQ(SnapshotTree(Output).at("NameMap.txt"), nameMap);
    }
}

TEST_F(EndToEndTest, FirstLibraryWinsAndNamesOutliveTheirLibrary) {
    CTestContentContainer first;
    first.Path = PackPath;
    first.Entries = {"one", "two"};
    first.Archives = {"a.archive"};
    CTestContentContainer second;
    second.Path = InlinePath;
    second.InlineHeaders = true;
    second.Entries = {"three", "four"};
    second.Archives = {"a.archive"};

    CTestContentLibrary a;
    a.FileName = "a.pc_headerlib";
    a.Containers = {first};
    a.Resources = {MakeTestResource(first, 0, 1, "names/from/the/first/library/one"),
                   MakeTestResource(first, 1, 2, "names/from/the/first/library/two")};
    CTestContentLibrary b;
    b.FileName = "b.pc_headerlib";
    b.Containers = {second};
    // Id 1 was named by the first library: skipped without a message. Id 3 is new.
    b.Resources = {MakeTestResource(second, 0, 1, "other/name"), MakeTestResource(second, 1, 3, "b/three")};
    CTestContent content;
    content.Libraries = {a, b};
    WriteContent(content);
    // A damaged library between them fails alone; the run goes on and ends with status 1.
    WriteTestFile(Source + "/ab.pc_headerlib", std::string("BILH not really a header library"));

    const SToolRun run = Extract();
    EXPECT_EQ(run.ExitStatus, 1);
    EXPECT_EQ(run.Output, "Mounting archives...\n" + Listed("a.archive") + "... OK\n" + "Processing " +
                              Listed("a.pc_headerlib") + "...\r\n" + "Failed to load \"" + Listed("ab.pc_headerlib") +
                              "\".\n" + "Processing " + Listed("b.pc_headerlib") + "...\r\n" + IndexFilesOk);
    const CTreeSnapshot tree = SnapshotTree(Output);
    EXPECT_EQ(tree.at("NameMap.txt"), NameLine(PackId, PackPath) + NameLine(1, "names/from/the/first/library/one") +
                                          NameLine(2, "names/from/the/first/library/two") +
                                          NameLine(InlineId, InlinePath) + NameLine(3, "b/three"));
    EXPECT_EQ(tree.count("b/0000000000000001.bin"), 0u);
    EXPECT_EQ(tree.at("b/0000000000000003.bin"), MakeTestEntryHeader(1, 4) + "four");
    EXPECT_EQ(tree.at("a/0000000000000001.bin"), MakeTestEntryHeader(0, 3) + "one");
    EXPECT_EQ(tree.count("ab/"), 0u);
}

TEST_F(EndToEndTest, NamesOfAnyLengthAreKeptWhole) {
    // The run copies names into megabyte blocks: names that fill a block exactly, an empty one right after
    // (whose terminator alone no longer fits), names longer than a block, and the short ones that follow
    // them must all come out whole, after a second library has replaced the payload they were read from.
    const uint64_t block = uint64_t(1) << 20;
    const std::string names[] = {std::string(block - 1, 'a'), "", "b", std::string(block, 'c'), "d",
                                 std::string(block + block / 2, 'e'), "f"};
    CTestContentContainer pack;
    pack.Path = PackPath;
    pack.Archives = {"a.archive"};
    CTestContentLibrary first;
    first.FileName = "a.pc_headerlib";
    for (uint32_t i = 0; i < std::size(names); ++i) {
        pack.Entries.push_back(std::string(1, static_cast<char>('0' + i)));
        first.Resources.push_back(MakeTestResource(pack, i, 100 + i, names[i]));
    }
    first.Containers = {pack};
    CTestContentContainer other;
    other.Path = InlinePath;
    other.Entries = {std::string(3 * block, 'x')};
    other.Archives = {"a.archive"};
    CTestContentLibrary second;
    second.FileName = "b.pc_headerlib";
    second.Containers = {other};
    second.Resources = {MakeTestResource(other, 0, 200, std::string(2 * block, 'y'))};
    CTestContent content;
    content.Libraries = {first, second};
    WriteContent(content);

    const SToolRun run = Extract();
    EXPECT_EQ(run.ExitStatus, 0);
    std::string expected = NameLine(PackId, PackPath);
    for (uint32_t i = 0; i < std::size(names); ++i)
        expected += NameLine(100 + i, names[i]);
    expected += NameLine(InlineId, InlinePath) + NameLine(200, std::string(2 * block, 'y'));
    EXPECT_TRUE(SnapshotTree(Output).at("NameMap.txt") == expected);
}

TEST_F(EndToEndTest, ResourcesThatCannotBeLocatedAreSkippedSilently) {
    CTestContentContainer pack;
    pack.Path = PackPath;
    pack.Entries = {"kept", "zero"};
    pack.Archives = {"a.archive"};
    // Described by the library, but no archive holds it.
    CTestContentContainer absent;
    absent.Path = SplitPath;
    absent.Entries = {"nowhere"};

    CTestContentLibrary library;
    library.FileName = "lib.pc_headerlib";
    library.Containers = {pack, absent};
    CTestResource notMember = MakeTestResource(pack, 0, 0x11, "not/a/member");
    notMember.MemberId &= ~(uint64_t(1) << 63);
    library.Resources = {
        MakeTestResource(pack, 0, PackId, "same/id/as/the/container"),
        notMember,
        MakeTestResource(pack, 2, 0x12, "entry/position/beyond/the/spans"),
        MakeTestResource(absent, 0, 0x13, "container/not/in/any/archive"),
        MakeTestResource(pack, 0, 0x14, "kept"),
    };
    CTestResource unknownContainer;
    unknownContainer.MemberId = 0x8000000012345678ull;
    unknownContainer.Id = 0x15;
    unknownContainer.Name = "unknown/container";
    library.Resources.push_back(unknownContainer);
    CTestContent content;
    content.Libraries = {library};
    WriteContent(content);

    const SToolRun run = Extract();
    EXPECT_EQ(run.ExitStatus, 0);
    EXPECT_EQ(run.Output, "Mounting archives...\n" + Listed("a.archive") + "... OK\n" + "Processing " +
                              Listed("lib.pc_headerlib") + "...\r\n" + IndexFilesOk);
    ExpectOutputTree({
        {"lib/", ""},
        {"lib/0000000000000014.bin", MakeTestEntryHeader(0, 4) + "kept"},
        {"NameMap.txt", NameLine(PackId, PackPath) + NameLine(SplitId, SplitPath) + NameLine(0x14, "kept")},
        {"ContainerNameMap.txt", PackArchiveName + " " + PackPath + " -> lib\r\n" + SplitArchiveName + " " + SplitPath +
                                     " -> lib\r\n"},
        {"ExternalResources.txt", ""},
        {"ResMap.bin", ResMapCount(3) + ResMapRecord(PackId, PackPath) + ResMapRecord(SplitId, SplitPath) +
                           ResMapRecord(0x14, "kept")},
    });
}

TEST_F(EndToEndTest, AbortedRunsWriteNothing) {
    // A source directory that does not exist.
    const std::string missing = Root.Join("missing");
    SToolRun run = RunTool({missing, Output});
    EXPECT_EQ(run.ExitStatus, 2);
    EXPECT_EQ(run.Output, "No pc_headerlib files found in " + missing + "\r\n");
    EXPECT_FALSE(TestFileExists(Output));

    // A damaged second archive stops the run after the first one mounted.
    CTestContent content = MakeMainContent();
    WriteContent(content);
    std::vector<uint8_t> damaged = ReadTestFile(Source + "/b.archive");
    damaged[0] = 'X';
    WriteTestFile(Source + "/c.archive", damaged);
    WriteTestFile(Source + "/b.archive", std::string("ARCH"));
    ASSERT_TRUE(WriteTestArchives(Source, {MakeSimpleTestArchive("a.archive", {"x"}, {"y"})}));

    run = Extract();
    EXPECT_EQ(run.ExitStatus, 2);
    EXPECT_EQ(run.Output, "Mounting archives...\n" + Listed("a.archive") + "... OK\n" + Listed("b.archive") +
                              "... failed\n" + "Aborting extraction.\n");
    EXPECT_FALSE(TestFileExists(Output));
}

TEST_F(EndToEndTest, IndexFilesNeedAnOutputDirectory) {
    ASSERT_TRUE(WriteTestArchives(Source, {MakeSimpleTestArchive("a.archive", {"x"}, {"y"})}));
    // No header library creates the output directory, so every index file fails.
    SToolRun run = Extract();
    EXPECT_EQ(run.ExitStatus, 1);
    EXPECT_EQ(run.Output, "Mounting archives...\n" + Listed("a.archive") + "... OK\n" +
                              "Writing name map... failed.\r\n"
                              "Writing container map... failed.\r\n"
                              "Writing external resources list... failed.\r\n"
                              "Writing res map... failed.\r\n");
    EXPECT_FALSE(TestFileExists(Output));

    // With the directory in place the four files are written empty.
    ASSERT_TRUE(std::filesystem::create_directories(Output));
    run = Extract();
    EXPECT_EQ(run.ExitStatus, 0);
    ExpectOutputTree({{"NameMap.txt", ""},
                      {"ContainerNameMap.txt", ""},
                      {"ExternalResources.txt", ""},
                      {"ResMap.bin", std::string(4, '\0')}});
}

TEST_F(EndToEndTest, LibraryNamesComeFromTheFileName) {
    CTestContentContainer pack;
    pack.Path = PackPath;
    pack.Entries = {"data"};
    pack.Archives = {"a.archive"};
    CTestContentLibrary plain;
    plain.FileName = "noextension_pc_headerlib.PC_HEADERLIB";
    plain.Containers = {pack};
    plain.Resources = {MakeTestResource(pack, 0, 0x21, "r")};
    // "...pc_headerlib" would be named ".." and write beside the output directory: refused.
    CTestContentLibrary dots;
    dots.FileName = "...pc_headerlib";
    dots.Containers = {pack};
    dots.Resources = {MakeTestResource(pack, 0, 0x22, "s")};
    CTestContent content;
    content.Libraries = {plain, dots};
    WriteContent(content);

    const SToolRun run = Extract();
    EXPECT_EQ(run.ExitStatus, 1);
    EXPECT_EQ(run.Output, "Mounting archives...\n" + Listed("a.archive") + "... OK\n" +
                              "Failed to create output directory \"" + Output + "\\..\".\r\n" + "Processing " +
                              Listed("noextension_pc_headerlib.PC_HEADERLIB") + "...\r\n" + IndexFilesOk);
    const CTreeSnapshot tree = SnapshotTree(Output);
    EXPECT_EQ(tree.at("noextension_pc_headerlib/0000000000000021.bin"), MakeTestEntryHeader(0, 4) + "data");
    EXPECT_FALSE(TestFileExists(Root.Join("0000000000000022.bin")));
}
