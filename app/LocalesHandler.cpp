// The locales mode: the language table of the containers.
#include "app/LocalesHandler.h"

#include "base/Console.h"

bool CLocalesHandler::BeginLibrary(const CLibraryScope& library) {
    m_Languages.CountContainers(library.Library);
    m_Languages.CountResources(library.Library);
    return true;
}

bool CLocalesHandler::Finish(const CRunRecords&) {
    CStringBufferA table;
    m_Languages.AppendTable(table);
    WriteOutput(table.GetView());
    return true;
}
