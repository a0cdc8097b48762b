// Argument rules and the usage text.
#include "app/CommandLine.h"

#include "base/ByteOrder.h"
#include "base/Console.h"

namespace {

void PrintUsage() {
    Print("VorskExtract - extracts the resources of a game's content directory\r\n");
    Print("Usage: VorskExtract.exe [options] <source directory> <output directory>\r\n");
    Print("Options:\r\n");
    Print("  -locale <locale> - Change the locale of language specific files, defaults to \"en\".\r\n");
}

} // namespace

int RunCommandLine(int argc, const char* const* argv, ExtractFunction extract) {
    if (argc < 3) {
        PrintUsage();
        return 0;
    }
    const char* locale = "en";
    int firstPositional = 1;
    if (argv[1][0] == '-') {
        if (!EqualsIgnoringCase(argv[1], "-locale")) {
            Print("Unrecognized option: %s\r\n", argv[1]);
            return 2;
        }
        locale = argv[2];
        firstPositional = 3;
    }
    if (argc - firstPositional < 2) {
        PrintUsage();
        return 0;
    }
    return static_cast<int>(extract(argv[firstPositional], argv[firstPositional + 1], locale));
}
