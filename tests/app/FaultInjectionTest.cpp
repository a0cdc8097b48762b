// The built tool run against faults of its surroundings: output paths that cannot be made, a disk that fills
// while files are written, archives whose reads end short, and inputs cut at every length.
#include "archive/ArchiveManager.h"
#include "base/ByteBuffer.h"
#include "base/InlineString.h"
#include "headerlib/HeaderLibrary.h"
#include "resid/ResourcePath.h"
#include "support/ContentBuilder.h"
#include "support/ExpectedOutput.h"
#include "support/LimitedToolRunner.h"
#include "support/TempDirectory.h"
#include "support/ToolRunner.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

const std::string PackPath = "[faults/pack.bundle].pc_resourcelib";
const std::string OtherPath = "[faults/other.bundle].pc_resourcelib";

class FaultInjectionTest : public ::testing::Test {
protected:
    CTempDirectory Root;
    std::string Source = Root.Join("src");
    std::string Output = Root.Join("out");

    void SetUp() override { ASSERT_TRUE(std::filesystem::create_directories(Source)); }

    // The tool's spelling of a listed source file and of a path below the output directory.
    std::string Listed(const std::string& fileName) const { return Source + "\\" + fileName; }
    std::string InOutput(const std::string& relative) const { return Output + "\\" + relative; }
    std::string Mounted(const std::vector<std::string>& archives) const {
        std::string text = "Mounting archives...\n";
        for (const std::string& archive : archives)
            text += Listed(archive) + "... OK\n";
        return text;
    }
};

std::string ResourceFileName(uint64_t id) {
    char name[32];
    std::snprintf(name, sizeof(name), "%016llX.bin", static_cast<unsigned long long>(id));
    return name;
}

// A container in a.archive with the given entries, all languages admitted.
CTestContentContainer MakeContainer(const std::string& path, const std::vector<std::string>& entries) {
    CTestContentContainer container;
    container.Path = path;
    container.Entries = entries;
    container.Archives = {"a.archive"};
    return container;
}

// A library of one container whose entry i is resource id firstId + i, named "res/<library>/<i>".
CTestContentLibrary MakeLibrary(const std::string& name, const CTestContentContainer& container,
                                uint64_t firstId) {
    CTestContentLibrary library;
    library.FileName = name + ".pc_headerlib";
    library.Containers = {container};
    for (uint32_t entry = 0; entry < container.Entries.size(); ++entry)
        library.Resources.push_back(
            MakeTestResource(container, entry, firstId + entry, "res/" + name + "/" + std::to_string(entry)));
    return library;
}

} // namespace

TEST_F(FaultInjectionTest, OutputBelowARegularFileFailsEveryLibraryAndIndexFile) {
    CTestContent content;
    content.Libraries = {MakeLibrary("one", MakeContainer(PackPath, {"first"}), 0x10),
                         MakeLibrary("two", MakeContainer(OtherPath, {"second"}), 0x20)};
    ASSERT_TRUE(WriteTestContent(Source, content));
    const std::string blocker = Root.Join("blocker");
    WriteTestFile(blocker, std::string("a regular file"));
    Output = blocker + "/out";
    const CTreeSnapshot sourceBefore = SnapshotTree(Source);

    const SToolRun run = RunTool({Source, Output});
    EXPECT_EQ(run.ExitStatus, 1);
    EXPECT_EQ(run.Output, Mounted({"a.archive"}) + "Failed to create output directory \"" + InOutput("one") +
                              "\".\r\n" + "Failed to create output directory \"" + InOutput("two") +
                              "\".\r\n" + MakeIndexFileProgress(false, false, false, false));
    EXPECT_TRUE(SnapshotTree(Source) == sourceBefore) << "the tool changed its input";
    const std::vector<uint8_t> blockerBytes = ReadTestFile(blocker);
    EXPECT_EQ(std::string(blockerBytes.begin(), blockerBytes.end()), "a regular file");
}

TEST_F(FaultInjectionTest, OutputPathsTakenByOtherFilesFailOneByOne) {
    const CTestContentContainer pack = MakeContainer(PackPath, {"zero", "one"});
    CTestContent content;
    content.Libraries = {MakeLibrary("lib", pack, 0x10)};
    ASSERT_TRUE(WriteTestContent(Source, content));
    const std::string zeroFile = MakeTestEntryHeader(0, 4) + "zero";
    const std::string oneFile = MakeTestEntryHeader(1, 3) + "one";
    const std::string target = Source + "/target.txt"; // Links point into the source: it must not change.
    const std::string nameMap = MakeNameLine(GetTestPathId(PackPath), PackPath) +
                                MakeNameLine(0x10, "res/lib/0") + MakeNameLine(0x11, "res/lib/1");
    const std::string containerMap = MakeContainerLine(PackPath, "lib");
    const std::string resMap =
        MakeResMapImage({{GetTestPathId(PackPath), PackPath}, {0x10, "res/lib/0"}, {0x11, "res/lib/1"}});

    struct SCase {
        const char* Name;
        std::function<void(const std::string& output)> Occupy;
        std::vector<uint64_t> FailedIds;
        bool ContainerMapWritten;
        CTreeSnapshot Expected;
        bool LibraryFails = false;
    };
    const SCase cases[] = {
        // The library's directory already exists as a regular file: it counts as present, and every
        // resource file below it fails; the ids are named all the same.
        {"library directory is a regular file",
         [](const std::string& output) { WriteTestFile(output + "/lib", std::string("occupied")); },
         {0x10, 0x11},
         true,
         {{"lib", "occupied"},
          {"NameMap.txt", nameMap},
          {"ContainerNameMap.txt", containerMap},
          {"ExternalResources.txt", ""},
          {"ResMap.bin", resMap}}},
        // A directory stands where one resource file and one index file go: only those two fail.
        {"directories in place of files",
         [](const std::string& output) {
             ASSERT_TRUE(std::filesystem::create_directories(output + "/lib/0000000000000011.bin"));
             ASSERT_TRUE(std::filesystem::create_directories(output + "/ContainerNameMap.txt"));
         },
         {0x11},
         false,
         {{"lib/", ""},
          {"lib/0000000000000010.bin", zeroFile},
          {"lib/0000000000000011.bin/", ""},
          {"NameMap.txt", nameMap},
          {"ContainerNameMap.txt/", ""},
          {"ExternalResources.txt", ""},
          {"ResMap.bin", resMap}}},
#ifndef _WIN32
        // Links are replaced by the files, their targets untouched; a hard link at an index file is
        // replaced too, since index files are renamed into place. A link as the library folder fails it.
        {"links at file names",
         [&](const std::string& output) {
             WriteTestFile(target, std::string("keep"));
             ASSERT_TRUE(std::filesystem::create_directories(output + "/lib"));
             std::filesystem::create_symlink(target, output + "/lib/0000000000000010.bin");
             std::filesystem::create_symlink(target, output + "/NameMap.txt");
             std::filesystem::create_hard_link(target, output + "/ResMap.bin");
         },
         {},
         true,
         {{"lib/", ""},
          {"lib/0000000000000010.bin", zeroFile},
          {"lib/0000000000000011.bin", oneFile},
          {"NameMap.txt", nameMap},
          {"ContainerNameMap.txt", containerMap},
          {"ExternalResources.txt", ""},
          {"ResMap.bin", resMap}}},
        {"library folder is a link",
         [&](const std::string& output) {
             std::filesystem::create_directory_symlink(Source, output + "/lib");
         },
         {},
         true,
         {{"lib/", ""},
          {"NameMap.txt", ""},
          {"ContainerNameMap.txt", ""},
          {"ExternalResources.txt", ""},
          {"ResMap.bin", MakeResMapImage({})}},
         true},
#endif
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.Name);
        std::filesystem::remove_all(Output);
        ASSERT_TRUE(std::filesystem::create_directories(Output));
        c.Occupy(Output);
        const CTreeSnapshot sourceBefore = SnapshotTree(Source);

        const SToolRun run = RunTool({Source, Output});
        EXPECT_EQ(run.ExitStatus, c.FailedIds.empty() && c.ContainerMapWritten && !c.LibraryFails ? 0 : 1);
        std::string expected =
            Mounted({"a.archive"}) +
            (c.LibraryFails ? "Failed to create output directory \"" + InOutput("lib") + "\".\r\n"
                            : "Processing " + Listed("lib.pc_headerlib") + "...\r\n");
        for (uint64_t id : c.FailedIds)
            expected += "Failed to write \"" + InOutput("lib\\" + ResourceFileName(id)) + "\".\r\n";
        EXPECT_EQ(run.Output, expected + MakeIndexFileProgress(true, c.ContainerMapWritten, true, true));
        const CTreeSnapshot tree = SnapshotTree(Output);
        EXPECT_TRUE(tree == c.Expected) << DescribeTreeDifference(c.Expected, tree);
        EXPECT_TRUE(SnapshotTree(Source) == sourceBefore) << "the tool changed its input";
    }
}

TEST_F(FaultInjectionTest, FullDiskLeavesEveryFileWholeOrEmpty) {
    if (!CanLimitFileSize())
        GTEST_SKIP() << "no per-process file size limit on this platform";
    // Every file may grow to Limit bytes. Resource files are the 24-byte entry header plus the data: the
    // first fits exactly, the second is one byte too big, the third is small and comes after the failure.
    constexpr uint64_t Limit = 512;
    const std::string fits(Limit - 24, 'f');
    const std::string tooBig(Limit - 23, 'b');
    const std::string after = "after";
    const CTestContentContainer pack = MakeContainer(PackPath, {fits, tooBig, after});
    // An earlier run's name map: it must not stay beside this run's other index files.
    ASSERT_TRUE(std::filesystem::create_directories(Output));
    WriteTestFile(Output + "/NameMap.txt", std::string("earlier run"));
    CTestContentLibrary library;
    library.FileName = "lib.pc_headerlib";
    library.Containers = {pack};
    // Long names make the name map the one index file that passes the limit.
    const std::string names[] = {"fits/" + std::string(120, 'n'), "big/" + std::string(120, 'n'),
                                 "after/" + std::string(120, 'n')};
    for (uint32_t entry = 0; entry < 3; ++entry)
        library.Resources.push_back(MakeTestResource(pack, entry, 0x30 + entry, names[entry]));
    CTestContent content;
    content.Libraries = {library};
    ASSERT_TRUE(WriteTestContent(Source, content));
    const CTreeSnapshot sourceBefore = SnapshotTree(Source);

    const uint64_t packId = GetTestPathId(PackPath);
    std::string nameMap = MakeNameLine(packId, PackPath);
    for (uint32_t entry = 0; entry < 3; ++entry)
        nameMap += MakeNameLine(0x30 + entry, names[entry]);
    // The failed resource's id is named like the others.
    const std::string resMap =
        MakeResMapImage({{packId, PackPath}, {0x30, names[0]}, {0x31, names[1]}, {0x32, names[2]}});
    const std::string containerMap = MakeContainerLine(PackPath, "lib");
    ASSERT_GT(nameMap.size(), Limit);
    ASSERT_LE(resMap.size(), Limit);
    ASSERT_LE(containerMap.size(), Limit);

    const SToolRun run = RunToolWithFileSizeLimit({Source, Output}, Limit);
    EXPECT_EQ(run.ExitStatus, 1);
    EXPECT_EQ(run.Output, Mounted({"a.archive"}) + "Processing " + Listed("lib.pc_headerlib") + "...\r\n" +
                              "Failed to write \"" + InOutput("lib\\" + ResourceFileName(0x31)) + "\".\r\n" +
                              MakeIndexFileProgress(false, true, true, true));
    // A file that did not fit is left empty, never cut short.
    const CTreeSnapshot expected = {
        {"lib/", ""},
        {"lib/" + ResourceFileName(0x30), MakeTestEntryHeader(0, Limit - 24) + fits},
        {"lib/" + ResourceFileName(0x31), ""},
        {"lib/" + ResourceFileName(0x32), MakeTestEntryHeader(2, 5) + after},
        {"NameMap.txt", ""},
        {"ContainerNameMap.txt", containerMap},
        {"ExternalResources.txt", ""},
        {"ResMap.bin", resMap},
    };
    const CTreeSnapshot tree = SnapshotTree(Output);
    EXPECT_TRUE(tree == expected) << DescribeTreeDifference(expected, tree);
    EXPECT_TRUE(SnapshotTree(Source) == sourceBefore) << "the tool changed its input";
}

TEST_F(FaultInjectionTest, ArchiveReadsThatEndShortAreReported) {
    // The container's data: 24 filler bytes, entry 0 ("kept") and entry 1 ("lost"). The first segment holds
    // the filler and entry 0 and is sound; the second, for entry 1, is broken in a way that only shows when
    // its bytes are read, so the archives still mount.
    const std::string kept = "kept bytes";
    const std::string lost = "lost bytes";
    CTestContentContainer pack;
    pack.Path = PackPath;
    pack.Entries = {kept, lost};
    CTestContentLibrary library;
    library.FileName = "lib.pc_headerlib";
    library.Containers = {pack};
    library.Resources = {MakeTestResource(pack, 0, 0x40, "kept"), MakeTestResource(pack, 1, 0x41, "lost")};
    ASSERT_TRUE(WriteTestHeaderLibrary(Source + "/" + library.FileName, BuildTestContentLibrary(library)));

    CInlineStringA entryName;
    CResourcePath::GetArchiveName(PackPath.c_str(), entryName);
    const std::string prefix = std::string(24, '.') + kept;
    const std::vector<uint8_t> prefixBytes(prefix.begin(), prefix.end());
    const std::vector<uint8_t> lostBytes(lost.begin(), lost.end());
    // b.archive holds no entries: only its 24-byte header and an empty index.
    constexpr uint64_t OtherSize = 24;

    struct SCase {
        const char* Name;
        uint32_t Reference; // 0: a.archive, 1: b.archive.
        std::vector<uint8_t> Bytes;
        // Segments without Bytes: FileOffset when given, otherwise FromEnd bytes from the end of the file
        // that holds the segment.
        std::optional<uint64_t> FileOffset;
        int64_t FromEnd;
        // Bytes the entry promised that did not arrive are reported; a span past the entry is skipped.
        bool Reported = true;
    };
    const SCase cases[] = {
        {"offset far beyond the end of its own file", 0, {}, uint64_t(1) << 40, 0},
        {"offset at the end of its own file", 0, {}, std::nullopt, 0},
        {"segment runs past the end of the referenced file", 1, {}, std::nullopt, -3},
        {"offset beyond the end of the referenced file", 1, {}, std::nullopt, 100},
        // Sound bytes, but one fewer than the header library says the entry has.
        {"entry shorter than its span",
         0,
         std::vector<uint8_t>(lostBytes.begin(), lostBytes.end() - 1),
         {},
         0,
         false},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.Name);
        CTestArchive first;
        first.FileName = "a.archive";
        first.References = {"a.archive", "b.archive"};
        CTestEntry entry;
        entry.Name = entryName.GetData();
        entry.Segments.push_back(CTestSegment{0, prefixBytes, {}, {}, {}});
        CTestSegment broken{c.Reference, c.Bytes, {}, {}, {}};
        if (c.Bytes.empty()) {
            broken.Size = lost.size();
            // Field widths are fixed, so the image's size does not depend on the offset written.
            broken.FileOffset = 0;
        }
        entry.Segments.push_back(broken);
        first.Entries = {entry};
        CTestArchive second;
        second.FileName = "b.archive";
        if (c.Bytes.empty()) {
            const uint64_t holderSize =
                c.Reference == 0 ? BuildTestArchiveImages({first, second})[0].size() : OtherSize;
            first.Entries[0].Segments[1].FileOffset =
                c.FileOffset ? *c.FileOffset : uint64_t(int64_t(holderSize) + c.FromEnd);
        }
        ASSERT_EQ(BuildTestArchiveImages({first, second})[1].size(), OtherSize);
        ASSERT_TRUE(WriteTestArchives(Source, {first, second}));
        std::filesystem::remove_all(Output);
        const CTreeSnapshot sourceBefore = SnapshotTree(Source);

        const SToolRun run = RunTool({Source, Output});
        EXPECT_EQ(run.ExitStatus, c.Reported ? 1 : 0);
        const std::string failure =
            "Failed to read \"" + InOutput("lib\\" + ResourceFileName(0x41)) + "\".\r\n";
        EXPECT_EQ(run.Output, Mounted({"a.archive", "b.archive"}) + "Processing " +
                                  Listed("lib.pc_headerlib") + "...\r\n" + (c.Reported ? failure : "") +
                                  MakeIndexFileProgress(true, true, true, true));
        // The lost resource leaves no file and no name.
        const uint64_t packId = GetTestPathId(PackPath);
        const CTreeSnapshot expected = {
            {"lib/", ""},
            {"lib/" + ResourceFileName(0x40), MakeTestEntryHeader(0, uint32_t(kept.size())) + kept},
            {"NameMap.txt", MakeNameLine(packId, PackPath) + MakeNameLine(0x40, "kept")},
            {"ContainerNameMap.txt", MakeContainerLine(PackPath, "lib")},
            {"ExternalResources.txt", ""},
            {"ResMap.bin", MakeResMapImage({{packId, PackPath}, {0x40, "kept"}})},
        };
        const CTreeSnapshot tree = SnapshotTree(Output);
        EXPECT_TRUE(tree == expected) << DescribeTreeDifference(expected, tree);
        EXPECT_TRUE(SnapshotTree(Source) == sourceBefore) << "the tool changed its input";
    }
}

TEST_F(FaultInjectionTest, EveryMessageIsOutWhileTheRunWaits) {
#ifdef _WIN32
    GTEST_SKIP() << "needs a named pipe";
#else
    // The resource file is a named pipe: the run waits at it until the pipe is read, and all it printed up
    // to then must be out already, even to a file.
    CTestContent content;
    content.Libraries = {MakeLibrary("lib", MakeContainer(PackPath, {"zero"}), 0x10)};
    ASSERT_TRUE(WriteTestContent(Source, content));
    ASSERT_TRUE(std::filesystem::create_directories(Output + "/lib"));
    const std::string pipe = Output + "/lib/" + ResourceFileName(0x10);
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const std::string log = Root.Join("log");
    const std::string seen = Root.Join("seen");
    const std::string script = "'" + std::string(GetToolPath()) + "' '" + Source + "' '" + Output + "' >'" +
                               log + "' & for i in $(seq 100); do grep -q Processing '" + log +
                               "' && break; sleep 0.1; done; cp '" + log + "' '" + seen + "'; cat '" + pipe +
                               "' >/dev/null; wait";
    ASSERT_EQ(std::system(script.c_str()), 0);
    const std::vector<uint8_t> bytes = ReadTestFile(seen);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()),
              Mounted({"a.archive"}) + "Processing " + Listed("lib.pc_headerlib") + "...\r\n");
#endif
}

namespace {

// A header library that uses every section: two containers (one with inline headers, languages including a
// null one), external names and resources.
CTestHeaderLibrary MakeFullLibrary() {
    CTestHeaderLibrary library;
    CTestContainer first;
    first.Path = PackPath;
    first.Languages = {std::string("en"), std::nullopt};
    first.Entries = {CTestEntryHeader{5, 24, {}, false}, CTestEntryHeader{7, 32, {}, false}};
    CTestContainer second;
    second.Path = OtherPath;
    second.InlineHeaders = true;
    second.Languages = {std::string("all")};
    second.Entries = {CTestEntryHeader{3, 24, {}, false}};
    library.Containers = {first, second};
    library.ExternalNames = {std::string("external/name.txt"), std::nullopt};
    library.Resources = {CTestResource{MakeTestMemberId(PackPath, 0), 0x51, "res/one", "second", {}, {}},
                         CTestResource{MakeTestMemberId(OtherPath, 0), 0x52, "res/two", "", {}, {}}};
    // Bytes after the block are ignored, so the file loads from the block's end on.
    library.TrailingBytes = 5;
    return library;
}

// An archive that refers to itself and to other.archive, with entries whose segments lie in both.
std::vector<CTestArchive> MakeCutArchives() {
    CTestArchive cut;
    cut.FileName = "cut.archive";
    cut.References = {"cut.archive", "other.archive"};
    CTestEntry split;
    split.Name = "Split";
    split.Segments = {CTestSegment{0, {'a', 'b', 'c'}, {}, {}, {}}, CTestSegment{1, {'d', 'e'}, {}, {}, {}}};
    CTestEntry whole;
    whole.Name = "whole";
    whole.Segments = {CTestSegment{0, {'w'}, {}, {}, {}}};
    cut.Entries = {split, whole};
    CTestArchive other;
    other.FileName = "other.archive";
    return {cut, other};
}

std::string ReadEntry(CArchiveManager& manager, const char* name) {
    CArchiveStream stream;
    manager.OpenEntry(stream, name);
    std::string bytes(stream.Size, '\0');
    bytes.resize(stream.Read(bytes.data(), bytes.size()));
    return bytes;
}

} // namespace

TEST_F(FaultInjectionTest, HeaderLibraryCutAtEveryLengthLoadsOnlyWhole) {
    const std::vector<uint8_t> image = BuildTestHeaderLibraryImage(MakeFullLibrary());
    const uint64_t blockEnd = image.size() - 5;
    CByteBuffer whole(1);
    ASSERT_TRUE(whole.Append(image.data(), image.size()));
    // One object for every load, as in a run: a failed load must not spoil the next one.
    CHeaderLibrary library;
    for (uint64_t length = 0; length <= image.size(); ++length) {
        SCOPED_TRACE(length);
        // A granule of 1 gives the prefix no slack, so a read past its end is caught by the sanitizer.
        CByteBuffer prefix(1);
        ASSERT_TRUE(prefix.Append(image.data(), length));
        EXPECT_EQ(library.Load(prefix), length >= blockEnd);
        ASSERT_TRUE(library.Load(whole));
        ASSERT_EQ(library.GetResources().GetCount(), 2u);
        EXPECT_TRUE(library.GetResources()[1].Name == "res/two");
        ASSERT_EQ(library.GetContainerTables().GetCount(), 2u);
        EXPECT_EQ(library.GetContainerTables()[1].Spans[0].Length, 27u);
        EXPECT_STREQ(library.GetLanguageName(0, 0), "en");
        EXPECT_EQ(library.GetExternalResources().GetCount(), 2u);
    }
}

TEST_F(FaultInjectionTest, ArchiveCutAtEveryLengthMountsOnlyWhole) {
    const std::vector<CTestArchive> archives = MakeCutArchives();
    ASSERT_TRUE(WriteTestArchives(Source, archives));
    const std::vector<uint8_t> image = ReadTestFile(Source + "/cut.archive");
    const std::string path = Source + "/cut.archive";
    for (uint64_t length = 0; length <= image.size(); ++length) {
        SCOPED_TRACE(length);
        WriteTestFile(path, std::vector<uint8_t>(image.begin(), image.begin() + length));
        CArchiveManager manager;
        CArchive* archive = manager.Mount(path.c_str());
        if (length < image.size()) {
            // Every proper prefix cuts into the index at the end of the file.
            EXPECT_EQ(archive, nullptr);
            EXPECT_EQ(manager.FindArchive("cut.archive"), nullptr);
            continue;
        }
        ASSERT_NE(archive, nullptr);
        EXPECT_EQ(ReadEntry(manager, "SPLIT"), "abcde");
        EXPECT_EQ(ReadEntry(manager, "whole"), "w");
    }
}

TEST_F(FaultInjectionTest, CutFilesThroughTheWholeTool) {
    ASSERT_TRUE(WriteTestArchives(Source, MakeCutArchives()));
    const std::vector<uint8_t> archive = ReadTestFile(Source + "/cut.archive");
    const std::vector<uint8_t> library = BuildTestHeaderLibraryImage(MakeFullLibrary());
    const uint64_t blockEnd = library.size() - 5;

    // Cut header libraries fail alone: the run goes on to the index files.
    ASSERT_TRUE(std::filesystem::create_directories(Output));
    for (uint64_t length : {uint64_t(0), uint64_t(23), uint64_t(24), blockEnd / 2, blockEnd - 1}) {
        SCOPED_TRACE(length);
        WriteTestFile(Source + "/lib.pc_headerlib",
                      std::vector<uint8_t>(library.begin(), library.begin() + length));
        const SToolRun run = RunTool({Source, Output});
        EXPECT_EQ(run.ExitStatus, 1);
        EXPECT_EQ(run.Output, Mounted({"cut.archive", "other.archive"}) + "Failed to load \"" +
                                  Listed("lib.pc_headerlib") + "\".\n" +
                                  MakeIndexFileProgress(true, true, true, true));
        EXPECT_EQ(SnapshotTree(Output).count("lib/"), 0u);
    }
    std::filesystem::remove(Source + "/lib.pc_headerlib");
    std::filesystem::remove_all(Output);

    // A cut archive aborts the run before anything is written.
    for (uint64_t length : {uint64_t(0), uint64_t(19), uint64_t(24), uint64_t(archive.size() / 2),
                            uint64_t(archive.size() - 1)}) {
        SCOPED_TRACE(length);
        WriteTestFile(Source + "/cut.archive",
                      std::vector<uint8_t>(archive.begin(), archive.begin() + length));
        const CTreeSnapshot sourceBefore = SnapshotTree(Source);
        const SToolRun run = RunTool({Source, Output});
        EXPECT_EQ(run.ExitStatus, 2);
        EXPECT_EQ(run.Output, "Mounting archives...\n" + Listed("cut.archive") + "... failed\n" +
                                  "Aborting extraction.\n");
        EXPECT_FALSE(TestFileExists(Output));
        EXPECT_TRUE(SnapshotTree(Source) == sourceBefore) << "the tool changed its input";
    }
}
