// CHeaderLibrary: the "BILH" file, relocation of its "BIN1" payload and the four walks that build the model.
#include "headerlib/HeaderLibrary.h"

#include "base/ByteOrder.h"
#include "resid/ResourcePath.h"

#include <cassert>
#include <cstring>

namespace {

// File header, at file offset 0 (24 bytes; the fields at 8, 16 and 20 are not read):
//   0  4  magic "BILH"
//   4  4  gap length: bytes skipped between this header and the payload block
//  12  4  block length: bytes of the payload block, from its "BIN1" on
constexpr uint64_t FileHeaderSize = 24;
constexpr uint64_t FileGapLength = 4;
constexpr uint64_t FileBlockLength = 12;

// Payload block, at file offset 24 + gap length (bytes 4, 5, 7 and 12 to 15 are not read):
//   0  4  magic "BIN1"
//   6  1  segment count
//   8  4  payload length, big-endian (the only big-endian field of the format)
//  16     the payload, then the segment area up to the block's end
constexpr uint64_t BlockHeaderSize = 16;
constexpr uint64_t BlockSegmentCount = 6;
constexpr uint64_t BlockPayloadLength = 8;

// Segment, repeated in the segment area without alignment:
//   0  4  tag; RelocationTag marks a relocation segment, any other tag is passed over
//   4  4  body length
//   8     body. A relocation body is a 4-byte entry count, then per entry the 4-byte payload offset of an
//         8-byte reference slot; bytes after the last entry are ignored.
// A reference slot holds, before relocation, a payload offset (0 to payload length) or all bits set for no
// target; after it, the address of the payload copy plus that offset, or 0 for null.
constexpr uint64_t SegmentHeadSize = 8;
constexpr uint32_t RelocationTag = 0x12EBA5ED;
constexpr uint64_t StoredNullReference = ~uint64_t(0);

// Root record, at payload offset 0; 76 bytes are read:
//  16  8  reference to the first container record
//  24  4  container count
//  32  8  reference to the first external name list element
//  40  4  external count
//  64  8  reference to the resource list block
//  72  4  resource list length in bytes
constexpr uint64_t RootContainers = 16;
constexpr uint64_t RootContainerCount = 24;
constexpr uint64_t RootExternalNames = 32;
constexpr uint64_t RootExternalCount = 40;
constexpr uint64_t RootResourceList = 64;
constexpr uint64_t RootResourceListLength = 72;
constexpr uint64_t RootSize = 76;

// Container record, 176 bytes, one after another:
//   0  8  reference to the path text (null: the empty path)
//  32  4  data start: the first entry's bytes begin at data start + 24 in the container's data
//  48  1  flags; InlineHeadersFlag: each entry's 24-byte header is stored in front of its bytes
//  56  8  reference to the first language list element
//  64  4  language count
// 128  8  reference to the first entry header list element
// 136  4  entry count
constexpr uint64_t ContainerRecordSize = 176;
constexpr uint64_t ContainerPath = 0;
constexpr uint64_t ContainerDataStart = 32;
constexpr uint64_t ContainerFlags = 48;
constexpr uint8_t InlineHeadersFlag = 4;
constexpr uint64_t ContainerLanguages = 56;
constexpr uint64_t ContainerLanguageCount = 64;
constexpr uint64_t ContainerEntryHeaders = 128;
constexpr uint64_t ContainerEntryCount = 136;

// Language list, entry header list and external name list elements are 16 bytes each. A language element
// and an external name element hold a reference to a text at 0 (a null language admits nothing, a null
// external name is the empty path). An entry header element holds a reference to the header bytes at 0 and
// their length at 8; the header, at least 24 bytes, holds the entry's data length at its offset 12.
constexpr uint64_t ListElementSize = 16;
constexpr uint64_t EntryHeaderLength = 8;
constexpr uint64_t MinEntryHeaderLength = 24;
constexpr uint64_t HeaderDataLength = 12;
constexpr uint32_t InlineHeaderLength = 24;

// Resource list block: a 4-byte record count, then the records without alignment:
//   0       8       member id
//   8       8       id
//  16       4       name length L1
//  20       L1 + 1  name, NUL-terminated within those bytes
//  21 + L1  4       second name length L2
//  25 + L1  L2 + 1  second name
// The smallest record, with two empty texts, takes 26 bytes; that bounds the count a block can hold.
constexpr uint64_t ResourceRecordHeadSize = 16;
constexpr uint64_t MinResourceRecordSize = 26;

constexpr uint64_t NullReference = ~uint64_t(0);

uint64_t GetAddress(const uint8_t* pointer) {
    return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(pointer));
}

static_assert(sizeof(uintptr_t) <= 8, "a relocated reference holds an address in 8 bytes");

// Relocation marks each slot that it fills with an address by one bit at the slot's first byte, in a map of
// one bit per payload byte; the address covers the 8 bytes from a marked one. Slots may lie at any offset,
// so a byte holds part of an address when a mark lies on it or on one of the 7 bytes before it.
bool IsMarked(const uint8_t* marks, uint64_t offset) {
    return ((marks[offset / 8] >> (offset % 8)) & 1) != 0;
}

void Mark(uint8_t* marks, uint64_t offset) {
    marks[offset / 8] |= static_cast<uint8_t>(1u << (offset % 8));
}

// True when one of length bytes (at least 1) from offset holds part of an address.
bool HoldsAddress(const uint8_t* marks, uint64_t offset, uint64_t length) {
    const uint64_t first = offset < 7 ? 0 : offset - 7;
    const uint64_t last = offset + length - 1;
    for (uint64_t byte = first / 8; byte <= last / 8; ++byte) {
        unsigned bits = marks[byte];
        if (byte == first / 8)
            bits &= 0xFFu << (first % 8);
        if (byte == last / 8)
            bits &= 0xFFu >> (7 - last % 8);
        if (bits != 0)
            return true;
    }
    return false;
}

// Rewrites the slots that one relocation body names and marks those given an address. Slots rewritten
// before a fault stay rewritten.
bool ApplyRelocations(uint8_t* payload, uint64_t payloadLength, uint8_t* marks, const uint8_t* body,
                      uint64_t bodyLength) {
    if (bodyLength < 4)
        return false;
    const uint64_t entryCount = LoadU32LE(body);
    if ((bodyLength - 4) / 4 < entryCount)
        return false;
    if (entryCount != 0 && payloadLength < 8)
        return false;
    for (uint64_t entry = 0; entry < entryCount; ++entry) {
        const uint64_t slot = LoadU32LE(body + 4 + 4 * entry);
        if (slot > payloadLength - 8)
            return false;
        // Reading part of an address back as a stored offset would make the outcome depend on where the
        // payload lies in memory. A null slot named again holds 0, a reference to offset 0.
        if (HoldsAddress(marks, slot, 8))
            return false;
        const uint64_t stored = LoadU64LE(payload + slot);
        if (stored == StoredNullReference) {
            StoreU64LE(payload + slot, 0);
            continue;
        }
        if (stored > payloadLength)
            return false;
        StoreU64LE(payload + slot, GetAddress(payload) + stored);
        Mark(marks, slot);
    }
    return true;
}

// Visits segmentCount segments of the area and applies every relocation segment among them.
bool RelocatePayload(uint8_t* payload, uint64_t payloadLength, uint8_t* marks, uint32_t segmentCount,
                     const uint8_t* area, uint64_t areaLength) {
    uint64_t cursor = 0;
    for (uint32_t visited = 0; visited < segmentCount; ++visited) {
        if (areaLength - cursor < SegmentHeadSize)
            return false;
        const uint32_t tag = LoadU32LE(area + cursor);
        const uint64_t bodyLength = LoadU32LE(area + cursor + 4);
        cursor += SegmentHeadSize;
        if (bodyLength > areaLength - cursor)
            return false;
        if (tag == RelocationTag &&
            !ApplyRelocations(payload, payloadLength, marks, area + cursor, bodyLength))
            return false;
        cursor += bodyLength;
    }
    return true;
}

const char* EmptyIfNull(const char* text) {
    return text != nullptr ? text : "";
}

} // namespace

CHeaderLibrary::~CHeaderLibrary() {
    // Release in the reverse of the order in which the model refers to its lenders: the texts of the
    // resources are views into the payload, so the payload goes last.
    m_ExternalResources.Clear();
    m_ContainerIndex.Clear();
    m_ContainerTables.Clear();
    m_Resources.Clear();
    m_Root = nullptr;
    m_Payload.Release();
}

bool CHeaderLibrary::Load(const CByteBuffer& file) {
    m_Root = nullptr;
    const uint8_t* bytes = file.GetData();
    const uint64_t fileLength = file.GetSize();
    if (fileLength < FileHeaderSize || std::memcmp(bytes, "BILH", 4) != 0)
        return false;
    const uint64_t gapLength = LoadU32LE(bytes + FileGapLength);
    const uint64_t blockLength = LoadU32LE(bytes + FileBlockLength);
    if (FileHeaderSize + gapLength + blockLength > fileLength)
        return false;
    const uint8_t* block = bytes + FileHeaderSize + gapLength;
    m_PayloadFileOffset = FileHeaderSize + gapLength + BlockHeaderSize;
    if (blockLength < BlockHeaderSize || std::memcmp(block, "BIN1", 4) != 0)
        return false;
    const uint64_t payloadLength = LoadU32BE(block + BlockPayloadLength);
    if (blockLength < payloadLength + BlockHeaderSize)
        return false;

    // The block lies in the file, so the payload is memory the input really holds.
    const uint64_t markBytes = (payloadLength + 7) / 8;
    m_Payload.Resize(payloadLength);
    m_AddressSlots.Resize(markBytes);
    if (payloadLength != 0) {
        std::memcpy(m_Payload.GetData(), block + BlockHeaderSize, payloadLength);
        std::memset(m_AddressSlots.GetData(), 0, markBytes);
    }
    if (!RelocatePayload(m_Payload.GetData(), payloadLength, m_AddressSlots.GetData(), block[BlockSegmentCount],
                         block + BlockHeaderSize + payloadLength,
                         blockLength - BlockHeaderSize - payloadLength))
        return false;
    m_Root = m_Payload.GetData();

    if (payloadLength < RootSize || !IsData(RootContainerCount, 4) || !IsData(RootExternalCount, 4) ||
        !IsData(RootResourceListLength, 4))
        return false;
    // The model is built in this order; each walk relies only on the checks of its own reads.
    return LoadResources() && LoadContainerIndex() && LoadContainerTables() && LoadExternalResources();
}

bool CHeaderLibrary::IsData(uint64_t offset, uint64_t length) const {
    return !HoldsAddress(m_AddressSlots.GetData(), offset, length);
}

bool CHeaderLibrary::ReadReference(uint64_t slot, uint64_t& target) const {
    const uint64_t address = LoadU64LE(m_Payload.GetData() + slot);
    // A slot that relocation did not fill holds what the file stored: only zeros, a null reference, are
    // accepted there.
    if (!IsMarked(m_AddressSlots.GetData(), slot)) {
        target = NullReference;
        return address == 0 && IsData(slot, 8);
    }
    // Bounds are the payload's size, not its storage's capacity: a stale address from an earlier, larger
    // load of this object may still lie inside the block.
    const uint64_t base = GetAddress(m_Payload.GetData());
    if (address < base || address - base > m_Payload.GetSize())
        return false;
    target = address - base;
    return true;
}

bool CHeaderLibrary::FindList(uint64_t slot, uint64_t count, uint64_t elementSize, uint64_t& first) const {
    first = NullReference;
    if (count == 0)
        return true;
    if (!ReadReference(slot, first) || first == NullReference)
        return false;
    return count <= (m_Payload.GetSize() - first) / elementSize;
}

bool CHeaderLibrary::FindText(uint64_t slot, CStringViewA& text) const {
    text = CStringViewA();
    uint64_t target = 0;
    if (!ReadReference(slot, target))
        return false;
    if (target == NullReference)
        return true;
    const char* start = reinterpret_cast<const char*>(m_Payload.GetData() + target);
    const void* terminator = std::memchr(start, 0, m_Payload.GetSize() - target);
    if (terminator == nullptr)
        return false;
    const auto length = static_cast<uint64_t>(static_cast<const char*>(terminator) - start);
    text = CStringViewA(start, length);
    return IsData(target, length + 1);
}

bool CHeaderLibrary::LoadResources() {
    const uint8_t* payload = m_Payload.GetData();
    const uint64_t listLength = LoadU32LE(payload + RootResourceListLength);
    if (listLength == 0) {
        m_Resources.Resize(0);
        return true;
    }
    if (listLength < 4)
        return false;
    uint64_t block = 0;
    if (!FindList(RootResourceList, 1, listLength, block))
        return false;
    // A count beyond what the block can hold fails here, before it sizes any storage.
    const uint64_t recordCount = LoadU32LE(payload + block);
    if (!IsData(block, 4) || recordCount > (listLength - 4) / MinResourceRecordSize)
        return false;
    m_Resources.Resize(recordCount);

    const uint64_t end = block + listLength;
    uint64_t cursor = block + 4;
    // Reads one length-prefixed text; the stated length counts the bytes skipped whatever the NUL says.
    auto readText = [&](CStringViewA& text) {
        if (end - cursor < 4 || !IsData(cursor, 4))
            return false;
        const uint64_t fieldLength = uint64_t(LoadU32LE(payload + cursor)) + 1;
        cursor += 4;
        if (end - cursor < fieldLength)
            return false;
        const char* start = reinterpret_cast<const char*>(payload + cursor);
        const void* terminator = std::memchr(start, 0, fieldLength);
        if (terminator == nullptr)
            return false;
        const uint64_t length = static_cast<uint64_t>(static_cast<const char*>(terminator) - start);
        if (!IsData(cursor, length + 1))
            return false;
        text = CStringViewA(start, length);
        cursor += fieldLength;
        return true;
    };
    for (CLibraryResource& resource : m_Resources) {
        if (end - cursor < ResourceRecordHeadSize || !IsData(cursor, ResourceRecordHeadSize))
            return false;
        resource.MemberId = LoadU64LE(payload + cursor);
        resource.Id = LoadU64LE(payload + cursor + 8);
        cursor += ResourceRecordHeadSize;
        if (!readText(resource.Name) || !readText(resource.SecondName))
            return false;
    }
    return true;
}

bool CHeaderLibrary::LoadContainerIndex() {
    m_ContainerIndex.Reset();
    const uint64_t containerCount = LoadU32LE(m_Payload.GetData() + RootContainerCount);
    uint64_t records = 0;
    if (!FindList(RootContainers, containerCount, ContainerRecordSize, records))
        return false;
    for (uint64_t container = 0; container < containerCount; ++container) {
        CStringViewA path;
        if (!FindText(records + container * ContainerRecordSize + ContainerPath, path))
            return false;
        const ResourceId id = ResourcePath::GetId(path);
        m_ContainerIndex.FindOrInsert(id) = container;
    }
    return true;
}

bool CHeaderLibrary::LoadContainerTables() {
    const uint64_t containerCount = LoadU32LE(m_Payload.GetData() + RootContainerCount);
    uint64_t records = 0;
    if (!FindList(RootContainers, containerCount, ContainerRecordSize, records))
        return false;
    m_ContainerTables.Resize(containerCount);
    for (uint64_t container = 0; container < containerCount; ++container) {
        const uint64_t record = records + container * ContainerRecordSize;
        CContainerTable& table = m_ContainerTables[container];
        CStringViewA path;
        if (!FindText(record + ContainerPath, path))
            return false;
        ResourcePath::GetArchiveName(path, table.ArchiveName);
        // Languages are not part of the model, but the driver reads them: check them here so that a
        // library that loads can be read whole, whichever containers its resources use.
        if (!IsData(record + ContainerFlags, 1) || !CheckLanguages(record) || !LoadSpans(record, table))
            return false;
    }
    return true;
}

bool CHeaderLibrary::CheckLanguages(uint64_t record) const {
    const uint64_t languageCount = LoadU32LE(m_Payload.GetData() + record + ContainerLanguageCount);
    uint64_t languages = 0;
    if (!IsData(record + ContainerLanguageCount, 4) ||
        !FindList(record + ContainerLanguages, languageCount, ListElementSize, languages))
        return false;
    for (uint64_t language = 0; language < languageCount; ++language) {
        CStringViewA name;
        if (!FindText(languages + language * ListElementSize, name))
            return false;
    }
    return true;
}

bool CHeaderLibrary::LoadSpans(uint64_t record, CContainerTable& table) {
    const uint8_t* payload = m_Payload.GetData();
    const uint64_t entryCount = LoadU32LE(payload + record + ContainerEntryCount);
    uint64_t elements = 0;
    if (!IsData(record + ContainerEntryCount, 4) || !IsData(record + ContainerDataStart, 4) ||
        !FindList(record + ContainerEntryHeaders, entryCount, ListElementSize, elements))
        return false;
    table.Spans.Resize(entryCount);
    const bool inlineHeaders = (payload[record + ContainerFlags] & InlineHeadersFlag) != 0;
    // Entries lie back to back from data start + 24. In 64 bits nothing wraps: at most 2^32 entries of
    // under 2^33 bytes each.
    uint64_t offset = uint64_t(LoadU32LE(payload + record + ContainerDataStart)) + InlineHeaderLength;
    for (uint64_t entry = 0; entry < entryCount; ++entry) {
        const uint64_t element = elements + entry * ListElementSize;
        const uint64_t headerLength = LoadU32LE(payload + element + EntryHeaderLength);
        uint64_t header = 0;
        if (!IsData(element + EntryHeaderLength, 4) || headerLength < MinEntryHeaderLength ||
            !FindList(element, 1, headerLength, header) || !IsData(header, headerLength))
            return false;
        const uint64_t dataLength = LoadU32LE(payload + header + HeaderDataLength);
        CEntrySpan& span = table.Spans[entry];
        span.Offset = offset;
        span.Length = dataLength;
        if (inlineHeaders) {
            span.Length += InlineHeaderLength;
            offset += InlineHeaderLength;
        }
        offset += dataLength;
    }
    return true;
}

bool CHeaderLibrary::LoadExternalResources() {
    const uint64_t externalCount = LoadU32LE(m_Payload.GetData() + RootExternalCount);
    uint64_t names = 0;
    if (!FindList(RootExternalNames, externalCount, ListElementSize, names))
        return false;
    m_ExternalResources.Resize(externalCount);
    for (uint64_t position = 0; position < externalCount; ++position) {
        CExternalResource& external = m_ExternalResources[position];
        CStringViewA name;
        if (!FindText(names + position * ListElementSize, name))
            return false;
        external.Name.Assign(name);
        ResourcePath::GetArchiveName(external.Name.GetView(), external.ArchiveName);
        external.Id = ResourcePath::GetId(external.Name.GetView());
    }
    return true;
}

const uint8_t* CHeaderLibrary::GetTarget(uint64_t slot) const {
    const uint64_t address = LoadU64LE(m_Payload.GetData() + slot);
    if (address == 0)
        return nullptr;
    return m_Payload.GetData() + (address - GetAddress(m_Payload.GetData()));
}

uint64_t CHeaderLibrary::GetContainerRecord(uint64_t container) const {
    assert(container < GetContainerCount());
    const uint8_t* records = GetTarget(RootContainers);
    return static_cast<uint64_t>(records - m_Payload.GetData()) + container * ContainerRecordSize;
}

uint64_t CHeaderLibrary::GetContainerCount() const {
    return m_Root != nullptr && m_Payload.GetSize() >= RootSize ? LoadU32LE(m_Root + RootContainerCount) : 0;
}

const char* CHeaderLibrary::GetContainerPath(uint64_t container) const {
    const uint8_t* path = GetTarget(GetContainerRecord(container) + ContainerPath);
    return EmptyIfNull(reinterpret_cast<const char*>(path));
}

bool CHeaderLibrary::HasInlineHeaders(uint64_t container) const {
    return (m_Root[GetContainerRecord(container) + ContainerFlags] & InlineHeadersFlag) != 0;
}

uint64_t CHeaderLibrary::GetLanguageCount(uint64_t container) const {
    return LoadU32LE(m_Root + GetContainerRecord(container) + ContainerLanguageCount);
}

const char* CHeaderLibrary::GetLanguageName(uint64_t container, uint64_t language) const {
    assert(language < GetLanguageCount(container));
    const uint8_t* languages = GetTarget(GetContainerRecord(container) + ContainerLanguages);
    const uint64_t element = static_cast<uint64_t>(languages - m_Root) + language * ListElementSize;
    return reinterpret_cast<const char*>(GetTarget(element));
}

const uint8_t* CHeaderLibrary::GetEntryHeader(uint64_t container, uint64_t entry,
                                              uint32_t& headerLength) const {
    const uint64_t record = GetContainerRecord(container);
    assert(entry < LoadU32LE(m_Root + record + ContainerEntryCount));
    const uint8_t* elements = GetTarget(record + ContainerEntryHeaders);
    const uint64_t element = static_cast<uint64_t>(elements - m_Root) + entry * ListElementSize;
    headerLength = LoadU32LE(m_Root + element + EntryHeaderLength);
    return GetTarget(element);
}
