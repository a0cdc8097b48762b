// CResourcePath: bracket groups, member indexes and the MD5-derived identifiers and archive names.
#include "resid/ResourcePath.h"

#include "resid/Md5.h"

#include <climits>
#include <cstring>

namespace {

// Overwritten by every GetId and GetArchiveName; between calls it means nothing and may still borrow the
// characters of the last caller's path, so each call reassigns it before reading it.
CInlineStringA g_Scratch;

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

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EndsWithIgnoringCase(const CInlineStringA& text, const char* suffix, uint64_t suffixLength) {
    if (text.GetLength() < suffixLength)
        return false;
    const char* tail = text.GetData() + text.GetLength() - suffixLength;
    for (uint64_t i = 0; i < suffixLength; ++i) {
        if (LowerAscii(tail[i]) != LowerAscii(suffix[i]))
            return false;
    }
    return true;
}

// Makes a string that may borrow owned and empty without reading the lent characters, which may be gone
// by now. An owned string keeps its storage for reuse.
void DropBorrowedView(CInlineStringA& text) {
    if (text.IsBorrowed())
        text = CInlineStringA();
}

// Lower-cases the text in place, making it own its characters first, but only when some letter changes:
// an already lower-case borrowed text stays borrowed and nothing is copied.
void LowerIfNeeded(CInlineStringA& text) {
    const char* data = text.GetData();
    for (uint64_t i = 0; i < text.GetLength(); ++i) {
        if (data[i] >= 'A' && data[i] <= 'Z') {
            text.MakeLower();
            return;
        }
    }
}

void ComputeDigest(const CInlineStringA& text, uint8_t digest[16]) {
    Md5Context context;
    Md5Init(context);
    Md5Update(context, text.GetData(), text.GetLength());
    Md5Final(context);
    std::memcpy(digest, context.Digest, 16);
}

// Reads the index text as atoi does, clamping by hand so that an out-of-range value gives the same limit on
// every platform instead of undefined behaviour.
int32_t ConvertLikeAtoi(const char* text) {
    while (*text == ' ' || (*text >= '\t' && *text <= '\r'))
        ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') {
        negative = *text == '-';
        ++text;
    }
    // One past the largest magnitude is enough to know the value is out of range on either side.
    constexpr int64_t Limit = int64_t(INT32_MAX) + 2;
    int64_t magnitude = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        if (magnitude < Limit)
            magnitude = magnitude * 10 + (*text - '0');
    }
    const int64_t value = negative ? -magnitude : magnitude;
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return static_cast<int32_t>(value);
}

} // namespace

bool CResourcePath::IsValid(const CInlineStringA& path) {
    const uint64_t length = path.GetLength();
    if (length == 0)
        return false;
    const char* data = path.GetData();
    for (uint64_t i = 0; i < length; ++i) {
        if (!AllowedCharacters.Allowed[static_cast<unsigned char>(data[i])])
            return false;
    }
    return path.Find("//", 2) == npos;
}

bool CResourcePath::IsLibrary(const CInlineStringA& path) {
    return EndsWithIgnoringCase(path, LibrarySuffix, sizeof(LibrarySuffix) - 1) ||
           EndsWithIgnoringCase(path, SecureLibrarySuffix, sizeof(SecureLibrarySuffix) - 1);
}

uint64_t CResourcePath::FindGroupEnd(const CInlineStringA& path, uint64_t start, char open, char close) {
    const uint64_t length = path.GetLength();
    if (start >= length)
        return npos;
    const uint64_t first = path.FindChar(open, start);
    if (first == npos)
        return npos;
    const char* data = path.GetData();
    uint32_t depth = 1;
    for (uint64_t j = first + 1; j < length; ++j) {
        if (data[j] == open)
            ++depth;
        else if (data[j] == close)
            --depth;
        if (depth == 0)
            return j + 1;
    }
    return npos;
}

uint64_t CResourcePath::GetPrefixEnd(const CInlineStringA& path) {
    if (path.IsEmpty() || path[0] != '[')
        return 0;
    const uint64_t bracketEnd = FindGroupEnd(path, 0, '[', ']');
    const uint64_t parenthesisEnd = FindGroupEnd(path, bracketEnd == npos ? 0 : bracketEnd, '(', ')');
    if (parenthesisEnd != npos)
        return parenthesisEnd;
    return bracketEnd != npos ? bracketEnd : 0;
}

CInlineStringA& CResourcePath::GetLibraryPath(const CInlineStringA& path, CInlineStringA& out) {
    const uint64_t prefixEnd = GetPrefixEnd(path);
    const uint64_t mark = prefixEnd < path.GetLength() ? path.FindChar('?', prefixEnd) : npos;
    // A new owned string moved in: out may borrow characters that are gone by now.
    out = mark == npos ? CInlineStringA() : path.Substring(0, mark);
    return out;
}

int32_t CResourcePath::ParseMemberIndex(const CInlineStringA& path, CInlineStringA& work) {
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
    work = path.Substring(mark + 1, dot - mark - 1);
    return ConvertLikeAtoi(work.GetData());
}

uint64_t CResourcePath::Md5Hash64(const CInlineStringA& text) {
    uint8_t digest[16];
    ComputeDigest(text, digest);
    uint64_t hash = 0;
    for (int i = 0; i < 8; ++i)
        hash = (hash << 8) | digest[i];
    return hash;
}

CInlineStringA& CResourcePath::Md5HexString(const CInlineStringA& text, CInlineStringA& out) {
    static constexpr char Digits[] = "0123456789ABCDEF";
    uint8_t digest[16];
    ComputeDigest(text, digest);
    char hex[32];
    for (int i = 0; i < 16; ++i) {
        hex[2 * i] = Digits[digest[i] >> 4];
        hex[2 * i + 1] = Digits[digest[i] & 15];
    }
    DropBorrowedView(out);
    return out.Assign(hex, 32);
}

ResourceId CResourcePath::GetId(const CInlineStringA& path) {
    if (path.IsEmpty() || !IsValid(path))
        return InvalidResourceId;

    if (path.Find(MemberMarker, sizeof(MemberMarker) - 1) != npos ||
        path.Find(SecureMemberMarker, sizeof(SecureMemberMarker) - 1) != npos) {
        GetLibraryPath(path, g_Scratch);
        g_Scratch.MakeLower();
        const uint64_t hash = Md5Hash64(g_Scratch);
        const uint32_t index = static_cast<uint32_t>(ParseMemberIndex(path, g_Scratch));
        return 0x8000000000000000ull | (uint64_t(index & 0xFFFFFFu) << 32) | (hash & 0xFFFFFFFFull);
    }

    // The scratch views the path's own characters, owned or borrowed; they stay in place for this call,
    // and LowerIfNeeded copies them before anything is written.
    g_Scratch.AssignBorrowed(path.GetData(), path.GetLength());
    LowerIfNeeded(g_Scratch);
    const uint64_t hash = Md5Hash64(g_Scratch);
    if (IsLibrary(path))
        return 0x4000000000000000ull | (hash & 0xFFFFFFFFull);
    return hash & 0x00FFFFFFFFFFFFFFull;
}

CInlineStringA& CResourcePath::GetArchiveName(const char* text, CInlineStringA& out) {
    const CInlineStringA view = CInlineStringA::Borrow(text);
    const uint64_t length = view.GetLength();
    const uint64_t prefixEnd = GetPrefixEnd(view);

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

    const uint64_t hashedLength = dot == npos ? length : dot + 1;
    DropBorrowedView(g_Scratch);
    g_Scratch.Assign(text, hashedLength);
    g_Scratch.MakeLower();
    Md5HexString(g_Scratch, out);
    if (dot != npos)
        out.Append(text + dot, length - dot);
    return out;
}
