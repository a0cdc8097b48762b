// CHeaderLibraryWriter: builds "*.pc_headerlib" images from a payload of records and reference slots.
#pragma once

#include "base/Array.h"
#include "base/ByteBuffer.h"
#include "base/StringView.h"

#include <cstdint>

/// Where BuildImage placed the parts of the file, as file offsets.
struct CHeaderLibraryImageLayout {
    uint64_t BlockStart = 0;
    uint64_t PayloadStart = 0;
    uint64_t RelocationSegmentStart = 0;
};

/// Builds a header library file. The payload grows region by region; reference slots in it name payload
/// offsets and are listed, in the order they were set, in the one relocation segment that follows the
/// payload. The image is the 24-byte file header ("BILH", no gap, the block length), the 16-byte block
/// header ("BIN1", one segment, the payload length big-endian), the payload and the relocation segment.
///
/// Owns the payload and the slot list, which grow as regions and slots are added; storage that cannot be
/// had stops the process. Offsets are 32-bit, as the format's are; the caller keeps the payload below 4 GiB.
class CHeaderLibraryWriter {
public:
    /// The target of a null reference: all bits set.
    static constexpr uint64_t NullTarget = ~uint64_t(0);

    /// Appends size bytes of fill to the payload; returns the offset of the first.
    uint32_t Allocate(uint64_t size, uint8_t fill);
    /// Appends zero bytes until the payload's length is a multiple of alignment.
    void Align(uint64_t alignment);
    /// Appends the text and a NUL; returns the text's offset.
    uint32_t AppendText(CStringViewA text);

    // Stores into bytes already allocated; the bytes must lie inside the payload.
    void StoreByte(uint32_t offset, uint8_t value) { m_Payload.GetData()[offset] = value; }
    /// Stores value little-endian in the 4 bytes at offset.
    void StoreU32(uint32_t offset, uint32_t value);
    void StoreBytes(uint32_t offset, const void* bytes, uint64_t count);
    /// Stores target in the 8-byte slot at offset and lists the slot for relocation; NullTarget makes a
    /// null reference.
    void SetReference(uint32_t slot, uint64_t target);

    uint64_t GetPayloadLength() const { return m_Payload.GetSize(); }
    /// The slots in the order they were set, which is the order of the relocation entries.
    const CArray<uint32_t>& GetSlots() const { return m_Slots; }

    /// Replaces image with the whole file and fills layout. The header fields that readers skip hold
    /// headerFill, the block header's skipped bytes blockFill.
    void BuildImage(CByteBuffer& image, CHeaderLibraryImageLayout& layout, uint8_t headerFill = 0,
                    uint8_t blockFill = 0) const;

private:
    CByteBuffer m_Payload{CByteBuffer::DefaultGranule};
    CArray<uint32_t> m_Slots;
};
