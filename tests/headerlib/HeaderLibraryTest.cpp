// CHeaderLibrary: damaged files that fail without large allocations, framing variants and spans that load.
#include "headerlib/HeaderLibrary.h"

#include "base/Memory.h"
#include "support/BinaryFile.h"
#include "support/HeaderLibraryWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

namespace Field = HeaderLibraryField;

uint64_t g_LargestAllocation = 0;

// Two containers, the second with inline headers, two external names (one null) and two resources.
CTestHeaderLibrary MakeLibrary() {
    CTestHeaderLibrary library;
    library.Containers = {
        {"[a/pack.bundle].pc_resourcelib", 0, false, {"en", std::nullopt}, {{100, 24, {1, 2}}, {50, 32, {}}}},
        {"[a/other.bundle].pc_resourcelib", 8, true, {"de"}, {{10, 24, {}}}}};
    library.ExternalNames = {"[a/box.txt].pc_text", std::nullopt};
    library.Resources = {
        {MakeTestMemberId("[a/pack.bundle].pc_resourcelib", 1), 0x1234, "[a/b.txt].pc_text", "second"},
        {0, 0x5678, "c", ""}};
    return library;
}

// Loads the image, recording the largest allocation Load asks for.
bool Load(const std::vector<uint8_t>& image, CHeaderLibrary& library) {
    CByteBuffer file;
    file.Append(image.data(), image.size());
    g_LargestAllocation = 0;
    SetAllocationFaultHook([](uint64_t size) {
        g_LargestAllocation = std::max(g_LargestAllocation, size);
        return false;
    });
    const bool loaded = library.Load(file);
    SetAllocationFaultHook(nullptr);
    return loaded;
}

} // namespace

TEST(HeaderLibraryTest, SpansReachPast4GiBWithoutWrapping) {
    const struct {
        uint32_t DataStart, FirstLength;
        bool InlineHeaders;
        std::vector<uint64_t> OffsetsAndLengths;
    } cases[] = {{0xFFFFFFF0, 16, false, {0x100000008, 16, 0x100000018, 50}},
                 {0, 0xFFFFFFF0, true, {24, 0x100000008, 0x100000020, 74}}};
    CHeaderLibrary library;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.DataStart);
        CTestHeaderLibrary description = MakeLibrary();
        description.Containers[0].DataStart = c.DataStart;
        description.Containers[0].InlineHeaders = c.InlineHeaders;
        description.Containers[0].Entries[0].DataLength = c.FirstLength;
        ASSERT_TRUE(Load(BuildTestHeaderLibraryImage(description), library));
        const auto& spans = library.GetContainerTables()[0].Spans;
        EXPECT_EQ(std::vector<uint64_t>({spans[0].Offset, spans[0].Length, spans[1].Offset, spans[1].Length}),
                  c.OffsetsAndLengths);
    }
}

TEST(HeaderLibraryTest, DamagedFilesFailWithoutLargeAllocationsAndOtherFramingLoads) {
    CTestHeaderLibraryLayout at;
    const std::vector<uint8_t> valid = BuildTestHeaderLibraryImage(MakeLibrary(), &at);
    const uint64_t payload = at.PayloadStart;
    const uint64_t end = at.PayloadLength;
    const uint64_t relocation = at.RelocationSegmentStart;
    const uint64_t record = payload + at.ContainerRecords[0];
    const uint64_t resources = payload + at.ResourceList;
    const struct {
        const char* Name;
        uint64_t Offset, Value;
        int Size;
    } damages[] = {
        {"magic", 0, 'X', 1},
        {"block shorter than its header", 12, 15, 4},
        {"block magic", at.BlockStart + 3, '2', 1},
        {"payload past the block", at.BlockStart + 8, 0x7F, 1},
        {"more segments than present", at.BlockStart + 6, 2, 1},
        {"relocation body past the block", relocation + 4, 0x10000, 4},
        {"relocation count beyond the body", relocation + 8, 0x40000000, 4},
        {"relocated slot past the payload", relocation + 12, end - 7, 4},
        {"slot relocated twice, another not at all", relocation + 12, at.Slots[1], 4},
        {"reference beyond the payload", payload + at.Slots[0], end + 1, 8},
        {"resource list null", payload + Field::RootResourceList, ~uint64_t(0), 8},
        {"resource list length 3", payload + Field::RootResourceListLength, 3, 4},
        {"resource list past the payload", payload + Field::RootResourceListLength, end, 4},
        {"record count beyond the list", resources, 3, 4},
        {"record count huge", resources, 0xFFFFFFFF, 4},
        // The count, the first record (16 + 22 + 11 bytes), then 8 of the second record's 16-byte head.
        {"list cut in a record head", payload + Field::RootResourceListLength, 61, 4},
        {"name length past the list", resources + 20, 0xFFFF, 4},
        {"name without its zero", resources + 20, 3, 4},
        {"container count beyond the payload", payload + Field::RootContainerCount, 0x10000, 4},
        {"container count huge", payload + Field::RootContainerCount, 0xFFFFFFFF, 4},
        {"container list null", payload + Field::RootContainers, ~uint64_t(0), 8},
        {"language count huge", record + Field::ContainerLanguageCount, 0xFFFFFFFF, 4},
        {"entry count huge", record + Field::ContainerEntryCount, 0xFFFFFFFF, 4},
        {"entry list null", record + Field::ContainerEntryHeaders, ~uint64_t(0), 8},
        {"external count huge", payload + Field::RootExternalCount, 0xFFFFFFFF, 4},
        {"entry header of 23 bytes", payload + at.EntryHeaderLists[0] + Field::EntryHeaderLength, 23, 4},
        {"entry header past the payload", payload + at.EntryHeaderLists[0] + Field::EntryHeaderLength, 0xFFFF,
         4},
        {"container path at the very end", record + Field::ContainerPath, end, 8},
        {"language name at the very end", payload + at.LanguageLists[0], end, 8},
        {"external name at the very end", payload + at.ExternalList, end, 8},
        // Bytes read as data over a slot that relocation filled with an address of this process.
        {"external name over an address", payload + at.ExternalList, Field::RootContainers, 8},
        {"external name on an address's end", payload + at.ExternalList, Field::RootResourceList + 7, 8},
        {"container path over an address", record + Field::ContainerPath, Field::RootResourceList, 8},
        {"entry header over an address", payload + at.EntryHeaderLists[0], at.ContainerRecords[0], 8},
    };
    std::vector<std::vector<uint8_t>> images;
    for (const auto& damage : damages) {
        images.push_back(valid);
        PatchLittleEndian(images.back(), damage.Offset, damage.Value, damage.Size);
    }
    // A last segment too short for its kind, then zeros past the block that a reader must not take for it:
    // a relocation body of 3 bytes, a segment head of 4.
    for (const std::vector<uint8_t>& segment : {std::vector<uint8_t>{0xED, 0xA5, 0xEB, 0x12, 3, 0, 0, 0, 0, 0, 0},
                                                std::vector<uint8_t>(4, 0)}) {
        images.push_back(valid);
        images.back().insert(images.back().end(), segment.begin(), segment.end());
        PatchLittleEndian(images.back(), 12, images.back().size() - at.BlockStart, 4);
        images.back()[at.BlockStart + 6] = 2;
        images.back().resize(images.back().size() + 8, 0);
    }
    // The null external name left out of relocation holds the file's ~0, which is no null reference.
    images.push_back(valid);
    PatchLittleEndian(images.back(), relocation + 8, at.Slots.size() - 1, 4);
    PatchLittleEndian(images.back(), relocation + 4 + 4 * at.Slots.size(), Field::RootResourceList, 4);
    for (size_t length = 0; length < valid.size(); ++length)
        images.emplace_back(valid.begin(), valid.begin() + length);
    CHeaderLibrary library;
    for (size_t i = 0; i < images.size(); ++i) {
        SCOPED_TRACE(i < std::size(damages) ? damages[i].Name : "image " + std::to_string(i));
        EXPECT_FALSE(Load(images[i], library));
        EXPECT_LE(g_LargestAllocation, 1u << 16);
    }
    // Framing that loads: bytes between the file header and the block, and after the block, are never read;
    // a segment of another tag before the relocation segment is passed over and counts; a text may end right
    // before an address (the root's bytes 8 to 15 as the first external name, the containers' address at 16).
    std::vector<std::vector<uint8_t>> variants(4, valid);
    variants[0].insert(variants[0].begin() + 24, 13, 0xEE);
    PatchLittleEndian(variants[0], 4, 13, 4);
    variants[1].resize(valid.size() + 7, 0xEE);
    const std::vector<uint8_t> foreign = {0x78, 0x56, 0x34, 0x12, 5, 0, 0, 0, 1, 2, 3, 4, 5};
    variants[2].insert(variants[2].begin() + relocation, foreign.begin(), foreign.end());
    PatchLittleEndian(variants[2], 12, valid.size() - at.BlockStart + foreign.size(), 4);
    variants[2][at.BlockStart + 6] = 2;
    PatchLittleEndian(variants[3], payload + 8, 0x67666564636261, 8);
    PatchLittleEndian(variants[3], payload + at.ExternalList, 8, 8);
    for (const std::vector<uint8_t>& variant : variants) {
        ASSERT_TRUE(Load(variant, library));
        EXPECT_EQ(library.GetContainerCount(), 2u);
    }
}
