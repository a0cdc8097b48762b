// Reimport: comparing the tree as the run goes, then planning and writing the destination.
#include "app/Reimport.h"

#include "app/DestinationPath.h"
#include "app/DestinationWriter.h"
#include "app/FileComparison.h"
#include "app/Listing.h"
#include "app/ReimportPlan.h"
#include "app/ResourceReader.h"
#include "base/Console.h"
#include "headerlib/HeaderLibrary.h"

#include <algorithm>

CReimport::CReimport(CStringViewA source, CStringViewA tree, CStringViewA destination, bool verbose,
                     CWriterPool& pool)
    : m_Source(source), m_Destination(destination), m_Verbose(verbose), m_Pool(pool) {
    m_Records.Tree = tree;
}

bool CReimport::CheckDestination() const {
    return ::CheckDestination(m_Destination, m_Source, m_Records.Tree);
}

bool CReimport::BeginLibrary(const CLibraryScope& scope) {
    AppendGrowing(m_Records.LibraryFiles, CInlineStringA(scope.Path));
    const CHeaderLibrary& library = scope.Library;
    m_CurrentLibrary = m_Records.LibraryNames.GetCount();
    AppendGrowing(m_Records.LibraryNames, CInlineStringA(scope.Name));
    m_Expected.BeginLibrary(scope.Name);
    m_LibraryContainerBase = m_Records.Containers.GetCount();
    const uint8_t* root = library.GetRoot();
    for (uint64_t container = 0; container < library.GetContainerCount(); ++container) {
        const CContainerTable& table = library.GetContainerTables()[container];
        CContainerRecord record;
        record.LibraryFile = m_Records.LibraryFiles.GetCount() - 1;
        record.Path.Assign(library.GetContainerPath(container));
        record.ArchiveName = table.ArchiveName;
        record.ArchiveName.MakeLower();
        record.InlineHeaders = library.HasInlineHeaders(container);
        record.FirstEntry = m_Records.Entries.GetCount();
        record.EntryCount = table.Spans.GetCount();
        for (uint64_t entry = 0; entry < record.EntryCount; ++entry) {
            uint32_t headerLength = 0;
            const uint8_t* header = library.GetEntryHeader(container, entry, headerLength);
            const CEntrySpan& span = table.Spans[entry];
            AppendGrowing(m_Records.Entries,
                          CEntryRecord{m_Records.Containers.GetCount(),
                                       library.GetPayloadFileOffset() + static_cast<uint64_t>(header - root),
                                       headerLength, span});
        }
        AppendGrowing(m_Records.Containers, std::move(record));
    }
    return true;
}

bool CReimport::TakeResource(const CResourceItem& item) {
    const CAdmission& admission = item.Admission;
    if (admission.Status != EResourceStatus::Extract)
        return true;
    const CArchiveStream& stream = admission.Stream;
    m_Expected.Expect(item.Resource.Id);
    CResourceRecord resource;
    resource.Id = item.Resource.Id;
    resource.Library = m_CurrentLibrary;
    resource.Container = m_LibraryContainerBase + admission.Container;
    resource.Entry = GetMemberIndex(item.Resource.MemberId);
    resource.ArchiveData = CArchiveStream{stream.Archive, stream.Entry, 0, stream.Size};
    resource.Name = m_Records.Names.Store(item.Resource.Name);
    AppendGrowing(m_Records.Resources, resource);
    m_Records.FormatTreePath(resource, m_PathBuffer);
    // The comparison runs on the pool; its outcome comes back in order and completes the record. Archive
    // files too short for the content are compared at once, so that a failed read leaves the id unnamed.
    const CResourceFile file{resource.Id, admission.Header, admission.HeaderLength, stream,
                             admission.Span.Length};
    const bool readable = CanReadResource(admission);
    if (!readable)
        m_Pool.Finish();
    const uint64_t failedReads = m_Counts.FailedReads;
    m_Pool.Compare(file, m_PathBuffer.GetView(), CStringViewA(), *this);
    if (readable)
        return true;
    m_Pool.Finish();
    return m_Counts.FailedReads == failedReads;
}

void CReimport::TakeComparison(const CComparisonResult& result) {
    CResourceRecord& resource = m_Records.Resources[m_Compared++];
    resource.FileSize = result.FoundSize;
    switch (result.Outcome) {
    case EFileComparison::Same:
        break;
    case EFileComparison::Differs:
        resource.State = EResourceState::Changed;
        break;
    case EFileComparison::Missing:
    case EFileComparison::NotAFile:
        resource.State = EResourceState::Missing;
        break;
    case EFileComparison::SourceUnreadable:
        ++m_Counts.FailedReads;
        Print("Failed to read \"%s\".\r\n", result.Path.GetData());
        // Nothing is known of the tree's file: the resource is left as it is. A read that fails in the
        // comparison made at once takes back the record of the last resource, as if it had never been taken;
        // one that fails later (an archive file shrank meanwhile) leaves its record missing.
        if (m_Compared == m_Records.Resources.GetCount()) {
            m_Records.Resources.Resize(--m_Compared);
            return;
        }
        resource.State = EResourceState::Missing;
        break;
    }
}

void CReimport::CountIgnored(void* context, CStringViewA library, CStringViewA fileName, ResourceId, bool) {
    auto& reimport = *static_cast<CReimport*>(context);
    ++reimport.m_Counts.Ignored;
    if (!reimport.m_Verbose)
        return;
    CStringBufferA line;
    line.Append("Ignored: ");
    line.Append(reimport.m_Records.Tree);
    line.Append("\\");
    line.Append(library);
    line.Append("\\");
    line.Append(fileName);
    line.Append("\n");
    PrintError(line.GetView());
}

EExtractionOutcome CReimport::WriteDestination(const CArchiveManager& manager, const CFileList& libraries,
                                               CCopyAhead& copies) {
    m_Expected.FindUnexpected(m_Records.Tree, &CReimport::CountIgnored, this);
    CReimportPlan plan;
    PlanReimport(m_Records, manager, plan);
    CDestinationWriter writer(m_Records, plan, copies);
    if (!writer.CollectFiles(manager, libraries, m_Source) || !writer.WriteFiles(m_Destination, m_Counts))
        return EExtractionOutcome::Aborted;
    PrintResults(writer);
    return CountResources(EResourceState::Refused) != 0 || m_Counts.FailedReads != 0
               ? EExtractionOutcome::Failures
               : EExtractionOutcome::Clean;
}

void CReimport::PrintResults(const CDestinationWriter& writer) const {
    CStringBufferA lines;
    for (const CResourceRecord& resource : m_Records.Resources) {
        if (resource.State != EResourceState::Reimported)
            continue;
        lines.Append("changed\t");
        AppendEscapedText(lines, m_Records.LibraryNames[resource.Library].GetView());
        lines.AppendFormat("\t%.16I64X\t%I64u\t", resource.Id, resource.FileSize);
        AppendEscapedText(lines, resource.Name);
        lines.Append("\n");
    }
    for (const CDestinationFile& file : writer.GetFiles()) {
        lines.Append(file.Changed ? CStringViewA("rewritten\t", 10) : CStringViewA("copied\t", 7));
        AppendEscapedText(lines, file.RelativePath.GetView());
        lines.Append("\n");
    }
    WriteOutput(lines.GetView());
}

uint64_t CReimport::CountResources(EResourceState state) const {
    const CArray<CResourceRecord>& resources = m_Records.Resources;
    return static_cast<uint64_t>(
        std::count_if(resources.begin(), resources.end(),
                      [state](const auto& resource) { return resource.State == state; }));
}

// Planning leaves no resource Changed: each became Reimported, which the summary calls changed, or Refused.
void CReimport::AppendSummary(CStringBufferA& text, double elapsedSeconds) const {
    const CReimportCounts& c = m_Counts;
    text.AppendFormat("Summary: %I64u changed, %I64u unchanged, %I64u missing, %I64u refused, %I64u ignored, "
                      "%I64u failed reads; %I64u files copied, %I64u rewritten; %.2f s\n",
                      CountResources(EResourceState::Reimported), CountResources(EResourceState::Unchanged),
                      CountResources(EResourceState::Missing), CountResources(EResourceState::Refused),
                      c.Ignored, c.FailedReads, c.FilesCopied, c.FilesRewritten, elapsedSeconds);
}
