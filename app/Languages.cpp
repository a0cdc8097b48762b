// Language counts of the containers, for --locales and the warning about a locale that none lists.
#include "app/Languages.h"

#include "app/Listing.h"
#include "app/Options.h"
#include "base/Array.h"
#include "base/Console.h"
#include "headerlib/HeaderLibrary.h"

#include <algorithm>
#include <cstring>

void CLanguageCounts::CountContainers(const CHeaderLibrary& library) {
    const uint64_t containerCount = library.GetContainerCount();
    for (uint64_t container = 0; container < containerCount; ++container) {
        const uint64_t count = library.GetLanguageCount(container);
        for (uint64_t language = 0; language < count; ++language) {
            const char* name = library.GetLanguageName(container, language);
            if (name == nullptr)
                continue;
            CCount* counts = m_Languages.Find(CStringViewA(name));
            if (counts == nullptr)
                counts = &m_Languages.FindOrInsert(CInlineStringA(CStringViewA(name)));
            ++counts->Containers;
        }
    }
}

void CLanguageCounts::CountResources(const CHeaderLibrary& library) {
    for (const CLibraryResource& resource : library.GetResources()) {
        const uint64_t* container = library.FindContainer(GetLibraryId(resource.MemberId));
        if (container == nullptr || *container >= library.GetContainerCount())
            continue;
        const uint64_t count = library.GetLanguageCount(*container);
        for (uint64_t language = 0; language < count; ++language) {
            const char* name = library.GetLanguageName(*container, language);
            if (name != nullptr)
                ++m_Languages.Find(CStringViewA(name))->Resources;
        }
    }
}

void CLanguageCounts::AppendTable(CStringBufferA& text) const {
    CArray<const CLanguageMap::Entry*> sorted;
    sorted.Reserve(m_Languages.GetCount());
    for (const CLanguageMap::Entry& entry : m_Languages)
        sorted.Append(&entry);
    std::sort(sorted.begin(), sorted.end(),
              [](const CLanguageMap::Entry* left, const CLanguageMap::Entry* right) {
                  const uint64_t common = std::min(left->Key.GetLength(), right->Key.GetLength());
                  const int order = std::memcmp(left->Key.GetData(), right->Key.GetData(), common);
                  return order != 0 ? order < 0 : left->Key.GetLength() < right->Key.GetLength();
              });
    for (const CLanguageMap::Entry* entry : sorted) {
        AppendEscapedText(text, entry->Key.GetView());
        text.AppendFormat("\t%I64u\t%I64u\n", entry->Value.Containers, entry->Value.Resources);
    }
}

void CLanguageCounts::WarnAboutUnknownLocale(const CRunOptions& options) const {
    if (!options.LocaleGiven || options.Locale == "all" || m_Languages.Find(options.Locale) != nullptr)
        return;
    // The names are escaped as --locales shows them, so that the warning stays one line.
    CStringBufferA line;
    line.Assign("Warning: no container lists the locale \"");
    AppendEscapedText(line, options.Locale);
    line.AppendFormat("\"; the languages found are:");
    bool first = true;
    for (const CLanguageMap::Entry& entry : m_Languages) {
        line.Append(first ? " " : ", ");
        AppendEscapedText(line, entry.Key.GetView());
        first = false;
    }
    line.Append(first ? " none.\n" : ".\n");
    PrintError(line.GetData());
}
