// CWriterPool: resource files written by worker threads, with the run's messages printed in the run's order.
#pragma once

#include "base/ByteBuffer.h"
#include "base/StringBuffer.h"

#include <condition_variable>
#include <cstdarg>
#include <cstdint>
#include <mutex>
#include <thread>

/// Whether a failed write also prints the operating system's reason on standard error.
enum class EWriteFailureReasons { Silent, Print };

/// What the writes of a run came to.
struct WriteCounts {
    uint64_t FilesWritten = 0;
    uint64_t BytesWritten = 0;
    uint64_t FailedWrites = 0;
};

/// Creates, writes and closes resource files on worker threads while one selecting thread reads the next
/// resources, and prints every message of the run as if one thread had done it all: a message, or the
/// "Failed to write" line of a write, is printed (and flushed) only once everything queued before it is
/// done and printed.
///
/// With a job count of 1 or less there are no threads: each write and each message happens at once on the
/// caller's thread, exactly as a plain WriteWholeFile and Print would.
///
/// Otherwise the pool owns the queued tasks: the path text is copied, and the bytes are taken over from the
/// caller's buffer, which gets an empty buffer back (one recycled from an earlier write when there is one,
/// so it usually has its storage already). The storage of the buffers queued or being written is capped at
/// the waiting limit; a single buffer larger than that is let in only when nothing else waits. Methods are
/// called from one thread; the workers only write files and print.
///
/// While a pool with threads exists it takes part in the out-of-memory stop (base/Memory): wherever memory
/// runs out, every message that comes before the failing step in the run's order is printed first, and no
/// write after it is started. Writes that had already started may still leave their files behind.
class CWriterPool {
public:
    static constexpr uint32_t MaxWorkers = 32;
    // 8 MiB keeps two writers busy (about 1,000 resources of a typical size wait at the cap) while the peak
    // memory of a run stays within its header libraries and a few of its largest resources: 16 and 64 MiB
    // were no faster and added their size to the peak.
    static constexpr uint64_t DefaultWaitingLimit = uint64_t(8) << 20;

    /// Starts jobCount worker threads (at most MaxWorkers), none for a job count of 1 or less. When the
    /// system refuses threads, the pool runs with those it got, or with none.
    explicit CWriterPool(uint32_t jobCount, EWriteFailureReasons reasons = EWriteFailureReasons::Silent,
                         uint64_t waitingLimit = DefaultWaitingLimit);
    /// Waits for every queued write and message (as Finish does), then ends the threads.
    ~CWriterPool();
    CWriterPool(const CWriterPool&) = delete;
    CWriterPool& operator=(const CWriterPool&) = delete;

    /// Writes the size bytes of bytes to path as WriteWholeFile does; a failure prints "Failed to write"
    /// with the path, in order. With workers, the path is copied, bytes is emptied (its storage traded for a
    /// recycled one) and the call blocks while the waiting limit is reached.
    void Write(const char* path, CByteBuffer& bytes);

    /// Prints a Print-style message in order after everything queued before it.
    void Message(const char* format, ...);

    /// Waits until every queued write is done and every message printed; returns the counts of the run so
    /// far. The pool stays usable.
    const WriteCounts& Finish();

    /// The number of worker threads running; 0 when writes happen on the caller's thread.
    uint32_t GetWorkerCount() const { return m_WorkerCount; }
    /// The largest storage that was ever queued or being written at once.
    uint64_t GetPeakWaitingBytes() const { return m_PeakWaitingBytes; }

private:
    struct CTask;

    CTask* TakeFreeTask();
    void Enqueue(CTask* task, std::unique_lock<std::mutex>& lock);
    void RunWorker();
    void PrintCompleted(std::unique_lock<std::mutex>& lock);
    void Report(CTask& task);
    void Recycle(CTask* task);
    void Count(bool written, uint64_t size);
    void PrintFailure(const char* path, uint32_t error);
    void StopForOutOfMemory();
    static void OnOutOfMemory();

    const EWriteFailureReasons m_Reasons;
    const uint64_t m_WaitingLimit;
    uint32_t m_WorkerCount = 0;
    std::thread m_Workers[MaxWorkers];

    // Guarded by m_Mutex. The queue runs from m_Head to m_Tail in the run's order; m_NextWrite is the first
    // write that no worker has taken yet.
    std::mutex m_Mutex;
    std::condition_variable m_WorkReady;
    std::condition_variable m_RoomReady;
    std::condition_variable m_Idle;
    CTask* m_Head = nullptr;
    CTask* m_Tail = nullptr;
    CTask* m_NextWrite = nullptr;
    CTask* m_FreeTasks = nullptr;
    uint64_t m_FreeBytes = 0;
    uint64_t m_NextSequence = 0;
    // Nothing at or after this place in the run's order is started or printed: set by the out-of-memory stop.
    uint64_t m_StopSequence = UINT64_MAX;
    uint64_t m_WaitingBytes = 0;
    uint64_t m_PeakWaitingBytes = 0;
    bool m_Printing = false;
    bool m_Closing = false;
    WriteCounts m_Counts;
};
