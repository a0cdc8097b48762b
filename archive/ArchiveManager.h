// CArchiveManager: the set of mounted archives, entry look-up by name, and streams over entry data.
#pragma once

#include "archive/Archive.h"
#include "base/HashMap.h"
#include "base/InlineString.h"

#include <cstdint>

/// The answer of the last OpenEntry asked with this object: the name as given and what it found. The caller
/// holds it (one per reading thread) and hands it to every OpenEntry; the manager fills it. Asking for the
/// same name again, as an extraction does for every resource of a container, then costs a comparison
/// instead of a search. An answer is only used while the manager's set of archives is the one it was found
/// in. A lookup serves one manager for its whole life. Owns its copies of the name; the archive and entry
/// pointers are the manager's.
struct CEntryLookup {
    CInlineStringA Name;
    /// Name lower-cased, the key the archives' entry indexes are asked with.
    CInlineStringA LowerName;
    const CArchive* Archive = nullptr;
    const CArchiveEntry* Entry = nullptr;
    /// The manager's mount generation when the answer was found; 0 for no answer.
    uint64_t Generation = 0;
};

/// A read cursor over the data of one archive entry, following its segments into whichever archive files
/// hold them. Owns nothing: it stays valid while the manager keeps the archive mounted. Position may be set
/// freely by the caller; Read starts there.
struct CArchiveStream {
    /// The archive whose entry index holds Entry; null when the look-up found nothing.
    const CArchive* Archive = nullptr;
    const CArchiveEntry* Entry = nullptr;
    /// Offset within the entry's data of the next byte to read.
    uint64_t Position = 0;
    /// The entry's data size; 0 when nothing was found.
    uint64_t Size = 0;

    /// Reads up to count bytes from Position into buffer and returns how many arrived, advancing Position by
    /// exactly that many. Fewer than count means the end of the data, a failed read, the end of a file, or
    /// a segment that names a reference the archive does not have. 0 when nothing was found, for an entry
    /// without segments, or at or beyond the end of the data.
    uint64_t Read(void* buffer, uint64_t count);

    /// Where the data from Position on is stored: the archive whose file holds it, the offset in that file,
    /// and how many of the next count bytes lie there in one run. Position is not moved. False, with length
    /// 0, when no byte from Position can be had: what makes Read return 0 there. count 0 gives false.
    [[nodiscard]] bool Locate(uint64_t count, const CArchive*& holder, uint64_t& fileOffset,
                              uint64_t& length) const;
};

/// The set of mounted archives. Archives are keyed by the file-name part of their path, byte for byte, so
/// that each file name is mounted once and shared by every archive that refers to it. The map's order is
/// registration order: an archive is registered before its references are mounted. Owns every archive and
/// closes their files when it is destroyed. A run makes one and hands it to what reads entries. Not
/// re-entrant except through the mounts that an archive's references make; OpenEntry only reads, so threads
/// may call it at once with lookups of their own while nothing is mounted.
class CArchiveManager : private CArchiveReferences {
public:
    /// Reference chains may nest mounts this deep; a deeper mount fails instead of exhausting the stack.
    static constexpr uint32_t MaxMountDepth = 1000;

    CArchiveManager() = default;
    ~CArchiveManager();
    CArchiveManager(const CArchiveManager&) = delete;
    CArchiveManager& operator=(const CArchiveManager&) = delete;

    /// Mounts the archive at path and returns it, or null on failure. A path whose file name (the part after
    /// the last slash or backslash, one trailing separator ignored) is mounted already returns that archive
    /// without opening anything. On failure the file name is unregistered and the archive destroyed; so is
    /// every mounted archive that refers to it, directly or through others, and pointers to those become
    /// invalid. Archives mounted on the way that do not refer to it stay mounted.
    CArchive* Mount(CStringViewA path);

    /// A stream over the entry called name (ASCII letter case ignored): of the mounted archives that hold
    /// the name, the one registered last wins. Position is 0; a name that no archive holds gives null archive
    /// and entry and size 0. lookup keeps the answer; when it holds one for the same name, found since the
    /// last Mount or UnmountAll, no archive is asked.
    CArchiveStream OpenEntry(CStringViewA name, CEntryLookup& lookup) const;

    uint64_t GetArchiveCount() const { return m_Archives.GetCount(); }
    /// The archive at position (below GetArchiveCount) in registration order; lent while it stays mounted.
    const CArchive* GetArchive(uint64_t position) const { return (m_Archives.begin() + position)->Value; }

    /// Destroys every archive and forgets it, closing the files. Streams and archive pointers handed out
    /// before become invalid.
    void UnmountAll();

private:
    // An archive's references are mounted here, as any other archive.
    CArchive* MountReference(CStringViewA path) override { return Mount(path); }
    // Unregisters and destroys failed together with every archive that refers to it, directly or through
    // other dropped archives.
    void DropFailedArchive(CArchive* failed);

    CHashMap<CInlineStringA, CArchive*> m_Archives;
    // Changes whenever the set of archives may change, so that the answers lookups hold for an earlier set
    // are not used.
    uint64_t m_Generation = 1;
    uint32_t m_MountDepth = 0;
};
