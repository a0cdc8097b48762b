// The header library phase: loading each library, recording its names, handing its resources to the mode.
#include "app/HeaderLibraryPhase.h"

#include "app/Admission.h"
#include "app/ExtractHandler.h"
#include "app/ListHandler.h"
#include "app/LocalesHandler.h"
#include "app/Report.h"
#include "app/ResourceHandler.h"
#include "app/TestHandler.h"
#include "app/WriterPool.h"
#include "base/ByteBuffer.h"
#include "base/Console.h"
#include "base/FileList.h"
#include "base/Platform.h"
#include "headerlib/HeaderLibrary.h"
#include "resid/ResourcePath.h"

namespace {

// Per resource, the name map text needs its two 20- and 16-character fields, three separators and CR LF
// beside the name itself.
constexpr uint64_t NameLineOverhead = 19;

// Everything one run keeps from one header library to the next: the loaded library, the file buffer, the
// records of the run. Buffers are reused and never shrink. What a mode does with the resources is the
// handler's; the phase takes every mode's common steps.
class CHeaderLibraryPhase {
public:
    CHeaderLibraryPhase(CArchiveManager& manager, const CRunOptions& options, CRunReport& report,
                        CWriterPool& pool)
        : m_Manager(manager), m_Options(options), m_Report(report), m_Pool(pool) {}

    // Processes one listed header library; false when it printed a failure.
    bool ProcessLibrary(const char* path, CResourceHandler& handler);
    const CRunRecords& GetRecords() const { return m_Records; }

private:
    [[nodiscard]] bool ReadWholeFile(const char* path);
    void TakeLibraryName(const char* path);
    void SetName(ResourceId id, CStringViewA name);
    void RecordContainers();
    void RecordExternalResources();
    bool ProcessResource(const CLibraryResource& resource, const CLibraryScope& scope,
                         CResourceHandler& handler);
    void CountStatus(const CLibraryResource& resource, const CAdmission& admission);

    CArchiveManager& m_Manager;
    const CRunOptions& m_Options;
    CRunReport& m_Report;
    CWriterPool& m_Pool;
    CRunRecords m_Records;
    CByteBuffer m_FileBuffer{CByteBuffer::DefaultGranule};
    CHeaderLibrary m_Library;
    CInlineStringA m_LibraryName;
    // The last archive look-up, asked again for every resource of the same container.
    CEntryLookup m_Lookup;
};

bool CHeaderLibraryPhase::ReadWholeFile(const char* path) {
    // The buffer is not cleared: the read below fills all of the size it sets, and a shorter read fails the
    // load, so no byte of an earlier library is ever read. Zeroing the storage cost a pass over megabytes per
    // library.
    m_FileBuffer.Resize(0);
    const FileHandle file = Os::OpenFile(path, EFileAccess::Read, EFileCreation::OpenExisting);
    if (file == InvalidFileHandle)
        return false;
    uint64_t size = 0;
    uint64_t bytesRead = 0;
    // A file of 4 GiB or more is beyond what a header library can describe.
    const bool sized = Os::GetFileSize(file, size) && size <= 0xFFFFFFFFu;
    if (sized)
        m_FileBuffer.Resize(size);
    const bool read = sized && Os::Read(file, m_FileBuffer.GetData(), size, bytesRead) && bytesRead == size;
    Os::CloseFile(file);
    return read;
}

void CHeaderLibraryPhase::TakeLibraryName(const char* path) {
    m_LibraryName.Assign(path);
    m_LibraryName.ReplaceBackslashes();
    const uint64_t slash = m_LibraryName.GetView().FindLastChar('/');
    if (slash != CInlineStringA::npos)
        m_LibraryName.Erase(0, slash + 1);
    const uint64_t dot = m_LibraryName.GetView().FindLastChar('.');
    if (dot != CInlineStringA::npos)
        m_LibraryName.Erase(dot, CInlineStringA::npos);
}

void CHeaderLibraryPhase::SetName(ResourceId id, CStringViewA name) {
    // A copy in the name store: names viewed in the payload would change under the next library.
    m_Records.Names.FindOrInsert(id) = m_Records.NameStore.Store(name);
}

void CHeaderLibraryPhase::RecordContainers() {
    const uint64_t count = m_Library.GetContainerCount();
    for (uint64_t container = 0; container < count; ++container) {
        const CStringViewA path(m_Library.GetContainerPath(container));
        SetName(ResourcePath::GetId(path), path);
        AppendContainerLine(m_Records.ContainerText,
                            m_Library.GetContainerTables()[container].ArchiveName.GetView(), path,
                            m_LibraryName.GetView());
    }
}

void CHeaderLibraryPhase::RecordExternalResources() {
    for (const CExternalResource& external : m_Library.GetExternalResources()) {
        AppendExternalLine(m_Records.ExternalText, external.Id, external.Name.GetView(),
                           external.ArchiveName.GetView());
        SetName(external.Id, external.Name.GetView());
    }
}

void CHeaderLibraryPhase::CountStatus(const CLibraryResource& resource, const CAdmission& admission) {
    CRunCounts& counts = m_Report.Counts;
    switch (admission.Status) {
    case EResourceStatus::Named:
        ++counts.AlreadyNamed;
        break;
    case EResourceStatus::Locale:
        ++counts.SkippedByLocale;
        break;
    case EResourceStatus::Unavailable:
        ++counts.Unavailable;
        if (m_Options.Verbosity == EVerbosity::Verbose) {
            CStringBufferA line;
            line.Format("Unavailable: %s\\%.16I64X %s (%s)\n", m_LibraryName.GetData(), resource.Id,
                        resource.Name.GetData(), admission.Reason);
            m_Pool.ErrorMessage(line.GetView());
        }
        break;
    case EResourceStatus::Extract:
    case EResourceStatus::Unreadable:
        break;
    }
}

bool CHeaderLibraryPhase::ProcessResource(const CLibraryResource& resource, const CLibraryScope& scope,
                                          CResourceHandler& handler) {
    const CAdmission admission = AdmitResource(m_Library, m_Records.Names, m_Manager, m_Lookup,
                                               m_Options.Locale, m_Options.Filter, resource);
    if (admission.Status != EResourceStatus::Named)
        m_Records.NameTextEstimate += NameLineOverhead + resource.Name.GetLength();
    const bool admitted = admission.Status == EResourceStatus::Extract;
    if (admission.FilteredOut) {
        // Left out by the patterns, but named as an extraction would name it, so that the index files and
        // the later libraries' decisions stay those of a full run.
        ++m_Report.Counts.FilteredOut;
        if (admitted) {
            handler.TakeFilteredOut(CResourceItem{resource, admission, scope});
            SetName(resource.Id, resource.Name);
        }
        return true;
    }
    CountStatus(resource, admission);
    if (!handler.TakeResource(CResourceItem{resource, admission, scope}))
        return false;
    // The id is named whether or not its file gets written, so that no later library tries it again.
    if (admitted)
        SetName(resource.Id, resource.Name);
    return true;
}

bool CHeaderLibraryPhase::ProcessLibrary(const char* path, CResourceHandler& handler) {
    // Files still queued may borrow entry headers from the library about to be replaced.
    m_Pool.ReleaseHeaders();
    if (!ReadWholeFile(path) || !m_Library.Load(m_FileBuffer)) {
        m_Pool.Message("Failed to load \"%s\".\n", path);
        ++m_Report.Counts.LibrariesFailed;
        return false;
    }
    ++m_Report.Counts.LibrariesLoaded;
    TakeLibraryName(path);
    const CLibraryScope scope{CStringViewA(path), m_LibraryName.GetView(), m_Library};
    if (!handler.BeginLibrary(scope))
        return false;
    m_Pool.Message("Processing %s...\r\n", path);
    RecordContainers();
    RecordExternalResources();
    if (!handler.TakesResources())
        return true;
    bool clean = true;
    for (const CLibraryResource& resource : m_Library.GetResources()) {
        // A run whose standard output failed writes nothing more; the driver ends it.
        if (HasOutputFailed())
            return false;
        clean &= ProcessResource(resource, scope, handler);
        m_Report.Tick();
    }
    return clean;
}

bool ProcessWith(CFileList& files, CHeaderLibraryPhase& phase, CResourceHandler& handler) {
    bool clean = true;
    const char* path = nullptr;
    while (!HasOutputFailed() && (path = files.NextPath()) != nullptr)
        clean &= phase.ProcessLibrary(path, handler);
    return handler.Finish(phase.GetRecords()) && clean;
}

} // namespace

EExtractionOutcome ProcessHeaderLibraries(CFileList& files, CArchiveManager& manager,
                                          const CRunOptions& options, CRunReport& report, CWriterPool& pool,
                                          CResourceHandler* handler) {
    if (!files.FindFiles(options.Source, "*.pc_headerlib")) {
        pool.Message("No pc_headerlib files found in %s\n", options.Source.GetData());
        return EExtractionOutcome::Aborted;
    }
    report.LibrariesTotal = files.GetCount();
    CHeaderLibraryPhase phase(manager, options, report, pool);
    const CHandlerContext context{options, report.Counts, pool};
    if (handler != nullptr)
        return ProcessWith(files, phase, *handler) ? EExtractionOutcome::Clean : EExtractionOutcome::Failures;
    // The mode's handler, chosen once for the run.
    bool clean = true;
    switch (options.Mode) {
    case ERunMode::Compare:
    case ERunMode::Reimport:
        // Their handlers come from the caller, which ends their runs.
        break;
    case ERunMode::Extract: {
        CExtractHandler handler(context);
        clean = ProcessWith(files, phase, handler);
        break;
    }
    case ERunMode::List: {
        CListHandler handler(context);
        clean = ProcessWith(files, phase, handler);
        break;
    }
    case ERunMode::Locales: {
        CLocalesHandler handler;
        clean = ProcessWith(files, phase, handler);
        break;
    }
    case ERunMode::Test: {
        CTestHandler handler(context);
        clean = ProcessWith(files, phase, handler);
        break;
    }
    }
    return clean ? EExtractionOutcome::Clean : EExtractionOutcome::Failures;
}
