// The program's entry point.
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
