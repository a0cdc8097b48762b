// Builders of whole content directories (archives plus header libraries) for end-to-end tests, the bundled
// sample, fuzz seeds and benchmarks.
#pragma once

#include "support/ArchiveWriter.h"
#include "support/HeaderLibraryWriter.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

/// One container of a content directory: a resource library whose data the archives hold under its archive
/// name and whose entries the header library describes. The container's data is DataStart + 24 filler bytes,
/// then each entry: its 24-byte header when InlineHeaders is set (the header library's entry header then only
/// gives the data length), then the entry's bytes.
struct CTestContentContainer {
    std::string Path;
    std::vector<std::optional<std::string>> Languages{std::string("all")};
    bool InlineHeaders = false;
    uint32_t DataStart = 0;
    /// The bytes of each entry, by entry position.
    std::vector<std::string> Entries;
    /// The archive files that hold the data: the first one's index names the entry; with two, the data is
    /// split at its middle and the second half lies in the second file. Empty: the container is described
    /// but no archive holds it.
    std::vector<std::string> Archives;
    /// The entry's name in the archive instead of the container path's archive name.
    std::optional<std::string> EntryName;
};

/// One header library file of a content directory.
struct CTestContentLibrary {
    std::string FileName;
    std::vector<CTestContentContainer> Containers;
    std::vector<std::optional<std::string>> ExternalNames;
    std::vector<CTestResource> Resources;
};

/// A whole content directory. Archives lists every archive file, in the order they should be described;
/// a file that no container uses is written empty of entries.
struct CTestContent {
    std::vector<std::string> Archives;
    std::vector<CTestContentLibrary> Libraries;
};

/// The 24 header bytes of entry position entry of a container: a recognisable pattern with the entry's
/// data length at bytes 12 to 15. It is what the header library holds for the entry and, for a container
/// with inline headers, what its data holds in front of the entry's bytes.
std::string MakeTestEntryHeader(uint32_t entry, uint32_t dataLength);

/// The archives of the content, ready for WriteTestArchives.
std::vector<CTestArchive> BuildTestContentArchives(const CTestContent& content);

/// The header library description of one library of the content, ready for BuildTestHeaderLibraryImage.
CTestHeaderLibrary BuildTestContentLibrary(const CTestContentLibrary& library);

/// Writes every archive and header library of the content into directory. False when a file cannot be
/// written; reports nothing to the test framework.
bool WriteTestContent(const std::string& directory, const CTestContent& content);

/// A resource record for entry position entry of container: its member id, Id and Name as given.
CTestResource MakeTestResource(const CTestContentContainer& container, uint32_t entry, uint64_t id,
                               const std::string& name);
