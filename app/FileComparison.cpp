// File comparisons in fixed-size blocks: memory stays bounded whatever the sizes.
#include "app/FileComparison.h"

#include "archive/ArchiveManager.h"
#include "base/File.h"
#include "base/Memory.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint64_t BlockSize = ComparisonBufferSize / 2;

// The comparison buffer on the heap, freed with the object; a block of each side.
class CBlockPair {
public:
    CBlockPair() : m_Blocks(static_cast<uint8_t*>(AllocateOrStop(ComparisonBufferSize))) {}
    ~CBlockPair() { FreeMemory(m_Blocks); }
    CBlockPair(const CBlockPair&) = delete;
    CBlockPair& operator=(const CBlockPair&) = delete;

    uint8_t* Get() { return m_Blocks; }
    uint8_t* GetLeft() { return m_Blocks; }
    uint8_t* GetRight() { return m_Blocks + BlockSize; }

private:
    uint8_t* m_Blocks;
};

// Opens path for reading and takes its size; the comparison result when it cannot.
EFileComparison OpenForComparison(CStringViewA path, FileHandle& file, uint64_t& size) {
    size = 0;
    file = Os::OpenInputFile(path, size);
    if (file == InvalidFileHandle)
        return Os::GetDirectoryState(path) == EDirectoryState::Missing ? EFileComparison::Missing
                                                                       : EFileComparison::NotAFile;
    return EFileComparison::Same;
}

// Reads the next count bytes of file into block and compares them with expected; false when they differ
// or do not all arrive.
bool IsNextBlockEqual(FileHandle file, uint8_t* block, const uint8_t* expected, uint64_t count) {
    uint64_t bytesRead = 0;
    return Os::Read(file, block, count, bytesRead) && bytesRead == count &&
           std::memcmp(block, expected, count) == 0;
}

// Reads the file block by block and compares each block with the same span of the expected content: the
// header's bytes where the block covers them, then as many bytes read from the stream. A file that fits in
// a block, header and all, costs one read of each side.
EFileComparison CompareOpenFile(FileHandle file, const CExpectedContent& expected, uint8_t* buffer) {
    uint8_t* const fileBlock = buffer;
    uint8_t* const dataBlock = buffer + BlockSize;
    const uint64_t size = expected.GetSize();
    for (uint64_t done = 0; done < size;) {
        const uint64_t count = std::min(BlockSize, size - done);
        uint64_t bytesRead = 0;
        if (!Os::Read(file, fileBlock, count, bytesRead) || bytesRead != count)
            return EFileComparison::Differs;
        const uint64_t headerCount =
            done < expected.HeaderLength ? std::min(count, expected.HeaderLength - done) : 0;
        if (headerCount != 0 && std::memcmp(fileBlock, expected.Header + done, headerCount) != 0)
            return EFileComparison::Differs;
        const uint64_t dataCount = count - headerCount;
        if (dataCount != 0 && expected.Stream->Read(dataBlock, dataCount) != dataCount)
            return EFileComparison::SourceUnreadable;
        if (std::memcmp(fileBlock + headerCount, dataBlock, dataCount) != 0)
            return EFileComparison::Differs;
        done += count;
    }
    return EFileComparison::Same;
}

} // namespace

EFileComparison CompareFileWithContent(CStringViewA path, const CExpectedContent& expected, uint8_t* buffer,
                                       uint64_t& foundSize) {
    FileHandle file = InvalidFileHandle;
    const EFileComparison opened = OpenForComparison(path, file, foundSize);
    if (opened != EFileComparison::Same)
        return opened;
    const EFileComparison result =
        foundSize != expected.GetSize() ? EFileComparison::Differs : CompareOpenFile(file, expected, buffer);
    Os::CloseFile(file);
    return result;
}

EFileComparison CompareFileWithContent(CStringViewA path, const CExpectedContent& expected,
                                       uint64_t& foundSize) {
    CBlockPair blocks;
    return CompareFileWithContent(path, expected, blocks.Get(), foundSize);
}

EFileComparison CompareFileWithBytes(CStringViewA path, const void* bytes, uint64_t size,
                                     uint64_t& foundSize) {
    const CExpectedContent expected{static_cast<const uint8_t*>(bytes), size, nullptr, 0};
    return CompareFileWithContent(path, expected, foundSize);
}

bool AreFilesEqual(CStringViewA leftPath, CStringViewA rightPath) {
    FileHandle left = InvalidFileHandle;
    FileHandle right = InvalidFileHandle;
    uint64_t leftSize = 0;
    uint64_t rightSize = 0;
    bool equal = OpenForComparison(leftPath, left, leftSize) == EFileComparison::Same &&
                 OpenForComparison(rightPath, right, rightSize) == EFileComparison::Same &&
                 leftSize == rightSize;
    CBlockPair blocks;
    for (uint64_t done = 0; equal && done < leftSize;) {
        const uint64_t count = std::min(BlockSize, leftSize - done);
        uint64_t bytesRead = 0;
        equal = Os::Read(left, blocks.GetRight(), count, bytesRead) && bytesRead == count &&
                IsNextBlockEqual(right, blocks.GetLeft(), blocks.GetRight(), count);
        done += count;
    }
    Os::CloseFile(left);
    Os::CloseFile(right);
    return equal;
}
