// CWriterPool: resource files created and filled by worker threads, their outcomes printed in the run's order.
#pragma once

#include "archive/ArchiveManager.h"
#include "base/Array.h"
#include "base/Platform.h"
#include "base/StringBuffer.h"
#include "resid/ResourceId.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

/// Whether a failure also prints the operating system's reason on standard error.
enum class EWriteFailureReasons { Silent, Print };

/// Where a message goes: standard output (or wherever Print sends it) or standard error.
enum class EMessageStream { Output, Error };

/// What the files of a run came to.
struct WriteCounts {
    uint64_t FilesWritten = 0;
    uint64_t BytesWritten = 0;
    uint64_t FailedWrites = 0;
    /// Files whose archive bytes did not all arrive although the archive files were long enough when the
    /// file was queued (a file changed during the run, a read error). Their partial files are removed.
    uint64_t FailedReads = 0;
};

/// One resource file as the selecting thread decided it: named after Id in the current folder, Header's
/// bytes first, then Length bytes of archive data from Data's position on.
struct CResourceFile {
    ResourceId Id = 0;
    /// Copied when at most InlineHeaderSize bytes long, borrowed otherwise (see ReleaseHeaders).
    const uint8_t* Header = nullptr;
    uint32_t HeaderLength = 0;
    /// Borrowed from the archive manager, whose archives must stay mounted until the pool is finished.
    CArchiveStream Data;
    uint64_t Length = 0;
};

/// Writes resource files while one selecting thread decides on the next ones, and prints every message of
/// the run in the order in which it was queued, exactly as one thread doing it all would.
///
/// The selecting thread queues descriptions of files (CResourceFile) and messages. Workers take runs of
/// queued files, create each file new (Os::CreateFileIn replaces whatever else has the name) and copy its
/// bytes straight from the archive files, in the kernel where it can (Os::CopyRange) and otherwise through
/// a buffer of their own, so that a resource is never held whole. Workers never print and never allocate:
/// they leave each outcome in its task, and the selecting thread prints finished tasks in order whenever it
/// queues, waits for room or finishes. With a job count of 1 or less there are no workers: each file is
/// written, and each message printed, at once on the caller's thread.
///
/// Owns a ring of tasks, the copy buffers and the folder handles handed to it (SetFolder), all allocated
/// when it starts. Every method is called from the selecting thread. While workers run, the out-of-memory
/// stop first finishes the pool, so that everything queued before the stop is printed.
class CWriterPool {
public:
    static constexpr uint32_t MaxWorkers = 32;
    static constexpr uint32_t InlineHeaderSize = 64;

    /// Starts jobCount worker threads (at most MaxWorkers), none for a job count of 1 or less. When the
    /// system refuses threads, the pool runs with those it got, or with none.
    explicit CWriterPool(uint32_t jobCount, EWriteFailureReasons reasons = EWriteFailureReasons::Silent);
    /// Finishes (as Finish does), closes the folders and ends the threads.
    ~CWriterPool();
    CWriterPool(const CWriterPool&) = delete;
    CWriterPool& operator=(const CWriterPool&) = delete;

    /// Makes folder, an open directory whose path is path (copied), the folder of the files queued from now
    /// on. The pool owns the handle and closes it once those files are done.
    void SetFolder(FileHandle folder, const char* path);

    /// Writes file into the current folder as "%.16I64X.bin" of its id. A file that cannot be created or
    /// written prints "Failed to write" with its path (an emptied file stays); one whose data ends short
    /// prints "Failed to read" and is removed, and its id is kept for GetFailedReads. Blocks while the
    /// queue is full.
    void Write(const CResourceFile& file);

    /// Prints a Print-style message in order after everything queued before it.
    void Message(EMessageStream stream, const char* format, ...);

    /// Waits until every queued file is done and every message printed; returns the counts of the run so
    /// far. The pool stays usable.
    const WriteCounts& Finish();

    /// Finishes when a queued file borrows its header, so that the caller may replace the header's bytes.
    void ReleaseHeaders();

    /// The ids whose files failed their read after being queued, in order; complete after Finish.
    const CArray<ResourceId>& GetFailedReads() const { return m_FailedReads; }

    /// The number of worker threads running; 0 when files are written on the caller's thread.
    uint32_t GetWorkerCount() const { return m_WorkerCount; }

private:
    struct CTask;
    struct CFolder {
        FileHandle Handle = InvalidFileHandle;
        TStringBufferA<260> Path;
    };

    static void RunWorker(void* pool);
    void TakeBatches();
    void Perform(CTask& task, uint8_t* buffer);
    CTask& Claim();
    void Publish();
    void ReapFinished();
    void WaitForOldest();
    void Report(CTask& task);
    static void FinishBeforeStop();

    const EWriteFailureReasons m_Reasons;
    uint32_t m_WorkerCount = 0;
    Os::ThreadHandle m_Threads[MaxWorkers] = {};
    Os::CThreadStart m_Start;
    CTask* m_Tasks = nullptr;
    uint8_t* m_Buffers = nullptr;
    // Folders in use by queued files; a folder task in the queue closes the one before it.
    CFolder m_Folders[4];
    uint32_t m_CurrentFolder = 0;
    CArray<ResourceId> m_FailedReads;
    WriteCounts m_Counts;
    bool m_Borrowing = false;

    // Positions in the run's order: tasks before m_Reaped are printed, those before m_Published may be
    // taken by workers, those before m_Queued are filled. Only the selecting thread moves m_Queued and
    // m_Reaped; m_Published and m_Taken are guarded by m_Mutex.
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
