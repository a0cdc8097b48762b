// --compare: what differs between a tree that an extraction wrote and what an extraction would write now.
#pragma once

#include "app/FileComparison.h"
#include "app/OutputFiles.h"
#include "app/ResourceHandler.h"
#include "app/TreeFiles.h"
#include "app/WriterPool.h"
#include "base/StringBuffer.h"
#include "resid/ResourceId.h"

#include <cstdint>

class CByteBuffer;

/// The counts of a comparison.
struct CComparisonCounts {
    uint64_t Same = 0;
    uint64_t Differs = 0;
    uint64_t Missing = 0;
    uint64_t NotAFile = 0;
    uint64_t Extra = 0;
    uint64_t FailedReads = 0;

    /// True when nothing differs, is missing, is extra or failed.
    bool IsIdentical() const {
        return Differs == 0 && Missing == 0 && NotAFile == 0 && Extra == 0 && FailedReads == 0;
    }
};

/// Compares, resource by resource as the run decides them, what an extraction would write into a tree with
/// what the tree holds, and prints one record per difference on standard output: tab-separated text
/// ("status TAB library TAB id TAB size TAB found size TAB name") or, with json, one JSON object per line.
/// The resource files are compared on the pool's workers and their outcomes taken back in the run's order;
/// files are streamed in blocks, never held whole. Keeps the expected files of every library folder so that
/// Finish can list the others as extra. Borrows tree and the pool for its life.
class CTreeComparison : public CResourceHandler, private CComparisonSink {
public:
    CTreeComparison(CStringViewA tree, bool json, CWriterPool& pool)
        : m_Tree(tree), m_Json(json), m_Pool(pool) {}

    /// The library's folder below the tree holds the files of the resources that follow.
    bool BeginLibrary(const CLibraryScope& library) override;
    /// Queues the comparison of an admitted resource's file with what an extraction would write; other
    /// statuses are left alone. False when the content could not be read from the archives, after "Failed to
    /// read": the archive files at their mounted sizes cannot give it, and the file is compared at once.
    bool TakeResource(const CResourceItem& item) override;
    /// The file of a resource that the patterns leave out is expected and not compared.
    void TakeFilteredOut(const CResourceItem& item) override { m_Expected.Expect(item.Resource.Id); }
    /// Compares the four index files built from the run's records, then lists the extra files of the library
    /// folders, and flushes the records. True when everything was identical.
    bool Finish(const CRunRecords& records) override;
    /// Appends the summary line ("Summary: 5 same, 0 different, ...") for standard error, or its JSON object.
    void AppendSummary(CStringBufferA& text, double elapsedSeconds) const;

    const CComparisonCounts& GetCounts() const { return m_Counts; }

private:
    // One record of the output; id null for the index files and for extra files without one.
    void AddRecord(CStringViewA status, CStringViewA library, const ResourceId* id, uint64_t size,
                   const uint64_t* foundSize, CStringViewA name);
    // Counts a file's outcome and records it unless it is a match; a failed read is printed instead.
    void TakeOutcome(EFileComparison outcome, const char* path, CStringViewA library, const ResourceId* id,
                     uint64_t size, uint64_t foundSize, CStringViewA name);
    void TakeComparison(const CComparisonResult& result) override;
    void CompareIndexFile(CStringViewA fileName, const void* bytes, uint64_t size);
    static void AddExtra(void* context, CStringViewA library, CStringViewA fileName, ResourceId id,
                         bool hasId);
    void Flush();

    CStringViewA m_Tree;
    bool m_Json;
    CWriterPool& m_Pool;
    CStringViewA m_Library;
    CExpectedTreeFiles m_Expected;
    CComparisonCounts m_Counts;
    CStringBufferA m_Records;
    TStringBufferA<260> m_PathBuffer;
};
