// CStringViewA: a borrowed run of 8-bit characters, given by pointer and length.
#pragma once

#include <cstdint>
#include <cstring>

/// A pointer and a length over characters owned elsewhere: a loaded payload, a literal, a path being
/// passed along, an owning string. The view never owns, copies or changes them; the lender must keep them in
/// place and unchanged while the view is used. A view need not end at a zero terminator: a view made from a
/// zero-terminated text, or over a whole owning string, does; a Substring generally does not.
/// A view of an owning string is asked of the string by name (CInlineStringA::GetView), never made by an
/// implicit conversion, so that each borrowing shows at the call.
class CStringViewA {
public:
    static constexpr uint64_t npos = ~uint64_t(0);

    /// The empty view.
    constexpr CStringViewA() = default;
    /// length characters from text.
    constexpr CStringViewA(const char* text, uint64_t length) : m_Data(text), m_Length(length) {}
    /// A zero-terminated text up to its terminator; null is the empty text.
    CStringViewA(const char* text)
        : m_Data(text != nullptr ? text : ""), m_Length(text != nullptr ? std::strlen(text) : 0) {}

    /// Never null; points at "" for the empty view.
    const char* GetData() const { return m_Data; }
    uint64_t GetLength() const { return m_Length; }
    bool IsEmpty() const { return m_Length == 0; }
    char operator[](uint64_t position) const { return m_Data[position]; }

    /// Position of the first occurrence of text (letter case counts); 0 for an empty text, npos when absent.
    uint64_t Find(CStringViewA text) const {
        if (text.m_Length == 0)
            return 0;
        if (text.m_Length > m_Length)
            return npos;
        for (uint64_t start = 0; start <= m_Length - text.m_Length; ++start) {
            if (std::memcmp(m_Data + start, text.m_Data, text.m_Length) == 0)
                return start;
        }
        return npos;
    }
    /// Position of the first c at or after start, or npos.
    uint64_t FindChar(char c, uint64_t start = 0) const {
        for (uint64_t i = start; i < m_Length; ++i) {
            if (m_Data[i] == c)
                return i;
        }
        return npos;
    }
    /// Position of the last c, or npos.
    uint64_t FindLastChar(char c) const {
        for (uint64_t i = m_Length; i > 0; --i) {
            if (m_Data[i - 1] == c)
                return i - 1;
        }
        return npos;
    }
    /// Up to count characters from position (at most the length), borrowed from the same lender.
    CStringViewA Substring(uint64_t position, uint64_t count = npos) const {
        // Compared without adding, so that a huge count cannot wrap around past the length.
        const uint64_t available = m_Length - position;
        return CStringViewA(m_Data + position, count < available ? count : available);
    }

private:
    const char* m_Data = "";
    uint64_t m_Length = 0;
};

/// Same length and the same bytes.
inline bool operator==(CStringViewA left, CStringViewA right) {
    return left.GetLength() == right.GetLength() &&
           (left.IsEmpty() || std::memcmp(left.GetData(), right.GetData(), left.GetLength()) == 0);
}
