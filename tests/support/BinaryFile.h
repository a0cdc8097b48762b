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
