// ASCII letter-case folding: the only case folding the tool does; no other byte is ever changed.
#pragma once

/// The letter in lower case for "A" to "Z"; every other byte as it is.
constexpr char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
