// CNameFilter: the include and exclude patterns that choose resources by name.
#pragma once

#include "base/Array.h"
#include "base/NamePattern.h"

#include <cstdint>

/// The include and exclude patterns of a run. A name is taken when it matches some include pattern (or no
/// include pattern was given) and no exclude pattern. Borrows the patterns, zero-terminated, from the
/// caller (the command line's arguments), which must outlive the filter.
class CNameFilter {
public:
    /// Adds a pattern; a refused allocation stops the process as out of memory.
    void Include(const char* pattern);
    void Exclude(const char* pattern);

    /// True when no pattern was given, so that every name is taken.
    bool IsEmpty() const { return m_Include.GetCount() == 0 && m_Exclude.GetCount() == 0; }
    bool IsTaken(const char* name, uint64_t length) const;

private:
    CArray<const char*> m_Include;
    CArray<const char*> m_Exclude;
};
