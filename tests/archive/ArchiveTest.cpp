// Archives and the archive manager: damaged indexes, names, segment reads, stale look-ups, failed mounts.
#include "archive/ArchiveManager.h"
#include "base/Memory.h"
#include "support/ArchiveWriter.h"
#include "support/BinaryFile.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

uint64_t g_LargestAllocation = 0;

class ArchiveTest : public ::testing::Test {
protected:
    CTempDirectory Root;
    CArchiveManager Manager;
    // Held across reads, as a reader does, so that a stale answer would show.
    CEntryLookup Lookup;

    void Write(const std::vector<CTestArchive>& archives) {
        ASSERT_TRUE(WriteTestArchives(Root.GetPath(), archives));
    }
    // Mounts as the tool does, with the directory and the file name joined by a backslash.
    CArchive* Mount(const std::string& fileName) {
        return Manager.Mount(CStringViewA((Root.GetPath() + "\\" + fileName).c_str()));
    }
    // count bytes of the entry from start on, or "<none>" when no mounted archive holds it.
    std::string Read(const std::string& name, uint64_t start = 0, uint64_t count = 1 << 20) {
        CArchiveStream stream = Manager.OpenEntry(CStringViewA(name.c_str()), Lookup);
        if (stream.Entry == nullptr)
            return "<none>";
        std::string bytes(std::min<uint64_t>(count, stream.Size), '\0');
        stream.Position = start;
        bytes.resize(stream.Read(bytes.data(), bytes.size()));
        return bytes;
    }
};

CTestSegment Segment(uint32_t reference, const std::string& bytes) {
    return CTestSegment{reference, {bytes.begin(), bytes.end()}, {}, {}};
}

} // namespace

TEST_F(ArchiveTest, DamagedIndexFailsToMountWithoutLargeAllocations) {
    CTestArchive archive{
        "a.archive", {"a.archive"}, {{"one", {Segment(0, "abc"), Segment(0, "defg")}}, {"two", {}}}};
    const std::vector<uint8_t> valid = BuildTestArchiveImages({archive})[0];
    // The index follows the header and 7 data bytes: the reference "a.archive" (14 bytes), then the first
    // entry: 24 opaque bytes, the name length, "one" and its zero, the segment count, two 28-byte segments.
    const uint64_t index = 24 + 7;
    const uint64_t entry = index + 14;
    const uint64_t second = entry + 36 + 28;
    const struct {
        const char* Name;
        uint64_t Offset, Value;
        int Size;
    } damages[] = {
        {"magic", 0, 'X', 1},
        {"entry count huge", 8, 0xFFFFFFFF, 4},
        {"entry count beyond the index", 8, 3, 4},
        {"reference count huge", 12, 0xFFFFFFFF, 4},
        {"index offset past the end", 16, valid.size() + 1, 8},
        {"reference length 0xFFFFFFFF", index, 0xFFFFFFFF, 4},
        {"reference length past the end", index, 0x10000, 4},
        {"reference to a missing file", index + 4, 'b', 1},
        {"name length huge", entry + 24, 0xFFFFFFF0, 4},
        {"segment count huge", entry + 32, 0x10000000, 4},
        {"segments overlap", second + 4, 2, 8},
        {"gap between segments", second + 4, 4, 8},
        {"segment end past 64 bits", second + 20, ~uint64_t(0), 8},
    };
    std::vector<std::vector<uint8_t>> images;
    for (const auto& damage : damages) {
        images.push_back(valid);
        PatchLittleEndian(images.back(), damage.Offset, damage.Value, damage.Size);
    }
    // Cut short at every length.
    for (size_t length = 0; length < valid.size(); ++length)
        images.emplace_back(valid.begin(), valid.begin() + length);
    for (size_t i = 0; i < images.size(); ++i) {
        SCOPED_TRACE(i < std::size(damages) ? damages[i].Name
                                            : "cut to " + std::to_string(i - std::size(damages)));
        ASSERT_TRUE(WriteBinaryFile(Root.Join("a.archive"), images[i]));
        g_LargestAllocation = 0;
        SetAllocationFaultHook([](uint64_t size) {
            g_LargestAllocation = std::max(g_LargestAllocation, size);
            return false;
        });
        EXPECT_EQ(Mount("a.archive"), nullptr);
        SetAllocationFaultHook(nullptr);
        EXPECT_EQ(Read("one"), "<none>");
        EXPECT_LE(g_LargestAllocation, 1u << 17);
    }
    ASSERT_TRUE(WriteBinaryFile(Root.Join("a.archive"), valid));
    ASSERT_NE(Mount("a.archive"), nullptr);
    EXPECT_EQ(Read("ONE"), "abcdefg");
    EXPECT_EQ(Read("two"), "");
}

TEST_F(ArchiveTest, SegmentsAreReadAcrossFilesFromAnyPosition) {
    // The entry's data is "0123" in a, "456789" in b, "AB" in a again; names are found in any letter case,
    // a name longer than the index read window included; b refers back to a. Reads end short where a
    // segment's bytes are missing or its archive is not among the references.
    Write({{"a.archive",
            {"a.archive", "b.archive"},
            {{"Split/Entry", {Segment(0, "0123"), Segment(1, "456789"), Segment(0, "AB")}},
             {std::string(70000, 'n'), {Segment(0, "L")}},
             {"beyond", {Segment(0, "abc"), CTestSegment{0, {}, uint64_t(1) << 30, 5}}},
             {"bad reference", {Segment(0, "ok"), Segment(7, "zz")}}}},
           {"b.archive", {"a.archive"}, {}}});
    ASSERT_NE(Mount("a.archive"), nullptr);
    const std::string data = "0123456789AB";
    for (uint64_t start = 0; start <= data.size() + 1; ++start) {
        for (uint64_t count : {1, 3, 6, 20}) {
            SCOPED_TRACE(std::to_string(start) + " + " + std::to_string(count));
            EXPECT_EQ(Read("split/ENTRY", start, count),
                      start < data.size() ? data.substr(start, count) : "");
        }
    }
    EXPECT_EQ(Read(std::string(70000, 'N')), "L");
    EXPECT_EQ(Read("split/entr"), "<none>");
    EXPECT_EQ(Read("beyond"), "abc");
    EXPECT_EQ(Read("bad reference"), "ok");
}

TEST_F(ArchiveTest, LookUpSeesEveryMountAndTheLastArchiveWins) {
    Write({MakeSimpleTestArchive("a.archive", {"x", "y"}, {"from a", "y"}),
           MakeSimpleTestArchive("b.archive", {"X"}, {"from b"}),
           {"c.archive", {"c.archive", "d.archive", "bad.archive"}, {{"x", {Segment(0, "from c")}}}},
           {"d.archive", {"d.archive", "c.archive"}, {{"z", {Segment(0, "from d")}}}}});
    WriteTestFile(Root.Join("bad.archive"), "ARCH");
    const CArchive* first = Mount("a.archive");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->GetEntries()[1].OpaqueBlock[0], 'O');
    EXPECT_EQ(first->GetHeaderValue(), 7u);
    EXPECT_EQ(Read("x"), "from a");
    ASSERT_NE(Mount("b.archive"), nullptr);
    EXPECT_EQ(Read("x"), "from b");
    // A failed mount drops every archive that refers to the failed one (d, mounted within it), and the
    // look-up sees it.
    EXPECT_EQ(Mount("c.archive"), nullptr);
    EXPECT_EQ(Read("x") + Read("z"), "from b<none>");
    // A file name mounted already gives the archive mounted, from any directory and with a separator after
    // it, without opening anything.
    EXPECT_EQ(Mount("elsewhere\\a.archive\\"), first);
    Manager.UnmountAll();
    EXPECT_EQ(Read("y"), "<none>");
}

TEST_F(ArchiveTest, ReferenceChainsNestAtMostTheDepthLimit) {
    const uint32_t limit = CArchiveManager::MaxMountDepth;
    std::vector<CTestArchive> chain;
    for (uint32_t i = 0; i <= limit; ++i)
        chain.push_back({std::string("c").append(std::to_string(i)) + ".archive",
                         {std::string("c").append(std::to_string(i + 1)) + ".archive"},
                         {}});
    // The last one refers to itself and holds the one entry, which shows whether the chain mounted.
    chain.back().References = {chain.back().FileName};
    chain.back().Entries = {{"end", {Segment(0, "e")}}};
    Write(chain);
    ASSERT_NE(Mount("c1.archive"), nullptr);
    EXPECT_EQ(Read("end"), "e");
    Manager.UnmountAll();
    EXPECT_EQ(Mount("c0.archive"), nullptr);
    EXPECT_EQ(Read("end"), "<none>");
}
