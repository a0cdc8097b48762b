// The extraction mode: library folders, resource files through the writer pool, the index files.
#include "app/ExtractHandler.h"

#include "app/Options.h"
#include "app/Report.h"
#include "app/ResourceReader.h"
#include "app/WriterPool.h"
#include "base/Console.h"
#include "base/File.h"

// A library called ".." would put its files beside the output directory instead of inside it, and a link in
// the library's place would put them wherever it points. The output directory itself (a name of "" or ".")
// is the user's to choose, link or not.
bool CExtractHandler::CreateLibraryDirectory(CStringViewA name) {
    m_PathBuffer.Format("%s\\%s", m_Context.Options.Output, name.GetData());
    const char* reason = nullptr;
    uint32_t error = 0;
    if (name == "..")
        reason = "the library name is not a folder name";
    else if (!CreateDirectoryPath(m_PathBuffer.GetData()))
        error = Os::GetLastErrorCode();
    else if (!name.IsEmpty() && name != "." && Os::IsSymbolicLink(m_PathBuffer.GetData()))
        reason = "it is a symbolic link";
    else
        return true;
    m_Context.Pool.Message("Failed to create output directory \"%s\".\r\n", m_PathBuffer.GetData());
    if (m_Context.Options.Verbosity != EVerbosity::Verbose)
        return false;
    CStringBufferA description;
    if (reason == nullptr)
        Os::DescribeError(error, description);
    CStringBufferA line;
    line.Format("VorskExtract: cannot create directory \"%s\": %s.\n", m_PathBuffer.GetData(),
                reason != nullptr ? reason : description.GetData());
    PrintError(line.GetData());
    return false;
}

bool CExtractHandler::BeginLibrary(const CLibraryScope& library) {
    if (!CreateLibraryDirectory(library.Name))
        return false;
    m_Languages.CountContainers(library.Library);
    return true;
}

bool CExtractHandler::KeepsExistingFile(uint64_t size) const {
    uint64_t existingSize = 0;
    return m_Context.Options.SkipExisting && Os::GetRegularFileSize(m_PathBuffer.GetData(), existingSize) &&
           existingSize == size;
}

// The one place where resource bytes go to the writers: the pool takes the buffer's bytes over.
void CExtractHandler::QueueWrite() {
    m_Context.Pool.Write(m_PathBuffer.GetData(), m_ResourceBuffer);
}

bool CExtractHandler::TakeResource(const CResourceItem& item) {
    if (item.Admission.Status != EResourceStatus::Extract)
        return true;
    item.FormatPath(m_PathBuffer, m_Context.Options.Output);
    if (KeepsExistingFile(item.Admission.Size)) {
        ++m_Context.Counts.KeptExisting;
        return true;
    }
    // The archive's index promised these bytes: losing them is reported, and the id stays free.
    if (!ReadResource(item.Admission, m_ResourceBuffer)) {
        ReportFailedRead(m_Context, m_PathBuffer.GetData());
        return false;
    }
    // Counted when queued, so that the progress line moves; Finish takes the writers' own counts.
    ++m_Context.Counts.Written;
    m_Context.Counts.WrittenBytes += item.Admission.Size;
    QueueWrite();
    return true;
}

bool CExtractHandler::Finish(const CRunRecords& records) {
    const WriteCounts& writes = m_Context.Pool.Finish();
    m_Context.Counts.Written = writes.FilesWritten;
    m_Context.Counts.WrittenBytes = writes.BytesWritten;
    m_Context.Counts.FailedWrites = writes.FailedWrites;
    m_Languages.WarnAboutUnknownLocale(m_Context.Options);
    const bool indexFilesWritten =
        WriteIndexFiles(m_PathBuffer, m_Context.Options.Output, records.Names, records.NameTextEstimate,
                        records.ContainerText, records.ExternalText);
    return writes.FailedWrites == 0 && indexFilesWritten;
}
