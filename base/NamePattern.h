// Wildcard patterns over names: "*" for any run of bytes and "?" for one, ASCII letter case ignored.
#pragma once

#include <cstdint>

/// True when pattern matches the whole of name (length bytes). Letter case is ignored in the ASCII way;
/// "*" stands for any run of bytes (the empty one and "/" included) and "?" for exactly one byte; every other
/// pattern byte matches itself. Takes at most pattern length times name length steps, whatever the input.
bool MatchesNamePattern(const char* pattern, const char* name, uint64_t length);
