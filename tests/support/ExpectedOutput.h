// Expected progress texts and index file contents of an extraction, written out from their documented
// layouts so that tests compare the tool against an account of its output made apart from it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

/// The 16 upper-case hexadecimal digits of an id, as resource file names and listings spell it.
std::string MakeIdText(uint64_t id);

/// One "NameMap.txt" line: the id in 20 decimal columns and 16 upper-case hexadecimal digits, the name, CR
/// LF.
std::string MakeNameLine(uint64_t id, const std::string& name);

/// The whole "ResMap.bin" image of a name map holding entries, in that order.
std::string MakeResMapImage(const std::vector<std::pair<uint64_t, std::string>>& entries);

/// The four index files, by file name, of a run that named names (in that order), with the container map
/// and external resources texts given.
std::map<std::string, std::string> MakeIndexFiles(const std::vector<std::pair<uint64_t, std::string>>& names,
                                                  const std::string& containerMap = "",
                                                  const std::string& externalResources = "");

/// One "ContainerNameMap.txt" line for a container path of a library.
std::string MakeContainerLine(const std::string& path, const std::string& libraryName);

/// "Mounting archives..." and one "OK" line per archive file of source, listed as the tool spells them.
std::string MakeMountingText(const std::string& source, const std::vector<std::string>& archives);

/// The four index file progress texts; failed lists, in order, whether each one failed.
std::string MakeIndexFileProgress(std::vector<bool> failed = {false, false, false, false});

/// The summary line of a run, its elapsed seconds "T", from its counts: written, bytes, kept, by locale,
/// already named, unavailable, filtered, failed reads, failed writes, libraries loaded and failed.
std::string MakeSummary(const std::vector<uint64_t>& counts, const std::string& written = "written");

/// The id of a resource path, as the name map and the container index key it.
uint64_t GetTestPathId(const std::string& path);

/// The name under which the archives store the container or resource at path.
std::string GetTestArchiveName(const std::string& path);
