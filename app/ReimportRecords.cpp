// Texts and lengths worked out from the records of a reimport.
#include "app/ReimportRecords.h"

#include "app/OutputFiles.h"

void CReimportRecords::FormatTreePath(const CResourceRecord& resource, TStringBufferA<260>& path) const {
    FormatResourcePath(path, Tree, LibraryNames[resource.Library].GetView(), resource.Id);
}

uint64_t CReimportRecords::GetHeaderLength(const CResourceRecord& resource) const {
    return Containers[resource.Container].InlineHeaders
               ? InlineHeaderLength
               : GetEntry(resource.Container, resource.Entry).HeaderLength;
}
