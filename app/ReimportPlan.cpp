// Planning a reimport: the segments' reach in each archive, the changed containers, the library patches.
#include "app/ReimportPlan.h"

#include "app/ReimportChecks.h"
#include "archive/Archive.h"
#include "archive/ArchiveManager.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace {

bool IsScanBefore(const CArchiveScan& a, const CArchiveScan& b) {
    return std::less<const CArchive*>()(a.Archive, b.Archive);
}

// Fills the scans: for every mounted archive, whether a segment of any mounted archive lies over its
// 24-byte header, and where the segments that it holds end at most.
void ScanSegments(const CArchiveManager& manager, CArray<CArchiveScan>& scans) {
    for (uint64_t position = 0; position < manager.GetArchiveCount(); ++position)
        AppendGrowing(scans, CArchiveScan{manager.GetArchive(position), false, 0});
    std::sort(scans.begin(), scans.end(), IsScanBefore);
    for (uint64_t position = 0; position < manager.GetArchiveCount(); ++position) {
        const CArchive* holder = manager.GetArchive(position);
        for (const CArchiveEntry& entry : holder->GetEntries()) {
            for (const CArchiveSegment& segment : entry.Segments) {
                const CArchiveScan key{holder->GetReference(segment.ReferenceIndex), false, 0};
                CArchiveScan* scan = std::lower_bound(scans.begin(), scans.end(), key, IsScanBefore);
                if (segment.Size == 0 || key.Archive == nullptr || scan == scans.end() ||
                    scan->Archive != key.Archive)
                    continue;
                scan->HeaderInData |= segment.FileOffset < ArchiveHeaderSize;
                // Segments may claim bytes past the end of the file; appended bytes must not become theirs.
                const uint64_t end = segment.FileOffset + segment.Size;
                scan->DataEnd = std::max(scan->DataEnd, end < segment.FileOffset ? ~uint64_t(0) : end);
            }
        }
    }
}

// Plans the changed archive entries one group at a time, keeping the container records ordered by
// archive name so that every description of a container is found at once.
class CReimportPlanner {
public:
    CReimportPlanner(CReimportRecords& records, CReimportPlan& plan)
        : m_Records(records), m_Plan(plan), m_Checks(records, plan) {}

    void PlanAll();

private:
    // Orders container records by their lower-cased archive names, byte by byte; a name that begins
    // another comes first.
    bool IsNameBefore(uint64_t left, uint64_t right) const {
        const CInlineStringA& a = m_Records.Containers[left].ArchiveName;
        const CInlineStringA& b = m_Records.Containers[right].ArchiveName;
        const int order = std::memcmp(a.GetData(), b.GetData(), std::min(a.GetLength(), b.GetLength()));
        return order != 0 ? order < 0 : a.GetLength() < b.GetLength();
    }
    void PlanGroup(const uint64_t* begin, const uint64_t* end);
    void AddPatches(const CContainerGroup& group);

    CReimportRecords& m_Records;
    CReimportPlan& m_Plan;
    CContainerChecks m_Checks;
    CArray<uint64_t> m_ContainersByName;
};

void CReimportPlanner::PlanAll() {
    const auto byName = [this](uint64_t a, uint64_t b) { return IsNameBefore(a, b); };
    for (uint64_t container = 0; container < m_Records.Containers.GetCount(); ++container)
        AppendGrowing(m_ContainersByName, container);
    std::stable_sort(m_ContainersByName.begin(), m_ContainersByName.end(), byName);
    // The resources of one archive entry together, in run order within it.
    const CArray<CResourceRecord>& resources = m_Records.Resources;
    CArray<uint64_t> order;
    for (uint64_t r = 0; r < resources.GetCount(); ++r)
        AppendGrowing(order, r);
    std::stable_sort(order.begin(), order.end(), [&resources](uint64_t a, uint64_t b) {
        return std::less<const CArchiveEntry*>()(resources[a].ArchiveData.Entry,
                                                 resources[b].ArchiveData.Entry);
    });
    for (uint64_t first = 0; first < order.GetCount();) {
        uint64_t last = first;
        bool changed = false;
        while (last < order.GetCount() &&
               resources[order[last]].ArchiveData.Entry == resources[order[first]].ArchiveData.Entry)
            changed |= resources[order[last++]].State == EResourceState::Changed;
        if (changed)
            PlanGroup(order.GetData() + first, order.GetData() + last);
        first = last;
    }
}

// Plans the rebuilt container of one group, or refuses it, printing why; the group's changed resources
// become reimported or refused.
void CReimportPlanner::PlanGroup(const uint64_t* begin, const uint64_t* end) {
    CArray<CResourceRecord>& resources = m_Records.Resources;
    const CResourceRecord& lead = resources[*std::find_if(
        begin, end, [&resources](uint64_t r) { return resources[r].State == EResourceState::Changed; })];
    const auto descriptions =
        std::equal_range(m_ContainersByName.begin(), m_ContainersByName.end(), lead.Container,
                         [this](uint64_t a, uint64_t b) { return IsNameBefore(a, b); });
    CContainerGroup group{begin, end, descriptions.first, descriptions.second, {}};
    group.Plan.ArchiveData = lead.ArchiveData;
    group.Plan.Container = lead.Container;
    group.Plan.ChangedBy.Resize(m_Records.Containers[lead.Container].EntryCount);
    for (uint64_t& changedBy : group.Plan.ChangedBy)
        changedBy = NoResource;
    for (const uint64_t* r = begin; r != end; ++r) {
        if (resources[*r].State == EResourceState::Changed &&
            group.Plan.ChangedBy[resources[*r].Entry] == NoResource)
            group.Plan.ChangedBy[resources[*r].Entry] = *r;
    }

    const bool accepted = m_Checks.Accept(group);
    if (accepted) {
        AddPatches(group);
        AppendGrowing(m_Plan.Containers, std::move(group.Plan));
    }
    for (const uint64_t* r = begin; r != end; ++r) {
        CResourceRecord& resource = resources[*r];
        if (resource.State != EResourceState::Changed)
            continue;
        resource.State = accepted ? EResourceState::Reimported : EResourceState::Refused;
    }
}

// Every description of the container states the new data lengths; the libraries that the changed files
// came from also take the files' other header bytes, unless the headers are inline.
void CReimportPlanner::AddPatches(const CContainerGroup& group) {
    const CArray<uint64_t>& changedBy = group.Plan.ChangedBy;
    for (const uint64_t* other = group.FirstDescription; other != group.EndDescription; ++other) {
        const CContainerRecord& description = m_Records.Containers[*other];
        for (uint64_t entry = 0; entry < changedBy.GetCount(); ++entry) {
            if (changedBy[entry] == NoResource)
                continue;
            const CResourceRecord& resource = m_Records.Resources[changedBy[entry]];
            const auto dataLength =
                static_cast<uint32_t>(resource.FileSize - m_Records.GetHeaderLength(resource));
            AppendGrowing(m_Plan.Patches,
                          CLibraryPatch{description.LibraryFile, description.FirstEntry + entry,
                                        changedBy[entry], dataLength, false});
        }
    }
    for (const uint64_t* r = group.Begin; r != group.End; ++r) {
        const CResourceRecord& resource = m_Records.Resources[*r];
        const CContainerRecord& own = m_Records.Containers[resource.Container];
        if (resource.State != EResourceState::Changed || own.InlineHeaders)
            continue;
        const uint64_t entry = own.FirstEntry + resource.Entry;
        const uint64_t headerLength = m_Records.Entries[entry].HeaderLength;
        AppendGrowing(m_Plan.Patches,
                      CLibraryPatch{own.LibraryFile, entry, *r,
                                    static_cast<uint32_t>(resource.FileSize - headerLength), true});
    }
}

} // namespace

const CArchiveScan& CReimportPlan::GetScan(const CArchive* archive) const {
    return *std::lower_bound(Scans.begin(), Scans.end(), CArchiveScan{archive, false, 0}, IsScanBefore);
}

void PlanReimport(CReimportRecords& records, const CArchiveManager& manager, CReimportPlan& plan) {
    ScanSegments(manager, plan.Scans);
    CReimportPlanner planner(records, plan);
    planner.PlanAll();
}
