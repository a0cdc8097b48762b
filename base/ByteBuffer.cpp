// CByteBuffer: granule-rounded growth on zeroed storage.
#include "base/ByteBuffer.h"

#include "base/Memory.h"

#include <cstring>
#include <utility>

void CByteBuffer::Reserve(uint64_t count) {
    // Checked before rounding, so that a huge count cannot wrap around to a small one.
    if (count > MaxAllocationSize)
        StopOutOfMemory();
    const uint64_t needed = (count - 1 + m_Granule) / m_Granule * m_Granule;
    if (count == 0 || needed <= m_Capacity)
        return;
    // Zeroed storage comes from the allocator: large blocks arrive as untouched pages, which cost nothing
    // until written, so a big up-front reservation is cheap.
    auto* block = static_cast<uint8_t*>(AllocateZeroedMemory(needed));
    if (block == nullptr)
        StopOutOfMemory();
    if (m_Data != nullptr)
        std::memcpy(block, m_Data, m_Capacity);
    FreeMemory(m_Data);
    m_Data = block;
    m_Capacity = needed;
}

void CByteBuffer::Resize(uint64_t count) {
    if (count > m_Capacity)
        Reserve(count);
    m_Size = count;
}

void CByteBuffer::Append(const void* bytes, uint64_t count) {
    if (count == 0)
        return;
    if (count > m_Capacity - m_Size) {
        // Checked before adding, so that a huge count cannot wrap the new size around to a small one.
        if (count > MaxAllocationSize - m_Size)
            StopOutOfMemory();
        Reserve(m_Size + count);
    }
    std::memcpy(m_Data + m_Size, bytes, count);
    m_Size += count;
}

void CByteBuffer::Release() {
    FreeMemory(m_Data);
    m_Data = nullptr;
    m_Size = 0;
    m_Capacity = 0;
}

void CByteBuffer::Swap(CByteBuffer& other) {
    std::swap(m_Size, other.m_Size);
    std::swap(m_Capacity, other.m_Capacity);
    std::swap(m_Data, other.m_Data);
    std::swap(m_Granule, other.m_Granule);
}
