// CStringBufferA and TStringBufferA: printf-style text builders for paths and index texts.
#pragma once

#include "base/StringView.h"

#include <cstdarg>
#include <cstdint>

/// A growable, always zero-terminated narrow text with printf-style Format and AppendFormat (which accept
/// the I64 length modifier). The buffer works on the storage it is handed: none for a plain CStringBufferA,
/// which then reads as the empty text without an allocation, or the inline array of a TStringBufferA. When
/// a text no longer fits, it moves to a heap block that the buffer owns; appends grow it to at least twice
/// its size so that a text built line by line stays linear. Appending or formatting the buffer's own text
/// into itself is safe. A failed allocation stops the process (StopOutOfMemory). Not copyable.
class CStringBufferA {
public:
    CStringBufferA();
    CStringBufferA(const CStringBufferA&) = delete;
    CStringBufferA& operator=(const CStringBufferA&) = delete;
    ~CStringBufferA();

    /// Makes at least size bytes usable, terminator included, keeping the text.
    void Reserve(uint64_t size);

    /// Replaces the text with the formatted arguments; returns the new length (0 for an empty result or a
    /// formatting error, which empty the text and keep the storage).
    uint64_t Format(const char* format, ...);
    uint64_t FormatV(const char* format, va_list arguments) { return FormatAt(0, format, arguments); }
    /// Appends the formatted arguments; returns the new length (unchanged on an empty result or an error).
    uint64_t AppendFormat(const char* format, ...);
    /// Appends the bytes of text as they stand; text may lie in this buffer's own characters.
    void Append(CStringViewA text);
    /// Replaces the text with a copy of text, which may lie in this buffer's own characters.
    void Assign(CStringViewA text);

    /// Zero-terminated; valid until the buffer changes.
    const char* GetData() const { return m_Data; }
    uint64_t GetLength() const { return m_Length; }
    /// The text, borrowed until the buffer changes.
    CStringViewA GetView() const { return CStringViewA(m_Data, m_Length); }

protected:
    /// A buffer that uses size bytes at storage (zero-terminated by the caller) before any heap block.
    CStringBufferA(char* storage, uint64_t size) : m_Data(storage), m_Capacity(size), m_Storage(storage) {}

private:
    // Moves the text to a heap block of at least size bytes and returns the previous heap block (null when
    // there was none), which the caller frees once nothing is read from it any more.
    [[nodiscard]] char* Grow(uint64_t size);
    // Formats at offset, replacing what follows; the text before offset stays.
    uint64_t FormatAt(uint64_t offset, const char* format, va_list arguments);

    char* m_Data;
    // Bytes usable at m_Data, terminator included; 0 while m_Data is the shared empty text.
    uint64_t m_Capacity = 0;
    uint64_t m_Length = 0;
    // The storage handed over at construction, or null.
    char* m_Storage = nullptr;
};

/// A CStringBufferA whose text stays in an inline array of InlineSize bytes while it fits, so that paths
/// need no heap block.
template <uint64_t InlineSize> class TStringBufferA : public CStringBufferA {
public:
    TStringBufferA() : CStringBufferA(m_Inline, InlineSize) { m_Inline[0] = '\0'; }

private:
    char m_Inline[InlineSize];
};
