// Aligned allocation: every power of two is accepted, with the pointer size as the floor.
#include "base/Memory.h"

#include <gtest/gtest.h>

#include <cstdint>

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
