// CStringBufferA and TStringBufferA: printf-style text builders for paths and index texts.
#pragma once

#include <cstdarg>
#include <cstdint>

/// A heap-backed, always zero-terminated narrow text with printf-style Format and AppendFormat (which
/// accept the I64 length modifier). A buffer without storage of its own points at one shared, zero-filled
/// sentinel, so it reads as the empty text without an allocation. Capacities are multiples of 256.
/// AppendFormat grows to at least twice the current capacity so that building a long text line by line
/// stays linear. A failed allocation stops the process (StopOutOfMemory); the text is never left pointing
/// at storage that was not obtained. Buffers are not copyable; a move takes a heap block over and copies a
/// text that lies in a derived buffer's inline array.
class CStringBufferA {
public:
    CStringBufferA() = default;
    CStringBufferA(CStringBufferA&& source) noexcept;
    CStringBufferA(const CStringBufferA&) = delete;
    CStringBufferA& operator=(const CStringBufferA&) = delete;
    virtual ~CStringBufferA();

    /// Makes at least size bytes usable at the data pointer, terminator included, keeping the text.
    virtual void Reserve(uint64_t size);
    /// Empties the text; with release set the storage is given up too.
    virtual void Clear(bool release);

    /// Replaces the text with the formatted arguments; returns the new length (0 for an empty result or a
    /// formatting error, which empty the text and keep the storage).
    uint64_t Format(const char* format, ...);
    uint64_t FormatV(const char* format, va_list arguments);
    /// Appends the formatted arguments; returns the new length (unchanged on an empty result or an error).
    uint64_t AppendFormat(const char* format, ...);
    uint64_t AppendFormatV(const char* format, va_list arguments);
    /// Appends length bytes of text as they stand.
    void Append(const char* text, uint64_t length);
    /// Replaces the text with a copy of a zero-terminated text; null empties it. Returns the data pointer.
    const char* Assign(const char* text);
    /// A new buffer holding the last character of the text, or an empty one.
    CStringBufferA Right() const;

    const char* GetData() const { return m_Data; }
    uint64_t GetLength() const { return m_Length; }
    uint64_t GetCapacity() const { return m_Capacity; }

protected:
    /// The zero-filled text that buffers without storage point at; never freed or written.
    static char* GetSentinel();
    bool HasHeapBlock() const;
    /// The base class's growth: rounds size up to 256 and moves the text into a new heap block.
    void ReserveOnHeap(uint64_t size);

    char* m_Data = GetSentinel();
    uint64_t m_Capacity = 0;
    uint64_t m_Length = 0;

    /// The size an append reserves when needed bytes no longer fit: at least twice the capacity.
    virtual uint64_t GetGrowthSize(uint64_t needed) const;

private:
    /// True when the data pointer is neither the sentinel nor storage inside the object.
    virtual bool IsHeapBlock(const char* data) const;
};

/// A CStringBufferA with an inline array of InlineSize characters, used while the text (with its
/// terminator) fits, so that paths need no heap block. While the inline array is in use, the capacity is the
/// size most recently reserved, not InlineSize.
template <uint64_t InlineSize>
class TStringBufferA : public CStringBufferA {
public:
    TStringBufferA() { m_Inline[0] = '\0'; }
    ~TStringBufferA() override {
        if (m_Data == m_Inline)
            m_Data = GetSentinel();
    }

    void Reserve(uint64_t size) override {
        if (size <= InlineSize) {
            if (HasHeapBlock()) {
                ReserveOnHeap(size);
                return;
            }
            m_Data = m_Inline;
            if (m_Length == 0)
                m_Inline[0] = '\0';
            // The inline array's usable size never shrinks below what the text already needs.
            if (size > m_Capacity)
                m_Capacity = size;
            return;
        }
        if (m_Data == m_Inline) {
            m_Data = GetSentinel();
            m_Capacity = 0;
            ReserveOnHeap(size);
            for (uint64_t i = 0; i <= m_Length; ++i)
                m_Data[i] = m_Inline[i];
            return;
        }
        ReserveOnHeap(size);
    }

    void Clear(bool release) override {
        if (m_Data == m_Inline) {
            m_Data = GetSentinel();
            m_Capacity = 0;
            m_Length = 0;
            return;
        }
        CStringBufferA::Clear(release);
    }

    bool IsUsingInlineArray() const { return m_Data == m_Inline; }

protected:
    /// A text that still fits the inline array stays there; doubling only starts on the heap.
    uint64_t GetGrowthSize(uint64_t needed) const override {
        if (needed <= InlineSize && !HasHeapBlock())
            return needed;
        return CStringBufferA::GetGrowthSize(needed);
    }

private:
    bool IsHeapBlock(const char* data) const override { return data != GetSentinel() && data != m_Inline; }

    char m_Inline[InlineSize];
};
