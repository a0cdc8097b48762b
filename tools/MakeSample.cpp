// Writes the sample content directory: vorsk_make_sample <directory>. The sample is small, but exercises
// every path of an extraction.
#include "support/BinaryFile.h"
#include "support/ContentBuilder.h"
#include "support/ExpectedOutput.h"

#include <cstdio>
#include <filesystem>

namespace {

using CTestLanguages = std::vector<std::optional<std::string>>;

CTestContentContainer MakeContainer(const std::string& name, CTestLanguages languages,
                                    std::vector<std::string> entries, std::vector<std::string> archives) {
    return {"[examples/" + name + ".bundle].pc_resourcelib", std::move(entries), std::move(languages),
            std::move(archives)};
}

CTestResource MakeResource(const CTestContentContainer& container, uint32_t entry, const std::string& name) {
    return MakeTestResource(container, entry, GetTestPathId(name), name);
}

bool WriteSampleContent(const std::string& directory) {
    const CTestContentContainer pack = MakeContainer(
        "pack", {"all"}, {"A wooden crate, slightly battered.\n", "Hello from the sample content!\n"},
        {"base.archive"});
    // The English voices' data starts in base.archive and ends in patch.archive.
    CTestContentContainer voicesEnglish =
        MakeContainer("voices_en", {"en"},
                      {"Welcome, traveller. The road ahead is long and the night is dark.\n",
                       "Farewell, and mind the wolves.\n"},
                      {"base.archive", "patch.archive"});
    voicesEnglish.InlineHeaders = true;
    voicesEnglish.DataStart = 16;
    CTestContentContainer voicesGerman =
        MakeContainer("voices_de", {"de"}, {"Willkommen, Reisender.\n", "Lebewohl.\n"}, {"voice.archive"});
    voicesGerman.InlineHeaders = true;
    const CTestContentLibrary chunk0{"chunk0.pc_headerlib",
                                     {pack, voicesEnglish, voicesGerman},
                                     {MakeResource(pack, 0, "[examples/crate.txt].pc_text"),
                                      MakeResource(pack, 1, "[examples/hello.txt].pc_text"),
                                      MakeResource(voicesEnglish, 0, "[examples/welcome.wav].pc_sound"),
                                      MakeResource(voicesEnglish, 1, "[examples/farewell.wav].pc_sound"),
                                      MakeResource(voicesGerman, 0, "[examples/welcome_de.wav].pc_sound"),
                                      MakeResource(voicesGerman, 1, "[examples/farewell_de.wav].pc_sound")},
                                     {std::string("examples/readme.txt")}};
    const CTestContentContainer extra = MakeContainer(
        "extra", {"de", "all"},
        {"A second copy of hello, never written: chunk0 named it first.\n", "Patch notes, v1.1\n"},
        {"patch.archive"});
    const CTestContentLibrary chunk1{"chunk1.pc_headerlib",
                                     {extra},
                                     {MakeResource(extra, 0, "[examples/hello.txt].pc_text"),
                                      MakeResource(extra, 1, "[examples/patchnotes.txt].pc_text")}};
    if (!WriteTestContent(directory, {{"base.archive", "patch.archive", "voice.archive"}, {chunk0, chunk1}}))
        return false;
    // A header library cut off in its payload: it fails to load and the run goes on without it.
    std::vector<uint8_t> broken = BuildTestHeaderLibraryImage(BuildTestContentLibrary(chunk1));
    broken.resize(48);
    return WriteBinaryFile(directory + "/broken.pc_headerlib", broken);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: vorsk_make_sample <directory>\n");
        return 2;
    }
    std::error_code error;
    std::filesystem::create_directories(argv[1], error);
    if (!WriteSampleContent(argv[1])) {
        std::fprintf(stderr, "vorsk_make_sample: cannot write into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
