// The bundled sample content: it is what the writers make today, and extracting it gives what the README
// shows.
#include "support/SampleContent.h"
#include "support/TempDirectory.h"
#include "support/ToolRunner.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string SampleDirectory = std::string(VORSK_SOURCE_DIR) + "/examples/content";

} // namespace

TEST(SampleContentTest, CommittedSampleMatchesTheWriters) {
    CTempDirectory fresh;
    ASSERT_TRUE(WriteSampleContent(fresh.GetPath()));
    const CTreeSnapshot expected = SnapshotTree(fresh.GetPath());
    const CTreeSnapshot committed = SnapshotTree(SampleDirectory);
    EXPECT_TRUE(committed == expected) << "regenerate with vorsk_make_sample examples/content\n"
                                       << DescribeTreeDifference(expected, committed);
}

TEST(SampleContentTest, ExtractionGivesTheDocumentedOutput) {
    CTempDirectory output;
    const SToolRun run = RunTool({SampleDirectory, output.GetPath()});
    const std::string listed = SampleDirectory + "\\";
    EXPECT_EQ(run.ExitStatus, 1);
    EXPECT_EQ(run.Output, "Mounting archives...\n" + listed + "base.archive... OK\n" + listed +
                              "patch.archive... OK\n" + listed + "voice.archive... OK\n" + "Failed to load \"" +
                              listed + "broken.pc_headerlib\".\n" + "Processing " + listed +
                              "chunk0.pc_headerlib...\r\n" + "Processing " + listed + "chunk1.pc_headerlib...\r\n" +
                              "Writing name map... OK\r\n"
                              "Writing container map... OK\r\n"
                              "Writing external resources list... OK\r\n"
                              "Writing res map... OK\r\n");

    const CTreeSnapshot tree = SnapshotTree(output.GetPath());
    std::string paths;
    for (const auto& [path, content] : tree)
        paths += path + "\n";
    EXPECT_EQ(paths, "ContainerNameMap.txt\n"
                     "ExternalResources.txt\n"
                     "NameMap.txt\n"
                     "ResMap.bin\n"
                     "chunk0/\n"
                     "chunk0/000F39A872CC98FE.bin\n"
                     "chunk0/0015AFB2062850D5.bin\n"
                     "chunk0/00B9E0842BBAB7E2.bin\n"
                     "chunk0/00C8E6F22985465C.bin\n"
                     "chunk1/\n"
                     "chunk1/00DE457E37590F37.bin\n");
    EXPECT_EQ(tree.at("NameMap.txt"),
              " 4611686022418402825 40000000EDE20E09 [examples/pack.bundle].pc_resourcelib\r\n"
              " 4611686020248206721 400000006C877D81 [examples/voices_en.bundle].pc_resourcelib\r\n"
              " 4611686021454133921 40000000B4687AA1 [examples/voices_de.bundle].pc_resourcelib\r\n"
              "   61574800270189143 00DAC1F461386257 examples/readme.txt\r\n"
              "   56548923095205468 00C8E6F22985465C [examples/crate.txt].pc_text\r\n"
              "   52319728965433314 00B9E0842BBAB7E2 [examples/hello.txt].pc_text\r\n"
              "    4285520293959934 000F39A872CC98FE [examples/welcome.wav].pc_sound\r\n"
              "    6104153653268693 0015AFB2062850D5 [examples/farewell.wav].pc_sound\r\n"
              " 4611686021252375255 40000000A861E2D7 [examples/extra.bundle].pc_resourcelib\r\n"
              "   62563853226544951 00DE457E37590F37 [examples/patchnotes.txt].pc_text\r\n");
    // The English greeting's container keeps its headers inline and is split across two archive files.
    EXPECT_EQ(tree.at("chunk0/000F39A872CC98FE.bin").substr(24),
              "Welcome, traveller. The road ahead is long and the night is dark.\n");
}
