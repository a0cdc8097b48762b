// Argument rules, the option list and the usage text.
#include "app/CommandLine.h"

#include "app/Version.h"
#include "base/AsciiCase.h"
#include "base/Console.h"
#include "base/StringBuffer.h"

#include <cstring>

namespace {

// Going on with the command line after an option; any other result of an option is the exit status.
constexpr int Continue = -1;

// What one option does to the run's options: Continue, or the exit status that ends the command line.
using ApplyFunction = int (*)(CRunOptions& options, const char* value);

struct COptionRow {
    const char* Name;
    /// Null for an option without a value.
    const char* Value;
    const char* Description;
    ApplyFunction Apply;
};

void PrintUsage() {
    Print("VorskExtract - extracts the resources of a game's content directory\r\n");
    Print("Usage: VorskExtract.exe [options] <source directory> <output directory>\r\n");
    Print("Options:\r\n");
    Print("  -locale <locale> - Change the locale of language specific files, defaults to \"en\".\r\n");
}

void PrintHelp();

// Prints one line on standard error about a bad command line; returns the exit status for it.
int Reject(const char* format, const char* first, const char* second = "") {
    TStringBufferA<260> line;
    line.Format(format, first, second);
    PrintError(line.GetData());
    return 2;
}

// A count from 1 to the most jobs written as the usage shows it: one or two decimal digits, the first not
// 0. Anything else, leading zeros included, is refused with false.
bool ParseJobs(const char* text, uint32_t& jobs) {
    if (*text < '1' || *text > '9')
        return false;
    uint32_t value = 0;
    for (uint32_t digits = 0; *text >= '0' && *text <= '9' && digits < 2; ++text, ++digits)
        value = value * 10 + static_cast<uint32_t>(*text - '0');
    if (*text != '\0' || value > CRunOptions::MaxJobs)
        return false;
    jobs = value;
    return true;
}

const char* GetModeOption(ERunMode mode) {
    switch (mode) {
    case ERunMode::List:
        return "--list";
    case ERunMode::Locales:
        return "--locales";
    case ERunMode::Test:
        return "--test";
    case ERunMode::Compare:
        return "--compare";
    case ERunMode::Reimport:
        return "--reimport";
    case ERunMode::Extract:
        break;
    }
    return nullptr;
}

// Sets a mode other than extraction; only one such mode may be given.
int SetMode(CRunOptions& options, ERunMode mode) {
    if (options.Mode != ERunMode::Extract && options.Mode != mode)
        return Reject("Options %s and %s cannot be used together.\n", GetModeOption(options.Mode),
                      GetModeOption(mode));
    options.Mode = mode;
    return Continue;
}

// The "--" options in the order the help lists them, each with how it applies.
constexpr COptionRow Options[] = {
    {"--help", nullptr, "Print this text and stop.",
     [](CRunOptions&, const char*) {
         PrintHelp();
         return 0;
     }},
    {"--version", nullptr, "Print the version and stop.",
     [](CRunOptions&, const char*) {
         Print("VorskExtract %s\n", VersionText);
         return 0;
     }},
    {"--list", nullptr,
     "List every resource with what an extraction would do with it; takes only the source directory.",
     [](CRunOptions& options, const char*) { return SetMode(options, ERunMode::List); }},
    {"--json", nullptr, "With --list or --compare: one JSON object per line.",
     [](CRunOptions& options, const char*) {
         options.Json = true;
         return Continue;
     }},
    {"--include", "<pattern>",
     "Only resources whose name matches (\"*\" any run, \"?\" one character); repeatable.",
     [](CRunOptions& options, const char* value) {
         options.Filter.Include(value);
         return Continue;
     }},
    {"--exclude", "<pattern>", "Leave out resources whose name matches; repeatable.",
     [](CRunOptions& options, const char* value) {
         options.Filter.Exclude(value);
         return Continue;
     }},
    {"--locales", nullptr, "List the languages that the containers admit; takes only the source directory.",
     [](CRunOptions& options, const char*) { return SetMode(options, ERunMode::Locales); }},
    {"--test", nullptr, "Read every admitted resource and write nothing; takes only the source directory.",
     [](CRunOptions& options, const char*) { return SetMode(options, ERunMode::Test); }},
    {"--compare", nullptr,
     "Compare the tree an extraction wrote (in place of the output directory) with what it would write now.",
     [](CRunOptions& options, const char*) { return SetMode(options, ERunMode::Compare); }},
    {"--reimport", "<destination>",
     "Write a copy of the source whose extraction gives the edited tree (in place of the output directory).",
     [](CRunOptions& options, const char* value) {
         options.Destination = value;
         return SetMode(options, ERunMode::Reimport);
     }},
    {"--quick", nullptr,
     "With --compare or --reimport: take a tree file of the right size older than the tree's NameMap.txt as "
     "unchanged, unread.",
     [](CRunOptions& options, const char*) {
         options.Quick = true;
         return Continue;
     }},
    {"--keep-going", nullptr, "Leave out an archive that fails to mount instead of stopping.",
     [](CRunOptions& options, const char*) {
         options.KeepGoing = true;
         return Continue;
     }},
    {"--skip-existing", nullptr, "Keep resource files that exist with the right size.",
     [](CRunOptions& options, const char*) {
         options.SkipExisting = true;
         return Continue;
     }},
    {"--quiet", nullptr, "No summary and no progress on standard error.",
     [](CRunOptions& options, const char*) {
         options.Verbosity = EVerbosity::Quiet;
         return Continue;
     }},
    {"--verbose", nullptr, "Also name unavailable resources and the reason for each failure.",
     [](CRunOptions& options, const char*) {
         options.Verbosity = EVerbosity::Verbose;
         return Continue;
     }},
    {"--jobs", "<count>", "Write or compare with this many threads (1 to 32); default: one per processor.",
     [](CRunOptions& options, const char* value) {
         if (!ParseJobs(value, options.Jobs))
             return Reject("Option --jobs takes a count from 1 to 32, not \"%s\".\n", value);
         return Continue;
     }},
};

void PrintHelp() {
    PrintUsage();
    Print("Options that begin with \"--\" come first; a lone \"--\" ends them:\r\n");
    for (const COptionRow& row : Options) {
        Print("  %s%s%s - %s\r\n", row.Name, row.Value != nullptr ? " " : "",
              row.Value != nullptr ? row.Value : "", row.Description);
    }
}

bool BeginsWithTwoDashes(const char* argument) {
    return argument[0] == '-' && argument[1] == '-';
}

const COptionRow* FindOption(const char* argument) {
    for (const COptionRow& row : Options) {
        if (std::strcmp(row.Name, argument) == 0)
            return &row;
    }
    return nullptr;
}

// Applies the "--" options from argv[next] on, leaving next at the first argument after them (a lone "--"
// is dropped). Returns Continue, or the exit status that ends the command line.
int ReadOptions(int argc, const char* const* argv, CRunOptions& options, int& next) {
    while (next < argc && BeginsWithTwoDashes(argv[next])) {
        const char* argument = argv[next++];
        if (argument[2] == '\0')
            break;
        const COptionRow* row = FindOption(argument);
        if (row == nullptr) {
            Print("Unrecognized option: %s\r\n", argument);
            return 2;
        }
        const char* value = nullptr;
        if (row->Value != nullptr) {
            if (next == argc)
                return Reject("Option %s needs a value %s.\n", row->Name, row->Value);
            value = argv[next++];
        }
        const int status = row->Apply(options, value);
        if (status != Continue)
            return status;
    }
    if (options.Json && options.Mode != ERunMode::List && options.Mode != ERunMode::Compare)
        return Reject("Option --json needs --list or --compare.\n", "");
    if (options.Quick && options.Mode != ERunMode::Compare && options.Mode != ERunMode::Reimport)
        return Reject("Option --quick needs --compare or --reimport.\n", "");
    return Continue;
}

// The tool's original rules for what follows the options: an optional "-locale <locale>", the source
// directory and, when extracting, the output directory; --compare and --reimport take the tree in its place,
// and the other modes need the source directory only. Returns Continue when the run can start, otherwise
// the exit status.
int ReadOperands(int argc, const char* const* argv, int next, CRunOptions& options) {
    const bool takesTree = options.Mode == ERunMode::Compare || options.Mode == ERunMode::Reimport;
    const bool writesOutput = options.Mode == ERunMode::Extract;
    const int operandsNeeded = writesOutput || takesTree ? 2 : 1;
    if (argc - next < operandsNeeded) {
        PrintUsage();
        return 0;
    }
    int firstPositional = next;
    if (argv[next][0] == '-') {
        if (!EqualsIgnoringCase(argv[next], "-locale")) {
            Print("Unrecognized option: %s\r\n", argv[next]);
            return 2;
        }
        firstPositional = next + 2;
        if (argc - next >= 2) {
            options.Locale = argv[next + 1];
            options.LocaleGiven = true;
        }
    }
    if (argc - firstPositional < operandsNeeded) {
        PrintUsage();
        return 0;
    }
    options.Source = argv[firstPositional];
    if (!writesOutput && !takesTree && argc - firstPositional > 1) {
        return Reject("Option %s takes only the source directory, not also \"%s\".\n",
                      GetModeOption(options.Mode), argv[firstPositional + 1]);
    }
    if (writesOutput)
        options.Output = argv[firstPositional + 1];
    if (takesTree)
        options.Tree = argv[firstPositional + 1];
    return Continue;
}

} // namespace

int RunCommandLine(int argc, const char* const* argv, ExtractFunction extract) {
    CRunOptions options;
    int next = 1;
    int status = ReadOptions(argc, argv, options, next);
    if (status == Continue)
        status = ReadOperands(argc, argv, next, options);
    return status != Continue ? status : static_cast<int>(extract(options));
}
