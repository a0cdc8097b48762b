// The checks that refuse a changed container whose files cannot be put back exactly.
#pragma once

#include "app/ReimportPlan.h"
#include "app/ReimportRecords.h"
#include "base/Array.h"
#include "base/StringBuffer.h"

#include <cstdint>

/// The resource records of one archive entry (positions [Begin, End) of the planning order), every
/// container record that describes the same archive name ([FirstDescription, EndDescription)), and the
/// plan that rebuilding it would follow, its container record being that of the first changed resource.
struct CContainerGroup {
    const uint64_t* Begin = nullptr;
    const uint64_t* End = nullptr;
    const uint64_t* FirstDescription = nullptr;
    const uint64_t* EndDescription = nullptr;
    CContainerPlan Plan;
};

/// Decides whether a changed container can be rebuilt. Keeps every entry header of the records ordered by
/// its library file and offset, for the search for headers that share bytes; borrows the records and the
/// plan's scans, which must not change while it is used.
class CContainerChecks {
public:
    CContainerChecks(const CReimportRecords& records, const CReimportPlan& plan);

    /// True when every check passes; otherwise false after printing why the first failing one refuses:
    /// a tree file shorter than its header or with more data than a header can state, a second library
    /// describing the entries differently, two files of one entry with other bytes, entries outside the
    /// archive entry or an archive header inside entry data, a changed header sharing bytes with another.
    [[nodiscard]] bool Accept(const CContainerGroup& group);

private:
    [[nodiscard]] bool CheckFileSizes(const CContainerGroup& group);
    [[nodiscard]] bool CheckDescriptions(const CContainerGroup& group) const;
    [[nodiscard]] bool CheckEntriesAgree(const CContainerGroup& group);
    [[nodiscard]] bool CheckPlacement(const CContainerGroup& group) const;
    [[nodiscard]] bool CheckHeadersUnshared(const CContainerGroup& group) const;
    bool HaveSameLayout(uint64_t left, uint64_t right) const;
    bool IsHeaderShared(uint64_t container, uint64_t entry) const;

    const CReimportRecords& m_Records;
    const CReimportPlan& m_Plan;
    // Entry records ordered by library file and header offset, and the furthest header end of each one's
    // predecessors in the same file, so that a search can stop walking back.
    CArray<uint64_t> m_Headers;
    CArray<uint64_t> m_HeaderEnds;
    TStringBufferA<260> m_PathBuffer;
};
