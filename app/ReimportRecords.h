// What a reimport keeps of a run: the loaded libraries, their containers and entries, the compared resources.
#pragma once

#include "archive/ArchiveManager.h"
#include "base/Array.h"
#include "base/InlineString.h"
#include "base/NameStore.h"
#include "base/StringBuffer.h"
#include "base/StringView.h"
#include "headerlib/HeaderLibrary.h"
#include "resid/ResourceId.h"

#include <cstdint>

/// An inline entry header: 24 bytes in front of the entry's data. Its data length field lies at the same
/// offset as in an entry header of a library.
constexpr uint64_t InlineHeaderLength = 24;
constexpr uint64_t HeaderDataLengthOffset = 12;
/// Stands for no resource record: an entry that no tree file changes.
constexpr uint64_t NoResource = ~uint64_t(0);

enum class EResourceState : uint8_t { Unchanged, Changed, Missing, Refused, Reimported };

/// One container of a loaded library; its entries are Entries[FirstEntry, FirstEntry + EntryCount) of the
/// records. ArchiveName is lower-cased.
struct CContainerRecord {
    uint64_t LibraryFile = 0;
    CInlineStringA Path;
    CInlineStringA ArchiveName;
    bool InlineHeaders = false;
    uint64_t FirstEntry = 0;
    uint64_t EntryCount = 0;
};

/// One entry of a container record: the record it belongs to, its header in the library file (HeaderLength
/// bytes from HeaderOffset on) and its span in the container's data.
struct CEntryRecord {
    uint64_t Container = 0;
    uint64_t HeaderOffset = 0;
    uint32_t HeaderLength = 0;
    CEntrySpan Span;

    uint64_t GetHeaderEnd() const { return HeaderOffset + HeaderLength; }
};

/// One admitted resource: where its container lies, how its tree file compared, and its name (a copy in the
/// records' name store). ArchiveData reads the whole archive entry that extraction reads the container from.
struct CResourceRecord {
    ResourceId Id = 0;
    uint64_t Library = 0;
    uint64_t Container = 0;
    uint32_t Entry = 0;
    EResourceState State = EResourceState::Unchanged;
    uint64_t FileSize = 0;
    CStringViewA Name;
    CArchiveStream ArchiveData;
};

/// What the summary line counts besides the states of the resource records.
struct CReimportCounts {
    uint64_t Ignored = 0;
    uint64_t FailedReads = 0;
    uint64_t FilesCopied = 0;
    uint64_t FilesRewritten = 0;
};

/// The records of a reimport run, filled as the libraries are taken and read by the planning and the
/// writing. LibraryFiles holds each loaded library's path, LibraryNames its name (its folder in the tree);
/// Names holds the resources' names, declared first so that it outlives the records' views of them.
/// Borrows the tree's path from the options.
struct CReimportRecords {
    CNameStore Names;
    CStringViewA Tree;
    CArray<CInlineStringA> LibraryFiles;
    CArray<CInlineStringA> LibraryNames;
    CArray<CContainerRecord> Containers;
    CArray<CEntryRecord> Entries;
    CArray<CResourceRecord> Resources;

    /// Formats the path of the resource's tree file into path.
    void FormatTreePath(const CResourceRecord& resource, TStringBufferA<260>& path) const;
    /// The length of the header in front of the resource's data in its tree file.
    uint64_t GetHeaderLength(const CResourceRecord& resource) const;
    /// The entry record of entry (a position within the container) of container.
    const CEntryRecord& GetEntry(uint64_t container, uint64_t entry) const {
        return Entries[Containers[container].FirstEntry + entry];
    }
};
