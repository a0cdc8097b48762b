// CByteBuffer: a growable byte buffer whose capacity is a multiple of its granule.
#pragma once

#include <cstdint>

/// A heap block of bytes with a size in use and a capacity that is always a multiple of the granule.
/// Storage only grows; bytes between the size and the capacity are zero when first allocated. A refused
/// allocation stops the process (StopOutOfMemory); a size taken from a file is bounded by the caller first.
/// Owns its block; not copyable.
class CByteBuffer {
public:
    static constexpr uint64_t DefaultGranule = 8192;

    explicit CByteBuffer(uint64_t granule = DefaultGranule) : m_Granule(granule) {}
    CByteBuffer(const CByteBuffer&) = delete;
    CByteBuffer& operator=(const CByteBuffer&) = delete;
    ~CByteBuffer() { Release(); }

    /// Makes at least count bytes allocated (rounded up to the granule).
    void Reserve(uint64_t count);
    /// Reserves count bytes when needed, then sets the size to count.
    void Resize(uint64_t count);
    /// Appends count bytes at the end.
    void Append(const void* bytes, uint64_t count);
    /// Frees the block; size and capacity become 0, the granule stays.
    void Release();
    /// Exchanges blocks, sizes, capacities and granules with other, copying no byte.
    void Swap(CByteBuffer& other);

    uint8_t* GetData() { return m_Data; }
    const uint8_t* GetData() const { return m_Data; }
    uint64_t GetSize() const { return m_Size; }
    uint64_t GetCapacity() const { return m_Capacity; }

private:
    uint64_t m_Size = 0;
    uint64_t m_Capacity = 0;
    uint8_t* m_Data = nullptr;
    uint64_t m_Granule;
};
