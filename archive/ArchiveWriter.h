// Writers of the archive format: the header and the records of an index, built in memory.
#pragma once

#include "archive/Archive.h"
#include "base/ByteBuffer.h"
#include "base/StringView.h"

#include <cstdint>

/// Stores the 24-byte archive header at header: "ARCH", the header value, the entry and reference counts
/// and the index offset.
void StoreArchiveHeader(uint8_t* header, uint32_t headerValue, uint32_t entryCount, uint32_t referenceCount,
                        uint64_t indexOffset);

/// Appends one string of the index: its 32-bit length, its bytes and a zero byte. The text must not be
/// longer than 0xFFFFFFFE bytes. Storage that cannot be had stops the process.
void AppendArchiveString(CByteBuffer& index, CStringViewA text);

/// Appends one entry record: the opaque value, the 16-byte opaque block, the name, the segment count and
/// the segment records (reference index, data offset, file offset, size; DataEnd is not stored). Storage
/// that cannot be had stops the process.
void AppendArchiveEntry(CByteBuffer& index, uint64_t opaqueValue, const uint8_t* opaqueBlock,
                        CStringViewA name, const CArchiveSegment* segments, uint32_t segmentCount);
