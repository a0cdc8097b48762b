// CCopyAhead: copies of whole files made on a thread of their own while the run goes on.
#pragma once

#include "base/Array.h"
#include "base/InlineString.h"
#include "base/Platform.h"
#include "base/StringBuffer.h"
#include "base/StringView.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

/// Copies files into a folder on a thread of its own, so that a later step that needs a copy of one finds
/// it made: the reimport's copies of the large archive files overlap its comparisons. Each copy lands under a
/// name of its own in the folder ("N.vorsk-copy", N its position) until Take moves it where it belongs.
///
/// Owns copies of the paths it was given, the thread and the copies not taken: the destructor stops the
/// thread after the file it is copying, removes every copy not taken and, when the folder was made by Start
/// and nothing was taken, removes the folder again (only while it is empty). Every method is called from
/// one thread.
class CCopyAhead {
public:
    CCopyAhead() = default;
    CCopyAhead(const CCopyAhead&) = delete;
    CCopyAhead& operator=(const CCopyAhead&) = delete;
    ~CCopyAhead();

    /// Makes folder (and its missing parents) and starts copying each of sources into it, in order. False
    /// when the folder cannot be made or the thread cannot start: nothing is copied ahead then, and Take
    /// finds nothing. Called at most once.
    [[nodiscard]] bool Start(CStringViewA folder, const CArray<CInlineStringA>& sources);
    /// Waits for the copy of source (the path given to Start, a slash and a backslash counting as one) and
    /// renames it to path. False, with
    /// path untouched, when source was not given, its copy failed or the rename failed: the caller copies it
    /// itself then.
    [[nodiscard]] bool Take(CStringViewA source, CStringViewA path);
    /// Whether source (as Take matches it) is being or was copied ahead.
    bool Holds(CStringViewA source) const { return FindSource(source) != m_Sources.GetCount(); }

private:
    static void RunThread(void* copies);
    void CopyAll();
    void FormatCopyPath(uint64_t position, CStringBufferA& path) const;
    // The position of source among the sources, or their count when it is not one.
    uint64_t FindSource(CStringViewA source) const;

    CInlineStringA m_Folder;
    bool m_MadeFolder = false;
    bool m_Taken = false;
    CArray<CInlineStringA> m_Sources;
    // Per source: the copy is complete under its own name and not taken yet.
    CArray<uint8_t> m_Copied;
    Os::ThreadHandle m_Thread = 0;
    bool m_Running = false;
    Os::CThreadStart m_Start;
    std::mutex m_Mutex;
    std::condition_variable m_CopyDone;
    // Sources copied or failed so far, under the mutex.
    uint64_t m_Done = 0;
    std::atomic<bool> m_Stopping{false};
};
