// CLocalesHandler: --locales, the languages that the containers list, counted; no resource is taken.
#pragma once

#include "app/Languages.h"
#include "app/ResourceHandler.h"

/// Counts, per language, the containers that list it and the resources in those containers, and prints the
/// table on standard output at the end.
class CLocalesHandler final : public CResourceHandler {
public:
    CLocalesHandler() = default;

    bool BeginLibrary(const CLibraryScope& library) override;
    bool TakesResources() const override { return false; }
    bool TakeResource(const CResourceItem&) override { return true; }
    bool Finish(const CRunRecords& records) override;

private:
    CLanguageCounts m_Languages;
};
