// Builders of "*.pc_headerlib" files for tests, fuzz seeds and benchmarks. Damaged libraries are made by
// patching the bytes of a valid image at the offsets its layout reports.
#pragma once

#include "headerlib/HeaderLibraryWriter.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

/// One entry of a container: its header occupies max(HeaderLength, 16) bytes, HeaderBytes first, then a
/// counting pattern, with DataLength written over bytes 12 to 15.
struct CTestEntryHeader {
    uint32_t DataLength = 0, HeaderLength = 24;
    std::vector<uint8_t> HeaderBytes;
};

/// One container record. A missing Path or language name is stored as a null reference.
struct CTestContainer {
    std::optional<std::string> Path;
    uint32_t DataStart = 0;
    bool InlineHeaders = false;
    std::vector<std::optional<std::string>> Languages;
    std::vector<CTestEntryHeader> Entries;
};

/// One resource record.
struct CTestResource {
    uint64_t MemberId = 0, Id = 0;
    std::string Name, SecondName;
};

/// A whole header library; its image is always valid.
struct CTestHeaderLibrary {
    std::vector<CTestContainer> Containers;
    std::vector<std::optional<std::string>> ExternalNames;
    std::vector<CTestResource> Resources;
};

/// Where the writer put things. BlockStart and RelocationSegmentStart are file offsets; the others are
/// payload offsets (add PayloadStart for the file offset). Slots lists every reference slot in the order of
/// the relocation entries, which start 12 bytes into the relocation segment.
struct CTestHeaderLibraryLayout : CHeaderLibraryImageLayout {
    uint32_t PayloadLength = 0, ExternalList = 0, ResourceList = 0;
    std::vector<uint32_t> ContainerRecords, LanguageLists, EntryHeaderLists, Slots;
};

/// Field offsets of the format (root record, container record, list element), for tests that damage a field.
namespace HeaderLibraryField {
constexpr uint32_t RootContainers = 16, RootContainerCount = 24, RootExternalNames = 32;
constexpr uint32_t RootExternalCount = 40, RootResourceList = 64, RootResourceListLength = 72;
constexpr uint32_t ContainerPath = 0, ContainerLanguages = 56, ContainerLanguageCount = 64;
constexpr uint32_t ContainerEntryHeaders = 128, ContainerEntryCount = 136, EntryHeaderLength = 8;
} // namespace HeaderLibraryField

/// The file image: the 24-byte file header, the block header, the payload (root record, container records,
/// per container its language and entry header lists, the external name list, the entry headers, the
/// texts, the resource list block), then one relocation segment naming every slot. Layout receives where
/// everything went when it is not null.
std::vector<uint8_t> BuildTestHeaderLibraryImage(const CTestHeaderLibrary& library,
                                                 CTestHeaderLibraryLayout* layout = nullptr);

/// Writes the image to path; false when the file cannot be written.
bool WriteTestHeaderLibrary(const std::string& path, const CTestHeaderLibrary& library);

/// The member id of entry position entry in the container whose path is containerPath: bit 63, the entry
/// position in bits 32 to 55 and the low 32 bits of the container path's id.
uint64_t MakeTestMemberId(const std::string& containerPath, uint32_t entry);
