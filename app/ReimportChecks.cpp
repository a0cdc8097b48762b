// The refusals of a changed container: sizes, descriptions, agreeing files, placement, shared headers.
#include "app/ReimportChecks.h"

#include "app/FileComparison.h"
#include "archive/Archive.h"
#include "base/Console.h"

#include <algorithm>
#include <utility>

namespace {

// Where a header lies: its library file, then its offset there.
using CHeaderKey = std::pair<uint64_t, uint64_t>;

CHeaderKey GetHeaderKey(const CReimportRecords& records, uint64_t entry) {
    const CEntryRecord& header = records.Entries[entry];
    return {records.Containers[header.Container].LibraryFile, header.HeaderOffset};
}

} // namespace

CContainerChecks::CContainerChecks(const CReimportRecords& records, const CReimportPlan& plan)
    : m_Records(records), m_Plan(plan) {
    for (uint64_t entry = 0; entry < records.Entries.GetCount(); ++entry)
        AppendGrowing(m_Headers, entry);
    std::sort(m_Headers.begin(), m_Headers.end(), [&records](uint64_t a, uint64_t b) {
        return GetHeaderKey(records, a) < GetHeaderKey(records, b);
    });
    for (uint64_t i = 0; i < m_Headers.GetCount(); ++i) {
        const CEntryRecord& header = records.Entries[m_Headers[i]];
        const uint64_t end = header.GetHeaderEnd();
        const bool sameFile = i > 0 && GetHeaderKey(records, m_Headers[i - 1]).first ==
                                           GetHeaderKey(records, m_Headers[i]).first;
        AppendGrowing(m_HeaderEnds, sameFile ? std::max(m_HeaderEnds[i - 1], end) : end);
    }
}

bool CContainerChecks::Accept(const CContainerGroup& group) {
    return CheckFileSizes(group) && CheckDescriptions(group) && CheckEntriesAgree(group) &&
           CheckPlacement(group) && CheckHeadersUnshared(group);
}

bool CContainerChecks::CheckFileSizes(const CContainerGroup& group) {
    for (const uint64_t* r = group.Begin; r != group.End; ++r) {
        const CResourceRecord& resource = m_Records.Resources[*r];
        if (resource.State != EResourceState::Changed)
            continue;
        m_Records.FormatTreePath(resource, m_PathBuffer);
        const uint64_t headerLength = m_Records.GetHeaderLength(resource);
        if (resource.FileSize < headerLength) {
            Print("Cannot reimport \"%s\": shorter than its entry header.\n", m_PathBuffer.GetData());
            return false;
        }
        if (resource.FileSize - headerLength > 0xFFFFFFFFu) {
            Print("Cannot reimport \"%s\": its data is longer than an entry header can state.\n",
                  m_PathBuffer.GetData());
            return false;
        }
    }
    return true;
}

bool CContainerChecks::HaveSameLayout(uint64_t left, uint64_t right) const {
    const CContainerRecord& a = m_Records.Containers[left];
    const CContainerRecord& b = m_Records.Containers[right];
    if (a.InlineHeaders != b.InlineHeaders || a.EntryCount != b.EntryCount)
        return false;
    for (uint64_t entry = 0; entry < a.EntryCount; ++entry) {
        const CEntryRecord& x = m_Records.GetEntry(left, entry);
        const CEntryRecord& y = m_Records.GetEntry(right, entry);
        if (x.Span.Offset != y.Span.Offset || x.Span.Length != y.Span.Length)
            return false;
    }
    return true;
}

bool CContainerChecks::CheckDescriptions(const CContainerGroup& group) const {
    const uint64_t container = group.Plan.Container;
    const CContainerRecord& record = m_Records.Containers[container];
    for (const uint64_t* other = group.FirstDescription; other != group.EndDescription; ++other) {
        if (!HaveSameLayout(container, *other)) {
            Print("Cannot reimport \"%s\": described differently by \"%s\" and \"%s\".\n",
                  record.Path.GetData(), m_Records.LibraryFiles[record.LibraryFile].GetData(),
                  m_Records.LibraryFiles[m_Records.Containers[*other].LibraryFile].GetData());
            return false;
        }
    }
    return true;
}

// The files of one entry must agree when one of them changed: the entry holds only one content.
bool CContainerChecks::CheckEntriesAgree(const CContainerGroup& group) {
    for (const uint64_t* r = group.Begin; r != group.End; ++r) {
        for (const uint64_t* s = r + 1; s != group.End; ++s) {
            const CResourceRecord& a = m_Records.Resources[*r];
            const CResourceRecord& b = m_Records.Resources[*s];
            if (a.Entry != b.Entry || a.State == EResourceState::Missing ||
                b.State == EResourceState::Missing ||
                (a.State != EResourceState::Changed && b.State != EResourceState::Changed))
                continue;
            m_Records.FormatTreePath(a, m_PathBuffer);
            const CInlineStringA first(m_PathBuffer.GetView());
            m_Records.FormatTreePath(b, m_PathBuffer);
            if (!AreFilesEqual(first.GetView(), m_PathBuffer.GetView())) {
                Print("Cannot reimport \"%s\": \"%s\" comes from the same entry with other bytes.\n",
                      first.GetData(), m_PathBuffer.GetData());
                return false;
            }
        }
    }
    return true;
}

// The rebuilt data keeps the bytes around the entries, which must lie within the archive entry; the new
// index needs the archive's header, which no entry's data may hold.
bool CContainerChecks::CheckPlacement(const CContainerGroup& group) const {
    const CContainerRecord& record = m_Records.Containers[group.Plan.Container];
    const CEntryRecord& first = m_Records.Entries[record.FirstEntry];
    const CEntryRecord& last = m_Records.Entries[record.FirstEntry + record.EntryCount - 1];
    const uint64_t lastEnd = last.Span.Offset + last.Span.Length;
    if (lastEnd > group.Plan.ArchiveData.Size || first.Span.Offset > lastEnd) {
        Print("Cannot reimport \"%s\": its entries do not all lie within its archive entry.\n",
              record.Path.GetData());
        return false;
    }
    const CArchive* archive = group.Plan.ArchiveData.Archive;
    if (m_Plan.GetScan(archive).HeaderInData) {
        Print("Cannot reimport \"%s\": the header of \"%s\" lies inside entry data.\n", record.Path.GetData(),
              archive->GetPath().GetData());
        return false;
    }
    return true;
}

bool CContainerChecks::IsHeaderShared(uint64_t container, uint64_t entry) const {
    const CContainerRecord& record = m_Records.Containers[container];
    const CEntryRecord& header = m_Records.GetEntry(container, entry);
    const CHeaderKey end{record.LibraryFile, header.GetHeaderEnd()};
    const uint64_t* first = std::lower_bound(
        m_Headers.begin(), m_Headers.end(), end,
        [this](uint64_t other, const CHeaderKey& key) { return GetHeaderKey(m_Records, other) < key; });
    // Every header before first in the same file starts before this one ends; those that also end after it
    // starts overlap it. Descriptions of the same entry of the same container get the same patch.
    for (uint64_t i = static_cast<uint64_t>(first - m_Headers.begin()); i-- > 0;) {
        const CEntryRecord& other = m_Records.Entries[m_Headers[i]];
        const CContainerRecord& owner = m_Records.Containers[other.Container];
        if (owner.LibraryFile != record.LibraryFile || m_HeaderEnds[i] <= header.HeaderOffset)
            break;
        const bool sameEntry = m_Headers[i] - owner.FirstEntry == entry &&
                               owner.ArchiveName.GetView() == record.ArchiveName.GetView();
        if (other.GetHeaderEnd() > header.HeaderOffset && !sameEntry)
            return true;
    }
    return false;
}

bool CContainerChecks::CheckHeadersUnshared(const CContainerGroup& group) const {
    const CArray<uint64_t>& changedBy = group.Plan.ChangedBy;
    for (const uint64_t* other = group.FirstDescription; other != group.EndDescription; ++other) {
        for (uint64_t entry = 0; entry < changedBy.GetCount(); ++entry) {
            if (changedBy[entry] != NoResource && IsHeaderShared(*other, entry)) {
                Print("Cannot reimport \"%s\": an entry header it changes shares its bytes with another "
                      "entry.\n",
                      m_Records.Containers[group.Plan.Container].Path.GetData());
                return false;
            }
        }
    }
    return true;
}
