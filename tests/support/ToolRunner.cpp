// Running the tool through the system shell, and directory snapshots.
#include "support/ToolRunner.h"

#include "support/TempDirectory.h"

#include <cstdlib>
#include <filesystem>
#include <sstream>

#ifndef _WIN32
#include <sys/wait.h>
#endif

#ifndef VORSK_EXECUTABLE
#error "VORSK_EXECUTABLE must name the built tool"
#endif

namespace {

std::string Quote(const std::string& argument) {
#ifdef _WIN32
    return "\"" + argument + "\"";
#else
    std::string quoted = "'";
    for (char c : argument) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
#endif
}

} // namespace

const char* GetToolPath() {
    return VORSK_EXECUTABLE;
}

SToolRun RunTool(const std::vector<std::string>& arguments) {
    CTempDirectory scratch;
    const std::string outputPath = scratch.Join("stdout.txt");
    std::string command = Quote(VORSK_EXECUTABLE);
    for (const std::string& argument : arguments)
        command += " " + Quote(argument);
    command += " > " + Quote(outputPath);
#ifdef _WIN32
    // cmd.exe strips the first and last quote of a command line that starts with one.
    command = "\"" + command + "\"";
#endif
    const int status = std::system(command.c_str());
    SToolRun run;
#ifdef _WIN32
    run.ExitStatus = status;
#else
    run.ExitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
#endif
    const std::vector<uint8_t> bytes = ReadTestFile(outputPath);
    run.Output.assign(bytes.begin(), bytes.end());
    return run;
}

CTreeSnapshot SnapshotTree(const std::string& root) {
    CTreeSnapshot snapshot;
    std::error_code error;
    if (!std::filesystem::exists(root, error))
        return snapshot;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        std::string relative = entry.path().lexically_relative(root).generic_string();
        if (entry.is_directory()) {
            snapshot[relative + "/"] = "";
        } else {
            const std::vector<uint8_t> bytes = ReadTestFile(entry.path().string());
            snapshot[relative] = std::string(bytes.begin(), bytes.end());
        }
    }
    return snapshot;
}

std::string DescribeTreeDifference(const CTreeSnapshot& expected, const CTreeSnapshot& actual) {
    std::ostringstream out;
    for (const auto& [path, content] : expected) {
        const auto found = actual.find(path);
        if (found == actual.end())
            out << "missing: " << path << "\n";
        else if (found->second != content)
            out << "differs: " << path << " (" << found->second.size() << " bytes, expected " << content.size()
                << ")\n";
    }
    for (const auto& [path, content] : actual) {
        if (expected.find(path) == expected.end())
            out << "unexpected: " << path << " (" << content.size() << " bytes)\n";
    }
    return out.str();
}
