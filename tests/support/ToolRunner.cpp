// Starting the tool as a child process with its standard output in a pipe, and directory snapshots.
#include "support/ToolRunner.h"

#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <regex>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
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

#ifdef _WIN32

bool CanLimitFileSize() {
    return false;
}

namespace {

SToolRun StartTool(const std::vector<std::string>& arguments, uint64_t, const std::string& errorPath) {
    SToolRun run;
    std::string commandLine = std::string("\"") + VORSK_EXECUTABLE + "\"";
    for (const std::string& argument : arguments)
        commandLine += " \"" + argument + "\"";
    SECURITY_ATTRIBUTES security{sizeof(security), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &security, 0) ||
        !SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0)) {
        ADD_FAILURE() << "cannot make a pipe for " << VORSK_EXECUTABLE;
        return run;
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    HANDLE errorFile = CreateFileA(errorPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   &security, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    startup.hStdError = errorFile;
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &process);
    CloseHandle(writeEnd);
    CloseHandle(errorFile);
    if (!started) {
        ADD_FAILURE() << "cannot start " << VORSK_EXECUTABLE << ": error " << GetLastError();
        CloseHandle(readEnd);
        return run;
    }
    char chunk[4096];
    DWORD count = 0;
    while (ReadFile(readEnd, chunk, sizeof(chunk), &count, nullptr) && count != 0)
        run.Output.append(chunk, count);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    run.ExitStatus = static_cast<int>(status);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    CloseHandle(readEnd);
    return run;
}

} // namespace

#else

bool CanLimitFileSize() {
    return true;
}

namespace {

SToolRun StartTool(const std::vector<std::string>& arguments, uint64_t maxFileSize,
                   const std::string& errorPath) {
    SToolRun run;
    std::vector<std::string> texts{VORSK_EXECUTABLE};
    texts.insert(texts.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& text : texts)
        argv.push_back(text.data());
    argv.push_back(nullptr);
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) {
        ADD_FAILURE() << "cannot make a pipe for " << argv[0];
        return run;
    }
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
    if (error != 0) {
        ::close(pipeEnds[0]);
        ADD_FAILURE() << "cannot start " << argv[0] << ": " << std::strerror(error);
        return run;
    }
    char chunk[4096];
    ssize_t count = 0;
    while ((count = ::read(pipeEnds[0], chunk, sizeof(chunk))) > 0 || (count < 0 && errno == EINTR))
        run.Output.append(chunk, count > 0 ? static_cast<size_t>(count) : 0);
    ::close(pipeEnds[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    run.ExitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

} // namespace

#endif

SToolRun RunTool(const std::vector<std::string>& arguments, uint64_t maxFileSize) {
    std::vector<std::string> all;
    if (const char* jobs = std::getenv("VORSK_TEST_JOBS"))
        all = {"--jobs", jobs};
    all.insert(all.end(), arguments.begin(), arguments.end());
    const CTempDirectory errorDirectory;
    SToolRun run = StartTool(all, maxFileSize, errorDirectory.Join("stderr"));
    static const std::regex elapsed("; [0-9]+\\.[0-9]{2} s\n");
    run.Error = std::regex_replace(ReadTestFile(errorDirectory.Join("stderr")), elapsed, "; T s\n");
    return run;
}

CTreeSnapshot SnapshotTree(const std::string& root) {
    CTreeSnapshot snapshot;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(root, error);
         it != std::filesystem::recursive_directory_iterator(); ++it) {
        const std::string relative = std::filesystem::relative(it->path(), root).generic_string();
        if (it->is_directory())
            snapshot[relative + "/"] = "";
        else
            snapshot[relative] = ReadTestFile(it->path().string());
    }
    return snapshot;
}
