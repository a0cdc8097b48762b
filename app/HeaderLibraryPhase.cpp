// The header library phase: loading each library, selecting and writing its resources, the index files.
#include "app/HeaderLibraryPhase.h"

#include "app/OutputFiles.h"
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

// Everything one run keeps from one header library to the next. Buffers are reused and never shrink.
class CHeaderLibraryPhase {
public:
    CHeaderLibraryPhase(CArchiveManager& manager, const char* output, const char* locale)
        : m_Manager(manager), m_Output(output), m_Locale(locale) {}

    // Processes one listed header library; false when it printed a failure.
    bool ProcessLibrary(const char* path);
    // Writes the four index files; false when one of them failed.
    bool WriteIndexFiles() {
        return ::WriteIndexFiles(m_PathBuffer, m_Output, m_Names, m_NameTextEstimate, m_ContainerText,
                                 m_ExternalText);
    }

private:
    [[nodiscard]] bool ReadWholeFile(const char* path);
    void TakeLibraryName(const char* path);
    void SetName(ResourceId id, CStringViewA name);
    void RecordContainers();
    void RecordExternalResources();
    // Extracts every resource of the loaded library; false when a resource file could not be written.
    bool ExtractResources();
    // Extracts one resource, unless a test of its selection skips it silently; false when its bytes could not
    // be read or its file could not be written.
    bool ExtractResource(const CLibraryResource& resource);
    bool IsLocaleAdmitted(uint64_t container) const;
    [[nodiscard]] bool ReadResource(const uint8_t* header, uint32_t headerLength, uint64_t fileSize);

    CArchiveManager& m_Manager;
    const char* m_Output;
    const char* m_Locale;
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

bool CHeaderLibraryPhase::IsLocaleAdmitted(uint64_t container) const {
    const uint64_t count = m_Library.GetLanguageCount(container);
    for (uint64_t language = 0; language < count; ++language) {
        const char* name = m_Library.GetLanguageName(container, language);
        if (name != nullptr && (std::strcmp(name, "all") == 0 || std::strcmp(name, m_Locale) == 0))
            return true;
    }
    return false;
}

bool CHeaderLibraryPhase::ExtractResource(const CLibraryResource& resource) {
    if (m_Names.Find(resource.Id) != nullptr)
        return true;
    m_NameTextEstimate += NameLineOverhead + resource.Name.GetLength();

    const uint64_t* position = m_Library.FindContainer(GetLibraryId(resource.MemberId));
    if (position == nullptr || *position >= m_Library.GetContainerCount())
        return true;
    const uint64_t container = *position;
    if (!IsLocaleAdmitted(container))
        return true;
    const CContainerTable& table = m_Library.GetContainerTables()[container];
    const uint32_t entry = GetMemberIndex(resource.MemberId);
    if (entry >= table.Spans.GetCount())
        return true;
    const EntrySpan span = table.Spans[entry];

    m_Manager.OpenEntry(m_Stream, table.ArchiveName.GetData());
    if (m_Stream.Archive == nullptr || m_Stream.Entry == nullptr || span.Offset > m_Stream.Size ||
        span.Length > m_Stream.Size - span.Offset)
        return true;
    m_Stream.Position = span.Offset;

    const uint8_t* header = nullptr;
    uint32_t headerLength = 0;
    if (!m_Library.HasInlineHeaders(container))
        header = m_Library.GetEntryHeader(container, entry, headerLength);
    // Files of 4 GiB or more are beyond what the index files can describe.
    const uint64_t fileSize = uint64_t(headerLength) + span.Length;
    if (fileSize > 0xFFFFFFFFu)
        return true;
    // The archive's index promised these bytes: losing them is reported, and the id stays free.
    if (!ReadResource(header, headerLength, fileSize)) {
        FormatResourcePath(m_PathBuffer, m_Output, m_LibraryName.GetData(), resource.Id);
        Print("Failed to read \"%s\".\r\n", m_PathBuffer.GetData());
        return false;
    }

    const bool written = WriteResourceFile(m_PathBuffer, m_Output, m_LibraryName.GetData(), resource.Id,
                                           m_ResourceBuffer.GetData(), fileSize);
    // The id is named whether or not the write succeeded, so that no later library tries it again.
    SetName(resource.Id, resource.Name);
    return written;
}

// Fills the resource buffer with the header and then the entry's bytes from the stream, fileSize bytes in
// all. The entry's size is only what its archive claims, and the files need not hold that many bytes, so the
// buffer grows as the bytes arrive instead of all at once: a hostile size costs no more memory than the
// data that exists, and storage that cannot be had for it stops the run. False when the bytes do not all
// arrive.
bool CHeaderLibraryPhase::ReadResource(const uint8_t* header, uint32_t headerLength, uint64_t fileSize) {
    if (!m_ResourceBuffer.Resize(headerLength))
        StopOutOfMemory();
    if (header != nullptr)
        std::memcpy(m_ResourceBuffer.GetData(), header, headerLength);
    uint64_t filled = headerLength;
    while (filled < fileSize) {
        const uint64_t reach = std::max(m_ResourceBuffer.GetCapacity(), 2 * filled + ResourceReadStep);
        const uint64_t end = std::min(fileSize, reach);
        if (!m_ResourceBuffer.Resize(end))
            StopOutOfMemory();
        const uint64_t count = end - filled;
        if (m_Stream.Read(m_ResourceBuffer.GetData() + filled, count) != count)
            return false;
        filled = end;
    }
    return true;
}

bool CHeaderLibraryPhase::ExtractResources() {
    bool allWritten = true;
    for (const CLibraryResource& resource : m_Library.GetResources())
        allWritten &= ExtractResource(resource);
    return allWritten;
}

bool CHeaderLibraryPhase::ProcessLibrary(const char* path) {
    if (!ReadWholeFile(path) || !m_Library.Load(m_FileBuffer)) {
        Print("Failed to load \"%s\".\n", path);
        return false;
    }
    TakeLibraryName(path);
    m_PathBuffer.Format("%s\\%s", m_Output, m_LibraryName.GetData());
    // A library called ".." would put its files beside the output directory instead of inside it, and a
    // link in the library's place would put them wherever it points. The output directory itself (a name of
    // "" or ".") is the user's to choose, link or not.
    const bool isOutput = m_LibraryName.IsEmpty() || m_LibraryName == ".";
    if (m_LibraryName == ".." || !CreateDirectoryPath(m_PathBuffer.GetData()) ||
        (!isOutput && Os::IsSymbolicLink(m_PathBuffer.GetData()))) {
        Print("Failed to create output directory \"%s\".\r\n", m_PathBuffer.GetData());
        return false;
    }
    Print("Processing %s...\r\n", path);
    RecordContainers();
    RecordExternalResources();
    return ExtractResources();
}

} // namespace

EExtractionOutcome ProcessHeaderLibraries(CFileList& files, CArchiveManager& manager, const char* source,
                                          const char* output, const char* locale) {
    if (!files.FindFiles(source, "*.pc_headerlib")) {
        Print("No pc_headerlib files found in %s\n", source);
        return EExtractionOutcome::Aborted;
    }
    CHeaderLibraryPhase phase(manager, output, locale);
    bool clean = true;
    while (const char* path = files.NextPath())
        clean &= phase.ProcessLibrary(path);
    clean &= phase.WriteIndexFiles();
    return clean ? EExtractionOutcome::Clean : EExtractionOutcome::Failures;
}
