// Helpers shared by the fuzz targets: scratch directories, files, silenced output, checks and an allocation
// guard.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

/// Stops the process with a message on standard error when condition is false, so that libFuzzer records
/// the input as a crash. Used for properties that the code under test promises.
void FuzzCheck(bool condition, const char* message);

/// A new, empty directory under $TMPDIR, or /dev/shm when TMPDIR is not set, whose name starts with
/// vorsk-fuzz-. Stops the process when none can be made.
std::string MakeFuzzDirectory();

/// Removes path and everything below it; a missing path is not an error.
void RemoveFuzzTree(const std::string& path);

/// Points standard output at /dev/null, so that the tool's messages do not bury the fuzzer's.
void SilenceStandardOutput();

/// Makes every allocation of the tool that asks for more than limit bytes stop the process with a report.
/// The inputs are small, so a request of that size can only come from a size taken from the input without
/// a check against what the input holds.
void GuardAllocations(uint64_t limit);

/// The allocation limit the targets use: far more than any input of at most 1 MiB can justify.
constexpr uint64_t FuzzAllocationLimit = uint64_t(256) << 20;
