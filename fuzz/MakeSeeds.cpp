// Writes the seed corpora of the fuzz targets: vorsk_fuzz_seeds <directory> fills <directory>/<target>/
// with inputs made by the test writers and the files of the bundled sample content.
#include "FuzzSupport.h"
#include "support/ArchiveWriter.h"
#include "support/BinaryFile.h"

#include <cstdio>
#include <filesystem>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: vorsk_fuzz_seeds <directory>\n");
        return 2;
    }
    const std::string root = argv[1];
    for (const char* target : {"fuzz_archive_index", "fuzz_extraction", "fuzz_reimport"})
        fs::create_directories(root + "/" + target);
    bool written = true;
    // Every archive of the sample is a seed of its reader; the whole directory (locale "en") one of the run.
    std::vector<uint8_t> extraction = {0};
    for (const auto& item : fs::directory_iterator(VORSK_SAMPLE_DIR)) {
        const std::string text = ReadTestFile(item.path().string());
        const std::vector<uint8_t> bytes(text.begin(), text.end());
        const std::string name = item.path().filename().string();
        if (item.path().extension() == ".archive")
            written &= WriteBinaryFile(root + "/fuzz_archive_index/" + name, bytes);
        AppendExtractionFile(extraction, name, bytes);
    }
    written &= WriteBinaryFile(root + "/fuzz_extraction/sample", extraction);
    // An archive whose entry's segments lie in itself.
    CTestArchive self = MakeSimpleTestArchive("fuzz.archive", {"Split/Entry.BIN", "x"}, {"first ", "x"});
    self.Entries[0].Segments.push_back({0, std::vector<uint8_t>(40, 's'), {}, {}});
    written &= WriteBinaryFile(root + "/fuzz_archive_index/segments", BuildTestArchiveImages({self})[0]);
    // Reimport shapes: two libraries, inline and split containers, three edits.
    const std::vector<uint8_t> reimport = {1, 3, 0x13, 3, 5, 9, 0, 0x22, 2, 7, 7, 3, 0, 40, 'x', 3, 2, 0, 'y', 30};
    written &= WriteBinaryFile(root + "/fuzz_reimport/shapes", reimport);
    if (!written)
        std::fprintf(stderr, "vorsk_fuzz_seeds: cannot write into %s\n", argv[1]);
    return written ? 0 : 1;
}
