// CNameStore: copies of names kept for a whole run in large blocks, freed together.
#pragma once

#include "base/Array.h"
#include "base/StringView.h"

#include <cstdint>

/// The characters of stored names, copied with their terminators into blocks that are filled one after
/// another and freed together when the store is destroyed. A block never moves, so views of the copies stay
/// valid for the store's life. One allocation per megabyte of names instead of one per name: a run names
/// every resource, and a heap block per name (and freeing them all at the end) cost a tenth of a run's
/// instructions. A name longer than a block gets a block of its own.
class CNameStore {
public:
    CNameStore() = default;
    CNameStore(const CNameStore&) = delete;
    CNameStore& operator=(const CNameStore&) = delete;
    ~CNameStore();

    /// A copy of text, followed by a terminator that the view does not count, valid while the store exists.
    /// Stops the process when memory runs out, as the copy in a string of its own would.
    CStringViewA Store(CStringViewA text);

private:
    static constexpr uint64_t BlockSize = uint64_t(1) << 20;

    CArray<char*> m_Blocks;
    char* m_Next = nullptr;
    uint64_t m_Left = 0;
};
