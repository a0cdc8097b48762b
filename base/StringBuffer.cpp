// CStringBufferA: growth in steps of 256, formatting through the I64 translation.
#include "base/StringBuffer.h"

#include "base/Console.h"
#include "base/Memory.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr uint64_t Granule = 256;

uint64_t RoundUpToGranule(uint64_t size) { return (size + Granule - 1) / Granule * Granule; }

// Length of the formatted text, or -1 on a formatting error.
int64_t MeasureFormat(const char* format, va_list arguments) {
    va_list copy;
    va_copy(copy, arguments);
    const int measured = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    return measured;
}

} // namespace

char* CStringBufferA::GetSentinel() {
    static char sentinel[8] = {};
    return sentinel;
}

bool CStringBufferA::HasHeapBlock() const { return IsHeapBlock(m_Data); }

bool CStringBufferA::IsHeapBlock(const char* data) const { return data != GetSentinel(); }

CStringBufferA::CStringBufferA(CStringBufferA&& source) noexcept {
    // A derived buffer's inline array stays inside that object, so its text is copied instead.
    if (source.m_Data != GetSentinel() && !source.IsHeapBlock(source.m_Data)) {
        Append(source.m_Data, source.m_Length);
        source.Clear(true);
        return;
    }
    m_Data = source.m_Data;
    m_Capacity = source.m_Capacity;
    m_Length = source.m_Length;
    source.m_Data = GetSentinel();
    source.m_Capacity = 0;
    source.m_Length = 0;
}

CStringBufferA::~CStringBufferA() {
    if (HasHeapBlock())
        FreeMemory(m_Data);
    m_Data = GetSentinel();
    m_Capacity = 0;
    m_Length = 0;
}

void CStringBufferA::ReserveOnHeap(uint64_t size) {
    if (size <= m_Capacity)
        return;
    if (size > MaxAllocationSize)
        StopOutOfMemory();
    const uint64_t capacity = RoundUpToGranule(size);
    char* block = static_cast<char*>(AllocateOrStop(capacity));
    if (HasHeapBlock()) {
        std::memcpy(block, m_Data, m_Length + 1);
        FreeMemory(m_Data);
    } else {
        block[0] = '\0';
    }
    m_Data = block;
    m_Capacity = capacity;
}

void CStringBufferA::Reserve(uint64_t size) { ReserveOnHeap(size); }

uint64_t CStringBufferA::GetGrowthSize(uint64_t needed) const {
    // Doubling keeps a text built from many appended lines linear in its final size.
    return needed > 2 * m_Capacity ? needed : 2 * m_Capacity;
}

void CStringBufferA::Clear(bool release) {
    if (release) {
        if (HasHeapBlock())
            FreeMemory(m_Data);
        m_Data = GetSentinel();
        m_Capacity = 0;
        m_Length = 0;
        return;
    }
    if (m_Data != GetSentinel())
        m_Data[0] = '\0';
    m_Length = 0;
}

uint64_t CStringBufferA::Format(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const uint64_t length = FormatV(format, arguments);
    va_end(arguments);
    return length;
}

uint64_t CStringBufferA::FormatV(const char* format, va_list arguments) {
    CFormatTranslation translated(format);
    const int64_t measured = MeasureFormat(translated.Get(), arguments);
    if (measured <= 0) {
        Clear(false);
        return m_Length;
    }
    const uint64_t n = static_cast<uint64_t>(measured);
    Reserve(n + 1);
    std::vsnprintf(m_Data, n + 1, translated.Get(), arguments);
    m_Length = n;
    return n;
}

uint64_t CStringBufferA::AppendFormat(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const uint64_t length = AppendFormatV(format, arguments);
    va_end(arguments);
    return length;
}

uint64_t CStringBufferA::AppendFormatV(const char* format, va_list arguments) {
    CFormatTranslation translated(format);
    const int64_t measured = MeasureFormat(translated.Get(), arguments);
    if (measured <= 0)
        return m_Length;
    const uint64_t n = static_cast<uint64_t>(measured);
    const uint64_t needed = m_Length + 1 + n;
    if (needed > m_Capacity)
        Reserve(GetGrowthSize(needed));
    std::vsnprintf(m_Data + m_Length, n + 1, translated.Get(), arguments);
    m_Length += n;
    return m_Length;
}

void CStringBufferA::Append(const char* text, uint64_t length) {
    if (length == 0)
        return;
    const uint64_t needed = m_Length + 1 + length;
    if (needed > m_Capacity)
        Reserve(GetGrowthSize(needed));
    std::memcpy(m_Data + m_Length, text, length);
    m_Length += length;
    m_Data[m_Length] = '\0';
}

const char* CStringBufferA::Assign(const char* text) {
    if (text == nullptr) {
        Clear(false);
        return m_Data;
    }
    const uint64_t length = std::strlen(text);
    Reserve(length + 1);
    std::memmove(m_Data, text, length + 1);
    m_Length = length;
    return m_Data;
}

CStringBufferA CStringBufferA::Right() const {
    CStringBufferA result;
    if (m_Length != 0) {
        const char last[2] = {m_Data[m_Length - 1], '\0'};
        result.Assign(last);
    }
    return result;
}
