// CInlineStringA: exact growth between the inline area and the heap, and the self-referencing edits.
#include "base/InlineString.h"

#include "base/AsciiCase.h"
#include "base/Memory.h"

#include <cstring>

namespace {

// A block for capacity characters and the terminator. A capacity whose block size would wrap around is
// refused like any other request that cannot be met.
char* AllocateCharacters(uint64_t capacity) {
    if (capacity >= MaxAllocationSize)
        StopOutOfMemory();
    return static_cast<char*>(AllocateOrStop(capacity + 1));
}

} // namespace

void CInlineStringA::SetEmpty() {
    std::memset(m_Inline, 0, sizeof(m_Inline));
    m_Capacity = InlineCapacity;
    m_Length = 0;
}

void CInlineStringA::ReleaseHeap() {
    if (IsOnHeap())
        FreeMemory(m_Pointer);
}

CInlineStringA::CInlineStringA(CInlineStringA&& source) noexcept {
    SetEmpty();
    TakeOver(source);
}

CInlineStringA& CInlineStringA::operator=(CInlineStringA&& source) noexcept {
    if (this != &source)
        TakeOver(source);
    return *this;
}

void CInlineStringA::TakeOver(CInlineStringA& source) {
    ReleaseHeap();
    if (source.IsOnHeap())
        m_Pointer = source.m_Pointer;
    else
        std::memcpy(m_Inline, source.m_Inline, sizeof(m_Inline));
    m_Capacity = source.m_Capacity;
    m_Length = source.m_Length;
    source.SetEmpty();
}

CInlineStringA& CInlineStringA::Assign(CStringViewA text) {
    const uint64_t length = text.GetLength();
    char* data = GetWritableData();
    // Characters of this string itself fit where they are; they only move down.
    const auto address = reinterpret_cast<uintptr_t>(text.GetData());
    const auto begin = reinterpret_cast<uintptr_t>(data);
    if (address >= begin && address <= begin + m_Length) {
        std::memmove(data, text.GetData(), length);
    } else {
        if (length > m_Capacity) {
            char* block = AllocateCharacters(length);
            ReleaseHeap();
            m_Pointer = block;
            m_Capacity = length;
            data = block;
        }
        if (length != 0)
            std::memcpy(data, text.GetData(), length);
    }
    data[length] = '\0';
    m_Length = length;
    return *this;
}

CInlineStringA& CInlineStringA::Append(CStringViewA text) {
    const uint64_t count = text.GetLength();
    if (count == 0)
        return *this;
    if (count >= MaxAllocationSize - m_Length)
        StopOutOfMemory();
    const uint64_t length = m_Length + count;
    char* data = GetWritableData();
    if (length > m_Capacity) {
        // The old characters stay in place until the appended text, which may be among them, is copied.
        char* block = AllocateCharacters(length);
        std::memcpy(block, data, m_Length);
        std::memcpy(block + m_Length, text.GetData(), count);
        ReleaseHeap();
        m_Pointer = block;
        m_Capacity = length;
        data = block;
    } else {
        std::memmove(data + m_Length, text.GetData(), count);
    }
    data[length] = '\0';
    m_Length = length;
    return *this;
}

CInlineStringA& CInlineStringA::Erase(uint64_t position, uint64_t count) {
    char* data = GetWritableData();
    if (m_Length - position <= count) {
        data[position] = '\0';
        m_Length = position;
        return *this;
    }
    const uint64_t length = m_Length - count;
    std::memmove(data + position, data + position + count, length - position);
    data[length] = '\0';
    m_Length = length;
    return *this;
}

CInlineStringA& CInlineStringA::ReplaceBackslashes() {
    char* data = GetWritableData();
    for (uint64_t i = 0; i < m_Length; ++i) {
        if (data[i] == '\\')
            data[i] = '/';
    }
    return *this;
}

CInlineStringA& CInlineStringA::MakeLower() {
    char* data = GetWritableData();
    for (uint64_t i = 0; i < m_Length; ++i)
        data[i] = LowerAscii(data[i]);
    return *this;
}
