// Console output: printf-style messages on standard output (or standard error), raw output, and the error
// channel.
#pragma once

#include "base/StringView.h"

#include <cstdarg>
#include <cstdint>

/// Writes printf-style formatted text to standard output (standard error after SendMessagesToError),
/// adding no line end, and flushes it. Besides the C library's directives the format accepts the 64-bit
/// length modifier I64 ("%20I64u", "%.16I64X").
void Print(const char* format, ...);
/// Print with its arguments in a va_list.
void PrintV(const char* format, va_list arguments);

/// Sends the messages of Print to standard error from now on, leaving standard output to WriteOutput; used
/// when standard output carries a listing that other programs read.
void SendMessagesToError();

/// Writes the bytes of text as they stand to standard output, and flushes it.
void WriteOutput(CStringViewA text);

/// True once a write to standard output has failed or fallen short (a full disk, a closed pipe, a device
/// that takes nothing). Every write and flush of standard output is checked; after the first failure
/// nothing more is written there, so that the output never resumes past a gap.
bool HasOutputFailed();
/// The OS's code of the first failed write to standard output; 0 while none failed.
uint32_t GetOutputErrorCode();

/// Writes the text as it stands to standard error, after flushing standard output.
void PrintError(CStringViewA text);

/// Draws text (one line without a line end) on standard error in place of the status line drawn before,
/// returning to the line's start. Print and PrintError erase it before they write, so that messages never
/// run into it; it is drawn again by the next call.
void ShowStatusLine(CStringViewA text);

/// Erases the status line, if one is drawn, leaving the cursor at the start of the empty line.
void ClearStatusLine();

/// True when standard error is a terminal (a console on Windows), where a line redrawn in place makes sense.
bool IsErrorTerminal();

/// Flushes what Print and WriteOutput have buffered for standard output.
void FlushConsole();

/// Prepares standard output and standard error for the tool's messages: on Windows both are switched to
/// binary mode so that "\r\n" reaches the console and pipes as written. Nothing to do elsewhere.
void InitializeConsole();

/// A printf format with the I64 length modifier rewritten into the C library's spelling for a 64-bit
/// integer. Formats without I64 are used in place; others are rewritten into an inline array. Formats are
/// the tool's own literals, all far shorter than the array: a longer one with I64 is a programming error
/// (asserted). Borrows the format for the object's life.
class CFormatTranslation {
public:
    static constexpr uint64_t MaxFormatLength = 255;

    explicit CFormatTranslation(const char* format);
    CFormatTranslation(const CFormatTranslation&) = delete;
    CFormatTranslation& operator=(const CFormatTranslation&) = delete;

    const char* Get() const { return m_Result; }

private:
    const char* m_Result;
    char m_Inline[MaxFormatLength + 1];
};
