// CByteBuffer: granule rounding, zeroed growth, and refusals that leave the buffer as it was.
#include "base/ByteBuffer.h"

#include "base/Memory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

bool IsZero(const uint8_t* bytes, uint64_t from, uint64_t to) {
    for (uint64_t i = from; i < to; ++i) {
        if (bytes[i] != 0)
            return false;
    }
    return true;
}

class ByteBufferTest : public ::testing::Test {
protected:
    void TearDown() override { SetAllocationFaultHook(nullptr); }
};

} // namespace

TEST_F(ByteBufferTest, ReserveRoundsToGranuleAndZeroes) {
    const uint64_t cases[][2] = {{0, 0}, {1, 16}, {16, 16}, {17, 32}, {100, 112}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c[0]);
        CByteBuffer small(16);
        ASSERT_TRUE(small.Reserve(c[0]));
        EXPECT_EQ(small.GetCapacity(), c[1]);
        EXPECT_EQ(small.GetSize(), 0u);
    }

    CByteBuffer buffer;
    ASSERT_TRUE(buffer.Reserve(1));
    ASSERT_EQ(buffer.GetCapacity(), 8192u);
    EXPECT_TRUE(IsZero(buffer.GetData(), 0, 8192));
    for (uint64_t i = 0; i < 8192; ++i)
        buffer.GetData()[i] = static_cast<uint8_t>(i * 7 + 1);
    const uint8_t* block = buffer.GetData();
    ASSERT_TRUE(buffer.Reserve(8192));
    EXPECT_EQ(buffer.GetData(), block);
    EXPECT_EQ(buffer.GetCapacity(), 8192u);

    ASSERT_TRUE(buffer.Reserve(8193));
    ASSERT_EQ(buffer.GetCapacity(), 16384u);
    for (uint64_t i = 0; i < 8192; ++i)
        ASSERT_EQ(buffer.GetData()[i], static_cast<uint8_t>(i * 7 + 1)) << i;
    EXPECT_TRUE(IsZero(buffer.GetData(), 8192, 16384));
}

TEST_F(ByteBufferTest, ResizeAndAppendKeepBytes) {
    CByteBuffer buffer;
    const uint8_t head[] = {1, 2, 3};
    ASSERT_TRUE(buffer.Append(head, 3));
    EXPECT_EQ(buffer.GetSize(), 3u);
    EXPECT_EQ(buffer.GetCapacity(), 8192u);
    ASSERT_TRUE(buffer.Append(nullptr, 0));
    EXPECT_EQ(buffer.GetSize(), 3u);

    // An append that crosses the granule grows by whole granules and lands right after the old bytes.
    const std::vector<uint8_t> bulk(8190, 0xAB);
    ASSERT_TRUE(buffer.Append(bulk.data(), bulk.size()));
    EXPECT_EQ(buffer.GetSize(), 8193u);
    EXPECT_EQ(buffer.GetCapacity(), 16384u);
    EXPECT_EQ(buffer.GetData()[2], 3);
    EXPECT_EQ(buffer.GetData()[3], 0xAB);
    EXPECT_EQ(buffer.GetData()[8192], 0xAB);

    ASSERT_TRUE(buffer.Resize(2));
    EXPECT_EQ(buffer.GetSize(), 2u);
    EXPECT_EQ(buffer.GetCapacity(), 16384u);
    ASSERT_TRUE(buffer.Resize(20000));
    EXPECT_EQ(buffer.GetSize(), 20000u);
    EXPECT_EQ(buffer.GetCapacity(), 24576u);
    EXPECT_EQ(buffer.GetData()[1], 2);
    EXPECT_TRUE(IsZero(buffer.GetData(), 16384, 24576));

    buffer.Release();
    EXPECT_EQ(buffer.GetData(), nullptr);
    EXPECT_EQ(buffer.GetCapacity(), 0u);
    ASSERT_TRUE(buffer.Append(head, 3));
    EXPECT_EQ(buffer.GetCapacity(), 8192u);
}

TEST_F(ByteBufferTest, RefusedGrowthLeavesBufferUnchanged) {
    CByteBuffer buffer;
    const uint8_t head[] = {9, 8, 7};
    ASSERT_TRUE(buffer.Append(head, 3));
    const uint8_t* block = buffer.GetData();
    const std::vector<uint8_t> bulk(9000, 1);

    auto expectUnchanged = [&] {
        EXPECT_EQ(buffer.GetData(), block);
        EXPECT_EQ(buffer.GetSize(), 3u);
        EXPECT_EQ(buffer.GetCapacity(), 8192u);
        EXPECT_EQ(buffer.GetData()[0], 9);
        EXPECT_EQ(buffer.GetData()[2], 7);
    };

    // Sizes beyond what any system can give are refused before the allocator is asked.
    EXPECT_FALSE(buffer.Reserve(MaxAllocationSize + 1));
    EXPECT_FALSE(buffer.Reserve(~uint64_t(0)));
    EXPECT_FALSE(buffer.Resize(~uint64_t(0) - 100));
    EXPECT_FALSE(buffer.Append(bulk.data(), ~uint64_t(0) - 1));
    expectUnchanged();

    SetAllocationFaultHook([](uint64_t) { return true; });
    EXPECT_FALSE(buffer.Reserve(8193));
    EXPECT_FALSE(buffer.Resize(20000));
    EXPECT_FALSE(buffer.Append(bulk.data(), bulk.size()));
    expectUnchanged();
    // What fits needs no allocation and still succeeds.
    EXPECT_TRUE(buffer.Append(bulk.data(), 100));
    EXPECT_EQ(buffer.GetSize(), 103u);
}
