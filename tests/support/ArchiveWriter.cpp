// Builders of "*.archive" files for tests: the layout of segment bytes across files and the index records.
#include "support/ArchiveWriter.h"

#include "support/BinaryFile.h"

namespace {

constexpr uint64_t HeaderSize = 24;

void PutU32(std::vector<uint8_t>& bytes, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        bytes.push_back(static_cast<uint8_t>(value >> shift));
}

void PutU64(std::vector<uint8_t>& bytes, uint64_t value) {
    PutU32(bytes, static_cast<uint32_t>(value));
    PutU32(bytes, static_cast<uint32_t>(value >> 32));
}

void PutString(std::vector<uint8_t>& bytes, const std::string& text) {
    PutU32(bytes, static_cast<uint32_t>(text.size()));
    bytes.insert(bytes.end(), text.begin(), text.end());
    bytes.push_back(0);
}

// The file offsets of every segment with Bytes, worked out while the bytes are laid out in their files.
struct CLayout {
    std::vector<std::vector<uint8_t>> Data; // Per archive, the segment bytes that follow its header.
    std::vector<std::vector<std::vector<uint64_t>>> FileOffsets; // [archive][entry][segment]
};

CLayout LayOut(const std::vector<CTestArchive>& archives) {
    CLayout layout;
    layout.Data.resize(archives.size());
    layout.FileOffsets.resize(archives.size());
    for (size_t a = 0; a < archives.size(); ++a) {
        const CTestArchive& archive = archives[a];
        layout.FileOffsets[a].resize(archive.Entries.size());
        for (size_t e = 0; e < archive.Entries.size(); ++e) {
            for (const CTestSegment& segment : archive.Entries[e].Segments) {
                size_t holder = a;
                if (segment.Reference < archive.References.size()) {
                    for (size_t other = 0; other < archives.size(); ++other) {
                        if (archives[other].FileName == archive.References[segment.Reference])
                            holder = other;
                    }
                }
                std::vector<uint8_t>& data = layout.Data[holder];
                layout.FileOffsets[a][e].push_back(HeaderSize + data.size());
                data.insert(data.end(), segment.Bytes.begin(), segment.Bytes.end());
            }
        }
    }
    return layout;
}

std::vector<uint8_t> BuildImage(const CTestArchive& archive, const std::vector<uint8_t>& data,
                                const std::vector<std::vector<uint64_t>>& fileOffsets) {
    std::vector<uint8_t> image;
    PutU32(image, archive.Magic);
    PutU32(image, archive.HeaderValue);
    PutU32(image, archive.EntryCount.value_or(static_cast<uint32_t>(archive.Entries.size())));
    PutU32(image, archive.ReferenceCount.value_or(static_cast<uint32_t>(archive.References.size())));
    PutU64(image, archive.IndexOffset.value_or(HeaderSize + data.size()));
    image.insert(image.end(), data.begin(), data.end());

    for (const std::string& reference : archive.References)
        PutString(image, reference);
    for (size_t e = 0; e < archive.Entries.size(); ++e) {
        const CTestEntry& entry = archive.Entries[e];
        PutU64(image, entry.OpaqueValue);
        image.insert(image.end(), entry.OpaqueBlock.begin(), entry.OpaqueBlock.end());
        if (entry.OmitNameTerminator) {
            PutU32(image, static_cast<uint32_t>(entry.Name.size() - 1));
            image.insert(image.end(), entry.Name.begin(), entry.Name.end());
        } else {
            PutU32(image, entry.NameLength.value_or(static_cast<uint32_t>(entry.Name.size())));
            image.insert(image.end(), entry.Name.begin(), entry.Name.end());
            image.push_back(0);
        }
        PutU32(image, entry.SegmentCount.value_or(static_cast<uint32_t>(entry.Segments.size())));
        uint64_t dataOffset = 0;
        for (size_t s = 0; s < entry.Segments.size(); ++s) {
            const CTestSegment& segment = entry.Segments[s];
            const uint64_t size = segment.Size.value_or(segment.Bytes.size());
            const uint64_t offset = segment.DataOffset.value_or(dataOffset);
            PutU32(image, segment.Reference);
            PutU64(image, offset);
            PutU64(image, segment.FileOffset.value_or(fileOffsets[e][s]));
            PutU64(image, size);
            dataOffset = offset + size;
        }
    }
    if (archive.TruncateTo && *archive.TruncateTo < image.size())
        image.resize(*archive.TruncateTo);
    return image;
}

} // namespace

std::vector<uint8_t> BuildTestArchiveImage(const CTestArchive& archive) {
    // Alone, the archive holds the bytes of all its segments: lay it out with no references resolved.
    CTestArchive alone = archive;
    alone.References.clear();
    const CLayout layout = LayOut({alone});
    return BuildImage(archive, layout.Data[0], layout.FileOffsets[0]);
}

std::vector<std::vector<uint8_t>> BuildTestArchiveImages(const std::vector<CTestArchive>& archives) {
    const CLayout layout = LayOut(archives);
    std::vector<std::vector<uint8_t>> images;
    for (size_t a = 0; a < archives.size(); ++a)
        images.push_back(BuildImage(archives[a], layout.Data[a], layout.FileOffsets[a]));
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
    CTestArchive archive;
    archive.FileName = fileName;
    archive.References = {fileName};
    for (size_t i = 0; i < names.size(); ++i) {
        CTestEntry entry;
        entry.Name = names[i];
        const std::string& content = i < contents.size() ? contents[i] : std::string();
        entry.Segments.push_back(
            CTestSegment{0, std::vector<uint8_t>(content.begin(), content.end()), {}, {}, {}});
        archive.Entries.push_back(entry);
    }
    return archive;
}
