// CInlineStringA: the tool's dynamic 8-bit string with inline, heap and borrowed storage.
#pragma once

#include <cstdint>

/// A zero-terminated 8-bit string whose characters live in one of three places:
/// - inline, inside the object, up to InlineCapacity characters and the terminator, without allocation;
/// - on the heap, in a block of exactly capacity + 1 bytes that the string owns;
/// - borrowed: in memory owned elsewhere (a loaded payload, an archive entry's name, a literal). A borrowed
///   string never writes through its pointer; every change makes it own a copy first. The lender must keep
///   the characters, up to and including their terminator, unchanged and in place while the view exists.
/// Growth is exact: the capacity becomes what was asked for, so repeated small appends reallocate each
/// time; long texts are built with the string buffers instead. Storage only grows, until the string is
/// destroyed, moved from or made borrowed. A failed allocation stops the process (StopOutOfMemory).
/// Positions and counts are the caller's to keep within the length; npos as a count reaches the end.
class CInlineStringA {
public:
    static constexpr uint64_t npos = ~uint64_t(0);
    static constexpr uint64_t InlineCapacity = 14;

    /// The empty string: inline, capacity 14, length 0.
    CInlineStringA() { SetEmpty(); }
    /// An owned copy of a zero-terminated text; null counts as empty.
    explicit CInlineStringA(const char* text);
    /// An owned copy, inline when the length is at most 14, on the heap otherwise, whatever the source's mode.
    CInlineStringA(const CInlineStringA& source);
    /// Takes over the source's storage (pointer or inline characters); the source becomes empty.
    CInlineStringA(CInlineStringA&& source) noexcept;
    ~CInlineStringA();

    /// Replaces the content with an owned copy of the source's characters (never a borrowed view, so that
    /// the result outlives the source's lender). Use Assign(source, 0, npos) to keep a view.
    CInlineStringA& operator=(const CInlineStringA& source);
    /// Releases this string's heap block, then takes over the source as the move constructor does.
    CInlineStringA& operator=(CInlineStringA&& source) noexcept;

    /// A borrowed view over a zero-terminated text. The text must outlive the view.
    [[nodiscard]] static CInlineStringA Borrow(const char* text);
    /// A borrowed view over length characters; text[length] must be the lender's zero terminator.
    [[nodiscard]] static CInlineStringA Borrow(const char* text, uint64_t length);

    const char* GetData() const { return IsInline() ? m_Inline : m_Pointer; }
    uint64_t GetLength() const { return m_Length; }
    uint64_t GetCapacity() const { return m_Capacity; }
    bool IsEmpty() const { return m_Length == 0; }
    bool IsBorrowed() const { return (m_Flags & BorrowedFlag) != 0; }
    bool IsOnHeap() const { return (m_Flags & HeapFlag) != 0; }
    bool IsInline() const { return (m_Flags & (BorrowedFlag | HeapFlag)) == 0; }
    char operator[](uint64_t position) const { return GetData()[position]; }

    /// Guarantees capacity >= count in owned storage. On a borrowed string every count, 0 included, makes
    /// the string own its characters (inline with capacity max(count, length) when that is at most 14).
    void Reserve(uint64_t count);

    /// Replaces the content with count characters from text, which may point into this string itself.
    CInlineStringA& Assign(const char* text, uint64_t count);
    /// Replaces the content with up to count characters of source from position. When the source is
    /// borrowed and the part reaches its end, the result borrows the same characters and nothing is copied.
    CInlineStringA& Assign(const CInlineStringA& source, uint64_t position, uint64_t count);
    /// Makes this string a borrowed view over length characters; text[length] must be the lender's zero
    /// terminator. Releases any heap block first.
    CInlineStringA& AssignBorrowed(const char* text, uint64_t length);
    /// Appends count characters from text, which may point into this string itself.
    CInlineStringA& Append(const char* text, uint64_t count);
    /// Removes up to count characters from position.
    CInlineStringA& Erase(uint64_t position, uint64_t count);
    /// Position of the first occurrence of count characters (letter case counts); 0 for count 0, npos when
    /// absent.
    uint64_t Find(const char* text, uint64_t count) const;
    /// Position of the first occurrence of c at or after start, or npos.
    uint64_t FindChar(char c, uint64_t start = 0) const;
    /// Position of the last occurrence of c, or npos.
    uint64_t FindLastChar(char c) const;
    /// A new, always owned string of up to count characters from position.
    CInlineStringA Substring(uint64_t position, uint64_t count) const;
    /// A new string holding first followed by second; borrowed over first when first is borrowed and
    /// second is empty.
    static CInlineStringA Concat(const CInlineStringA& first, const CInlineStringA& second);
    /// Turns every backslash into a slash; a borrowed string without backslashes stays borrowed.
    CInlineStringA& ReplaceBackslashes();
    /// Lower-cases ASCII A to Z in place, after making the string own its characters.
    CInlineStringA& MakeLower();

    /// Same length and the same bytes.
    bool Equals(const char* text, uint64_t length) const;
    bool operator==(const CInlineStringA& other) const { return Equals(other.GetData(), other.m_Length); }

private:
    static constexpr uint8_t BorrowedFlag = 1;
    static constexpr uint8_t HeapFlag = 2;

    void SetEmpty();
    void ReleaseHeap();
    // Moves the source's storage, mode, capacity and length into this empty string; the source becomes empty.
    void TakeOver(CInlineStringA& source);
    char* GetWritableData() { return IsInline() ? m_Inline : m_Pointer; }
    bool PointsIntoOwnCharacters(const char* text) const;

    union {
        char* m_Pointer;
        char m_Inline[InlineCapacity + 1];
    };
    uint8_t m_Flags;
    uint64_t m_Capacity;
    uint64_t m_Length;
};
