// Paths of a reimport's destination: where it lies against the source and the tree, and files below the
// source.
#pragma once

#include "base/InlineString.h"
#include "base/StringView.h"

/// Checks, before anything is read, that destination is missing or an empty directory and is neither the
/// source nor inside the source or the tree. False after printing why.
[[nodiscard]] bool CheckDestination(const char* destination, const char* source, const char* tree);

/// The path of path below directory, its components joined by backslashes, "." dropped and ".." applied.
/// False, with relative unspecified, when path does not lie strictly below directory.
[[nodiscard]] bool MakeRelativePath(CStringViewA directory, CStringViewA path, CInlineStringA& relative);
