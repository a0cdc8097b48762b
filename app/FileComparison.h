// Streamed comparison of a file on disk with the bytes a run would write there.
#pragma once

#include "base/StringView.h"

#include <cstdint>

struct CArchiveStream;

/// How a file compares with the bytes expected there.
enum class EFileComparison {
    Same,
    /// Another size or other bytes.
    Differs,
    /// Nothing has the file's name.
    Missing,
    /// Something that is not a regular file (a directory, a device) has the name.
    NotAFile,
    /// The expected bytes could not all be read from the archives.
    SourceUnreadable,
};

/// The expected content of one resource file: header (headerLength bytes, null when there is none), then
/// dataLength bytes read from stream at its position. The stream is borrowed for the call and advances.
struct CExpectedContent {
    const uint8_t* Header = nullptr;
    uint64_t HeaderLength = 0;
    CArchiveStream* Stream = nullptr;
    uint64_t DataLength = 0;

    uint64_t GetSize() const { return HeaderLength + DataLength; }
};

/// The bytes of the buffer that a comparison works in: a block of each side.
constexpr uint64_t ComparisonBufferSize = uint64_t(128) << 10;

/// Compares the file at path with the expected content, by size first and then block by block in buffer
/// (ComparisonBufferSize bytes), never holding either side whole. foundSize receives the file's size (0
/// unless it is a file). A symbolic link to a file counts as that file. Prints nothing and allocates nothing
/// for a path of up to 259 characters, so that worker threads may call it.
EFileComparison CompareFileWithContent(CStringViewA path, const CExpectedContent& expected, uint8_t* buffer,
                                       uint64_t& foundSize);
/// The same in a buffer of its own.
EFileComparison CompareFileWithContent(CStringViewA path, const CExpectedContent& expected,
                                       uint64_t& foundSize);

/// Compares the file at path with size bytes held in memory.
EFileComparison CompareFileWithBytes(CStringViewA path, const void* bytes, uint64_t size,
                                     uint64_t& foundSize);

/// True when the two files hold the same bytes, compared block by block; false also when either cannot be
/// read.
bool AreFilesEqual(CStringViewA leftPath, CStringViewA rightPath);
