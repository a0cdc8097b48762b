// The extraction mode: library folders, resource files through the writer pool, the index files.
#include "app/ExtractHandler.h"

#include "app/Options.h"
#include "app/Report.h"
#include "app/ResourceReader.h"
#include "app/WriterPool.h"
#include "base/File.h"

#include <algorithm>

CExtractHandler::~CExtractHandler() {
    Os::CloseFile(m_OutputFolder);
}

// Makes the library's folder when missing and opens it once: the pool creates every file of the library
// relative to the handle, so that a folder renamed and replaced by a link during the run cannot redirect
// them. A library called ".." would put its files beside the output directory, and a link in the library's
// place wherever it points: both fail. The output directory itself (a name of "" or ".") is the user's to
// choose, link or not. Something else at the name, such as a file, is no folder: the library goes on with
// an invalid handle, and each of its files fails to be written. Returns why it failed, "" for the system's
// last error, or null.
const char* CExtractHandler::OpenLibraryFolder(CStringViewA name, FileHandle& folder) {
    const CStringViewA output = m_Context.Options.Output;
    folder = InvalidFileHandle;
    if (name == "..")
        return "the library name is not a folder name";
    if (m_OutputFolder == InvalidFileHandle) {
        if (!CreateDirectoryPath(output))
            return "";
        m_OutputFolder = Os::OpenDirectory(output);
        if (m_OutputFolder == InvalidFileHandle)
            return "";
    }
    if (name.IsEmpty() || name == ".") {
        folder = Os::OpenDirectory(output);
        return folder != InvalidFileHandle ? nullptr : "";
    }
    if (Os::MakeDirectoryIn(m_OutputFolder, output, name) == ECreateDirectory::Failed)
        return "";
    folder = Os::OpenDirectoryIn(m_OutputFolder, output, name);
    if (folder == InvalidFileHandle && Os::IsSymbolicLink(m_PathBuffer.GetData()))
        return "it is a symbolic link";
    return nullptr;
}

bool CExtractHandler::CreateLibraryDirectory(CStringViewA name) {
    m_PathBuffer.Format("%s\\%s", m_Context.Options.Output.GetData(), name.GetData());
    FileHandle folder = InvalidFileHandle;
    const char* reason = OpenLibraryFolder(name, folder);
    if (reason == nullptr) {
        m_Context.Pool.SetFolder(folder, m_PathBuffer.GetView());
        return true;
    }
    const uint32_t error = Os::GetLastErrorCode();
    m_Context.Pool.Message("Failed to create output directory \"%s\".\r\n", m_PathBuffer.GetData());
    if (m_Context.Options.Verbosity != EVerbosity::Verbose)
        return false;
    CStringBufferA description;
    if (reason[0] == '\0')
        Os::DescribeError(error, description);
    CStringBufferA line;
    line.Format("VorskExtract: cannot create directory \"%s\": %s.\n", m_PathBuffer.GetData(),
                reason[0] != '\0' ? reason : description.GetData());
    m_Context.Pool.ErrorMessage(line.GetView());
    return false;
}

bool CExtractHandler::BeginLibrary(const CLibraryScope& library) {
    if (!CreateLibraryDirectory(library.Name))
        return false;
    m_Languages.CountContainers(library.Library);
    return true;
}

bool CExtractHandler::KeepsExistingFile(uint64_t size) const {
    Os::CFileStamp existing;
    return m_Context.Options.SkipExisting && Os::GetRegularFileStamp(m_PathBuffer.GetView(), existing) &&
           existing.Size == size;
}

bool CExtractHandler::TakeResource(const CResourceItem& item) {
    const CAdmission& admission = item.Admission;
    if (admission.Status != EResourceStatus::Extract)
        return true;
    item.FormatPath(m_PathBuffer, m_Context.Options.Output);
    if (KeepsExistingFile(admission.Size)) {
        ++m_Context.Counts.KeptExisting;
        return true;
    }
    // The archive's index promised these bytes: losing them is reported, and the id stays free.
    if (!CanReadResource(admission)) {
        ReportFailedRead(m_Context, m_PathBuffer.GetView());
        return false;
    }
    // Counted when queued, so that the progress line moves; Finish takes the writers' own counts.
    ++m_Context.Counts.Written;
    m_Context.Counts.WrittenBytes += admission.Size;
    m_Context.Pool.Write(CResourceFile{item.Resource.Id, admission.Header, admission.HeaderLength,
                                       admission.Stream, admission.Span.Length});
    return true;
}

// A file whose read failed on a writer leaves its id unnamed, as a read that fails before the file is
// queued does; the other names keep their order.
const CNameMap& CExtractHandler::GetNamesWithoutFailedReads(const CNameMap& names) {
    const CArray<ResourceId>& failed = m_Context.Pool.GetFailedReads();
    if (failed.GetCount() == 0)
        return names;
    for (const CNameMap::Entry& entry : names) {
        if (std::find(failed.begin(), failed.end(), entry.Key) != failed.end())
            continue;
        m_WrittenNames.FindOrInsert(entry.Key) = entry.Value;
    }
    return m_WrittenNames;
}

bool CExtractHandler::Finish(const CRunRecords& records) {
    const CWriteCounts& writes = m_Context.Pool.Finish();
    m_Context.Counts.Written = writes.FilesWritten;
    m_Context.Counts.WrittenBytes = writes.BytesWritten;
    m_Context.Counts.FailedWrites = writes.FailedWrites;
    m_Context.Counts.FailedReads += writes.FailedReads;
    m_Languages.WarnAboutUnknownLocale(m_Context.Options);
    const bool indexFilesWritten =
        WriteIndexFiles(m_PathBuffer, m_Context.Options.Output, GetNamesWithoutFailedReads(records.Names),
                        records.NameTextEstimate, records.ContainerText, records.ExternalText);
    return writes.FailedWrites == 0 && writes.FailedReads == 0 && indexFilesWritten;
}
