// Builders of "*.archive" files for tests, fuzz seeds and benchmarks: valid ones and deliberately damaged
// ones.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

/// One segment of a test entry. It names the archive that holds its bytes by an index into the owning
/// archive's References. Either it carries Bytes, which the writer lays out in that archive file and whose
/// file offset it fills in, or it gives an explicit FileOffset (and Size) for bytes placed elsewhere, or
/// pointing nowhere on purpose. DataOffset and Size default to the running data offset and the byte count;
/// set them to break the consistency rule or to claim hostile sizes.
struct CTestSegment {
    uint32_t Reference = 0;
    std::vector<uint8_t> Bytes;
    std::optional<uint64_t> DataOffset;
    std::optional<uint64_t> FileOffset;
    std::optional<uint64_t> Size;
};

/// One test entry. Name is written as it stands (letter case kept). NameLength overrides the stored length
/// L (the L + 1 bytes written are still the name and its zero); OmitNameTerminator writes the name's bytes
/// with L = size - 1 and no zero byte (an empty name then stores L = 0xFFFFFFFF). SegmentCount overrides
/// the stored segment count.
struct CTestEntry {
    std::string Name;
    uint64_t OpaqueValue = 0;
    std::array<uint8_t, 16> OpaqueBlock{};
    std::vector<CTestSegment> Segments;
    std::optional<uint32_t> NameLength;
    bool OmitNameTerminator = false;
    std::optional<uint32_t> SegmentCount;
};

/// One archive file. FileName is the name it is written under by WriteTestArchives, and the name that
/// References of other archives (or of itself) use to point at it. The optional fields damage the image:
/// a wrong magic, an index offset of its own, stored counts that differ from the lists, and truncation of
/// the finished image to TruncateTo bytes.
struct CTestArchive {
    std::string FileName;
    uint32_t Magic = 0x48435241;
    uint32_t HeaderValue = 0;
    std::vector<std::string> References;
    std::vector<CTestEntry> Entries;
    std::optional<uint64_t> IndexOffset;
    std::optional<uint32_t> EntryCount;
    std::optional<uint32_t> ReferenceCount;
    std::optional<uint64_t> TruncateTo;
};

/// The image of one archive on its own. Layout: the 24-byte header, the bytes of every segment that carries
/// Bytes (whatever reference it names: there is no other file to put them in), then the index. Used for
/// single-file tests and fuzz seeds; give such archives a reference to their own file name.
std::vector<uint8_t> BuildTestArchiveImage(const CTestArchive& archive);

/// The images of a set of archives, in the order given. A segment's Bytes go into the archive that its
/// reference names when that file name is in the set (so one entry's segments can live in several files),
/// otherwise into its own archive; the file offsets are filled in accordingly. Each image is laid out as
/// in BuildTestArchiveImage: header, segment bytes, index.
std::vector<std::vector<uint8_t>> BuildTestArchiveImages(const std::vector<CTestArchive>& archives);

/// Writes the set built by BuildTestArchiveImages into directory, each file under its FileName. False when
/// a file cannot be written. Reports nothing to the test framework, so benchmarks and seed generators may
/// use it too.
bool WriteTestArchives(const std::string& directory, const std::vector<CTestArchive>& archives);

/// A valid archive called fileName that refers to itself (reference 0) and holds one entry per name, each
/// with one segment whose bytes are contents[i].
CTestArchive MakeSimpleTestArchive(const std::string& fileName, const std::vector<std::string>& names,
                                   const std::vector<std::string>& contents);
