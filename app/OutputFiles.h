// The output of an extraction: resource files, and the four index files with their lines and layouts.
#pragma once

#include "base/HashMap.h"
#include "base/StringView.h"
#include "base/StringBuffer.h"
#include "resid/ResourceId.h"

#include <cstdint>

/// Every id named during a run, with its latest name, in the order the ids were first entered. The names
/// are views of copies that the extraction keeps, each followed by its zero terminator, for the whole run:
/// the texts they come from are overwritten by the next header library.
using CNameMap = CHashMap<ResourceId, CStringViewA>;

/// Formats the path of a resource file, "OUTPUT\LIBRARY\ID.bin" (16 upper-case hexadecimal digits), into
/// pathBuffer.
void FormatResourcePath(TStringBufferA<260>& pathBuffer, CStringViewA outputDirectory,
                        CStringViewA libraryName, ResourceId id);

/// Formats "OUTPUT\LIBRARY\ID.bin" (16 upper-case hexadecimal digits) into pathBuffer and writes the bytes
/// there, replacing an earlier file. On failure prints "Failed to write" with the path and returns false.
bool WriteResourceFile(TStringBufferA<260>& pathBuffer, CStringViewA outputDirectory,
                       CStringViewA libraryName, ResourceId id, const void* bytes, uint64_t count);

/// Appends the "ContainerNameMap.txt" line of one container.
void AppendContainerLine(CStringBufferA& text, CStringViewA archiveName, CStringViewA path,
                         CStringViewA libraryName);

/// Appends the "ExternalResources.txt" line of one external resource.
void AppendExternalLine(CStringBufferA& text, ResourceId id, CStringViewA name, CStringViewA archiveName);

/// Appends the "NameMap.txt" text of the name map to text: one line per entry, in entry order. estimate,
/// the expected length, is reserved up front (plus the terminator) so that the text need not grow.
void BuildNameMapText(const CNameMap& names, uint64_t estimate, CStringBufferA& text);

/// Builds the "ResMap.bin" image of the name map into image (replacing its content): a 32-bit entry count,
/// then per entry the id, the name's length plus one, and the name with its NUL, all little-endian. The
/// image is sized exactly before it is filled; storage that cannot be had stops the process.
void BuildResMap(const CNameMap& names, class CByteBuffer& image);

/// Writes "NameMap.txt", "ContainerNameMap.txt", "ExternalResources.txt" and "ResMap.bin" into the output
/// directory: all four go to their temporaries first (CStagedFile), then each is renamed into place, in that
/// order, with its progress text and "OK" or "failed.". The name text and the "ResMap.bin" image are both
/// built before the first temporary is made; nameTextEstimate sizes the name text up front. Returns false
/// when at least one of them failed, and when standard output has failed (HasOutputFailed) before the first
/// rename, in which case no index file is touched.
bool WriteIndexFiles(TStringBufferA<260>& pathBuffer, CStringViewA outputDirectory, const CNameMap& names,
                     uint64_t nameTextEstimate, const CStringBufferA& containerText,
                     const CStringBufferA& externalText);
