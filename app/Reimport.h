// --reimport: a new content directory whose extraction gives an edited tree.
#pragma once

#include "app/Extraction.h"
#include "app/ReimportRecords.h"
#include "app/ResourceHandler.h"
#include "app/TreeFiles.h"
#include "app/WriterPool.h"
#include "base/StringBuffer.h"
#include "resid/ResourceId.h"

#include <cstdint>

class CArchiveManager;
class CCopyAhead;
class CDestinationWriter;
class CFileList;

/// Reimports the edited resource files of a tree into a copy of the source directory. As the run's handler
/// it records the containers of each header library it loads and has the pool compare every admitted
/// resource with its tree file while its bytes are at hand. WriteDestination then plans each changed
/// container (refusing those whose files cannot be put back exactly) and has the destination written.
///
/// Keeps, for the whole run, one record per container and entry of every loaded library and per taken
/// resource, with copies of the texts it prints. Never holds a file's bytes whole: every copy and comparison
/// is streamed in blocks. Borrows the options' texts.
class CReimport : public CResourceHandler, private CComparisonSink {
public:
    CReimport(CStringViewA source, CStringViewA tree, CStringViewA destination, bool verbose,
              CWriterPool& pool);

    /// Checks, before anything is read, that the destination is missing or an empty directory and is neither
    /// the source nor inside the source or the tree. False after printing why.
    [[nodiscard]] bool CheckDestination() const;

    /// Records the library's file and its containers with their entries.
    bool BeginLibrary(const CLibraryScope& library) override;
    /// Records an admitted resource and queues the comparison of its tree file with its content in the
    /// archives on the pool; other statuses are left alone. False when the content could not be read from
    /// the archives, after "Failed to read" is printed.
    bool TakeResource(const CResourceItem& item) override;
    /// The tree file of a resource that the patterns leave out is expected, not reimported.
    void TakeFilteredOut(const CResourceItem& item) override { m_Expected.Expect(item.Resource.Id); }
    /// Takes the outcomes of the comparisons still queued.
    bool Finish(const CRunRecords&) override {
        m_Pool.Finish();
        return true;
    }

    /// Plans and writes the destination: the archives of manager and the header libraries listed in
    /// libraries, loaded or not. Aborted when a file the run read lies outside the source or a file cannot be
    /// written (nothing is left under a final name then); Failures when a container was refused or a read
    /// failed; Clean otherwise.
    /// The copies of files that copies made ahead are taken instead of copying them again.
    EExtractionOutcome WriteDestination(const CArchiveManager& manager, const CFileList& libraries,
                                        CCopyAhead& copies);
    /// Appends the summary line for standard error.
    void AppendSummary(CStringBufferA& text, double elapsedSeconds) const;

private:
    void PrintResults(const CDestinationWriter& writer) const;
    uint64_t CountResources(EResourceState state) const;
    // Completes the oldest record whose comparison was pending.
    void TakeComparison(const CComparisonResult& result) override;
    static void CountIgnored(void* context, CStringViewA library, CStringViewA fileName, ResourceId id,
                             bool hasId);

    CStringViewA m_Source;
    CStringViewA m_Destination;
    bool m_Verbose;
    CWriterPool& m_Pool;
    // Records whose comparison came back so far.
    uint64_t m_Compared = 0;

    CReimportRecords m_Records;
    uint64_t m_CurrentLibrary = 0;
    uint64_t m_LibraryContainerBase = 0;
    CExpectedTreeFiles m_Expected;
    CReimportCounts m_Counts;
    TStringBufferA<260> m_PathBuffer;
};
