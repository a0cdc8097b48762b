// The sample content: small, but exercising every path of an extraction.
#include "support/SampleContent.h"

#include "base/InlineString.h"
#include "resid/ResourcePath.h"
#include "support/BinaryFile.h"
#include "support/ContentBuilder.h"

namespace {

CTestResource MakeResource(const CTestContentContainer& container, uint32_t entry, const std::string& name) {
    return MakeTestResource(container, entry, CResourcePath::GetId(CStringViewA(name.c_str())), name);
}

} // namespace

bool WriteSampleContent(const std::string& directory) {
    CTestContentContainer pack;
    pack.Path = "[examples/pack.bundle].pc_resourcelib";
    pack.Entries = {"A wooden crate, slightly battered.\n", "Hello from the sample content!\n"};
    pack.Archives = {"base.archive"};

    CTestContentContainer voicesEnglish;
    voicesEnglish.Path = "[examples/voices_en.bundle].pc_resourcelib";
    voicesEnglish.Languages = {std::string("en")};
    voicesEnglish.InlineHeaders = true;
    voicesEnglish.DataStart = 16;
    voicesEnglish.Entries = {"Welcome, traveller. The road ahead is long and the night is dark.\n",
                             "Farewell, and mind the wolves.\n"};
    // The container's data starts in base.archive and ends in patch.archive.
    voicesEnglish.Archives = {"base.archive", "patch.archive"};

    CTestContentContainer voicesGerman;
    voicesGerman.Path = "[examples/voices_de.bundle].pc_resourcelib";
    voicesGerman.Languages = {std::string("de")};
    voicesGerman.InlineHeaders = true;
    voicesGerman.Entries = {"Willkommen, Reisender.\n", "Lebewohl.\n"};
    voicesGerman.Archives = {"voice.archive"};

    CTestContentLibrary chunk0;
    chunk0.FileName = "chunk0.pc_headerlib";
    chunk0.Containers = {pack, voicesEnglish, voicesGerman};
    chunk0.ExternalNames = {std::string("examples/readme.txt")};
    chunk0.Resources = {
        MakeResource(pack, 0, "[examples/crate.txt].pc_text"),
        MakeResource(pack, 1, "[examples/hello.txt].pc_text"),
        MakeResource(voicesEnglish, 0, "[examples/welcome.wav].pc_sound"),
        MakeResource(voicesEnglish, 1, "[examples/farewell.wav].pc_sound"),
        MakeResource(voicesGerman, 0, "[examples/welcome_de.wav].pc_sound"),
        MakeResource(voicesGerman, 1, "[examples/farewell_de.wav].pc_sound"),
    };

    CTestContentContainer extra;
    extra.Path = "[examples/extra.bundle].pc_resourcelib";
    extra.Languages = {std::string("de"), std::string("all")};
    extra.Entries = {"A second copy of hello, never written: chunk0 named it first.\n", "Patch notes, v1.1\n"};
    extra.Archives = {"patch.archive"};

    CTestContentLibrary chunk1;
    chunk1.FileName = "chunk1.pc_headerlib";
    chunk1.Containers = {extra};
    chunk1.Resources = {
        MakeResource(extra, 0, "[examples/hello.txt].pc_text"),
        MakeResource(extra, 1, "[examples/patchnotes.txt].pc_text"),
    };

    CTestContent content;
    content.Archives = {"base.archive", "patch.archive", "voice.archive"};
    content.Libraries = {chunk0, chunk1};
    if (!WriteTestContent(directory, content))
        return false;

    // A header library cut off in its payload: it fails to load and the run goes on without it.
    std::vector<uint8_t> broken = BuildTestHeaderLibraryImage(BuildTestContentLibrary(chunk1));
    broken.resize(48);
    return WriteBinaryFile(directory + "/broken.pc_headerlib", broken);
}
