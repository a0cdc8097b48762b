// Content directories: container data laid out in archives, and the header libraries that describe it.
#include "support/ContentBuilder.h"

#include "base/InlineString.h"
#include "resid/ResourcePath.h"

#include <algorithm>

namespace {

constexpr uint32_t EntryHeaderSize = 24;

std::vector<uint8_t> ToBytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

std::string GetContainerData(const CTestContentContainer& container) {
    std::string data(uint64_t(container.DataStart) + EntryHeaderSize, '.');
    for (uint32_t entry = 0; entry < container.Entries.size(); ++entry) {
        const std::string& bytes = container.Entries[entry];
        if (container.InlineHeaders)
            data += MakeTestEntryHeader(entry, static_cast<uint32_t>(bytes.size()));
        data += bytes;
    }
    return data;
}

std::string GetEntryName(const CTestContentContainer& container) {
    if (container.EntryName)
        return *container.EntryName;
    CInlineStringA name;
    CResourcePath::GetArchiveName(container.Path.c_str(), name);
    return name.GetData();
}

uint32_t FindOrAddReference(CTestArchive& archive, const std::string& fileName) {
    const auto found = std::find(archive.References.begin(), archive.References.end(), fileName);
    if (found != archive.References.end())
        return static_cast<uint32_t>(found - archive.References.begin());
    archive.References.push_back(fileName);
    return static_cast<uint32_t>(archive.References.size() - 1);
}

} // namespace

std::string MakeTestEntryHeader(uint32_t entry, uint32_t dataLength) {
    std::string header = "HDR:";
    header += static_cast<char>('A' + entry % 26);
    header.resize(EntryHeaderSize, '-');
    for (int i = 0; i < 4; ++i)
        header[12 + i] = static_cast<char>(dataLength >> (8 * i));
    return header;
}

std::vector<CTestArchive> BuildTestContentArchives(const CTestContent& content) {
    std::vector<CTestArchive> archives;
    for (const std::string& fileName : content.Archives) {
        CTestArchive archive;
        archive.FileName = fileName;
        archives.push_back(archive);
    }
    auto findArchive = [&archives](const std::string& fileName) -> CTestArchive& {
        for (CTestArchive& archive : archives) {
            if (archive.FileName == fileName)
                return archive;
        }
        CTestArchive archive;
        archive.FileName = fileName;
        archives.push_back(archive);
        return archives.back();
    };
    for (const CTestContentLibrary& library : content.Libraries) {
        for (const CTestContentContainer& container : library.Containers) {
            if (container.Archives.empty())
                continue;
            const std::string data = GetContainerData(container);
            CTestArchive& owner = findArchive(container.Archives[0]);
            CTestEntry entry;
            entry.Name = GetEntryName(container);
            const size_t split = container.Archives.size() > 1 ? data.size() / 2 : data.size();
            CTestSegment first;
            first.Reference = FindOrAddReference(owner, container.Archives[0]);
            first.Bytes = ToBytes(data.substr(0, split));
            entry.Segments.push_back(first);
            if (container.Archives.size() > 1) {
                CTestSegment second;
                second.Reference = FindOrAddReference(owner, container.Archives[1]);
                second.Bytes = ToBytes(data.substr(split));
                entry.Segments.push_back(second);
            }
            // The owner may have been moved by a later insertion into archives; look it up again.
            findArchive(container.Archives[0]).Entries.push_back(entry);
            findArchive(container.Archives.back());
        }
    }
    return archives;
}

CTestHeaderLibrary BuildTestContentLibrary(const CTestContentLibrary& library) {
    CTestHeaderLibrary description;
    for (const CTestContentContainer& container : library.Containers) {
        CTestContainer record;
        record.Path = container.Path;
        record.DataStart = container.DataStart;
        record.InlineHeaders = container.InlineHeaders;
        record.Languages = container.Languages;
        for (uint32_t entry = 0; entry < container.Entries.size(); ++entry) {
            CTestEntryHeader header;
            header.DataLength = static_cast<uint32_t>(container.Entries[entry].size());
            header.HeaderBytes = ToBytes(MakeTestEntryHeader(entry, header.DataLength));
            record.Entries.push_back(header);
        }
        description.Containers.push_back(record);
    }
    description.ExternalNames = library.ExternalNames;
    description.Resources = library.Resources;
    return description;
}

bool WriteTestContent(const std::string& directory, const CTestContent& content) {
    if (!WriteTestArchives(directory, BuildTestContentArchives(content)))
        return false;
    for (const CTestContentLibrary& library : content.Libraries) {
        if (!WriteTestHeaderLibrary(directory + "/" + library.FileName, BuildTestContentLibrary(library)))
            return false;
    }
    return true;
}

CTestResource MakeTestResource(const CTestContentContainer& container, uint32_t entry, uint64_t id,
                               const std::string& name) {
    CTestResource resource;
    resource.MemberId = MakeTestMemberId(container.Path, entry);
    resource.Id = id;
    resource.Name = name;
    return resource;
}
