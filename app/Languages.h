// CLanguageCounts: the languages that the containers list, their table and the unknown-locale warning.
#pragma once

#include "base/HashMap.h"
#include "base/InlineString.h"
#include "base/StringBuffer.h"

#include <cstdint>

class CHeaderLibrary;
class CRunOptions;

/// The language names that the containers of the loaded header libraries list, each with how many
/// containers and resources list it, in the order the names were first met. Owns copies of the names.
class CLanguageCounts {
public:
    /// Counts each named language of each container of the library (a null name counts nowhere).
    void CountContainers(const CHeaderLibrary& library);
    /// Counts, for each resource whose container is in the library, one resource for each named language of
    /// that container. Requires CountContainers of the same library first.
    void CountResources(const CHeaderLibrary& library);
    /// Appends "name TAB containers TAB resources LF" per language, sorted by the names' bytes (a name that
    /// is the start of another first), the names escaped as in the listings.
    void AppendTable(CStringBufferA& text) const;
    /// When the command line named a locale other than "all" that no container lists, most likely a typing
    /// error, prints a warning with the languages there are on standard error. The run goes on as asked.
    void WarnAboutUnknownLocale(const CRunOptions& options) const;

private:
    struct CCount {
        uint64_t Containers = 0;
        uint64_t Resources = 0;
    };
    using CLanguageMap = CHashMap<CInlineStringA, CCount>;

    CLanguageMap m_Languages;
};
