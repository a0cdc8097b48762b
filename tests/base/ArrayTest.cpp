// CArray: exact growth, element-wise moves, default construction on growth, refusals that change nothing.
#include "base/Array.h"

#include "base/InlineString.h"
#include "base/Memory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

// Counts its lifetime events, so that a lost, doubled or skipped construction or destruction shows.
struct SCounted {
    static int Constructed;
    static int Moved;
    static int Destroyed;
    static void ResetCounts() { Constructed = Moved = Destroyed = 0; }
    static int Live() { return Constructed + Moved - Destroyed; }

    SCounted() { ++Constructed; }
    SCounted(SCounted&& source) noexcept : Value(source.Value) {
        source.Value = -1;
        ++Moved;
    }
    ~SCounted() { ++Destroyed; }

    int Value = 7;
};
int SCounted::Constructed = 0;
int SCounted::Moved = 0;
int SCounted::Destroyed = 0;

struct SRecord {
    CInlineStringA Inline;
    CInlineStringA Heap;
    CStringViewA Borrowed;
    uint64_t Id = ~uint64_t(0);
};

class ArrayTest : public ::testing::Test {
protected:
    void SetUp() override { SCounted::ResetCounts(); }
    void TearDown() override { SetAllocationFaultHook(nullptr); }
};

} // namespace

TEST_F(ArrayTest, GrowthIsExact) {
    CArray<uint64_t> offsets;
    EXPECT_EQ(offsets.GetData(), nullptr);
    for (uint64_t i = 0; i < 5; ++i) {
        ASSERT_TRUE(offsets.Append(i * 10));
        EXPECT_EQ(offsets.GetCapacity(), i + 1);
    }
    for (uint64_t i = 0; i < 5; ++i)
        EXPECT_EQ(offsets[i], i * 10);

    // Reserving what is there already changes nothing, 0 included.
    const uint64_t* block = offsets.GetData();
    for (uint64_t count : {0, 3, 5}) {
        SCOPED_TRACE(count);
        EXPECT_TRUE(offsets.Reserve(count));
        EXPECT_EQ(offsets.GetData(), block);
        EXPECT_EQ(offsets.GetCapacity(), 5u);
    }
    ASSERT_TRUE(offsets.Resize(8));
    EXPECT_EQ(offsets.GetCapacity(), 8u);
    EXPECT_EQ(offsets[4], 40u);

    // Appending an element of the array itself while the storage moves.
    CArray<uint64_t> single;
    ASSERT_TRUE(single.Append(0x1234567890ull));
    ASSERT_TRUE(single.Append(single[0]));
    EXPECT_EQ(single[1], 0x1234567890ull);
}

TEST_F(ArrayTest, ResizeConstructsAndDestroysEachElementOnce) {
    CArray<SCounted> array;
    ASSERT_TRUE(array.Resize(5));
    EXPECT_EQ(SCounted::Constructed, 5);
    for (int i = 0; i < 5; ++i)
        array[i].Value = i;
    ASSERT_TRUE(array.Resize(5));
    EXPECT_EQ(SCounted::Constructed, 5);

    ASSERT_TRUE(array.Resize(2));
    EXPECT_EQ(SCounted::Destroyed, 3);
    EXPECT_EQ(array.GetCapacity(), 5u);
    ASSERT_TRUE(array.Resize(5));
    EXPECT_EQ(array.GetCapacity(), 5u);
    EXPECT_EQ(array[1].Value, 1);
    for (int i = 2; i < 5; ++i)
        EXPECT_EQ(array[i].Value, 7) << i;

    // Growth moves every live element once and destroys the old one.
    SCounted::ResetCounts();
    ASSERT_TRUE(array.Reserve(9));
    EXPECT_EQ(SCounted::Moved, 5);
    EXPECT_EQ(SCounted::Destroyed, 5);
    EXPECT_EQ(SCounted::Constructed, 0);
    EXPECT_EQ(array[0].Value, 0);
    EXPECT_EQ(array[4].Value, 7);

    SCounted::ResetCounts();
    array.Clear();
    EXPECT_EQ(SCounted::Destroyed, 5);
    EXPECT_EQ(array.GetData(), nullptr);
    EXPECT_EQ(array.GetCount(), 0u);
    EXPECT_EQ(array.GetCapacity(), 0u);
    array.Clear();
    EXPECT_EQ(SCounted::Destroyed, 5);

    // Storage without elements is replaced without moving anything.
    SCounted::ResetCounts();
    ASSERT_TRUE(array.Reserve(2));
    ASSERT_TRUE(array.Reserve(4));
    EXPECT_EQ(SCounted::Moved, 0);
    ASSERT_TRUE(array.Resize(1));
    EXPECT_EQ(SCounted::Live(), 1);
}

TEST_F(ArrayTest, MovedRecordsKeepTheirTexts) {
    const std::string longText(30, 'h');
    const char* lent = "lent text in a payload";
    CArray<SRecord> records;
    ASSERT_TRUE(records.Resize(2));
    EXPECT_EQ(records[1].Id, ~uint64_t(0));
    for (int i = 0; i < 2; ++i) {
        records[i].Inline.Assign("short");
        records[i].Heap.Assign(longText.c_str());
        records[i].Borrowed = CStringViewA(lent);
        records[i].Id = static_cast<uint64_t>(i);
    }
    const char* heapBlock = records[1].Heap.GetData();

    ASSERT_TRUE(records.Resize(40));
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_STREQ(records[i].Inline.GetData(), "short");
        EXPECT_STREQ(records[i].Heap.GetData(), longText.c_str());
        EXPECT_EQ(records[i].Borrowed.GetData(), lent);
        EXPECT_EQ(records[i].Id, static_cast<uint64_t>(i));
    }
    // The heap text is taken over, not copied.
    EXPECT_EQ(records[1].Heap.GetData(), heapBlock);
    EXPECT_EQ(records[39].Heap.GetLength(), 0u);
}

TEST_F(ArrayTest, RefusedGrowthLeavesArrayUnchanged) {
    CArray<SCounted> array;
    ASSERT_TRUE(array.Resize(3));
    array[2].Value = 42;
    const SCounted* block = array.GetData();

    auto expectUnchanged = [&] {
        EXPECT_EQ(array.GetData(), block);
        EXPECT_EQ(array.GetCount(), 3u);
        EXPECT_EQ(array.GetCapacity(), 3u);
        EXPECT_EQ(array[2].Value, 42);
        EXPECT_EQ(SCounted::Live(), 3);
    };

    // A byte size beyond 64 bits must not wrap around to a small block.
    const uint64_t overflowing = ~uint64_t(0) / sizeof(SCounted) + 1;
    EXPECT_FALSE(array.Reserve(overflowing));
    EXPECT_FALSE(array.Reserve(~uint64_t(0)));
    EXPECT_FALSE(array.Resize(overflowing));
    expectUnchanged();

    SetAllocationFaultHook([](uint64_t) { return true; });
    EXPECT_FALSE(array.Reserve(4));
    EXPECT_FALSE(array.Resize(10));
    expectUnchanged();

    CArray<uint64_t> offsets;
    ASSERT_TRUE(offsets.Reserve(0));
    EXPECT_FALSE(offsets.Append(1));
    EXPECT_EQ(offsets.GetCount(), 0u);
    EXPECT_EQ(offsets.GetData(), nullptr);
}

TEST_F(ArrayTest, StorageHonoursElementAlignment) {
    struct alignas(64) SWide {
        uint8_t Bytes[64];
    };
    for (int attempt = 0; attempt < 8; ++attempt) {
        CArray<SWide> wide;
        ASSERT_TRUE(wide.Resize(static_cast<uint64_t>(attempt) + 1));
        EXPECT_EQ(reinterpret_cast<uintptr_t>(wide.GetData()) % 64, 0u);
    }
}
