// Reimport: comparing the tree as the run goes, planning each changed container, writing the destination.
#include "app/Reimport.h"

#include "app/Listing.h"
#include "app/OutputFiles.h"
#include "archive/ArchiveManager.h"
#include "archive/ArchiveWriter.h"
#include "base/Platform.h"
#include "base/ByteBuffer.h"
#include "base/ByteOrder.h"
#include "base/Console.h"
#include "base/File.h"
#include "base/FileList.h"
#include "base/Memory.h"
#include "headerlib/HeaderLibrary.h"

#include <algorithm>
#include <cstring>

namespace {

// Copies move through a block of this size; nothing is ever held whole.
constexpr uint64_t CopyBlockSize = uint64_t(1) << 20;
// An inline entry header: the data length field lies at the same offset as in a library's header.
constexpr uint64_t InlineHeaderLength = 24;
constexpr uint64_t HeaderDataLengthOffset = 12;
// Files are written under their final name with this added, then renamed.
constexpr char TemporarySuffix[] = ".vorsk-partial";

// A heap block for the copies, freed with the object.
class CCopyBlock {
public:
    CCopyBlock() : m_Data(static_cast<uint8_t*>(AllocateOrStop(CopyBlockSize))) {}
    ~CCopyBlock() { FreeMemory(m_Data); }
    CCopyBlock(const CCopyBlock&) = delete;
    CCopyBlock& operator=(const CCopyBlock&) = delete;
    uint8_t* Get() { return m_Data; }

private:
    uint8_t* m_Data;
};

bool WriteAll(FileHandle file, const void* bytes, uint64_t count) {
    uint64_t written = 0;
    return Os::Write(file, bytes, count, written) && written == count;
}

bool WriteAt(FileHandle file, uint64_t offset, const void* bytes, uint64_t count) {
    return Os::Seek(file, offset) && WriteAll(file, bytes, count);
}

// Copies count bytes of the entry's data from offset on into file at its position.
bool CopyFromStream(FileHandle file, CArchiveStream& stream, uint64_t offset, uint64_t count,
                    CCopyBlock& block) {
    stream.Position = offset;
    for (uint64_t done = 0; done < count;) {
        const uint64_t step = std::min(CopyBlockSize, count - done);
        if (stream.Read(block.Get(), step) != step || !WriteAll(file, block.Get(), step))
            return false;
        done += step;
    }
    return true;
}

// The path's components with "." dropped and ".." applied; an unresolvable ".." stays in front. Absolute
// tells whether the path began at a root.
struct CPathComponents {
    bool Absolute = false;
    CArray<CStringViewA> Parts;
};

void SplitPath(CStringViewA path, CPathComponents& components) {
    components.Absolute = path.GetLength() > 0 && (path[0] == '/' || path[0] == '\\');
    uint64_t start = 0;
    for (uint64_t i = 0; i <= path.GetLength(); ++i) {
        if (i < path.GetLength() && path[i] != '/' && path[i] != '\\')
            continue;
        const CStringViewA part = path.Substring(start, i - start);
        start = i + 1;
        if (part.IsEmpty() || part == ".")
            continue;
        const uint64_t count = components.Parts.GetCount();
        if (part == ".." && count > 0 && !(components.Parts[count - 1] == "..")) {
            components.Parts.Resize(count - 1);
            continue;
        }
        AppendGrowing(components.Parts, part);
    }
}

// The path of path below directory, parts joined by backslashes; false when it does not lie below it.
bool MakeRelativePath(const char* directory, const char* path, CInlineStringA& relative) {
    CPathComponents base;
    CPathComponents full;
    SplitPath(directory, base);
    SplitPath(path, full);
    const uint64_t baseCount = base.Parts.GetCount();
    if (base.Absolute != full.Absolute || full.Parts.GetCount() <= baseCount)
        return false;
    for (uint64_t i = 0; i < baseCount; ++i) {
        if (!(base.Parts[i] == full.Parts[i]))
            return false;
    }
    relative.Assign("");
    for (uint64_t i = baseCount; i < full.Parts.GetCount(); ++i) {
        if (full.Parts[i] == "..")
            return false;
        if (i > baseCount)
            relative.Append("\\");
        relative.Append(full.Parts[i]);
    }
    return true;
}

// The absolute form of a path that need not exist: its longest existing beginning resolved, the rest as
// written, joined by slashes.
void GetFullPathOfAny(const char* path, CStringBufferA& fullPath) {
    CInlineStringA head(path);
    CInlineStringA tail;
    while (!Os::GetFullPath(head.GetData(), fullPath)) {
        const uint64_t slash =
            std::max(head.GetView().FindLastChar('/') + 1, head.GetView().FindLastChar('\\') + 1);
        CInlineStringA part(head.GetView().Substring(slash));
        if (!tail.IsEmpty())
            part.Append("/");
        part.Append(tail.GetView());
        tail = part;
        if (slash == 0) {
            head.Assign(".");
        } else {
            head.Erase(slash - 1, CInlineStringA::npos);
            if (head.IsEmpty())
                head.Assign("/");
        }
        if (head.GetView() == ".") {
            (void)Os::GetFullPath(".", fullPath);
            break;
        }
    }
    if (!tail.IsEmpty()) {
        fullPath.Append("/");
        fullPath.Append(CStringViewA(tail.GetData(), tail.GetLength()));
    }
}

// True when inner is outer or lies below it, comparing their full forms component by component.
bool IsSameOrInside(const char* inner, const char* outer) {
    CPathComponents innerParts;
    CPathComponents outerParts;
    SplitPath(inner, innerParts);
    SplitPath(outer, outerParts);
    if (innerParts.Parts.GetCount() < outerParts.Parts.GetCount())
        return false;
    for (uint64_t i = 0; i < outerParts.Parts.GetCount(); ++i) {
        if (!(innerParts.Parts[i] == outerParts.Parts[i]))
            return false;
    }
    return true;
}

} // namespace

CReimport::CReimport(const char* source, const char* tree, const char* destination, bool verbose)
    : m_Source(source), m_Tree(tree), m_Destination(destination), m_Verbose(verbose) {}

bool CReimport::CheckDestination() {
    const EDirectoryState state = Os::GetDirectoryState(m_Destination);
    if (state == EDirectoryState::NotEmpty || state == EDirectoryState::NotADirectory) {
        Print("Cannot reimport into \"%s\": it exists and is not an empty directory.\n", m_Destination);
        return false;
    }
    CStringBufferA destination;
    GetFullPathOfAny(m_Destination, destination);
    for (const char* directory : {m_Source, m_Tree}) {
        CStringBufferA full;
        if (Os::GetFullPath(directory, full) && IsSameOrInside(destination.GetData(), full.GetData())) {
            Print("Cannot reimport into \"%s\": it is \"%s\" or lies inside it.\n", m_Destination, directory);
            return false;
        }
    }
    return true;
}

bool CReimport::BeginLibrary(const CLibraryScope& scope) {
    AppendGrowing(m_LibraryFiles, CInlineStringA(scope.Path));
    const CHeaderLibrary& library = scope.Library;
    m_CurrentLibrary = m_LibraryNames.GetCount();
    AppendGrowing(m_LibraryNames, CInlineStringA(scope.Name));
    m_Expected.BeginLibrary(scope.Name.GetData());
    m_LibraryContainerBase = m_Containers.GetCount();
    const uint8_t* root = library.GetRoot();
    for (uint64_t container = 0; container < library.GetContainerCount(); ++container) {
        const CContainerTable& table = library.GetContainerTables()[container];
        CContainerRecord record;
        record.LibraryFile = m_LibraryFiles.GetCount() - 1;
        record.Path.Assign(library.GetContainerPath(container));
        record.ArchiveName = table.ArchiveName;
        record.ArchiveName.MakeLower();
        record.InlineHeaders = library.HasInlineHeaders(container);
        record.FirstEntry = m_Entries.GetCount();
        record.EntryCount = table.Spans.GetCount();
        for (uint64_t entry = 0; entry < record.EntryCount; ++entry) {
            uint32_t headerLength = 0;
            const uint8_t* header = library.GetEntryHeader(container, entry, headerLength);
            const CEntrySpan& span = table.Spans[entry];
            AppendGrowing(m_Entries,
                          CEntryRecord{library.GetPayloadFileOffset() + static_cast<uint64_t>(header - root),
                                       headerLength, span.Offset, span.Length});
        }
        AppendGrowing(m_Containers, std::move(record));
    }
    return true;
}

void CReimport::FormatTreePath(const CResourceRecord& resource) {
    FormatResourcePath(m_PathBuffer, m_Tree, m_LibraryNames[resource.Library].GetData(), resource.Id);
}

CStringViewA CReimport::GetName(const CResourceRecord& resource) const {
    return CStringViewA(m_NameText.GetData() + resource.NameOffset, resource.NameLength);
}

uint64_t CReimport::GetHeaderLength(const CResourceRecord& resource) const {
    const CContainerRecord& container = m_Containers[resource.Container];
    return container.InlineHeaders ? InlineHeaderLength
                                   : m_Entries[container.FirstEntry + resource.Entry].HeaderLength;
}

bool CReimport::TakeResource(const CResourceItem& item) {
    const CAdmission& admission = item.Admission;
    if (admission.Status != EResourceStatus::Extract)
        return true;
    const CStringViewA name = item.Resource.Name;
    CArchiveStream stream = admission.Stream;
    const CExpectedContent expected{admission.Header, admission.HeaderLength, &stream, admission.Span.Length};
    m_Expected.Expect(item.Resource.Id);
    CResourceRecord resource;
    resource.Id = item.Resource.Id;
    resource.Library = m_CurrentLibrary;
    resource.Container = m_LibraryContainerBase + admission.Container;
    resource.Entry = GetMemberIndex(item.Resource.MemberId);
    resource.Archive = stream.Archive;
    resource.ArchiveEntry = stream.Entry;
    FormatTreePath(resource);
    switch (CompareFileWithContent(m_PathBuffer.GetData(), expected, resource.FileSize)) {
    case EFileComparison::Same:
        ++m_Unchanged;
        break;
    case EFileComparison::Differs:
        resource.State = EResourceState::Changed;
        break;
    case EFileComparison::Missing:
    case EFileComparison::NotAFile:
        ++m_Missing;
        resource.State = EResourceState::Missing;
        break;
    case EFileComparison::SourceUnreadable:
        ++m_FailedReads;
        Print("Failed to read \"%s\".\r\n", m_PathBuffer.GetData());
        return false;
    }
    resource.NameOffset = m_NameText.GetLength();
    resource.NameLength = name.GetLength();
    m_NameText.Append(CStringViewA(name.GetData(), name.GetLength()));
    AppendGrowing(m_Resources, resource);
    return true;
}

bool CReimport::HaveSameLayout(uint64_t left, uint64_t right) const {
    const CContainerRecord& a = m_Containers[left];
    const CContainerRecord& b = m_Containers[right];
    if (a.InlineHeaders != b.InlineHeaders || a.EntryCount != b.EntryCount)
        return false;
    for (uint64_t entry = 0; entry < a.EntryCount; ++entry) {
        const CEntryRecord& x = m_Entries[a.FirstEntry + entry];
        const CEntryRecord& y = m_Entries[b.FirstEntry + entry];
        if (x.SpanOffset != y.SpanOffset || x.SpanLength != y.SpanLength)
            return false;
    }
    return true;
}

void CReimport::BuildHeaderRanges() {
    for (uint64_t container = 0; container < m_Containers.GetCount(); ++container) {
        const CContainerRecord& record = m_Containers[container];
        for (uint64_t entry = 0; entry < record.EntryCount; ++entry) {
            const CEntryRecord& header = m_Entries[record.FirstEntry + entry];
            AppendGrowing(m_HeaderRanges,
                          CHeaderRange{record.LibraryFile, header.HeaderOffset,
                                       header.HeaderOffset + header.HeaderLength, container, entry});
        }
    }
    std::sort(m_HeaderRanges.begin(), m_HeaderRanges.end(), [](const CHeaderRange& a, const CHeaderRange& b) {
        return a.LibraryFile != b.LibraryFile ? a.LibraryFile < b.LibraryFile : a.Offset < b.Offset;
    });
    // The furthest end of the ranges so far in the same file, so that a search can stop walking back.
    for (uint64_t i = 0; i < m_HeaderRanges.GetCount(); ++i) {
        const bool sameFile = i > 0 && m_HeaderRanges[i - 1].LibraryFile == m_HeaderRanges[i].LibraryFile;
        AppendGrowing(m_HeaderRangeEnds, sameFile ? std::max(m_HeaderRangeEnds[i - 1], m_HeaderRanges[i].End)
                                                  : m_HeaderRanges[i].End);
    }
}

bool CReimport::IsHeaderShared(uint64_t container, uint64_t entry) const {
    const CContainerRecord& record = m_Containers[container];
    const CEntryRecord& header = m_Entries[record.FirstEntry + entry];
    const uint64_t end = header.HeaderOffset + header.HeaderLength;
    const CHeaderRange* first = std::lower_bound(
        m_HeaderRanges.begin(), m_HeaderRanges.end(), CHeaderRange{record.LibraryFile, end, 0, 0, 0},
        [](const CHeaderRange& a, const CHeaderRange& b) {
            return a.LibraryFile != b.LibraryFile ? a.LibraryFile < b.LibraryFile : a.Offset < b.Offset;
        });
    // Every range before first in the same file starts before this header ends; those that also end after
    // it starts overlap it. Descriptions of the same entry of the same container get the same patch.
    for (uint64_t i = static_cast<uint64_t>(first - m_HeaderRanges.begin()); i-- > 0;) {
        const CHeaderRange& range = m_HeaderRanges[i];
        if (range.LibraryFile != record.LibraryFile || m_HeaderRangeEnds[i] <= header.HeaderOffset)
            break;
        const bool sameEntry = range.Entry == entry &&
                               m_Containers[range.Container].ArchiveName.GetView() == record.ArchiveName.GetView();
        if (range.End > header.HeaderOffset && !sameEntry)
            return true;
    }
    return false;
}

void CReimport::ScanSegments() {
    const auto byArchive = [](const CArchiveScan& a, const CArchiveScan& b) {
        return std::less<const CArchive*>()(a.Archive, b.Archive);
    };
    for (uint64_t position = 0; position < m_Manager->GetArchiveCount(); ++position)
        AppendGrowing(m_Scans, CArchiveScan{m_Manager->GetArchive(position), false, 0});
    std::sort(m_Scans.begin(), m_Scans.end(), byArchive);
    for (uint64_t position = 0; position < m_Manager->GetArchiveCount(); ++position) {
        const CArchive* holder = m_Manager->GetArchive(position);
        for (const CArchiveEntry& entry : holder->GetEntries()) {
            for (const CArchiveSegment& segment : entry.Segments) {
                const CArchiveScan key{holder->GetReference(segment.ReferenceIndex), false, 0};
                CArchiveScan* scan = std::lower_bound(m_Scans.begin(), m_Scans.end(), key, byArchive);
                if (segment.Size == 0 || key.Archive == nullptr || scan == m_Scans.end() ||
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

const CReimport::CArchiveScan& CReimport::GetScan(const CArchive* archive) const {
    const CArchiveScan key{archive, false, 0};
    return *std::lower_bound(m_Scans.begin(), m_Scans.end(), key,
                             [](const CArchiveScan& a, const CArchiveScan& b) {
                                 return std::less<const CArchive*>()(a.Archive, b.Archive);
                             });
}

bool CReimport::CheckFileSizes(const CContainerGroup& group) {
    for (const uint64_t* r = group.Begin; r != group.End; ++r) {
        const CResourceRecord& resource = m_Resources[*r];
        if (resource.State != EResourceState::Changed)
            continue;
        FormatTreePath(resource);
        const uint64_t headerLength = GetHeaderLength(resource);
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

bool CReimport::CheckDescriptions(const CContainerGroup& group) const {
    const CContainerRecord& record = m_Containers[group.Container];
    for (const uint64_t* other = group.FirstDescription; other != group.EndDescription; ++other) {
        if (!HaveSameLayout(group.Container, *other)) {
            Print("Cannot reimport \"%s\": described differently by \"%s\" and \"%s\".\n",
                  record.Path.GetData(), m_LibraryFiles[record.LibraryFile].GetData(),
                  m_LibraryFiles[m_Containers[*other].LibraryFile].GetData());
            return false;
        }
    }
    return true;
}

// The files of one entry must agree when one of them changed: the entry holds only one content.
bool CReimport::CheckEntriesAgree(const CContainerGroup& group) {
    for (const uint64_t* r = group.Begin; r != group.End; ++r) {
        for (const uint64_t* s = r + 1; s != group.End; ++s) {
            const CResourceRecord& a = m_Resources[*r];
            const CResourceRecord& b = m_Resources[*s];
            if (a.Entry != b.Entry || a.State == EResourceState::Missing ||
                b.State == EResourceState::Missing ||
                (a.State != EResourceState::Changed && b.State != EResourceState::Changed))
                continue;
            FormatTreePath(a);
            const CInlineStringA first(CStringViewA(m_PathBuffer.GetData()));
            FormatTreePath(b);
            if (!AreFilesEqual(first.GetData(), m_PathBuffer.GetData())) {
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
bool CReimport::CheckPlacement(const CContainerGroup& group) const {
    const CContainerRecord& record = m_Containers[group.Container];
    const CEntryRecord* entries = &m_Entries[record.FirstEntry];
    const uint64_t lastEnd =
        entries[record.EntryCount - 1].SpanOffset + entries[record.EntryCount - 1].SpanLength;
    if (lastEnd > group.ArchiveEntry->GetSize() || entries[0].SpanOffset > lastEnd) {
        Print("Cannot reimport \"%s\": its entries do not all lie within its archive entry.\n",
              record.Path.GetData());
        return false;
    }
    if (GetScan(group.Archive).HeaderInData) {
        Print("Cannot reimport \"%s\": the header of \"%s\" lies inside entry data.\n", record.Path.GetData(),
              group.Archive->GetPath().GetData());
        return false;
    }
    return true;
}

bool CReimport::CheckHeadersUnshared(const CContainerGroup& group, const CContainerPlan& plan) const {
    for (const uint64_t* other = group.FirstDescription; other != group.EndDescription; ++other) {
        for (uint64_t entry = 0; entry < plan.ChangedBy.GetCount(); ++entry) {
            if (plan.ChangedBy[entry] != NoResource && IsHeaderShared(*other, entry)) {
                Print("Cannot reimport \"%s\": an entry header it changes shares its bytes with another "
                      "entry.\n",
                      m_Containers[group.Container].Path.GetData());
                return false;
            }
        }
    }
    return true;
}

// Every description of the container states the new data lengths; the libraries that the changed files
// came from also take the files' other header bytes, unless the headers are inline.
void CReimport::AddPatches(const CContainerGroup& group, const CContainerPlan& plan) {
    for (const uint64_t* other = group.FirstDescription; other != group.EndDescription; ++other) {
        const CContainerRecord& description = m_Containers[*other];
        for (uint64_t entry = 0; entry < plan.ChangedBy.GetCount(); ++entry) {
            const uint64_t changedBy = plan.ChangedBy[entry];
            if (changedBy == NoResource)
                continue;
            const CResourceRecord& resource = m_Resources[changedBy];
            const auto dataLength = static_cast<uint32_t>(resource.FileSize - GetHeaderLength(resource));
            AppendGrowing(m_Patches, CLibraryPatch{description.LibraryFile,
                                                   m_Entries[description.FirstEntry + entry].HeaderOffset, 0,
                                                   changedBy, dataLength});
        }
    }
    for (const uint64_t* r = group.Begin; r != group.End; ++r) {
        const CResourceRecord& resource = m_Resources[*r];
        const CContainerRecord& own = m_Containers[resource.Container];
        if (resource.State != EResourceState::Changed || own.InlineHeaders)
            continue;
        const CEntryRecord& header = m_Entries[own.FirstEntry + resource.Entry];
        AppendGrowing(m_Patches,
                      CLibraryPatch{own.LibraryFile, header.HeaderOffset, header.HeaderLength, *r,
                                    static_cast<uint32_t>(resource.FileSize - header.HeaderLength)});
    }
}

void CReimport::PlanContainer(const uint64_t* begin, const uint64_t* end) {
    const uint64_t* firstChanged = std::find_if(
        begin, end, [this](uint64_t r) { return m_Resources[r].State == EResourceState::Changed; });
    const CResourceRecord& lead = m_Resources[*firstChanged];
    CContainerGroup group{begin, end, lead.Container, lead.Archive, lead.ArchiveEntry, nullptr, nullptr};
    const auto descriptions = std::equal_range(m_ContainersByName.begin(), m_ContainersByName.end(),
                                               lead.Container, GetArchiveNameOrder());
    group.FirstDescription = descriptions.first;
    group.EndDescription = descriptions.second;

    CContainerPlan plan;
    plan.Archive = lead.Archive;
    plan.ArchiveEntry = lead.ArchiveEntry;
    plan.Container = lead.Container;
    plan.ChangedBy.Resize(m_Containers[lead.Container].EntryCount);
    for (uint64_t& changedBy : plan.ChangedBy)
        changedBy = NoResource;
    for (const uint64_t* r = begin; r != end; ++r) {
        if (m_Resources[*r].State == EResourceState::Changed &&
            plan.ChangedBy[m_Resources[*r].Entry] == NoResource)
            plan.ChangedBy[m_Resources[*r].Entry] = *r;
    }

    const bool accepted = CheckFileSizes(group) && CheckDescriptions(group) && CheckEntriesAgree(group) &&
                          CheckPlacement(group) && CheckHeadersUnshared(group, plan);
    if (accepted) {
        AddPatches(group, plan);
        AppendGrowing(m_Plans, std::move(plan));
    }
    for (const uint64_t* r = begin; r != end; ++r) {
        CResourceRecord& resource = m_Resources[*r];
        if (resource.State != EResourceState::Changed)
            continue;
        resource.State = accepted ? EResourceState::Reimported : EResourceState::Refused;
        ++(accepted ? m_Changed : m_Refused);
    }
}

// Orders container records by their lower-cased archive names, byte by byte; a name that begins another
// comes first.
auto CReimport::GetArchiveNameOrder() const -> CArchiveNameOrder {
    return CArchiveNameOrder{this};
}

bool CReimport::CArchiveNameOrder::operator()(uint64_t left, uint64_t right) const {
    const CInlineStringA& a = Owner->m_Containers[left].ArchiveName;
    const CInlineStringA& b = Owner->m_Containers[right].ArchiveName;
    const int order = std::memcmp(a.GetData(), b.GetData(), std::min(a.GetLength(), b.GetLength()));
    return order != 0 ? order < 0 : a.GetLength() < b.GetLength();
}

void CReimport::PlanContainers() {
    BuildHeaderRanges();
    for (uint64_t container = 0; container < m_Containers.GetCount(); ++container)
        AppendGrowing(m_ContainersByName, container);
    std::stable_sort(m_ContainersByName.begin(), m_ContainersByName.end(), GetArchiveNameOrder());
    // The resources of one archive entry together, in run order within it.
    CArray<uint64_t> order;
    for (uint64_t r = 0; r < m_Resources.GetCount(); ++r)
        AppendGrowing(order, r);
    std::stable_sort(order.begin(), order.end(), [this](uint64_t a, uint64_t b) {
        return std::less<const CArchiveEntry*>()(m_Resources[a].ArchiveEntry, m_Resources[b].ArchiveEntry);
    });
    for (uint64_t first = 0; first < order.GetCount();) {
        uint64_t last = first;
        bool changed = false;
        while (last < order.GetCount() &&
               m_Resources[order[last]].ArchiveEntry == m_Resources[order[first]].ArchiveEntry)
            changed |= m_Resources[order[last++]].State == EResourceState::Changed;
        if (changed)
            PlanContainer(order.GetData() + first, order.GetData() + last);
        first = last;
    }
}

bool CReimport::CollectDestinationFiles(const CFileList& libraries) {
    const auto add = [this](const char* path, const CArchive* archive, uint64_t libraryFile, bool changed) {
        CDestinationFile file;
        file.SourcePath.Assign(path);
        if (!MakeRelativePath(m_Source, path, file.RelativePath)) {
            Print("Cannot reimport: \"%s\" lies outside the source directory.\n", path);
            return false;
        }
        for (const CDestinationFile& other : m_Files) {
            if (other.RelativePath.GetView() == file.RelativePath.GetView())
                return true;
        }
        file.Archive = archive;
        file.LibraryFile = libraryFile;
        file.Changed = changed;
        AppendGrowing(m_Files, std::move(file));
        return true;
    };
    for (uint64_t position = 0; position < m_Manager->GetArchiveCount(); ++position) {
        const CArchive* archive = m_Manager->GetArchive(position);
        const bool changed =
            std::any_of(m_Plans.begin(), m_Plans.end(),
                        [archive](const CContainerPlan& plan) { return plan.Archive == archive; });
        if (!add(archive->GetPath().GetData(), archive, NoResource, changed))
            return false;
    }
    // Every listed header library, in listing order; those that failed to load are copied as they are.
    for (uint64_t listed = 0; listed < libraries.GetCount(); ++listed) {
        const CStringViewA path(libraries.GetPath(listed));
        uint64_t library = 0;
        while (library < m_LibraryFiles.GetCount() && !(m_LibraryFiles[library].GetView() == path))
            ++library;
        const bool changed =
            std::any_of(m_Patches.begin(), m_Patches.end(),
                        [library](const CLibraryPatch& patch) { return patch.LibraryFile == library; });
        if (!add(path.GetData(), nullptr, library, changed))
            return false;
    }
    return true;
}

bool CReimport::CopyFromTree(FileHandle file, const CResourceRecord& resource, uint64_t offset,
                             uint64_t count) {
    FormatTreePath(resource);
    const FileHandle tree = Os::OpenFile(m_PathBuffer.GetData(), EFileAccess::Read, EFileCreation::OpenExisting);
    uint64_t size = 0;
    bool copied = tree != InvalidFileHandle && Os::GetFileSize(tree, size) && size == resource.FileSize &&
                  Os::Seek(tree, offset);
    CCopyBlock block;
    for (uint64_t done = 0; copied && done < count;) {
        const uint64_t step = std::min(CopyBlockSize, count - done);
        uint64_t bytesRead = 0;
        copied = Os::Read(tree, block.Get(), step, bytesRead) && bytesRead == step &&
                 WriteAll(file, block.Get(), step);
        done += step;
    }
    Os::CloseFile(tree);
    return copied;
}

bool CReimport::WriteContainer(FileHandle file, const CContainerPlan& plan, uint64_t& written) {
    const CContainerRecord& record = m_Containers[plan.Container];
    const CEntryRecord* entries = &m_Entries[record.FirstEntry];
    CArchiveStream stream{plan.Archive, plan.ArchiveEntry, 0, plan.ArchiveEntry->GetSize()};
    CCopyBlock block;
    const uint64_t lastEnd =
        entries[record.EntryCount - 1].SpanOffset + entries[record.EntryCount - 1].SpanLength;
    written = entries[0].SpanOffset + (stream.Size - lastEnd);
    if (!CopyFromStream(file, stream, 0, entries[0].SpanOffset, block))
        return false;
    for (uint64_t entry = 0; entry < record.EntryCount; ++entry) {
        const uint64_t changedBy = plan.ChangedBy[entry];
        if (changedBy == NoResource) {
            written += entries[entry].SpanLength;
            if (!CopyFromStream(file, stream, entries[entry].SpanOffset, entries[entry].SpanLength, block))
                return false;
            continue;
        }
        const CResourceRecord& resource = m_Resources[changedBy];
        if (record.InlineHeaders) {
            // The inline header comes from the file with the new data length in it.
            written += resource.FileSize;
            uint8_t header[InlineHeaderLength];
            FormatTreePath(resource);
            const FileHandle tree = Os::OpenFile(m_PathBuffer.GetData(), EFileAccess::Read, EFileCreation::OpenExisting);
            uint64_t bytesRead = 0;
            const bool read = tree != InvalidFileHandle &&
                              Os::Read(tree, header, InlineHeaderLength, bytesRead) &&
                              bytesRead == InlineHeaderLength;
            Os::CloseFile(tree);
            StoreU32LE(header + HeaderDataLengthOffset,
                       static_cast<uint32_t>(resource.FileSize - InlineHeaderLength));
            if (!read || !WriteAll(file, header, InlineHeaderLength) ||
                !CopyFromTree(file, resource, InlineHeaderLength, resource.FileSize - InlineHeaderLength))
                return false;
            continue;
        }
        const uint64_t headerLength = entries[entry].HeaderLength;
        written += resource.FileSize - headerLength;
        if (!CopyFromTree(file, resource, headerLength, resource.FileSize - headerLength))
            return false;
    }
    return CopyFromStream(file, stream, lastEnd, stream.Size - lastEnd, block);
}

bool CReimport::AppendContainers(FileHandle file, const CArchive& archive) {
    uint64_t size = 0;
    const uint64_t dataEnd = GetScan(&archive).DataEnd;
    if (!Os::GetFileSize(file, size) || !Os::Seek(file, size))
        return false;
    // Zeros up to the end of what the segments claim, so that no segment reads the appended bytes.
    uint64_t position = size;
    if (dataEnd > position) {
        CCopyBlock zeros;
        std::memset(zeros.Get(), 0, CopyBlockSize);
        for (; position < dataEnd;) {
            const uint64_t step = std::min(CopyBlockSize, dataEnd - position);
            if (!WriteAll(file, zeros.Get(), step))
                return false;
            position += step;
        }
    }

    uint32_t referenceCount = archive.GetReferenceCount();
    uint32_t self = referenceCount;
    for (uint32_t reference = 0; reference < referenceCount; ++reference) {
        if (archive.GetReference(reference) == &archive) {
            self = reference;
            break;
        }
    }
    // The new segment of each rebuilt entry, found by the entry's address when the index is written.
    struct CRebuiltEntry {
        const CArchiveEntry* Entry = nullptr;
        CArchiveSegment Segment;
    };
    const auto byEntry = [](const CRebuiltEntry& a, const CRebuiltEntry& b) {
        return std::less<const CArchiveEntry*>()(a.Entry, b.Entry);
    };
    CArray<CRebuiltEntry> rebuilt;
    for (const CContainerPlan& plan : m_Plans) {
        if (plan.Archive != &archive)
            continue;
        uint64_t written = 0;
        if (!WriteContainer(file, plan, written))
            return false;
        CRebuiltEntry entry;
        entry.Entry = plan.ArchiveEntry;
        entry.Segment.ReferenceIndex = self;
        entry.Segment.DataEnd = written;
        entry.Segment.FileOffset = position;
        entry.Segment.Size = written;
        AppendGrowing(rebuilt, entry);
        position += written;
    }
    std::sort(rebuilt.begin(), rebuilt.end(), byEntry);

    CByteBuffer index(CByteBuffer::DefaultGranule);
    for (uint32_t reference = 0; reference < referenceCount; ++reference)
        AppendArchiveString(index, archive.GetReferenceName(reference).GetView());
    if (self == referenceCount) {
        // The archive refers to itself by its file name, which resolves beside it.
        const CStringViewA path = archive.GetPath().GetView();
        const uint64_t slash = std::max(path.FindLastChar('/') + 1, path.FindLastChar('\\') + 1);
        AppendArchiveString(index, path.Substring(slash));
        ++referenceCount;
    }
    for (const CArchiveEntry& entry : archive.GetEntries()) {
        CRebuiltEntry key;
        key.Entry = &entry;
        const CRebuiltEntry* found = std::lower_bound(rebuilt.begin(), rebuilt.end(), key, byEntry);
        if (found != rebuilt.end() && found->Entry == &entry)
            AppendArchiveEntry(index, entry.OpaqueValue, entry.OpaqueBlock, entry.Name.GetView(), &found->Segment, 1);
        else
            AppendArchiveEntry(index, entry.OpaqueValue, entry.OpaqueBlock, entry.Name.GetView(),
                               entry.Segments.GetData(), static_cast<uint32_t>(entry.Segments.GetCount()));
    }
    uint8_t header[ArchiveHeaderSize];
    StoreArchiveHeader(header, archive.GetHeaderValue(),
                       static_cast<uint32_t>(archive.GetEntries().GetCount()), referenceCount, position);
    return WriteAll(file, index.GetData(), index.GetSize()) && WriteAt(file, 0, header, sizeof header);
}

bool CReimport::ApplyPatches(FileHandle file, uint64_t libraryFile) {
    for (const CLibraryPatch& patch : m_Patches) {
        if (patch.LibraryFile != libraryFile)
            continue;
        if (patch.HeaderLength != 0) {
            // The whole header from the tree file; its data length is set below.
            CByteBuffer header(CByteBuffer::DefaultGranule);
            header.Resize(patch.HeaderLength);
            FormatTreePath(m_Resources[patch.Resource]);
            const FileHandle tree = Os::OpenFile(m_PathBuffer.GetData(), EFileAccess::Read, EFileCreation::OpenExisting);
            uint64_t bytesRead = 0;
            const bool read = tree != InvalidFileHandle &&
                              Os::Read(tree, header.GetData(), patch.HeaderLength, bytesRead) &&
                              bytesRead == patch.HeaderLength;
            Os::CloseFile(tree);
            if (!read || !WriteAt(file, patch.Offset, header.GetData(), patch.HeaderLength))
                return false;
        }
        uint8_t dataLength[4];
        StoreU32LE(dataLength, patch.DataLength);
        if (!WriteAt(file, patch.Offset + HeaderDataLengthOffset, dataLength, sizeof dataLength))
            return false;
    }
    return true;
}

bool CReimport::WriteDestinationFile(const CDestinationFile& file, const char* temporaryPath) {
    if (!Os::CopyWholeFile(file.SourcePath.GetData(), temporaryPath))
        return false;
    if (!file.Changed)
        return true;
    const FileHandle handle =
        Os::OpenFile(temporaryPath, EFileAccess::ReadWrite, EFileCreation::OpenExisting);
    if (handle == InvalidFileHandle)
        return false;
    const bool written = file.Archive != nullptr ? AppendContainers(handle, *file.Archive)
                                                 : ApplyPatches(handle, file.LibraryFile);
    Os::CloseFile(handle);
    return written;
}

void CReimport::CountIgnored(void* context, const char* library, const char* fileName, ResourceId, bool) {
    auto& reimport = *static_cast<CReimport*>(context);
    ++reimport.m_Ignored;
    if (!reimport.m_Verbose)
        return;
    CStringBufferA line;
    line.Format("Ignored: %s\\%s\\%s\n", reimport.m_Tree, library, fileName);
    PrintError(line.GetData());
}

EExtractionOutcome CReimport::WriteDestination(const CArchiveManager& manager, const CFileList& libraries) {
    m_Manager = &manager;
    m_Expected.FindUnexpected(m_Tree, &CReimport::CountIgnored, this);
    ScanSegments();
    PlanContainers();
    if (!CollectDestinationFiles(libraries))
        return EExtractionOutcome::Aborted;

    // Every file is written under a temporary name first; only when all of them are complete do they take
    // their final names, so that a failed run leaves nothing half-written under a final name.
    CArray<CInlineStringA> temporaryPaths;
    bool written = CreateDirectoryPath(m_Destination);
    TStringBufferA<260> path;
    for (uint64_t i = 0; written && i < m_Files.GetCount(); ++i) {
        const CDestinationFile& file = m_Files[i];
        path.Format("%s\\%s", m_Destination, file.RelativePath.GetData());
        const uint64_t separator = CStringViewA(path.GetData()).FindLastChar('\\');
        CInlineStringA parent(CStringViewA(path.GetData()).Substring(0, separator));
        path.Append(CStringViewA(TemporarySuffix, sizeof TemporarySuffix - 1));
        AppendGrowing(temporaryPaths, CInlineStringA(CStringViewA(path.GetData())));
        written = CreateDirectoryPath(parent.GetData()) && WriteDestinationFile(file, path.GetData());
    }
    for (uint64_t i = 0; written && i < m_Files.GetCount(); ++i) {
        path.Format("%s\\%s", m_Destination, m_Files[i].RelativePath.GetData());
        written = Os::RenameReplacing(temporaryPaths[i].GetData(), path.GetData());
        if (written)
            ++(m_Files[i].Changed ? m_FilesRewritten : m_FilesCopied);
    }
    if (!written) {
        Print("Failed to write \"%s\".\r\n", path.GetData());
        for (const CInlineStringA& temporary : temporaryPaths)
            (void)Os::RemoveFile(temporary.GetData());
        return EExtractionOutcome::Aborted;
    }
    PrintResults();
    return m_Refused != 0 || m_FailedReads != 0 ? EExtractionOutcome::Failures : EExtractionOutcome::Clean;
}

void CReimport::PrintResults() const {
    CStringBufferA lines;
    for (const CResourceRecord& resource : m_Resources) {
        if (resource.State != EResourceState::Reimported)
            continue;
        const CInlineStringA& library = m_LibraryNames[resource.Library];
        lines.Append("changed\t");
        AppendEscapedText(lines, CStringViewA(library.GetData(), library.GetLength()));
        lines.AppendFormat("\t%.16I64X\t%I64u\t", resource.Id, resource.FileSize);
        const CStringViewA name = GetName(resource);
        AppendEscapedText(lines, CStringViewA(name.GetData(), name.GetLength()));
        lines.Append("\n");
    }
    for (const CDestinationFile& file : m_Files) {
        lines.Append(CStringViewA(file.Changed ? "rewritten\t" : "copied\t", file.Changed ? 10 : 7));
        AppendEscapedText(lines, CStringViewA(file.RelativePath.GetData(), file.RelativePath.GetLength()));
        lines.Append("\n");
    }
    WriteOutput(CStringViewA(lines.GetData(), lines.GetLength()));
}

void CReimport::AppendSummary(CStringBufferA& text, double elapsedSeconds) const {
    text.AppendFormat("Summary: %I64u changed, %I64u unchanged, %I64u missing, %I64u refused, %I64u ignored, "
                      "%I64u failed reads; %I64u files copied, %I64u rewritten; %.2f s\n",
                      m_Changed, m_Unchanged, m_Missing, m_Refused, m_Ignored, m_FailedReads, m_FilesCopied,
                      m_FilesRewritten, elapsedSeconds);
}
