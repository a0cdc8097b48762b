// The header library phase of an extraction: every "*.pc_headerlib" of the source, then the index files.
#pragma once

#include "app/Extraction.h"

class CArchiveManager;
class CFileList;

/// Lists the header libraries of source into files and takes them in listing order: each is loaded, its
/// output sub-directory created, its containers and external resources recorded, and every resource that
/// locale admits and no earlier step has named is read from the archives mounted in manager and written
/// below output. Then the four index files are written. Every outcome is printed as it happens.
/// Returns Aborted when source cannot be listed (nothing is written), Failures when anything printed a
/// failure, Clean otherwise.
EExtractionOutcome ProcessHeaderLibraries(CFileList& files, CArchiveManager& manager, const char* source,
                                          const char* output, const char* locale);
