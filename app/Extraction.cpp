// The extraction run: the mounting phase, then the header library phase.
#include "app/Extraction.h"

#include "app/Comparison.h"
#include "app/CopyAhead.h"
#include "app/HeaderLibraryPhase.h"
#include "app/Listing.h"
#include "app/Reimport.h"
#include "app/Report.h"
#include "app/WriterPool.h"
#include "archive/ArchiveManager.h"
#include "base/Console.h"
#include "base/FileList.h"

#include <algorithm>
#include <thread>

namespace {

// Lists every "*.archive" of source into files; false, with the failure printed, when source cannot be
// listed.
bool ListArchives(CFileList& files, const CRunOptions& options) {
    if (files.FindFiles(options.Source, "*.archive"))
        return true;
    // The message names header libraries although the scan was for archives.
    Print("No pc_headerlib files found in %s\r\n", options.Source.GetData());
    return false;
}

// Mounts the listed archives into manager, printing each archive's outcome on its own line. Aborted, with
// the failure printed, when, unless the run keeps going, an archive does not mount; the archives mounted
// before stay mounted. A run that keeps going leaves the failed archive out (the manager drops the archives
// that refer to it) and ends with Failures.
EExtractionOutcome MountListedArchives(CFileList& files, CArchiveManager& manager,
                                       const CRunOptions& options) {
    Print("Mounting archives...\n");
    EExtractionOutcome outcome = EExtractionOutcome::Clean;
    while (const char* path = files.NextPath()) {
        if (HasOutputFailed())
            return EExtractionOutcome::Aborted;
        Print("%s...", path);
        if (manager.Mount(path) != nullptr) {
            Print(" OK\n");
            continue;
        }
        Print(" failed\n");
        if (!options.KeepGoing) {
            Print("Aborting extraction.\n");
            return EExtractionOutcome::Aborted;
        }
        outcome = EExtractionOutcome::Failures;
    }
    return outcome;
}

// The workers of an extraction, a comparison or a reimport: as many as asked, or one per processor (at most
// the pool's limit). The modes that neither write nor compare resource files need none.
uint32_t GetJobCount(const CRunOptions& options) {
    if (options.Mode != ERunMode::Extract && options.Mode != ERunMode::Compare &&
        options.Mode != ERunMode::Reimport)
        return 1;
    if (options.Jobs != 0)
        return options.Jobs;
    const uint32_t processors = std::thread::hardware_concurrency();
    return processors == 0 ? 1 : std::min(processors, CRunOptions::MaxJobs);
}

// --quick: an extraction writes the name map after every resource file, so a tree file modified before the
// name map and still of the size the run expects is taken as the one the extraction wrote. A tree without a
// readable name map gets every file compared.
void TurnOnQuickCheck(CStringViewA tree, CWriterPool& pool) {
    CStringBufferA path;
    path.Append(tree);
    path.Append("\\NameMap.txt");
    Os::CFileStamp nameMap;
    if (Os::GetRegularFileStamp(path.GetView(), nameMap)) {
        pool.SetQuickCheck(nameMap.ModifiedTime);
        return;
    }
    CStringBufferA line;
    line.AppendFormat("Option --quick: cannot read the time of \"%s\"; every file is compared.\n",
                      path.GetData());
    PrintError(line.GetView());
}

// --compare and --reimport: the run's decisions, then the comparison's or the reimport's own ending. Their
// records own standard output; the run's messages and the summary go to standard error. The comparison
// reports differences by its status (1) even where the run printed no failure; a failed header library
// changes nothing that an extraction of the source would write, so it does not count.
EExtractionOutcome CompareOrReimport(const CRunOptions& options) {
    SendMessagesToError();
    CRunReport report(true);
    CFileList files;
    CArchiveManager manager;
    // The pool reads from the manager's archives and hands outcomes to the comparison or the reimport until
    // it finishes.
    CWriterPool pool(GetJobCount(options), EWriteFailureReasons::Silent);
    if (options.Quick)
        TurnOnQuickCheck(options.Tree, pool);
    CReimport reimport(options.Source, options.Tree, options.Destination,
                       options.Verbosity == EVerbosity::Verbose, pool);
    const bool reimports = options.Mode == ERunMode::Reimport;
    if (reimports && !reimport.CheckDestination())
        return EExtractionOutcome::Aborted;
    if (!ListArchives(files, options))
        return EExtractionOutcome::Aborted;
    // The archive files, the bulk of what a reimport writes, are copied while they are mounted and the tree
    // is compared; the copy of one that is not mounted after all is never taken and goes with copies.
    CCopyAhead copies;
    if (reimports) {
        CArray<CInlineStringA> archives;
        archives.Reserve(files.GetCount());
        for (uint64_t position = 0; position < files.GetCount(); ++position)
            archives.Append(CInlineStringA(files.GetPath(position)));
        (void)copies.Start(options.Destination, archives);
    }
    const EExtractionOutcome mounted = MountListedArchives(files, manager, options);
    if (mounted == EExtractionOutcome::Aborted)
        return mounted;
    CTreeComparison comparison(options.Tree, options.Json, pool);
    CResourceHandler& handler = reimports ? static_cast<CResourceHandler&>(reimport) : comparison;
    const EExtractionOutcome phase = ProcessHeaderLibraries(files, manager, options, report, pool, &handler);
    // Every queued comparison reaches its handler now, even when the phase ended early, and never later.
    pool.Finish();
    // A run whose standard output failed writes no destination; the entry point says why it ended.
    if (phase == EExtractionOutcome::Aborted || HasOutputFailed())
        return EExtractionOutcome::Aborted;
    // An archive left out by --keep-going is a failure whatever the comparison or the reimport found.
    const EExtractionOutcome result = reimports ? reimport.WriteDestination(manager, files, copies)
                                      : comparison.GetCounts().IsIdentical() ? EExtractionOutcome::Clean
                                                                             : EExtractionOutcome::Failures;
    report.Finish();
    CStringBufferA summary;
    if (reimports)
        reimport.AppendSummary(summary, report.Counts.ElapsedSeconds);
    else
        comparison.AppendSummary(summary, report.Counts.ElapsedSeconds);
    if (options.Json && !reimports)
        WriteOutput(summary.GetView());
    else if (options.Verbosity != EVerbosity::Quiet)
        PrintError(summary.GetData());
    return std::max(mounted, result);
}

} // namespace

EExtractionOutcome ExtractResources(const CRunOptions& options) {
    if (options.Mode == ERunMode::Compare || options.Mode == ERunMode::Reimport)
        return CompareOrReimport(options);
    // The listings own standard output; the run's messages go to standard error beside them.
    if (options.Mode == ERunMode::List || options.Mode == ERunMode::Locales)
        SendMessagesToError();
    CRunReport report(options.Verbosity == EVerbosity::Quiet);
    if (options.Mode == ERunMode::List) {
        report.Counts.WrittenLabel = "to extract";
        report.Counts.WrittenKey = "to_extract";
        report.Counts.WrittenBytesKey = "to_extract_bytes";
    } else if (options.Mode == ERunMode::Test) {
        report.Counts.WrittenLabel = "read";
        report.Counts.WrittenKey = "read";
        report.Counts.WrittenBytesKey = "read_bytes";
    }

    // The listing is reused by the header library phase for its own scan.
    CFileList files;
    // The run's archives stay mounted, their files open, until the run ends.
    CArchiveManager manager;
    EExtractionOutcome outcome = ListArchives(files, options) ? MountListedArchives(files, manager, options)
                                                              : EExtractionOutcome::Aborted;
    if (outcome != EExtractionOutcome::Aborted) {
        CWriterPool pool(GetJobCount(options), options.Verbosity == EVerbosity::Verbose
                                                   ? EWriteFailureReasons::Print
                                                   : EWriteFailureReasons::Silent);
        const EExtractionOutcome phase = ProcessHeaderLibraries(files, manager, options, report, pool);
        if (phase != EExtractionOutcome::Clean)
            outcome = phase;
    }
    // A run whose standard output failed ends without its summary; the entry point says why.
    if (HasOutputFailed())
        return EExtractionOutcome::Aborted;
    report.Finish();
    if (options.Mode == ERunMode::List && options.Json) {
        CStringBufferA summary;
        AppendSummaryJson(summary, report.Counts);
        WriteOutput(summary.GetView());
    }
    return outcome;
}
