// Builders of whole content directories (archives plus header libraries) for end-to-end tests, the bundled
// sample, fuzz seeds and benchmarks.
#pragma once

#include "support/ArchiveWriter.h"
#include "support/HeaderLibraryWriter.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

/// One container: a resource library whose data the archives hold under its archive name and whose entries
/// the header library describes. Its data is DataStart + 24 filler bytes, then per entry its 24-byte header
/// when InlineHeaders is set (the header library's entry header then only gives the data length), then the
/// entry's bytes. Archives lists the files that hold the data (a.archive unless given): the first one's
/// index names it; with two, the second half of the data lies in the second file. Without archives no file
/// holds it. The members come in the order tests most often give them.
struct CTestContentContainer {
    std::string Path;
    std::vector<std::string> Entries;
    std::vector<std::optional<std::string>> Languages{std::string("all")};
    std::vector<std::string> Archives{"a.archive"};
    bool InlineHeaders = false;
    uint32_t DataStart = 0;
};

/// One header library file of a content directory.
struct CTestContentLibrary {
    std::string FileName;
    std::vector<CTestContentContainer> Containers;
    std::vector<CTestResource> Resources{};
    std::vector<std::optional<std::string>> ExternalNames{};
};

/// A whole content directory. Archives lists archive files in the order they are described; one that no
/// container uses holds no entries.
struct CTestContent {
    std::vector<std::string> Archives;
    std::vector<CTestContentLibrary> Libraries;
};

/// The 24 header bytes of entry position entry: a recognisable pattern with the data length at bytes 12
/// to 15.
std::string MakeTestEntryHeader(uint32_t entry, uint32_t dataLength);

/// The archives of the content, ready for WriteTestArchives.
std::vector<CTestArchive> BuildTestContentArchives(const CTestContent& content);

/// The header library description of one library of the content.
CTestHeaderLibrary BuildTestContentLibrary(const CTestContentLibrary& library);

/// Writes every archive and header library of the content into directory; false on a failure.
bool WriteTestContent(const std::string& directory, const CTestContent& content);

/// A resource record for entry position entry of container, with the Id and Name given.
CTestResource MakeTestResource(const CTestContentContainer& container, uint32_t entry, uint64_t id,
                               const std::string& name);
