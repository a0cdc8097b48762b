// Builders of "*.archive" files for tests, fuzz seeds and benchmarks. Damaged archives are made by patching
// the bytes of a valid image at the offsets of its layout.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

/// One segment of an entry, held by the archive that reference index Reference of the owning archive names.
/// Its Bytes are laid out in that file (in the owning one when the name is not in the set written); a given
/// FileOffset or Size replaces the one worked out from them, to point elsewhere or claim what is not there.
struct CTestSegment {
    uint32_t Reference = 0;
    std::vector<uint8_t> Bytes;
    std::optional<uint64_t> FileOffset;
    std::optional<uint64_t> Size;
};

/// One entry; Name is stored as it stands (letter case kept).
struct CTestEntry {
    std::string Name;
    std::vector<CTestSegment> Segments;
};

/// One archive file, written under FileName, the name that References of other archives use for it.
struct CTestArchive {
    std::string FileName;
    std::vector<std::string> References;
    std::vector<CTestEntry> Entries;
};

/// The images of a set of archives, in the order given. Each is the 24-byte header (magic, 0, entry count,
/// reference count, 64-bit index offset), the segment bytes it holds, then the index: each reference as a
/// string (32-bit length L, L bytes, a zero), then per entry 8 + 16 zero bytes, its name as a string, a
/// 32-bit segment count and per segment a 28-byte record (reference, data offset, file offset, size).
std::vector<std::vector<uint8_t>> BuildTestArchiveImages(const std::vector<CTestArchive>& archives);

/// Writes the images of BuildTestArchiveImages into directory under their file names; false on a failure.
bool WriteTestArchives(const std::string& directory, const std::vector<CTestArchive>& archives);

/// A valid archive called fileName that refers to itself and holds one entry per name, each with one
/// segment whose bytes are contents[i] (empty when contents is shorter).
CTestArchive MakeSimpleTestArchive(const std::string& fileName, const std::vector<std::string>& names,
                                   const std::vector<std::string>& contents);
