// The header library phase: loading each library, deciding on and writing its resources, the index files.
#include "app/HeaderLibraryPhase.h"

#include "app/Listing.h"
#include "app/OutputFiles.h"
#include "app/Report.h"
#include "app/WriterPool.h"
#include "archive/ArchiveManager.h"
#include "base/Array.h"
#include "base/ByteBuffer.h"
#include "base/Console.h"
#include "base/File.h"
#include "base/FileList.h"
#include "base/Memory.h"
#include "headerlib/HeaderLibrary.h"
#include "resid/ResourcePath.h"

#include <algorithm>
#include <cstring>

namespace {

// Per resource, the name map text needs its two 20- and 16-character fields, three separators and CR LF
// beside the name itself.
constexpr uint64_t NameLineOverhead = 19;
// Growth of the resource buffer beyond its storage while an entry's bytes arrive: the bytes read so far plus
// this many at a time.
constexpr uint64_t ResourceReadStep = uint64_t(1) << 20;
// The listing is handed to standard output in pieces of about this size.
constexpr uint64_t ListingFlushSize = uint64_t(1) << 16;

// The characters of the names that the name map keeps, copied with their terminators into blocks that are
// filled one after another and freed together when the store is destroyed; a block never moves, so the map's
// values borrow from it. One allocation per megabyte of names instead of one per name: a run names every
// resource, and a heap block per name (and freeing them all at the end) cost a tenth of a run's instructions.
class CNameStore {
public:
    CNameStore() = default;
    CNameStore(const CNameStore&) = delete;
    CNameStore& operator=(const CNameStore&) = delete;
    ~CNameStore() {
        for (char* block : m_Blocks)
            FreeMemory(block);
    }

    // A copy of length characters of text followed by a terminator, valid while the store exists. Stops the
    // process when memory runs out, as the copy in a string of its own would.
    const char* Store(const char* text, uint64_t length) {
        if (length >= m_Left) {
            // A name longer than a block gets a block of its own; the rest of the current one is left unused.
            const uint64_t size = length < BlockSize ? BlockSize : length + 1;
            char* block = static_cast<char*>(AllocateOrStop(size));
            if (!m_Blocks.Append(block)) {
                FreeMemory(block);
                StopOutOfMemory();
            }
            m_Next = block;
            m_Left = size;
        }
        char* copy = m_Next;
        std::memcpy(copy, text, length);
        copy[length] = '\0';
        m_Next += length + 1;
        m_Left -= length + 1;
        return copy;
    }

private:
    static constexpr uint64_t BlockSize = uint64_t(1) << 20;

    CArray<char*> m_Blocks;
    char* m_Next = nullptr;
    uint64_t m_Left = 0;
};

// What the admission decision found out about one resource. The fields past Status are filled as far as the
// decision got: Container and Size once the container and the entry position are known, the span and the
// header once the resource is admitted.
struct CAdmission {
    EResourceStatus Status = EResourceStatus::Extract;
    // Why an unavailable resource is unavailable, for --verbose.
    const char* Reason = "";
    const CContainerTable* Table = nullptr;
    uint64_t Container = 0;
    EntrySpan Span;
    const uint8_t* Header = nullptr;
    uint32_t HeaderLength = 0;
    uint64_t Size = CListingLine::UnknownSize;
};

// A language that the containers of the loaded header libraries list, with how many containers and
// resources list it.
struct CLanguageCount {
    uint64_t Containers = 0;
    uint64_t Resources = 0;
};
using CLanguageMap = CHashMap<CInlineStringA, CLanguageCount>;

// Everything one run keeps from one header library to the next. Buffers are reused and never shrink.
class CHeaderLibraryPhase {
public:
    CHeaderLibraryPhase(CArchiveManager& manager, const CRunOptions& options, CRunReport& report,
                        CWriterPool& pool)
        : m_Manager(manager), m_Options(options), m_Report(report), m_Counts(report.Counts), m_Pool(pool) {}

    // Processes one listed header library; false when it printed a failure.
    bool ProcessLibrary(const char* path);
    // Ends the run as its mode asks: waits for the writes and writes the index files, or prints the
    // languages, the rest of the listing and the warning about an unknown locale. False when anything failed.
    bool Finish();

private:
    [[nodiscard]] bool ReadWholeFile(const char* path);
    void TakeLibraryName(const char* path);
    [[nodiscard]] bool CreateLibraryDirectory();
    void SetName(ResourceId id, CStringViewA name);
    void RecordContainers();
    void RecordExternalResources();
    void CountLanguages();
    // Takes every resource of the loaded library as the mode asks; false when one printed a failure.
    bool ProcessResources();
    bool ProcessResource(const CLibraryResource& resource);
    // The one admission decision: the first of the extraction's tests that stops the resource, in their
    // order, or Extract with the stream positioned at the resource's bytes.
    EResourceStatus Admit(const CLibraryResource& resource, CAdmission& admission);
    bool IsLocaleAdmitted(uint64_t container) const;
    [[nodiscard]] bool ReadResource(const CAdmission& admission);
    void ListResource(const CLibraryResource& resource, const CAdmission& admission);
    void FlushListing();
    void PrintLanguages();
    void WarnAboutUnknownLocale();
    void PrintReason(const char* what, const char* path);

    CArchiveManager& m_Manager;
    const CRunOptions& m_Options;
    CRunReport& m_Report;
    CRunCounts& m_Counts;
    CWriterPool& m_Pool;
    // Declared before the map, so that it is destroyed after the values that borrow from it.
    CNameStore m_NameStore;
    CNameMap m_Names;
    CStringBufferA m_ContainerText;
    CStringBufferA m_ExternalText;
    uint64_t m_NameTextEstimate = 0;
    CByteBuffer m_FileBuffer{CByteBuffer::DefaultGranule};
    CByteBuffer m_ResourceBuffer{CByteBuffer::DefaultGranule};
    CHeaderLibrary m_Library;
    CInlineStringA m_LibraryName;
    TStringBufferA<260> m_PathBuffer;
    CArchiveStream m_Stream;
    CLanguageMap m_Languages;
    CStringBufferA m_Listing;
    bool m_Clean = true;
};

bool CHeaderLibraryPhase::ReadWholeFile(const char* path) {
    // The buffer is not cleared: the read below fills all of the size it sets, and a shorter read fails the
    // load, so no byte of an earlier library is ever read. Zeroing the storage cost a pass over megabytes per
    // library.
    (void)m_FileBuffer.Resize(0);
    const FileHandle file = OpenFile(path, "r");
    if (file == InvalidFileHandle)
        return false;
    uint64_t size = 0;
    uint64_t bytesRead = 0;
    // A file of 4 GiB or more is beyond what a header library can describe.
    const bool sized = Os::GetFileSize(file, size) && size <= 0xFFFFFFFFu;
    if (sized && !m_FileBuffer.Resize(size))
        StopOutOfMemory();
    const bool read = sized && Os::Read(file, m_FileBuffer.GetData(), size, bytesRead) && bytesRead == size;
    CloseFile(file);
    return read;
}

void CHeaderLibraryPhase::TakeLibraryName(const char* path) {
    m_LibraryName.Assign(path);
    m_LibraryName.ReplaceBackslashes();
    const uint64_t slash = CStringViewA(m_LibraryName).FindLastChar('/');
    if (slash != CInlineStringA::npos)
        m_LibraryName.Erase(0, slash + 1);
    const uint64_t dot = CStringViewA(m_LibraryName).FindLastChar('.');
    if (dot != CInlineStringA::npos)
        m_LibraryName.Erase(dot, CInlineStringA::npos);
}

bool CHeaderLibraryPhase::CreateLibraryDirectory() {
    m_PathBuffer.Format("%s\\%s", m_Options.Output, m_LibraryName.GetData());
    // A library called ".." would put its files beside the output directory instead of inside it, and a
    // link in the library's place would put them wherever it points. The output directory itself (a name of
    // "" or ".") is the user's to choose, link or not.
    const bool isOutput = m_LibraryName.IsEmpty() || m_LibraryName == ".";
    if (m_LibraryName != ".." && CreateDirectoryPath(m_PathBuffer.GetData()) &&
        (isOutput || !Os::IsSymbolicLink(m_PathBuffer.GetData())))
        return true;
    const uint32_t error = Os::GetLastErrorCode();
    m_Pool.Message("Failed to create output directory \"%s\".\r\n", m_PathBuffer.GetData());
    Os::SetLastErrorCode(error);
    PrintReason("create directory", m_PathBuffer.GetData());
    return false;
}

void CHeaderLibraryPhase::SetName(ResourceId id, CStringViewA name) {
    CStringViewA* value = m_Names.FindOrInsert(id);
    if (value == nullptr)
        StopOutOfMemory();
    // A copy in the name store: names viewed in the payload would change under the next library.
    *value = CStringViewA(m_NameStore.Store(name.GetData(), name.GetLength()), name.GetLength());
}

void CHeaderLibraryPhase::RecordContainers() {
    const uint64_t count = m_Library.GetContainerCount();
    for (uint64_t container = 0; container < count; ++container) {
        const CStringViewA path(m_Library.GetContainerPath(container));
        SetName(CResourcePath::GetId(path), path);
        AppendContainerLine(m_ContainerText, m_Library.GetContainerTables()[container].ArchiveName.GetData(),
                            path.GetData(), m_LibraryName.GetData());
    }
}

void CHeaderLibraryPhase::RecordExternalResources() {
    for (const CExternalResource& external : m_Library.GetExternalResources()) {
        AppendExternalLine(m_ExternalText, external.Id, external.Name.GetData(), external.ArchiveName.GetData());
        SetName(external.Id, external.Name);
    }
}

// Every run keeps the languages the containers list, so that an extraction can warn about a locale that
// none of them lists; only --locales counts the resources of each.
void CHeaderLibraryPhase::CountLanguages() {
    const uint64_t containerCount = m_Library.GetContainerCount();
    for (uint64_t container = 0; container < containerCount; ++container) {
        const uint64_t count = m_Library.GetLanguageCount(container);
        for (uint64_t language = 0; language < count; ++language) {
            const char* name = m_Library.GetLanguageName(container, language);
            if (name == nullptr)
                continue;
            CLanguageCount* counts = m_Languages.Find(CStringViewA(name));
            if (counts == nullptr && (counts = m_Languages.FindOrInsert(CInlineStringA(name))) == nullptr)
                StopOutOfMemory();
            ++counts->Containers;
        }
    }
    if (m_Options.Mode != ERunMode::Locales)
        return;
    for (const CLibraryResource& resource : m_Library.GetResources()) {
        const uint64_t* position = m_Library.FindContainer(GetLibraryId(resource.MemberId));
        if (position == nullptr || *position >= containerCount)
            continue;
        const uint64_t count = m_Library.GetLanguageCount(*position);
        for (uint64_t language = 0; language < count; ++language) {
            const char* name = m_Library.GetLanguageName(*position, language);
            if (name != nullptr)
                ++m_Languages.Find(CStringViewA(name))->Resources;
        }
    }
}

bool CHeaderLibraryPhase::IsLocaleAdmitted(uint64_t container) const {
    const uint64_t count = m_Library.GetLanguageCount(container);
    for (uint64_t language = 0; language < count; ++language) {
        const char* name = m_Library.GetLanguageName(container, language);
        if (name != nullptr && (std::strcmp(name, "all") == 0 || std::strcmp(name, m_Options.Locale) == 0))
            return true;
    }
    return false;
}

EResourceStatus CHeaderLibraryPhase::Admit(const CLibraryResource& resource, CAdmission& admission) {
    admission = CAdmission();
    if (m_Names.Find(resource.Id) != nullptr)
        return admission.Status = EResourceStatus::Named;
    m_NameTextEstimate += NameLineOverhead + resource.Name.GetLength();

    admission.Status = EResourceStatus::Unavailable;
    const uint64_t* position = m_Library.FindContainer(GetLibraryId(resource.MemberId));
    if (position == nullptr || *position >= m_Library.GetContainerCount()) {
        admission.Reason = "no container";
        return admission.Status;
    }
    admission.Container = *position;
    admission.Table = &m_Library.GetContainerTables()[admission.Container];
    const uint32_t entry = GetMemberIndex(resource.MemberId);
    const bool hasEntry = entry < admission.Table->Spans.GetCount();
    if (hasEntry) {
        admission.Span = admission.Table->Spans[entry];
        if (!m_Library.HasInlineHeaders(admission.Container))
            admission.Header = m_Library.GetEntryHeader(admission.Container, entry, admission.HeaderLength);
        admission.Size = admission.HeaderLength + admission.Span.Length;
    }
    if (!IsLocaleAdmitted(admission.Container))
        return admission.Status = EResourceStatus::Locale;
    if (!hasEntry) {
        admission.Reason = "entry position beyond the container's entries";
        return admission.Status;
    }

    m_Manager.OpenEntry(m_Stream, admission.Table->ArchiveName.GetData());
    if (m_Stream.Archive == nullptr || m_Stream.Entry == nullptr) {
        admission.Reason = "no archive holds the container";
        return admission.Status;
    }
    if (admission.Span.Offset > m_Stream.Size || admission.Span.Length > m_Stream.Size - admission.Span.Offset) {
        admission.Reason = "the entry's bytes lie beyond the archive entry";
        return admission.Status;
    }
    // Files of 4 GiB or more are beyond what the index files can describe.
    if (admission.Size > 0xFFFFFFFFu) {
        admission.Reason = "size past 32 bits";
        return admission.Status;
    }
    m_Stream.Position = admission.Span.Offset;
    return admission.Status = EResourceStatus::Extract;
}

// Fills the resource buffer with the header and then the entry's bytes from the stream. The entry's size is
// only what its archive claims, and the files need not hold that many bytes, so the buffer grows as the
// bytes arrive instead of all at once: a hostile size costs no more memory than the data that exists, and
// storage that cannot be had for it stops the run. False when the bytes do not all arrive.
bool CHeaderLibraryPhase::ReadResource(const CAdmission& admission) {
    if (!m_ResourceBuffer.Resize(admission.HeaderLength))
        StopOutOfMemory();
    if (admission.Header != nullptr)
        std::memcpy(m_ResourceBuffer.GetData(), admission.Header, admission.HeaderLength);
    uint64_t filled = admission.HeaderLength;
    while (filled < admission.Size) {
        const uint64_t reach = std::max(m_ResourceBuffer.GetCapacity(), 2 * filled + ResourceReadStep);
        const uint64_t end = std::min(admission.Size, reach);
        if (!m_ResourceBuffer.Resize(end))
            StopOutOfMemory();
        const uint64_t count = end - filled;
        if (m_Stream.Read(m_ResourceBuffer.GetData() + filled, count) != count)
            return false;
        filled = end;
    }
    return true;
}

void CHeaderLibraryPhase::ListResource(const CLibraryResource& resource, const CAdmission& admission) {
    CListingLine line;
    line.Library = m_LibraryName.GetData();
    line.Id = resource.Id;
    line.Size = admission.Size;
    line.Status = admission.Status;
    line.Name = resource.Name.GetData();
    line.NameLength = resource.Name.GetLength();
    if (admission.Table != nullptr) {
        line.Container = m_Library.GetContainerPath(admission.Container);
        line.ArchiveName = admission.Table->ArchiveName.GetData();
    }
    if (m_Options.Json)
        AppendListingJson(m_Listing, line);
    else
        AppendListingText(m_Listing, line);
    if (m_Listing.GetLength() >= ListingFlushSize)
        FlushListing();
}

void CHeaderLibraryPhase::FlushListing() {
    WriteOutput(m_Listing.GetData(), m_Listing.GetLength());
    m_Listing.Assign("");
}

// With --verbose, the operating system's reason for the failure that was just printed, on standard error.
void CHeaderLibraryPhase::PrintReason(const char* what, const char* path) {
    if (m_Options.Verbosity != EVerbosity::Verbose)
        return;
    CStringBufferA reason;
    Os::DescribeError(Os::GetLastErrorCode(), reason);
    CStringBufferA line;
    line.Format("VorskExtract: cannot %s \"%s\": %s.\n", what, path, reason.GetData());
    PrintError(line.GetData());
}

bool CHeaderLibraryPhase::ProcessResource(const CLibraryResource& resource) {
    CAdmission admission;
    const EResourceStatus status = Admit(resource, admission);
    if (!m_Options.Filter.IsTaken(resource.Name.GetData(), resource.Name.GetLength())) {
        // Left out by the patterns, but named as an extraction would name it, so that the index files and
        // the later libraries' decisions stay those of a full run.
        ++m_Counts.FilteredOut;
        if (status == EResourceStatus::Extract)
            SetName(resource.Id, resource.Name);
        return true;
    }
    switch (status) {
    case EResourceStatus::Named:
        ++m_Counts.AlreadyNamed;
        break;
    case EResourceStatus::Locale:
        ++m_Counts.SkippedByLocale;
        break;
    case EResourceStatus::Unavailable:
        ++m_Counts.Unavailable;
        if (m_Options.Verbosity == EVerbosity::Verbose) {
            CStringBufferA line;
            line.Format("Unavailable: %s\\%.16I64X %s (%s)\n", m_LibraryName.GetData(), resource.Id,
                        resource.Name.GetData(), admission.Reason);
            PrintError(line.GetData());
        }
        break;
    case EResourceStatus::Extract:
        break;
    }
    if (m_Options.Mode == ERunMode::List) {
        ListResource(resource, admission);
        if (status == EResourceStatus::Extract) {
            ++m_Counts.Written;
            m_Counts.WrittenBytes += admission.Size;
            SetName(resource.Id, resource.Name);
        }
        return true;
    }
    if (status != EResourceStatus::Extract)
        return true;

    const bool writes = m_Options.Mode == ERunMode::Extract;
    if (writes) {
        FormatResourcePath(m_PathBuffer, m_Options.Output, m_LibraryName.GetData(), resource.Id);
        uint64_t existingSize = 0;
        if (m_Options.SkipExisting && Os::GetRegularFileSize(m_PathBuffer.GetData(), existingSize) &&
            existingSize == admission.Size) {
            ++m_Counts.KeptExisting;
            SetName(resource.Id, resource.Name);
            return true;
        }
    }
    // The archive's index promised these bytes: losing them is reported, and the id stays free.
    if (!ReadResource(admission)) {
        // A test run has no output directory: the path is the one below it.
        if (!writes)
            m_PathBuffer.Format("%s\\%.16I64X.bin", m_LibraryName.GetData(), resource.Id);
        m_Pool.Message("Failed to read \"%s\".\r\n", m_PathBuffer.GetData());
        ++m_Counts.FailedReads;
        if (m_Options.Verbosity == EVerbosity::Verbose) {
            CStringBufferA line;
            line.Format("VorskExtract: cannot read \"%s\": the archives hold fewer of its bytes than their index "
                        "promises, or a read failed.\n",
                        m_PathBuffer.GetData());
            PrintError(line.GetData());
        }
        return false;
    }
    // Counted when queued, so that the progress line moves; an extraction takes the writers' own counts
    // at the end.
    ++m_Counts.Written;
    m_Counts.WrittenBytes += admission.Size;
    if (writes)
        m_Pool.Write(m_PathBuffer.GetData(), m_ResourceBuffer);
    // The id is named whether or not the write succeeds, so that no later library tries it again.
    SetName(resource.Id, resource.Name);
    return true;
}

bool CHeaderLibraryPhase::ProcessResources() {
    bool clean = true;
    for (const CLibraryResource& resource : m_Library.GetResources()) {
        clean &= ProcessResource(resource);
        m_Report.Tick();
    }
    return clean;
}

bool CHeaderLibraryPhase::ProcessLibrary(const char* path) {
    if (!ReadWholeFile(path) || !m_Library.Load(m_FileBuffer)) {
        m_Pool.Message("Failed to load \"%s\".\n", path);
        ++m_Counts.LibrariesFailed;
        return false;
    }
    ++m_Counts.LibrariesLoaded;
    TakeLibraryName(path);
    if (m_Options.Mode == ERunMode::Extract && !CreateLibraryDirectory())
        return false;
    m_Pool.Message("Processing %s...\r\n", path);
    RecordContainers();
    RecordExternalResources();
    CountLanguages();
    if (m_Options.Mode == ERunMode::Locales)
        return true;
    return ProcessResources();
}

void CHeaderLibraryPhase::PrintLanguages() {
    CArray<const CLanguageMap::Entry*> sorted;
    if (!sorted.Reserve(m_Languages.GetCount()))
        StopOutOfMemory();
    for (const CLanguageMap::Entry& entry : m_Languages)
        (void)sorted.Append(&entry);
    // By the names' bytes; a name that is the start of another comes first.
    std::sort(sorted.begin(), sorted.end(), [](const CLanguageMap::Entry* left, const CLanguageMap::Entry* right) {
        const uint64_t common = std::min(left->Key.GetLength(), right->Key.GetLength());
        const int order = std::memcmp(left->Key.GetData(), right->Key.GetData(), common);
        return order != 0 ? order < 0 : left->Key.GetLength() < right->Key.GetLength();
    });
    for (const CLanguageMap::Entry* entry : sorted) {
        AppendEscapedText(m_Listing, entry->Key.GetData(), entry->Key.GetLength());
        m_Listing.AppendFormat("\t%I64u\t%I64u\n", entry->Value.Containers, entry->Value.Resources);
    }
    FlushListing();
}

// A locale that no container lists is most likely a typing error: the run goes on as asked, but says which
// languages there are.
void CHeaderLibraryPhase::WarnAboutUnknownLocale() {
    if (!m_Options.LocaleGiven || std::strcmp(m_Options.Locale, "all") == 0 ||
        m_Languages.Find(CStringViewA(m_Options.Locale)) != nullptr)
        return;
    CStringBufferA line;
    line.Format("Warning: no container lists the locale \"%s\"; the languages found are:", m_Options.Locale);
    bool first = true;
    for (const CLanguageMap::Entry& entry : m_Languages) {
        line.Append(first ? " " : ", ", first ? 1 : 2);
        line.Append(entry.Key.GetData(), entry.Key.GetLength());
        first = false;
    }
    line.Append(first ? " none.\n" : ".\n", first ? 7 : 2);
    PrintError(line.GetData());
}

bool CHeaderLibraryPhase::Finish() {
    const WriteCounts& writes = m_Pool.Finish();
    if (m_Options.Mode == ERunMode::Extract) {
        m_Counts.Written = writes.FilesWritten;
        m_Counts.WrittenBytes = writes.BytesWritten;
        m_Counts.FailedWrites = writes.FailedWrites;
        m_Clean &= writes.FailedWrites == 0;
    }
    switch (m_Options.Mode) {
    case ERunMode::Extract:
        WarnAboutUnknownLocale();
        m_Clean &= WriteIndexFiles(m_PathBuffer, m_Options.Output, m_Names, m_NameTextEstimate, m_ContainerText,
                                   m_ExternalText);
        break;
    case ERunMode::List:
        FlushListing();
        break;
    case ERunMode::Locales:
        PrintLanguages();
        break;
    case ERunMode::Test:
        WarnAboutUnknownLocale();
        break;
    }
    return m_Clean;
}

} // namespace

EExtractionOutcome ProcessHeaderLibraries(CFileList& files, CArchiveManager& manager, const CRunOptions& options,
                                          CRunReport& report, CWriterPool& pool) {
    if (!files.FindFiles(options.Source, "*.pc_headerlib")) {
        pool.Message("No pc_headerlib files found in %s\n", options.Source);
        return EExtractionOutcome::Aborted;
    }
    report.LibrariesTotal = files.GetCount();
    CHeaderLibraryPhase phase(manager, options, report, pool);
    bool clean = true;
    while (const char* path = files.NextPath())
        clean &= phase.ProcessLibrary(path);
    clean &= phase.Finish();
    return clean ? EExtractionOutcome::Clean : EExtractionOutcome::Failures;
}
