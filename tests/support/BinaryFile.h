// Whole-file writes and reads of test inputs and outputs, for the writers, the sample, fuzz seeds and
// benchmarks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

/// Creates or replaces the file at path with exactly size bytes. False when it cannot be written; reports
/// nothing to the test framework, so programs outside the tests can use it.
bool WriteBinaryFile(const std::string& path, const uint8_t* bytes, size_t size);
bool WriteBinaryFile(const std::string& path, const std::vector<uint8_t>& bytes);
/// The whole content of path; empty when it cannot be read.
std::string ReadTestFile(const std::string& path);

/// Every entry below root: a relative path with "/" separators mapped to the file's bytes, or, for a
/// directory, the path with a trailing "/" mapped to "". Lets a test compare a whole tree at once.
using CTreeSnapshot = std::map<std::string, std::string>;
CTreeSnapshot SnapshotTree(const std::string& root);

/// Appends the count low bytes of value, least significant first.
void AppendLittleEndian(std::vector<uint8_t>& bytes, uint64_t value, int count);
/// Overwrites count bytes from offset on with the low bytes of value, least significant first; bytes that
/// would lie past the end are left out.
void PatchLittleEndian(std::vector<uint8_t>& bytes, uint64_t offset, uint64_t value, int count);
