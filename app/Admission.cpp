// The admission decision: the tests a resource passes before its bytes are read, in their order.
#include "app/Admission.h"

#include "app/NameFilter.h"

namespace {

// The language names compare whole and with their letter case.
bool IsLocaleAdmitted(const CHeaderLibrary& library, uint64_t container, CStringViewA locale) {
    const uint64_t count = library.GetLanguageCount(container);
    for (uint64_t language = 0; language < count; ++language) {
        const char* name = library.GetLanguageName(container, language);
        if (name != nullptr && (CStringViewA(name) == "all" || CStringViewA(name) == locale))
            return true;
    }
    return false;
}

// Fills the container's part of the admission: its table and, when the entry position is within its
// entries, the span, the header and the size. False when the entry position is beyond them.
bool FindEntry(const CHeaderLibrary& library, uint64_t container, ResourceId memberId,
               CAdmission& admission) {
    admission.Container = container;
    admission.Table = &library.GetContainerTables()[container];
    const uint32_t entry = GetMemberIndex(memberId);
    if (entry >= admission.Table->Spans.GetCount())
        return false;
    admission.Span = admission.Table->Spans[entry];
    if (!library.HasInlineHeaders(container))
        admission.Header = library.GetEntryHeader(container, entry, admission.HeaderLength);
    admission.Size = admission.HeaderLength + admission.Span.Length;
    return true;
}

// The archive's part: the container's entry must exist and hold the whole span, and the size must fit the
// 32 bits that the index files can describe.
const char* OpenBytes(const CArchiveManager& archives, CEntryLookup& lookup, CAdmission& admission) {
    admission.Stream = archives.OpenEntry(admission.Table->ArchiveName.GetView(), lookup);
    CArchiveStream& stream = admission.Stream;
    if (stream.Archive == nullptr || stream.Entry == nullptr)
        return "no archive holds the container";
    if (admission.Span.Offset > stream.Size || admission.Span.Length > stream.Size - admission.Span.Offset)
        return "the entry's bytes lie beyond the archive entry";
    if (admission.Size > 0xFFFFFFFFu)
        return "size past 32 bits";
    stream.Position = admission.Span.Offset;
    return nullptr;
}

CAdmission Unavailable(CAdmission& admission, const char* reason) {
    admission.Status = EResourceStatus::Unavailable;
    admission.Reason = reason;
    return admission;
}

} // namespace

CAdmission AdmitResource(const CHeaderLibrary& library, const CNameMap& names,
                         const CArchiveManager& archives, CEntryLookup& lookup, CStringViewA locale,
                         const CNameFilter& filter, const CLibraryResource& resource) {
    CAdmission admission;
    admission.FilteredOut = !filter.IsTaken(resource.Name);
    if (names.Find(resource.Id) != nullptr) {
        admission.Status = EResourceStatus::Named;
        return admission;
    }
    const uint64_t* container = library.FindContainer(GetLibraryId(resource.MemberId));
    if (container == nullptr || *container >= library.GetContainerCount())
        return Unavailable(admission, "no container");
    const bool hasEntry = FindEntry(library, *container, resource.MemberId, admission);
    if (!IsLocaleAdmitted(library, *container, locale)) {
        admission.Status = EResourceStatus::Locale;
        return admission;
    }
    if (!hasEntry)
        return Unavailable(admission, "entry position beyond the container's entries");
    if (const char* reason = OpenBytes(archives, lookup, admission))
        return Unavailable(admission, reason);
    return admission;
}
