// Where a reimport's destination lies against the source and the tree, and the files below the source.
#include "app/DestinationPath.h"

#include "base/Array.h"
#include "base/AsciiCase.h"
#include "base/Console.h"
#include "base/Platform.h"
#include "base/StringBuffer.h"

namespace {

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

// The length of the path's root: a leading separator, or under the Windows rules a drive with the
// separator after it ("C:\\"), or a drive alone ("C:", which stands for that drive's working directory).
uint64_t GetRootLength(CStringViewA path, EPathRules rules) {
    if (rules == EPathRules::Windows && path.GetLength() >= 2 && path[1] == ':' &&
        LowerAscii(path[0]) >= 'a' && LowerAscii(path[0]) <= 'z')
        return path.GetLength() > 2 && IsSeparator(path[2]) ? 3 : 2;
    return path.GetLength() > 0 && IsSeparator(path[0]) ? 1 : 0;
}

// The length of the path without its last component and the separators around it; a root stays whole.
uint64_t GetParentLength(CStringViewA path, EPathRules rules) {
    const uint64_t root = GetRootLength(path, rules);
    uint64_t end = path.GetLength();
    while (end > root && IsSeparator(path[end - 1]))
        --end;
    while (end > root && !IsSeparator(path[end - 1]))
        --end;
    while (end > root && IsSeparator(path[end - 1]))
        --end;
    return end;
}

bool AreComponentsEqual(CStringViewA left, CStringViewA right, EPathRules rules) {
    return rules == EPathRules::Windows ? EqualsIgnoringCase(left, right) : left == right;
}

// The path's components with "." dropped and ".." applied. Under the Windows rules a drive is the first
// component. A ".." at the root is dropped, as the system does; one that a relative path cannot resolve
// stays in front. Absolute tells whether the path began at a root.
struct CPathComponents {
    bool Absolute = false;
    uint64_t RootCount = 0;
    CArray<CStringViewA> Parts;
};

void SplitPath(CStringViewA path, EPathRules rules, CPathComponents& components) {
    const uint64_t root = GetRootLength(path, rules);
    components.Absolute = root != 0;
    if (root >= 2) {
        AppendGrowing(components.Parts, path.Substring(0, 2));
        components.RootCount = 1;
    }
    uint64_t start = root;
    for (uint64_t i = root; i <= path.GetLength(); ++i) {
        if (i < path.GetLength() && !IsSeparator(path[i]))
            continue;
        const CStringViewA part = path.Substring(start, i - start);
        start = i + 1;
        if (part.IsEmpty() || part == ".")
            continue;
        const uint64_t count = components.Parts.GetCount();
        if (part == ".." && count > components.RootCount && !(components.Parts[count - 1] == "..")) {
            components.Parts.Resize(count - 1);
            continue;
        }
        if (part == ".." && components.Absolute && count == components.RootCount)
            continue;
        AppendGrowing(components.Parts, part);
    }
}

// True when path is base or lies below it: it begins with base's components, and none after them is a
// ".." that climbs out again (one that a relative path cannot resolve stays in front, so "../.." is not
// below "..").
bool IsAtOrBelow(const CPathComponents& path, const CPathComponents& base, EPathRules rules) {
    const uint64_t count = base.Parts.GetCount();
    if (path.Absolute != base.Absolute || path.Parts.GetCount() < count)
        return false;
    for (uint64_t i = 0; i < path.Parts.GetCount(); ++i) {
        if (i < count ? !AreComponentsEqual(path.Parts[i], base.Parts[i], rules) : path.Parts[i] == "..")
            return false;
    }
    return true;
}

// The absolute form of a path that need not exist: its longest existing beginning resolved, the rest
// appended as written. The path as written when not even its root resolves.
void GetFullPathOfAny(CStringViewA path, CStringBufferA& fullPath) {
    uint64_t head = path.GetLength();
    while (!Os::GetFullPath(head == 0 ? CStringViewA(".") : path.Substring(0, head), fullPath)) {
        const uint64_t parent = GetParentLength(path.Substring(0, head), NativePathRules);
        if (head == 0 || parent == head) {
            fullPath.Assign(path);
            return;
        }
        head = parent;
    }
    if (head < path.GetLength()) {
        fullPath.Append("/");
        fullPath.Append(path.Substring(head));
    }
}

} // namespace

bool CheckDestination(CStringViewA destination, CStringViewA source, CStringViewA tree) {
    // Paths are far shorter than INT_MAX characters.
    const int length = static_cast<int>(destination.GetLength());
    const EDirectoryState state = Os::GetDirectoryState(destination);
    if (state == EDirectoryState::NotEmpty || state == EDirectoryState::NotADirectory) {
        Print("Cannot reimport into \"%.*s\": it exists and is not an empty directory.\n", length,
              destination.GetData());
        return false;
    }
    CStringBufferA fullDestination;
    GetFullPathOfAny(destination, fullDestination);
    for (const CStringViewA directory : {source, tree}) {
        CStringBufferA full;
        if (Os::GetFullPath(directory, full) &&
            IsSameOrInside(fullDestination.GetView(), full.GetView(), NativePathRules)) {
            Print("Cannot reimport into \"%.*s\": it is \"%.*s\" or lies inside it.\n", length,
                  destination.GetData(), static_cast<int>(directory.GetLength()), directory.GetData());
            return false;
        }
    }
    return true;
}

bool IsSameOrInside(CStringViewA inner, CStringViewA outer, EPathRules rules) {
    CPathComponents innerParts;
    CPathComponents outerParts;
    SplitPath(inner, rules, innerParts);
    SplitPath(outer, rules, outerParts);
    return IsAtOrBelow(innerParts, outerParts, rules);
}

bool MakeRelativePath(CStringViewA directory, CStringViewA path, EPathRules rules, CInlineStringA& relative) {
    CPathComponents base;
    CPathComponents full;
    SplitPath(directory, rules, base);
    SplitPath(path, rules, full);
    const uint64_t baseCount = base.Parts.GetCount();
    if (full.Parts.GetCount() <= baseCount || !IsAtOrBelow(full, base, rules))
        return false;
    relative.Assign("");
    for (uint64_t i = baseCount; i < full.Parts.GetCount(); ++i) {
        if (i > baseCount)
            relative.Append("\\");
        relative.Append(full.Parts[i]);
    }
    return true;
}
