// CWriterPool: resource files written or compared by worker threads, and the run's messages printed in the
// run's order.
#pragma once

#include "app/FileComparison.h"
#include "app/ResourceFile.h"
#include "base/Array.h"
#include "base/StringBuffer.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>

/// Whether a failure also prints the operating system's reason on standard error.
enum class EWriteFailureReasons { Silent, Print };

/// What the files of a run came to. FailedReads counts files whose data ended short on a writer (an archive
/// file changed during the run, a read error).
struct CWriteCounts {
    uint64_t FilesWritten = 0;
    uint64_t BytesWritten = 0;
    uint64_t FailedWrites = 0;
    uint64_t FailedReads = 0;
};

/// What a comparison queued with CWriterPool::Compare came to: the queued file, the path compared, the
/// name handed over with it, and the outcome with the size found. Lent for the call.
struct CComparisonResult {
    const CResourceFile& File;
    CStringViewA Path;
    CStringViewA Name;
    EFileComparison Outcome;
    uint64_t FoundSize;
};

/// Takes the outcomes of queued comparisons on the selecting thread, in the order they were queued.
class CComparisonSink {
public:
    virtual void TakeComparison(const CComparisonResult& result) = 0;

protected:
    ~CComparisonSink() = default;
};

/// Writes resource files (WriteResourceFile), or compares them with the files of a tree
/// (CompareFileWithContent), on worker threads while the selecting thread decides on the next ones, and
/// prints every message and failure, and hands every comparison's outcome to its sink, in the order in which
/// they were queued, exactly as one thread doing it all would. Workers take batches of queued files; they
/// never print and never allocate (but for the path of a comparison beyond 259 characters, which the system
/// layer copies), but leave each outcome in its task, and the selecting thread reports finished tasks in
/// order whenever it queues, waits for room or finishes. With a job count of 1 or less there are no workers:
/// each file is written or compared, and each message printed, at once.
///
/// Owns a ring of tasks, one copy buffer per worker (both allocated when it starts) and the current folder's
/// handle. Every method is called from the selecting thread. While workers run, the out-of-memory stop
/// finishes the pool first, so that everything queued before the stop is printed.
class CWriterPool {
public:
    static constexpr uint32_t MaxWorkers = 32;
    static constexpr uint32_t InlineHeaderSize = 64;

    /// Starts jobCount worker threads (at most MaxWorkers; as many as the system grants), none for 1 or less.
    explicit CWriterPool(uint32_t jobCount, EWriteFailureReasons reasons = EWriteFailureReasons::Silent);
    /// Finishes, closes the folder and ends the threads.
    ~CWriterPool();
    CWriterPool(const CWriterPool&) = delete;
    CWriterPool& operator=(const CWriterPool&) = delete;

    /// Finishes, then makes folder, an open directory at path (copied), the folder of the files written from
    /// now on; the pool closes the handle.
    void SetFolder(FileHandle folder, CStringViewA path);
    /// Writes file into the folder, or queues it and blocks while the queue is full. The header is copied
    /// when at most InlineHeaderSize bytes long and borrowed until ReleaseHeaders otherwise; the archives
    /// must stay mounted until Finish. A failed read's id is kept for GetFailedReads.
    void Write(const CResourceFile& file);
    /// Compares the file at path (copied) with the bytes that Write would write for file, or queues the
    /// comparison, and hands the outcome to sink in order after everything queued before it. The header and
    /// name are borrowed until ReleaseHeaders; the archives must stay mounted until Finish.
    void Compare(const CResourceFile& file, CStringViewA path, CStringViewA name, CComparisonSink& sink);
    /// Turns on the quick check of the comparisons queued from now on: a file at path of the size that Write
    /// would write, last modified before modifiedBefore (an Os::CFileStamp time), is taken as the same
    /// without reading either side, as long as the archives hold the file's bytes. 0 turns it off. The path
    /// is split at its last backslash into the folder and the file's name.
    void SetQuickCheck(uint64_t modifiedBefore) { m_QuickBefore = modifiedBefore; }
    /// Prints a Print-style message in order after everything queued before it.
    void Message(const char* format, ...);
    /// Writes text (copied) to standard error in order after everything queued before it.
    void ErrorMessage(CStringViewA text);
    /// Waits until every queued file is done and everything printed; returns the counts so far.
    const CWriteCounts& Finish();
    /// Finishes when a queued file borrows its header or name, so that the caller may replace their bytes.
    void ReleaseHeaders();
    /// The ids of the files whose data ended short, in order; complete after Finish.
    const CArray<ResourceId>& GetFailedReads() const { return m_FailedReads; }

private:
    enum class ETaskKind : uint8_t;
    struct CTask;

    static void RunWorker(void* pool);
    void TakeBatches();
    CTask& Claim();
    CTask& ClaimFile(const CResourceFile& file, ETaskKind kind);
    void Submit(CTask& task);
    void Publish();
    void ReapFinished();
    bool CatchUp();
    bool PassesQuickCheck(const CResourceFile& file, CStringViewA path, Os::CFileStamp& stamp);
    void WaitForOldest();
    void Report(CTask& task);
    CTask* ClaimMessage();
    static void FinishBeforeStop();

    const EWriteFailureReasons m_Reasons;
    uint32_t m_WorkerCount = 0;
    Os::ThreadHandle m_Threads[MaxWorkers] = {};
    Os::CThreadStart m_Start;
    CTask* m_Tasks = nullptr;
    uint8_t* m_Buffers = nullptr;
    FileHandle m_Folder = InvalidFileHandle;
    TStringBufferA<260> m_FolderPath;
    CArray<ResourceId> m_FailedReads;
    CWriteCounts m_Counts;
    bool m_Borrowing = false;
    uint64_t m_QuickBefore = 0;
    FileHandle m_QuickFolder = InvalidFileHandle;
    TStringBufferA<260> m_QuickFolderPath;
    // Positions in the run's order: tasks before m_Reaped are printed, before m_Taken taken by a worker,
    // before m_Published handed to the workers, before m_Queued filled. The selecting thread alone moves
    // m_Reaped and m_Queued; m_Mutex guards the rest.
    uint64_t m_Reaped = 0;
    uint64_t m_Queued = 0;
    std::mutex m_Mutex;
    std::condition_variable m_WorkReady;
    std::condition_variable m_TaskDone;
    uint64_t m_Published = 0;
    uint64_t m_Taken = 0;
    uint32_t m_BuffersGiven = 0;
    bool m_SelectorWaiting = false;
    bool m_Closing = false;
};
