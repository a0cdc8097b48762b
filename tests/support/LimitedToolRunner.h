// Running the built VorskExtract in a child process whose files may not grow beyond a given size, to see
// how the tool meets a disk that fills up while it writes.
#pragma once

#include "support/ToolRunner.h"

#include <cstdint>
#include <string>
#include <vector>

/// False where the platform has no per-process limit on file sizes; tests that need one skip there.
bool CanLimitFileSize();

/// Runs the tool like RunTool, in a child whose every file may grow to maxFileSize bytes at most: a write
/// that would pass the limit writes what fits and the next one fails. SIGXFSZ has its default action in the
/// child (ending the process), whatever the caller set, so the tool must handle it itself. Standard output is
/// read through a pipe, which the limit does not touch. Where CanLimitFileSize is false, returns an exit
/// status of -1 and no output.
SToolRun RunToolWithFileSizeLimit(const std::vector<std::string>& arguments, uint64_t maxFileSize);
