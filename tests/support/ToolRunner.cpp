// Starting the tool as a child process with its standard output and error captured.
#include "support/ToolRunner.h"

#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

#ifndef VORSK_EXECUTABLE
#error "VORSK_EXECUTABLE must name the built tool"
#endif

namespace {

#ifdef _WIN32

// Without a file size limit both streams can go to files. The exit status, or -1 when the tool did not start.
int StartTool(const std::vector<std::string>& arguments, uint64_t, const CTempDirectory& scratch,
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
    if (!started) {
        ADD_FAILURE() << "cannot start " << arguments[0] << ": error " << GetLastError();
        return -1;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    output = ReadTestFile(scratch.Join("stdout"));
    return static_cast<int>(status);
}

#else

// Standard output comes through a pipe, which a file size limit does not touch.
int StartTool(const std::vector<std::string>& arguments, uint64_t maxFileSize, const CTempDirectory& scratch,
              std::string& output) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) {
        ADD_FAILURE() << "cannot make a pipe";
        return -1;
    }
    const std::string errorPath = scratch.Join("stderr");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[1]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorPath.c_str(), O_WRONLY | O_CREAT, 0600);
    // The tool meets a full disk with its own handling of SIGXFSZ, whatever the test process does with it.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGXFSZ);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    // The child inherits the file size limit, set here only while it starts.
    struct rlimit saved;
    ::getrlimit(RLIMIT_FSIZE, &saved);
    struct rlimit limit = saved;
    limit.rlim_cur = maxFileSize != 0 ? static_cast<rlim_t>(maxFileSize) : saved.rlim_cur;
    ::setrlimit(RLIMIT_FSIZE, &limit);
    pid_t child = 0;
    const int error = posix_spawn(&child, argv[0], &actions, &attributes, argv.data(), environ);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeEnds[1]);
    char chunk[4096];
    for (ssize_t count; error == 0 && (count = ::read(pipeEnds[0], chunk, sizeof(chunk))) > 0;)
        output.append(chunk, static_cast<size_t>(count));
    ::close(pipeEnds[0]);
    int status = 0;
    if (error != 0 || ::waitpid(child, &status, 0) != child) {
        ADD_FAILURE() << "cannot start " << argv[0] << ": " << std::strerror(error);
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

#endif

} // namespace

SToolRun RunTool(const std::vector<std::string>& arguments, uint64_t maxFileSize, uint32_t timeoutSeconds) {
    std::vector<std::string> all;
#ifdef _WIN32
    (void)timeoutSeconds;
#else
    if (timeoutSeconds != 0)
        all = {"/usr/bin/timeout", "-s", "KILL", std::to_string(timeoutSeconds)};
#endif
    all.push_back(VORSK_EXECUTABLE);
    if (const char* jobs = std::getenv("VORSK_TEST_JOBS"))
        all.insert(all.end(), {"--jobs", jobs});
    all.insert(all.end(), arguments.begin(), arguments.end());
    const CTempDirectory scratch;
    SToolRun run;
    run.ExitStatus = StartTool(all, maxFileSize, scratch, run.Output);
    static const std::regex elapsed("; [0-9]+\\.[0-9]{2} s\n");
    run.Error = std::regex_replace(ReadTestFile(scratch.Join("stderr")), elapsed, "; T s\n");
    return run;
}
