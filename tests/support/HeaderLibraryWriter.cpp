// Builders of "*.pc_headerlib" files for tests: payload layout, reference slots and the relocation segment.
#include "support/HeaderLibraryWriter.h"

#include "support/BinaryFile.h"

#include "base/InlineString.h"
#include "resid/ResourcePath.h"

#include <algorithm>
#include <cstdio>

namespace {

// The writer states the format's sizes on its own rather than sharing the loader's, so that a mistake in
// one shows up against the other.
constexpr uint32_t RootSize = 80; // 76 bytes are read; the record is padded to keep the next one aligned.
constexpr uint32_t ContainerRecordSize = 176;
constexpr uint32_t ListElementSize = 16;
constexpr uint32_t ContainerDataStart = 32;
constexpr uint32_t ContainerFlags = 48;
constexpr uint32_t HeaderDataLength = 12;
constexpr uint32_t RelocationTag = 0x12EBA5ED;
constexpr uint64_t StoredNull = ~uint64_t(0);
// Bytes of fields the loader must not read, so that a stray read of them shows.
constexpr uint8_t Filler = 0xCD;

void PutU32(std::vector<uint8_t>& bytes, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        bytes.push_back(static_cast<uint8_t>(value >> shift));
}

void PutTag(std::vector<uint8_t>& bytes, const char* tag) {
    for (int i = 0; i < 4; ++i)
        bytes.push_back(static_cast<uint8_t>(tag[i]));
}

void SetU32(std::vector<uint8_t>& bytes, uint64_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

void SetU64(std::vector<uint8_t>& bytes, uint64_t offset, uint64_t value) {
    for (int i = 0; i < 8; ++i)
        bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

// The payload under construction: regions are appended, and each reference slot is set once its target
// has a place, which is always later in the payload than the slot.
class CPayloadBuilder {
public:
    std::vector<uint8_t> Bytes;
    std::vector<uint32_t> Slots;

    uint32_t Allocate(uint64_t size, uint8_t fill = Filler) {
        const uint32_t offset = static_cast<uint32_t>(Bytes.size());
        Bytes.resize(Bytes.size() + size, fill);
        return offset;
    }
    void Align() { Bytes.resize((Bytes.size() + 7) / 8 * 8, 0); }
    uint32_t AppendText(const std::string& text) {
        const uint32_t offset = Allocate(text.size() + 1, 0);
        std::copy(text.begin(), text.end(), Bytes.begin() + offset);
        return offset;
    }
    void SetReference(uint32_t slot, uint64_t target) {
        SetU64(Bytes, slot, target);
        Slots.push_back(slot);
    }
    void SetNull(uint32_t slot) { SetReference(slot, StoredNull); }
    // A list's reference: null for an empty list, as a count of 0 is never followed.
    void SetList(uint32_t slot, uint32_t count, uint32_t first) {
        if (count == 0)
            SetNull(slot);
        else
            SetReference(slot, first);
    }
    void SetText(uint32_t slot, const std::optional<std::string>& text) {
        if (text)
            SetReference(slot, AppendText(*text));
        else
            SetNull(slot);
    }
};

// The L + 1 bytes of a record text whose stated length is L.
void PutRecordText(std::vector<uint8_t>& bytes, const std::string& text, std::optional<uint32_t> stated) {
    const uint32_t length = stated.value_or(static_cast<uint32_t>(text.size()));
    std::vector<uint8_t> field(text.begin(), text.end());
    field.push_back(0);
    field.resize(uint64_t(length) + 1, '#');
    PutU32(bytes, length);
    bytes.insert(bytes.end(), field.begin(), field.end());
}

std::vector<uint8_t> BuildResourceList(const CTestHeaderLibrary& library, std::vector<uint32_t>& records) {
    std::vector<uint8_t> block;
    PutU32(block, library.ResourceCount.value_or(static_cast<uint32_t>(library.Resources.size())));
    for (const CTestResource& resource : library.Resources) {
        records.push_back(static_cast<uint32_t>(block.size()));
        PutU32(block, static_cast<uint32_t>(resource.MemberId));
        PutU32(block, static_cast<uint32_t>(resource.MemberId >> 32));
        PutU32(block, static_cast<uint32_t>(resource.Id));
        PutU32(block, static_cast<uint32_t>(resource.Id >> 32));
        PutRecordText(block, resource.Name, resource.NameLength);
        PutRecordText(block, resource.SecondName, resource.SecondNameLength);
    }
    return block;
}

void BuildPayload(const CTestHeaderLibrary& library, CPayloadBuilder& payload,
                  CTestHeaderLibraryLayout& layout) {
    const uint32_t root = payload.Allocate(RootSize);
    payload.Allocate(library.Skew, 0);
    const uint32_t containerCount = static_cast<uint32_t>(library.Containers.size());
    const uint32_t records = payload.Allocate(uint64_t(ContainerRecordSize) * containerCount);
    SetU32(payload.Bytes, root + HeaderLibraryField::RootContainerCount, containerCount);
    payload.SetList(root + HeaderLibraryField::RootContainers, containerCount, records);

    for (uint32_t i = 0; i < containerCount; ++i) {
        const CTestContainer& container = library.Containers[i];
        const uint32_t record = records + i * ContainerRecordSize;
        layout.ContainerRecords.push_back(record);
        SetU32(payload.Bytes, record + ContainerDataStart, container.DataStart);
        // Only the inline-header bit is meaningful; the others are set or clear to show they are ignored.
        payload.Bytes[record + ContainerFlags] = container.InlineHeaders ? 0xFF : 0xFB;
        const auto languageCount = static_cast<uint32_t>(container.Languages.size());
        const uint32_t languages =
            languageCount ? payload.Allocate(uint64_t(ListElementSize) * languageCount) : 0;
        SetU32(payload.Bytes, record + HeaderLibraryField::ContainerLanguageCount, languageCount);
        payload.SetList(record + HeaderLibraryField::ContainerLanguages, languageCount, languages);
        const auto entryCount = static_cast<uint32_t>(container.Entries.size());
        const uint32_t entries = entryCount ? payload.Allocate(uint64_t(ListElementSize) * entryCount) : 0;
        SetU32(payload.Bytes, record + HeaderLibraryField::ContainerEntryCount, entryCount);
        payload.SetList(record + HeaderLibraryField::ContainerEntryHeaders, entryCount, entries);
        layout.LanguageLists.push_back(languages);
        layout.EntryHeaderLists.push_back(entries);
    }
    const auto externalCount = static_cast<uint32_t>(library.ExternalNames.size());
    layout.ExternalList = externalCount ? payload.Allocate(uint64_t(ListElementSize) * externalCount) : 0;
    SetU32(payload.Bytes, root + HeaderLibraryField::RootExternalCount, externalCount);
    payload.SetList(root + HeaderLibraryField::RootExternalNames, externalCount, layout.ExternalList);

    // Entry headers: HeaderBytes, then a counting pattern, with the data length over bytes 12 to 15.
    layout.EntryHeaders.resize(containerCount);
    for (uint32_t i = 0; i < containerCount; ++i) {
        for (uint32_t j = 0; j < library.Containers[i].Entries.size(); ++j) {
            const CTestEntryHeader& entry = library.Containers[i].Entries[j];
            const uint32_t element = layout.EntryHeaderLists[i] + j * ListElementSize;
            SetU32(payload.Bytes, element + HeaderLibraryField::EntryHeaderLength, entry.HeaderLength);
            if (entry.NullHeader) {
                payload.SetNull(element);
                layout.EntryHeaders[i].push_back(0);
                continue;
            }
            payload.Align();
            const uint32_t header = payload.Allocate(std::max<uint32_t>(entry.HeaderLength, 16));
            for (uint32_t k = 0; k < std::max<uint32_t>(entry.HeaderLength, 16); ++k)
                payload.Bytes[header + k] =
                    k < entry.HeaderBytes.size() ? entry.HeaderBytes[k] : uint8_t(0xA0 + k);
            SetU32(payload.Bytes, header + HeaderDataLength, entry.DataLength);
            payload.SetReference(element, header);
            layout.EntryHeaders[i].push_back(header);
        }
    }

    for (uint32_t i = 0; i < containerCount; ++i) {
        const CTestContainer& container = library.Containers[i];
        payload.SetText(layout.ContainerRecords[i] + HeaderLibraryField::ContainerPath, container.Path);
        for (uint32_t k = 0; k < container.Languages.size(); ++k)
            payload.SetText(layout.LanguageLists[i] + k * ListElementSize, container.Languages[k]);
    }
    for (uint32_t k = 0; k < externalCount; ++k)
        payload.SetText(layout.ExternalList + k * ListElementSize, library.ExternalNames[k]);

    if (library.OmitResourceList) {
        payload.SetNull(root + HeaderLibraryField::RootResourceList);
        SetU32(payload.Bytes, root + HeaderLibraryField::RootResourceListLength, 0);
    } else {
        const std::vector<uint8_t> block = BuildResourceList(library, layout.ResourceRecords);
        layout.ResourceList = payload.Allocate(block.size());
        std::copy(block.begin(), block.end(), payload.Bytes.begin() + layout.ResourceList);
        for (uint32_t& record : layout.ResourceRecords)
            record += layout.ResourceList;
        payload.SetReference(root + HeaderLibraryField::RootResourceList, layout.ResourceList);
        SetU32(payload.Bytes, root + HeaderLibraryField::RootResourceListLength,
               static_cast<uint32_t>(block.size()));
    }
    layout.PayloadTail = payload.Allocate(library.PayloadTail.size());
    std::copy(library.PayloadTail.begin(), library.PayloadTail.end(),
              payload.Bytes.begin() + layout.PayloadTail);
    for (const CTestSlotValue& slot : library.SlotValues)
        SetU64(payload.Bytes, slot.PayloadOffset, slot.Value);
    layout.Slots = payload.Slots;
}

void PutSegment(std::vector<uint8_t>& bytes, uint32_t tag, const std::vector<uint8_t>& body) {
    PutU32(bytes, tag);
    PutU32(bytes, static_cast<uint32_t>(body.size()));
    bytes.insert(bytes.end(), body.begin(), body.end());
}

std::vector<uint8_t> BuildRelocationBody(const CTestHeaderLibrary& library,
                                         const std::vector<uint32_t>& slots) {
    std::vector<uint32_t> entries;
    for (uint32_t slot : slots) {
        const auto& skipped = library.UnrelocatedSlots;
        if (std::find(skipped.begin(), skipped.end(), slot) == skipped.end())
            entries.push_back(slot);
    }
    entries.insert(entries.end(), library.ExtraRelocations.begin(), library.ExtraRelocations.end());
    std::vector<uint8_t> body;
    PutU32(body, library.RelocationEntryCount.value_or(static_cast<uint32_t>(entries.size())));
    for (uint32_t entry : entries)
        PutU32(body, entry);
    return body;
}

} // namespace

std::vector<uint8_t> BuildTestHeaderLibraryImage(const CTestHeaderLibrary& library,
                                                 CTestHeaderLibraryLayout* layout) {
    CTestHeaderLibraryLayout placed;
    CPayloadBuilder payload;
    if (library.RawPayload)
        payload.Bytes = *library.RawPayload;
    else
        BuildPayload(library, payload, placed);

    std::vector<uint8_t> segments;
    for (const CTestBlockSegment& segment : library.SegmentsBefore)
        PutSegment(segments, segment.Tag, segment.Body);
    const uint64_t relocationInArea = segments.size();
    if (!library.OmitRelocationSegment)
        PutSegment(segments, RelocationTag, BuildRelocationBody(library, payload.Slots));
    for (const CTestBlockSegment& segment : library.SegmentsAfter)
        PutSegment(segments, segment.Tag, segment.Body);
    const size_t written = library.SegmentsBefore.size() + library.SegmentsAfter.size() +
                           (library.OmitRelocationSegment ? 0 : 1);

    std::vector<uint8_t> image;
    PutTag(image, "BILH");
    PutU32(image, library.GapBytes);
    PutU32(image, 0x11111111);
    const uint64_t blockLength = 16 + payload.Bytes.size() + segments.size();
    PutU32(image, static_cast<uint32_t>(blockLength));
    PutU32(image, 0x11111111);
    PutU32(image, 0x11111111);
    image.resize(image.size() + library.GapBytes, 0xEE);

    placed.BlockStart = image.size();
    PutTag(image, "BIN1");
    image.push_back(0xAA);
    image.push_back(0xAA);
    image.push_back(library.SegmentCount.value_or(static_cast<uint8_t>(written)));
    image.push_back(0xAA);
    // The payload length is the format's one big-endian field.
    const auto payloadLength = static_cast<uint32_t>(payload.Bytes.size());
    for (int shift = 24; shift >= 0; shift -= 8)
        image.push_back(static_cast<uint8_t>(payloadLength >> shift));
    PutU32(image, 0xAAAAAAAA);
    placed.PayloadStart = image.size();
    placed.PayloadLength = payloadLength;
    image.insert(image.end(), payload.Bytes.begin(), payload.Bytes.end());
    placed.RelocationSegmentStart = image.size() + relocationInArea;
    image.insert(image.end(), segments.begin(), segments.end());
    image.resize(image.size() + library.TrailingBytes, 0xEE);
    if (layout != nullptr)
        *layout = std::move(placed);
    return image;
}

bool WriteTestHeaderLibrary(const std::string& path, const CTestHeaderLibrary& library) {
    return WriteBinaryFile(path, BuildTestHeaderLibraryImage(library));
}

uint64_t MakeTestMemberId(const std::string& containerPath, uint32_t entry) {
    const uint64_t id = CResourcePath::GetId(CStringViewA(containerPath.c_str()));
    return 0x8000000000000000ull | (uint64_t(entry & 0xFFFFFF) << 32) | (id & 0xFFFFFFFFull);
}
