// CListHandler: --list, one line per resource with the decision an extraction would take, as text or JSON.
#pragma once

#include "app/ResourceHandler.h"
#include "base/StringBuffer.h"

/// Appends one listing line per resource handed over, whatever its status, and hands the text to standard
/// output in pieces; counts the admitted resources as an extraction would write them, and those whose
/// bytes the archive files cannot hold as its failed reads (listed "unreadable"). Owns the text not yet
/// handed over.
class CListHandler final : public CResourceHandler {
public:
    explicit CListHandler(const CHandlerContext& context) : m_Context(context) {}

    bool BeginLibrary(const CLibraryScope&) override { return true; }
    bool TakeResource(const CResourceItem& item) override;
    bool Finish(const CRunRecords& records) override;

private:
    void FlushListing();

    CHandlerContext m_Context;
    CStringBufferA m_Listing;
};
