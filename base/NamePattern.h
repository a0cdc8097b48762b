// Wildcard patterns over names: "*" for any run of bytes and "?" for one, ASCII letter case ignored.
#pragma once

#include "base/StringView.h"

/// True when pattern matches the whole of name. Letter case is ignored in the ASCII way; "*" stands for any
/// run of bytes (the empty one and "/" included) and "?" for exactly one byte; every other pattern byte
/// matches itself. Takes at most pattern length times name length steps, whatever the input.
bool MatchesNamePattern(CStringViewA pattern, CStringViewA name);
