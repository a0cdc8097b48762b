// Tests of CHeaderLibrary: the file framing, relocation, the four walks and the checks of untrusted payloads.
#include "headerlib/HeaderLibrary.h"

#include "base/Memory.h"
#include "resid/ResourcePath.h"
#include "support/HeaderLibraryWriter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

namespace Field = HeaderLibraryField;

const std::string PackPath = "[examples/pack.bundle].pc_resourcelib";
const std::string OtherPath = "[examples/other.bundle].pc_resourcelib";

CTestEntryHeader Entry(uint32_t dataLength, uint32_t headerLength = 24, std::vector<uint8_t> bytes = {}) {
    CTestEntryHeader entry;
    entry.DataLength = dataLength;
    entry.HeaderLength = headerLength;
    entry.HeaderBytes = std::move(bytes);
    return entry;
}

CTestResource Resource(uint64_t memberId, uint64_t id, const std::string& name,
                       const std::string& second = "") {
    CTestResource resource;
    resource.MemberId = memberId;
    resource.Id = id;
    resource.Name = name;
    resource.SecondName = second;
    return resource;
}

// Public, so that the damage tables below can reach it through a reference.
class HeaderLibraryTest : public ::testing::Test {
public:
    CTestHeaderLibrary Description;
    std::vector<uint8_t> Bytes;
    CTestHeaderLibraryLayout Layout;
    CHeaderLibrary Library;

    // Two containers with the same two entries, without and with inline headers, two external names (one
    // null) and two resources.
    void SetUp() override {
        Description.Containers = {
            {PackPath, 0, false, {"en", "all"}, {Entry(100, 24, {1, 2, 3}), Entry(50, 32)}},
            {OtherPath, 0, true, {"de"}, {Entry(100), Entry(50)}},
        };
        Description.ExternalNames = {"[examples/box.txt].pc_text", std::nullopt};
        Description.Resources = {
            Resource(MakeTestMemberId(PackPath, 1), 0x1234, "[a/b.txt].pc_text", "second"),
            Resource(MakeTestMemberId(OtherPath, 0), 0x5678, "[a/c.txt].pc_text")};
    }
    // Back to the valid description, without options.
    void Reset() {
        Description = CTestHeaderLibrary();
        SetUp();
    }
    void Build() { Bytes = BuildTestHeaderLibraryImage(Description, &Layout); }
    // Loads Bytes; hook, when given, judges the allocations of Load alone.
    bool LoadBytes(AllocationFaultHook hook = nullptr) {
        CByteBuffer file;
        EXPECT_TRUE(file.Append(Bytes.data(), Bytes.size()));
        SetAllocationFaultHook(hook);
        const bool loaded = Library.Load(file);
        SetAllocationFaultHook(nullptr);
        return loaded;
    }
    bool Load() {
        Build();
        return LoadBytes();
    }
    void PutU32(uint64_t fileOffset, uint32_t value) {
        for (int i = 0; i < 4; ++i)
            Bytes[fileOffset + i] = static_cast<uint8_t>(value >> (8 * i));
    }
    void PutPayloadU32(uint64_t payloadOffset, uint32_t value) {
        PutU32(Layout.PayloadStart + payloadOffset, value);
    }
    uint64_t ReadPayloadSlot(uint64_t payloadOffset) const {
        uint64_t value = 0;
        std::memcpy(&value, Library.GetPayload().GetData() + payloadOffset, 8);
        return value;
    }
    uint64_t RootAddress() const { return reinterpret_cast<uintptr_t>(Library.GetRoot()); }
};

struct CDamage {
    const char* Name;
    std::function<void(HeaderLibraryTest&)> Apply;
};

TEST_F(HeaderLibraryTest, ValidLibraryBuildsTheModel) {
    for (uint32_t skew : {0u, 3u}) {
        SCOPED_TRACE(skew);
        Description.Skew = skew; // Misaligns every record and slot after the root.
        ASSERT_TRUE(Load());
        ASSERT_EQ(Library.GetRoot(), Library.GetPayload().GetData());
        ASSERT_EQ(Library.GetResources().GetCount(), 2u);
        const CLibraryResource& first = Library.GetResources()[0];
        EXPECT_TRUE(first.Name == "[a/b.txt].pc_text");
        EXPECT_TRUE(first.SecondName == "second");
        EXPECT_EQ(first.Name.GetData(),
                  reinterpret_cast<const char*>(Library.GetRoot() + Layout.ResourceRecords[0] + 20));
        EXPECT_EQ(first.Id, 0x1234u);
        EXPECT_EQ(first.MemberId, 0x80000001EDE20E09u);
        EXPECT_TRUE(Library.GetResources()[1].SecondName.IsEmpty());

        ASSERT_EQ(Library.GetContainerTables().GetCount(), 2u);
        EXPECT_TRUE(Library.GetContainerTables()[0].ArchiveName ==
                    "BB098D92BD77F6833EF8D28079B3C385.pc_resourcelib");
        const std::vector<std::pair<uint64_t, uint64_t>> expected[2] = {{{24, 100}, {124, 50}},
                                                                        {{24, 124}, {148, 74}}};
        for (int table = 0; table < 2; ++table) {
            const auto& spans = Library.GetContainerTables()[table].Spans;
            ASSERT_EQ(spans.GetCount(), 2u);
            for (int j = 0; j < 2; ++j)
                EXPECT_EQ(std::make_pair(spans[j].Offset, spans[j].Length), expected[table][j]);
        }
        ASSERT_NE(Library.FindContainer(0x40000000EDE20E09u), nullptr);
        EXPECT_EQ(*Library.FindContainer(0x40000000EDE20E09u), 0u);
        EXPECT_EQ(*Library.FindContainer(CResourcePath::GetId(CStringViewA(OtherPath.c_str()))), 1u);

        ASSERT_EQ(Library.GetExternalResources().GetCount(), 2u);
        const CExternalResource& box = Library.GetExternalResources()[0];
        EXPECT_TRUE(box.ArchiveName == "EDD33C3CF02DCA75B56C5183A8D058C5.pc_text");
        EXPECT_EQ(box.Id, 0x00C46180EE7635C4u);
        const CExternalResource& unnamed = Library.GetExternalResources()[1];
        EXPECT_TRUE(unnamed.Name.IsEmpty());
        EXPECT_EQ(unnamed.Id, InvalidResourceId);
        EXPECT_TRUE(unnamed.ArchiveName == "D41D8CD98F00B204E9800998ECF8427E");

        ASSERT_EQ(Library.GetContainerCount(), 2u);
        EXPECT_EQ(Library.GetContainerPath(1), OtherPath);
        EXPECT_FALSE(Library.HasInlineHeaders(0));
        EXPECT_TRUE(Library.HasInlineHeaders(1));
        ASSERT_EQ(Library.GetLanguageCount(0), 2u);
        EXPECT_STREQ(Library.GetLanguageName(0, 1), "all");
        uint32_t headerLength = 0;
        const uint8_t* header = Library.GetEntryHeader(0, 1, headerLength);
        EXPECT_EQ(headerLength, 32u);
        EXPECT_EQ(header, Library.GetRoot() + Layout.EntryHeaders[0][1]);
        header = Library.GetEntryHeader(0, 0, headerLength);
        EXPECT_EQ(headerLength, 24u);
        EXPECT_EQ(std::memcmp(header, Bytes.data() + Layout.PayloadStart + Layout.EntryHeaders[0][0], 24), 0);
    }
}

TEST_F(HeaderLibraryTest, FramingVariantsLoad) {
    // The gap and what follows the block are never read; the payload length is the one big-endian field.
    Description = CTestHeaderLibrary(); // Root and an empty resource list, padded to 256 bytes.
    Description.GapBytes = 13;
    Description.TrailingBytes = 7;
    Build();
    ASSERT_LT(Layout.PayloadLength, 256u);
    Description.PayloadTail.resize(256 - Layout.PayloadLength, 0);
    ASSERT_TRUE(Load());
    const uint64_t lengthField = Layout.BlockStart + 8;
    EXPECT_EQ(std::vector<uint8_t>(Bytes.begin() + lengthField, Bytes.begin() + lengthField + 4),
              (std::vector<uint8_t>{0, 0, 1, 0}));
    EXPECT_EQ(Library.GetPayload().GetSize(), 256u);
    // Segments of other tags are passed over and count towards the segment count.
    Description.SegmentsBefore = {{0x12345678, {1, 2, 3, 4, 5}}};
    Description.SegmentsAfter = {{0, {}}};
    EXPECT_TRUE(Load());
    EXPECT_EQ(Bytes[Layout.BlockStart + 6], 3);
}

TEST_F(HeaderLibraryTest, FramingFaultsFailBeforeRelocation) {
    const std::vector<CDamage> damages = {
        {"shorter than the header", [](HeaderLibraryTest& t) { t.Bytes.resize(23); }},
        {"24 bytes, empty block",
         [](HeaderLibraryTest& t) {
             t.Bytes.resize(24);
             t.PutU32(4, 0);
             t.PutU32(12, 0);
         }},
        {"magic", [](HeaderLibraryTest& t) { t.Bytes[0] = 'X'; }},
        {"block past the file", [](HeaderLibraryTest& t) { t.Bytes.pop_back(); }},
        {"block under 16", [](HeaderLibraryTest& t) { t.PutU32(12, 15); }},
        {"block magic", [](HeaderLibraryTest& t) { t.Bytes[t.Layout.BlockStart + 3] = '2'; }},
        {"payload past the block",
         [](HeaderLibraryTest& t) {
             const uint32_t tooLong = static_cast<uint32_t>(t.Bytes.size() - t.Layout.PayloadStart + 1);
             for (int i = 0; i < 4; ++i)
                 t.Bytes[t.Layout.BlockStart + 8 + i] = static_cast<uint8_t>(tooLong >> (24 - 8 * i));
         }},
    };
    for (const CDamage& damage : damages) {
        SCOPED_TRACE(damage.Name);
        ASSERT_TRUE(Load()); // Root is set by a good load, so a failure must clear it.
        damage.Apply(*this);
        EXPECT_FALSE(LoadBytes());
        EXPECT_EQ(Library.GetRoot(), nullptr);
    }
}

TEST_F(HeaderLibraryTest, RelocationFaultsFail) {
    Build();
    const uint32_t end = Layout.PayloadLength;
    using CEdit = std::function<void(CTestHeaderLibrary&)>;
    const std::vector<std::pair<const char*, CEdit>> edits = {
        {"segment count 3, two present",
         [](auto& d) {
             d.SegmentsBefore = {{7, {}}}, d.SegmentCount = 3;
         }},
        {"relocation body shorter than 4",
         [](auto& d) {
             d.SegmentsBefore = {{0x12EBA5ED, {0, 0, 0}}};
         }},
        {"entry count beyond the body", [&](auto& d) { d.RelocationEntryCount = Layout.Slots.size() + 1; }},
        {"entry offset length - 7", [&](auto& d) { d.ExtraRelocations = {end - 7}; }},
        {"slot value beyond the payload",
         [&](auto& d) {
             d.SlotValues = {{Layout.Slots[0], end + 1u}};
         }},
        {"slot relocated twice", [&](auto& d) { d.ExtraRelocations = {Layout.Slots[0]}; }},
    };
    for (const auto& [name, edit] : edits) {
        SCOPED_TRACE(name);
        Reset();
        edit(Description);
        EXPECT_FALSE(Load());
        EXPECT_EQ(Library.GetRoot(), nullptr);
    }
    // A last segment whose head (4 bytes cut) or body (1 byte cut) runs past the segment area.
    for (uint32_t cut : {4u, 1u}) {
        SCOPED_TRACE(cut);
        Reset();
        Description.SegmentsAfter = {{5, std::vector<uint8_t>(cut == 1 ? 3 : 0, 0)}};
        Build();
        Bytes.resize(Bytes.size() - cut);
        PutU32(12, static_cast<uint32_t>(Bytes.size() - Layout.BlockStart));
        EXPECT_FALSE(LoadBytes());
        EXPECT_EQ(Library.GetRoot(), nullptr);
    }
}

TEST_F(HeaderLibraryTest, RelocationRewritesSlotsInPlace) {
    // An 8-byte tail at the payload's end holds a slot at offset length - 8.
    struct SCase {
        uint64_t Stored;
        int Repeats;
        uint64_t Expected; // Payload offset of the target, or ~0 for null.
    };
    Description.PayloadTail.resize(8);
    Build();
    const uint32_t tail = Layout.PayloadTail;
    ASSERT_EQ(tail, Layout.PayloadLength - 8);
    for (const SCase& c : {SCase{Layout.PayloadLength, 1, Layout.PayloadLength}, SCase{~0ull, 1, ~0ull},
                           SCase{~0ull, 2, 0}, SCase{16, 1, 16}}) {
        SCOPED_TRACE(c.Stored);
        Description.SlotValues = {{tail, c.Stored}};
        Description.ExtraRelocations.assign(c.Repeats, tail);
        ASSERT_TRUE(Load());
        EXPECT_EQ(ReadPayloadSlot(tail), c.Expected == ~0ull ? 0 : RootAddress() + c.Expected);
    }
}

TEST_F(HeaderLibraryTest, TinyPayloads) {
    auto loadRaw = [this](uint32_t payloadLength, std::vector<uint32_t> relocations) {
        Description.RawPayload = std::vector<uint8_t>(payloadLength, 0);
        Description.ExtraRelocations = relocations;
        return Load();
    };
    // No entries: relocation passes even for a payload under 8 bytes, then the 76-byte root is missing.
    EXPECT_FALSE(loadRaw(4, {}));
    EXPECT_NE(Library.GetRoot(), nullptr);
    EXPECT_FALSE(loadRaw(4, {0}));
    EXPECT_EQ(Library.GetRoot(), nullptr);
    EXPECT_FALSE(loadRaw(75, {}));
    // An all-zero root: every count and the resource list length 0, nothing followed.
    ASSERT_TRUE(loadRaw(76, {}));
    EXPECT_EQ(Library.GetContainerCount(), 0u);
    EXPECT_EQ(Library.GetResources().GetCount(), 0u);
}

TEST_F(HeaderLibraryTest, SegmentCountZeroLeavesThePayloadAsStored) {
    Description.SegmentCount = 0;
    EXPECT_FALSE(Load()); // The stored offsets are no addresses inside the payload.
    ASSERT_NE(Library.GetRoot(), nullptr);
    EXPECT_EQ(std::memcmp(Library.GetRoot(), Bytes.data() + Layout.PayloadStart, Layout.PayloadLength), 0);
}

TEST_F(HeaderLibraryTest, EveryUnrelocatedSlotFails) {
    Build();
    const std::vector<uint32_t> slots = Layout.Slots;
    ASSERT_EQ(slots.size(), 18u); // Root 3, containers 2 x 3, languages 3, entries 4, externals 2 (one null).
    for (uint32_t slot : slots) {
        SCOPED_TRACE(slot);
        Description.UnrelocatedSlots = {slot};
        EXPECT_FALSE(Load());
    }
}

TEST_F(HeaderLibraryTest, PayloadFaultsFail) {
    // The tail "abc" ends the payload without a NUL, for the texts pointed at it.
    Description.PayloadTail = {'a', 'b', 'c'};
    Build();
    const CTestHeaderLibraryLayout valid = Layout;
    const uint32_t record0 = valid.ContainerRecords[0];
    const uint32_t end = valid.PayloadLength;
    const uint32_t listLength = valid.PayloadTail - valid.ResourceList;
    const uint32_t record1 =
        valid.ResourceRecords[1] - valid.ResourceList; // 17-character name, empty second.
    const uint32_t headers1 = valid.EntryHeaderLists[1];
    struct SFieldDamage {
        const char* Name;
        uint32_t Offset;
        uint64_t Value;
        bool IsSlot; // A slot's stored value (relocated as usual), else a 32-bit field.
    };
    const uint32_t lengthField = Field::RootResourceListLength;
    for (const SFieldDamage& damage : std::vector<SFieldDamage>{
             {"resource list length 1", lengthField, 1, false},
             {"resource list length 3", lengthField, 3, false},
             {"resource list past the payload", lengthField, end - valid.ResourceList + 1, false},
             {"resource list null", Field::RootResourceList, ~0ull, true},
             {"record count beyond the block", valid.ResourceList, 3, false},
             {"record count huge", valid.ResourceList, 0xFFFFFFFF, false},
             {"record head cut", lengthField, record1 + 15, false},
             {"name length cut", lengthField, record1 + 19, false},
             {"name text cut", lengthField, record1 + 37, false},
             {"second length cut", lengthField, record1 + 40, false},
             {"second text cut", lengthField, listLength - 1, false},
             {"container count huge", Field::RootContainerCount, 0xFFFFFFFF, false},
             {"container list past the end", Field::RootContainers, end - 176 * 2 + 8, true},
             {"container list null", Field::RootContainers, ~0ull, true},
             {"language count huge", record0 + Field::ContainerLanguageCount, 0xFFFFFFFF, false},
             {"language list at the end", record0 + Field::ContainerLanguages, end, true},
             {"language list null", record0 + Field::ContainerLanguages, ~0ull, true},
             {"entry count huge", record0 + Field::ContainerEntryCount, 0xFFFFFFFF, false},
             {"entry list null", record0 + Field::ContainerEntryHeaders, ~0ull, true},
             {"external count huge", Field::RootExternalCount, 0xFFFFFFFF, false},
             {"external list null", Field::RootExternalNames, ~0ull, true},
             {"header length 23", headers1 + 16 + Field::EntryHeaderLength, 23, false},
             {"header past the payload", headers1 + Field::EntryHeaderLength,
              end - valid.EntryHeaders[1][0] + 1, false},
             {"header null", headers1 + 16, ~0ull, true},
             {"container path unterminated", record0 + Field::ContainerPath, valid.PayloadTail, true},
             {"language name unterminated", valid.LanguageLists[0] + 16, valid.PayloadTail, true},
             {"external name unterminated", valid.ExternalList + 16, valid.PayloadTail, true},
         }) {
        SCOPED_TRACE(damage.Name);
        Description.SlotValues.clear();
        if (damage.IsSlot)
            Description.SlotValues = {{damage.Offset, damage.Value}};
        Build();
        if (!damage.IsSlot)
            PutPayloadU32(damage.Offset, static_cast<uint32_t>(damage.Value));
        EXPECT_FALSE(LoadBytes());
    }
    // Record texts with no NUL within their stated L + 1 bytes.
    for (const bool second : {false, true}) {
        SCOPED_TRACE(second);
        Reset();
        (second ? Description.Resources[0].SecondNameLength : Description.Resources[0].NameLength) = 5;
        EXPECT_FALSE(Load());
    }
    // The edges one step inside load: a header of exactly 24 bytes, one that ends with the payload.
    Reset();
    Build();
    PutPayloadU32(headers1 + 16 + Field::EntryHeaderLength, 24);
    PutPayloadU32(headers1 + Field::EntryHeaderLength, Layout.PayloadLength - Layout.EntryHeaders[1][0]);
    EXPECT_TRUE(LoadBytes());
}

TEST_F(HeaderLibraryTest, NullTextsAndEmptyLists) {
    Description.Containers[0].Path.reset();
    Description.Containers[1].Languages = {std::nullopt};
    Description.Containers[1].Entries.clear();
    Description.Resources[0].NameLength = 5; // "ab" in 6 bytes: the next field comes 6 bytes on.
    Description.Resources[0].Name = "ab";
    ASSERT_TRUE(Load());
    EXPECT_STREQ(Library.GetContainerPath(0), "");
    EXPECT_EQ(*Library.FindContainer(InvalidResourceId), 0u);
    EXPECT_TRUE(Library.GetContainerTables()[0].ArchiveName == "D41D8CD98F00B204E9800998ECF8427E");
    EXPECT_EQ(Library.GetLanguageName(1, 0), nullptr);
    EXPECT_EQ(Library.GetContainerTables()[1].Spans.GetCount(), 0u);
    EXPECT_TRUE(Library.GetResources()[0].Name == "ab");
    EXPECT_TRUE(Library.GetResources()[0].SecondName == "second");

    // Count 0 lists are not followed, wherever their references point.
    const uint32_t languagesSlot = Layout.ContainerRecords[0] + Field::ContainerLanguages;
    Description.UnrelocatedSlots = {Field::RootExternalNames, languagesSlot};
    Build();
    PutPayloadU32(Field::RootExternalCount, 0);
    PutPayloadU32(Layout.ContainerRecords[0] + Field::ContainerLanguageCount, 0);
    ASSERT_TRUE(LoadBytes());
    EXPECT_EQ(Library.GetExternalResources().GetCount(), 0u);
    EXPECT_EQ(Library.GetLanguageCount(0), 0u);
}

TEST_F(HeaderLibraryTest, RepeatedContainerIdKeepsTheLaterPosition) {
    Description.Containers.push_back(Description.Containers[0]);
    Description.Containers[2].Path = "[EXAMPLES/Pack.bundle].PC_RESOURCELIB";
    ASSERT_TRUE(Load());
    EXPECT_EQ(*Library.FindContainer(0x40000000EDE20E09u), 2u);
}

TEST_F(HeaderLibraryTest, ReloadReusesStorage) {
    Description.Resources.resize(10, Description.Resources[0]);
    ASSERT_TRUE(Load());
    const uint64_t bigPayload = Layout.PayloadLength;
    Description.Resources.resize(3);
    Description.Resources[2] = Resource(0, 7, "x", "y");
    ASSERT_TRUE(Load());
    EXPECT_EQ(Library.GetResources().GetCount(), 3u);
    EXPECT_EQ(Library.GetResources().GetCapacity(), 10u);
    EXPECT_TRUE(Library.GetResources()[2].Name == "x");
    EXPECT_EQ(Library.GetResources()[2].Id, 7u);
    Description.OmitResourceList = true;
    ASSERT_TRUE(Load());
    EXPECT_EQ(Library.GetResources().GetCount(), 0u);
    Description.OmitResourceList = false;
    Description.Resources.clear();
    ASSERT_TRUE(Load());
    EXPECT_EQ(Library.GetResources().GetCount(), 0u);

    // A stale address: inside the storage that the larger payload used, beyond this payload's length.
    Description.Resources.assign(10, Resource(0, 1, "[a/long/enough/name.txt].pc_text"));
    ASSERT_TRUE(Load());
    const uint8_t* storage = Library.GetPayload().GetData();
    Description.Resources.resize(1);
    Build();
    ASSERT_LT(Layout.PayloadLength + 8u, bigPayload);
    const uint32_t pathSlot = Layout.ContainerRecords[0] + Field::ContainerPath;
    Description.UnrelocatedSlots = {pathSlot};
    Description.SlotValues = {{pathSlot, reinterpret_cast<uintptr_t>(storage) + Layout.PayloadLength + 8}};
    EXPECT_FALSE(Load());
    EXPECT_EQ(Library.GetPayload().GetData(), storage);
}

TEST_F(HeaderLibraryTest, RefusedStorageStopsTheRun) {
    // Storage for what the file really holds: the payload copy, the resources of a valid count.
    Description.Resources.resize(5, Description.Resources[0]);
    Build();
    for (AllocationFaultHook hook : {+[](uint64_t) { return true; },
                                     +[](uint64_t size) { return size == 5 * sizeof(CLibraryResource); }})
        EXPECT_EXIT((void)LoadBytes(hook), ::testing::ExitedWithCode(2), "VorskExtract: out of memory\\.");
}

TEST_F(HeaderLibraryTest, SpansReachPast4GiBWithoutWrapping) {
    struct SCase {
        uint32_t DataStart;
        bool InlineHeaders;
        uint32_t FirstLength;
        std::vector<std::pair<uint64_t, uint64_t>> Spans;
    };
    for (const SCase& c : std::vector<SCase>{{0xFFFFFFF0, false, 16, {{0x100000008, 16}, {0x100000018, 50}}},
                                             {0, true, 0xFFFFFFF0, {{24, 0x100000008}, {0x100000020, 74}}}}) {
        SCOPED_TRACE(c.DataStart);
        Reset();
        Description.Containers[0].DataStart = c.DataStart;
        Description.Containers[0].InlineHeaders = c.InlineHeaders;
        Description.Containers[0].Entries[0].DataLength = c.FirstLength;
        ASSERT_TRUE(Load());
        const auto& spans = Library.GetContainerTables()[0].Spans;
        for (int j = 0; j < 2; ++j)
            EXPECT_EQ(std::make_pair(spans[j].Offset, spans[j].Length), c.Spans[j]);
    }
}

TEST_F(HeaderLibraryTest, DataOverRelocatedAddressesFails) {
    // A long tail whose first 8 bytes serve as a slot: the upper half of an address, read as a stored
    // offset, lies inside such a payload.
    Description.PayloadTail.resize(40000);
    Build();
    const CTestHeaderLibraryLayout valid = Layout;
    const uint32_t tail = valid.PayloadTail;
    const uint32_t record0 = valid.ContainerRecords[0];
    struct SCase {
        const char* Name;
        std::vector<CTestSlotValue> Values;
        std::vector<uint32_t> Relocations;
        bool Loads;
    };
    for (const SCase& c : std::vector<SCase>{
             {"external name at the container list slot",
              {{valid.ExternalList, Field::RootContainers}},
              {},
              false},
             {"container path at an address", {{record0, Field::RootResourceList}}, {}, false},
             {"flags on the language list slot", {{Field::RootContainers, record0 + 8}}, {}, false},
             {"record count on an address", {{Field::RootResourceList, Field::RootExternalNames}}, {}, false},
             {"entry header over the path slot", {{valid.EntryHeaderLists[0], record0}}, {}, false},
             {"relocation into half an address", {{tail, 0}}, {tail, tail + 4}, false},
             {"external name on a null slot", {{valid.ExternalList, valid.ExternalList + 16}}, {}, true},
         }) {
        SCOPED_TRACE(c.Name);
        Description.SlotValues = c.Values;
        Description.ExtraRelocations = c.Relocations;
        EXPECT_EQ(Load(), c.Loads);
    }
}

} // namespace
