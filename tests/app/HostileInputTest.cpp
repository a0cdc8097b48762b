// The built tool run on hostile archives and header libraries: one small damaged file for each guard of the
// readers, with the message and exit status that the damage must produce.
#include "base/InlineString.h"
#include "resid/ResourcePath.h"
#include "support/ContentBuilder.h"
#include "support/ExpectedOutput.h"
#include "support/TempDirectory.h"
#include "support/ToolRunner.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

const std::string PackPath = "[hostile/pack.bundle].pc_resourcelib";
const std::string Payload = "payload";
constexpr uint64_t ResourceId = 0x42;
const std::string ResourceFile = "lib/0000000000000042.bin";

// How a damaged file must end the run.
enum class EOutcome {
    // The archive does not mount: " failed", "Aborting extraction.", exit 2, nothing written.
    MountFails,
    // The header library does not load: "Failed to load", the index files, exit 1.
    LoadFails,
    // Everything loads; the resource is skipped without a message, exit 0.
    ResourceSkipped,
    // Everything loads; the resource's bytes do not all arrive: "Failed to read", exit 1.
    ReadFails,
    // Everything loads and the resource is written, exit 0.
    ResourceWritten,
};

class HostileInputTest : public ::testing::Test {
protected:
    CTempDirectory Root;
    std::string Source = Root.Join("src");
    std::string Output = Root.Join("out");
    CTestContentLibrary Library;
    CTestContent Content;

    // One container in a.archive holding one entry, and one resource of it.
    void SetUp() override {
        ASSERT_TRUE(std::filesystem::create_directories(Source));
        CTestContentContainer pack;
        pack.Path = PackPath;
        pack.Entries = {Payload};
        pack.Archives = {"a.archive"};
        Library.FileName = "lib.pc_headerlib";
        Library.Containers = {pack};
        Library.Resources = {MakeTestResource(pack, 0, ResourceId, "res/one")};
        Content.Libraries = {Library};
    }

    std::string Listed(const std::string& fileName) const { return Source + "\\" + fileName; }

    // Runs the tool on the source as it stands and checks the outcome. The output directory is made first
    // so that the index files can be written even when no library gets as far as making it.
    void ExpectOutcome(EOutcome outcome, const std::string& libraryFile = "lib.pc_headerlib") {
        std::filesystem::remove_all(Output);
        if (outcome != EOutcome::MountFails) {
            ASSERT_TRUE(std::filesystem::create_directories(Output));
        }
        const CTreeSnapshot sourceBefore = SnapshotTree(Source);
        const SToolRun run = RunTool({Source, Output});
        EXPECT_TRUE(SnapshotTree(Source) == sourceBefore) << "the tool changed its input";

        const std::string mounting = "Mounting archives...\n" + Listed("a.archive");
        const std::string indexFiles = MakeIndexFileProgress(true, true, true, true);
        const CTreeSnapshot tree = SnapshotTree(Output);
        switch (outcome) {
        case EOutcome::MountFails:
            EXPECT_EQ(run.ExitStatus, 2);
            EXPECT_EQ(run.Output, mounting + "... failed\nAborting extraction.\n");
            EXPECT_FALSE(TestFileExists(Output));
            return;
        case EOutcome::LoadFails: {
            EXPECT_EQ(run.ExitStatus, 1);
            EXPECT_EQ(run.Output,
                      mounting + "... OK\nFailed to load \"" + Listed(libraryFile) + "\".\n" + indexFiles);
            const CTreeSnapshot expected = {{"NameMap.txt", ""},
                                            {"ContainerNameMap.txt", ""},
                                            {"ExternalResources.txt", ""},
                                            {"ResMap.bin", MakeResMapImage({})}};
            EXPECT_TRUE(tree == expected) << DescribeTreeDifference(expected, tree);
            return;
        }
        case EOutcome::ResourceSkipped:
        case EOutcome::ReadFails:
        case EOutcome::ResourceWritten: {
            const bool written = outcome == EOutcome::ResourceWritten;
            const bool failed = outcome == EOutcome::ReadFails;
            const std::string failure =
                "Failed to read \"" + Output + "\\lib\\" + ResourceFile.substr(4) + "\".\r\n";
            EXPECT_EQ(run.ExitStatus, failed ? 1 : 0);
            EXPECT_EQ(run.Output, mounting + "... OK\nProcessing " + Listed(libraryFile) + "...\r\n" +
                                      (failed ? failure : "") + indexFiles);
            EXPECT_EQ(tree.count("lib/"), 1u);
            ASSERT_EQ(tree.count(ResourceFile), written ? 1u : 0u);
            if (written) {
                EXPECT_EQ(tree.at(ResourceFile), MakeTestEntryHeader(0, uint32_t(Payload.size())) + Payload);
            }
            // A skipped or lost resource is not named.
            const std::string nameLine = MakeNameLine(ResourceId, "res/one");
            EXPECT_EQ(tree.at("NameMap.txt").find(nameLine) != std::string::npos, written);
            return;
        }
        }
    }
};

void SetPayloadU32(std::vector<uint8_t>& image, const CTestHeaderLibraryLayout& layout, uint64_t offset,
                   uint32_t value) {
    for (int i = 0; i < 4; ++i)
        image[layout.PayloadStart + offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

void SetPayloadU64(std::vector<uint8_t>& image, const CTestHeaderLibraryLayout& layout, uint64_t offset,
                   uint64_t value) {
    SetPayloadU32(image, layout, offset, static_cast<uint32_t>(value));
    SetPayloadU32(image, layout, offset + 4, static_cast<uint32_t>(value >> 32));
}

} // namespace

TEST_F(HostileInputTest, DamagedArchives) {
    struct SCase {
        const char* Name;
        std::function<void(CTestArchive&)> Damage;
        EOutcome Outcome;
    };
    const SCase cases[] = {
        {"undamaged", [](CTestArchive&) {}, EOutcome::ResourceWritten},
        {"entry count that cannot fit in the file", [](CTestArchive& a) { a.EntryCount = 0x7FFFFFFF; },
         EOutcome::MountFails},
        {"one entry more than the file holds", [](CTestArchive& a) { a.EntryCount = 2; },
         EOutcome::MountFails},
        {"reference count that cannot fit in the file",
         [](CTestArchive& a) { a.ReferenceCount = 0xFFFFFFFF; }, EOutcome::MountFails},
        {"segment count that cannot fit in the file",
         [](CTestArchive& a) { a.Entries[0].SegmentCount = 0x10000000; }, EOutcome::MountFails},
        {"string length 0xFFFFFFFF", [](CTestArchive& a) { a.Entries[0].NameLength = 0xFFFFFFFF; },
         EOutcome::MountFails},
        {"string longer than the rest of the file",
         [](CTestArchive& a) { a.Entries[0].NameLength = 0x10000; }, EOutcome::MountFails},
        {"index offset beyond the file", [](CTestArchive& a) { a.IndexOffset = uint64_t(1) << 40; },
         EOutcome::MountFails},
        {"index offset beyond any file position", [](CTestArchive& a) { a.IndexOffset = ~uint64_t(0); },
         EOutcome::MountFails},
        {"reference to a missing archive", [](CTestArchive& a) { a.References.push_back("missing.archive"); },
         EOutcome::MountFails},
        {"first segment not at data offset 0",
         [](CTestArchive& a) { a.Entries[0].Segments[0].DataOffset = 1; }, EOutcome::MountFails},
        {"segment end beyond 64 bits",
         [](CTestArchive& a) {
             a.Entries[0].Segments[0].Size = ~uint64_t(0);
             a.Entries[0].Segments.push_back(CTestSegment{0, {}, ~uint64_t(0), 24, 2});
         },
         EOutcome::MountFails},
        // The value is all of the L + 1 bytes, and nothing after them: the entry is still found by its name.
        {"string without a zero byte", [](CTestArchive& a) { a.Entries[0].OmitNameTerminator = true; },
         EOutcome::ResourceWritten},
        // The read meets a reference the archive does not have and ends short.
        {"segment reference index out of range",
         [](CTestArchive& a) { a.Entries[0].Segments[0].Reference = 5; }, EOutcome::ReadFails},
    };
    ASSERT_TRUE(WriteTestContent(Source, Content));
    const std::vector<CTestArchive> sound = BuildTestContentArchives(Content);
    ASSERT_EQ(sound.size(), 1u);
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.Name);
        CTestArchive archive = sound[0];
        c.Damage(archive);
        ASSERT_TRUE(WriteTestArchives(Source, {archive}));
        ExpectOutcome(c.Outcome);
    }
}

TEST_F(HostileInputTest, ReferenceChainsDeeperThanTheNestingLimitFail) {
    // Archive i refers to archive i + 1, so mounting the first one nests a mount for every link.
    struct SCase {
        uint32_t Length;
        bool Mounts;
    };
    for (const SCase& c : {SCase{1000, true}, SCase{1001, false}}) {
        SCOPED_TRACE(c.Length);
        CTempDirectory source;
        std::vector<CTestArchive> chain(c.Length);
        auto name = [](uint32_t link) {
            char text[32];
            std::snprintf(text, sizeof(text), "c%04u.archive", link);
            return std::string(text);
        };
        for (uint32_t link = 0; link < c.Length; ++link) {
            chain[link].FileName = name(link);
            if (link + 1 < c.Length)
                chain[link].References = {name(link + 1)};
        }
        ASSERT_TRUE(WriteTestArchives(source.GetPath(), chain));
        std::filesystem::remove_all(Output);
        ASSERT_TRUE(std::filesystem::create_directories(Output));

        const SToolRun run = RunTool({source.GetPath(), Output});
        std::string expected = "Mounting archives...\n";
        if (c.Mounts) {
            for (uint32_t link = 0; link < c.Length; ++link)
                expected += source.GetPath() + "\\" + name(link) + "... OK\n";
            expected += MakeIndexFileProgress(true, true, true, true);
        } else {
            expected += source.GetPath() + "\\" + name(0) + "... failed\nAborting extraction.\n";
        }
        EXPECT_EQ(run.ExitStatus, c.Mounts ? 0 : 2);
        EXPECT_EQ(run.Output, expected);
    }
}

TEST_F(HostileInputTest, DamagedHeaderLibraries) {
    using namespace HeaderLibraryField;
    using Describe = std::function<void(CTestHeaderLibrary&, const CTestHeaderLibraryLayout&)>;
    using Damage = std::function<void(std::vector<uint8_t>&, const CTestHeaderLibraryLayout&)>;
    struct SCase {
        const char* Name;
        Describe Change;
        Damage Patch;
        EOutcome Outcome;
    };
    auto containerPath = [](const CTestHeaderLibraryLayout& l) {
        return l.ContainerRecords[0] + ContainerPath;
    };
    const SCase cases[] = {
        {"undamaged", nullptr, nullptr, EOutcome::ResourceWritten},
        {"payload one byte shorter than the root record",
         [](CTestHeaderLibrary& d, auto&) { d.RawPayload = std::vector<uint8_t>(75, 0); }, nullptr,
         EOutcome::LoadFails},
        // Every count 0: a library with nothing in it.
        {"payload exactly the root record",
         [](CTestHeaderLibrary& d, auto&) { d.RawPayload = std::vector<uint8_t>(76, 0); }, nullptr,
         EOutcome::ResourceSkipped},
        {"resource list reference null with a length",
         [](CTestHeaderLibrary& d, auto&) {
             d.SlotValues.push_back({RootResourceList, ~uint64_t(0)});
         },
         nullptr, EOutcome::LoadFails},
        {"resource list slot left unrelocated",
         [](CTestHeaderLibrary& d, auto&) { d.UnrelocatedSlots.push_back(RootResourceList); }, nullptr,
         EOutcome::LoadFails},
        {"container path slot left unrelocated",
         [&](CTestHeaderLibrary& d, auto& l) { d.UnrelocatedSlots.push_back(containerPath(l)); }, nullptr,
         EOutcome::LoadFails},
        {"text reference one past the payload",
         [&](CTestHeaderLibrary& d, auto& l) {
             d.SlotValues.push_back({containerPath(l), l.PayloadLength});
         },
         nullptr, EOutcome::LoadFails},
        {"reference beyond the payload",
         [&](CTestHeaderLibrary& d, auto& l) {
             d.SlotValues.push_back({containerPath(l), l.PayloadLength + 1u});
         },
         nullptr, EOutcome::LoadFails},
        {"relocation entry past the payload's last slot",
         [](CTestHeaderLibrary& d, auto& l) { d.ExtraRelocations.push_back(l.PayloadLength - 7); }, nullptr,
         EOutcome::LoadFails},
        {"more segments stated than present", [](CTestHeaderLibrary& d, auto&) { d.SegmentCount = 3; },
         nullptr, EOutcome::LoadFails},
        {"container list that does not fit", nullptr,
         [](std::vector<uint8_t>& image, auto& l) {
             SetPayloadU32(image, l, RootContainerCount, 0x01000000);
         },
         EOutcome::LoadFails},
        {"language list that does not fit", nullptr,
         [](std::vector<uint8_t>& image, auto& l) {
             SetPayloadU32(image, l, l.ContainerRecords[0] + ContainerLanguageCount, 0x10000000);
         },
         EOutcome::LoadFails},
        {"external count without a list", nullptr,
         [](std::vector<uint8_t>& image, auto& l) { SetPayloadU32(image, l, RootExternalCount, 0x10000000); },
         EOutcome::LoadFails},
        {"resource list longer than the payload", nullptr,
         [](std::vector<uint8_t>& image, auto& l) {
             SetPayloadU32(image, l, RootResourceListLength, l.PayloadLength);
         },
         EOutcome::LoadFails},
        {"resource count huge for its list",
         [](CTestHeaderLibrary& d, auto&) { d.ResourceCount = 0xFFFFFFFF; }, nullptr, EOutcome::LoadFails},
        {"resource name without a NUL in its bytes",
         [](CTestHeaderLibrary& d, auto&) { d.Resources[0].NameLength = 3; }, nullptr, EOutcome::LoadFails},
        // The path refers to the payload's last bytes, none of which is a NUL.
        {"container path without a NUL before the payload's end",
         [](CTestHeaderLibrary& d, auto&) {
             d.PayloadTail = {'x', 'y', 'z'};
         },
         [&](std::vector<uint8_t>& image, auto& l) {
             SetPayloadU64(image, l, containerPath(l), l.PayloadTail);
         },
         EOutcome::LoadFails},
        {"entry header that runs past the payload", nullptr,
         [](std::vector<uint8_t>& image, auto& l) {
             SetPayloadU32(image, l, l.EntryHeaderLists[0] + EntryHeaderLength, l.PayloadLength);
         },
         EOutcome::LoadFails},
        {"entry header shorter than 24 bytes",
         [](CTestHeaderLibrary& d, auto&) { d.Containers[0].Entries[0].HeaderLength = 23; }, nullptr,
         EOutcome::LoadFails},
        // The header's 24 bytes and the data length together pass 4 GiB.
        {"header length plus span length beyond 32 bits",
         [](CTestHeaderLibrary& d, auto&) { d.Containers[0].Entries[0].DataLength = 0xFFFFFFF0; }, nullptr,
         EOutcome::ResourceSkipped},
        {"span offset beyond the archive entry",
         [](CTestHeaderLibrary& d, auto&) { d.Containers[0].DataStart = 1000; }, nullptr,
         EOutcome::ResourceSkipped},
    };
    ASSERT_TRUE(WriteTestContent(Source, Content));
    const CTestHeaderLibrary sound = BuildTestContentLibrary(Library);
    CTestHeaderLibraryLayout soundLayout;
    (void)BuildTestHeaderLibraryImage(sound, &soundLayout);
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.Name);
        CTestHeaderLibrary description = sound;
        if (c.Change)
            c.Change(description, soundLayout);
        CTestHeaderLibraryLayout layout;
        std::vector<uint8_t> image = BuildTestHeaderLibraryImage(description, &layout);
        if (c.Patch)
            c.Patch(image, layout);
        WriteTestFile(Source + "/lib.pc_headerlib", image);
        ExpectOutcome(c.Outcome);
    }
}

TEST_F(HostileInputTest, LibraryNamedDotDotIsRefused) {
    // "...pc_headerlib" would be the library "..", whose directory is the output directory's parent.
    Content.Libraries[0].FileName = "...pc_headerlib";
    ASSERT_TRUE(WriteTestContent(Source, Content));
    ASSERT_TRUE(std::filesystem::create_directories(Output));
    const CTreeSnapshot rootBefore = SnapshotTree(Root.GetPath());

    const SToolRun run = RunTool({Source, Output});
    EXPECT_EQ(run.ExitStatus, 1);
    EXPECT_EQ(run.Output, "Mounting archives...\n" + Listed("a.archive") + "... OK\n" +
                              "Failed to create output directory \"" + Output + "\\..\".\r\n" +
                              MakeIndexFileProgress(true, true, true, true));
    // Only the four empty index files appear, inside the output directory.
    CTreeSnapshot expected = rootBefore;
    expected["out/NameMap.txt"] = "";
    expected["out/ContainerNameMap.txt"] = "";
    expected["out/ExternalResources.txt"] = "";
    expected["out/ResMap.bin"] = MakeResMapImage({});
    const CTreeSnapshot after = SnapshotTree(Root.GetPath());
    EXPECT_TRUE(after == expected) << DescribeTreeDifference(expected, after);
}
