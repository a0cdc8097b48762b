// Running the built VorskExtract executable, for end-to-end tests.
#pragma once

#include "support/BinaryFile.h"

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

/// What one run of the tool left: its exit status (-1 or 127 when it could not be started) and everything it
/// printed on standard output and on standard error, where the summary's elapsed seconds read "T". Runs
/// compare whole, so that one check shows all three.
struct SToolRun {
    int ExitStatus = -1;
    std::string Output, Error;
    bool operator==(const SToolRun&) const = default;
};
void PrintTo(const SToolRun& run, std::ostream* out);

/// Runs the tool built alongside the tests (VORSK_EXECUTABLE) with the arguments, started directly (no
/// command interpreter) with standard output read through a pipe and standard error kept in a file. When
/// VORSK_TEST_JOBS is set, "--jobs" and its value go in front of the arguments. A maxFileSize other than 0
/// limits every file of the run to that many bytes, as a disk that fills up would (the pipe is not limited);
/// the tool starts with SIGXFSZ at its default action, so the test sees the tool's own handling of it.
/// Windows has no such limit. A timeoutSeconds other than 0 ends a tool still running after that many seconds
/// with SIGALRM (exit status 142), so that a hang fails the test instead of stopping the suite (POSIX only).
SToolRun RunTool(const std::vector<std::string>& arguments, uint64_t maxFileSize = 0,
                 uint32_t timeoutSeconds = 0);
