// Builders of "*.archive" files for tests: segment bytes laid out across files, then the index records.
#include "support/ArchiveWriter.h"

#include "support/BinaryFile.h"

namespace {

constexpr uint64_t HeaderSize = 24;

void PutString(std::vector<uint8_t>& bytes, const std::string& text) {
    AppendLittleEndian(bytes, text.size(), 4);
    bytes.insert(bytes.end(), text.begin(), text.end());
    bytes.push_back(0);
}

} // namespace

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
                offsets[a].push_back(HeaderSize + data[holder].size());
                data[holder].insert(data[holder].end(), segment.Bytes.begin(), segment.Bytes.end());
            }
        }
    }
    std::vector<std::vector<uint8_t>> images;
    for (size_t a = 0; a < archives.size(); ++a) {
        const CTestArchive& archive = archives[a];
        std::vector<uint8_t> image = {'A', 'R', 'C', 'H', 0, 0, 0, 0};
        for (uint64_t count : {archive.Entries.size(), archive.References.size()})
            AppendLittleEndian(image, count, 4);
        AppendLittleEndian(image, HeaderSize + data[a].size(), 8);
        image.insert(image.end(), data[a].begin(), data[a].end());
        for (const std::string& reference : archive.References)
            PutString(image, reference);
        size_t next = 0;
        for (const CTestEntry& entry : archive.Entries) {
            image.resize(image.size() + 24, 0);
            PutString(image, entry.Name);
            AppendLittleEndian(image, entry.Segments.size(), 4);
            uint64_t dataOffset = 0;
            for (const CTestSegment& segment : entry.Segments) {
                const uint64_t size = segment.Size.value_or(segment.Bytes.size());
                AppendLittleEndian(image, segment.Reference, 4);
                for (uint64_t field : {dataOffset, segment.FileOffset.value_or(offsets[a][next++]), size})
                    AppendLittleEndian(image, field, 8);
                dataOffset += size;
            }
        }
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
