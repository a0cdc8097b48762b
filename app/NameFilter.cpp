// Whole-name pattern matching and the include/exclude decision.
#include "app/NameFilter.h"

namespace {

bool MatchesAny(const CArray<CInlineStringA>& patterns, CStringViewA name) {
    for (const CInlineStringA& pattern : patterns) {
        if (MatchesNamePattern(pattern.GetView(), name))
            return true;
    }
    return false;
}

} // namespace

void CNameFilter::Include(CStringViewA pattern) {
    m_Include.Append(CInlineStringA(pattern));
}

void CNameFilter::Exclude(CStringViewA pattern) {
    m_Exclude.Append(CInlineStringA(pattern));
}

bool CNameFilter::IsTaken(CStringViewA name) const {
    if (m_Include.GetCount() != 0 && !MatchesAny(m_Include, name))
        return false;
    return !MatchesAny(m_Exclude, name);
}
