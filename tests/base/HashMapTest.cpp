// CHashMap: removal at every position of a chain of colliding keys, twice in a row, with counted values;
// a reset that keeps the storage.
#include "base/HashMap.h"

#include "support/Counted.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(HashMapTest, RemoveFromAnyChainPositionTwiceKeepsOthersReachable) {
    // Id keys hash to their low 32 bits: the five "chain" keys share one chain, the two others lie
    // elsewhere, and the insertion order puts the last entry at every place of the chain in turn.
    const std::vector<uint64_t> keys = {0x100000005, 7, 0x200000005, 0x300000005, 9, 5, 0x400000005};
    for (size_t first = 0; first < keys.size(); ++first) {
        for (size_t second = 0; second < keys.size(); ++second) {
            if (second == first)
                continue;
            SCOPED_TRACE(std::to_string(first) + ", then " + std::to_string(second));
            CHashMap<uint64_t, SCounted> map;
            for (size_t i = 0; i < keys.size(); ++i)
                map.FindOrInsert(keys[i]).Value = int(i);
            EXPECT_TRUE(map.Remove(keys[first]) && map.Remove(keys[second]));
            EXPECT_FALSE(map.Remove(keys[first]));
            EXPECT_EQ(map.GetCount(), keys.size() - 2);
            EXPECT_EQ(SCounted::Live, int(keys.size()) - 2);
            for (size_t i = 0; i < keys.size(); ++i) {
                const SCounted* found = map.Find(keys[i]);
                if (i == first || i == second)
                    EXPECT_EQ(found, nullptr);
                else
                    EXPECT_TRUE(found != nullptr && found->Value == int(i)) << keys[i];
            }
            // The chains stay sound for a later insertion.
            map.FindOrInsert(keys[first]);
            EXPECT_EQ(map.GetCount(), keys.size() - 1);
            EXPECT_NE(map.Find(keys[first]), nullptr);
        }
    }
}

TEST(HashMapTest, ResetEmptiesEveryChain) {
    CHashMap<uint64_t, uint64_t> map;
    for (uint64_t key = 0; key < 100; ++key)
        map.FindOrInsert(key) = key;
    map.Reset();
    // Each key takes its old slot again: under a head left from before, it would follow itself.
    for (uint64_t key = 0; key < 50; ++key)
        map.FindOrInsert(key) = key + 1;
    EXPECT_EQ(map.GetCount(), 50u);
    for (uint64_t key = 0; key < 50; ++key)
        EXPECT_TRUE(map.Find(key + map.GetBucketCount()) == nullptr && *map.Find(key) == key + 1) << key;
}
