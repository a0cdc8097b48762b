// Reading an admitted resource's bytes out of the archives, and reporting a read that ends short.
#pragma once

#include "app/ResourceHandler.h"

class CByteBuffer;

/// Fills buffer with the admitted resource's file bytes: its entry header (when the container does not
/// store it inline), then the stored bytes, read through a copy of the admission's stream. The buffer grows
/// as the bytes arrive, so a hostile size costs no more memory than the data that exists; storage that
/// cannot be had stops the process. False when fewer bytes arrive than the archive's index promises.
[[nodiscard]] bool ReadResource(const CAdmission& admission, CByteBuffer& buffer);

/// Prints "Failed to read" with path through the context's pool, counts the failed read and, with
/// --verbose, says why on standard error.
void ReportFailedRead(const CHandlerContext& context, const char* path);
