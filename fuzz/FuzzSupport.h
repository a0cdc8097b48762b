// Helpers shared by the fuzz targets and their seed writer.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

/// Stops the process with a message when condition is false, so that libFuzzer records the input.
void FuzzCheck(bool condition, const char* message);

/// A new, empty directory under $TMPDIR (or /dev/shm), removed at exit.
std::string MakeFuzzDirectory();

/// Start of a target that runs the whole tool: a fuzz directory (returned), allocations guarded as
/// GuardAllocations() does, and standard output sent to /dev/null, where the tool's messages cannot bury
/// the fuzzer's.
std::string StartToolFuzzing();

/// Every allocation of more than 256 MiB stops the process: the inputs are small, so such a request can only
/// come from a size taken from the input unchecked.
void GuardAllocations();

/// An input of the extraction target: a mode byte (the locale is Locales[byte % 4]), then up to 8 files, each a name length (1 to 40; 0 ends), the
/// name (bytes other than letters, digits, '.', '-' and '_' read as '_'), a 32-bit little-endian content
/// length and the content, cut short where the input ends.
constexpr const char* Locales[4] = {"en", "de", "all", "fr"};
inline void AppendExtractionFile(std::vector<uint8_t>& input, const std::string& name,
                                 const std::vector<uint8_t>& content) {
    input.push_back(static_cast<uint8_t>(name.size()));
    input.insert(input.end(), name.begin(), name.end());
    for (int i = 0; i < 4; ++i)
        input.push_back(static_cast<uint8_t>(content.size() >> (8 * i)));
    input.insert(input.end(), content.begin(), content.end());
}
