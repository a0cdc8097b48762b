// The command line: the "--" options, the argument rules, the usage text and the exit status.
#pragma once

#include "app/Extraction.h"
#include "app/Options.h"

/// The run to start once the arguments are accepted; the tool passes ExtractResources, tests a recorder.
using ExtractFunction = EExtractionOutcome (*)(const CRunOptions& options);

/// Reads the "--" options at the front of the argc arguments (argv[0] is the program's name), up to the
/// first argument that does not begin with "--" or a lone "--", which is dropped. The rest follows the
/// tool's original rules: an optional "-locale <locale>" (default "en"), the source directory and, when
/// extracting, the output directory; later arguments are ignored, except that the modes that write nothing
/// accept no output directory. Prints the usage text, the help or the version, rejects a bad command line,
/// or runs extract with the options, which borrow their texts from argv. Returns the exit status: 0 after
/// the usage text, the help or the version, 2 after an unrecognised option ("Unrecognized option" on
/// standard output) or a bad command line (one line on standard error), otherwise the run's outcome (0
/// clean, 1 with failures, 2 aborted).
int RunCommandLine(int argc, const char* const* argv, ExtractFunction extract);
