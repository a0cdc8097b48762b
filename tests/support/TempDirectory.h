// CTempDirectory: a fresh directory for one test, removed with everything in it afterwards.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

/// A new, empty directory under the test temporary directory; removed recursively on destruction.
class CTempDirectory {
public:
    CTempDirectory();
    ~CTempDirectory();
    CTempDirectory(const CTempDirectory&) = delete;
    CTempDirectory& operator=(const CTempDirectory&) = delete;

    const std::string& GetPath() const { return m_Path; }
    /// The path of name inside the directory, joined with a slash.
    std::string Join(const std::string& name) const { return m_Path + "/" + name; }

private:
    std::string m_Path;
};

/// Writes bytes to path, creating or replacing the file; fails the current test on error.
void WriteTestFile(const std::string& path, const std::vector<uint8_t>& bytes);
void WriteTestFile(const std::string& path, const std::string& text);
/// The whole content of path; an empty vector when it cannot be read (and the test is failed).
std::vector<uint8_t> ReadTestFile(const std::string& path);
bool TestFileExists(const std::string& path);
