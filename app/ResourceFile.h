// Writing one resource file: created new in its folder, its entry header, then its bytes from the archives.
#pragma once

#include "archive/ArchiveManager.h"
#include "base/Platform.h"
#include "resid/ResourceId.h"

#include <cstdint>

/// One resource file as the selecting thread decided it: named after Id, Header's bytes first, then Length
/// bytes of archive data from Data's position on. Header and Data are borrowed.
struct CResourceFile {
    ResourceId Id = 0;
    const uint8_t* Header = nullptr;
    uint32_t HeaderLength = 0;
    CArchiveStream Data;
    uint64_t Length = 0;
};

enum class EWriteOutcome : uint8_t { Written, WriteFailed, ReadFailed };

/// The bytes of the buffer that WriteResourceFile works in.
constexpr uint64_t ResourceBufferSize = uint64_t(64) << 10;

/// Creates "%.16I64X.bin" of the file's id in the open folder (at folderPath) with Os::CreateFileIn, which
/// replaces whatever else had the name, and fills it. A small file is gathered in buffer (ResourceBufferSize
/// bytes) and written at once; a larger one gets its data copied by the kernel where it can, and through
/// buffer otherwise, so that a resource is never held whole. WriteFailed, with the system's error code in
/// error, leaves the file empty; ReadFailed (the data ended short) removes it. Neither allocates nor prints,
/// so that worker threads may call it.
EWriteOutcome WriteResourceFile(FileHandle folder, CStringViewA folderPath, const CResourceFile& file,
                                uint8_t* buffer, uint32_t& error);

/// Prints "Failed to write" or "Failed to read" with the file's path for a failed outcome, and with reasons
/// the system's reason (or what a failed read means) on standard error.
void PrintResourceFailure(CStringViewA folderPath, ResourceId id, EWriteOutcome outcome, uint32_t error,
                          bool reasons);
