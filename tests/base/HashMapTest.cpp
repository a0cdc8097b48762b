// Tests for CHashMap: the string hash, growth, slot moves on removal, borrowed keys and refused storage.
#include "base/HashMap.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using CStringMap = CHashMap<CInlineStringA, uint64_t>;
using CIdMap = CHashMap<uint64_t, uint64_t>;

uint32_t HashOf(const char* text) { return CStringMap::HashKey(CStringViewA(text)); }

bool RefuseEverything(uint64_t) { return true; }

uint64_t g_Allocations = 0;
bool CountAllocation(uint64_t) {
    ++g_Allocations;
    return false;
}

// Short keys, so that copying one into the map needs no heap block, whose refusal would stop the process.
std::vector<std::string> KeysInBucket(uint64_t bucket, uint64_t bucketCount, int wanted) {
    std::vector<std::string> keys;
    for (int i = 0; static_cast<int>(keys.size()) < wanted; ++i) {
        const std::string key = "k" + std::to_string(i);
        if (HashOf(key.c_str()) % bucketCount == bucket)
            keys.push_back(key);
    }
    return keys;
}

void Put(CStringMap& map, const std::string& key, uint64_t value) {
    uint64_t* slot = map.FindOrInsert(CInlineStringA(key.c_str()));
    ASSERT_NE(slot, nullptr);
    *slot = value;
}

const uint64_t* Get(const CStringMap& map, const std::string& key) {
    return map.Find(CStringViewA(key.c_str()));
}

} // namespace

TEST(HashMapTest, StringHashUsesArithmeticShifts) {
    EXPECT_EQ(HashOf("abc"), 0xED131F5Bu);
    EXPECT_EQ(HashOf("abcd"), 0x3196E206u);
    EXPECT_EQ(HashOf(""), 0u);
    EXPECT_EQ(HashOf("\xFF\x80"), 0x04AE280Au);
    EXPECT_EQ(HashOf("Resource"), 0x5B2BDC17u);
}

TEST(HashMapTest, GrowsToTwiceCapacityPlusOne) {
    const struct {
        int Inserted;
        uint64_t Capacity;
        uint64_t Buckets;
    } steps[] = {{1, 1, 1}, {2, 3, 5}, {3, 3, 5}, {4, 7, 13}, {8, 15, 29}};
    CIdMap map;
    int inserted = 0;
    for (const auto& step : steps) {
        SCOPED_TRACE(step.Inserted);
        for (; inserted < step.Inserted; ++inserted)
            *map.FindOrInsert(uint64_t(inserted) * 977) = inserted;
        EXPECT_EQ(map.GetCapacity(), step.Capacity);
        EXPECT_EQ(map.GetBucketCount(), step.Buckets);
        for (int i = 0; i < inserted; ++i)
            EXPECT_EQ(*map.Find(uint64_t(i) * 977), uint64_t(i));
    }
}

TEST(HashMapTest, RehashKeepsSlots) {
    CStringMap map;
    const std::vector<std::string> keys = {"one", "two", "three"};
    for (size_t i = 0; i < keys.size(); ++i)
        Put(map, keys[i], i + 10);
    ASSERT_TRUE(map.Rehash(5));
    EXPECT_EQ(map.GetCapacity(), 5u);
    EXPECT_EQ(map.GetBucketCount(), 9u);
    for (size_t i = 0; i < keys.size(); ++i) {
        SCOPED_TRACE(keys[i]);
        EXPECT_STREQ(map.GetEntry(i).Key.GetData(), keys[i].c_str());
        ASSERT_NE(Get(map, keys[i]), nullptr);
        EXPECT_EQ(*Get(map, keys[i]), i + 10);
    }
    EXPECT_FALSE(map.Rehash(2));
    EXPECT_EQ(map.GetCapacity(), 5u);
}

TEST(HashMapTest, RemoveMovesLastEntryIntoFreedSlot) {
    // Capacity 7 gives 13 buckets: four keys share one chain, two sit elsewhere, so the removed entry and
    // the moved last entry are in every order relative to each other within a chain, and in different ones.
    const std::vector<std::string> shared = KeysInBucket(3, 13, 4);
    const std::vector<std::string> other = KeysInBucket(8, 13, 2);
    const std::vector<std::string> keys = {shared[0], other[0], shared[1], shared[2], other[1], shared[3]};
    for (size_t removed = 0; removed < keys.size(); ++removed) {
        SCOPED_TRACE(removed);
        CStringMap map;
        ASSERT_TRUE(map.Rehash(7));
        for (size_t i = 0; i < keys.size(); ++i)
            Put(map, keys[i], i);
        ASSERT_EQ(map.GetBucketCount(), 13u);
        EXPECT_TRUE(map.Remove(CStringViewA(keys[removed].c_str())));
        EXPECT_FALSE(map.Remove(CStringViewA(keys[removed].c_str())));
        EXPECT_EQ(map.GetCount(), keys.size() - 1);
        EXPECT_EQ(Get(map, keys[removed]), nullptr);
        if (removed != keys.size() - 1) {
            EXPECT_STREQ(map.GetEntry(removed).Key.GetData(), keys.back().c_str());
        }
        for (size_t i = 0; i < keys.size(); ++i) {
            if (i == removed)
                continue;
            ASSERT_NE(Get(map, keys[i]), nullptr) << keys[i];
            EXPECT_EQ(*Get(map, keys[i]), i);
        }
        // The chains stay sound for later insertions.
        Put(map, keys[removed], 99);
        EXPECT_EQ(*Get(map, keys[removed]), 99u);
        EXPECT_EQ(map.GetCount(), keys.size());
    }
}

TEST(HashMapTest, RemovingOnlyEntryThenReinsertingReusesSlotZero) {
    CStringMap map;
    Put(map, "only", 1);
    EXPECT_TRUE(map.Remove(CStringViewA("only")));
    EXPECT_EQ(map.GetCount(), 0u);
    EXPECT_EQ(Get(map, "only"), nullptr);
    uint64_t* value = map.FindOrInsert(CInlineStringA("only"));
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(*value, 0u);
    EXPECT_EQ(value, &map.GetEntry(0).Value);
    EXPECT_EQ(map.GetCapacity(), 1u);
}

TEST(HashMapTest, KeysAreCaseSensitive) {
    CStringMap map;
    Put(map, "Key", 1);
    Put(map, "key", 2);
    EXPECT_EQ(*Get(map, "Key") * 10 + *Get(map, "key"), 12u);
    EXPECT_EQ(Get(map, "KEY"), nullptr);
}

TEST(HashMapTest, IdKeysWithEqualLowBitsShareBucket) {
    const uint64_t ids[] = {0x0000000100000005, 0x4000000000000005, 0x8000000700000005, 0x0000000000000005};
    CIdMap map;
    for (uint64_t i = 0; i < 4; ++i)
        *map.FindOrInsert(ids[i]) = i + 1;
    for (uint64_t i = 0; i < 4; ++i)
        EXPECT_EQ(map.GetBucket(CIdMap::HashKey(ids[i])), map.GetBucket(5));
    EXPECT_TRUE(map.Remove(ids[1]));
    EXPECT_EQ(map.Find(ids[1]), nullptr);
    for (uint64_t i : {0, 2, 3}) {
        ASSERT_NE(map.Find(ids[i]), nullptr);
        EXPECT_EQ(*map.Find(ids[i]), i + 1);
    }
    EXPECT_EQ(map.Find(0x0000000200000005), nullptr);
}

TEST(HashMapTest, IterationFollowsSlotOrder) {
    CStringMap map;
    const std::vector<std::string> keys = {"d", "b", "a", "c", "e"};
    for (size_t i = 0; i < keys.size(); ++i)
        Put(map, keys[i], i);
    std::vector<std::string> seen;
    for (const auto& entry : map)
        seen.push_back(entry.Key.GetData());
    EXPECT_EQ(seen, keys);
    ASSERT_TRUE(map.Remove(CStringViewA("b")));
    seen.clear();
    for (const auto& entry : map)
        seen.push_back(entry.Key.GetData());
    EXPECT_EQ(seen, (std::vector<std::string>{"d", "e", "a", "c"}));
}

TEST(HashMapTest, RefusedStorageLeavesMapUsable) {
    CStringMap map;
    EXPECT_EQ(Get(map, "first"), nullptr);
    EXPECT_FALSE(map.Remove(CStringViewA("first")));
    SetAllocationFaultHook(&RefuseEverything);
    EXPECT_EQ(map.FindOrInsert(CInlineStringA("first")), nullptr);
    SetAllocationFaultHook(nullptr);
    EXPECT_EQ(map.GetCapacity(), 0u);
    EXPECT_EQ(map.GetCount(), 0u);

    for (const char* key : {"a", "b", "c"})
        Put(map, key, key[0]);
    SetAllocationFaultHook(&RefuseEverything);
    EXPECT_EQ(map.FindOrInsert(CInlineStringA("d")), nullptr);
    EXPECT_FALSE(map.Rehash(100));
    EXPECT_EQ(map.Insert(CInlineStringA("kept"), HashOf("kept")), nullptr);
    SetAllocationFaultHook(nullptr);
    EXPECT_EQ(map.GetCount(), 3u);
    EXPECT_EQ(map.GetCapacity(), 3u);
    for (const char* key : {"a", "b", "c"}) {
        ASSERT_NE(Get(map, key), nullptr) << key;
        EXPECT_EQ(*Get(map, key), uint64_t(key[0]));
    }
    Put(map, "d", 'd');
    EXPECT_EQ(map.GetCapacity(), 7u);
    EXPECT_EQ(*Get(map, "d"), uint64_t('d'));
}

TEST(HashMapTest, ResetKeepsCapacityAndStorage) {
    CIdMap map;
    for (uint64_t id = 1; id <= 10; ++id)
        *map.FindOrInsert(id) = id;
    const uint64_t capacity = map.GetCapacity();
    map.Reset();
    EXPECT_EQ(map.GetCount(), 0u);
    EXPECT_EQ(map.GetCapacity(), capacity);
    EXPECT_EQ(map.Find(3), nullptr);
    g_Allocations = 0;
    SetAllocationFaultHook(&CountAllocation);
    for (uint64_t id = 20; id < 20 + capacity; ++id)
        *map.FindOrInsert(id) = id;
    SetAllocationFaultHook(nullptr);
    EXPECT_EQ(g_Allocations, 0u);
    EXPECT_EQ(*map.Find(20), 20u);
    EXPECT_EQ(map.Find(5), nullptr);
}

TEST(HashMapTest, StringValuesSurviveGrowthAndAreReleased) {
    // Heap-held values moved by growth and removal; the sanitizer build reports any that leak.
    const char* longValue = "value longer than fourteen characters";
    CHashMap<uint64_t, CInlineStringA> map;
    for (uint64_t id = 0; id < 20; ++id)
        *map.FindOrInsert(id) = CInlineStringA(longValue);
    EXPECT_TRUE(map.FindOrInsert(100)->IsEmpty());
    EXPECT_TRUE(map.Remove(3));
    EXPECT_TRUE(map.Remove(100));
    for (uint64_t id = 0; id < 20; ++id) {
        if (id != 3) {
            EXPECT_STREQ(map.Find(id)->GetData(), longValue);
        }
    }
    map.Clear();
    EXPECT_EQ(map.GetCapacity(), 0u);
    EXPECT_EQ(map.Find(1), nullptr);
    *map.FindOrInsert(7) = CInlineStringA("left for the destructor to release");
}
