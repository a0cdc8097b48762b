// The program's entry point.
#include "app/CommandLine.h"
#include "app/Extraction.h"
#include "base/Console.h"
#include "base/Platform.h"

int main(int argc, char** argv) {
    InitializeConsole();
    // Every mounted archive keeps its file open for the whole run.
    Os::RaiseOpenFileLimit();
    const int status = RunCommandLine(argc, argv, &ExtractResources);
    FlushConsole();
    return status;
}
