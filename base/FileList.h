// CFileList: the sorted listing of the files of a directory that match a wildcard pattern.
#pragma once

#include "base/Array.h"
#include "base/ByteBuffer.h"
#include "base/StringView.h"

#include <cstdint>

/// The paths of the regular files in one directory that match a pattern, each formed as the directory, a
/// separator when the directory does not already end in one, and the file name. Paths are kept one after
/// another in a pool, zero-terminated, with an offset per path; storage is reused from scan to scan.
/// Listing order is by name compared after ASCII upper-casing, ties broken by the raw bytes, the same on
/// every platform and file system, so that runs are repeatable.
class CFileList {
public:
    /// Decides whether a matching file name joins the list; the name is lent for the call.
    using NameFilter = bool (*)(void* context, CStringViewA fileName);

    CFileList() = default;
    CFileList(const CFileList&) = delete;
    CFileList& operator=(const CFileList&) = delete;

    /// Empties the list, then lists directory's files that match pattern ("*" and literal characters,
    /// ASCII letter case ignored). True when the directory could be enumerated, also when nothing matched;
    /// false when it could not (the list stays empty). Running out of memory for the paths stops the process
    /// (StopOutOfMemory). An empty directory becomes a single backslash. With a filter, only the names it
    /// keeps are stored and sorted: a scan for a few names among many stays cheap.
    [[nodiscard]] bool FindFiles(CStringViewA directory, CStringViewA pattern, NameFilter filter = nullptr,
                                 void* filterContext = nullptr);

    /// The next path in listing order, or null at the end. Valid until the next FindFiles.
    const char* NextPath();

    uint64_t GetCount() const { return m_Offsets.GetCount(); }
    /// Path at position index (below GetCount). Valid until the next FindFiles.
    const char* GetPath(uint64_t index) const;

private:
    static void CollectName(void* context, CStringViewA fileName);
    void SortByName(uint64_t prefixLength);

    CArray<uint64_t> m_Offsets;
    uint32_t m_Cursor = 0;
    CByteBuffer m_Pool{CByteBuffer::DefaultGranule};
    // The directory part of every path and the filter, borrowed from FindFiles while it scans.
    CStringViewA m_Prefix;
    NameFilter m_Filter = nullptr;
    void* m_FilterContext = nullptr;
};
