// CStringBufferA: growth from the handed storage to heap blocks, and formatting through the I64 translation.
#include "base/StringBuffer.h"

#include "base/Console.h"
#include "base/Memory.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr uint64_t Granule = 256;

// The text of buffers without storage; never written.
char g_EmptyText[1] = {};

uint64_t RoundUpToGranule(uint64_t size) {
    return (size + Granule - 1) / Granule * Granule;
}

} // namespace

CStringBufferA::CStringBufferA() : m_Data(g_EmptyText) {}

CStringBufferA::~CStringBufferA() {
    if (m_Data != g_EmptyText && m_Data != m_Storage)
        FreeMemory(m_Data);
}

char* CStringBufferA::Grow(uint64_t size) {
    if (size > MaxAllocationSize)
        StopOutOfMemory();
    const uint64_t capacity = RoundUpToGranule(size);
    char* block = static_cast<char*>(AllocateOrStop(capacity));
    std::memcpy(block, m_Data, m_Length + 1);
    char* previous = m_Data != g_EmptyText && m_Data != m_Storage ? m_Data : nullptr;
    m_Data = block;
    m_Capacity = capacity;
    return previous;
}

void CStringBufferA::Reserve(uint64_t size) {
    if (size > m_Capacity)
        FreeMemory(Grow(size));
}

void CStringBufferA::Append(CStringViewA text) {
    const uint64_t length = text.GetLength();
    if (length == 0)
        return;
    if (length >= MaxAllocationSize - m_Length)
        StopOutOfMemory();
    const uint64_t needed = m_Length + 1 + length;
    char* previous = nullptr;
    // Doubling keeps a text built from many appended lines linear in its final size.
    if (needed > m_Capacity)
        previous = Grow(needed > 2 * m_Capacity ? needed : 2 * m_Capacity);
    // The text may be this buffer's own, in the block just replaced, which is freed only after the copy.
    std::memmove(m_Data + m_Length, text.GetData(), length);
    m_Length += length;
    m_Data[m_Length] = '\0';
    FreeMemory(previous);
}

void CStringBufferA::Assign(CStringViewA text) {
    const uint64_t length = text.GetLength();
    // A text that lies in this buffer's own storage fits it, so it never moves away before it is copied.
    if (length + 1 > m_Capacity)
        Reserve(length + 1);
    std::memmove(m_Data, text.GetData(), length);
    m_Data[length] = '\0';
    m_Length = length;
}

uint64_t CStringBufferA::FormatAt(uint64_t offset, const char* format, va_list arguments) {
    // The result is formatted apart from the buffer first: an argument may point into the buffer's own text,
    // which must stay as it is until the formatter has read it.
    CFormatTranslation translated(format);
    char local[256];
    va_list copy;
    va_copy(copy, arguments);
    const int measured = std::vsnprintf(local, sizeof(local), translated.Get(), copy);
    va_end(copy);
    if (measured <= 0) {
        if (offset == 0) {
            if (m_Capacity != 0)
                m_Data[0] = '\0';
            m_Length = 0;
        }
        return m_Length;
    }
    const uint64_t n = static_cast<uint64_t>(measured);
    char* result = local;
    if (n >= sizeof(local)) {
        result = static_cast<char*>(AllocateOrStop(n + 1));
        std::vsnprintf(result, n + 1, translated.Get(), arguments);
    }
    m_Length = offset;
    Append(CStringViewA(result, n));
    if (result != local)
        FreeMemory(result);
    return m_Length;
}

uint64_t CStringBufferA::Format(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const uint64_t length = FormatAt(0, format, arguments);
    va_end(arguments);
    return length;
}

uint64_t CStringBufferA::AppendFormat(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const uint64_t length = FormatAt(m_Length, format, arguments);
    va_end(arguments);
    return length;
}
