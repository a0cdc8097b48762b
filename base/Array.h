// CArray: the growable array of records, on aligned storage with exact growth and element-wise moves.
#pragma once

#include "base/Memory.h"

#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>

/// A growable array of T in one block from the aligned allocator (alignment Alignment, raised to T's own
/// alignment and to the platform's minimum). Growth is exact: Reserve and Resize make room for precisely the
/// count asked for, and growing moves the elements one by one (T's move constructor, then its destructor)
/// into the new block. Elements are default-constructed by T's default constructor and destroyed by its
/// destructor; they own what their fields own. Only Clear gives the storage back. Element pointers are
/// invalidated by any operation that grows the array. A refused allocation stops the process
/// (StopOutOfMemory), so growth never fails for the caller: a count taken from a file is bounded by the
/// caller before it sizes anything.
template <typename T, uint64_t Alignment = 8>
class CArray {
public:
    CArray() = default;
    CArray(const CArray&) = delete;
    CArray& operator=(const CArray&) = delete;
    CArray(CArray&& source) noexcept : m_Data(source.m_Data), m_Count(source.m_Count), m_Capacity(source.m_Capacity) {
        source.m_Data = nullptr;
        source.m_Count = 0;
        source.m_Capacity = 0;
    }
    CArray& operator=(CArray&& source) noexcept {
        if (this != &source) {
            Clear();
            std::swap(m_Data, source.m_Data);
            std::swap(m_Count, source.m_Count);
            std::swap(m_Capacity, source.m_Capacity);
        }
        return *this;
    }
    ~CArray() { Clear(); }

    /// Makes room for at least count elements.
    void Reserve(uint64_t count) {
        if (count <= m_Capacity)
            return;
        // A byte size beyond 64 bits is refused like any other request that cannot be met.
        if (count > ~uint64_t(0) / sizeof(T))
            StopOutOfMemory();
        T* block = static_cast<T*>(AllocateAligned(count * sizeof(T), StorageAlignment));
        if (block == nullptr)
            StopOutOfMemory();
        for (uint64_t i = 0; i < m_Count; ++i) {
            new (&block[i]) T(std::move(m_Data[i]));
            m_Data[i].~T();
        }
        FreeAligned(m_Data);
        m_Data = block;
        m_Capacity = count;
    }

    /// Sets the count to count: new elements are default-constructed in ascending order, surplus ones
    /// destroyed; the storage never shrinks.
    void Resize(uint64_t count) {
        if (count > m_Count) {
            Reserve(count);
            for (uint64_t i = m_Count; i < count; ++i)
                new (&m_Data[i]) T();
        } else {
            for (uint64_t i = count; i < m_Count; ++i)
                m_Data[i].~T();
        }
        m_Count = count;
    }

    /// Appends one element, growing the storage by exactly one. The value is a copy, so an element of this
    /// array itself may be appended.
    void Append(T value) {
        Reserve(m_Count + 1);
        new (&m_Data[m_Count]) T(std::move(value));
        ++m_Count;
    }

    /// Destroys every element and gives the storage back.
    void Clear() {
        if (m_Capacity == 0 || m_Data == nullptr)
            return;
        for (uint64_t i = 0; i < m_Count; ++i)
            m_Data[i].~T();
        FreeAligned(m_Data);
        m_Data = nullptr;
        m_Count = 0;
        m_Capacity = 0;
    }

    T& operator[](uint64_t position) { return m_Data[position]; }
    const T& operator[](uint64_t position) const { return m_Data[position]; }
    T* GetData() { return m_Data; }
    const T* GetData() const { return m_Data; }
    uint64_t GetCount() const { return m_Count; }
    uint64_t GetCapacity() const { return m_Capacity; }
    T* begin() { return m_Data; }
    T* end() { return m_Data + m_Count; }
    const T* begin() const { return m_Data; }
    const T* end() const { return m_Data + m_Count; }

private:
    // The alignment asked for, raised to what the element type itself needs.
    static constexpr uint64_t StorageAlignment = Alignment > alignof(T) ? Alignment : alignof(T);

    T* m_Data = nullptr;
    uint64_t m_Count = 0;
    uint64_t m_Capacity = 0;
};

/// Appends value to an array that grows one element at a time over a whole run: when it is full, its storage
/// first grows to twice its count (at least 16), so that n appends cost O(n) moves.
template <typename T, uint64_t Alignment> void AppendGrowing(CArray<T, Alignment>& array, T value) {
    const uint64_t count = array.GetCount();
    if (count == array.GetCapacity())
        array.Reserve(count < 8 ? 16 : 2 * count);
    array.Append(std::move(value));
}
