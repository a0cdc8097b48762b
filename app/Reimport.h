// --reimport: a new content directory whose extraction gives an edited tree.
#pragma once

#include "app/Extraction.h"
#include "app/FileComparison.h"
#include "app/ResourceHandler.h"
#include "app/TreeFiles.h"
#include "base/Array.h"
#include "base/InlineString.h"
#include "base/Platform.h"
#include "base/StringBuffer.h"
#include "resid/ResourceId.h"

#include <cstdint>

class CArchive;
class CArchiveManager;
struct CArchiveEntry;
class CFileList;
class CHeaderLibrary;

/// Reimports the edited resource files of a tree into a copy of the source directory. As the run's handler
/// it records the containers of each header library it loads and compares every admitted resource with its
/// tree file while its bytes are at hand. WriteDestination then plans each changed container
/// (refusing those whose files cannot be put back exactly), writes every file the run read into the
/// destination under a temporary name (a copy, an archive copy with the rebuilt containers and a new index
/// appended, or a header library copy with patched entry headers) and renames them into place.
///
/// Keeps, for the whole run, one record per container and entry of every loaded library and per taken
/// resource, with copies of the texts it prints. Never holds a file's bytes whole: every copy and comparison
/// is streamed in blocks. Borrows the options' texts.
class CReimport : public CResourceHandler {
public:
    CReimport(const char* source, const char* tree, const char* destination, bool verbose);

    /// Checks, before anything is read, that the destination is missing or an empty directory and is neither
    /// the source nor inside the source or the tree. False after printing why.
    [[nodiscard]] bool CheckDestination();

    /// Records the library's file and its containers with their entries.
    bool BeginLibrary(const CLibraryScope& library) override;
    /// Compares the tree file of an admitted resource with its content in the archives and records it;
    /// other statuses are left alone. False when the content could not be read from the archives, after
    /// "Failed to read" is printed.
    bool TakeResource(const CResourceItem& item) override;
    /// The tree file of a resource that the patterns leave out is expected, not reimported.
    void TakeFilteredOut(const CResourceItem& item) override { m_Expected.Expect(item.Resource.Id); }
    /// Nothing to do before WriteDestination.
    bool Finish(const CRunRecords&) override { return true; }

    /// Plans and writes the destination: the archives of manager and the header libraries listed in
    /// libraries, loaded or not. Aborted when a file the run read lies outside the source or a file cannot be
    /// written (nothing is left under a final name then); Failures when a container was refused or a read
    /// failed; Clean otherwise.
    EExtractionOutcome WriteDestination(const CArchiveManager& manager, const CFileList& libraries);
    /// Appends the summary line for standard error.
    void AppendSummary(CStringBufferA& text, double elapsedSeconds) const;

private:
    enum class EResourceState : uint8_t { Unchanged, Changed, Missing, Refused, Reimported };

    // One container record of a loaded library; its entries are Entries[FirstEntry, FirstEntry + EntryCount).
    struct CContainerRecord {
        uint64_t LibraryFile = 0;
        CInlineStringA Path;
        CInlineStringA ArchiveName;
        bool InlineHeaders = false;
        uint64_t FirstEntry = 0;
        uint64_t EntryCount = 0;
    };
    // One entry of a container record: its header in the library file and its span in the container's data.
    struct CEntryRecord {
        uint64_t HeaderOffset = 0;
        uint64_t HeaderLength = 0;
        uint64_t SpanOffset = 0;
        uint64_t SpanLength = 0;
    };
    struct CResourceRecord {
        ResourceId Id = 0;
        uint64_t Library = 0;
        uint64_t Container = 0;
        uint32_t Entry = 0;
        EResourceState State = EResourceState::Unchanged;
        uint64_t FileSize = 0;
        uint64_t NameOffset = 0;
        uint64_t NameLength = 0;
        const CArchive* Archive = nullptr;
        const CArchiveEntry* ArchiveEntry = nullptr;
    };
    // A rebuilt container: the archive entry that holds it and the changed resources, by entry position.
    struct CContainerPlan {
        const CArchive* Archive = nullptr;
        const CArchiveEntry* ArchiveEntry = nullptr;
        uint64_t Container = 0;
        // Resource record per entry of the container; NoResource for an entry kept as it is.
        CArray<uint64_t> ChangedBy;
    };
    // A change to a header library copy: the data length field of the header at Offset, and with Resource
    // set the whole header (HeaderLength bytes) taken from that resource's tree file first.
    struct CLibraryPatch {
        uint64_t LibraryFile = 0;
        uint64_t Offset = 0;
        uint64_t HeaderLength = 0;
        uint64_t Resource = 0;
        uint32_t DataLength = 0;
    };
    // A header of a library file, for the search for headers that share bytes.
    struct CHeaderRange {
        uint64_t LibraryFile = 0;
        uint64_t Offset = 0;
        uint64_t End = 0;
        uint64_t Container = 0;
        uint64_t Entry = 0;
    };
    // A file of the destination: its source, its path below both directories, and what changes in it.
    struct CDestinationFile {
        CInlineStringA SourcePath;
        CInlineStringA RelativePath;
        const CArchive* Archive = nullptr;
        uint64_t LibraryFile = NoResource;
        bool Changed = false;
    };

    // What the segments of all mounted archives hold of one archive file.
    struct CArchiveScan {
        const CArchive* Archive = nullptr;
        bool HeaderInData = false;
        uint64_t DataEnd = 0;
    };

    static constexpr uint64_t NoResource = ~uint64_t(0);

    void FormatTreePath(const CResourceRecord& resource);
    CStringViewA GetName(const CResourceRecord& resource) const;
    uint64_t GetHeaderLength(const CResourceRecord& resource) const;

    // The resources of one archive entry (positions [Begin, End) of the sorted order), the container record
    // of the first changed one, and every container record with its archive name.
    struct CContainerGroup {
        const uint64_t* Begin = nullptr;
        const uint64_t* End = nullptr;
        uint64_t Container = 0;
        const CArchive* Archive = nullptr;
        const CArchiveEntry* ArchiveEntry = nullptr;
        const uint64_t* FirstDescription = nullptr;
        const uint64_t* EndDescription = nullptr;
    };
    struct CArchiveNameOrder {
        const CReimport* Owner;
        bool operator()(uint64_t left, uint64_t right) const;
    };

    CArchiveNameOrder GetArchiveNameOrder() const;
    void PlanContainers();
    // Plans the rebuilt container of one group, or refuses it, printing why; the group's changed resources
    // become reimported or refused.
    void PlanContainer(const uint64_t* begin, const uint64_t* end);
    // The checks of a group, each printing why it refuses.
    [[nodiscard]] bool CheckFileSizes(const CContainerGroup& group);
    [[nodiscard]] bool CheckDescriptions(const CContainerGroup& group) const;
    [[nodiscard]] bool CheckEntriesAgree(const CContainerGroup& group);
    [[nodiscard]] bool CheckPlacement(const CContainerGroup& group) const;
    [[nodiscard]] bool CheckHeadersUnshared(const CContainerGroup& group, const CContainerPlan& plan) const;
    void AddPatches(const CContainerGroup& group, const CContainerPlan& plan);
    bool HaveSameLayout(uint64_t left, uint64_t right) const;
    bool IsHeaderShared(uint64_t container, uint64_t entry) const;
    void BuildHeaderRanges();

    [[nodiscard]] bool CollectDestinationFiles(const CFileList& libraries);
    // Fills the scans: for every mounted archive, whether a segment of any mounted archive lies over its
    // 24-byte header, and where the segments that it holds end at most.
    void ScanSegments();
    const CArchiveScan& GetScan(const CArchive* archive) const;
    [[nodiscard]] bool WriteDestinationFile(const CDestinationFile& file, const char* temporaryPath);
    [[nodiscard]] bool AppendContainers(FileHandle file, const CArchive& archive);
    [[nodiscard]] bool WriteContainer(FileHandle file, const CContainerPlan& plan, uint64_t& written);
    [[nodiscard]] bool ApplyPatches(FileHandle file, uint64_t libraryFile);
    [[nodiscard]] bool CopyFromTree(FileHandle file, const CResourceRecord& resource, uint64_t offset,
                                    uint64_t count);
    void PrintResults() const;
    static void CountIgnored(void* context, const char* library, const char* fileName, ResourceId id,
                             bool hasId);

    const char* m_Source;
    const char* m_Tree;
    const char* m_Destination;
    const CArchiveManager* m_Manager = nullptr;
    bool m_Verbose;

    CArray<CInlineStringA> m_LibraryFiles;
    CArray<CInlineStringA> m_LibraryNames;
    uint64_t m_CurrentLibrary = 0;
    uint64_t m_LibraryContainerBase = 0;
    CArray<CContainerRecord> m_Containers;
    CArray<CEntryRecord> m_Entries;
    CArray<CResourceRecord> m_Resources;
    CStringBufferA m_NameText;
    CExpectedTreeFiles m_Expected;

    CArray<CContainerPlan> m_Plans;
    CArray<CLibraryPatch> m_Patches;
    CArray<CHeaderRange> m_HeaderRanges;
    CArray<uint64_t> m_HeaderRangeEnds;
    CArray<uint64_t> m_ContainersByName;
    CArray<CDestinationFile> m_Files;
    CArray<CArchiveScan> m_Scans;

    uint64_t m_Changed = 0;
    uint64_t m_Unchanged = 0;
    uint64_t m_Missing = 0;
    uint64_t m_Refused = 0;
    uint64_t m_Ignored = 0;
    uint64_t m_FailedReads = 0;
    uint64_t m_FilesCopied = 0;
    uint64_t m_FilesRewritten = 0;
    TStringBufferA<260> m_PathBuffer;
};
