// The resource files a run expects in a tree, and the files of the tree that it does not expect.
#pragma once

#include "base/Array.h"
#include "base/InlineString.h"
#include "base/StringView.h"
#include "resid/ResourceId.h"

#include <cstdint>

/// The library folders of a run and, in each, the ids of the resource files the run accounts for. Owns
/// copies of the folder names; grows by one record per resource.
class CExpectedTreeFiles {
public:
    /// Makes name the current library folder (added once, however often it is named).
    void BeginLibrary(CStringViewA name);
    /// Expects the file of id in the current library folder.
    void Expect(ResourceId id);

    /// Calls unexpected(context, library, fileName, id, hasId) for every file of tree's library folders that
    /// is not expected, folder by folder in the order they were begun, files in listing order. hasId is false
    /// when the name is not 16 upper-case hexadecimal digits and ".bin". A folder that cannot be listed has
    /// no files. The library and file name views are zero-terminated and lent for the call.
    using UnexpectedSink = void (*)(void* context, CStringViewA library, CStringViewA fileName, ResourceId id,
                                    bool hasId);
    void FindUnexpected(CStringViewA tree, UnexpectedSink unexpected, void* context);

private:
    struct CExpectedFile {
        uint64_t Library = 0;
        ResourceId Id = 0;
    };
    // A library folder being listed, for the listing's filter.
    struct CFolderScan {
        const CExpectedTreeFiles* Files;
        uint64_t Library;
    };

    static bool IsBefore(const CExpectedFile& left, const CExpectedFile& right) {
        return left.Library != right.Library ? left.Library < right.Library : left.Id < right.Id;
    }
    // Whether the sorted records hold file.
    bool IsExpected(const CExpectedFile& file) const;
    static bool KeepUnexpected(void* context, CStringViewA fileName);

    CArray<CInlineStringA> m_Libraries;
    uint64_t m_Current = 0;
    CArray<CExpectedFile> m_Files;
};
