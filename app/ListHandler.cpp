// The listing mode: the decisions on standard output, nothing written.
#include "app/ListHandler.h"

#include "app/Listing.h"
#include "app/Options.h"
#include "app/Report.h"
#include "app/ResourceReader.h"
#include "base/Console.h"

namespace {

// The listing is handed to standard output in pieces of about this size.
constexpr uint64_t ListingFlushSize = uint64_t(1) << 16;

} // namespace

bool CListHandler::TakeResource(const CResourceItem& item) {
    const CAdmission& admission = item.Admission;
    // A resource whose bytes the archive files cannot hold fails its read in an extraction: so it does here.
    const bool unreadable = admission.Status == EResourceStatus::Extract && !CanReadResource(admission);
    CListingLine line;
    line.Library = item.Library.Name;
    line.Id = item.Resource.Id;
    line.Size = admission.Size;
    line.Status = unreadable ? EResourceStatus::Unreadable : admission.Status;
    line.Name = item.Resource.Name;
    if (admission.Table != nullptr) {
        line.Container = item.Library.Library.GetContainerPath(admission.Container);
        line.ArchiveName = admission.Table->ArchiveName.GetData();
    }
    if (m_Context.Options.Json)
        AppendListingJson(m_Listing, line);
    else
        AppendListingText(m_Listing, line);
    if (m_Listing.GetLength() >= ListingFlushSize)
        FlushListing();
    if (unreadable) {
        ++m_Context.Counts.FailedReads;
        return false;
    }
    if (admission.Status == EResourceStatus::Extract) {
        ++m_Context.Counts.Written;
        m_Context.Counts.WrittenBytes += admission.Size;
    }
    return true;
}

void CListHandler::FlushListing() {
    WriteOutput(m_Listing.GetView());
    m_Listing.Assign("");
}

bool CListHandler::Finish(const CRunRecords&) {
    FlushListing();
    return true;
}
