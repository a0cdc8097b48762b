// Argument rules, the option list and the usage text.
#include "app/CommandLine.h"

#include "app/Version.h"
#include "base/ByteOrder.h"
#include "base/Console.h"
#include "base/StringBuffer.h"

#include <cstring>

namespace {

enum class EOption {
    Help,
    Version,
    List,
    Json,
    Include,
    Exclude,
    Locales,
    Test,
    KeepGoing,
    SkipExisting,
    Quiet,
    Verbose,
    Jobs
};

struct COptionSpelling {
    EOption Option;
    const char* Name;
    /// Null for an option without a value.
    const char* Value;
    const char* Description;
};

constexpr COptionSpelling Options[] = {
    {EOption::Help, "--help", nullptr, "Print this text and stop."},
    {EOption::Version, "--version", nullptr, "Print the version and stop."},
    {EOption::List, "--list", nullptr,
     "List every resource with what an extraction would do with it; takes only the source directory."},
    {EOption::Json, "--json", nullptr, "With --list: one JSON object per line."},
    {EOption::Include, "--include", "<pattern>",
     "Only resources whose name matches (\"*\" any run, \"?\" one character); repeatable."},
    {EOption::Exclude, "--exclude", "<pattern>", "Leave out resources whose name matches; repeatable."},
    {EOption::Locales, "--locales", nullptr,
     "List the languages that the containers admit; takes only the source directory."},
    {EOption::Test, "--test", nullptr,
     "Read every admitted resource and write nothing; takes only the source directory."},
    {EOption::KeepGoing, "--keep-going", nullptr,
     "Leave out an archive that fails to mount instead of stopping."},
    {EOption::SkipExisting, "--skip-existing", nullptr,
     "Keep resource files that exist with the right size."},
    {EOption::Quiet, "--quiet", nullptr, "No summary and no progress on standard error."},
    {EOption::Verbose, "--verbose", nullptr,
     "Also name unavailable resources and the reason for each failure."},
    {EOption::Jobs, "--jobs", "<count>",
     "Write with this many threads (1 to 32); default: one per processor."},
};

bool BeginsWithTwoDashes(const char* argument) {
    return argument[0] == '-' && argument[1] == '-';
}

const COptionSpelling* FindOption(const char* argument) {
    for (const COptionSpelling& spelling : Options) {
        if (std::strcmp(spelling.Name, argument) == 0)
            return &spelling;
    }
    return nullptr;
}

void PrintUsage() {
    Print("VorskExtract - extracts the resources of a game's content directory\r\n");
    Print("Usage: VorskExtract.exe [options] <source directory> <output directory>\r\n");
    Print("Options:\r\n");
    Print("  -locale <locale> - Change the locale of language specific files, defaults to \"en\".\r\n");
}

void PrintHelp() {
    PrintUsage();
    Print("Options that begin with \"--\" come first; a lone \"--\" ends them:\r\n");
    for (const COptionSpelling& spelling : Options) {
        Print("  %s%s%s - %s\r\n", spelling.Name, spelling.Value != nullptr ? " " : "",
              spelling.Value != nullptr ? spelling.Value : "", spelling.Description);
    }
}

// Prints one line on standard error about a bad command line; returns the exit status for it.
int Reject(const char* format, const char* first, const char* second = "") {
    TStringBufferA<260> line;
    line.Format(format, first, second);
    PrintError(line.GetData());
    return 2;
}

// A count of one or two decimal digits from 1 to the most jobs; false for anything else.
bool ParseJobs(const char* text, uint32_t& jobs) {
    uint32_t value = 0;
    uint32_t digits = 0;
    for (; *text >= '0' && *text <= '9' && digits < 3; ++text, ++digits)
        value = value * 10 + static_cast<uint32_t>(*text - '0');
    if (*text != '\0' || digits == 0 || value == 0 || value > CRunOptions::MaxJobs)
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
    case ERunMode::Extract:
        break;
    }
    return nullptr;
}

// Sets a mode that writes nothing; 0 when accepted, otherwise the exit status after the rejection.
int SetMode(CRunOptions& options, ERunMode mode) {
    if (options.Mode != ERunMode::Extract && options.Mode != mode)
        return Reject("Options %s and %s cannot be used together.\n", GetModeOption(options.Mode),
                      GetModeOption(mode));
    options.Mode = mode;
    return 0;
}

// Applies one option whose value, if it takes one, is value. Returns -1 to go on, otherwise the exit status
// that ends the command line here.
int ApplyOption(CRunOptions& options, const COptionSpelling& spelling, const char* value) {
    switch (spelling.Option) {
    case EOption::Help:
        PrintHelp();
        return 0;
    case EOption::Version:
        Print("VorskExtract %s\n", VersionText);
        return 0;
    case EOption::List:
    case EOption::Locales:
    case EOption::Test: {
        const ERunMode mode = spelling.Option == EOption::List      ? ERunMode::List
                              : spelling.Option == EOption::Locales ? ERunMode::Locales
                                                                    : ERunMode::Test;
        const int status = SetMode(options, mode);
        return status != 0 ? status : -1;
    }
    case EOption::Json:
        options.Json = true;
        return -1;
    case EOption::Include:
        options.Filter.Include(value);
        return -1;
    case EOption::Exclude:
        options.Filter.Exclude(value);
        return -1;
    case EOption::KeepGoing:
        options.KeepGoing = true;
        return -1;
    case EOption::SkipExisting:
        options.SkipExisting = true;
        return -1;
    case EOption::Quiet:
        options.Verbosity = EVerbosity::Quiet;
        return -1;
    case EOption::Verbose:
        options.Verbosity = EVerbosity::Verbose;
        return -1;
    case EOption::Jobs:
        if (!ParseJobs(value, options.Jobs))
            return Reject("Option --jobs takes a count from 1 to 32, not \"%s\".\n", value);
        return -1;
    }
    return -1;
}

} // namespace

int RunCommandLine(int argc, const char* const* argv, ExtractFunction extract) {
    CRunOptions options;
    int next = 1;
    while (next < argc && BeginsWithTwoDashes(argv[next])) {
        const char* argument = argv[next++];
        if (argument[2] == '\0')
            break;
        const COptionSpelling* spelling = FindOption(argument);
        if (spelling == nullptr) {
            Print("Unrecognized option: %s\r\n", argument);
            return 2;
        }
        const char* value = nullptr;
        if (spelling->Value != nullptr) {
            if (next == argc)
                return Reject("Option %s needs a value %s.\n", spelling->Name, spelling->Value);
            value = argv[next++];
        }
        const int status = ApplyOption(options, *spelling, value);
        if (status >= 0)
            return status;
    }
    if (options.Json && options.Mode != ERunMode::List)
        return Reject("Option --json needs --list.\n", "");

    // From here on the tool's original rules apply to what follows the options; the modes that write
    // nothing need the source directory only.
    const bool writesOutput = options.Mode == ERunMode::Extract;
    const int operandsNeeded = writesOutput ? 2 : 1;
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
    if (!writesOutput && argc - firstPositional > 1) {
        return Reject("Option %s takes only the source directory, not also \"%s\".\n",
                      GetModeOption(options.Mode), argv[firstPositional + 1]);
    }
    if (writesOutput)
        options.Output = argv[firstPositional + 1];
    return static_cast<int>(extract(options));
}
