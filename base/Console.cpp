// Console output and the translation of the I64 length modifier.
#include "base/Console.h"

#include "base/Memory.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <type_traits>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

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
    const uint64_t needed = std::strlen(format) + 1;
    char* out = m_Inline;
    if (needed > InlineCapacity) {
        m_HeapBlock = static_cast<char*>(AllocateOrStop(needed));
        out = m_HeapBlock;
    }
    Translate(format, out);
    m_Result = out;
}

CFormatTranslation::~CFormatTranslation() { FreeMemory(m_HeapBlock); }

void Print(const char* format, ...) {
    CFormatTranslation translated(format);
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(stdout, translated.Get(), arguments);
    va_end(arguments);
}

void PrintError(const char* text) {
    std::fflush(stdout);
    std::fputs(text, stderr);
    std::fflush(stderr);
}

void FlushConsole() { std::fflush(stdout); }

void InitializeConsole() {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
}
