// CInlineStringA: the tool's owning 8-bit string, inline when short and on the heap otherwise.
#pragma once

#include "base/StringView.h"

#include <cstdint>

/// A zero-terminated 8-bit string that always owns its characters: up to InlineCapacity of them live inside
/// the object with their terminator, without allocation; longer texts live in a heap block of exactly
/// capacity + 1 bytes. Growth is exact, so repeated small appends reallocate each time; long texts are built
/// with the string buffers instead. Storage only grows until the string is destroyed or moved from. Texts
/// that are only read where they lie are passed as CStringViewA. A failed allocation stops the process
/// (StopOutOfMemory). Positions and counts are the caller's to keep within the length; npos as a count
/// reaches the end.
class CInlineStringA {
public:
    static constexpr uint64_t npos = CStringViewA::npos;
    static constexpr uint64_t InlineCapacity = 14;

    CInlineStringA() { SetEmpty(); }
    /// A copy of the text.
    explicit CInlineStringA(CStringViewA text) {
        SetEmpty();
        Assign(text);
    }
    CInlineStringA(const CInlineStringA& source) : CInlineStringA(source.GetView()) {}
    /// Takes over the source's heap block or copies its inline characters; the source becomes empty.
    CInlineStringA(CInlineStringA&& source) noexcept;
    ~CInlineStringA() { ReleaseHeap(); }

    CInlineStringA& operator=(const CInlineStringA& source) { return Assign(source.GetView()); }
    /// Releases this string's heap block, then takes over the source as the move constructor does.
    CInlineStringA& operator=(CInlineStringA&& source) noexcept;

    const char* GetData() const { return IsOnHeap() ? m_Pointer : m_Inline; }
    uint64_t GetLength() const { return m_Length; }
    bool IsEmpty() const { return m_Length == 0; }
    char operator[](uint64_t position) const { return GetData()[position]; }
    /// The characters, borrowed: valid until the string changes or is destroyed. Not offered on a
    /// temporary, whose characters would be gone at the end of the expression.
    CStringViewA GetView() const& { return CStringViewA(GetData(), m_Length); }
    CStringViewA GetView() const&& = delete;

    /// Replaces the content with a copy of text, which may lie in this string's own characters.
    CInlineStringA& Assign(CStringViewA text);
    /// Appends a copy of text, which may lie in this string's own characters, even when the storage moves.
    CInlineStringA& Append(CStringViewA text);
    /// Removes up to count characters from position.
    CInlineStringA& Erase(uint64_t position, uint64_t count);
    /// Turns every backslash into a slash.
    CInlineStringA& ReplaceBackslashes();
    /// Lower-cases ASCII "A" to "Z" in place.
    CInlineStringA& MakeLower();

private:
    void SetEmpty();
    void ReleaseHeap();
    // Moves the source's characters into this string, whose heap block is released; the source becomes empty.
    void TakeOver(CInlineStringA& source);
    // Capacity only exceeds the inline area once a heap block holds the characters.
    bool IsOnHeap() const { return m_Capacity > InlineCapacity; }
    char* GetWritableData() { return IsOnHeap() ? m_Pointer : m_Inline; }

    union {
        char* m_Pointer;
        char m_Inline[InlineCapacity + 1];
    };
    uint64_t m_Capacity;
    uint64_t m_Length;
};
