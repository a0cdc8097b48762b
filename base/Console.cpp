// Console output and the translation of the I64 length modifier.
#include "base/Console.h"

#include "base/Platform.h"

#include <atomic>
#include <cassert>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <type_traits>

#ifdef _WIN32
#include <cstdlib>
#include <fcntl.h>
#include <io.h>
#endif

namespace {

// Messages, the listing and the status line may come from several threads (the writers of an extraction
// print their failures); one at a time keeps each line whole and the status line's state right. Recursive,
// because printing a message first clears the status line.
std::recursive_mutex g_ConsoleMutex;

// Where Print writes: standard output, or standard error while a listing owns standard output.
FILE* g_MessageStream = nullptr;

// Length of the status line on standard error, 0 while none is drawn.
uint64_t g_StatusLength = 0;

// Set by the first failed write to standard output; read without the lock by the run's threads.
std::atomic<bool> g_OutputFailed{false};
std::atomic<uint32_t> g_OutputErrorCode{0};

// The OS's code for the failure of the C library's stream call just made: errno, or on Windows the code of
// the failed WriteFile, which the C library keeps apart from its errno.
uint32_t GetStreamErrorCode() {
#ifdef _WIN32
    return static_cast<uint32_t>(_doserrno);
#else
    return static_cast<uint32_t>(errno);
#endif
}

// Records a failed write of standard output: the first one's code is kept. The stream's error flag counts
// too: the Windows C library does not always pass a failed write on to the call's result.
void CheckOutput(bool succeeded) {
    if ((succeeded && std::ferror(stdout) == 0) || g_OutputFailed.load())
        return;
    g_OutputErrorCode.store(GetStreamErrorCode());
    g_OutputFailed.store(true);
}

// Flushes standard output, unless it has failed before.
void FlushOutput() {
    if (!g_OutputFailed.load())
        CheckOutput(std::fflush(stdout) == 0);
}

void PutBlanks(uint64_t count) {
    for (uint64_t i = 0; i < count; ++i)
        std::fputc(' ', stderr);
}

// The C library's length modifier for uint64_t: "l" where it is unsigned long (LP64 systems), "ll" where it
// is unsigned long long (Windows, 32-bit systems).
constexpr const char* Int64Modifier = std::is_same_v<uint64_t, unsigned long> ? "l" : "ll";

bool IsDirectiveFlagOrWidth(char c) {
    return c == '-' || c == '+' || c == ' ' || c == '#' || c == '.' || c == '*' || (c >= '0' && c <= '9');
}

// Rewrites format into out (capacity bytes, enough for the result since "l"/"ll" are shorter than "I64").
void Translate(const char* format, char* out) {
    const uint64_t modifierLength = std::strlen(Int64Modifier);
    while (*format != '\0') {
        if (*format != '%') {
            *out++ = *format++;
            continue;
        }
        *out++ = *format++;
        while (IsDirectiveFlagOrWidth(*format))
            *out++ = *format++;
        if (format[0] == 'I' && format[1] == '6' && format[2] == '4') {
            std::memcpy(out, Int64Modifier, modifierLength);
            out += modifierLength;
            format += 3;
        } else if (*format == '%') {
            *out++ = *format++;
        }
    }
    *out = '\0';
}

} // namespace

CFormatTranslation::CFormatTranslation(const char* format) : m_Result(format) {
    if (std::strstr(format, "I64") == nullptr)
        return;
    const bool fits = std::strlen(format) <= MaxFormatLength;
    assert(fits);
    // Without asserts an overlong format stays untranslated rather than overrun the array.
    if (!fits)
        return;
    Translate(format, m_Inline);
    m_Result = m_Inline;
}

void Print(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    PrintV(format, arguments);
    va_end(arguments);
}

void PrintV(const char* format, va_list arguments) {
    CFormatTranslation translated(format);
    const std::lock_guard<std::recursive_mutex> lock(g_ConsoleMutex);
    ClearStatusLine();
    if (g_MessageStream != nullptr) {
        // The listing so far goes first, so that a terminal that shows both streams keeps their order.
        FlushOutput();
        std::vfprintf(g_MessageStream, translated.Get(), arguments);
        std::fflush(g_MessageStream);
        return;
    }
    if (g_OutputFailed.load())
        return;
    // Every message reaches its reader at once, so that a killed or piped run shows all it printed. The
    // Windows C library buffers fully even where line buffering is asked for, so the flush is explicit.
    CheckOutput(std::vfprintf(stdout, translated.Get(), arguments) >= 0);
    FlushOutput();
}

void SendMessagesToError() {
    g_MessageStream = stderr;
}

void WriteOutput(CStringViewA text) {
    const std::lock_guard<std::recursive_mutex> lock(g_ConsoleMutex);
    if (g_OutputFailed.load())
        return;
    CheckOutput(std::fwrite(text.GetData(), 1, text.GetLength(), stdout) == text.GetLength());
    FlushOutput();
}

bool HasOutputFailed() { return g_OutputFailed.load(); }

uint32_t GetOutputErrorCode() { return g_OutputErrorCode.load(); }

void PrintError(CStringViewA text) {
    const std::lock_guard<std::recursive_mutex> lock(g_ConsoleMutex);
    ClearStatusLine();
    FlushOutput();
    std::fwrite(text.GetData(), 1, text.GetLength(), stderr);
    std::fflush(stderr);
}

void ShowStatusLine(CStringViewA text) {
    const std::lock_guard<std::recursive_mutex> lock(g_ConsoleMutex);
    FlushOutput();
    const uint64_t length = text.GetLength();
    std::fputc('\r', stderr);
    std::fwrite(text.GetData(), 1, length, stderr);
    // Blanks over what a longer line before left on the screen, then back to the start.
    if (length < g_StatusLength)
        PutBlanks(g_StatusLength - length);
    std::fputc('\r', stderr);
    std::fflush(stderr);
    g_StatusLength = length;
}

void ClearStatusLine() {
    const std::lock_guard<std::recursive_mutex> lock(g_ConsoleMutex);
    if (g_StatusLength == 0)
        return;
    PutBlanks(g_StatusLength);
    std::fputc('\r', stderr);
    std::fflush(stderr);
    g_StatusLength = 0;
}

bool IsErrorTerminal() {
    return Os::IsErrorTerminal();
}

void FlushConsole() { FlushOutput(); }

void InitializeConsole() {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
}
