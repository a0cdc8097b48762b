// The bundled sample content: extracting it gives the documented output (the README's own run of it is
// checked by CI in a fresh system).
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
}
