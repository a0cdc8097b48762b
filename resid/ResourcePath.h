// CResourcePath: validation of resource paths, their ResourceId and their archive name.
#pragma once

#include "base/InlineString.h"
#include "resid/ResourceId.h"

#include <cstdint>

/// The operations on resource paths. A resource path such as "[textures/crate.tga].pc_texture" starts with
/// an optional bracket group (a "[" ... "]" group, nesting counted, optionally followed later by a
/// "(" ... ")" group); the index after the last group is the prefix end. The last "." at or before the
/// prefix end is the extension dot. A path holding "resourcelib?" or "securelib?" (letter case counts) is a
/// member path; one ending in "resourcelib" or "securelib" (letter case ignored) is a library path.
///
/// Every operation is static and leaves its arguments unchanged. GetId and GetArchiveName share one
/// process-wide scratch string, so neither may run while the other, or another call of itself, is in
/// progress. A borrowed path without upper-case letters is hashed where it lies, without a copy.
class CResourcePath {
public:
    static constexpr uint64_t npos = CInlineStringA::npos;

    /// True when the path is not empty, holds only letters, digits and the characters
    /// space ! # & ' ( ) + , - . / : ? [ ] \ _ ~, and holds no "//". Brackets need not balance.
    static bool IsValid(const CInlineStringA& path);

    /// True when the path ends in "resourcelib" or "securelib", letter case ignored.
    static bool IsLibrary(const CInlineStringA& path);

    /// Index just after the close character that matches the first open character at or after start
    /// (nested open characters counted), or npos when start is not below the length, no open character
    /// follows or the group does not close.
    static uint64_t FindGroupEnd(const CInlineStringA& path, uint64_t start, char open, char close);

    /// Index just after the path's bracket group: 0 when the path does not start with "[", otherwise the
    /// end of a "(" ... ")" group found after the "[" ... "]" group (or anywhere, when the square brackets
    /// do not close), else the end of the "[" ... "]" group, else 0.
    static uint64_t GetPrefixEnd(const CInlineStringA& path);

    /// Sets out to an owned copy of the library part: the characters before the first "?" at or after the
    /// prefix end. Out is empty when there is no such "?". Returns out.
    static CInlineStringA& GetLibraryPath(const CInlineStringA& path, CInlineStringA& out);

    /// The member index: the number after the first "?" at or after the prefix end, up to the next ".",
    /// read as atoi reads it (leading white space, optional sign, digits up to the first other character;
    /// no digits give 0; beyond the signed 32-bit range the nearest limit). -1 when there is no such "?",
    /// it is the last character, or no "." follows it. Work is overwritten with the index text.
    static int32_t ParseMemberIndex(const CInlineStringA& path, CInlineStringA& work);

    /// The first 8 bytes of the MD5 digest of the text's characters, read big-endian.
    static uint64_t Md5Hash64(const CInlineStringA& text);

    /// Sets out to the 32 upper-case hexadecimal digits of the MD5 digest of the text's characters (high
    /// nibble first) and returns out. Out may be borrowed; it is made owned without reading its old text.
    static CInlineStringA& Md5HexString(const CInlineStringA& text, CInlineStringA& out);

    /// The path's identifier, letter case ignored: InvalidResourceId for an empty or invalid path; for a
    /// member path 0x80 in the top byte, the member index's low 24 bits, and the low 32 bits of the library
    /// part's hash; for a library path 0x40000000 and the low 32 bits of the hash; otherwise the hash with
    /// its top byte cleared. Allocates only when the path holds an upper-case letter or is a member path.
    static ResourceId GetId(const CInlineStringA& path);

    /// Sets out to the archive name of a zero-terminated text and returns out: the digits of the MD5 digest
    /// of the lower-cased text up to and including its extension dot, followed by the text from the dot on
    /// as written; without a dot, the digits of the whole lower-cased text. Any text has a name; the text
    /// is not validated. Out may be borrowed; it is made owned without reading its old text.
    static CInlineStringA& GetArchiveName(const char* text, CInlineStringA& out);
};
