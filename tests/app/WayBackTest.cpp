// The way back through the built tool: edited trees reimported and extracted again byte for byte, the
// refusals, and the statuses of a comparison.
#include "app/DestinationPath.h"
#include "support/ContentBuilder.h"
#include "support/TempDirectory.h"
#include "support/ToolRunner.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

CTestContentContainer Container(const std::string& name, std::vector<std::string> entries,
                                std::vector<std::string> archives, bool inlineHeaders = false) {
    return {"[wb/" + name + ".bundle].pc_resourcelib",
            std::move(entries),
            {"all"},
            std::move(archives),
            inlineHeaders,
            8};
}

// Every kind of container: entry headers in the library and inline, data split across two archives, a
// container that two libraries describe, one that only "de" admits.
CTestContent MakeContent(bool secondLayoutDiffers = false) {
    const CTestContentContainer separate = Container("separate", {"alpha", "beta", "gamma"}, {"a.archive"});
    const CTestContentContainer inlined = Container("inline", {"one", "two"}, {"b.archive"}, true);
    const CTestContentContainer split =
        Container("split", {std::string(300, 's'), "right"}, {"a.archive", "b.archive"});
    CTestContentContainer german = Container("german", {"deutsch"}, {"b.archive"});
    german.Languages = {std::string("de")};
    CTestContentContainer again = separate;
    if (secondLayoutDiffers)
        again.Entries[0] = "alpha!";
    return {{"a.archive", "b.archive"},
            {{"lib0.pc_headerlib",
              {separate, inlined, split, german},
              {MakeTestResource(separate, 0, 0x10, "a0"), MakeTestResource(separate, 1, 0x11, "a1"),
               MakeTestResource(inlined, 0, 0x20, "i0"), MakeTestResource(inlined, 1, 0x21, "i1"),
               MakeTestResource(split, 1, 0x30, "s1"), MakeTestResource(german, 0, 0x40, "g0"),
               // Two ids over one member: their files must agree for the container to be put back.
               MakeTestResource(split, 0, 0x31, "s0"), MakeTestResource(split, 0, 0x3A, "s0 again")}},
             {"lib1.pc_headerlib", {again}, {MakeTestResource(again, 2, 0x12, "a2")}}}};
}

class WayBackTest : public ::testing::Test {
protected:
    CTempDirectory Root;
    // Each case works in a folder of its own below Root.
    std::string Case, Source, Tree, Destination;
    int Cases = 0;

    void Prepare(const CTestContent& content, const std::string& locale = "en") {
        Case = Root.Join("case" + std::to_string(Cases++));
        Source = Case + "/src";
        Tree = Case + "/tree";
        Destination = Case + "/dest";
        // An empty destination folder is taken like a missing one.
        ASSERT_TRUE(fs::create_directories(Source) && fs::create_directory(Destination));
        ASSERT_TRUE(WriteTestContent(Source, content));
        ASSERT_EQ(RunTool({"-locale", locale, Source, Tree}).ExitStatus, 0);
    }
    // Replaces a resource file by its header (with the data length the tool will set) and new data. Bytes
    // 12 on of a written header are its data length and padding alone.
    void Edit(const std::string& file, const std::string& data, int headerByte) {
        std::string header =
            ReadTestFile(Tree + "/" + file).substr(0, 12) + MakeTestEntryHeader(0, data.size()).substr(12);
        if (headerByte >= 0)
            header[headerByte] = '#';
        WriteTestFile(Tree + "/" + file, header + data);
    }
    CTreeSnapshot ExtractInto(const std::string& source, const std::string& name, const std::string& locale) {
        EXPECT_LE(RunTool({"-locale", locale, source, Case + "/" + name}).ExitStatus, 1);
        return SnapshotTree(Case + "/" + name);
    }
};

} // namespace

TEST_F(WayBackTest, ReimportedTreeExtractsAsEditedAndLeavesTheRestAsItWas) {
    const struct {
        const char* Name;
        std::string Locale;
        std::vector<std::string> Files;
        std::string Data;
        int HeaderByte;
    } cases[] = {
        {"no edit", "en", {}, "", -1},
        {"same size, library header", "en", {"lib0/0000000000000010.bin"}, "ALPHA", -1},
        {"larger, inline header", "en", {"lib0/0000000000000020.bin"}, std::string(5000, 'L'), -1},
        {"smaller, split container", "en", {"lib0/0000000000000030.bin"}, "r", -1},
        {"empty, container in two libraries", "en", {"lib1/0000000000000012.bin"}, "", -1},
        {"edited header byte", "en", {"lib0/0000000000000011.bin"}, "beta", 3},
        {"edited inline header byte", "en", {"lib0/0000000000000021.bin"}, "two", 5},
        {"both ids over one member",
         "en",
         {"lib0/0000000000000031.bin", "lib0/000000000000003A.bin"},
         "S",
         -1},
        {"other locale", "de", {"lib0/0000000000000040.bin"}, "Deutsch, neu", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        Prepare(MakeContent(), c.Locale);
        for (const std::string& file : c.Files)
            Edit(file, c.Data, c.HeaderByte);
        // The quick check finds every edit here: each is newer than the extraction's name map.
        const SToolRun run =
            RunTool({"--quick", "--reimport", Destination, "-locale", c.Locale, Source, Tree});
        EXPECT_EQ(run.ExitStatus, 0) << run.Error;
        EXPECT_EQ(run.Output.find("changed\t") != std::string::npos, !c.Files.empty()) << run.Output;
        EXPECT_TRUE(ExtractInto(Destination, "again", c.Locale) == SnapshotTree(Tree));
        // In the other locale everything reads as before, but for the edited files where it admits them.
        const std::string other = c.Locale == "en" ? "de" : "en";
        CTreeSnapshot expected = ExtractInto(Source, "before", other);
        for (const std::string& file : c.Files)
            if (expected.count(file) != 0)
                expected[file] = ReadTestFile(Tree + "/" + file);
        EXPECT_TRUE(ExtractInto(Destination, "other", other) == expected);
        EXPECT_EQ(RunTool({"--compare", "-locale", c.Locale, Destination, Tree}).ExitStatus, 0);
        EXPECT_EQ(SnapshotTree(Destination) == SnapshotTree(Source), c.Files.empty());
    }
}

TEST_F(WayBackTest, RefusesWhatCannotBePutBackExactly) {
    const struct {
        const char* Name;
        int Variant; // 1: a library differs, 3: a file removed, others: archives
        std::string Edited, Data, Destination;
        int ExitStatus;
        std::string Message;
    } cases[] = {
        {"file shorter than its header", 0, "lib0/0000000000000010.bin", "short", "dest", 1,
         "0000000000000010.bin\": shorter than its entry header"},
        {"second library differs", 1, "lib0/0000000000000010.bin", "ALPHA!", "dest", 1,
         "described differently by"},
        {"two ids over one member differ", 0, "lib0/0000000000000031.bin", "new", "dest", 1,
         "comes from the same entry with other bytes"},
        {"entry over a header", 2, "lib0/0000000000000010.bin", "ALPHA", "dest", 1, "lies inside entry data"},
        {"edit beside a missing file", 3, "lib0/0000000000000010.bin", "ALPHA", "dest", 0,
         "1 missing, 0 refused"},
        {"segments past the end", 4, "lib0/0000000000000010.bin", "ALPHA", "dest", 0, "1 changed"},
        {"entry data elsewhere", 5, "lib0/0000000000000010.bin", "ALPHA", "dest", 0, "1 changed"},
        {"destination not empty", 0, "", "", "tree", 2, "is not an empty directory"},
        {"destination in the source", 0, "", "", "src/new", 2, "or lies inside it"},
        {"file naming no resource", 0, "lib0/stray.bin", "", "dest", 0, "\\lib0\\stray.bin\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        Prepare(MakeContent(c.Variant == 1));
        // An entry over a.archive's header (2) or 2 MiB past its end (4), so that the zeros DEST gets in
        // between take more than one write; the first container's entry held by c.archive, which names only
        // a.archive (5).
        std::vector<CTestArchive> archives = BuildTestContentArchives(MakeContent());
        if (c.Variant == 2 || c.Variant == 4)
            archives[0].Entries.push_back({"over", {{0, {}, uint64_t(c.Variant == 4) << 21, 8}}});
        if (c.Variant == 5) {
            archives.push_back({"c.archive", {"a.archive"}, {archives[0].Entries[0]}});
            archives[0].Entries.erase(archives[0].Entries.begin());
        }
        ASSERT_TRUE(c.Variant < 2 || c.Variant == 3 || WriteTestArchives(Source, archives));
        if (c.Variant == 3)
            fs::remove(Tree + "/lib0/0000000000000011.bin");
        if (!c.Edited.empty())
            WriteTestFile(Tree + "/" + c.Edited,
                          c.Data == "short" ? c.Data
                                            : ReadTestFile(Tree + "/" + c.Edited).substr(0, 24) + c.Data);
        const SToolRun run = RunTool({"--verbose", "--reimport", Case + "/" + c.Destination, Source, Tree});
        EXPECT_EQ(run.ExitStatus, c.ExitStatus);
        EXPECT_NE(run.Error.find(c.Message), std::string::npos) << run.Error;
        // An aborted run writes no archive. A refused container (or an ignored file) is left as it was; the
        // rest of the run still writes the destination.
        if (c.ExitStatus == 2) {
            EXPECT_FALSE(fs::exists(Case + "/" + c.Destination + "/a.archive"));
        } else if (c.Variant < 3) {
            EXPECT_TRUE(SnapshotTree(Destination) == SnapshotTree(Source));
        }
        EXPECT_TRUE(c.Variant < 4 || RunTool({"--compare", Destination, Tree}).ExitStatus == 0);
    }
}

TEST_F(WayBackTest, CompareListsEachDifferenceWithItsStatus) {
    const struct {
        const char* Name;
        std::string File;
        // 0 none, 1 rewrite, 2 remove, 3 make a directory, 4 rewrite at its size, < 0 and older, 5 as 4 at
        // the name map's time
        int Change;
        std::string Line;
        std::vector<std::string> Options;
    } cases[] = {
        {"same", "", 0, "", {}},
        {"differs", "lib0/0000000000000010.bin", 1, "differs\tlib0\t0000000000000010\t29\t1\ta0\n", {}},
        {"missing", "lib0/0000000000000011.bin", 2, "missing\tlib0\t0000000000000011\t28\t-\ta1\n", {}},
        {"run's order on four workers",
         "lib0",
         2,
         "missing\tlib0\t0000000000000010\t29\t-\ta0\nmissing\tlib0\t0000000000000011\t28\t-\ta1\n"
         "missing\tlib0\t0000000000000020\t27\t-\ti0\nmissing\tlib0\t0000000000000021\t27\t-\ti1\n"
         "missing\tlib0\t0000000000000030\t29\t-\ts1\n",
         {"--jobs", "4"}},
        {"not a file", "lib0/0000000000000020.bin", 3, "not a file\tlib0\t0000000000000020\t27\t-\ti0\n", {}},
        {"extra", "lib1/stray.txt", 1, "extra\tlib1\t-\t-\t1\tstray.txt\n", {}},
        {"index file", "NameMap.txt", 1, "differs\t\t-\t", {}},
        {"filtered out, still expected", "", 0, "", {"--exclude", "a0"}},
        {"quick: older, its size", "lib0/0000000000000010.bin", -4, "", {"--quick"}},
        {"quick: newer",
         "lib0/0000000000000010.bin",
         4,
         "differs\tlib0\t0000000000000010\t29\t29",
         {"--quick"}},
        {"quick: as old as the name map",
         "lib0/0000000000000010.bin",
         5,
         "differs\tlib0\t0000000000000010",
         {"--quick"}},
        {"quick: older, another size",
         "lib0/0000000000000010.bin",
         -1,
         "differs\tlib0\t0000000000000010",
         {"--quick"}},
        {"json",
         "lib0/0000000000000010.bin",
         2,
         "{\"status\": \"missing\", \"library\": \"lib0\", \"id\": \"0000000000000010\", \"size\": 29, "
         "\"found_size\": null, \"name\": \"a0\"}\n{\"summary\": {\"same\": 11, \"different\": 0, "
         "\"missing\": 1, "
         "\"not_a_file\": 0,",
         {"--json", "--quick"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        Prepare(MakeContent());
        const std::string path = Tree + "/" + c.File;
        if (c.Change == 2 || c.Change == 3)
            fs::remove_all(path);
        if (std::abs(c.Change) == 1)
            WriteTestFile(path, "x");
        if (std::abs(c.Change) == 4 || c.Change == 5)
            WriteTestFile(path, std::string(fs::file_size(path), '#'));
        if (c.Change == 3)
            fs::create_directory(path);
        // The name map's time is set again, so that a system that rounds set times rounds both alike.
        if (c.Change < 0 || c.Change == 5) {
            const std::string nameMap = Tree + "/NameMap.txt";
            const fs::file_time_type time = fs::last_write_time(nameMap);
            fs::last_write_time(nameMap, time);
            fs::last_write_time(path, time - std::chrono::hours(c.Change < 0));
        }
        std::vector<std::string> arguments = c.Options;
        arguments.insert(arguments.begin(), "--compare");
        arguments.insert(arguments.end(), {Source, Tree});
        const SToolRun run = RunTool(arguments);
        EXPECT_EQ(run.ExitStatus, c.Line.empty() ? 0 : 1);
        EXPECT_EQ(run.Output.substr(0, c.Line.size()), c.Line);
        EXPECT_EQ(run.Output.empty(), c.Line.empty()) << run.Output;
    }
}

TEST(DestinationPathTest, PathsCompareByTheRulesOfEachSystem) {
    const struct {
        const char *Path, *Directory;
        EPathRules Rules;
        bool Inside;
        const char* Relative; // Below the directory; "" when not strictly below it.
    } cases[] = {
        {"c:/GAME/Out\\", "C:\\game", EPathRules::Windows, true, "Out"},
        {"C:\\GAME\\Out", "C:\\game", EPathRules::Posix, false, ""},
        {"C:\\game", "c:\\Game\\", EPathRules::Windows, true, ""},
        {"C:\\Games\\x", "C:\\Game", EPathRules::Windows, false, ""},
        {"c:\\New", "C:\\", EPathRules::Windows, true, "New"},
        {"D:\\New", "C:\\", EPathRules::Windows, false, ""},
        {"C:\\..\\Game\\x", "C:\\Game", EPathRules::Windows, true, "x"},
        {"C:", "c:\\", EPathRules::Windows, true, ""},
        {"C:x\\y", "C:x", EPathRules::Windows, true, "y"},
        {"../..", "..", EPathRules::Posix, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Path) + " in " + c.Directory);
        EXPECT_EQ(IsSameOrInside(c.Path, c.Directory, c.Rules), c.Inside);
        CInlineStringA relative;
        EXPECT_EQ(MakeRelativePath(c.Directory, c.Path, c.Rules, relative) ? relative.GetData() : "",
                  std::string(c.Relative));
    }
}
