// CAdmission: whether a resource of a loaded header library is extracted, and where its bytes lie.
#pragma once

#include "app/Listing.h"
#include "app/OutputFiles.h"
#include "archive/ArchiveManager.h"
#include "headerlib/HeaderLibrary.h"

#include <cstdint>

class CNameFilter;

/// The decision on one resource. The fields past Reason are filled as far as the decision got: Container,
/// Table, Span, Header and Size once the container and the entry position are known (Size is
/// CListingLine::UnknownSize before), Stream only for Extract. Borrows from the library (Table and Header,
/// until its next Load) and from the archives (Stream, while they stay mounted).
struct CAdmission {
    EResourceStatus Status = EResourceStatus::Extract;
    /// The include and exclude patterns leave the resource out. Status still says what a run without
    /// patterns would do with it, so that its id can be named as such a run names it.
    bool FilteredOut = false;
    /// Why an Unavailable resource is unavailable, for --verbose; "" otherwise. A static text.
    const char* Reason = "";
    /// The container's position in the library and its table.
    uint64_t Container = 0;
    const CContainerTable* Table = nullptr;
    /// Where the stored bytes lie in the container's archive entry.
    CEntrySpan Span;
    /// The entry header that goes in front of the stored bytes, HeaderLength of them; null (and a length
    /// of 0) when the container stores its entry headers inline.
    const uint8_t* Header = nullptr;
    uint32_t HeaderLength = 0;
    /// The resource file's size: entry header plus stored bytes.
    uint64_t Size = CListingLine::UnknownSize;
    /// For Extract: the container's archive entry, positioned at the span's first byte.
    CArchiveStream Stream;
};

/// Decides on resource, a resource of the loaded library: the first of these tests that stops it, in this
/// order, or Extract when none does. Its id is in names (Named); the container that its member id names is
/// not in the library (Unavailable); the container lists neither "all" nor locale (Locale); the entry
/// position is beyond the container's entries, no mounted archive holds the container, the span reaches
/// past the archive entry, or the size does not fit in 32 bits (each Unavailable, with its Reason).
/// FilteredOut is set whatever the status. Changes nothing but lookup, the caller's memory of the last
/// archive look-up.
CAdmission AdmitResource(const CHeaderLibrary& library, const CNameMap& names,
                         const CArchiveManager& archives, CEntryLookup& lookup, CStringViewA locale,
                         const CNameFilter& filter, const CLibraryResource& resource);
