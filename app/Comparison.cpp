// Comparison records, the index files compared as built, and the extra files of the library folders.
#include "app/Comparison.h"

#include "app/Listing.h"
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
    const CStringViewA name = item.Resource.Name;
    CArchiveStream stream = admission.Stream;
    const CExpectedContent expected{admission.Header, admission.HeaderLength, &stream, admission.Span.Length};
    m_Expected.Expect(id);
    FormatResourcePath(m_PathBuffer, m_Tree, m_Library, id);
    uint64_t foundSize = 0;
    const EFileComparison comparison = CompareFileWithContent(m_PathBuffer.GetView(), expected, foundSize);
    switch (comparison) {
    case EFileComparison::Same:
        ++m_Counts.Same;
        return true;
    case EFileComparison::SourceUnreadable:
        ++m_Counts.FailedReads;
        Print("Failed to read \"%s\".\r\n", m_PathBuffer.GetData());
        return false;
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
    const bool found = comparison == EFileComparison::Differs;
    AddRecord(GetComparisonName(comparison), m_Library, &id, expected.GetSize(), found ? &foundSize : nullptr,
              name);
    return true;
}

void CTreeComparison::CompareIndexFile(CStringViewA fileName, const void* bytes, uint64_t size) {
    JoinPath(m_PathBuffer, {m_Tree, fileName});
    uint64_t foundSize = 0;
    const EFileComparison comparison = CompareFileWithBytes(m_PathBuffer.GetView(), bytes, size, foundSize);
    switch (comparison) {
    case EFileComparison::Same:
        ++m_Counts.Same;
        return;
    case EFileComparison::Differs:
        ++m_Counts.Differs;
        break;
    case EFileComparison::Missing:
    case EFileComparison::SourceUnreadable:
        ++m_Counts.Missing;
        break;
    case EFileComparison::NotAFile:
        ++m_Counts.NotAFile;
        break;
    }
    const bool found = comparison == EFileComparison::Differs;
    AddRecord(GetComparisonName(comparison), "", nullptr, size, found ? &foundSize : nullptr, fileName);
}

void CTreeComparison::AddExtra(void* context, CStringViewA library, CStringViewA fileName, ResourceId id,
                               bool hasId) {
    auto& comparison = *static_cast<CTreeComparison*>(context);
    ++comparison.m_Counts.Extra;
    uint64_t foundSize = 0;
    JoinPath(comparison.m_PathBuffer, {comparison.m_Tree, library, fileName});
    const bool sized = Os::GetRegularFileSize(comparison.m_PathBuffer.GetView(), foundSize);
    comparison.AddRecord("extra", library, hasId ? &id : nullptr, CListingLine::UnknownSize,
                         sized ? &foundSize : nullptr, fileName);
}

bool CTreeComparison::Finish(const CRunRecords& records) {
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
