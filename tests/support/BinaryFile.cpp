// Whole-file writes of test inputs and little-endian fields.
#include "support/BinaryFile.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

bool WriteBinaryFile(const std::string& path, const uint8_t* bytes, size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    const bool written = size == 0 || std::fwrite(bytes, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

bool WriteBinaryFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    return WriteBinaryFile(path, bytes.data(), bytes.size());
}

std::string ReadTestFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

CTreeSnapshot SnapshotTree(const std::string& root) {
    namespace fs = std::filesystem;
    CTreeSnapshot snapshot;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(root, error); it != fs::recursive_directory_iterator();
         ++it) {
        const std::string relative = fs::relative(it->path(), root).generic_string();
        snapshot[it->is_directory() ? relative + "/" : relative] =
            it->is_directory() ? "" : ReadTestFile(it->path().string());
    }
    return snapshot;
}

void AppendLittleEndian(std::vector<uint8_t>& bytes, uint64_t value, int count) {
    for (int i = 0; i < count; ++i)
        bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void PatchLittleEndian(std::vector<uint8_t>& bytes, uint64_t offset, uint64_t value, int count) {
    for (int i = 0; i < count && offset + i < bytes.size(); ++i)
        bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}
