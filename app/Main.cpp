// The program's entry point.
//
// Global state that remains, all of it about the process as a whole rather than about a run (a run's
// archives, options, counts and writers are objects that the run owns and passes on):
// - base/Console: the console lock, where messages go (standard output or standard error), the length of
//   the status line drawn on standard error, and whether standard output failed (with its error code); the
//   C library's standard streams themselves.
// - base/Memory: the out-of-memory stop's hook and its "stopping" flag, and the allocation fault hook of the
//   tests.
// - base/Platform: the temporary files that an interruption removes, which a signal handler can only reach
//   through a global.
// - app/WriterPool: the running pool that the out-of-memory stop reports to.
// - base/StringBuffer: the shared empty text of buffers without storage (never written).
#include "app/CommandLine.h"
#include "app/Extraction.h"
#include "base/Console.h"
#include "base/Platform.h"
#include "base/StringBuffer.h"

int main(int argc, char** argv) {
    InitializeConsole();
    // Every mounted archive keeps its file open for the whole run.
    Os::RaiseOpenFileLimit();
    // Beyond a file size limit a write fails and is reported like a full disk.
    Os::IgnoreFileSizeLimitSignal();
    const int status = RunCommandLine(argc, argv, &ExtractResources);
    FlushConsole();
    // Output that did not arrive makes the run fail whatever it did besides, as a full disk does.
    if (HasOutputFailed()) {
        CStringBufferA reason;
        Os::DescribeError(GetOutputErrorCode(), reason);
        CStringBufferA line;
        line.Format("VorskExtract: cannot write standard output: %s.\n", reason.GetData());
        PrintError(line.GetData());
        return 2;
    }
    return status;
}
