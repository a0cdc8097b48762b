// The program's entry point.
#include "app/CommandLine.h"
#include "app/Extraction.h"
#include "base/Console.h"
#include "base/Platform.h"

int main(int argc, char** argv) {
    InitializeConsole();
    // Every mounted archive keeps its file open for the whole run.
    Os::RaiseOpenFileLimit();
    // Beyond a file size limit a write fails and is reported like a full disk.
    Os::IgnoreFileSizeLimitSignal();
    const int status = RunCommandLine(argc, argv, &ExtractResources);
    FlushConsole();
    return status;
}
