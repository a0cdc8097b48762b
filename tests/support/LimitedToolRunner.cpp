// Running the tool under a file size limit: fork, limit, default SIGXFSZ, exec, read the pipe.
#include "support/LimitedToolRunner.h"

#ifndef VORSK_EXECUTABLE
#error "VORSK_EXECUTABLE must name the built tool"
#endif

#ifndef _WIN32
#include <cerrno>
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#ifdef _WIN32

bool CanLimitFileSize() {
    return false;
}

SToolRun RunToolWithFileSizeLimit(const std::vector<std::string>&, uint64_t) {
    return SToolRun();
}

#else

bool CanLimitFileSize() {
    return true;
}

SToolRun RunToolWithFileSizeLimit(const std::vector<std::string>& arguments, uint64_t maxFileSize) {
    SToolRun run;
    // Everything the child needs is prepared before the fork: after it, only async-signal-safe calls.
    std::vector<std::string> texts{VORSK_EXECUTABLE};
    texts.insert(texts.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& text : texts)
        argv.push_back(text.data());
    argv.push_back(nullptr);
    struct rlimit limit;
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0)
        return run;
    limit.rlim_cur = static_cast<rlim_t>(maxFileSize);

    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0)
        return run;
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
        return run;
    }
    if (child == 0) {
        ::close(pipeEnds[0]);
        if (::dup2(pipeEnds[1], STDOUT_FILENO) < 0 || ::setrlimit(RLIMIT_FSIZE, &limit) != 0 ||
            ::signal(SIGXFSZ, SIG_DFL) == SIG_ERR)
            ::_exit(126);
        ::close(pipeEnds[1]);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(pipeEnds[1]);
    char chunk[4096];
    for (;;) {
        const ssize_t count = ::read(pipeEnds[0], chunk, sizeof(chunk));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        run.Output.append(chunk, static_cast<size_t>(count));
    }
    ::close(pipeEnds[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            return run;
    }
    run.ExitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

#endif
