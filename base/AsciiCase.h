// ASCII letter case: folding single bytes and comparing texts with letter case ignored.
#pragma once

#include "base/StringView.h"

#include <cstdint>

/// "A" to "Z" become "a" to "z"; every other byte stays as it is.
constexpr char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

/// "a" to "z" become "A" to "Z"; every other byte stays as it is.
constexpr char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

/// True when both texts have the same length and the same bytes after ASCII lower-casing.
inline bool EqualsIgnoringCase(CStringViewA left, CStringViewA right) {
    if (left.GetLength() != right.GetLength())
        return false;
    for (uint64_t i = 0; i < left.GetLength(); ++i) {
        if (LowerAscii(left[i]) != LowerAscii(right[i]))
            return false;
    }
    return true;
}
