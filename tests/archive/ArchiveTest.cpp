// Tests of CArchive: reading the index, its failures, hostile counts and the entry name index.
#include "archive/Archive.h"

#include "archive/ArchiveManager.h"
#include "base/Memory.h"
#include "support/ArchiveWriter.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class ArchiveTest : public ::testing::Test {
protected:
    CTempDirectory Directory;
    CArchiveManager Manager;

    CArchive* MountSet(const std::vector<CTestArchive>& archives) {
        EXPECT_TRUE(WriteTestArchives(Directory.GetPath(), archives));
        return Manager.Mount(Directory.Join(archives[0].FileName).c_str());
    }
    CArchive* MountImage(const std::string& fileName, const std::vector<uint8_t>& image) {
        WriteTestFile(Directory.Join(fileName), image);
        return Manager.Mount(Directory.Join(fileName).c_str());
    }
    // A valid archive with two entries, the second with two segments.
    static CTestArchive MakeValid(const std::string& fileName) {
        CTestArchive archive = MakeSimpleTestArchive(fileName, {"first", "second"}, {"abc", "de"});
        archive.Entries[1].Segments.push_back(CTestSegment{0, {'f', 'g'}, {}, {}, {}});
        return archive;
    }
};

uint64_t g_LargestAllocation = 0;
bool RecordAllocation(uint64_t size) {
    if (size > g_LargestAllocation)
        g_LargestAllocation = size;
    return false;
}

TEST_F(ArchiveTest, DamagedIndexFailsToMount) {
    struct Case {
        const char* Name;
        void (*Damage)(CTestArchive&);
    };
    const Case cases[] = {
        {"valid", [](CTestArchive&) {}},
        {"wrong magic", [](CTestArchive& a) { a.Magic = 0x48435242; }},
        {"shorter than the header", [](CTestArchive& a) { a.TruncateTo = 23; }},
        {"empty file", [](CTestArchive& a) { a.TruncateTo = 0; }},
        {"index cut short", [](CTestArchive& a) { a.TruncateTo = 78; }},
        {"last byte missing", [](CTestArchive& a) { a.TruncateTo = 208; }},
        {"index offset beyond the end", [](CTestArchive& a) { a.IndexOffset = 1 << 20; }},
        {"seek fails", [](CTestArchive& a) { a.IndexOffset = 0x8000000000000000; }},
        {"missing reference", [](CTestArchive& a) { a.References.push_back("absent.archive"); }},
        {"first data offset 1", [](CTestArchive& a) { a.Entries[0].Segments[0].DataOffset = 1; }},
        {"gap", [](CTestArchive& a) { a.Entries[1].Segments[1].DataOffset = 3; }},
        {"overlap", [](CTestArchive& a) { a.Entries[1].Segments[1].DataOffset = 1; }},
        {"segment end past 64 bits",
         [](CTestArchive& a) {
             a.Entries[1].Segments[1].DataOffset = 2;
             a.Entries[1].Segments[1].Size = ~uint64_t(0);
         }},
        {"entry count 2^32-1", [](CTestArchive& a) { a.EntryCount = 0xFFFFFFFF; }},
        {"entry count one too many", [](CTestArchive& a) { a.EntryCount = 3; }},
        {"reference count 2^32-1", [](CTestArchive& a) { a.ReferenceCount = 0xFFFFFFFF; }},
        {"segment count 2^32-1", [](CTestArchive& a) { a.Entries[0].SegmentCount = 0xFFFFFFFF; }},
        {"name length 2^32-1", [](CTestArchive& a) { a.Entries[0].NameLength = 0xFFFFFFFF; }},
        {"name length 2^32-2", [](CTestArchive& a) { a.Entries[0].NameLength = 0xFFFFFFFE; }},
        {"name length past the end", [](CTestArchive& a) { a.Entries[1].NameLength = 100; }},
    };
    ASSERT_EQ(BuildTestArchiveImage(MakeValid("case.archive")).size(), 209u);
    SetAllocationFaultHook(&RecordAllocation);
    for (const Case& test : cases) {
        SCOPED_TRACE(test.Name);
        CTestArchive archive = MakeValid("case.archive");
        test.Damage(archive);
        CArchiveManager manager;
        WriteTestFile(Directory.Join("case.archive"), BuildTestArchiveImage(archive));
        g_LargestAllocation = 0;
        const bool mounted = manager.Mount(Directory.Join("case.archive").c_str()) != nullptr;
        EXPECT_EQ(mounted, test.Name == std::string("valid"));
        EXPECT_EQ(manager.GetArchiveCount(), mounted ? 1u : 0u);
        // No count or length from the file may turn into a large allocation.
        EXPECT_LT(g_LargestAllocation, uint64_t(1) << 20);
    }
    SetAllocationFaultHook(nullptr);
}

TEST_F(ArchiveTest, EmptyIndexOpensWhereverItIs) {
    CTestArchive archive;
    archive.FileName = "empty.archive";
    CArchive* mounted = MountImage(archive.FileName, BuildTestArchiveImage(archive));
    ASSERT_NE(mounted, nullptr);
    EXPECT_EQ(mounted->GetEntries().GetCount(), 0u);
    // Seeking past the end succeeds; with nothing to read there the archive still opens.
    archive.FileName = "far.archive";
    archive.IndexOffset = 1 << 30;
    EXPECT_NE(MountImage(archive.FileName, BuildTestArchiveImage(archive)), nullptr);
}

TEST_F(ArchiveTest, NamesAreLowerCasedAndFieldsKept) {
    CTestArchive archive =
        MakeSimpleTestArchive("names.archive", {"Dir/MiXed\xC4Name.Bin", "dup", "DUP"}, {});
    archive.HeaderValue = 0xA1B2C3D4;
    archive.Entries[0].OpaqueValue = 0x0102030405060708;
    archive.Entries[0].OpaqueBlock[15] = 0x7F;
    CArchive* mounted = MountSet({archive});
    ASSERT_NE(mounted, nullptr);
    EXPECT_EQ(mounted->GetHeaderValue(), 0xA1B2C3D4u);
    const auto& entries = mounted->GetEntries();
    ASSERT_EQ(entries.GetCount(), 3u);
    EXPECT_STREQ(entries[0].Name.GetData(), "dir/mixed\xC4name.bin");
    EXPECT_EQ(entries[0].OpaqueValue, 0x0102030405060708u);
    EXPECT_EQ(entries[0].OpaqueBlock[15], 0x7F);
    EXPECT_EQ(mounted->FindEntry(CStringViewA("dir/mixed\xC4name.bin")), &entries[0]);
    EXPECT_EQ(mounted->FindEntry(CStringViewA("Dir/MiXed\xC4Name.Bin")), nullptr);
    // Both duplicates stay in the list; the later one is found.
    EXPECT_STREQ(entries[1].Name.GetData(), "dup");
    EXPECT_EQ(mounted->FindEntry(CStringViewA("dup")), &entries[2]);
}

TEST_F(ArchiveTest, StringValueEndsAtFirstZeroOrAtItsBytes) {
    CTestArchive archive =
        MakeSimpleTestArchive("strings.archive", {std::string("ab\0", 3), "", "wxyz", "next"}, {});
    archive.Entries[2].OmitNameTerminator = true;
    CArchive* mounted = MountSet({archive});
    ASSERT_NE(mounted, nullptr);
    const auto& entries = mounted->GetEntries();
    ASSERT_EQ(entries.GetCount(), 4u);
    EXPECT_STREQ(entries[0].Name.GetData(), "ab");
    EXPECT_EQ(entries[1].Name.GetLength(), 0u);
    EXPECT_STREQ(entries[2].Name.GetData(), "wxyz");
    EXPECT_STREQ(entries[3].Name.GetData(), "next");
}

TEST_F(ArchiveTest, SelfReferencesAndCyclesMountOnce) {
    CTestArchive first = MakeSimpleTestArchive("one.archive", {"a"}, {"1"});
    first.References = {"one.archive", "two.archive"};
    CTestArchive second = MakeSimpleTestArchive("two.archive", {"b"}, {"2"});
    second.References = {"one.archive", "two.archive"};
    CArchive* one = MountSet({first, second});
    ASSERT_NE(one, nullptr);
    ASSERT_EQ(Manager.GetArchiveCount(), 2u);
    CArchive* two = Manager.FindArchive("two.archive");
    ASSERT_NE(two, nullptr);
    EXPECT_EQ(one->GetReference(0), one);
    EXPECT_EQ(one->GetReference(1), two);
    EXPECT_EQ(two->GetReference(0), one);
    EXPECT_EQ(two->GetReference(1), two);
    EXPECT_EQ(one->GetReference(2), nullptr);
}

} // namespace
