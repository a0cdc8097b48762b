// Builders of "*.pc_headerlib" files for tests: the records of a described library, laid out with the
// product's header library writer.
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
constexpr uint64_t Null = CHeaderLibraryWriter::NullTarget;

// Each reference slot is set once its target has a place, which is always later in the payload than the
// slot. A list gets a count and a reference: null for an empty list, as a count of 0 is never followed.
uint32_t SetList(CHeaderLibraryWriter& writer, uint32_t countField, uint32_t slot, uint64_t count) {
    writer.StoreU32(countField, static_cast<uint32_t>(count));
    const uint32_t first = count == 0 ? 0 : writer.Allocate(ListElementSize * count, Filler);
    writer.SetReference(slot, count == 0 ? Null : first);
    return first;
}

void SetText(CHeaderLibraryWriter& writer, uint32_t slot, const std::optional<std::string>& text) {
    writer.SetReference(slot, text ? writer.AppendText({text->data(), text->size()}) : Null);
}

} // namespace

std::vector<uint8_t> BuildTestHeaderLibraryImage(const CTestHeaderLibrary& library,
                                                 CTestHeaderLibraryLayout* layout) {
    CTestHeaderLibraryLayout at;
    CHeaderLibraryWriter writer;
    writer.Allocate(RootSize, Filler);
    const auto containerCount = static_cast<uint32_t>(library.Containers.size());
    writer.StoreU32(Field::RootContainerCount, containerCount);
    const uint32_t records = writer.Allocate(uint64_t(ContainerRecordSize) * containerCount, Filler);
    writer.SetReference(Field::RootContainers, containerCount == 0 ? Null : records);
    for (uint32_t i = 0; i < containerCount; ++i) {
        const CTestContainer& container = library.Containers[i];
        const uint32_t record = records + i * ContainerRecordSize;
        at.ContainerRecords.push_back(record);
        writer.StoreU32(record + ContainerDataStart, container.DataStart);
        // Only the inline-header bit is meaningful; the others are set or clear to show they are ignored.
        writer.StoreByte(record + ContainerFlags, container.InlineHeaders ? 0xFF : 0xFB);
        at.LanguageLists.push_back(SetList(writer, record + Field::ContainerLanguageCount,
                                           record + Field::ContainerLanguages, container.Languages.size()));
        at.EntryHeaderLists.push_back(SetList(writer, record + Field::ContainerEntryCount,
                                              record + Field::ContainerEntryHeaders,
                                              container.Entries.size()));
    }
    at.ExternalList =
        SetList(writer, Field::RootExternalCount, Field::RootExternalNames, library.ExternalNames.size());
    for (uint32_t i = 0; i < containerCount; ++i) {
        for (uint32_t j = 0; j < library.Containers[i].Entries.size(); ++j) {
            const CTestEntryHeader& entry = library.Containers[i].Entries[j];
            const uint32_t element = at.EntryHeaderLists[i] + j * ListElementSize;
            writer.StoreU32(element + Field::EntryHeaderLength, entry.HeaderLength);
            writer.Align(8);
            const uint32_t size = std::max<uint32_t>(entry.HeaderLength, 16);
            std::vector<uint8_t> bytes(size);
            for (uint32_t k = 0; k < size; ++k)
                bytes[k] = k < entry.HeaderBytes.size() ? entry.HeaderBytes[k] : uint8_t(0xA0 + k);
            const uint32_t header = writer.Allocate(size, Filler);
            writer.StoreBytes(header, bytes.data(), size);
            writer.StoreU32(header + HeaderDataLength, entry.DataLength);
            writer.SetReference(element, header);
        }
    }
    for (uint32_t i = 0; i < containerCount; ++i) {
        const CTestContainer& container = library.Containers[i];
        SetText(writer, at.ContainerRecords[i] + Field::ContainerPath, container.Path);
        for (uint32_t k = 0; k < container.Languages.size(); ++k)
            SetText(writer, at.LanguageLists[i] + k * ListElementSize, container.Languages[k]);
    }
    for (uint32_t k = 0; k < library.ExternalNames.size(); ++k)
        SetText(writer, at.ExternalList + k * ListElementSize, library.ExternalNames[k]);

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
    at.ResourceList = writer.Allocate(block.size(), Filler);
    writer.StoreBytes(at.ResourceList, block.data(), block.size());
    writer.SetReference(Field::RootResourceList, at.ResourceList);
    writer.StoreU32(Field::RootResourceListLength, static_cast<uint32_t>(block.size()));
    at.Slots.assign(writer.GetSlots().begin(), writer.GetSlots().end());
    // The fields readers skip hold 0x11 in the file header and 0xAA in the block header.
    CByteBuffer image;
    writer.BuildImage(image, at, 0x11, 0xAA);
    at.PayloadLength = static_cast<uint32_t>(writer.GetPayloadLength());
    if (layout != nullptr)
        *layout = std::move(at);
    return std::vector<uint8_t>(image.GetData(), image.GetData() + image.GetSize());
}

bool WriteTestHeaderLibrary(const std::string& path, const CTestHeaderLibrary& library) {
    return WriteBinaryFile(path, BuildTestHeaderLibraryImage(library));
}

uint64_t MakeTestMemberId(const std::string& containerPath, uint32_t entry) {
    return 0x8000000000000000ull | (uint64_t(entry & 0xFFFFFF) << 32) |
           (GetTestPathId(containerPath) & 0xFFFFFFFF);
}
