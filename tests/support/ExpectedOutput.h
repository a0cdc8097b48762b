// Expected progress texts and index file contents of an extraction, written out from their documented
// layouts so that end-to-end tests compare the tool against an account of its output made apart from it.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

/// One "NameMap.txt" line: the id in 20 decimal columns and 16 upper-case hexadecimal digits, the name, CR
/// LF.
std::string MakeNameLine(uint64_t id, const std::string& name);

/// The whole "ResMap.bin" image of a name map holding entries, in that order.
std::string MakeResMapImage(const std::vector<std::pair<uint64_t, std::string>>& entries);

/// One "ContainerNameMap.txt" line for a container path of a library.
std::string MakeContainerLine(const std::string& path, const std::string& libraryName);

/// The four index file progress lines, each ending in "OK" or "failed." as given.
std::string MakeIndexFileProgress(bool nameMap, bool containerMap, bool externalList, bool resMap);

/// The id of a resource path, as the name map and the container index key it.
uint64_t GetTestPathId(const std::string& path);
