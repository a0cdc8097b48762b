// Header library images: payload regions, reference slots and the relocation segment that names them.
#include "headerlib/HeaderLibraryWriter.h"

#include "base/ByteOrder.h"
#include "base/Memory.h"

#include <algorithm>
#include <cassert>
#include <cstring>

namespace {

constexpr uint64_t FileHeaderSize = 24;
constexpr uint64_t BlockHeaderSize = 16;
constexpr uint32_t RelocationTag = 0x12EBA5ED;
// The tag, the body length and the entry count in front of the relocation entries.
constexpr uint64_t RelocationHead = 12;

} // namespace

uint32_t CHeaderLibraryWriter::Allocate(uint64_t size, uint8_t fill) {
    const uint64_t offset = m_Payload.GetSize();
    assert(offset + size <= 0xFFFFFFFFu);
    // The payload grows by doubling, so that building it stays linear in its length.
    if (offset + size > m_Payload.GetCapacity())
        m_Payload.Reserve(std::max(offset + size, 2 * offset));
    m_Payload.Resize(offset + size);
    std::memset(m_Payload.GetData() + offset, fill, size);
    return static_cast<uint32_t>(offset);
}

void CHeaderLibraryWriter::Align(uint64_t alignment) {
    const uint64_t length = m_Payload.GetSize();
    (void)Allocate((alignment - length % alignment) % alignment, 0);
}

uint32_t CHeaderLibraryWriter::AppendText(CStringViewA text) {
    const uint32_t offset = Allocate(text.GetLength() + 1, 0);
    StoreBytes(offset, text.GetData(), text.GetLength());
    return offset;
}

void CHeaderLibraryWriter::StoreU32(uint32_t offset, uint32_t value) {
    assert(offset + uint64_t(4) <= m_Payload.GetSize());
    StoreU32LE(m_Payload.GetData() + offset, value);
}

void CHeaderLibraryWriter::StoreBytes(uint32_t offset, const void* bytes, uint64_t count) {
    assert(offset + count <= m_Payload.GetSize());
    if (count != 0)
        std::memcpy(m_Payload.GetData() + offset, bytes, count);
}

void CHeaderLibraryWriter::SetReference(uint32_t slot, uint64_t target) {
    assert(slot + uint64_t(8) <= m_Payload.GetSize());
    StoreU64LE(m_Payload.GetData() + slot, target);
    AppendGrowing(m_Slots, slot);
}

void CHeaderLibraryWriter::BuildImage(CByteBuffer& image, CHeaderLibraryImageLayout& layout,
                                      uint8_t headerFill, uint8_t blockFill) const {
    const uint64_t payloadLength = m_Payload.GetSize();
    const uint64_t relocationLength = RelocationHead + 4 * m_Slots.GetCount();
    const uint64_t blockLength = BlockHeaderSize + payloadLength + relocationLength;
    layout.BlockStart = FileHeaderSize;
    layout.PayloadStart = FileHeaderSize + BlockHeaderSize;
    layout.RelocationSegmentStart = layout.PayloadStart + payloadLength;
    image.Resize(FileHeaderSize + blockLength);
    uint8_t* out = image.GetData();
    std::memset(out, headerFill, FileHeaderSize);
    std::memcpy(out, "BILH", 4);
    // No gap between the file header and the block.
    StoreU32LE(out + 4, 0);
    StoreU32LE(out + 12, static_cast<uint32_t>(blockLength));
    out += FileHeaderSize;
    std::memset(out, blockFill, BlockHeaderSize);
    std::memcpy(out, "BIN1", 4);
    out[6] = 1; // One segment follows the payload.
    // The payload length is the format's one big-endian field.
    for (int i = 0; i < 4; ++i)
        out[8 + i] = static_cast<uint8_t>(payloadLength >> (24 - 8 * i));
    out += BlockHeaderSize;
    if (payloadLength != 0)
        std::memcpy(out, m_Payload.GetData(), payloadLength);
    out += payloadLength;
    StoreU32LE(out, RelocationTag);
    StoreU32LE(out + 4, static_cast<uint32_t>(relocationLength - 8));
    StoreU32LE(out + 8, static_cast<uint32_t>(m_Slots.GetCount()));
    for (uint64_t i = 0; i < m_Slots.GetCount(); ++i)
        StoreU32LE(out + RelocationHead + 4 * i, m_Slots[i]);
}
