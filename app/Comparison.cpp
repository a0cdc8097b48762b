// Comparison records, the index files compared as built, and the extra files of the library folders.
#include "app/Comparison.h"

#include "app/Listing.h"
#include "app/ResourceReader.h"
#include "archive/ArchiveManager.h"
#include "base/ByteBuffer.h"
#include "base/Console.h"
#include "base/Platform.h"

#include <initializer_list>

namespace {

// The records go to standard output in pieces of about this size.
constexpr uint64_t RecordFlushSize = uint64_t(1) << 16;

const char* GetComparisonName(EFileComparison comparison) {
    switch (comparison) {
    case EFileComparison::Differs:
        return "differs";
    case EFileComparison::Missing:
        return "missing";
    case EFileComparison::NotAFile:
        return "not a file";
    case EFileComparison::Same:
    case EFileComparison::SourceUnreadable:
        break;
    }
    return "";
}

// Sets path to the parts joined by backslashes.
void JoinPath(CStringBufferA& path, std::initializer_list<CStringViewA> parts) {
    path.Assign("");
    for (const CStringViewA& part : parts) {
        if (&part != parts.begin())
            path.Append("\\");
        path.Append(part);
    }
}

} // namespace

bool CTreeComparison::BeginLibrary(const CLibraryScope& library) {
    m_Library = library.Name;
    m_Expected.BeginLibrary(m_Library);
    return true;
}

void CTreeComparison::AddRecord(CStringViewA status, CStringViewA library, const ResourceId* id,
                                uint64_t size, const uint64_t* foundSize, CStringViewA name) {
    char idText[17] = "-";
    if (id != nullptr) {
        ResourceId value = *id;
        for (int i = 15; i >= 0; --i, value >>= 4)
            idText[i] = "0123456789ABCDEF"[value & 15];
        idText[16] = '\0';
    }
    if (m_Json) {
        m_Records.Append("{\"status\": \"");
        m_Records.Append(status);
        m_Records.Append("\", \"library\": ");
        AppendJsonString(m_Records, library);
        if (id != nullptr)
            m_Records.AppendFormat(", \"id\": \"%s\"", idText);
        else
            m_Records.Append(", \"id\": null");
        if (size == CListingLine::UnknownSize)
            m_Records.Append(", \"size\": null");
        else
            m_Records.AppendFormat(", \"size\": %I64u", size);
        if (foundSize != nullptr)
            m_Records.AppendFormat(", \"found_size\": %I64u", *foundSize);
        else
            m_Records.Append(", \"found_size\": null");
        m_Records.Append(", \"name\": ");
        AppendJsonString(m_Records, name);
        m_Records.Append("}\n");
    } else {
        m_Records.Append(status);
        m_Records.Append("\t");
        AppendEscapedText(m_Records, library);
        m_Records.AppendFormat("\t%s\t", idText);
        if (size == CListingLine::UnknownSize)
            m_Records.Append("-");
        else
            m_Records.AppendFormat("%I64u", size);
        if (foundSize != nullptr)
            m_Records.AppendFormat("\t%I64u\t", *foundSize);
        else
            m_Records.Append("\t-\t");
        AppendEscapedText(m_Records, name);
        m_Records.Append("\n");
    }
    if (m_Records.GetLength() >= RecordFlushSize)
        Flush();
}

void CTreeComparison::Flush() {
    WriteOutput(m_Records.GetView());
    m_Records.Assign("");
}

bool CTreeComparison::TakeResource(const CResourceItem& item) {
    const CAdmission& admission = item.Admission;
    if (admission.Status != EResourceStatus::Extract)
        return true;
    const ResourceId id = item.Resource.Id;
    m_Expected.Expect(id);
    FormatResourcePath(m_PathBuffer, m_Tree, m_Library, id);
    const CResourceFile file{id, admission.Header, admission.HeaderLength, admission.Stream,
                             admission.Span.Length};
    // Archive files too short for the content fail the read only where the tree's file has the right size
    // and matches up to there: that comparison is made at once, so that a failed read leaves the id unnamed.
    const bool readable = CanReadResource(admission);
    if (!readable)
        m_Pool.Finish();
    const uint64_t failedReads = m_Counts.FailedReads;
    m_Pool.Compare(file, m_PathBuffer.GetView(), item.Resource.Name, *this);
    if (readable)
        return true;
    m_Pool.Finish();
    return m_Counts.FailedReads == failedReads;
}

void CTreeComparison::TakeComparison(const CComparisonResult& result) {
    const CResourceFile& file = result.File;
    TakeOutcome(result.Outcome, result.Path.GetData(), m_Library, &file.Id, file.HeaderLength + file.Length,
                result.FoundSize, result.Name);
}

void CTreeComparison::TakeOutcome(EFileComparison outcome, const char* path, CStringViewA library,
                                  const ResourceId* id, uint64_t size, uint64_t foundSize,
                                  CStringViewA name) {
    switch (outcome) {
    case EFileComparison::Same:
        ++m_Counts.Same;
        return;
    case EFileComparison::SourceUnreadable:
        ++m_Counts.FailedReads;
        Print("Failed to read \"%s\".\r\n", path);
        return;
    case EFileComparison::Differs:
        ++m_Counts.Differs;
        break;
    case EFileComparison::Missing:
        ++m_Counts.Missing;
        break;
    case EFileComparison::NotAFile:
        ++m_Counts.NotAFile;
        break;
    }
    const bool found = outcome == EFileComparison::Differs;
    AddRecord(GetComparisonName(outcome), library, id, size, found ? &foundSize : nullptr, name);
}

void CTreeComparison::CompareIndexFile(CStringViewA fileName, const void* bytes, uint64_t size) {
    JoinPath(m_PathBuffer, {m_Tree, fileName});
    uint64_t foundSize = 0;
    const EFileComparison comparison = CompareFileWithBytes(m_PathBuffer.GetView(), bytes, size, foundSize);
    TakeOutcome(comparison, m_PathBuffer.GetData(), "", nullptr, size, foundSize, fileName);
}

void CTreeComparison::AddExtra(void* context, CStringViewA library, CStringViewA fileName, ResourceId id,
                               bool hasId) {
    auto& comparison = *static_cast<CTreeComparison*>(context);
    ++comparison.m_Counts.Extra;
    Os::CFileStamp found;
    JoinPath(comparison.m_PathBuffer, {comparison.m_Tree, library, fileName});
    const bool sized = Os::GetRegularFileStamp(comparison.m_PathBuffer.GetView(), found);
    comparison.AddRecord("extra", library, hasId ? &id : nullptr, CListingLine::UnknownSize,
                         sized ? &found.Size : nullptr, fileName);
}

bool CTreeComparison::Finish(const CRunRecords& records) {
    m_Pool.Finish();
    CStringBufferA nameText;
    BuildNameMapText(records.Names, records.NameTextEstimate, nameText);
    CompareIndexFile("NameMap.txt", nameText.GetData(), nameText.GetLength());
    CompareIndexFile("ContainerNameMap.txt", records.ContainerText.GetData(),
                     records.ContainerText.GetLength());
    CompareIndexFile("ExternalResources.txt", records.ExternalText.GetData(),
                     records.ExternalText.GetLength());
    CByteBuffer image(1);
    BuildResMap(records.Names, image);
    CompareIndexFile("ResMap.bin", image.GetData(), image.GetSize());
    m_Expected.FindUnexpected(m_Tree, &CTreeComparison::AddExtra, this);
    Flush();
    return m_Counts.IsIdentical();
}

void CTreeComparison::AppendSummary(CStringBufferA& text, double elapsedSeconds) const {
    if (m_Json) {
        text.AppendFormat("{\"summary\": {\"same\": %I64u, \"different\": %I64u, \"missing\": %I64u, "
                          "\"not_a_file\": %I64u, \"extra\": %I64u, \"failed_reads\": %I64u, "
                          "\"elapsed_seconds\": %.3f}}\n",
                          m_Counts.Same, m_Counts.Differs, m_Counts.Missing, m_Counts.NotAFile,
                          m_Counts.Extra, m_Counts.FailedReads, elapsedSeconds);
        return;
    }
    text.AppendFormat("Summary: %I64u same, %I64u different, %I64u missing, %I64u not a file, %I64u extra, "
                      "%I64u failed reads; %.2f s\n",
                      m_Counts.Same, m_Counts.Differs, m_Counts.Missing, m_Counts.NotAFile, m_Counts.Extra,
                      m_Counts.FailedReads, elapsedSeconds);
}
