// Temporary directories and whole-file helpers for tests.
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>

CTempDirectory::CTempDirectory() {
    static std::atomic<unsigned> counter{0};
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info != nullptr ? std::string(info->test_suite_name()) + "." + info->name() : "vorsk";
    for (char& c : name) {
        if (c == '/')
            c = '_';
    }
    std::filesystem::path base = std::filesystem::path(::testing::TempDir());
    for (;;) {
        std::filesystem::path candidate =
            base / ("vorsk-" + name + "-" + std::to_string(counter++) + "-" + std::to_string(std::rand()));
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

void WriteTestFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    ASSERT_TRUE(out.good()) << "cannot create " << path;
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << "cannot write " << path;
}

void WriteTestFile(const std::string& path, const std::string& text) {
    WriteTestFile(path, std::vector<uint8_t>(text.begin(), text.end()));
}

std::vector<uint8_t> ReadTestFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << "cannot open " << path;
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool TestFileExists(const std::string& path) { return std::filesystem::exists(path); }
