// The test mode: admitted resources read in full, nothing written.
#include "app/TestHandler.h"

#include "app/Report.h"
#include "app/ResourceReader.h"

bool CTestHandler::BeginLibrary(const CLibraryScope& library) {
    m_Languages.CountContainers(library.Library);
    return true;
}

bool CTestHandler::TakeResource(const CResourceItem& item) {
    if (item.Admission.Status != EResourceStatus::Extract)
        return true;
    if (!ReadResource(item.Admission, m_ResourceBuffer)) {
        m_PathBuffer.Format("%s\\%.16I64X.bin", item.Library.Name.GetData(), item.Resource.Id);
        ReportFailedRead(m_Context, m_PathBuffer.GetView());
        return false;
    }
    ++m_Context.Counts.Written;
    m_Context.Counts.WrittenBytes += item.Admission.Size;
    return true;
}

bool CTestHandler::Finish(const CRunRecords&) {
    m_Languages.WarnAboutUnknownLocale(m_Context.Options);
    return true;
}
