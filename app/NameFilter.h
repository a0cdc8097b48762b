// CNameFilter: the include and exclude patterns that choose resources by name.
#pragma once

#include "base/Array.h"
#include "base/InlineString.h"
#include "base/NamePattern.h"

#include <cstdint>

/// The include and exclude patterns of a run. A name is taken when it matches some include pattern (or no
/// include pattern was given) and no exclude pattern. Owns copies of the patterns.
class CNameFilter {
public:
    /// Adds a copy of a pattern.
    void Include(CStringViewA pattern);
    void Exclude(CStringViewA pattern);

    /// True when no pattern was given, so that every name is taken.
    bool IsEmpty() const { return m_Include.GetCount() == 0 && m_Exclude.GetCount() == 0; }
    bool IsTaken(CStringViewA name) const;

private:
    CArray<CInlineStringA> m_Include;
    CArray<CInlineStringA> m_Exclude;
};
