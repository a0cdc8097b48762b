// Fuzz target: round trips through --reimport. The input shapes a content directory (containers with or
// without inline headers, split across two archives or not, described by one or two libraries) and the
// edits made to its extracted tree; reimporting the tree and extracting the result must give the tree.
#include "FuzzSupport.h"
#include "app/Extraction.h"
#include "app/Options.h"
#include "archive/ArchiveManager.h"
#include "base/Console.h"
#include "support/BinaryFile.h"
#include "support/ContentBuilder.h"
#include "support/ExpectedOutput.h"

#include <filesystem>

namespace {

std::string g_Directory;

// The input's bytes one after another, zeros once it runs out.
struct CInput {
    const uint8_t* Data;
    size_t Size;
    size_t At = 0;
    uint32_t Next() { return At < Size ? Data[At++] : 0; }
};

CTestContent MakeContent(CInput& input, std::vector<std::string>& files) {
    CTestContent content{{"a.archive", "b.archive"}, {{"lib0.pc_headerlib", {}}}};
    const bool twoLibraries = input.Next() % 2 == 1;
    if (twoLibraries)
        content.Libraries.push_back({"lib1.pc_headerlib", {}});
    const uint32_t containers = 1 + input.Next() % 4;
    uint64_t id = 0x100;
    for (uint32_t c = 0; c < containers; ++c) {
        const uint32_t shape = input.Next();
        CTestContentContainer container{"[fz/c" + std::to_string(c) + ".bundle].pc_resourcelib", {}};
        container.InlineHeaders = (shape & 1) != 0;
        container.DataStart = shape >> 4;
        if ((shape & 2) != 0)
            container.Archives.push_back("b.archive");
        const uint32_t entries = 1 + input.Next() % 4;
        for (uint32_t e = 0; e < entries; ++e)
            container.Entries.push_back(std::string(input.Next() % 40, char('a' + e)));
        content.Libraries[0].Containers.push_back(container);
        // With two libraries the first container's last entry belongs to the second, which describes it too.
        for (uint32_t e = 0; e < entries; ++e) {
            const bool second = twoLibraries && c == 0 && e + 1 == entries;
            CTestContentLibrary& owner = content.Libraries[second ? 1 : 0];
            if (second)
                owner.Containers.push_back(container);
            owner.Resources.push_back(MakeTestResource(container, e, id, "r" + std::to_string(id)));
            files.push_back((second ? "lib1/" : "lib0/") + MakeIdText(id++) + ".bin");
        }
    }
    return content;
}

bool Run(ERunMode mode, const std::string& source, const std::string& second,
         const std::string& destination = "") {
    CRunOptions options;
    options.Mode = mode;
    options.Verbosity = EVerbosity::Quiet;
    options.Source = source.c_str();
    (mode == ERunMode::Extract ? options.Output : options.Tree) = second.c_str();
    options.Destination = destination.c_str();
    const EExtractionOutcome outcome = ExtractResources(options);
    FlushConsole();
    return outcome == EExtractionOutcome::Clean;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_Directory = StartToolFuzzing();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CInput input{data, size};
    std::vector<std::string> files;
    const CTestContent content = MakeContent(input, files);
    const std::string source = g_Directory + "/src", tree = g_Directory + "/tree";
    const std::string destination = g_Directory + "/dest", again = g_Directory + "/again";
    fs::create_directory(source);
    FuzzCheck(WriteTestContent(source, content), "cannot write the content");
    FuzzCheck(Run(ERunMode::Extract, source, tree), "the generated content does not extract cleanly");
    // Edits: new data of any length behind the header, with the data length the tool will set, and perhaps a
    // changed header byte outside that field.
    for (uint32_t edits = input.Next() % 4; edits > 0; --edits) {
        const std::string path = tree + "/" + files[input.Next() % files.size()];
        const std::string newData(input.Next() % 64, char(input.Next()));
        // Bytes 12 on of a written header are its data length and padding alone.
        std::string header =
            ReadTestFile(path).substr(0, 12) + MakeTestEntryHeader(0, newData.size()).substr(12);
        const uint32_t flip = input.Next() % 24;
        if (flip < 12)
            header[flip] = char(header[flip] ^ 0x5A);
        const std::string edited = header + newData;
        WriteBinaryFile(path, reinterpret_cast<const uint8_t*>(edited.data()), edited.size());
    }
    FuzzCheck(Run(ERunMode::Reimport, source, tree, destination), "the reimport did not succeed");
    FuzzCheck(Run(ERunMode::Extract, destination, again), "the reimported content does not extract cleanly");
    FuzzCheck(SnapshotTree(again) == SnapshotTree(tree), "the round trip changed the tree");
    for (const std::string& directory : {source, tree, destination, again})
        fs::remove_all(directory);
    return 0;
}
