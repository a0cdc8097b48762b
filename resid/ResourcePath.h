// The ResourcePath functions: validation of resource paths, their ResourceId and their archive name.
#pragma once

#include "base/InlineString.h"
#include "base/StringView.h"
#include "resid/ResourceId.h"

#include <cstdint>

/// The operations on resource paths. A resource path such as "[textures/crate.tga].pc_texture" starts with
/// an optional bracket group (a "[" ... "]" group, nesting counted, optionally followed later by a
/// "(" ... ")" group); the index after the last group is the prefix end. The last "." at or before the
/// prefix end is the extension dot. A path holding "resourcelib?" or "securelib?" (letter case counts) is a
/// member path; one ending in "resourcelib" or "securelib" (letter case ignored) is a library path.
///
/// Every operation keeps no state between calls and may be re-entered; it only reads the path, which it
/// borrows for the call. Hashing lower-cases on the way, without a copy of the path.
namespace ResourcePath {

/// True when the path is not empty, holds only letters, digits and the characters
/// space ! # & ' ( ) + , - . / : ? [ ] \ _ ~, and holds no "//". Brackets need not balance.
bool IsValid(CStringViewA path);

/// The path's identifier, letter case ignored: InvalidResourceId for an empty or invalid path; for a
/// member path 0x80 in the top byte, the member index's low 24 bits, and the low 32 bits of the library
/// part's hash; for a library path 0x40000000 and the low 32 bits of the hash; otherwise the hash with
/// its top byte cleared. The library part is what comes before the first "?" at or after the prefix end
/// (empty without one); the member index is the number after that "?" up to the next ".", read as atoi
/// reads it, or -1 when no "." follows. The hash is the first 8 bytes of the MD5 digest of the
/// lower-cased text, read big-endian.
ResourceId GetId(CStringViewA path);

/// Sets out to the archive name of a text and returns out: the 32 upper-case hexadecimal digits of the
/// MD5 digest of the lower-cased text up to and including its extension dot, followed by the text from
/// the dot on as written; without a dot, the digits of the whole lower-cased text. Any text has a name;
/// the text is not validated.
CInlineStringA& GetArchiveName(CStringViewA text, CInlineStringA& out);

} // namespace ResourcePath
