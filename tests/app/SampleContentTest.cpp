// The bundled sample content: extracting it gives what the README shows.
#include "support/ExpectedOutput.h"
#include "support/TempDirectory.h"
#include "support/ToolRunner.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string SampleDirectory = std::string(VORSK_SOURCE_DIR) + "/examples/content";

} // namespace

TEST(SampleContentTest, ExtractionGivesTheDocumentedOutput) {
    CTempDirectory output;
    const std::string listed = SampleDirectory + "\\";
    EXPECT_EQ(
        RunTool({SampleDirectory, output.GetPath()}),
        (SToolRun{1,
                  MakeMountingText(SampleDirectory, {"base.archive", "patch.archive", "voice.archive"}) +
                      "Failed to load \"" + listed + "broken.pc_headerlib\".\nProcessing " + listed +
                      "chunk0.pc_headerlib...\r\nProcessing " + listed + "chunk1.pc_headerlib...\r\n" +
                      MakeIndexFileProgress(),
                  MakeSummary({5, 301, 0, 2, 1, 0, 0, 0, 0, 2, 1})}));
    // Every resource file written is one the README lists.
    const std::string readme = ReadTestFile(std::string(VORSK_SOURCE_DIR) + "/README.md");
    int written = 0;
    for (const auto& [path, content] : SnapshotTree(output.GetPath())) {
        if (path.rfind("chunk", 0) == 0 && path.back() != '/') {
            ++written;
            EXPECT_NE(readme.find("\n    " + path + " "), std::string::npos) << path;
        }
    }
    EXPECT_EQ(written, 5);
}
