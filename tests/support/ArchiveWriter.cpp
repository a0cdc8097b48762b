// Builders of "*.archive" files for tests: segment bytes laid out across files, then the index records.
#include "support/ArchiveWriter.h"

#include "archive/ArchiveWriter.h"
#include "support/BinaryFile.h"

std::vector<std::vector<uint8_t>> BuildTestArchiveImages(const std::vector<CTestArchive>& archives) {
    // The segment bytes each file holds after its header, and where each segment's bytes went.
    std::vector<std::vector<uint8_t>> data(archives.size());
    std::vector<std::vector<uint64_t>> offsets(archives.size());
    for (size_t a = 0; a < archives.size(); ++a) {
        for (const CTestEntry& entry : archives[a].Entries) {
            for (const CTestSegment& segment : entry.Segments) {
                size_t holder = a;
                for (size_t other = 0; other < archives.size(); ++other) {
                    if (segment.Reference < archives[a].References.size() &&
                        archives[other].FileName == archives[a].References[segment.Reference])
                        holder = other;
                }
                offsets[a].push_back(ArchiveHeaderSize + data[holder].size());
                data[holder].insert(data[holder].end(), segment.Bytes.begin(), segment.Bytes.end());
            }
        }
    }
    std::vector<std::vector<uint8_t>> images;
    for (size_t a = 0; a < archives.size(); ++a) {
        const CTestArchive& archive = archives[a];
        // The header, the segment bytes this file holds, then the index, all from the product's writer. The
        // header value 7 is carried, never read, like the opaque fields below.
        std::vector<uint8_t> image(ArchiveHeaderSize);
        StoreArchiveHeader(image.data(), 7, uint32_t(archive.Entries.size()),
                           uint32_t(archive.References.size()), ArchiveHeaderSize + data[a].size());
        image.insert(image.end(), data[a].begin(), data[a].end());
        CByteBuffer index;
        for (const std::string& reference : archive.References)
            AppendArchiveString(index, {reference.data(), reference.size()});
        size_t next = 0;
        for (const CTestEntry& entry : archive.Entries) {
            std::vector<CArchiveSegment> segments;
            uint64_t dataOffset = 0;
            for (const CTestSegment& segment : entry.Segments) {
                CArchiveSegment& record = segments.emplace_back();
                record.ReferenceIndex = segment.Reference;
                record.DataOffset = dataOffset;
                record.FileOffset = segment.FileOffset.value_or(offsets[a][next++]);
                record.Size = segment.Size.value_or(segment.Bytes.size());
                dataOffset += record.Size;
            }
            // Opaque fields are carried, never read: a reader or a rebuilt index that drops them shows.
            const uint8_t opaque[16] = {'O'};
            AppendArchiveEntry(index, 0, opaque, {entry.Name.data(), entry.Name.size()}, segments.data(),
                               uint32_t(segments.size()));
        }
        image.insert(image.end(), index.GetData(), index.GetData() + index.GetSize());
        images.push_back(std::move(image));
    }
    return images;
}

bool WriteTestArchives(const std::string& directory, const std::vector<CTestArchive>& archives) {
    const std::vector<std::vector<uint8_t>> images = BuildTestArchiveImages(archives);
    for (size_t a = 0; a < archives.size(); ++a) {
        if (!WriteBinaryFile(directory + "/" + archives[a].FileName, images[a]))
            return false;
    }
    return true;
}

CTestArchive MakeSimpleTestArchive(const std::string& fileName, const std::vector<std::string>& names,
                                   const std::vector<std::string>& contents) {
    CTestArchive archive{fileName, {fileName}, {}};
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string content = i < contents.size() ? contents[i] : std::string();
        archive.Entries.push_back({names[i], {CTestSegment{0, {content.begin(), content.end()}, {}, {}}}});
    }
    return archive;
}
