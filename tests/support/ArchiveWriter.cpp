// Builders of "*.archive" files for tests: segment bytes laid out across files, then the index records.
#include "support/ArchiveWriter.h"

#include "support/BinaryFile.h"

namespace {

constexpr uint64_t HeaderSize = 24;

void PutU32(std::vector<uint8_t>& bytes, uint64_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        bytes.push_back(static_cast<uint8_t>(value >> shift));
}

void PutU64(std::vector<uint8_t>& bytes, uint64_t value) {
    PutU32(bytes, value & 0xFFFFFFFF);
    PutU32(bytes, value >> 32);
}

void PutString(std::vector<uint8_t>& bytes, const std::string& text) {
    PutU32(bytes, text.size());
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
        std::vector<uint8_t> image;
        PutU32(image, 0x48435241); // "ARCH"
        PutU32(image, 0);
        PutU32(image, archive.Entries.size());
        PutU32(image, archive.References.size());
        PutU64(image, HeaderSize + data[a].size());
        image.insert(image.end(), data[a].begin(), data[a].end());
        for (const std::string& reference : archive.References)
            PutString(image, reference);
        size_t next = 0;
        for (const CTestEntry& entry : archive.Entries) {
            image.resize(image.size() + 24, 0);
            PutString(image, entry.Name);
            PutU32(image, entry.Segments.size());
            uint64_t dataOffset = 0;
            for (const CTestSegment& segment : entry.Segments) {
                const uint64_t size = segment.Size.value_or(segment.Bytes.size());
                PutU32(image, segment.Reference);
                PutU64(image, dataOffset);
                PutU64(image, segment.FileOffset.value_or(offsets[a][next++]));
                PutU64(image, size);
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
