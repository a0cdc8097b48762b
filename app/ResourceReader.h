// Reading an admitted resource's bytes out of the archives, and reporting a read that ends short.
#pragma once

#include "app/ResourceHandler.h"

class CByteBuffer;

/// Whether the archive files, at the sizes they had when mounted, hold the length bytes that data reads from
/// its position. Reads nothing: a span that the files cannot deliver is found before any file is queued.
[[nodiscard]] bool CanReadStream(CArchiveStream data, uint64_t length);
/// The same for every stored byte of the admitted resource.
[[nodiscard]] inline bool CanReadResource(const CAdmission& admission) {
    return CanReadStream(admission.Stream, admission.Span.Length);
}

/// Reads the admitted resource's stored bytes through a copy of the admission's stream, a bounded piece at
/// a time into buffer, so that a resource is never held whole and a hostile size costs no memory. Storage
/// that cannot be had stops the process. False when fewer bytes arrive than the archive's index promises.
[[nodiscard]] bool ReadResource(const CAdmission& admission, CByteBuffer& buffer);

/// Prints "Failed to read" with path through the context's pool, counts the failed read and, with
/// --verbose, says why on standard error.
void ReportFailedRead(const CHandlerContext& context, CStringViewA path);
