// Allocation entry points: the size ceiling, the test fault hook and the alignment floor.
#include "base/Memory.h"

#include <gtest/gtest.h>

#include <cstdint>

TEST(MemoryTest, RefusesOversizedAndHookedRequests) {
    EXPECT_EQ(AllocateMemory(MaxAllocationSize + 1), nullptr);
    EXPECT_EQ(AllocateZeroedMemory(~uint64_t(0)), nullptr);
    EXPECT_EQ(AllocateAligned(~uint64_t(0) - 7, 8), nullptr);

    static uint64_t s_Asked = 0;
    SetAllocationFaultHook([](uint64_t size) {
        s_Asked = size;
        return size >= 100;
    });
    EXPECT_EQ(AllocateMemory(100), nullptr);
    EXPECT_EQ(s_Asked, 100u);
    EXPECT_EQ(AllocateAligned(200, 8), nullptr);
    void* allowed = AllocateMemory(99);
    EXPECT_NE(allowed, nullptr);
    FreeMemory(allowed);
    SetAllocationFaultHook(nullptr);

    void* empty = AllocateMemory(0);
    EXPECT_NE(empty, nullptr);
    FreeMemory(empty);
}

TEST(MemoryTest, AlignedBlocksForEveryPowerOfTwo) {
    for (uint64_t alignment : {1, 2, 4, 8, 16, 64, 4096}) {
        SCOPED_TRACE(alignment);
        void* block = AllocateAligned(24, alignment);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % alignment, 0u);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % sizeof(void*), 0u);
        FreeAligned(block);
    }
    void* zero = AllocateAligned(0, 4);
    EXPECT_NE(zero, nullptr);
    FreeAligned(zero);
}
