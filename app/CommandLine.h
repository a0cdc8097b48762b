// The command line: argument rules, the usage text and the exit status.
#pragma once

#include "app/Extraction.h"

/// The extraction to run once the arguments are accepted; the tool passes ExtractResources, tests a
/// recorder.
using ExtractFunction = EExtractionOutcome (*)(const char* source, const char* output, const char* locale);

/// Applies the argument rules to argc arguments (argv[0] is the program's name): prints the usage text,
/// rejects an unknown option, or runs extract with the source directory, the output directory and the
/// locale ("en" unless "-locale" comes first). Returns the exit status: 0 after the usage text, 2 after an
/// unrecognised option, otherwise the extraction's outcome (0 clean, 1 with failures, 2 aborted).
int RunCommandLine(int argc, const char* const* argv, ExtractFunction extract);
