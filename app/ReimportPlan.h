// The plan of a reimport: which containers are rebuilt, which library headers are patched.
#pragma once

#include "app/ReimportRecords.h"
#include "base/Array.h"

#include <cstdint>

class CArchive;
class CArchiveManager;

/// What the segments of all mounted archives hold of one archive file: whether one lies over its 24-byte
/// header, and where the segments stored in it end at most (saturated at the largest value).
struct CArchiveScan {
    const CArchive* Archive = nullptr;
    bool HeaderInData = false;
    uint64_t DataEnd = 0;
};

/// A rebuilt container: the archive entry that holds it (ArchiveData reads all of it), its container record,
/// and the resource record that changes each of its entries (NoResource for an entry kept as it is).
struct CContainerPlan {
    CArchiveStream ArchiveData;
    uint64_t Container = 0;
    CArray<uint64_t> ChangedBy;
};

/// A change to a header library copy: the data length field of an entry record's header set to
/// DataLength, and with WholeHeader the header's other bytes taken from the resource's tree file first.
struct CLibraryPatch {
    uint64_t LibraryFile = 0;
    uint64_t Entry = 0;
    uint64_t Resource = 0;
    uint32_t DataLength = 0;
    bool WholeHeader = false;
};

/// The outcome of planning: the accepted containers in planning order, the patches in the order they are
/// applied, and a scan per mounted archive ordered by address. Borrows the manager's archives.
struct CReimportPlan {
    CArray<CContainerPlan> Containers;
    CArray<CLibraryPatch> Patches;
    CArray<CArchiveScan> Scans;

    /// The scan of a mounted archive.
    const CArchiveScan& GetScan(const CArchive* archive) const;
};

/// Scans the segments of every archive of manager, then plans each archive entry that holds a changed
/// resource: its rebuilt container and patches, or a refusal printed with its reason. The changed
/// resources become Reimported or Refused.
void PlanReimport(CReimportRecords& records, const CArchiveManager& manager, CReimportPlan& plan);
