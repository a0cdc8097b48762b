// Whole-name pattern matching and the include/exclude decision.
#include "app/NameFilter.h"

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
