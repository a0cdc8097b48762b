// Console output: printf-style messages on standard output, and the one-line error channel.
#pragma once

#include <cstdarg>

/// Writes printf-style formatted text to standard output, adding no line end. Besides the C library's
/// directives the format accepts the 64-bit length modifier I64 ("%20I64u", "%.16I64X").
void Print(const char* format, ...);

/// Writes the text as it stands to standard error, after flushing standard output.
void PrintError(const char* text);

/// Flushes what Print has buffered.
void FlushConsole();

/// Prepares standard output for the tool's messages: on Windows it is switched to binary mode so that
/// "\r\n" reaches the console and pipes as written. Nothing to do elsewhere.
void InitializeConsole();

/// A printf format with the I64 length modifier rewritten into the C library's spelling for a 64-bit
/// integer. Formats without I64 are used in place; others are rewritten into an inline array, or into a heap
/// block when they are long. Borrows the format for the object's life.
class CFormatTranslation {
public:
    explicit CFormatTranslation(const char* format);
    ~CFormatTranslation();
    CFormatTranslation(const CFormatTranslation&) = delete;
    CFormatTranslation& operator=(const CFormatTranslation&) = delete;

    const char* Get() const { return m_Result; }

private:
    static constexpr int InlineCapacity = 256;
    const char* m_Result;
    char* m_HeapBlock = nullptr;
    char m_Inline[InlineCapacity];
};
