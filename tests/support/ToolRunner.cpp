// Starting the tool as a child process with its standard output and error captured.
#include "support/ToolRunner.h"

#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ostream>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#ifndef VORSK_EXECUTABLE
#error "VORSK_EXECUTABLE must name the built tool"
#endif

namespace {

#ifdef _WIN32

// Without a file size limit both streams can go to files.
int StartTool(const std::vector<std::string>& arguments, uint64_t, uint32_t, const CTempDirectory& scratch,
              std::string& output) {
    std::string commandLine;
    for (const std::string& argument : arguments)
        commandLine += "\"" + argument + "\" ";
    SECURITY_ATTRIBUTES security{sizeof(security), nullptr, TRUE};
    auto create = [&](const char* name) {
        return CreateFileA(scratch.Join(name).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           &security, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = create("stdout");
    startup.hStdError = create("stderr");
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &process);
    CloseHandle(startup.hStdOutput);
    CloseHandle(startup.hStdError);
    if (!started)
        return 127;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    output = ReadTestFile(scratch.Join("stdout"));
    return static_cast<int>(status);
}

#else

// Standard output comes through a pipe, which a file size limit does not touch. The child sets its limits
// between fork and exec, with calls that are safe there.
int StartTool(const std::vector<std::string>& arguments, uint64_t maxFileSize, uint32_t timeoutSeconds,
              const CTempDirectory& scratch, std::string& output) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const std::string errorPath = scratch.Join("stderr");
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        const int error = ::open(errorPath.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        if (error < 0 || ::dup2(ends[1], STDOUT_FILENO) < 0 || ::dup2(error, STDERR_FILENO) < 0)
            ::_exit(127);
        ::signal(SIGXFSZ, SIG_DFL);
        const struct rlimit limit { maxFileSize, maxFileSize };
        if (maxFileSize != 0)
            ::setrlimit(RLIMIT_FSIZE, &limit);
        ::alarm(timeoutSeconds);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(ends[1]);
    char chunk[4096];
    for (ssize_t count; child > 0 && (count = ::read(ends[0], chunk, sizeof(chunk))) > 0;)
        output.append(chunk, static_cast<size_t>(count));
    ::close(ends[0]);
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

#endif

// The summary, the last line, ends in the run's elapsed seconds ("; 0.01 s"), which become "; T s" so that
// runs compare exactly.
std::string MaskElapsedSeconds(std::string text) {
    const size_t start = text.rfind("; ");
    if (start == std::string::npos || !text.ends_with(" s\n"))
        return text;
    text.resize(start + 2);
    return text + "T s\n";
}

} // namespace

SToolRun RunTool(const std::vector<std::string>& arguments, uint64_t maxFileSize, uint32_t timeoutSeconds) {
    std::vector<std::string> all = {VORSK_EXECUTABLE};
    if (const char* jobs = std::getenv("VORSK_TEST_JOBS"))
        all.insert(all.end(), {"--jobs", jobs});
    all.insert(all.end(), arguments.begin(), arguments.end());
    const CTempDirectory scratch;
    SToolRun run;
    run.ExitStatus = StartTool(all, maxFileSize, timeoutSeconds, scratch, run.Output);
    run.Error = MaskElapsedSeconds(ReadTestFile(scratch.Join("stderr")));
    return run;
}

void PrintTo(const SToolRun& run, std::ostream* out) {
    *out << "exit status " << run.ExitStatus << ", output \"" << run.Output << "\", error \"" << run.Error
         << "\"";
}
