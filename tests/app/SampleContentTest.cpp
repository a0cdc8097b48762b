// The bundled sample content: extracting it gives what the README shows.
#include "support/ExpectedOutput.h"
#include "support/TempDirectory.h"
#include "support/ToolRunner.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace {

const std::string SampleDirectory = std::string(VORSK_SOURCE_DIR) + "/examples/content";

} // namespace

TEST(SampleContentTest, ExtractionGivesTheDocumentedOutput) {
    CTempDirectory output;
    const SToolRun run = RunTool({SampleDirectory, output.GetPath()});
    const std::string listed = SampleDirectory + "\\";
    EXPECT_EQ(run.ExitStatus, 1);
    EXPECT_EQ(run.Error, MakeSummary({5, 301, 0, 2, 1, 0, 0, 0, 0, 2, 1}));
    EXPECT_EQ(run.Output,
              MakeMountingText(SampleDirectory, {"base.archive", "patch.archive", "voice.archive"}) +
                  "Failed to load \"" + listed + "broken.pc_headerlib\".\n" + "Processing " + listed +
                  "chunk0.pc_headerlib...\r\n" + "Processing " + listed + "chunk1.pc_headerlib...\r\n" +
                  MakeIndexFileProgress());

    const CTreeSnapshot tree = SnapshotTree(output.GetPath());
    // Every resource file the README lists is written, with the name the README gives it in the name map.
    std::ifstream readme(std::string(VORSK_SOURCE_DIR) + "/README.md");
    std::set<std::string> inReadme;
    for (std::string line, path, name; std::getline(readme, line);) {
        std::istringstream fields(line);
        // The listing of written files, not the --list examples that also start with a library name.
        if (line.rfind("    chunk", 0) == 0 && line.find(".bin ") != std::string::npos && fields >> path >> name) {
            inReadme.insert(path);
            EXPECT_NE(tree.at("NameMap.txt").find(path.substr(7, 16) + " " + name + "\r\n"),
                      std::string::npos)
                << line;
        }
    }
    std::set<std::string> written;
    for (const auto& [path, content] : tree) {
        if (path.rfind("chunk", 0) == 0 && path.back() != '/')
            written.insert(path);
    }
    EXPECT_EQ(written, inReadme);
    EXPECT_EQ(inReadme.size(), 5u);
}
