// Argument rules of the entry point: what is handed to the run, what is printed, the exit status.
#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The options of the last run, in short: source|output|locale|mode flags verbosity|jobs|filter's answer.
std::string g_Recorded;

EExtractionOutcome RecordRun(const CRunOptions& options) {
    g_Recorded = std::string(options.Source) + "|" + (options.Output != nullptr ? options.Output : "null") +
                 "|" + options.Locale + "|" + std::to_string(static_cast<int>(options.Mode)) +
                 (options.Json ? "j" : "") + (options.KeepGoing ? "k" : "") +
                 (options.SkipExisting ? "s" : "") + std::to_string(static_cast<int>(options.Verbosity)) +
                 "|" + std::to_string(options.Jobs) + "|" +
                 (options.Filter.IsTaken("a/b.txt", 7) ? "taken" : "left");
    return EExtractionOutcome::Clean;
}

const std::string UsageText =
    "VorskExtract - extracts the resources of a game's content directory\r\n"
    "Usage: VorskExtract.exe [options] <source directory> <output directory>\r\n"
    "Options:\r\n"
    "  -locale <locale> - Change the locale of language specific files, defaults to \"en\".\r\n";

struct SRun {
    int Status;
    std::string Printed, Errors;
};

SRun RunTool(std::vector<const char*> arguments) {
    g_Recorded.clear();
    arguments.insert(arguments.begin(), "VorskExtract");
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const int status = RunCommandLine(static_cast<int>(arguments.size()), arguments.data(), &RecordRun);
    fflush(stdout);
    std::string errors = ::testing::internal::GetCapturedStderr();
    return {status, ::testing::internal::GetCapturedStdout(), errors};
}

} // namespace

TEST(CommandLineTest, ArgumentRules) {
    struct SCase {
        std::vector<const char*> Arguments;
        int Status;
        std::string Printed, Errors, Recorded;
    };
    const SCase cases[] = {
        {{}, 0, UsageText, "", ""},
        {{"-locale", "de", "src"}, 0, UsageText, "", ""},
        {{"src", "out"}, 0, "", "", "src|out|en|01|0|taken"},
        {{"-LOCALE", "de", "src", "out", "extra"}, 0, "", "", "src|out|de|01|0|taken"},
        // Only the first argument after the "--" options is ever an option; later ones are directory names.
        {{"src", "-locale", "de", "out"}, 0, "", "", "src|-locale|en|01|0|taken"},
        {{"-locale", "de", "-x", "OUT"}, 0, "", "", "-x|OUT|de|01|0|taken"},
        {{"-x", "out"}, 2, "Unrecognized option: -x\r\n", "", ""},
        {{"--", "-x", "out"}, 2, "Unrecognized option: -x\r\n", "", ""},
        {{"--quiet", "--", "--src", "out"}, 2, "Unrecognized option: --src\r\n", "", ""},
        {{"--version", "--x"}, 0, "VorskExtract 1.0.0\n", "", ""},
        {{"--list", "src"}, 0, "", "", "src|null|en|11|0|taken"},
        {{"--locales", "-locale", "fr", "src"}, 0, "", "", "src|null|fr|21|0|taken"},
        {{"--test", "-locale"}, 0, UsageText, "", ""},
        {{"--list", "s", "o"}, 2, "", "Option --list takes only the source directory, not also \"o\".\n", ""},
        {{"--list", "--json", "--keep-going", "--skip-existing", "--verbose", "--jobs", "32", "s"}, 0, "", "",
         "s|null|en|1jks2|32|taken"},
        {{"--verbose", "--quiet", "--jobs", "1", "src", "out"}, 0, "", "", "src|out|en|00|1|taken"},
        {{"--include", "z*", "--include", "A/*", "src", "out"}, 0, "", "", "src|out|en|01|0|taken"},
        {{"--include", "*", "--exclude", "*B*", "src", "out"}, 0, "", "", "src|out|en|01|0|left"},
        {{"--json", "src", "out"}, 2, "", "Option --json needs --list.\n", ""},
        {{"--list", "--test", "src"}, 2, "", "Options --list and --test cannot be used together.\n", ""},
        {{"--jobs", "x", "src", "out"}, 2, "", "Option --jobs takes a count from 1 to 32, not \"x\".\n", ""},
        {{"--jobs", "33", "s", "o"}, 2, "", "Option --jobs takes a count from 1 to 32, not \"33\".\n", ""},
        {{"--jobs", "0", "src", "out"}, 2, "", "Option --jobs takes a count from 1 to 32, not \"0\".\n", ""},
        {{"--include"}, 2, "", "Option --include needs a value <pattern>.\n", ""},
    };
    for (const SCase& c : cases) {
        std::string line;
        for (const char* argument : c.Arguments)
            line += std::string(argument) + " ";
        SCOPED_TRACE(line);
        const SRun run = RunTool(c.Arguments);
        EXPECT_EQ(run.Status, c.Status);
        EXPECT_EQ(run.Printed, c.Printed);
        EXPECT_EQ(run.Errors, c.Errors);
        EXPECT_EQ(g_Recorded, c.Recorded);
    }
    const SRun help = RunTool({"--help", "src", "out"});
    EXPECT_EQ(help.Status, 0);
    EXPECT_EQ(help.Printed.substr(0, UsageText.size()), UsageText);
    EXPECT_NE(help.Printed.find("  --jobs <count> - "), std::string::npos);
}
