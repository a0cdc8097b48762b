// Builders of "*.pc_headerlib" files for tests: payload layout, reference slots and the relocation segment.
#include "support/HeaderLibraryWriter.h"

#include "support/BinaryFile.h"
#include "support/ExpectedOutput.h"

#include <algorithm>

namespace {

namespace Field = HeaderLibraryField;

// The writer states the format's sizes on its own rather than sharing the loader's, so that a mistake in
// one shows up against the other.
constexpr uint32_t RootSize = 80; // 76 bytes are read; the record is padded to keep the next one aligned.
constexpr uint32_t ContainerRecordSize = 176;
constexpr uint32_t ListElementSize = 16;
constexpr uint32_t ContainerDataStart = 32;
constexpr uint32_t ContainerFlags = 48;
constexpr uint32_t HeaderDataLength = 12;
// Bytes of fields the loader must not read, so that a stray read of them shows.
constexpr uint8_t Filler = 0xCD;

// The payload under construction: regions are appended, and each reference slot is set once its target
// has a place, which is always later in the payload than the slot.
struct CPayloadBuilder {
    std::vector<uint8_t> Bytes;
    std::vector<uint32_t> Slots;

    uint32_t Allocate(uint64_t size, uint8_t fill = Filler) {
        const auto offset = static_cast<uint32_t>(Bytes.size());
        Bytes.resize(Bytes.size() + size, fill);
        return offset;
    }
    void SetU32(uint32_t offset, uint64_t value) { PatchLittleEndian(Bytes, offset, value, 4); }
    void SetReference(uint32_t slot, uint64_t target) {
        PatchLittleEndian(Bytes, slot, target, 8);
        Slots.push_back(slot);
    }
    // A count and a list's reference: null for an empty list, as a count of 0 is never followed.
    uint32_t SetList(uint32_t countField, uint32_t slot, uint64_t count) {
        SetU32(countField, count);
        const uint32_t first = count == 0 ? 0 : Allocate(ListElementSize * count);
        SetReference(slot, count == 0 ? ~uint64_t(0) : first);
        return first;
    }
    void SetText(uint32_t slot, const std::optional<std::string>& text) {
        const uint32_t offset = text ? Allocate(text->size() + 1, 0) : 0;
        if (text)
            std::copy(text->begin(), text->end(), Bytes.begin() + offset);
        SetReference(slot, text ? offset : ~uint64_t(0));
    }
};

void BuildPayload(const CTestHeaderLibrary& library, CPayloadBuilder& payload,
                  CTestHeaderLibraryLayout& layout) {
    payload.Allocate(RootSize);
    const uint64_t containerCount = library.Containers.size();
    payload.SetU32(Field::RootContainerCount, containerCount);
    const uint32_t records = payload.Allocate(ContainerRecordSize * containerCount);
    payload.SetReference(Field::RootContainers, containerCount == 0 ? ~uint64_t(0) : records);
    for (uint32_t i = 0; i < containerCount; ++i) {
        const CTestContainer& container = library.Containers[i];
        const uint32_t record = records + i * ContainerRecordSize;
        layout.ContainerRecords.push_back(record);
        payload.SetU32(record + ContainerDataStart, container.DataStart);
        // Only the inline-header bit is meaningful; the others are set or clear to show they are ignored.
        payload.Bytes[record + ContainerFlags] = container.InlineHeaders ? 0xFF : 0xFB;
        layout.LanguageLists.push_back(payload.SetList(record + Field::ContainerLanguageCount,
                                                       record + Field::ContainerLanguages,
                                                       container.Languages.size()));
        layout.EntryHeaderLists.push_back(payload.SetList(record + Field::ContainerEntryCount,
                                                          record + Field::ContainerEntryHeaders,
                                                          container.Entries.size()));
    }
    layout.ExternalList =
        payload.SetList(Field::RootExternalCount, Field::RootExternalNames, library.ExternalNames.size());

    for (uint32_t i = 0; i < containerCount; ++i) {
        for (uint32_t j = 0; j < library.Containers[i].Entries.size(); ++j) {
            const CTestEntryHeader& entry = library.Containers[i].Entries[j];
            const uint32_t element = layout.EntryHeaderLists[i] + j * ListElementSize;
            payload.SetU32(element + Field::EntryHeaderLength, entry.HeaderLength);
            payload.Bytes.resize((payload.Bytes.size() + 7) / 8 * 8, 0);
            const uint32_t size = std::max<uint32_t>(entry.HeaderLength, 16);
            const uint32_t header = payload.Allocate(size);
            for (uint32_t k = 0; k < size; ++k)
                payload.Bytes[header + k] =
                    k < entry.HeaderBytes.size() ? entry.HeaderBytes[k] : uint8_t(0xA0 + k);
            payload.SetU32(header + HeaderDataLength, entry.DataLength);
            payload.SetReference(element, header);
        }
    }
    for (uint32_t i = 0; i < containerCount; ++i) {
        const CTestContainer& container = library.Containers[i];
        payload.SetText(layout.ContainerRecords[i] + Field::ContainerPath, container.Path);
        for (uint32_t k = 0; k < container.Languages.size(); ++k)
            payload.SetText(layout.LanguageLists[i] + k * ListElementSize, container.Languages[k]);
    }
    for (uint32_t k = 0; k < library.ExternalNames.size(); ++k)
        payload.SetText(layout.ExternalList + k * ListElementSize, library.ExternalNames[k]);

    std::vector<uint8_t> block;
    AppendLittleEndian(block, library.Resources.size(), 4);
    for (const CTestResource& resource : library.Resources) {
        AppendLittleEndian(block, resource.MemberId, 8);
        AppendLittleEndian(block, resource.Id, 8);
        for (const std::string& text : {resource.Name, resource.SecondName}) {
            AppendLittleEndian(block, text.size(), 4);
            block.insert(block.end(), text.c_str(), text.c_str() + text.size() + 1);
        }
    }
    layout.ResourceList = payload.Allocate(block.size());
    std::copy(block.begin(), block.end(), payload.Bytes.begin() + layout.ResourceList);
    payload.SetReference(Field::RootResourceList, layout.ResourceList);
    payload.SetU32(Field::RootResourceListLength, block.size());
    layout.Slots = payload.Slots;
}

} // namespace

std::vector<uint8_t> BuildTestHeaderLibraryImage(const CTestHeaderLibrary& library,
                                                 CTestHeaderLibraryLayout* layout) {
    CTestHeaderLibraryLayout placed;
    CPayloadBuilder payload;
    BuildPayload(library, payload, placed);
    // The relocation segment: its tag, body length, entry count and entries.
    std::vector<uint8_t> relocation;
    for (uint64_t field : {uint64_t(0x12EBA5ED), 4 + 4 * payload.Slots.size(), payload.Slots.size()})
        AppendLittleEndian(relocation, field, 4);
    for (uint32_t slot : payload.Slots)
        AppendLittleEndian(relocation, slot, 4);

    // The file header: "BILH", the gap before the block (none), the block length and unread fields.
    std::vector<uint8_t> image = {'B', 'I', 'L', 'H'};
    for (uint64_t field : {uint64_t(0), uint64_t(0x11111111), 16 + payload.Bytes.size() + relocation.size(),
                           uint64_t(0x11111111), uint64_t(0x11111111)})
        AppendLittleEndian(image, field, 4);
    placed.BlockStart = image.size();
    // "BIN1", the segment count at byte 6 and the payload length, the format's one big-endian field.
    const auto length = static_cast<uint32_t>(payload.Bytes.size());
    image.insert(image.end(),
                 {'B', 'I', 'N', '1', 0xAA, 0xAA, 1, 0xAA, uint8_t(length >> 24), uint8_t(length >> 16),
                  uint8_t(length >> 8), uint8_t(length), 0xAA, 0xAA, 0xAA, 0xAA});
    placed.PayloadStart = image.size();
    placed.PayloadLength = length;
    image.insert(image.end(), payload.Bytes.begin(), payload.Bytes.end());
    placed.RelocationSegmentStart = image.size();
    image.insert(image.end(), relocation.begin(), relocation.end());
    if (layout != nullptr)
        *layout = std::move(placed);
    return image;
}

bool WriteTestHeaderLibrary(const std::string& path, const CTestHeaderLibrary& library) {
    return WriteBinaryFile(path, BuildTestHeaderLibraryImage(library));
}

uint64_t MakeTestMemberId(const std::string& containerPath, uint32_t entry) {
    return 0x8000000000000000ull | (uint64_t(entry & 0xFFFFFF) << 32) |
           (GetTestPathId(containerPath) & 0xFFFFFFFF);
}
