// Writing test inputs to disk, for the writers, the sample, fuzz seeds and benchmarks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

/// Creates or replaces the file at path with exactly size bytes. False when it cannot be written; reports
/// nothing to the test framework, so programs outside the tests can use it.
bool WriteBinaryFile(const std::string& path, const uint8_t* bytes, size_t size);
bool WriteBinaryFile(const std::string& path, const std::vector<uint8_t>& bytes);

/// Appends the count low bytes of value, least significant first.
void AppendLittleEndian(std::vector<uint8_t>& bytes, uint64_t value, int count);
/// Overwrites count bytes from offset on with the low bytes of value, least significant first; bytes that
/// would lie past the end are left out.
void PatchLittleEndian(std::vector<uint8_t>& bytes, uint64_t offset, uint64_t value, int count);
