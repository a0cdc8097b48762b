// Temporary directories and whole-file helpers for tests.
#include "support/TempDirectory.h"

#include "support/BinaryFile.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>

CTempDirectory::CTempDirectory() {
    static std::atomic<unsigned> counter{0};
    const std::filesystem::path base(::testing::TempDir());
    for (;;) {
        const std::filesystem::path candidate =
            base / ("vorsk-" + std::to_string(counter++) + "-" + std::to_string(std::rand()));
        std::error_code error;
        if (std::filesystem::create_directory(candidate, error)) {
            m_Path = candidate.string();
            break;
        }
    }
    // Paths are joined with slashes below; keep the base free of a trailing separator.
    while (m_Path.size() > 1 && (m_Path.back() == '/' || m_Path.back() == '\\'))
        m_Path.pop_back();
}

CTempDirectory::~CTempDirectory() {
    std::error_code error;
    std::filesystem::remove_all(m_Path, error);
}

void WriteTestFile(const std::string& path, const std::string& text) {
    EXPECT_TRUE(WriteBinaryFile(path, reinterpret_cast<const uint8_t*>(text.data()), text.size())) << path;
}

std::string ReadTestFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}
