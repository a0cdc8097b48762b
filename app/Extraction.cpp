// The extraction run: the mounting phase, then the header library phase.
#include "app/Extraction.h"

#include "app/HeaderLibraryPhase.h"
#include "archive/ArchiveManager.h"
#include "base/Console.h"
#include "base/FileList.h"

namespace {

// Mounts every "*.archive" of source into the global manager, printing each archive's outcome on its own
// line. False, with the failure printed, when source cannot be listed or an archive does not mount; the
// archives mounted before stay mounted.
bool MountArchives(CFileList& files, const char* source) {
    if (!files.FindFiles(source, "*.archive")) {
        // The message names header libraries although the scan was for archives.
        Print("No pc_headerlib files found in %s\r\n", source);
        return false;
    }
    Print("Mounting archives...\n");
    CArchiveManager& manager = GetArchiveManager();
    while (const char* path = files.NextPath()) {
        Print("%s...", path);
        if (manager.Mount(path) == nullptr) {
            Print(" failed\n");
            Print("Aborting extraction.\n");
            return false;
        }
        Print(" OK\n");
    }
    return true;
}

} // namespace

EExtractionOutcome ExtractResources(const CRunOptions& options) {
    // FIXME: the header library phase does not yet list, test or count locales; until it does, those modes
    // stop here rather than run an extraction that has no output directory.
    if (options.Mode != ERunMode::Extract) {
        PrintError("This mode is not available yet.\n");
        return EExtractionOutcome::Aborted;
    }
    // The listing is reused by the header library phase for its own scan.
    CFileList files;
    if (!MountArchives(files, options.Source))
        return EExtractionOutcome::Aborted;

    return ProcessHeaderLibraries(files, GetArchiveManager(), options.Source, options.Output, options.Locale);
}
