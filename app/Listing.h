// Listing lines: one resource and the decision an extraction takes on it, as text or as JSON.
#pragma once

#include "app/Report.h"
#include "base/StringBuffer.h"
#include "resid/ResourceId.h"

#include <cstdint>

/// What an extraction does with a resource: the first test that stops it, or Extract when none does.
enum class EResourceStatus {
    /// It passes every test and is written.
    Extract,
    /// An earlier resource, container or external resource named its id already.
    Named,
    /// Its container does not admit the locale.
    Locale,
    /// The archives cannot give it: no container, no entry, a span or a size out of range.
    Unavailable,
    /// Its archive files are too short for its bytes: an extraction prints "Failed to read".
    Unreadable,
};

/// The word for a status in listings: "extract", "named", "locale", "unavailable" or "unreadable".
const char* GetStatusName(EResourceStatus status);

/// One resource as listed. The texts are borrowed for the call; Name may hold any bytes but NUL.
struct CListingLine {
    /// The header library's name.
    CStringViewA Library;
    ResourceId Id = 0;
    /// Entry header plus stored bytes; UnknownSize when it cannot be told.
    uint64_t Size = UnknownSize;
    EResourceStatus Status = EResourceStatus::Extract;
    CStringViewA Name;
    /// The container's path and the name the archives store it under, zero-terminated; null when the
    /// resource has no container.
    const char* Container = nullptr;
    const char* ArchiveName = nullptr;

    static constexpr uint64_t UnknownSize = ~uint64_t(0);
};

/// Appends value with tab, CR, LF and backslash written as "\\t", "\\r", "\\n" and "\\\\", the escapes of the
/// listings.
void AppendEscapedText(CStringBufferA& text, CStringViewA value);

/// Appends value as a JSON string: quotes, backslashes and control characters escaped,
/// well-formed UTF-8 kept, and each byte that starts no well-formed sequence replaced by U+FFFD.
void AppendJsonString(CStringBufferA& text, CStringViewA value);

/// Appends "library TAB id TAB size TAB status TAB name LF": the id in 16 upper-case hexadecimal digits,
/// the size in decimal or "-", and in the library and the name tab, CR, LF and backslash written as "\t",
/// "\r", "\n" and "\\", so that every line splits at its tabs.
void AppendListingText(CStringBufferA& text, const CListingLine& line);

/// Appends one JSON object and LF, with the members library, id, size (null when unknown), status, name,
/// container (or null) and archive_name (or null), then name_hex (the name's bytes in lower-case hex) when
/// the name is not valid UTF-8. Texts are decoded as UTF-8, each byte that starts no valid sequence
/// replaced by U+FFFD.
void AppendListingJson(CStringBufferA& text, const CListingLine& line);

/// Appends the closing {"summary": {...}} object and LF with every count of the run.
void AppendSummaryJson(CStringBufferA& text, const CRunCounts& counts);
