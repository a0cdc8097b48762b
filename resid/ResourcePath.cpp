// ResourcePath: bracket groups, member indexes and the MD5-derived identifiers and archive names.
#include "resid/ResourcePath.h"

#include "base/AsciiCase.h"
#include "base/ByteOrder.h"
#include "resid/Md5.h"

#include <climits>
#include <cstring>

namespace {

constexpr uint64_t npos = CStringViewA::npos;
constexpr char MemberMarker[] = "resourcelib?";
constexpr char SecureMemberMarker[] = "securelib?";
constexpr char LibrarySuffix[] = "resourcelib";
constexpr char SecureLibrarySuffix[] = "securelib";

// Indexed by byte: the 81 characters a resource path may hold.
struct CAllowedCharacters {
    bool Allowed[256] = {};
    constexpr CAllowedCharacters() {
        for (int c = 'a'; c <= 'z'; ++c)
            Allowed[c] = true;
        for (int c = 'A'; c <= 'Z'; ++c)
            Allowed[c] = true;
        for (int c = '0'; c <= '9'; ++c)
            Allowed[c] = true;
        for (const char* c = " !#&'()+,-./:?[]\\_~"; *c != '\0'; ++c)
            Allowed[static_cast<unsigned char>(*c)] = true;
    }
};
constexpr CAllowedCharacters AllowedCharacters;

// Reads the index text as atoi does, clamping by hand so that an out-of-range value gives the same limit on
// every platform instead of undefined behaviour.
int32_t ConvertLikeAtoi(CStringViewA text) {
    uint64_t i = 0;
    const uint64_t length = text.GetLength();
    while (i < length && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < length && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // One past the largest magnitude is enough to know the value is out of range on either side.
    constexpr int64_t Limit = int64_t(INT32_MAX) + 2;
    int64_t magnitude = 0;
    for (; i < length && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (magnitude < Limit)
            magnitude = magnitude * 10 + (text[i] - '0');
    }
    const int64_t value = negative ? -magnitude : magnitude;
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return static_cast<int32_t>(value);
}

bool EndsWithIgnoringCase(CStringViewA text, CStringViewA suffix) {
    return text.GetLength() >= suffix.GetLength() &&
           EqualsIgnoringCase(text.Substring(text.GetLength() - suffix.GetLength()), suffix);
}

bool IsLibrary(CStringViewA path) {
    return EndsWithIgnoringCase(path, LibrarySuffix) || EndsWithIgnoringCase(path, SecureLibrarySuffix);
}

// Index just after the close character that matches the first open character at or after start (nested
// open characters counted), or npos when start is not below the length, no open character follows or the
// group does not close.
uint64_t FindGroupEnd(CStringViewA path, uint64_t start, char open, char close) {
    const uint64_t length = path.GetLength();
    if (start >= length)
        return npos;
    const uint64_t first = path.FindChar(open, start);
    if (first == npos)
        return npos;
    uint32_t depth = 1;
    for (uint64_t j = first + 1; j < length; ++j) {
        if (path[j] == open)
            ++depth;
        else if (path[j] == close)
            --depth;
        if (depth == 0)
            return j + 1;
    }
    return npos;
}

// Index just after the path's bracket group: 0 when the path does not start with "[", otherwise the end of a
// "(" ... ")" group found after the "[" ... "]" group (or anywhere, when the square brackets do not close),
// else the end of the "[" ... "]" group, else 0.
uint64_t GetPrefixEnd(CStringViewA path) {
    if (path.IsEmpty() || path[0] != '[')
        return 0;
    const uint64_t bracketEnd = FindGroupEnd(path, 0, '[', ']');
    const uint64_t parenthesisEnd = FindGroupEnd(path, bracketEnd == npos ? 0 : bracketEnd, '(', ')');
    if (parenthesisEnd != npos)
        return parenthesisEnd;
    return bracketEnd != npos ? bracketEnd : 0;
}

// The MD5 digest of the text after ASCII lower-casing, which is done a block at a time on the stack so that
// the path is never copied whole.
void ComputeLowerDigest(CStringViewA text, uint8_t digest[16]) {
    CMd5Context context;
    Md5Init(context);
    char block[64];
    for (uint64_t done = 0; done < text.GetLength();) {
        const uint64_t left = text.GetLength() - done;
        const uint64_t count = left < sizeof(block) ? left : sizeof(block);
        for (uint64_t i = 0; i < count; ++i)
            block[i] = LowerAscii(text[done + i]);
        Md5Update(context, block, count);
        done += count;
    }
    Md5Final(context);
    std::memcpy(digest, context.Digest, 16);
}

// The first 8 bytes of the digest of the lower-cased text, read big-endian.
uint64_t LowerHash64(CStringViewA text) {
    uint8_t digest[16];
    ComputeLowerDigest(text, digest);
    return LoadU64BE(digest);
}

// The member index: the number after the first "?" at or after the prefix end, up to the next "."; -1 when
// there is no such "?", it is the last character, or no "." follows it.
int32_t ParseMemberIndex(CStringViewA path) {
    const uint64_t length = path.GetLength();
    const uint64_t prefixEnd = GetPrefixEnd(path);
    if (prefixEnd >= length)
        return -1;
    const uint64_t mark = path.FindChar('?', prefixEnd);
    if (mark == npos || mark + 1 >= length)
        return -1;
    const uint64_t dot = path.FindChar('.', mark + 1);
    if (dot == npos)
        return -1;
    return ConvertLikeAtoi(path.Substring(mark + 1, dot - mark - 1));
}

} // namespace

bool ResourcePath::IsValid(CStringViewA path) {
    const uint64_t length = path.GetLength();
    if (length == 0)
        return false;
    for (uint64_t i = 0; i < length; ++i) {
        if (!AllowedCharacters.Allowed[static_cast<unsigned char>(path[i])])
            return false;
    }
    return path.Find("//") == npos;
}

ResourceId ResourcePath::GetId(CStringViewA path) {
    if (!IsValid(path))
        return InvalidResourceId;

    if (path.Find(MemberMarker) != npos || path.Find(SecureMemberMarker) != npos) {
        // The library part: the characters before the first "?" at or after the prefix end.
        const uint64_t prefixEnd = GetPrefixEnd(path);
        const uint64_t mark = prefixEnd < path.GetLength() ? path.FindChar('?', prefixEnd) : npos;
        const uint64_t hash = LowerHash64(mark == npos ? CStringViewA() : path.Substring(0, mark));
        const uint32_t index = static_cast<uint32_t>(ParseMemberIndex(path));
        return 0x8000000000000000ull | (uint64_t(index & 0xFFFFFFu) << 32) | (hash & 0xFFFFFFFFull);
    }

    const uint64_t hash = LowerHash64(path);
    if (IsLibrary(path))
        return 0x4000000000000000ull | (hash & 0xFFFFFFFFull);
    return hash & 0x00FFFFFFFFFFFFFFull;
}

CInlineStringA& ResourcePath::GetArchiveName(CStringViewA text, CInlineStringA& out) {
    const uint64_t length = text.GetLength();
    const uint64_t prefixEnd = GetPrefixEnd(text);

    // The dot is searched from the prefix end downwards, so a path without a bracket group only finds a dot
    // in its first character.
    uint64_t dot = npos;
    if (length != 0) {
        for (uint64_t i = prefixEnd < length - 1 ? prefixEnd : length - 1;; --i) {
            if (text[i] == '.') {
                dot = i;
                break;
            }
            if (i == 0)
                break;
        }
    }

    static constexpr char Digits[] = "0123456789ABCDEF";
    uint8_t digest[16];
    ComputeLowerDigest(text.Substring(0, dot == npos ? length : dot + 1), digest);
    char hex[32];
    for (int i = 0; i < 16; ++i) {
        hex[2 * i] = Digits[digest[i] >> 4];
        hex[2 * i + 1] = Digits[digest[i] & 15];
    }
    out.Assign(CStringViewA(hex, 32));
    if (dot != npos)
        out.Append(text.Substring(dot));
    return out;
}
