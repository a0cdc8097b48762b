// CArchive: opening an archive file, reading and checking its index, and the entry name index.
#include "archive/Archive.h"

#include "base/ByteOrder.h"
#include "base/Memory.h"

#include <cstring>
#include <utility>

CArchive::CArchive(CArchiveReferences& references, CStringViewA path)
    : m_Path(path), m_ReferenceSource(&references) {}

CArchive::~CArchive() {
    Close();
    ReleaseReadBuffer();
    // The index borrows the entries' names, so it goes first.
    m_EntryIndex.Clear();
    m_Entries.Clear();
}

void CArchive::Close() {
    Os::CloseFile(m_File);
    m_File = InvalidFileHandle;
    m_References.Clear();
    m_ReferenceNames.Clear();
}

bool CArchive::Open() {
    Close();
    m_File = Os::OpenFile(m_Path.GetView(), EFileAccess::Read, EFileCreation::OpenExisting);
    if (m_File == InvalidFileHandle)
        return false;
    m_Position = 0;
    m_BufferLength = 0;
    bool success = Os::GetFileSize(m_File, m_FileSize) && ReadIndex();
    ReleaseReadBuffer();
    if (success)
        return true;
    Close();
    return false;
}

bool CArchive::ReadIndex() {
    uint32_t magic = 0;
    if (!ReadU32(magic) || magic != ArchiveMagic)
        return false;
    uint32_t entryCount = 0;
    uint32_t referenceCount = 0;
    uint64_t indexOffset = 0;
    if (!ReadU32(m_HeaderValue) || !ReadU32(entryCount) || !ReadU32(referenceCount) || !ReadU64(indexOffset))
        return false;
    if (!Seek(indexOffset))
        return false;
    if (!ReadReferences(referenceCount))
        return false;
    if (!ReadEntries(entryCount))
        return false;
    return CheckConsistency();
}

bool CArchive::ReadReferences(uint32_t referenceCount) {
    // Each reference takes at least an empty string; a count that cannot fit in the file is hostile.
    if (referenceCount > GetRemaining() / ArchiveMinimumStringSize)
        return false;
    m_References.Resize(referenceCount);
    m_ReferenceNames.Resize(referenceCount);
    for (CArchive*& reference : m_References)
        reference = nullptr;

    // References are named relative to the directory that holds this archive.
    CInlineStringA prefix(m_Path);
    prefix.ReplaceBackslashes();
    const uint64_t lastSlash = prefix.GetView().FindLastChar('/');
    prefix.Erase(lastSlash == CInlineStringA::npos ? 0 : lastSlash + 1, CInlineStringA::npos);

    CInlineStringA name;
    for (uint32_t i = 0; i < referenceCount; ++i) {
        if (!ReadString(name))
            return false;
        m_ReferenceNames[i] = name;
        CInlineStringA joined(prefix);
        joined.Append(name.GetView());
        // Nested mounts can run deep; the read window is not kept across them.
        ReleaseReadBuffer();
        CArchive* reference = m_ReferenceSource->MountReference(joined.GetView());
        if (reference == nullptr)
            return false;
        m_References[i] = reference;
    }
    return true;
}

bool CArchive::ReadEntries(uint32_t entryCount) {
    if (entryCount > GetRemaining() / ArchiveMinimumEntrySize)
        return false;
    // The index keys borrow the entries' names: the array gets its final size before the first name is
    // read and never moves afterwards, and the index gets its final capacity so that it never grows.
    m_Entries.Resize(entryCount);
    if (entryCount > m_EntryIndex.GetCapacity())
        m_EntryIndex.Rehash(entryCount);
    for (CArchiveEntry& entry : m_Entries) {
        if (!ReadEntry(entry))
            return false;
    }
    return true;
}

bool CArchive::ReadEntry(CArchiveEntry& entry) {
    if (!ReadU64(entry.OpaqueValue) || !ReadBytes(entry.OpaqueBlock, sizeof(entry.OpaqueBlock)) ||
        !ReadString(entry.Name))
        return false;
    entry.Name.MakeLower();
    uint32_t segmentCount = 0;
    if (!ReadU32(segmentCount))
        return false;

    // Of two entries with the same name the later one is found; the earlier key, a view of the earlier
    // entry's name, stays in place. The entries never move, so the views stay valid.
    const CStringViewA name = entry.Name.GetView();
    const uint32_t hash = m_EntryIndex.HashKey(name);
    const uint64_t index = m_EntryIndex.FindIndex(name, hash);
    if (index < m_EntryIndex.GetCount())
        (m_EntryIndex.begin() + index)->Value = &entry;
    else
        m_EntryIndex.Insert(name, hash) = &entry;

    if (segmentCount > GetRemaining() / ArchiveSegmentRecordSize)
        return false;
    entry.Segments.Resize(segmentCount);
    for (CArchiveSegment& segment : entry.Segments) {
        const uint8_t* record = Fetch(ArchiveSegmentRecordSize);
        if (record == nullptr)
            return false;
        segment.ReferenceIndex = LoadU32LE(record);
        segment.DataOffset = LoadU64LE(record + 4);
        segment.FileOffset = LoadU64LE(record + 12);
        segment.Size = LoadU64LE(record + 20);
        segment.DataEnd = segment.DataOffset + segment.Size;
        m_Position += ArchiveSegmentRecordSize;
    }
    return true;
}

bool CArchive::CheckConsistency() const {
    for (const CArchiveEntry& entry : m_Entries) {
        uint64_t expected = 0;
        for (const CArchiveSegment& segment : entry.Segments) {
            // A segment whose end does not fit in 64 bits cannot lie end to end with the next one.
            if (segment.DataOffset != expected || segment.DataEnd < segment.DataOffset)
                return false;
            expected = segment.DataEnd;
        }
    }
    return true;
}

bool CArchive::ReadU32(uint32_t& value) {
    const uint8_t* bytes = Fetch(4);
    if (bytes == nullptr)
        return false;
    value = LoadU32LE(bytes);
    m_Position += 4;
    return true;
}

bool CArchive::ReadU64(uint64_t& value) {
    const uint8_t* bytes = Fetch(8);
    if (bytes == nullptr)
        return false;
    value = LoadU64LE(bytes);
    m_Position += 8;
    return true;
}

bool CArchive::ReadString(CInlineStringA& target) {
    uint32_t length = 0;
    if (!ReadU32(length))
        return false;
    // L + 1 must fit in 32 bits and in what is left of the file.
    if (length == 0xFFFFFFFFu)
        return false;
    const uint64_t count = uint64_t(length) + 1;
    if (count > GetRemaining())
        return false;
    if (count <= ReadBufferSize) {
        const uint8_t* bytes = Fetch(count);
        if (bytes == nullptr)
            return false;
        const void* zero = std::memchr(bytes, 0, count);
        const uint64_t valueLength = zero != nullptr ? static_cast<const uint8_t*>(zero) - bytes : count;
        target.Assign(CStringViewA(reinterpret_cast<const char*>(bytes), valueLength));
        m_Position += count;
        return true;
    }
    // A long string goes through a block of its own; the file size bounds it.
    char* block = static_cast<char*>(AllocateOrStop(count));
    const bool success = ReadBytes(block, count);
    if (success) {
        const void* zero = std::memchr(block, 0, count);
        target.Assign(CStringViewA(block, zero != nullptr ? static_cast<const char*>(zero) - block : count));
    }
    FreeMemory(block);
    return success;
}

bool CArchive::Seek(uint64_t offset) {
    if (!Os::Seek(m_File, offset))
        return false;
    m_Position = offset;
    return true;
}

const uint8_t* CArchive::Fetch(uint64_t count) {
    if (m_Position >= m_BufferStart && m_Position - m_BufferStart <= m_BufferLength &&
        m_BufferLength - (m_Position - m_BufferStart) >= count)
        return m_ReadBuffer + (m_Position - m_BufferStart);
    if (count > ReadBufferSize || count > GetRemaining())
        return nullptr;
    if (m_ReadBuffer == nullptr)
        m_ReadBuffer = static_cast<uint8_t*>(AllocateOrStop(ReadBufferSize));
    uint64_t bytesRead = 0;
    m_BufferStart = m_Position;
    m_BufferLength = 0;
    if (!Os::ReadAt(m_File, m_Position, m_ReadBuffer, ReadBufferSize, bytesRead))
        return nullptr;
    m_BufferLength = bytesRead;
    return bytesRead >= count ? m_ReadBuffer : nullptr;
}

bool CArchive::ReadBytes(void* target, uint64_t count) {
    if (count <= ReadBufferSize) {
        const uint8_t* bytes = Fetch(count);
        if (bytes == nullptr)
            return false;
        std::memcpy(target, bytes, count);
        m_Position += count;
        return true;
    }
    uint64_t bytesRead = 0;
    if (!Os::ReadAt(m_File, m_Position, target, count, bytesRead) || bytesRead != count)
        return false;
    m_Position += count;
    return true;
}

void CArchive::ReleaseReadBuffer() {
    FreeMemory(m_ReadBuffer);
    m_ReadBuffer = nullptr;
    m_BufferLength = 0;
}

const CArchiveEntry* CArchive::FindEntry(CStringViewA lowerName, uint32_t hash) const {
    const uint64_t index = m_EntryIndex.FindIndex(lowerName, hash);
    return index < m_EntryIndex.GetCount() ? m_EntryIndex.GetEntry(index).Value : nullptr;
}
