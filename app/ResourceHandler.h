// CResourceHandler: what one mode of a run does with the header libraries and their resources.
#pragma once

#include "app/Admission.h"
#include "app/OutputFiles.h"
#include "base/NameStore.h"
#include "base/StringBuffer.h"
#include "base/StringView.h"
#include "headerlib/HeaderLibrary.h"

#include <cstdint>

class CRunOptions;
struct CRunCounts;
class CWriterPool;

/// What every handler borrows for the whole run: the options, the counts, and the pool through which every
/// message goes so that it stands in the run's order.
struct CHandlerContext {
    const CRunOptions& Options;
    CRunCounts& Counts;
    CWriterPool& Pool;
};

/// What the phase records over the whole run, whatever the mode: every id named so far with its latest name
/// (the names copied into NameStore, which is declared first so that it outlives the views), the lines of
/// the container and external resource index files, and the estimate that sizes the name map's text.
struct CRunRecords {
    CNameStore NameStore;
    CNameMap Names;
    CStringBufferA ContainerText;
    CStringBufferA ExternalText;
    uint64_t NameTextEstimate = 0;
};

/// The header library being taken, lent until the next library is loaded.
struct CLibraryScope {
    /// The file's path as the source listing gave it, zero-terminated.
    CStringViewA Path;
    /// The library's name: the file name up to its last dot, the folder of its resource files below the
    /// output directory. Zero-terminated.
    CStringViewA Name;
    const CHeaderLibrary& Library;
};

/// One resource of the library being taken, with the decision on it. Lent for the call.
struct CResourceItem {
    const CLibraryResource& Resource;
    const CAdmission& Admission;
    const CLibraryScope& Library;

    /// Formats the path of the resource's file below root, "ROOT\LIBRARY\ID.bin", into path.
    void FormatPath(TStringBufferA<260>& path, CStringViewA root) const {
        FormatResourcePath(path, root, Library.Name, Resource.Id);
    }
};

/// One mode of a run. The phase loads each header library, asks the handler to begin it, records its
/// containers and external resources, and then hands the handler each resource that the include and exclude
/// patterns take, with its admission; after the last library it asks the handler to finish. The phase
/// counts the statuses other than Extract, says why a resource is unavailable (--verbose), and names the id
/// of an admitted resource once the handler has taken it without a failure. A handler is chosen once per
/// run; it prints through the context's pool.
class CResourceHandler {
public:
    virtual ~CResourceHandler() = default;

    /// Prepares for the library's resources. False, with the failure printed, leaves the library out
    /// before anything of it is recorded.
    [[nodiscard]] virtual bool BeginLibrary(const CLibraryScope& library) = 0;
    /// False when the mode looks at the containers alone: no resource is admitted or handed over.
    virtual bool TakesResources() const { return true; }
    /// Takes one resource, whatever its status. Returns false when it printed a failure; an admitted
    /// resource's id then stays unnamed, so that a later library may try it again.
    virtual bool TakeResource(const CResourceItem& item) = 0;
    /// A resource that the include and exclude patterns leave out although a run without them would take
    /// it (Extract): the modes that account for every file of a tree expect its file all the same.
    virtual void TakeFilteredOut(const CResourceItem& item) { (void)item; }
    /// Ends the run after the last library, with everything the phase recorded; false when anything failed.
    virtual bool Finish(const CRunRecords& records) = 0;
};
