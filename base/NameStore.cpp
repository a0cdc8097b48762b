// The block store of run-long name copies.
#include "base/NameStore.h"

#include "base/Memory.h"

#include <cstring>

CNameStore::~CNameStore() {
    for (char* block : m_Blocks)
        FreeMemory(block);
}

CStringViewA CNameStore::Store(CStringViewA text) {
    const uint64_t length = text.GetLength();
    if (length >= m_Left) {
        // The rest of the current block is left unused.
        const uint64_t size = length < BlockSize ? BlockSize : length + 1;
        char* block = static_cast<char*>(AllocateOrStop(size));
        m_Blocks.Append(block);
        m_Next = block;
        m_Left = size;
    }
    char* copy = m_Next;
    if (length != 0)
        std::memcpy(copy, text.GetData(), length);
    copy[length] = '\0';
    m_Next += length + 1;
    m_Left -= length + 1;
    return CStringViewA(copy, length);
}
