// Writes the seed corpora of the fuzz targets: vorsk_fuzz_seeds <directory> fills <directory>/<target>/ with
// inputs made by the test writers (valid archives, header libraries, content directories) and worked
// example paths.
#include "ExtractionInput.h"
#include "FuzzSupport.h"
#include "base/InlineString.h"
#include "resid/ResourcePath.h"
#include "support/ArchiveWriter.h"
#include "support/BinaryFile.h"
#include "support/ContentBuilder.h"
#include "support/HeaderLibraryWriter.h"
#include "support/SampleContent.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

bool g_Failed = false;

void WriteSeed(const std::string& directory, const std::string& name, const Bytes& bytes) {
    if (!WriteBinaryFile(directory + "/" + name, bytes.data(), bytes.size())) {
        std::fprintf(stderr, "vorsk_fuzz_seeds: cannot write %s/%s\n", directory.c_str(), name.c_str());
        g_Failed = true;
    }
}

Bytes ReadFile(const std::string& path) {
    Bytes bytes;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return bytes;
    uint8_t chunk[4096];
    size_t count;
    while ((count = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + count);
    std::fclose(file);
    return bytes;
}

ResourceId GetId(const std::string& path) {
    return CResourcePath::GetId(CStringViewA(path.c_str()));
}

// The archive target writes its input as "fuzz.archive" beside "other.archive", which holds the entries
// "shared/one.txt" and "shared/two.bin" and refers to "fuzz.archive".
void WriteArchiveSeeds(const std::string& directory) {
    WriteSeed(directory, "simple",
              BuildTestArchiveImage(MakeSimpleTestArchive("fuzz.archive", {"a.txt"}, {"hello"})));

    WriteSeed(directory, "multi-entry",
              BuildTestArchiveImage(MakeSimpleTestArchive(
                  "fuzz.archive", {"Textures/Crate.TGA", "sounds/a.wav", "", "x", "shared/one.txt"},
                  {"crate bytes", std::string(100, 's'), "", "x", "shadows the companion's entry"})));

    CTestArchive segmented = MakeSimpleTestArchive("fuzz.archive", {"split.bin"}, {"first part "});
    segmented.Entries[0].Segments.push_back(CTestSegment{0, {'s', 'e', 'c', 'o', 'n', 'd'}, {}, {}, {}});
    segmented.Entries[0].Segments.push_back(CTestSegment{0, Bytes(40, 't'), {}, {}, {}});
    segmented.Entries.push_back(CTestEntry{"no-segments", 7, {}, {}, {}, false, {}});
    WriteSeed(directory, "self-referencing-segments", BuildTestArchiveImage(segmented));

    // Segments that read from the companion: its first entry's bytes lie right after its 24-byte header.
    CTestArchive crossing = MakeSimpleTestArchive("fuzz.archive", {"local.txt"}, {"local"});
    crossing.References.push_back("other.archive");
    CTestEntry remote{"remote.txt", 0, {}, {}, {}, false, {}};
    remote.Segments.push_back(CTestSegment{1, {}, {}, uint64_t(24), uint64_t(10)});
    remote.Segments.push_back(CTestSegment{0, {'!', '\n'}, {}, {}, {}});
    crossing.Entries.push_back(remote);
    WriteSeed(directory, "referencing-companion", BuildTestArchiveImage(crossing));

    CTestArchive empty;
    empty.FileName = "fuzz.archive";
    WriteSeed(directory, "empty", BuildTestArchiveImage(empty));

    CTestArchive truncated = MakeSimpleTestArchive("fuzz.archive", {"a.txt", "b.txt"}, {"hello", "world"});
    truncated.TruncateTo = 60;
    WriteSeed(directory, "truncated", BuildTestArchiveImage(truncated));
}

CTestHeaderLibrary MakeLibrary(bool inlineHeaders) {
    CTestHeaderLibrary library;
    CTestContainer container;
    container.Path = "[fuzz/pack.bundle].pc_resourcelib";
    container.InlineHeaders = inlineHeaders;
    container.Languages = {std::string("en"), std::string("all")};
    container.Entries = {CTestEntryHeader{10, 24, {}, false}, CTestEntryHeader{20, 32, {1, 2, 3}, false}};
    library.Containers.push_back(container);
    for (uint32_t entry = 0; entry < 2; ++entry) {
        const std::string name = "[fuzz/item" + std::to_string(entry) + ".txt].pc_text";
        library.Resources.push_back(CTestResource{MakeTestMemberId(*container.Path, entry), GetId(name), name,
                                                  "second", std::nullopt, std::nullopt});
    }
    return library;
}

void WriteHeaderLibrarySeeds(const std::string& directory, const std::string& sampleDirectory) {
    WriteSeed(directory, "empty", BuildTestHeaderLibraryImage(CTestHeaderLibrary{}));
    WriteSeed(directory, "separate-headers", BuildTestHeaderLibraryImage(MakeLibrary(false)));
    WriteSeed(directory, "inline-headers", BuildTestHeaderLibraryImage(MakeLibrary(true)));

    CTestHeaderLibrary externals = MakeLibrary(false);
    externals.ExternalNames = {std::string("fuzz/readme.txt"), std::nullopt, std::string("[a].pc_b"),
                               std::string("not a valid//path")};
    externals.Containers.push_back(CTestContainer{std::nullopt, 8, false, {std::nullopt}, {}});
    WriteSeed(directory, "externals-and-null-names", BuildTestHeaderLibraryImage(externals));

    CTestHeaderLibrary framed = MakeLibrary(true);
    framed.GapBytes = 8;
    framed.TrailingBytes = 5;
    framed.SegmentsBefore = {CTestBlockSegment{0x11111111, {1, 2, 3, 4}}};
    framed.SegmentsAfter = {CTestBlockSegment{0x22222222, {}}};
    WriteSeed(directory, "gap-and-extra-segments", BuildTestHeaderLibraryImage(framed));

    CTestHeaderLibrary skewed = MakeLibrary(false);
    skewed.Skew = 4;
    WriteSeed(directory, "skewed-records", BuildTestHeaderLibraryImage(skewed));

    // Relocation variants: a slot named twice, and a slot left with its stored offset.
    CTestHeaderLibraryLayout layout;
    CTestHeaderLibrary base = MakeLibrary(false);
    BuildTestHeaderLibraryImage(base, &layout);
    CTestHeaderLibrary repeated = base;
    repeated.ExtraRelocations = {layout.Slots.front()};
    WriteSeed(directory, "relocation-repeated", BuildTestHeaderLibraryImage(repeated));
    CTestHeaderLibrary unrelocated = base;
    unrelocated.UnrelocatedSlots = {layout.Slots.back()};
    WriteSeed(directory, "relocation-missing", BuildTestHeaderLibraryImage(unrelocated));
    CTestHeaderLibrary noRelocation = base;
    noRelocation.OmitRelocationSegment = true;
    WriteSeed(directory, "relocation-segment-missing", BuildTestHeaderLibraryImage(noRelocation));

    for (const char* name : {"chunk0.pc_headerlib", "chunk1.pc_headerlib", "broken.pc_headerlib"})
        WriteSeed(directory, std::string("sample-") + name, ReadFile(sampleDirectory + "/" + name));
}

void WritePathSeeds(const std::string& directory) {
    const char* paths[] = {
        "[textures/crate.tga].pc_texture",
        "[examples/pack.bundle].pc_resourcelib",
        "[examples/pack.bundle].pc_resourcelib?3.pc_text",
        "[Examples/Pack.Bundle].PC_ResourceLib?12.pc_text",
        "[a/b.bundle].pc_securelib?0.x",
        "[[nested]outer](group).ext",
        "[unclosed(group).ext",
        "(x).y",
        "plain/path.txt",
        "double//slash.txt",
        "bad*char.txt",
        "resourcelib?-5.",
        "[x].pc_resourcelib? 2147483648.y",
        "no_dot_at_all",
        "",
    };
    int number = 0;
    for (const char* path : paths) {
        const std::string text(path);
        WriteSeed(directory, "path-" + std::to_string(number++), Bytes(text.begin(), text.end()));
    }
}

// Packs every file of a content directory, in name order, behind a locale byte.
Bytes PackDirectory(const std::string& contentDirectory, uint8_t locale) {
    std::vector<std::string> names;
    for (const auto& item : std::filesystem::directory_iterator(contentDirectory))
        names.push_back(item.path().filename().string());
    std::sort(names.begin(), names.end());
    Bytes packed{locale};
    for (const std::string& name : names)
        CExtractionInput::AppendFile(packed, name, ReadFile(contentDirectory + "/" + name));
    return packed;
}

void WriteContentSeed(const std::string& directory, const std::string& name, const CTestContent& content,
                      const std::string& scratch) {
    const std::string contentDirectory = scratch + "/" + name;
    std::filesystem::create_directories(contentDirectory);
    if (!WriteTestContent(contentDirectory, content)) {
        std::fprintf(stderr, "vorsk_fuzz_seeds: cannot write content %s\n", name.c_str());
        g_Failed = true;
        return;
    }
    WriteSeed(directory, name, PackDirectory(contentDirectory, 0));
}

void WriteExtractionSeeds(const std::string& directory, const std::string& sampleDirectory,
                          const std::string& scratch) {
    WriteSeed(directory, "sample-en", PackDirectory(sampleDirectory, 0));
    WriteSeed(directory, "sample-de", PackDirectory(sampleDirectory, 1));

    CTestContentContainer pack;
    pack.Path = "[fuzz/pack.bundle].pc_resourcelib";
    pack.Entries = {"first entry\n", "second entry\n"};
    pack.Archives = {"data.archive"};
    CTestContentLibrary library;
    library.FileName = "lib.pc_headerlib";
    library.Containers = {pack};
    library.Resources = {MakeTestResource(pack, 0, GetId("[fuzz/a.txt].pc_text"), "[fuzz/a.txt].pc_text"),
                         MakeTestResource(pack, 1, GetId("[fuzz/b.txt].pc_text"), "[fuzz/b.txt].pc_text")};
    CTestContent simple;
    simple.Archives = {"data.archive"};
    simple.Libraries = {library};
    WriteContentSeed(directory, "simple", simple, scratch);

    CTestContent variants = simple;
    CTestContentContainer& split = variants.Libraries[0].Containers[0];
    split.InlineHeaders = true;
    split.DataStart = 8;
    split.Archives = {"data.archive", "more.archive"};
    variants.Archives = {"data.archive", "more.archive"};
    CTestContentContainer unheld;
    unheld.Path = "[fuzz/unheld.bundle].pc_resourcelib";
    unheld.Languages = {std::string("de"), std::nullopt};
    unheld.Entries = {"never in an archive\n"};
    variants.Libraries[0].Containers.push_back(unheld);
    variants.Libraries[0].Resources.push_back(
        MakeTestResource(unheld, 0, GetId("[fuzz/c.txt].pc_text"), "[fuzz/c.txt].pc_text"));
    variants.Libraries[0].ExternalNames = {std::string("fuzz/external.txt"), std::nullopt};
    WriteContentSeed(directory, "inline-split-unheld-external", variants, scratch);

    CTestContent renamed = simple;
    renamed.Libraries[0].Containers[0].EntryName = "Some/Other/Name";
    renamed.Libraries.push_back(simple.Libraries[0]);
    renamed.Libraries[1].FileName = "second.pc_headerlib";
    WriteContentSeed(directory, "renamed-entry-two-libraries", renamed, scratch);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: vorsk_fuzz_seeds <directory>\n");
        return 2;
    }
    const std::string root = argv[1];
    const std::string scratch = root + "/.scratch";
    const std::string sample = scratch + "/sample";
    for (const char* target :
         {"fuzz_archive_index", "fuzz_header_library", "fuzz_resource_path", "fuzz_extraction"})
        std::filesystem::create_directories(root + "/" + target);
    std::filesystem::create_directories(sample);
    if (!WriteSampleContent(sample)) {
        std::fprintf(stderr, "vorsk_fuzz_seeds: cannot write the sample content\n");
        return 1;
    }
    WriteArchiveSeeds(root + "/fuzz_archive_index");
    WriteHeaderLibrarySeeds(root + "/fuzz_header_library", sample);
    WritePathSeeds(root + "/fuzz_resource_path");
    WriteExtractionSeeds(root + "/fuzz_extraction", sample, scratch);
    std::error_code error;
    std::filesystem::remove_all(scratch, error);
    return g_Failed ? 1 : 0;
}
