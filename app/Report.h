// What a run did: its counts, the summary line and the progress line on standard error.
#pragma once

#include "base/StringBuffer.h"

#include <chrono>
#include <cstdint>

/// The counts of one run, each resource of each loaded header library in exactly one of the resource
/// counts.
struct CRunCounts {
    /// Resource files written, and the bytes written to them (entry headers included). A listing counts the
    /// resources it would write, a test run those it read in full; the labels say which.
    uint64_t Written = 0;
    uint64_t WrittenBytes = 0;
    /// Resource files that already existed with the right size and were left alone.
    uint64_t KeptExisting = 0;
    /// Resources whose container does not admit the locale.
    uint64_t SkippedByLocale = 0;
    /// Resources whose id an earlier resource, container or external resource had named.
    uint64_t AlreadyNamed = 0;
    /// Resources that the archives cannot give: no container, no entry, a span or size out of range.
    uint64_t Unavailable = 0;
    /// Resources that the include and exclude patterns left out.
    uint64_t FilteredOut = 0;
    uint64_t FailedReads = 0;
    uint64_t FailedWrites = 0;
    uint64_t LibrariesLoaded = 0;
    uint64_t LibrariesFailed = 0;
    double ElapsedSeconds = 0;
    /// The word for Written in the summary line, and the keys of the two counts in the JSON summary.
    const char* WrittenLabel = "written";
    const char* WrittenKey = "written";
    const char* WrittenBytesKey = "written_bytes";
};

/// Appends the summary line, ended by LF, for example "Summary: 5 written (3,120 bytes), 0 kept, 2 by
/// locale, 1 already named, 0 unavailable, 0 filtered, 0 failed reads, 0 failed writes; 2 libraries
/// loaded, 1 failed; 0.01 s".
void AppendSummaryLine(CStringBufferA& text, const CRunCounts& counts);

/// The counts of a run with its clock and its progress line. The progress line is drawn on standard error
/// only when it is a terminal and the run is not quiet, redrawn in place at most ten times a second; the
/// run's messages erase it and the next redraw brings it back. Owns the text of the lines it prints.
class CRunReport {
public:
    /// Starts the clock.
    explicit CRunReport(bool quiet);

    CRunCounts Counts;
    /// The number of header libraries the run will process, shown in the progress line.
    uint64_t LibrariesTotal = 0;

    /// Redraws the progress line if it is shown and a tenth of a second has passed since it was drawn.
    /// Cheap enough to call once per resource.
    void Tick();
    /// Removes the progress line, stores the elapsed time in Counts and, unless quiet, prints the summary
    /// line on standard error.
    void Finish();

private:
    using CClock = std::chrono::steady_clock;

    double GetElapsedSeconds(CClock::time_point now) const;

    bool m_Quiet;
    bool m_ShowProgress;
    CClock::time_point m_Start;
    CClock::time_point m_LastDrawn;
    CStringBufferA m_Line;
};
