// CArchive: the reader of one "*.archive" file, its entries, their segments and the entry name index.
#pragma once

#include "base/Array.h"
#include "base/HashMap.h"
#include "base/InlineString.h"
#include "base/Platform.h"
#include "base/StringView.h"

#include <cstdint>

class CArchive;

// The archive file format. All integers are unsigned little-endian; fields follow one another unpadded.
//
// Header, at offset 0 (24 bytes):
//   0   4  magic "ARCH" (0x48435241 read little-endian)
//   4   4  header value (kept, not interpreted)
//   8   4  entry count E
//   12  4  reference count R
//   16  8  index offset: absolute position of the index
//
// Index, at the index offset: R references, then E entry records.
//   string:    4-byte length L, then L + 1 bytes; the value is the bytes before the first zero byte.
//   reference: a string, the file name of an archive relative to this archive's directory.
//   entry:     8 opaque value, 16 opaque block, name string, 4 segment count S, S segment records.
//   segment:   4 reference index, 8 data offset, 8 file offset, 8 size (28 bytes).
//
// Consistency: in an entry with segments the first data offset is 0 and each further one equals the previous
// segment's data offset plus its size; the entry's data is its segments laid end to end.
constexpr uint32_t ArchiveMagic = 0x48435241;
constexpr uint64_t ArchiveHeaderSize = 24;
constexpr uint64_t ArchiveSegmentRecordSize = 28;
/// The smallest entry record: opaque fields, an empty name and a zero segment count.
constexpr uint64_t ArchiveMinimumEntrySize = 8 + 16 + 4 + 1 + 4;
/// The smallest reference: an empty string.
constexpr uint64_t ArchiveMinimumStringSize = 4 + 1;

/// One segment of an entry: Size bytes of the entry's data from DataOffset on, stored at FileOffset in the
/// archive that the owning archive lists at ReferenceIndex. DataEnd (DataOffset + Size) is worked out when
/// the record is read.
struct CArchiveSegment {
    uint32_t ReferenceIndex = 0;
    uint64_t DataOffset = 0;
    uint64_t DataEnd = 0;
    uint64_t FileOffset = 0;
    uint64_t Size = 0;
};

/// One named entry of an archive. Name is lower-cased when read; Segments are in the order of the data.
struct CArchiveEntry {
    uint64_t OpaqueValue = 0;
    uint8_t OpaqueBlock[16] = {};
    CInlineStringA Name;
    CArray<CArchiveSegment> Segments;

    /// Size of the entry's data: the last segment's data end, 0 without segments.
    uint64_t GetSize() const {
        return Segments.GetCount() == 0 ? 0 : Segments[Segments.GetCount() - 1].DataEnd;
    }
};

/// What an archive asks for the archives that its index refers to: whoever keeps the set of archives (the
/// archive manager) mounts them.
class CArchiveReferences {
public:
    /// Mounts the archive at path (the reference's file name joined to the referring archive's directory)
    /// and returns it, or null when it does not mount. The archive returned stays in place at least as long
    /// as the one that asked.
    virtual CArchive* MountReference(CStringViewA path) = 0;

protected:
    ~CArchiveReferences() = default;
};

/// The reader of one archive file. Open reads the whole index into memory, has the references mount every
/// archive that the index refers to, and builds the name index; the file then stays open for the life of
/// the object so that streams can read entry bytes from it.
///
/// Owns its entries (names and segment lists), the entry index and its path. The entry index maps each
/// lower-cased entry name to its entry with keys that view the names stored in the entries, so the entry
/// array is sized once, before the first entry is read, and never moves afterwards. The references point
/// at archives owned by the reference source (possibly this one). Reading the index goes through a small
/// buffer of positioned reads that exists only while the index is being read.
class CArchive {
public:
    /// A closed archive for path (copied as it stands). Its references are mounted through references,
    /// which must outlive the archive.
    CArchive(CArchiveReferences& references, CStringViewA path);
    ~CArchive();
    CArchive(const CArchive&) = delete;
    CArchive& operator=(const CArchive&) = delete;

    /// Opens the file at the archive's path for reading and reads its index. On failure the file is
    /// closed, the reference list is empty, entries may be partly filled, and the object is only fit to be
    /// destroyed. Archives that references mounted before the failure stay mounted.
    [[nodiscard]] bool Open();

    /// The entry stored under a lower-cased name whose hash is hash, or null. Lent until the archive is
    /// destroyed.
    const CArchiveEntry* FindEntry(CStringViewA lowerName, uint32_t hash) const;

    /// The archive listed at reference index, or null when index is not below the reference count.
    CArchive* GetReference(uint64_t index) const {
        return index < m_References.GetCount() ? m_References[index] : nullptr;
    }
    /// The number of references of an archive that opened; 0 after a failed Open.
    uint32_t GetReferenceCount() const { return static_cast<uint32_t>(m_References.GetCount()); }
    /// The file name stored at reference index (below GetReferenceCount), as the index spells it.
    const CInlineStringA& GetReferenceName(uint32_t index) const { return m_ReferenceNames[index]; }

    const CArray<CArchiveEntry>& GetEntries() const { return m_Entries; }
    /// The header's second field, kept as read so that a rewritten archive can carry it over.
    uint32_t GetHeaderValue() const { return m_HeaderValue; }
    const CInlineStringA& GetPath() const { return m_Path; }
    FileHandle GetFile() const { return m_File; }
    /// The size the file had when it was opened.
    uint64_t GetFileSize() const { return m_FileSize; }

private:
    static constexpr uint64_t ReadBufferSize = 64 * 1024;

    void Close();
    // Reads and checks the header and the index from the open file, mounting the references on the way.
    // Fails on any short read, a magic other than "ARCH", a failed seek to the index, a reference that
    // does not mount, a count or length that cannot fit in the rest of the file or cannot be allocated,
    // or an entry that breaks the consistency rule.
    [[nodiscard]] bool ReadIndex();

    // Read exactly 4 or 8 bytes at the current read position and advance past them. False on a short read
    // or a failed read call.
    [[nodiscard]] bool ReadU32(uint32_t& value);
    [[nodiscard]] bool ReadU64(uint64_t& value);
    // Reads one string into target. False on a short read, on L = 0xFFFFFFFF or when L + 1 bytes do not
    // remain in the file. Without a zero byte among the L + 1 bytes the value is all of them.
    [[nodiscard]] bool ReadString(CInlineStringA& target);
    // Moves the read position to offset from the start of the file; true only when the file's position
    // now is offset.
    [[nodiscard]] bool Seek(uint64_t offset);

    [[nodiscard]] bool ReadReferences(uint32_t referenceCount);
    [[nodiscard]] bool ReadEntries(uint32_t entryCount);
    [[nodiscard]] bool ReadEntry(CArchiveEntry& entry);
    [[nodiscard]] bool CheckConsistency() const;

    // The bytes that remain in the file after the read position.
    uint64_t GetRemaining() const { return m_Position < m_FileSize ? m_FileSize - m_Position : 0; }
    // Makes count bytes at the read position available in the read buffer and returns them, or null when
    // they cannot all be read. count is at most ReadBufferSize.
    const uint8_t* Fetch(uint64_t count);
    // Reads count bytes at the read position into target and advances; false when fewer arrive.
    [[nodiscard]] bool ReadBytes(void* target, uint64_t count);
    void ReleaseReadBuffer();

    FileHandle m_File = InvalidFileHandle;
    uint32_t m_HeaderValue = 0;
    CArray<CArchive*> m_References;
    // The references' file names as stored, for writers that rebuild the index.
    CArray<CInlineStringA> m_ReferenceNames;
    CArray<CArchiveEntry> m_Entries;
    CHashMap<CStringViewA, CArchiveEntry*> m_EntryIndex;
    CInlineStringA m_Path;

    CArchiveReferences* m_ReferenceSource;
    // Read state of the open file: its size, the read position and a window of the file's bytes.
    uint64_t m_FileSize = 0;
    uint64_t m_Position = 0;
    uint8_t* m_ReadBuffer = nullptr;
    uint64_t m_BufferStart = 0;
    uint64_t m_BufferLength = 0;
};
