// ExtractResources: one whole extraction run, from mounting the archives to writing the index files.
#pragma once

#include "app/Options.h"

/// How a run ended. The entry point turns it into the exit status.
enum class EExtractionOutcome {
    /// Every step succeeded (exit status 0).
    Clean = 0,
    /// The run reached its end but printed at least one failure (exit status 1).
    Failures = 1,
    /// The run stopped early: the source could not be listed or an archive failed to mount (exit status 2).
    Aborted = 2,
};

/// Mounts every "*.archive" of the source directory into an archive manager of the run's own, then
/// extracts the resources that the header libraries of the source describe and the locale admits into the
/// output directory, and writes the index files. Every outcome is printed as it happens.
EExtractionOutcome ExtractResources(const CRunOptions& options);
