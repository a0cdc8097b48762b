// Paths of a reimport's destination: where it lies against the source and the tree, and files below the
// source.
#pragma once

#include "base/InlineString.h"
#include "base/StringView.h"

/// How two paths are compared component by component. Both take '/' and '\\' as separators and ignore
/// repeated and trailing ones. Posix: letter case counts. Windows: ASCII letter case is ignored, and a
/// drive ("C:") begins an absolute path as a leading separator does.
enum class EPathRules { Posix, Windows };

/// The rules of the system the tool is built for.
#ifdef _WIN32
constexpr EPathRules NativePathRules = EPathRules::Windows;
#else
constexpr EPathRules NativePathRules = EPathRules::Posix;
#endif

/// Checks, before anything is read, that destination is missing or an empty directory and is neither the
/// source nor inside the source or the tree. False after printing why.
[[nodiscard]] bool CheckDestination(CStringViewA destination, CStringViewA source, CStringViewA tree);

/// True when the path inner is outer or lies below it, "." dropped and ".." applied on both.
[[nodiscard]] bool IsSameOrInside(CStringViewA inner, CStringViewA outer, EPathRules rules);

/// The path of path below directory, its components joined by backslashes, "." dropped and ".." applied;
/// the components keep path's letter case. False, with relative unspecified, when path does not lie
/// strictly below directory.
[[nodiscard]] bool MakeRelativePath(CStringViewA directory, CStringViewA path, EPathRules rules,
                                    CInlineStringA& relative);
