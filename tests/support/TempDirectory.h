// CTempDirectory: a fresh directory for one test, removed with everything in it afterwards; whole-file
// reads and writes for tests.
#pragma once

#include "support/BinaryFile.h"

#include <filesystem>
#include <string>

namespace fs = std::filesystem;

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

/// Creates or replaces the file at path with the text, failing the current test when the file cannot be
/// written.
void WriteTestFile(const std::string& path, const std::string& text);
