// Builders of "*.pc_headerlib" files for tests, fuzz seeds and benchmarks: valid ones and deliberately
// damaged ones.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

/// One entry of a test container: its header in the header library and its data length in the container.
/// The header occupies max(HeaderLength, 16) bytes: HeaderBytes first, then filler, with DataLength written
/// over bytes 12 to 15. NullHeader stores a null reference instead of the header.
struct CTestEntryHeader {
    uint32_t DataLength = 0;
    uint32_t HeaderLength = 24;
    std::vector<uint8_t> HeaderBytes;
    bool NullHeader = false;
};

/// One container record. A missing Path or language name is stored as a null reference.
struct CTestContainer {
    std::optional<std::string> Path;
    uint32_t DataStart = 0;
    bool InlineHeaders = false;
    std::vector<std::optional<std::string>> Languages;
    std::vector<CTestEntryHeader> Entries;
};

/// One resource record. NameLength and SecondNameLength override the stated lengths L: the L + 1 bytes
/// written are the text and its NUL, cut to L + 1 bytes when L is shorter than the text (so no NUL falls
/// inside them) or padded with '#' when it is longer. Keep stated lengths small; damage the stored field
/// through the layout for hostile ones.
struct CTestResource {
    uint64_t MemberId = 0;
    uint64_t Id = 0;
    std::string Name;
    std::string SecondName;
    std::optional<uint32_t> NameLength;
    std::optional<uint32_t> SecondNameLength;
};

/// A segment written as it stands: tag, body length and body.
struct CTestBlockSegment {
    uint32_t Tag = 0;
    std::vector<uint8_t> Body;
};

/// A reference slot's stored value, written over the slot at PayloadOffset after the payload is laid out
/// (all bits set is null; anything else a payload offset, valid or not).
struct CTestSlotValue {
    uint32_t PayloadOffset = 0;
    uint64_t Value = 0;
};

/// A whole header library. Without options the image is valid: every reference the records use is a slot
/// named by one relocation segment, lists of count 0 have null references, and the resource list block
/// holds exactly the records. The options damage or vary it:
/// - GapBytes between the file header and the block, TrailingBytes after the block;
/// - Skew: bytes inserted after the root record, to misalign every later record and slot;
/// - PayloadTail: raw bytes at the end of the payload (a place for extra slots);
/// - RawPayload: the payload's bytes as given, instead of the records (which are then ignored; the
///   relocation segment names ExtraRelocations only);
/// - OmitResourceList: resource list reference null and length 0; ResourceCount: stated record count;
/// - SegmentsBefore / SegmentsAfter: segments around the relocation segment; OmitRelocationSegment;
///   SegmentCount: stated segment count instead of the number written;
/// - UnrelocatedSlots: payload offsets of slots left out of the relocation entries (they keep their
///   stored offset); ExtraRelocations: entries appended after the writer's own (repeats, bad offsets);
///   RelocationEntryCount: stated entry count instead of the number written;
/// - SlotValues: stored values written over slots.
struct CTestHeaderLibrary {
    std::vector<CTestContainer> Containers;
    std::vector<std::optional<std::string>> ExternalNames;
    std::vector<CTestResource> Resources;

    uint32_t GapBytes = 0;
    uint32_t TrailingBytes = 0;
    uint32_t Skew = 0;
    std::vector<uint8_t> PayloadTail;
    std::optional<std::vector<uint8_t>> RawPayload;
    bool OmitResourceList = false;
    std::optional<uint32_t> ResourceCount;
    std::vector<CTestBlockSegment> SegmentsBefore;
    std::vector<CTestBlockSegment> SegmentsAfter;
    bool OmitRelocationSegment = false;
    std::optional<uint8_t> SegmentCount;
    std::vector<uint32_t> UnrelocatedSlots;
    std::vector<uint32_t> ExtraRelocations;
    std::optional<uint32_t> RelocationEntryCount;
    std::vector<CTestSlotValue> SlotValues;
};

/// Where the writer put things, for tests that damage one field. File offsets are from the file's start;
/// the rest are payload offsets (add PayloadStart for the file offset). Lists that a record does not have
/// are 0.
struct CTestHeaderLibraryLayout {
    uint64_t BlockStart = 0;
    uint64_t PayloadStart = 0;
    uint32_t PayloadLength = 0;
    uint64_t RelocationSegmentStart = 0;
    std::vector<uint32_t> ContainerRecords;
    std::vector<uint32_t> LanguageLists;
    std::vector<uint32_t> EntryHeaderLists;
    std::vector<std::vector<uint32_t>> EntryHeaders;
    uint32_t ExternalList = 0;
    uint32_t ResourceList = 0;
    std::vector<uint32_t> ResourceRecords;
    uint32_t PayloadTail = 0;
    /// Every reference slot the records use, in payload order of writing, whether relocated or not.
    std::vector<uint32_t> Slots;
};

/// Field offsets of the format, for tests that damage a field through the layout.
namespace HeaderLibraryField {
constexpr uint32_t RootContainers = 16;
constexpr uint32_t RootContainerCount = 24;
constexpr uint32_t RootExternalNames = 32;
constexpr uint32_t RootExternalCount = 40;
constexpr uint32_t RootResourceList = 64;
constexpr uint32_t RootResourceListLength = 72;
constexpr uint32_t ContainerPath = 0;
constexpr uint32_t ContainerLanguages = 56;
constexpr uint32_t ContainerLanguageCount = 64;
constexpr uint32_t ContainerEntryHeaders = 128;
constexpr uint32_t ContainerEntryCount = 136;
constexpr uint32_t EntryHeaderLength = 8;
} // namespace HeaderLibraryField

/// The file image of a header library. Layout: the 24-byte file header, GapBytes, the block header, the
/// payload (root record, Skew, container records, then per container its language and entry header lists,
/// the external name list, the entry headers, the texts, the resource list block, PayloadTail), then the
/// segments, then TrailingBytes. Records are 8-byte aligned in the payload unless Skew moves them. Layout
/// receives where everything went when it is not null.
std::vector<uint8_t> BuildTestHeaderLibraryImage(const CTestHeaderLibrary& library,
                                                 CTestHeaderLibraryLayout* layout = nullptr);

/// Writes the image to path. False when the file cannot be written; reports nothing to the test framework.
bool WriteTestHeaderLibrary(const std::string& path, const CTestHeaderLibrary& library);

/// The member id of entry position entry in the container whose path is containerPath: bit 63, the entry
/// position in bits 32 to 55 and the low 32 bits of the container path's id.
uint64_t MakeTestMemberId(const std::string& containerPath, uint32_t entry);
