// Where a reimport's destination lies against the source and the tree, and the files below the source.
#include "app/DestinationPath.h"

#include "base/Array.h"
#include "base/Console.h"
#include "base/Platform.h"
#include "base/StringBuffer.h"

#include <algorithm>

namespace {

// The path's components with "." dropped and ".." applied; an unresolvable ".." stays in front. Absolute
// tells whether the path began at a root.
struct CPathComponents {
    bool Absolute = false;
    CArray<CStringViewA> Parts;
};

void SplitPath(CStringViewA path, CPathComponents& components) {
    components.Absolute = path.GetLength() > 0 && (path[0] == '/' || path[0] == '\\');
    uint64_t start = 0;
    for (uint64_t i = 0; i <= path.GetLength(); ++i) {
        if (i < path.GetLength() && path[i] != '/' && path[i] != '\\')
            continue;
        const CStringViewA part = path.Substring(start, i - start);
        start = i + 1;
        if (part.IsEmpty() || part == ".")
            continue;
        const uint64_t count = components.Parts.GetCount();
        if (part == ".." && count > 0 && !(components.Parts[count - 1] == "..")) {
            components.Parts.Resize(count - 1);
            continue;
        }
        AppendGrowing(components.Parts, part);
    }
}

// The absolute form of a path that need not exist: its longest existing beginning resolved, the rest as
// written, joined by slashes.
void GetFullPathOfAny(const char* path, CStringBufferA& fullPath) {
    CInlineStringA head(path);
    CInlineStringA tail;
    while (!Os::GetFullPath(head.GetData(), fullPath)) {
        const uint64_t slash =
            std::max(head.GetView().FindLastChar('/') + 1, head.GetView().FindLastChar('\\') + 1);
        CInlineStringA part(head.GetView().Substring(slash));
        if (!tail.IsEmpty())
            part.Append("/");
        part.Append(tail.GetView());
        tail = part;
        if (slash == 0) {
            head.Assign(".");
        } else {
            head.Erase(slash - 1, CInlineStringA::npos);
            if (head.IsEmpty())
                head.Assign("/");
        }
        if (head.GetView() == ".") {
            (void)Os::GetFullPath(".", fullPath);
            break;
        }
    }
    if (!tail.IsEmpty()) {
        fullPath.Append("/");
        fullPath.Append(CStringViewA(tail.GetData(), tail.GetLength()));
    }
}

// True when inner is outer or lies below it, comparing their full forms component by component.
bool IsSameOrInside(const char* inner, const char* outer) {
    CPathComponents innerParts;
    CPathComponents outerParts;
    SplitPath(inner, innerParts);
    SplitPath(outer, outerParts);
    if (innerParts.Parts.GetCount() < outerParts.Parts.GetCount())
        return false;
    for (uint64_t i = 0; i < outerParts.Parts.GetCount(); ++i) {
        if (!(innerParts.Parts[i] == outerParts.Parts[i]))
            return false;
    }
    return true;
}

} // namespace

bool CheckDestination(const char* destination, const char* source, const char* tree) {
    const EDirectoryState state = Os::GetDirectoryState(destination);
    if (state == EDirectoryState::NotEmpty || state == EDirectoryState::NotADirectory) {
        Print("Cannot reimport into \"%s\": it exists and is not an empty directory.\n", destination);
        return false;
    }
    CStringBufferA fullDestination;
    GetFullPathOfAny(destination, fullDestination);
    for (const char* directory : {source, tree}) {
        CStringBufferA full;
        if (Os::GetFullPath(directory, full) && IsSameOrInside(fullDestination.GetData(), full.GetData())) {
            Print("Cannot reimport into \"%s\": it is \"%s\" or lies inside it.\n", destination, directory);
            return false;
        }
    }
    return true;
}

bool MakeRelativePath(CStringViewA directory, CStringViewA path, CInlineStringA& relative) {
    CPathComponents base;
    CPathComponents full;
    SplitPath(directory, base);
    SplitPath(path, full);
    const uint64_t baseCount = base.Parts.GetCount();
    if (base.Absolute != full.Absolute || full.Parts.GetCount() <= baseCount)
        return false;
    for (uint64_t i = 0; i < baseCount; ++i) {
        if (!(base.Parts[i] == full.Parts[i]))
            return false;
    }
    relative.Assign("");
    for (uint64_t i = baseCount; i < full.Parts.GetCount(); ++i) {
        if (full.Parts[i] == "..")
            return false;
        if (i > baseCount)
            relative.Append("\\");
        relative.Append(full.Parts[i]);
    }
    return true;
}
