// Expected progress texts and index file contents of an extraction.
#include "support/ExpectedOutput.h"

#include "base/InlineString.h"
#include "resid/ResourcePath.h"

#include <cinttypes>
#include <cstdio>

namespace {

void PutLittleEndian(std::string& out, uint64_t value, int byteCount) {
    for (int i = 0; i < byteCount; ++i)
        out += static_cast<char>(value >> (8 * i));
}

} // namespace

std::string MakeNameLine(uint64_t id, const std::string& name) {
    char fields[64];
    std::snprintf(fields, sizeof(fields), "%20" PRIu64 " %016" PRIX64 " ", id, id);
    return fields + name + "\r\n";
}

std::string MakeResMapImage(const std::vector<std::pair<uint64_t, std::string>>& entries) {
    std::string image;
    PutLittleEndian(image, entries.size(), 4);
    for (const auto& [id, name] : entries) {
        PutLittleEndian(image, id, 8);
        PutLittleEndian(image, name.size() + 1, 4);
        image += name;
        image += '\0';
    }
    return image;
}

std::string MakeContainerLine(const std::string& path, const std::string& libraryName) {
    CInlineStringA archiveName;
    CResourcePath::GetArchiveName(path.c_str(), archiveName);
    return std::string(archiveName.GetData()) + " " + path + " -> " + libraryName + "\r\n";
}

std::string MakeIndexFileProgress(bool nameMap, bool containerMap, bool externalList, bool resMap) {
    auto outcome = [](bool written) { return written ? "OK\r\n" : "failed.\r\n"; };
    return std::string("Writing name map... ") + outcome(nameMap) + "Writing container map... " +
           outcome(containerMap) + "Writing external resources list... " + outcome(externalList) +
           "Writing res map... " + outcome(resMap);
}

uint64_t GetTestPathId(const std::string& path) {
    return CResourcePath::GetId(CStringViewA(path.c_str()));
}
