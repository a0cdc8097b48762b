// Content directories: container data laid out in archives, and the header libraries that describe it.
#include "support/ContentBuilder.h"

#include "support/ExpectedOutput.h"

#include <algorithm>

std::string MakeTestEntryHeader(uint32_t entry, uint32_t dataLength) {
    std::string header = "HDR:";
    header += static_cast<char>('A' + entry % 26);
    header.resize(24, '-');
    for (int i = 0; i < 4; ++i)
        header[12 + i] = static_cast<char>(dataLength >> (8 * i));
    return header;
}

std::vector<CTestArchive> BuildTestContentArchives(const CTestContent& content) {
    std::vector<CTestArchive> archives;
    // The archive of a file name, added at the end when it is not there yet.
    auto find = [&archives](const std::string& fileName) -> CTestArchive& {
        for (CTestArchive& archive : archives) {
            if (archive.FileName == fileName)
                return archive;
        }
        return archives.emplace_back(CTestArchive{fileName, {}, {}});
    };
    for (const std::string& fileName : content.Archives)
        find(fileName);
    for (const CTestContentLibrary& library : content.Libraries) {
        for (const CTestContentContainer& container : library.Containers) {
            if (container.Archives.empty())
                continue;
            std::string data(uint64_t(container.DataStart) + 24, '.');
            for (uint32_t entry = 0; entry < container.Entries.size(); ++entry)
                data += (container.InlineHeaders ? MakeTestEntryHeader(entry, container.Entries[entry].size())
                                                 : "") +
                        container.Entries[entry];
            find(container.Archives[0]);
            find(container.Archives.back());
            CTestArchive& owner = find(container.Archives[0]);
            std::vector<std::string>& references = owner.References;
            CTestEntry entry{GetTestArchiveName(container.Path), {}};
            const size_t split = container.Archives.size() > 1 ? data.size() / 2 : data.size();
            for (size_t part = 0; part < container.Archives.size(); ++part) {
                auto reference = std::find(references.begin(), references.end(), container.Archives[part]);
                if (reference == references.end())
                    reference = references.insert(reference, container.Archives[part]);
                const std::string bytes = part == 0 ? data.substr(0, split) : data.substr(split);
                const auto index = static_cast<uint32_t>(reference - references.begin());
                entry.Segments.push_back({index, {bytes.begin(), bytes.end()}, {}, {}});
            }
            owner.Entries.push_back(entry);
        }
    }
    return archives;
}

CTestHeaderLibrary BuildTestContentLibrary(const CTestContentLibrary& library) {
    CTestHeaderLibrary description{{}, library.ExternalNames, library.Resources};
    for (const CTestContentContainer& container : library.Containers) {
        CTestContainer record{
            container.Path, container.DataStart, container.InlineHeaders, container.Languages, {}};
        for (uint32_t entry = 0; entry < container.Entries.size(); ++entry) {
            const auto length = static_cast<uint32_t>(container.Entries[entry].size());
            const std::string header = MakeTestEntryHeader(entry, length);
            record.Entries.push_back({length, 24, {header.begin(), header.end()}});
        }
        description.Containers.push_back(record);
    }
    return description;
}

bool WriteTestContent(const std::string& directory, const CTestContent& content) {
    bool written = WriteTestArchives(directory, BuildTestContentArchives(content));
    for (const CTestContentLibrary& library : content.Libraries)
        written = written && WriteTestHeaderLibrary(directory + "/" + library.FileName,
                                                    BuildTestContentLibrary(library));
    return written;
}

CTestResource MakeTestResource(const CTestContentContainer& container, uint32_t entry, uint64_t id,
                               const std::string& name) {
    return {MakeTestMemberId(container.Path, entry), id, name, ""};
}
