// Fuzz target: whole extraction runs in-process. Each input describes a small content directory; it is
// written into a fresh directory, extracted with ExtractResources into another, and both are removed.
//
// Input layout (see ExtractionInput.h): a locale and mode byte, then up to MaxFiles files, each a name length
// byte, the name, a 4-byte little-endian content length and the content (cut short at the input's end).
#include "ExtractionInput.h"
#include "FuzzSupport.h"
#include "app/Extraction.h"
#include "archive/ArchiveManager.h"
#include "base/Console.h"
#include "support/BinaryFile.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace {

std::string g_Directory;

uint64_t CountFiles(const std::string& directory) {
    std::error_code error;
    uint64_t count = 0;
    for (const auto& item : std::filesystem::directory_iterator(directory, error)) {
        (void)item;
        ++count;
    }
    return count;
}

bool HasContent(const std::string& path, const std::vector<uint8_t>& content) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return false;
    std::vector<uint8_t> bytes(content.size() + 1);
    const size_t count = std::fread(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    return count == content.size() && std::equal(content.begin(), content.end(), bytes.begin());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_Directory = MakeFuzzDirectory();
    SilenceStandardOutput();
    GuardAllocations(FuzzAllocationLimit);
    std::atexit([] { RemoveFuzzTree(g_Directory); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CExtractionInput input;
    if (!input.Parse(data, size))
        return 0;
    const std::string source = g_Directory + "/in";
    const std::string output = g_Directory + "/out";
    std::error_code error;
    std::filesystem::create_directory(source, error);
    // A later file of the same name replaces an earlier one; a file that cannot be created is left out.
    std::vector<const CExtractionFile*> written;
    for (const CExtractionFile& file : input.Files) {
        const std::string path = source + "/" + file.Name;
        if (WriteBinaryFile(path, file.Content.data(), file.Content.size()))
            written.push_back(&file);
    }
    const uint64_t fileCount = CountFiles(source);

    CRunOptions options;
    options.Source = source.c_str();
    options.Output = output.c_str();
    options.Locale = input.Locale;
    ExtractResources(options);
    FlushConsole();
    GetArchiveManager().UnmountAll();

    // The run only reads its inputs.
    FuzzCheck(CountFiles(source) == fileCount, "the run changed the source directory");
    for (const CExtractionFile* file : written) {
        if (!input.IsLastWith(*file))
            continue;
        FuzzCheck(HasContent(source + "/" + file->Name, file->Content), "the run changed an input file");
    }
    RemoveFuzzTree(source);
    RemoveFuzzTree(output);
    return 0;
}
