// The header library phase of a run: every "*.pc_headerlib" of the source, then the index files.
#pragma once

#include "app/Extraction.h"

class CArchiveManager;
class CFileList;
class CResourceHandler;
class CRunReport;
class CWriterPool;

/// Lists the header libraries of the source into files and takes them in listing order: each is loaded and
/// its containers and external resources recorded; then each resource goes through the one admission
/// decision (already named, container, locale, entry, archive entry, span, size) and is taken as the mode
/// asks: written below the output directory through pool (the library's sub-directory created first),
/// listed on standard output, read in full, or only counted for --locales. An extraction then writes the
/// four index files. Every message goes through pool, so that it stands in the run's order; the counts go
/// to report. Returns Aborted when the source cannot be listed (nothing is written), Failures when anything
/// printed a failure, Clean otherwise.
/// A handler given by the caller (--compare, --reimport) takes the resources instead of the mode's own.
EExtractionOutcome ProcessHeaderLibraries(CFileList& files, CArchiveManager& manager,
                                          const CRunOptions& options, CRunReport& report, CWriterPool& pool,
                                          CResourceHandler* handler = nullptr);
