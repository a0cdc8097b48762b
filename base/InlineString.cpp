// CInlineStringA: mode transitions, exact growth and the self-referencing operations.
#include "base/InlineString.h"

#include "base/Memory.h"

#include <cstring>

namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// A block for capacity characters and the terminator. A capacity whose block size would wrap around is
// refused like any other request that cannot be met.
char* AllocateCharacters(uint64_t capacity) {
    if (capacity >= MaxAllocationSize)
        StopOutOfMemory();
    return static_cast<char*>(AllocateOrStop(capacity + 1));
}

} // namespace

void CInlineStringA::SetEmpty() {
    m_Pointer = nullptr;
    std::memset(m_Inline, 0, sizeof(m_Inline));
    m_Flags = 0;
    m_Capacity = InlineCapacity;
    m_Length = 0;
}

void CInlineStringA::ReleaseHeap() {
    if (IsOnHeap())
        FreeMemory(m_Pointer);
}

CInlineStringA::CInlineStringA(const char* text) {
    SetEmpty();
    if (text != nullptr)
        Assign(text, std::strlen(text));
}

CInlineStringA::CInlineStringA(const CInlineStringA& source) {
    SetEmpty();
    Reserve(source.m_Length);
    std::memcpy(GetWritableData(), source.GetData(), source.m_Length + 1);
    m_Length = source.m_Length;
}

CInlineStringA::CInlineStringA(CInlineStringA&& source) noexcept {
    SetEmpty();
    TakeOver(source);
}

void CInlineStringA::TakeOver(CInlineStringA& source) {
    if (source.IsInline())
        std::memcpy(m_Inline, source.m_Inline, sizeof(m_Inline));
    else
        m_Pointer = source.m_Pointer;
    m_Flags = static_cast<uint8_t>(m_Flags | (source.m_Flags & (BorrowedFlag | HeapFlag)));
    m_Capacity = source.m_Capacity;
    m_Length = source.m_Length;
    source.SetEmpty();
}

CInlineStringA::~CInlineStringA() {
    ReleaseHeap();
    SetEmpty();
}

CInlineStringA& CInlineStringA::operator=(const CInlineStringA& source) {
    if (this == &source) {
        Reserve(0);
        return *this;
    }
    if (IsBorrowed())
        SetEmpty();
    Reserve(source.m_Length);
    std::memcpy(GetWritableData(), source.GetData(), source.m_Length + 1);
    m_Length = source.m_Length;
    return *this;
}

CInlineStringA& CInlineStringA::operator=(CInlineStringA&& source) noexcept {
    if (this == &source)
        return *this;
    ReleaseHeap();
    SetEmpty();
    TakeOver(source);
    return *this;
}

CInlineStringA CInlineStringA::Borrow(const char* text) { return Borrow(text, std::strlen(text)); }

CInlineStringA CInlineStringA::Borrow(const char* text, uint64_t length) {
    CInlineStringA view;
    view.AssignBorrowed(text, length);
    return view;
}

CInlineStringA& CInlineStringA::AssignBorrowed(const char* text, uint64_t length) {
    ReleaseHeap();
    SetEmpty();
    m_Pointer = const_cast<char*>(text);
    m_Flags = BorrowedFlag;
    m_Capacity = length;
    m_Length = length;
    return *this;
}

void CInlineStringA::Reserve(uint64_t count) {
    if (IsBorrowed()) {
        const uint64_t capacity = count > m_Length ? count : m_Length;
        const char* lent = m_Pointer;
        if (capacity <= InlineCapacity) {
            m_Pointer = nullptr;
            std::memcpy(m_Inline, lent, m_Length + 1);
            m_Flags = static_cast<uint8_t>(m_Flags & ~BorrowedFlag);
        } else {
            char* block = AllocateCharacters(capacity);
            std::memcpy(block, lent, m_Length + 1);
            m_Pointer = block;
            m_Flags = static_cast<uint8_t>((m_Flags & ~BorrowedFlag) | HeapFlag);
        }
        m_Capacity = capacity;
        return;
    }
    if (count <= m_Capacity)
        return;
    char* block = AllocateCharacters(count);
    std::memcpy(block, GetData(), m_Length + 1);
    ReleaseHeap();
    m_Pointer = block;
    m_Flags = static_cast<uint8_t>(m_Flags | HeapFlag);
    m_Capacity = count;
}

bool CInlineStringA::PointsIntoOwnCharacters(const char* text) const {
    if (IsBorrowed() || text == nullptr)
        return false;
    const char* first = GetData();
    // Compared as integers: pointers into unrelated objects have no defined order.
    const auto address = reinterpret_cast<uintptr_t>(text);
    const auto begin = reinterpret_cast<uintptr_t>(first);
    return address >= begin && address <= begin + m_Length;
}

CInlineStringA& CInlineStringA::Assign(const char* text, uint64_t count) {
    if (PointsIntoOwnCharacters(text))
        return Assign(*this, static_cast<uint64_t>(text - GetData()), count);
    Reserve(count);
    char* data = GetWritableData();
    if (count != 0)
        std::memcpy(data, text, count);
    data[count] = '\0';
    m_Length = count;
    return *this;
}

CInlineStringA& CInlineStringA::Assign(const CInlineStringA& source, uint64_t position, uint64_t count) {
    const uint64_t available = source.m_Length - position;
    const uint64_t n = count < available ? count : available;
    if (source.IsBorrowed() && position + n == source.m_Length) {
        const char* text = source.m_Pointer + position;
        return AssignBorrowed(text, n);
    }
    if (&source == this) {
        Erase(position + n, npos);
        return Erase(0, position);
    }
    Reserve(n);
    char* data = GetWritableData();
    std::memcpy(data, source.GetData() + position, n);
    data[n] = '\0';
    m_Length = n;
    return *this;
}

CInlineStringA& CInlineStringA::Append(const char* text, uint64_t count) {
    if (PointsIntoOwnCharacters(text)) {
        const uint64_t offset = static_cast<uint64_t>(text - GetData());
        const uint64_t available = m_Length - offset;
        const uint64_t n = count < available ? count : available;
        if (n == 0)
            return *this;
        Reserve(m_Length + n);
        char* data = GetWritableData();
        std::memmove(data + m_Length, data + offset, n);
        m_Length += n;
        data[m_Length] = '\0';
        return *this;
    }
    if (count == 0)
        return *this;
    Reserve(m_Length + count);
    char* data = GetWritableData();
    std::memcpy(data + m_Length, text, count);
    m_Length += count;
    data[m_Length] = '\0';
    return *this;
}

CInlineStringA& CInlineStringA::Erase(uint64_t position, uint64_t count) {
    if (m_Length - position <= count) {
        Reserve(position);
        GetWritableData()[position] = '\0';
        m_Length = position;
        return *this;
    }
    if (count == 0)
        return *this;
    const uint64_t newLength = m_Length - count;
    Reserve(m_Length);
    char* data = GetWritableData();
    std::memmove(data + position, data + position + count, newLength - position);
    data[newLength] = '\0';
    m_Length = newLength;
    return *this;
}

uint64_t CInlineStringA::Find(const char* text, uint64_t count) const {
    if (count == 0)
        return 0;
    if (m_Length == 0 || count > m_Length)
        return npos;
    const char* data = GetData();
    for (uint64_t start = 0; start <= m_Length - count; ++start) {
        if (data[start] == text[0] && std::memcmp(data + start, text, count) == 0)
            return start;
    }
    return npos;
}

uint64_t CInlineStringA::FindChar(char c, uint64_t start) const {
    const char* data = GetData();
    for (uint64_t i = start; i < m_Length; ++i) {
        if (data[i] == c)
            return i;
    }
    return npos;
}

uint64_t CInlineStringA::FindLastChar(char c) const {
    const char* data = GetData();
    for (uint64_t i = m_Length; i > 0; --i) {
        if (data[i - 1] == c)
            return i - 1;
    }
    return npos;
}

CInlineStringA CInlineStringA::Substring(uint64_t position, uint64_t count) const {
    CInlineStringA result;
    // Compared without adding, so that a huge count cannot wrap around past the length.
    if (count > m_Length - position)
        count = m_Length - position;
    if (count == 0)
        return result;
    result.Reserve(count);
    char* data = result.GetWritableData();
    std::memcpy(data, GetData() + position, count);
    data[count] = '\0';
    result.m_Length = count;
    return result;
}

CInlineStringA CInlineStringA::Concat(const CInlineStringA& first, const CInlineStringA& second) {
    CInlineStringA result;
    result.Reserve(first.m_Length + second.m_Length);
    result.Assign(first, 0, npos);
    if (second.m_Length != 0) {
        result.Reserve(result.m_Length + second.m_Length);
        char* data = result.GetWritableData();
        std::memcpy(data + result.m_Length, second.GetData(), second.m_Length);
        result.m_Length += second.m_Length;
        data[result.m_Length] = '\0';
    }
    return result;
}

CInlineStringA& CInlineStringA::ReplaceBackslashes() {
    if (m_Length == 0)
        return *this;
    const void* first = std::memchr(GetData(), '\\', m_Length);
    if (first == nullptr)
        return *this;
    const uint64_t start = static_cast<uint64_t>(static_cast<const char*>(first) - GetData());
    if (IsBorrowed())
        Reserve(m_Capacity);
    char* data = GetWritableData();
    for (uint64_t i = start; i < m_Length; ++i) {
        if (data[i] == '\\')
            data[i] = '/';
    }
    return *this;
}

CInlineStringA& CInlineStringA::MakeLower() {
    Reserve(0);
    char* data = GetWritableData();
    for (uint64_t i = 0; i < m_Length; ++i)
        data[i] = LowerAscii(data[i]);
    return *this;
}

bool CInlineStringA::Equals(const char* text, uint64_t length) const {
    return m_Length == length && (length == 0 || std::memcmp(GetData(), text, length) == 0);
}
