// Whole-name pattern matching and the include/exclude decision.
#include "app/NameFilter.h"

#include "base/ByteOrder.h"
#include "base/Memory.h"

namespace {

bool MatchesAny(const CArray<const char*>& patterns, const char* name, uint64_t length) {
    for (const char* pattern : patterns) {
        if (MatchesNamePattern(pattern, name, length))
            return true;
    }
    return false;
}

void AddPattern(CArray<const char*>& patterns, const char* pattern) {
    if (!patterns.Append(pattern))
        StopOutOfMemory();
}

} // namespace

bool MatchesNamePattern(const char* pattern, const char* name, uint64_t length) {
    // Names come from untrusted files, so a pattern with many stars must not backtrack recursively. Only the
    // latest star matters: when a later literal fails, that star swallows one more byte and matching resumes
    // just after it. An earlier star could only ever give a match that the latest one also finds.
    const char* resumePattern = nullptr;
    uint64_t resumeName = 0;
    uint64_t position = 0;
    while (position < length) {
        if (*pattern == '*') {
            resumePattern = ++pattern;
            resumeName = position;
        } else if (*pattern != '\0' &&
                   (*pattern == '?' || LowerAscii(*pattern) == LowerAscii(name[position]))) {
            ++pattern;
            ++position;
        } else if (resumePattern != nullptr) {
            pattern = resumePattern;
            position = ++resumeName;
        } else {
            return false;
        }
    }
    while (*pattern == '*')
        ++pattern;
    return *pattern == '\0';
}

void CNameFilter::Include(const char* pattern) {
    AddPattern(m_Include, pattern);
}

void CNameFilter::Exclude(const char* pattern) {
    AddPattern(m_Exclude, pattern);
}

bool CNameFilter::IsTaken(const char* name, uint64_t length) const {
    if (m_Include.GetCount() != 0 && !MatchesAny(m_Include, name, length))
        return false;
    return !MatchesAny(m_Exclude, name, length);
}
