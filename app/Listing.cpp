// Listing lines as tab-separated text and as JSON.
#include "app/Listing.h"

#include <cstring>

namespace {

const char HexDigits[] = "0123456789abcdef";

void AppendText(CStringBufferA& text, const char* value) {
    text.Append(value);
}

void AppendDecimal(CStringBufferA& text, uint64_t value) {
    char digits[20];
    int position = 20;
    do {
        digits[--position] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    text.Append(CStringViewA(digits + position, static_cast<uint64_t>(20 - position)));
}

void AppendId(CStringBufferA& text, ResourceId id) {
    char digits[16];
    for (int i = 15; i >= 0; --i, id >>= 4)
        digits[i] = static_cast<char>("0123456789ABCDEF"[id & 15]);
    text.Append(CStringViewA(digits, 16));
}


bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// The length of the well-formed UTF-8 sequence at bytes (remaining of them), or 0 when none starts there:
// no overlong forms, no surrogates, nothing past U+10FFFF.
uint64_t GetSequenceLength(const unsigned char* bytes, uint64_t remaining) {
    const unsigned char lead = bytes[0];
    if (lead < 0x80)
        return 1;
    uint64_t length = 0;
    unsigned char secondLow = 0x80;
    unsigned char secondHigh = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        secondLow = lead == 0xE0 ? 0xA0 : 0x80;
        secondHigh = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        secondLow = lead == 0xF0 ? 0x90 : 0x80;
        secondHigh = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (remaining < length || bytes[1] < secondLow || bytes[1] > secondHigh)
        return 0;
    for (uint64_t i = 2; i < length; ++i) {
        if (!IsContinuation(bytes[i]))
            return 0;
    }
    return length;
}

bool IsValidUtf8(CStringViewA value) {
    const uint64_t length = value.GetLength();
    const auto* bytes = reinterpret_cast<const unsigned char*>(value.GetData());
    for (uint64_t i = 0; i < length;) {
        const uint64_t sequence = GetSequenceLength(bytes + i, length - i);
        if (sequence == 0)
            return false;
        i += sequence;
    }
    return true;
}

} // namespace

void AppendJsonString(CStringBufferA& text, CStringViewA value) {
    const uint64_t length = value.GetLength();
    const auto* bytes = reinterpret_cast<const unsigned char*>(value.GetData());
    text.Append("\"");
    uint64_t runStart = 0;
    for (uint64_t i = 0; i < length;) {
        const unsigned char byte = bytes[i];
        const uint64_t sequence = GetSequenceLength(bytes + i, length - i);
        if (sequence > 1 || (sequence == 1 && byte >= 0x20 && byte != '"' && byte != '\\')) {
            i += sequence;
            continue;
        }
        text.Append(value.Substring(runStart, i - runStart));
        if (sequence == 0) {
            text.Append("\xEF\xBF\xBD");
        } else if (byte == '"' || byte == '\\') {
            const char escape[2] = {'\\', static_cast<char>(byte)};
            text.Append(CStringViewA(escape, 2));
        } else {
            const char* shortForm = byte == '\b'   ? "\\b"
                                    : byte == '\f' ? "\\f"
                                    : byte == '\n' ? "\\n"
                                    : byte == '\r' ? "\\r"
                                    : byte == '\t' ? "\\t"
                                                   : nullptr;
            if (shortForm != nullptr) {
                text.Append(CStringViewA(shortForm, 2));
            } else {
                const char escape[6] = {'\\', 'u', '0', '0', HexDigits[byte >> 4], HexDigits[byte & 15]};
                text.Append(CStringViewA(escape, 6));
            }
        }
        runStart = ++i;
    }
    text.Append(value.Substring(runStart));
    text.Append("\"");
}

namespace {

void AppendJsonText(CStringBufferA& text, const char* value) {
    if (value == nullptr) {
        AppendText(text, "null");
        return;
    }
    AppendJsonString(text, CStringViewA(value));
}

} // namespace

void AppendEscapedText(CStringBufferA& text, CStringViewA value) {
    const uint64_t length = value.GetLength();
    uint64_t runStart = 0;
    for (uint64_t i = 0; i < length; ++i) {
        const char* escape = value[i] == '\t'   ? "\\t"
                             : value[i] == '\r' ? "\\r"
                             : value[i] == '\n' ? "\\n"
                             : value[i] == '\\' ? "\\\\"
                                                : nullptr;
        if (escape == nullptr)
            continue;
        text.Append(value.Substring(runStart, i - runStart));
        text.Append(CStringViewA(escape, 2));
        runStart = i + 1;
    }
    text.Append(value.Substring(runStart));
}

const char* GetStatusName(EResourceStatus status) {
    switch (status) {
    case EResourceStatus::Extract:
        return "extract";
    case EResourceStatus::Named:
        return "named";
    case EResourceStatus::Locale:
        return "locale";
    case EResourceStatus::Unavailable:
        return "unavailable";
    case EResourceStatus::Unreadable:
        return "unreadable";
    }
    return "";
}

void AppendListingText(CStringBufferA& text, const CListingLine& line) {
    AppendEscapedText(text, line.Library);
    text.Append("\t");
    AppendId(text, line.Id);
    text.Append("\t");
    if (line.Size == CListingLine::UnknownSize)
        text.Append("-");
    else
        AppendDecimal(text, line.Size);
    text.Append("\t");
    AppendText(text, GetStatusName(line.Status));
    text.Append("\t");
    AppendEscapedText(text, line.Name);
    text.Append("\n");
}

void AppendListingJson(CStringBufferA& text, const CListingLine& line) {
    AppendText(text, "{\"library\": ");
    AppendJsonString(text, line.Library);
    AppendText(text, ", \"id\": \"");
    AppendId(text, line.Id);
    AppendText(text, "\", \"size\": ");
    if (line.Size == CListingLine::UnknownSize)
        AppendText(text, "null");
    else
        AppendDecimal(text, line.Size);
    AppendText(text, ", \"status\": \"");
    AppendText(text, GetStatusName(line.Status));
    AppendText(text, "\", \"name\": ");
    AppendJsonString(text, line.Name);
    AppendText(text, ", \"container\": ");
    AppendJsonText(text, line.Container);
    AppendText(text, ", \"archive_name\": ");
    AppendJsonText(text, line.ArchiveName);
    if (!IsValidUtf8(line.Name)) {
        AppendText(text, ", \"name_hex\": \"");
        for (uint64_t i = 0; i < line.Name.GetLength(); ++i) {
            const auto byte = static_cast<unsigned char>(line.Name[i]);
            const char digits[2] = {HexDigits[byte >> 4], HexDigits[byte & 15]};
            text.Append(CStringViewA(digits, 2));
        }
        text.Append("\"");
    }
    AppendText(text, "}\n");
}

void AppendSummaryJson(CStringBufferA& text, const CRunCounts& counts) {
    const struct {
        const char* Key;
        uint64_t Value;
    } members[] = {
        {counts.WrittenKey, counts.Written},
        {counts.WrittenBytesKey, counts.WrittenBytes},
        {"kept_existing", counts.KeptExisting},
        {"skipped_by_locale", counts.SkippedByLocale},
        {"already_named", counts.AlreadyNamed},
        {"unavailable", counts.Unavailable},
        {"filtered_out", counts.FilteredOut},
        {"failed_reads", counts.FailedReads},
        {"failed_writes", counts.FailedWrites},
        {"libraries_loaded", counts.LibrariesLoaded},
        {"libraries_failed", counts.LibrariesFailed},
    };
    AppendText(text, "{\"summary\": {");
    for (const auto& member : members) {
        text.AppendFormat("\"%s\": ", member.Key);
        AppendDecimal(text, member.Value);
        AppendText(text, ", ");
    }
    text.AppendFormat("\"elapsed_seconds\": %.3f}}\n", counts.ElapsedSeconds);
}
