// Fuzz target: whole extraction runs in-process. Each input describes a small content directory (see
// FuzzSupport.h); it is written into a fresh directory, extracted into another, and both are removed.
#include "FuzzSupport.h"
#include "app/Extraction.h"
#include "app/Options.h"
#include "archive/ArchiveManager.h"
#include "base/Console.h"
#include "support/BinaryFile.h"

#include <filesystem>

namespace {

std::string g_Directory;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_Directory = StartToolFuzzing();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const std::string source = g_Directory + "/in";
    const std::string output = g_Directory + "/out";
    fs::create_directory(source);
    size_t at = 1;
    for (int files = 0; files < 8 && at < size; ++files) {
        const size_t nameLength = data[at++];
        if (nameLength == 0 || nameLength > 40 || size - at < nameLength)
            break;
        std::string name(reinterpret_cast<const char*>(data + at), nameLength);
        for (char& c : name)
            c = std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_' ? c : '_';
        at += nameLength;
        uint64_t length = 0;
        for (int i = 0; i < 4 && at < size; ++i)
            length |= uint64_t(data[at++]) << (8 * i);
        length = std::min<uint64_t>(length, size - at);
        if (name != "." && name != "..")
            WriteBinaryFile(source + "/" + name, data + at, length);
        at += length;
    }
    const auto before = SnapshotTree(source);
    CRunOptions options;
    options.Source = source.c_str();
    options.Output = output.c_str();
    options.Locale = Locales[data[0] % 4];
    ExtractResources(options);
    FlushConsole();
    FuzzCheck(SnapshotTree(source) == before, "the run changed its input");
    fs::remove_all(source);
    fs::remove_all(output);
    return 0;
}
