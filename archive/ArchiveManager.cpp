// CArchiveManager: mounting archives by file name, entry look-up across them, and segmented stream reads.
#include "archive/ArchiveManager.h"

#include "base/Memory.h"

#include <cstdint>
#include <new>

CArchiveManager::~CArchiveManager() {
    UnmountAll();
}

CArchive* CArchiveManager::Mount(CStringViewA path) {
    // A mount may add archives, or drop them after a failure: either can change what a name finds.
    ++m_Generation;
    // The key is the file name: the part after the last separator, with one trailing separator dropped.
    CInlineStringA working(path);
    working.ReplaceBackslashes();
    if (!working.IsEmpty() && working[working.GetLength() - 1] == '/')
        working.Erase(working.GetLength() - 1, 1);
    const uint64_t lastSlash = working.GetView().FindLastChar('/');
    if (lastSlash != CInlineStringA::npos)
        working.Erase(0, lastSlash + 1);
    const CInlineStringA& key = working;

    if (CArchive** mounted = m_Archives.Find(key.GetView()); mounted != nullptr && *mounted != nullptr)
        return *mounted;
    // Each nested mount adds a few stack frames; a hostile chain of references must not exhaust the stack.
    if (m_MountDepth >= MaxMountDepth)
        return nullptr;

    CArchive* archive = new (std::nothrow) CArchive(*this, path);
    if (archive == nullptr)
        StopOutOfMemory();
    // Registered before it is opened, so that a reference back to it while its index is read finds it.
    // No pointer into the map is kept across Open: the nested mounts may grow the map.
    m_Archives.FindOrInsert(key) = archive;

    ++m_MountDepth;
    const bool opened = archive->Open();
    --m_MountDepth;
    if (opened)
        return archive;
    DropFailedArchive(archive);
    return nullptr;
}

namespace {

// The set of dropped archives, keyed by address.
using CArchiveSet = CHashMap<uint64_t, uint8_t>;

uint64_t GetKey(const CArchive* archive) {
    return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(archive));
}

bool RefersToAny(const CArchive& archive, const CArchiveSet& set) {
    for (uint64_t index = 0; index < archive.GetReferenceCount(); ++index) {
        const CArchive* reference = archive.GetReference(index);
        if (reference != nullptr && set.Find(GetKey(reference)) != nullptr)
            return true;
    }
    return false;
}

} // namespace

void CArchiveManager::DropFailedArchive(CArchive* failed) {
    // Archives mounted while the failed one was being read may refer back to it. Drop them, and whatever
    // refers to those, so that no read can reach a destroyed archive. Every such archive was mounted and
    // finished inside the failed mount, so none of them is still being opened further up the stack.
    CArchiveSet dropped;
    dropped.FindOrInsert(GetKey(failed)) = 1;
    for (bool changed = true; changed;) {
        changed = false;
        for (const auto& entry : m_Archives) {
            if (dropped.Find(GetKey(entry.Value)) == nullptr && RefersToAny(*entry.Value, dropped)) {
                dropped.FindOrInsert(GetKey(entry.Value)) = 1;
                changed = true;
            }
        }
    }
    for (uint64_t index = 0; index < m_Archives.GetCount();) {
        auto& entry = *(m_Archives.begin() + index);
        CArchive* archive = entry.Value;
        if (dropped.Find(GetKey(archive)) == nullptr) {
            ++index;
            continue;
        }
        // Removal moves the last entry into this slot, which is then looked at again.
        const CInlineStringA key(entry.Key);
        m_Archives.Remove(key.GetView());
        delete archive;
    }
}

CArchiveStream CArchiveManager::OpenEntry(CStringViewA name, CEntryLookup& lookup) const {
    // Resources of one container follow one another in a header library, so the same name comes many times
    // in a row. Lower-casing it, hashing it and asking every archive for it cost more than the rest of a
    // small resource's extraction (callgrind: 186 M of 517 M instructions on the benchmark corpus).
    if (lookup.Generation != m_Generation || !(lookup.Name.GetView() == name)) {
        lookup.LowerName.Assign(name);
        lookup.LowerName.MakeLower();
        const CStringViewA lowerName = lookup.LowerName.GetView();
        const uint32_t hash = CHashMap<CStringViewA, const CArchiveEntry*>::HashKey(lowerName);
        lookup.Archive = nullptr;
        lookup.Entry = nullptr;
        for (const auto& entry : m_Archives) {
            // Every archive is asked: the last one in registration order that holds the name wins.
            if (const CArchiveEntry* found = entry.Value->FindEntry(lowerName, hash); found != nullptr) {
                lookup.Archive = entry.Value;
                lookup.Entry = found;
            }
        }
        lookup.Name.Assign(name);
        lookup.Generation = m_Generation;
    }
    CArchiveStream stream;
    stream.Archive = lookup.Archive;
    stream.Entry = lookup.Entry;
    if (stream.Entry != nullptr)
        stream.Size = stream.Entry->GetSize();
    return stream;
}

void CArchiveManager::UnmountAll() {
    ++m_Generation;
    for (auto& entry : m_Archives)
        delete entry.Value;
    m_Archives.Clear();
}

bool CArchiveStream::Locate(uint64_t count, const CArchive*& holder, uint64_t& fileOffset,
                            uint64_t& length) const {
    length = 0;
    if (Archive == nullptr || Entry == nullptr || Entry->Segments.GetCount() == 0 || count == 0)
        return false;
    // Binary search for a segment whose closed range [data offset, data end] holds the position.
    const CArchiveSegment* segments = Entry->Segments.GetData();
    const uint64_t segmentCount = Entry->Segments.GetCount();
    uint64_t low = 0;
    uint64_t high = segmentCount - 1;
    uint64_t found = segmentCount;
    for (;;) {
        const uint64_t middle = low + (high - low) / 2;
        const CArchiveSegment& segment = segments[middle];
        if (segment.DataOffset <= Position && Position <= segment.DataEnd) {
            found = middle;
            break;
        }
        if (Position > segment.DataEnd)
            low = middle + 1;
        else if (middle == 0)
            break;
        else
            high = middle - 1;
        if (low > high)
            break;
    }
    // A segment that ends at the position, or holds nothing, gives way to the next: the data is the
    // segments laid end to end.
    while (found < segmentCount && segments[found].DataEnd == Position)
        ++found;
    if (found == segmentCount)
        return false;
    const CArchiveSegment& segment = segments[found];
    // A segment naming a reference that the archive does not have ends the data.
    holder = Archive->GetReference(segment.ReferenceIndex);
    if (holder == nullptr)
        return false;
    // A file position beyond 64 bits names no byte of any file; it must not wrap to the file's start.
    const uint64_t intoSegment = Position - segment.DataOffset;
    if (segment.FileOffset > ~uint64_t(0) - intoSegment)
        return false;
    fileOffset = segment.FileOffset + intoSegment;
    const uint64_t inSegment = segment.DataEnd - Position;
    length = inSegment < count ? inSegment : count;
    return true;
}

uint64_t CArchiveStream::Read(void* buffer, uint64_t count) {
    auto* out = static_cast<uint8_t*>(buffer);
    uint64_t total = 0;
    const CArchive* holder = nullptr;
    uint64_t fileOffset = 0;
    uint64_t wanted = 0;
    while (total < count && Locate(count - total, holder, fileOffset, wanted)) {
        uint64_t bytesRead = 0;
        if (!Os::ReadAt(holder->GetFile(), fileOffset, out, wanted, bytesRead))
            bytesRead = 0;
        Position += bytesRead;
        total += bytesRead;
        out += bytesRead;
        if (bytesRead != wanted)
            break;
    }
    return total;
}
