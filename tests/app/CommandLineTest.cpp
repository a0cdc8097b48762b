// Argument rules of the entry point: what is handed to the extraction, what is printed, the exit status.
#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct SRecordedCall {
    int Calls = 0;
    std::string Source;
    std::string Output;
    std::string Locale;
};

SRecordedCall g_Recorded;
EExtractionOutcome g_Outcome = EExtractionOutcome::Clean;

EExtractionOutcome RecordExtraction(const char* source, const char* output, const char* locale) {
    ++g_Recorded.Calls;
    g_Recorded.Source = source;
    g_Recorded.Output = output;
    g_Recorded.Locale = locale;
    return g_Outcome;
}

const std::string UsageText =
    "VorskExtract - extracts the resources of a game's content directory\r\n"
    "Usage: VorskExtract.exe [options] <source directory> <output directory>\r\n"
    "Options:\r\n"
    "  -locale <locale> - Change the locale of language specific files, defaults to \"en\".\r\n";

struct SRun {
    int Status;
    std::string Printed;
};

SRun RunTool(std::vector<const char*> arguments) {
    g_Recorded = SRecordedCall();
    arguments.insert(arguments.begin(), "VorskExtract");
    ::testing::internal::CaptureStdout();
    const int status = RunCommandLine(static_cast<int>(arguments.size()), arguments.data(), &RecordExtraction);
    fflush(stdout);
    return {status, ::testing::internal::GetCapturedStdout()};
}

} // namespace

TEST(CommandLineTest, TooFewArgumentsPrintUsage) {
    for (const auto& arguments : {std::vector<const char*>{}, std::vector<const char*>{"src"},
                                  std::vector<const char*>{"-locale", "de", "src"}}) {
        SCOPED_TRACE(arguments.size());
        const SRun run = RunTool(arguments);
        EXPECT_EQ(run.Status, 0);
        EXPECT_EQ(run.Printed, UsageText);
        EXPECT_EQ(g_Recorded.Calls, 0);
    }
}

TEST(CommandLineTest, PositionalArgumentsAndLocale) {
    struct SCase {
        std::vector<const char*> Arguments;
        const char* Source;
        const char* Output;
        const char* Locale;
    };
    const SCase cases[] = {
        {{"src", "out"}, "src", "out", "en"},
        {{"-LOCALE", "de", "src", "out"}, "src", "out", "de"},
        {{"-locale", "de", "src", "out", "extra"}, "src", "out", "de"},
        // Only the first argument is ever an option; a later "-locale" is a directory name.
        {{"src", "-locale", "de", "out"}, "src", "-locale", "en"},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.Arguments[0]);
        const SRun run = RunTool(c.Arguments);
        EXPECT_EQ(run.Status, 0);
        EXPECT_EQ(run.Printed, "");
        ASSERT_EQ(g_Recorded.Calls, 1);
        EXPECT_EQ(g_Recorded.Source, c.Source);
        EXPECT_EQ(g_Recorded.Output, c.Output);
        EXPECT_EQ(g_Recorded.Locale, c.Locale);
    }
}

TEST(CommandLineTest, UnrecognizedOptionExitsWithTwo) {
    const SRun run = RunTool({"-x", "out"});
    EXPECT_EQ(run.Status, 2);
    EXPECT_EQ(run.Printed, "Unrecognized option: -x\r\n");
    EXPECT_EQ(g_Recorded.Calls, 0);
}

TEST(CommandLineTest, ExtractionOutcomeBecomesExitStatus) {
    for (const auto outcome : {EExtractionOutcome::Clean, EExtractionOutcome::Failures, EExtractionOutcome::Aborted}) {
        g_Outcome = outcome;
        EXPECT_EQ(RunTool({"src", "out"}).Status, static_cast<int>(outcome));
    }
    g_Outcome = EExtractionOutcome::Clean;
}
