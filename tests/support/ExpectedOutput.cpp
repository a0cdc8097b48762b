// Expected progress texts and index file contents of an extraction.
#include "support/ExpectedOutput.h"

#include "base/InlineString.h"
#include "resid/ResourcePath.h"

#include <cinttypes>
#include <cstdio>

std::string MakeIdText(uint64_t id) {
    char digits[17];
    std::snprintf(digits, sizeof(digits), "%016" PRIX64, id);
    return digits;
}

std::string MakeNameLine(uint64_t id, const std::string& name) {
    char fields[64];
    std::snprintf(fields, sizeof(fields), "%20" PRIu64 " %016" PRIX64 " ", id, id);
    return fields + name + "\r\n";
}

std::string MakeResMapImage(const std::vector<std::pair<uint64_t, std::string>>& entries) {
    std::string image;
    auto put = [&image](uint64_t value, int byteCount) {
        for (int i = 0; i < byteCount; ++i)
            image += static_cast<char>(value >> (8 * i));
    };
    put(entries.size(), 4);
    for (const auto& [id, name] : entries) {
        put(id, 8);
        put(name.size() + 1, 4);
        image += name + '\0';
    }
    return image;
}

std::map<std::string, std::string> MakeIndexFiles(const std::vector<std::pair<uint64_t, std::string>>& names,
                                                  const std::string& containerMap,
                                                  const std::string& externalResources) {
    std::string nameMap;
    for (const auto& [id, name] : names)
        nameMap += MakeNameLine(id, name);
    return {{"NameMap.txt", nameMap},
            {"ContainerNameMap.txt", containerMap},
            {"ExternalResources.txt", externalResources},
            {"ResMap.bin", MakeResMapImage(names)}};
}

std::string MakeContainerLine(const std::string& path, const std::string& libraryName) {
    return GetTestArchiveName(path) + " " + path + " -> " + libraryName + "\r\n";
}

std::string MakeMountingText(const std::string& source, const std::vector<std::string>& archives) {
    std::string text = "Mounting archives...\n";
    for (const std::string& archive : archives)
        text += source + "\\" + archive + "... OK\n";
    return text;
}

std::string MakeIndexFileProgress(std::vector<bool> failed) {
    const char* const files[] = {"name map", "container map", "external resources list", "res map"};
    std::string text;
    for (int i = 0; i < 4; ++i)
        text += std::string("Writing ") + files[i] + "... " + (failed[i] ? "failed.\r\n" : "OK\r\n");
    return text;
}

std::string MakeSummary(const std::vector<uint64_t>& counts, const std::string& written) {
    const char* const labels[] = {written.c_str(),   "bytes), ",           "kept, ",     "by locale, ",
                                  "already named, ", "unavailable, ",      "filtered, ", "failed reads, ",
                                  "failed writes; ", "libraries loaded, ", "failed; "};
    std::string text = "Summary: ";
    for (size_t i = 0; i < counts.size(); ++i) {
        const std::string digits = std::to_string(counts[i]);
        for (size_t k = 0; k < digits.size(); ++k) // Thousands are grouped with commas.
            text.append(k != 0 && (digits.size() - k) % 3 == 0 ? "," : "").push_back(digits[k]);
        text += std::string(" ") + labels[i] + (i == 0 ? " (" : "");
    }
    return text + "T s\n";
}

uint64_t GetTestPathId(const std::string& path) {
    return ResourcePath::GetId(CStringViewA(path.c_str()));
}

std::string GetTestArchiveName(const std::string& path) {
    CInlineStringA archiveName;
    ResourcePath::GetArchiveName(path.c_str(), archiveName);
    return archiveName.GetData();
}
