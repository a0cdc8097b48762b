// CArray: every element constructed and destroyed exactly once through growth and shrinking; a refusal stops.
#include "base/Array.h"

#include "base/Memory.h"
#include "support/Counted.h"

#include <gtest/gtest.h>

TEST(ArrayTest, ElementsLiveExactlyOnceThroughGrowthAndShrinking) {
    {
        CArray<SCounted> array;
        for (int i = 0; i < 20; ++i) {
            SCounted element;
            element.Value = i;
            array.Append(std::move(element));
            EXPECT_EQ(SCounted::Live, i + 2);
        }
        array.Reserve(100);
        for (int i = 0; i < 20; ++i)
            EXPECT_EQ(array[i].Value, i);
        array.Resize(5);
        EXPECT_EQ(SCounted::Live, 5);
        array.Resize(8);
        EXPECT_EQ(SCounted::Live, 8);
        EXPECT_EQ(array[4].Value, 4);
        EXPECT_EQ(array[5].Value + array[7].Value, -2);
        // A moved-from array is empty and takes elements again.
        CArray<SCounted> moved(std::move(array));
        array.Append(SCounted());
        EXPECT_EQ(moved[4].Value + array[0].Value, 3);
        EXPECT_EQ(SCounted::Live, 9);

        // A refused allocation is the out-of-memory stop, never a shorter array.
        EXPECT_EXIT(
            {
                SetAllocationFaultHook([](uint64_t) { return true; });
                array.Resize(200);
            },
            ::testing::ExitedWithCode(2), "out of memory");
    }
    EXPECT_EQ(SCounted::Live, 0);
}
