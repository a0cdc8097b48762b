// Writing a reimport's destination: copies, archives with rebuilt containers, patched header libraries.
#pragma once

#include "app/ReimportPlan.h"
#include "app/ReimportRecords.h"
#include "base/Array.h"
#include "base/InlineString.h"
#include "base/Platform.h"
#include "base/StringBuffer.h"

#include <cstdint>

class CArchive;
class CArchiveManager;
class CCopyAhead;
class CFileList;

/// A file of the destination: its source, its path below both directories (components joined by
/// backslashes), and what changes in it: Archive for an archive, LibraryFile (a record index, NoResource
/// for a library that did not load) for a header library.
struct CDestinationFile {
    CInlineStringA SourcePath;
    CInlineStringA RelativePath;
    const CArchive* Archive = nullptr;
    uint64_t LibraryFile = NoResource;
    bool Changed = false;
};

/// Writes every file a run read into the destination: first each under a temporary name (a copy, an
/// archive copy with its rebuilt containers and a new index appended, or a header library copy with its
/// patched entry headers), then, when all are complete, each renamed to its final name. A copy that copies
/// made ahead is taken instead of copying the file again. Borrows the records, the plan and copies for its
/// life; streams every copy in blocks.
class CDestinationWriter {
public:
    CDestinationWriter(const CReimportRecords& records, const CReimportPlan& plan, CCopyAhead& copies)
        : m_Records(records), m_Plan(plan), m_Copies(copies) {}

    /// Lists the destination files: the archives of manager in mount order, then every header library of
    /// libraries in listing order, each path once. False after printing why when a file lies outside
    /// source.
    [[nodiscard]] bool CollectFiles(const CArchiveManager& manager, const CFileList& libraries,
                                    CStringViewA source);
    /// Writes the listed files below destination and counts them. False after printing "Failed to write"
    /// with the path; no temporary file is left then, and no file was renamed into place unless an
    /// earlier rename succeeded.
    [[nodiscard]] bool WriteFiles(CStringViewA destination, CReimportCounts& counts);

    const CArray<CDestinationFile>& GetFiles() const { return m_Files; }

private:
    [[nodiscard]] bool AddFile(CStringViewA path, const CArchive* archive, uint64_t libraryFile,
                               bool changed);
    [[nodiscard]] bool WriteFile(const CDestinationFile& file, CStringViewA temporaryPath);
    [[nodiscard]] bool AppendContainers(FileHandle file, const CArchive& archive);
    [[nodiscard]] bool AppendIndex(FileHandle file, const CArchive& archive, uint32_t self,
                                   uint64_t indexOffset);
    [[nodiscard]] bool WriteContainer(FileHandle file, const CContainerPlan& plan, uint64_t& written);
    [[nodiscard]] bool WriteChangedEntry(FileHandle file, const CContainerPlan& plan, uint64_t entry,
                                         uint64_t& written);
    [[nodiscard]] bool ApplyPatches(FileHandle file, uint64_t libraryFile);
    [[nodiscard]] bool ReadTreeHeader(const CResourceRecord& resource, uint8_t* header, uint64_t length);
    [[nodiscard]] bool CopyFromTree(FileHandle file, const CResourceRecord& resource, uint64_t offset,
                                    uint64_t count);

    const CReimportRecords& m_Records;
    const CReimportPlan& m_Plan;
    CCopyAhead& m_Copies;
    CStringViewA m_Source;
    CArray<CDestinationFile> m_Files;
    // The new segment of each rebuilt entry of the archive being written, ordered by the entry's address.
    struct CRebuiltEntry {
        const CArchiveEntry* Entry = nullptr;
        CArchiveSegment Segment;
    };
    CArray<CRebuiltEntry> m_Rebuilt;
    TStringBufferA<260> m_PathBuffer;
};
