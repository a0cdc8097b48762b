// Builders of "*.pc_headerlib" files for tests: the records of a described library, laid out with the
// product's header library writer.
#include "support/HeaderLibraryWriter.h"

#include "headerlib/HeaderLibraryWriter.h"
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

// The payload under construction, on the product's writer: each reference slot is set once its target has
// a place, which is always later in the payload than the slot.
struct CPayloadBuilder {
    CHeaderLibraryWriter Writer;

    uint32_t Allocate(uint64_t size, uint8_t fill = Filler) { return Writer.Allocate(size, fill); }
    void SetU32(uint32_t offset, uint64_t value) { Writer.StoreU32(offset, static_cast<uint32_t>(value)); }
    void SetReference(uint32_t slot, uint64_t target) { Writer.SetReference(slot, target); }
    // A count and a list's reference: null for an empty list, as a count of 0 is never followed.
    uint32_t SetList(uint32_t countField, uint32_t slot, uint64_t count) {
        SetU32(countField, count);
        const uint32_t first = count == 0 ? 0 : Allocate(ListElementSize * count);
        SetReference(slot, count == 0 ? CHeaderLibraryWriter::NullTarget : first);
        return first;
    }
    void SetText(uint32_t slot, const std::optional<std::string>& text) {
        SetReference(slot, text ? Writer.AppendText({text->data(), text->size()}) : CHeaderLibraryWriter::NullTarget);
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
        payload.Writer.StoreByte(record + ContainerFlags, container.InlineHeaders ? 0xFF : 0xFB);
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
            payload.Writer.Align(8);
            const uint32_t size = std::max<uint32_t>(entry.HeaderLength, 16);
            std::vector<uint8_t> bytes(size);
            for (uint32_t k = 0; k < size; ++k)
                bytes[k] = k < entry.HeaderBytes.size() ? entry.HeaderBytes[k] : uint8_t(0xA0 + k);
            const uint32_t header = payload.Allocate(size);
            payload.Writer.StoreBytes(header, bytes.data(), size);
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
    payload.Writer.StoreBytes(layout.ResourceList, block.data(), block.size());
    payload.SetReference(Field::RootResourceList, layout.ResourceList);
    payload.SetU32(Field::RootResourceListLength, block.size());
    const CArray<uint32_t>& slots = payload.Writer.GetSlots();
    layout.Slots.assign(slots.begin(), slots.end());
}

} // namespace

std::vector<uint8_t> BuildTestHeaderLibraryImage(const CTestHeaderLibrary& library,
                                                 CTestHeaderLibraryLayout* layout) {
    CTestHeaderLibraryLayout placed;
    CPayloadBuilder payload;
    BuildPayload(library, payload, placed);
    // The fields readers skip hold 0x11 in the file header and 0xAA in the block header.
    CByteBuffer image;
    CHeaderLibraryImageLayout parts;
    payload.Writer.BuildImage(image, parts, 0x11, 0xAA);
    placed.BlockStart = parts.BlockStart;
    placed.PayloadStart = parts.PayloadStart;
    placed.RelocationSegmentStart = parts.RelocationSegmentStart;
    placed.PayloadLength = static_cast<uint32_t>(payload.Writer.GetPayloadLength());
    if (layout != nullptr)
        *layout = std::move(placed);
    return std::vector<uint8_t>(image.GetData(), image.GetData() + image.GetSize());
}

bool WriteTestHeaderLibrary(const std::string& path, const CTestHeaderLibrary& library) {
    return WriteBinaryFile(path, BuildTestHeaderLibraryImage(library));
}

uint64_t MakeTestMemberId(const std::string& containerPath, uint32_t entry) {
    return 0x8000000000000000ull | (uint64_t(entry & 0xFFFFFF) << 32) |
           (GetTestPathId(containerPath) & 0xFFFFFFFF);
}
