// Running the built VorskExtract executable and taking snapshots of directory trees, for end-to-end tests.
#pragma once

#include <map>
#include <string>
#include <vector>

/// What one run of the tool left: its exit status and everything it printed on standard output.
struct SToolRun {
    int ExitStatus = -1;
    std::string Output;
};

/// The path of the tool built alongside the tests.
const char* GetToolPath();

/// Runs the tool built alongside the tests (VORSK_EXECUTABLE) with the arguments, standard output captured.
SToolRun RunTool(const std::vector<std::string>& arguments);

/// Every entry below root: a relative path with "/" separators mapped to the file's bytes, or, for a
/// directory, the path with a trailing "/" mapped to "". Lets a test compare a whole output tree at once.
using CTreeSnapshot = std::map<std::string, std::string>;
CTreeSnapshot SnapshotTree(const std::string& root);

/// Readable difference of two snapshots for a failure message; empty when they are equal.
std::string DescribeTreeDifference(const CTreeSnapshot& expected, const CTreeSnapshot& actual);
