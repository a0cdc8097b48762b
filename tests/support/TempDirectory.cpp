// Temporary directories and whole-file helpers for tests.
#include "support/TempDirectory.h"

#include "support/BinaryFile.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <random>

CTempDirectory::CTempDirectory() {
    // Test programs run at the same time share the temporary directory: a name taken by another is passed
    // over, since creating a directory that exists fails.
    static std::atomic<unsigned> counter{0};
    static const unsigned processTag = std::random_device()();
    std::error_code error;
    do
        m_Path = (fs::path(::testing::TempDir()) /
                  ("vorsk-" + std::to_string(processTag) + "-" + std::to_string(counter++)))
                     .string();
    while (!fs::create_directory(m_Path, error));
}

CTempDirectory::~CTempDirectory() {
    std::error_code error;
    fs::remove_all(m_Path, error);
}

void WriteTestFile(const std::string& path, const std::string& text) {
    EXPECT_TRUE(WriteBinaryFile(path, reinterpret_cast<const uint8_t*>(text.data()), text.size())) << path;
}
