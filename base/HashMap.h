// CHashMap: the chained hash map whose entries, links and bucket heads share one aligned block.
#pragma once

#include "base/InlineString.h"
#include "base/Memory.h"

#include <cassert>
#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

/// One-at-a-time hash of the bytes, each taken as unsigned, with both right shifts arithmetic (the sign
/// bit is copied in). The arithmetic shifts are part of the stored format's contract: they change results
/// from the published form once the high bit is set ("abcd" gives 0x3196E206).
inline uint32_t HashStringBytes(CStringViewA bytes) {
    uint32_t h = 0;
    for (uint64_t i = 0; i < bytes.GetLength(); ++i) {
        h = (h + static_cast<unsigned char>(bytes[i])) * 1025u;
        h ^= static_cast<uint32_t>(static_cast<int32_t>(h) >> 6);
    }
    h *= 9u;
    h ^= static_cast<uint32_t>(static_cast<int32_t>(h) >> 11);
    h *= 32769u;
    return h;
}

/// How a key type hashes and compares, what a look-up is given (Lookup) and how a stored key is seen as one
/// (View). String keys, owned or views,
/// are looked up by view and keep their hash in the entry so that a look-up compares hashes before bytes;
/// 64-bit keys hash to their own low 32 bits and store nothing.
template <typename TKey>
struct THashKeyTraits;

struct CStringKeyTraits {
    using Lookup = CStringViewA;
    static constexpr bool StoresHash = true;
    static uint32_t Hash(CStringViewA key) { return HashStringBytes(key); }
    static bool Equal(CStringViewA left, CStringViewA right) { return left == right; }
};

template <> struct THashKeyTraits<CInlineStringA> : CStringKeyTraits {
    static CStringViewA View(const CInlineStringA& key) { return key.GetView(); }
};

template <> struct THashKeyTraits<CStringViewA> : CStringKeyTraits {
    static CStringViewA View(CStringViewA key) { return key; }
};

template <>
struct THashKeyTraits<uint64_t> {
    using Lookup = uint64_t;
    static constexpr bool StoresHash = false;
    static uint64_t View(uint64_t key) { return key; }
    static uint32_t Hash(uint64_t key) { return static_cast<uint32_t>(key); }
    static bool Equal(uint64_t left, uint64_t right) { return left == right; }
};

template <typename TKey, typename TValue, bool StoresHash>
struct THashEntry {
    TKey Key;
    TValue Value;
    uint32_t Hash;
};

template <typename TKey, typename TValue>
struct THashEntry<TKey, TValue, false> {
    TKey Key;
    TValue Value;
};

/// A chained hash map with n entry slots and 2n - 1 buckets. Entries lie contiguously in insertion order
/// (slots 0 to count - 1), each with a next link, and bucket heads start a chain of slot indices; any index
/// not below the count ends a chain, and a new entry joins the front of its chain. Entries, links and heads
/// share one block from the aligned allocator. Inserting into a full map rehashes to 2n + 1 slots (1, 3, 7,
/// 15, ... slots with 1, 5, 13, 29, ... buckets). Removing moves the last entry into the freed slot.
/// The map owns its keys and values (a CStringViewA key owns nothing, so its lender must keep the text in
/// place for the map's life). A refused allocation stops the process (StopOutOfMemory).
template <typename TKey, typename TValue>
class CHashMap {
    using Traits = THashKeyTraits<TKey>;
    using Lookup = typename Traits::Lookup;

public:
    using Entry = THashEntry<TKey, TValue, Traits::StoresHash>;
    static constexpr uint64_t EndOfChain = ~uint64_t(0);

    CHashMap() = default;
    CHashMap(const CHashMap&) = delete;
    CHashMap& operator=(const CHashMap&) = delete;
    ~CHashMap() { Clear(); }

    static uint32_t HashKey(const Lookup& key) { return Traits::Hash(key); }

    /// The value stored for key, or null when absent. The pointer is valid until the map changes.
    TValue* Find(const Lookup& key) {
        if (m_Capacity == 0)
            return nullptr;
        const uint64_t index = FindIndex(key, HashKey(key));
        return index < m_Count ? &GetEntries()[index].Value : nullptr;
    }
    const TValue* Find(const Lookup& key) const { return const_cast<CHashMap*>(this)->Find(key); }

    /// Slot of key, whose hash is hash, or the count when absent.
    uint64_t FindIndex(const Lookup& key, uint32_t hash) const {
        if (m_Count == 0)
            return m_Count;
        const Entry* entries = GetEntries();
        const uint64_t* next = GetNext();
        for (uint64_t index = GetHeads()[GetBucket(hash)]; index < m_Count; index = next[index]) {
            if (EntryHash(entries[index]) == hash && Traits::Equal(Traits::View(entries[index].Key), key))
                return index;
        }
        return m_Count;
    }

    /// The value of key, inserting a copy of the key with a zero value when it is absent. Valid until the
    /// map changes.
    TValue& FindOrInsert(const TKey& key) {
        const uint32_t hash = HashKey(Traits::View(key));
        if (m_Capacity != 0) {
            const uint64_t index = FindIndex(Traits::View(key), hash);
            if (index < m_Count)
                return GetEntries()[index].Value;
        }
        return Insert(key, hash);
    }

    /// Appends an entry for key, known to be absent, with a zero value; copies the key.
    TValue& Insert(const TKey& key, uint32_t hash) {
        TKey copy(key);
        return InsertTakingOver(std::move(copy), hash);
    }

    /// Moves every entry to new storage of capacity slots (not below the count), keeping each entry in its
    /// slot.
    void Rehash(uint64_t capacity) {
        assert(capacity >= m_Count);
        if (capacity > MaxCapacity)
            StopOutOfMemory();
        uint8_t* block = nullptr;
        if (capacity != 0) {
            block = static_cast<uint8_t*>(AllocateAligned(GetBlockSize(capacity), 8));
            if (block == nullptr)
                StopOutOfMemory();
        }
        Entry* oldEntries = GetEntries();
        m_Storage = block;
        m_Capacity = capacity;
        if (capacity != 0)
            std::memset(GetHeads(), 0xFF, GetBucketCount() * sizeof(uint64_t));
        Entry* entries = GetEntries();
        uint64_t* next = GetNext();
        uint64_t* heads = GetHeads();
        for (uint64_t index = 0; index < m_Count; ++index) {
            Entry& target = entries[index];
            new (&target.Key) TKey(std::move(oldEntries[index].Key));
            new (&target.Value) TValue(std::move(oldEntries[index].Value));
            if constexpr (Traits::StoresHash)
                target.Hash = oldEntries[index].Hash;
            oldEntries[index].Key.~TKey();
            oldEntries[index].Value.~TValue();
            // String keys are hashed again from their bytes; chains come out highest slot first.
            uint64_t* head = &heads[GetBucket(HashKey(Traits::View(target.Key)))];
            next[index] = *head;
            *head = index;
        }
        FreeAligned(oldEntries);
    }

    /// Removes key's entry; the last entry moves into the freed slot. False when key is absent.
    bool Remove(const Lookup& key) {
        if (m_Count == 0)
            return false;
        const uint32_t hash = HashKey(key);
        Entry* entries = GetEntries();
        uint64_t* next = GetNext();
        uint64_t* link = &GetHeads()[GetBucket(hash)];
        while (*link < m_Count &&
               !(EntryHash(entries[*link]) == hash && Traits::Equal(Traits::View(entries[*link].Key), key)))
            link = &next[*link];
        if (*link >= m_Count)
            return false;
        const uint64_t index = *link;
        *link = next[index];
        --m_Count;
        entries[index].Key.~TKey();
        entries[index].Value.~TValue();
        if (index == m_Count)
            return true;
        const uint64_t last = m_Count;
        uint64_t* lastLink = &GetHeads()[GetBucket(EntryHash(entries[last]))];
        while (*lastLink != last)
            lastLink = &next[*lastLink];
        new (&entries[index].Key) TKey(std::move(entries[last].Key));
        new (&entries[index].Value) TValue(std::move(entries[last].Value));
        if constexpr (Traits::StoresHash)
            entries[index].Hash = entries[last].Hash;
        next[index] = next[last];
        *lastLink = index;
        entries[last].Key.~TKey();
        entries[last].Value.~TValue();
        return true;
    }

    /// Releases every key and value and the storage; the map returns to capacity 0.
    void Clear() {
        if (m_Capacity == 0)
            return;
        Entry* entries = GetEntries();
        for (uint64_t index = 0; index < m_Count; ++index) {
            entries[index].Key.~TKey();
            entries[index].Value.~TValue();
        }
        FreeAligned(m_Storage);
        m_Storage = nullptr;
        m_Count = 0;
        m_Capacity = 0;
    }

    /// Forgets every entry, keeping the storage and the capacity. Only for maps whose entries own nothing.
    void Reset() {
        static_assert(std::is_trivially_destructible_v<TKey> && std::is_trivially_destructible_v<TValue>,
                      "Reset would leak what the entries own");
        if (m_Capacity != 0)
            std::memset(GetHeads(), 0xFF, GetBucketCount() * sizeof(uint64_t));
        m_Count = 0;
    }

    uint64_t GetCount() const { return m_Count; }
    uint64_t GetCapacity() const { return m_Capacity; }
    uint64_t GetBucketCount() const { return m_Capacity == 0 ? 0 : 2 * m_Capacity - 1; }
    /// Bucket of a hash in the current layout (0 while the map has no storage).
    uint64_t GetBucket(uint32_t hash) const { return m_Capacity == 0 ? 0 : hash % GetBucketCount(); }

    /// Live entries in slot order, which is insertion order while nothing has been removed.
    Entry* begin() { return GetEntries(); }
    Entry* end() { return GetEntries() + m_Count; }
    const Entry* begin() const { return GetEntries(); }
    const Entry* end() const { return GetEntries() + m_Count; }
    const Entry& GetEntry(uint64_t index) const { return GetEntries()[index]; }

private:
    // Appends an entry for key, moved in; the key is a copy made before any growth, so that a key that
    // lies in the map itself is read before the entries move.
    TValue& InsertTakingOver(TKey&& key, uint32_t hash) {
        if (m_Count == m_Capacity) {
            if (m_Capacity > (MaxCapacity - 1) / 2)
                StopOutOfMemory();
            Rehash(2 * m_Capacity + 1);
        }
        const uint64_t index = m_Count++;
        Entry* entry = &GetEntries()[index];
        new (&entry->Key) TKey(std::move(key));
        new (&entry->Value) TValue();
        if constexpr (Traits::StoresHash)
            entry->Hash = hash;
        uint64_t* head = &GetHeads()[GetBucket(hash)];
        GetNext()[index] = *head;
        *head = index;
        return entry->Value;
    }

    static_assert(alignof(Entry) <= 8, "entries share an 8-byte-aligned block");
    // Beyond this a block size would not fit the allocator's limit anyway; checking first keeps the size
    // arithmetic from overflowing.
    static constexpr uint64_t MaxCapacity = uint64_t(1) << 32;

    static uint64_t EntryArraySize(uint64_t capacity) {
        return (capacity * sizeof(Entry) + 7) / 8 * 8;
    }
    static uint64_t GetBlockSize(uint64_t capacity) {
        return EntryArraySize(capacity) + capacity * sizeof(uint64_t) + (2 * capacity - 1) * sizeof(uint64_t);
    }
    static uint32_t EntryHash(const Entry& entry) {
        if constexpr (Traits::StoresHash)
            return entry.Hash;
        else
            return HashKey(Traits::View(entry.Key));
    }

    Entry* GetEntries() const { return reinterpret_cast<Entry*>(m_Storage); }
    uint64_t* GetNext() const { return reinterpret_cast<uint64_t*>(m_Storage + EntryArraySize(m_Capacity)); }
    uint64_t* GetHeads() const { return GetNext() + m_Capacity; }

    uint8_t* m_Storage = nullptr;
    uint64_t m_Count = 0;
    uint64_t m_Capacity = 0;
};
