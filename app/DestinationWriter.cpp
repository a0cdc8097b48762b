// The destination's files: staged under temporary names, archives and libraries changed in their copies.
#include "app/DestinationWriter.h"

#include "app/CopyAhead.h"
#include "app/DestinationPath.h"
#include "archive/ArchiveManager.h"
#include "archive/ArchiveWriter.h"
#include "base/ByteBuffer.h"
#include "base/ByteOrder.h"
#include "base/Console.h"
#include "base/File.h"
#include "base/FileList.h"
#include "base/Memory.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace {

// Copies move through a block of this size; nothing is ever held whole.
constexpr uint64_t CopyBlockSize = uint64_t(1) << 20;
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

bool WriteZeros(FileHandle file, uint64_t count) {
    CCopyBlock zeros;
    std::memset(zeros.Get(), 0, CopyBlockSize);
    for (uint64_t done = 0; done < count;) {
        const uint64_t step = std::min(CopyBlockSize, count - done);
        if (!WriteAll(file, zeros.Get(), step))
            return false;
        done += step;
    }
    return true;
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

// The index of the archive's reference to itself; the reference count when it has none.
uint32_t FindSelfReference(const CArchive& archive) {
    for (uint32_t reference = 0; reference < archive.GetReferenceCount(); ++reference) {
        if (archive.GetReference(reference) == &archive)
            return reference;
    }
    return archive.GetReferenceCount();
}

} // namespace

bool CDestinationWriter::AddFile(CStringViewA path, const CArchive* archive, uint64_t libraryFile,
                                 bool changed) {
    CDestinationFile file;
    file.SourcePath.Assign(path);
    if (!MakeRelativePath(m_Source, path, NativePathRules, file.RelativePath)) {
        Print("Cannot reimport: \"%s\" lies outside the source directory.\n", file.SourcePath.GetData());
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
}

bool CDestinationWriter::CollectFiles(const CArchiveManager& manager, const CFileList& libraries,
                                      CStringViewA source) {
    m_Source = source;
    for (uint64_t position = 0; position < manager.GetArchiveCount(); ++position) {
        const CArchive* archive = manager.GetArchive(position);
        const bool changed = std::any_of(
            m_Plan.Containers.begin(), m_Plan.Containers.end(),
            [archive](const CContainerPlan& plan) { return plan.ArchiveData.Archive == archive; });
        if (!AddFile(archive->GetPath().GetView(), archive, NoResource, changed))
            return false;
    }
    // Every listed header library, in listing order; those that failed to load are copied as they are.
    for (uint64_t listed = 0; listed < libraries.GetCount(); ++listed) {
        const CStringViewA path(libraries.GetPath(listed));
        uint64_t library = 0;
        while (library < m_Records.LibraryFiles.GetCount() &&
               !(m_Records.LibraryFiles[library].GetView() == path))
            ++library;
        const bool changed =
            std::any_of(m_Plan.Patches.begin(), m_Plan.Patches.end(),
                        [library](const CLibraryPatch& patch) { return patch.LibraryFile == library; });
        if (!AddFile(path, nullptr, library, changed))
            return false;
    }
    return true;
}

bool CDestinationWriter::ReadTreeHeader(const CResourceRecord& resource, uint8_t* header, uint64_t length) {
    m_Records.FormatTreePath(resource, m_PathBuffer);
    const FileHandle tree =
        Os::OpenFile(m_PathBuffer.GetView(), EFileAccess::Read, EFileCreation::OpenExisting);
    uint64_t bytesRead = 0;
    const bool read =
        tree != InvalidFileHandle && Os::Read(tree, header, length, bytesRead) && bytesRead == length;
    Os::CloseFile(tree);
    return read;
}

bool CDestinationWriter::CopyFromTree(FileHandle file, const CResourceRecord& resource, uint64_t offset,
                                      uint64_t count) {
    m_Records.FormatTreePath(resource, m_PathBuffer);
    const FileHandle tree =
        Os::OpenFile(m_PathBuffer.GetView(), EFileAccess::Read, EFileCreation::OpenExisting);
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

// Writes the tree file of the resource that changes entry in place of its span, and adds what it wrote.
bool CDestinationWriter::WriteChangedEntry(FileHandle file, const CContainerPlan& plan, uint64_t entry,
                                           uint64_t& written) {
    const CResourceRecord& resource = m_Records.Resources[plan.ChangedBy[entry]];
    if (!m_Records.Containers[plan.Container].InlineHeaders) {
        const uint64_t headerLength = m_Records.GetEntry(plan.Container, entry).HeaderLength;
        written += resource.FileSize - headerLength;
        return CopyFromTree(file, resource, headerLength, resource.FileSize - headerLength);
    }
    // The inline header comes from the file with the new data length in it.
    written += resource.FileSize;
    uint8_t header[InlineHeaderLength];
    const bool read = ReadTreeHeader(resource, header, InlineHeaderLength);
    StoreU32LE(header + HeaderDataLengthOffset,
               static_cast<uint32_t>(resource.FileSize - InlineHeaderLength));
    return read && WriteAll(file, header, InlineHeaderLength) &&
           CopyFromTree(file, resource, InlineHeaderLength, resource.FileSize - InlineHeaderLength);
}

bool CDestinationWriter::WriteContainer(FileHandle file, const CContainerPlan& plan, uint64_t& written) {
    const CContainerRecord& record = m_Records.Containers[plan.Container];
    const CEntryRecord* entries = &m_Records.Entries[record.FirstEntry];
    CArchiveStream stream = plan.ArchiveData;
    CCopyBlock block;
    const CEntrySpan& last = entries[record.EntryCount - 1].Span;
    const uint64_t lastEnd = last.Offset + last.Length;
    written = entries[0].Span.Offset + (stream.Size - lastEnd);
    if (!CopyFromStream(file, stream, 0, entries[0].Span.Offset, block))
        return false;
    for (uint64_t entry = 0; entry < record.EntryCount; ++entry) {
        if (plan.ChangedBy[entry] != NoResource) {
            if (!WriteChangedEntry(file, plan, entry, written))
                return false;
            continue;
        }
        const CEntrySpan& span = entries[entry].Span;
        written += span.Length;
        if (!CopyFromStream(file, stream, span.Offset, span.Length, block))
            return false;
    }
    return CopyFromStream(file, stream, lastEnd, stream.Size - lastEnd, block);
}

bool CDestinationWriter::AppendContainers(FileHandle file, const CArchive& archive) {
    uint64_t position = 0;
    const uint64_t dataEnd = m_Plan.GetScan(&archive).DataEnd;
    if (!Os::GetFileSize(file, position) || !Os::Seek(file, position))
        return false;
    // Zeros up to the end of what the segments claim, so that no segment reads the appended bytes.
    if (dataEnd > position) {
        if (!WriteZeros(file, dataEnd - position))
            return false;
        position = dataEnd;
    }
    const uint32_t self = FindSelfReference(archive);
    m_Rebuilt.Clear();
    for (const CContainerPlan& plan : m_Plan.Containers) {
        if (plan.ArchiveData.Archive != &archive)
            continue;
        uint64_t written = 0;
        if (!WriteContainer(file, plan, written))
            return false;
        CRebuiltEntry entry;
        entry.Entry = plan.ArchiveData.Entry;
        entry.Segment.ReferenceIndex = self;
        entry.Segment.DataEnd = written;
        entry.Segment.FileOffset = position;
        entry.Segment.Size = written;
        AppendGrowing(m_Rebuilt, entry);
        position += written;
    }
    return AppendIndex(file, archive, self, position);
}

// Writes the new index at indexOffset, the file's end: the references (with one to the archive itself
// when self says it has none), then every entry, a rebuilt one with its new segment; then points the
// header at it.
bool CDestinationWriter::AppendIndex(FileHandle file, const CArchive& archive, uint32_t self,
                                     uint64_t indexOffset) {
    const auto byEntry = [](const CRebuiltEntry& a, const CRebuiltEntry& b) {
        return std::less<const CArchiveEntry*>()(a.Entry, b.Entry);
    };
    std::sort(m_Rebuilt.begin(), m_Rebuilt.end(), byEntry);
    CByteBuffer index(CByteBuffer::DefaultGranule);
    uint32_t referenceCount = archive.GetReferenceCount();
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
        const CRebuiltEntry* found = std::lower_bound(m_Rebuilt.begin(), m_Rebuilt.end(), key, byEntry);
        const bool rebuilt = found != m_Rebuilt.end() && found->Entry == &entry;
        AppendArchiveEntry(index, entry.OpaqueValue, entry.OpaqueBlock, entry.Name.GetView(),
                           rebuilt ? &found->Segment : entry.Segments.GetData(),
                           rebuilt ? 1 : static_cast<uint32_t>(entry.Segments.GetCount()));
    }
    uint8_t header[ArchiveHeaderSize];
    StoreArchiveHeader(header, archive.GetHeaderValue(),
                       static_cast<uint32_t>(archive.GetEntries().GetCount()), referenceCount, indexOffset);
    return WriteAll(file, index.GetData(), index.GetSize()) && WriteAt(file, 0, header, sizeof header);
}

bool CDestinationWriter::ApplyPatches(FileHandle file, uint64_t libraryFile) {
    for (const CLibraryPatch& patch : m_Plan.Patches) {
        if (patch.LibraryFile != libraryFile)
            continue;
        const CEntryRecord& entry = m_Records.Entries[patch.Entry];
        if (patch.WholeHeader && entry.HeaderLength != 0) {
            // The whole header from the tree file; its data length is set below.
            CByteBuffer header(CByteBuffer::DefaultGranule);
            header.Resize(entry.HeaderLength);
            if (!ReadTreeHeader(m_Records.Resources[patch.Resource], header.GetData(), entry.HeaderLength) ||
                !WriteAt(file, entry.HeaderOffset, header.GetData(), entry.HeaderLength))
                return false;
        }
        uint8_t dataLength[4];
        StoreU32LE(dataLength, patch.DataLength);
        if (!WriteAt(file, entry.HeaderOffset + HeaderDataLengthOffset, dataLength, sizeof dataLength))
            return false;
    }
    return true;
}

bool CDestinationWriter::WriteFile(const CDestinationFile& file, CStringViewA temporaryPath) {
    if (!m_Copies.Take(file.SourcePath.GetView(), temporaryPath) &&
        !Os::CopyWholeFile(file.SourcePath.GetView(), temporaryPath))
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

// Every file is written under a temporary name first; only when all of them are complete do they take
// their final names, so that a failed run leaves nothing half-written under a final name.
bool CDestinationWriter::WriteFiles(CStringViewA destination, CReimportCounts& counts) {
    // Paths are far shorter than INT_MAX characters.
    const int length = static_cast<int>(destination.GetLength());
    CArray<CInlineStringA> temporaryPaths;
    bool written = CreateDirectoryPath(destination);
    TStringBufferA<260> path;
    for (uint64_t i = 0; written && i < m_Files.GetCount(); ++i) {
        path.Format("%.*s\\%s", length, destination.GetData(), m_Files[i].RelativePath.GetData());
        const uint64_t separator = path.GetView().FindLastChar('\\');
        CInlineStringA parent(path.GetView().Substring(0, separator));
        path.Append(CStringViewA(TemporarySuffix, sizeof TemporarySuffix - 1));
        AppendGrowing(temporaryPaths, CInlineStringA(path.GetView()));
        written = CreateDirectoryPath(parent.GetView());
    }
    // The files that no copy made ahead holds come first: they are written while the copies of the others
    // may still be under way.
    for (const bool copiedAhead : {false, true}) {
        for (uint64_t i = 0; written && i < m_Files.GetCount(); ++i) {
            if (m_Copies.Holds(m_Files[i].SourcePath.GetView()) != copiedAhead)
                continue;
            path.Assign(temporaryPaths[i].GetView());
            written = WriteFile(m_Files[i], path.GetView());
        }
    }
    for (uint64_t i = 0; written && i < m_Files.GetCount(); ++i) {
        path.Format("%.*s\\%s", length, destination.GetData(), m_Files[i].RelativePath.GetData());
        written = Os::RenameReplacing(temporaryPaths[i].GetView(), path.GetView());
        if (written)
            ++(m_Files[i].Changed ? counts.FilesRewritten : counts.FilesCopied);
    }
    if (written)
        return true;
    Print("Failed to write \"%s\".\r\n", path.GetData());
    for (const CInlineStringA& temporary : temporaryPaths)
        (void)Os::RemoveFile(temporary.GetView());
    return false;
}
