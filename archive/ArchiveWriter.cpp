// Archive headers and index records, stored in the layout that CArchive reads.
#include "archive/ArchiveWriter.h"

#include "base/ByteOrder.h"
#include "base/Memory.h"

#include <algorithm>
#include <cassert>

namespace {

// Grows the index by doubling, so that an index of many entries is built in linear time.
void AppendOrStop(CByteBuffer& index, const void* bytes, uint64_t count) {
    const uint64_t size = index.GetSize();
    if (count > index.GetCapacity() - size)
        index.Reserve(std::max(size + count, 2 * index.GetCapacity()));
    index.Append(bytes, count);
}

void AppendU32(CByteBuffer& index, uint32_t value) {
    uint8_t bytes[4];
    StoreU32LE(bytes, value);
    AppendOrStop(index, bytes, sizeof bytes);
}

void AppendU64(CByteBuffer& index, uint64_t value) {
    uint8_t bytes[8];
    StoreU64LE(bytes, value);
    AppendOrStop(index, bytes, sizeof bytes);
}

} // namespace

void StoreArchiveHeader(uint8_t* header, uint32_t headerValue, uint32_t entryCount, uint32_t referenceCount,
                        uint64_t indexOffset) {
    StoreU32LE(header, ArchiveMagic);
    StoreU32LE(header + 4, headerValue);
    StoreU32LE(header + 8, entryCount);
    StoreU32LE(header + 12, referenceCount);
    StoreU64LE(header + 16, indexOffset);
}

void AppendArchiveString(CByteBuffer& index, CStringViewA text) {
    assert(text.GetLength() < 0xFFFFFFFFu);
    AppendU32(index, static_cast<uint32_t>(text.GetLength()));
    AppendOrStop(index, text.GetData(), text.GetLength());
    const uint8_t zero = 0;
    AppendOrStop(index, &zero, 1);
}

void AppendArchiveEntry(CByteBuffer& index, uint64_t opaqueValue, const uint8_t* opaqueBlock,
                        CStringViewA name, const CArchiveSegment* segments, uint32_t segmentCount) {
    AppendU64(index, opaqueValue);
    AppendOrStop(index, opaqueBlock, 16);
    AppendArchiveString(index, name);
    AppendU32(index, segmentCount);
    for (uint32_t i = 0; i < segmentCount; ++i) {
        AppendU32(index, segments[i].ReferenceIndex);
        AppendU64(index, segments[i].DataOffset);
        AppendU64(index, segments[i].FileOffset);
        AppendU64(index, segments[i].Size);
    }
}
