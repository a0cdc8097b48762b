// Worker threads for resource files, and the one ordered path of the run's messages.
#include "app/WriterPool.h"

#include "base/Console.h"
#include "base/File.h"
#include "base/Memory.h"
#include "base/Platform.h"

#include <atomic>
#include <new>
#include <system_error>

namespace {

// A recycled buffer larger than this is freed rather than kept for the next resource: one huge resource
// must not leave a huge buffer behind for every later one.
constexpr uint64_t RecycledBufferLimit = uint64_t(1) << 20;

// The pool that the out-of-memory stop reports to: the latest one with threads.
std::atomic<CWriterPool*> g_StopPool{nullptr};

} // namespace

// A write or a message, in the run's order. A task is queued by the selecting thread, written by one worker,
// and printed by whichever thread prints when it reaches the head of the queue.
struct CWriterPool::CTask {
    CTask* Next = nullptr;
    uint64_t Sequence = 0;
    bool IsWrite = false;
    bool Done = false;
    bool Written = false;
    uint32_t Error = 0;
    // The storage counted against the waiting limit while queued or being written.
    uint64_t CountedBytes = 0;
    TStringBufferA<260> Path;
    CStringBufferA Text;
    CByteBuffer Bytes;
};

namespace {

// The task the calling worker is writing, so that an out-of-memory stop there knows its place in the order.
thread_local const void* t_Writing = nullptr;
// Set while the calling thread prints tasks that it took off the queue.
thread_local bool t_Printing = false;

} // namespace

CWriterPool::CWriterPool(uint32_t jobCount, EWriteFailureReasons reasons, uint64_t waitingLimit)
    : m_Reasons(reasons), m_WaitingLimit(waitingLimit) {
    if (jobCount <= 1)
        return;
    if (jobCount > MaxWorkers)
        jobCount = MaxWorkers;
    for (uint32_t i = 0; i < jobCount; ++i) {
        // std::thread reports a refusal of the system, or a lack of memory for the thread's start, by an
        // exception, its only way to do so.
        try {
            m_Workers[i] = std::thread([this] { RunWorker(); });
        } catch (const std::system_error&) {
            break;
        } catch (const std::bad_alloc&) {
            StopOutOfMemory();
        }
        ++m_WorkerCount;
    }
    if (m_WorkerCount > 0) {
        g_StopPool.store(this);
        SetOutOfMemoryHook(&OnOutOfMemory);
    }
}

CWriterPool::~CWriterPool() {
    Finish();
    {
        const std::lock_guard<std::mutex> guard(m_Mutex);
        m_Closing = true;
    }
    m_WorkReady.notify_all();
    for (uint32_t i = 0; i < m_WorkerCount; ++i)
        m_Workers[i].join();
    CWriterPool* self = this;
    if (g_StopPool.compare_exchange_strong(self, nullptr))
        SetOutOfMemoryHook(nullptr);
    while (CTask* task = m_FreeTasks) {
        m_FreeTasks = task->Next;
        delete task;
    }
}

void CWriterPool::Write(const char* path, CByteBuffer& bytes) {
    if (m_WorkerCount == 0) {
        const bool written = WriteWholeFile(path, bytes.GetData(), bytes.GetSize());
        const uint32_t error = written ? 0 : Os::GetLastErrorCode();
        Count(written, bytes.GetSize());
        if (!written)
            PrintFailure(path, error);
        return;
    }
    CTask* task = TakeFreeTask();
    task->IsWrite = true;
    task->Path.Assign(path);
    task->Bytes.Swap(bytes);
    (void)bytes.Resize(0);
    task->CountedBytes = task->Bytes.GetCapacity();

    std::unique_lock<std::mutex> lock(m_Mutex);
    // A buffer beyond the limit gets in once nothing else waits, and then waits alone.
    m_RoomReady.wait(
        lock, [&] { return m_WaitingBytes == 0 || m_WaitingBytes + task->CountedBytes <= m_WaitingLimit; });
    m_WaitingBytes += task->CountedBytes;
    if (m_WaitingBytes > m_PeakWaitingBytes)
        m_PeakWaitingBytes = m_WaitingBytes;
    Enqueue(task, lock);
}

void CWriterPool::Message(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    if (m_WorkerCount == 0) {
        PrintV(format, arguments);
        va_end(arguments);
        return;
    }
    // Formatting may allocate, so it happens before the lock is taken: the out-of-memory stop needs it.
    CTask* task = TakeFreeTask();
    task->IsWrite = false;
    task->Done = true;
    task->Text.FormatV(format, arguments);
    va_end(arguments);
    std::unique_lock<std::mutex> lock(m_Mutex);
    Enqueue(task, lock);
}

const WriteCounts& CWriterPool::Finish() {
    if (m_WorkerCount > 0) {
        std::unique_lock<std::mutex> lock(m_Mutex);
        m_Idle.wait(lock, [&] { return m_Head == nullptr && !m_Printing; });
    }
    return m_Counts;
}

CWriterPool::CTask* CWriterPool::TakeFreeTask() {
    {
        const std::lock_guard<std::mutex> guard(m_Mutex);
        if (CTask* task = m_FreeTasks) {
            m_FreeTasks = task->Next;
            m_FreeBytes -= task->Bytes.GetCapacity();
            task->Next = nullptr;
            return task;
        }
    }
    CTask* task = new (std::nothrow) CTask;
    if (task == nullptr)
        StopOutOfMemory();
    return task;
}

void CWriterPool::Enqueue(CTask* task, std::unique_lock<std::mutex>& lock) {
    task->Sequence = m_NextSequence++;
    if (m_Tail != nullptr)
        m_Tail->Next = task;
    else
        m_Head = task;
    m_Tail = task;
    if (task->IsWrite) {
        if (m_NextWrite == nullptr)
            m_NextWrite = task;
        // Every write wakes a worker, so that writes queued while one worker was waking up do not all fall
        // to that one. Waking a worker that finds nothing left costs little; a waiting write costs a core.
        m_WorkReady.notify_one();
    }
    if (task == m_Head)
        PrintCompleted(lock);
}

void CWriterPool::RunWorker() {
    std::unique_lock<std::mutex> lock(m_Mutex);
    for (;;) {
        m_WorkReady.wait(lock, [&] {
            return m_Closing || (m_NextWrite != nullptr && m_NextWrite->Sequence < m_StopSequence);
        });
        CTask* task = m_NextWrite;
        if (task == nullptr || task->Sequence >= m_StopSequence)
            return;
        CTask* next = task->Next;
        while (next != nullptr && !next->IsWrite)
            next = next->Next;
        m_NextWrite = next;
        lock.unlock();

        t_Writing = task;
        const bool written =
            WriteWholeFile(task->Path.GetData(), task->Bytes.GetData(), task->Bytes.GetSize());
        const uint32_t error = written ? 0 : Os::GetLastErrorCode();
        t_Writing = nullptr;

        lock.lock();
        task->Done = true;
        task->Written = written;
        task->Error = error;
        Count(written, task->Bytes.GetSize());
        m_WaitingBytes -= task->CountedBytes;
        m_RoomReady.notify_one();
        PrintCompleted(lock);
    }
}

// Prints the completed tasks at the head of the queue, in order, with the lock released while printing so
// that the workers go on meanwhile. One thread prints at a time; a task completed while it prints is picked
// up by its next round.
void CWriterPool::PrintCompleted(std::unique_lock<std::mutex>& lock) {
    if (m_Printing)
        return;
    m_Printing = true;
    t_Printing = true;
    while (m_Head != nullptr && m_Head->Done && m_Head->Sequence < m_StopSequence) {
        CTask* first = m_Head;
        CTask* last = first;
        while (last->Next != nullptr && last->Next->Done && last->Next->Sequence < m_StopSequence)
            last = last->Next;
        m_Head = last->Next;
        if (m_Head == nullptr)
            m_Tail = nullptr;
        last->Next = nullptr;
        lock.unlock();
        for (CTask* task = first; task != nullptr; task = task->Next)
            Report(*task);
        FlushConsole();
        lock.lock();
        while (first != nullptr) {
            CTask* next = first->Next;
            Recycle(first);
            first = next;
        }
    }
    t_Printing = false;
    m_Printing = false;
    m_Idle.notify_all();
}

void CWriterPool::Report(CTask& task) {
    if (!task.IsWrite)
        Print("%s", task.Text.GetData());
    else if (!task.Written)
        PrintFailure(task.Path.GetData(), task.Error);
}

// Keeps the task for a later write or message, with its buffer as long as the kept buffers stay small.
void CWriterPool::Recycle(CTask* task) {
    const uint64_t capacity = task->Bytes.GetCapacity();
    if (capacity > RecycledBufferLimit || m_FreeBytes + capacity > m_WaitingLimit / 4)
        task->Bytes.Release();
    (void)task->Bytes.Resize(0);
    m_FreeBytes += task->Bytes.GetCapacity();
    task->Done = false;
    task->Written = false;
    task->Next = m_FreeTasks;
    m_FreeTasks = task;
}

void CWriterPool::Count(bool written, uint64_t size) {
    if (!written) {
        ++m_Counts.FailedWrites;
        return;
    }
    ++m_Counts.FilesWritten;
    m_Counts.BytesWritten += size;
}

void CWriterPool::PrintFailure(const char* path, uint32_t error) {
    Print("Failed to write \"%s\".\r\n", path);
    if (m_Reasons != EWriteFailureReasons::Print)
        return;
    TStringBufferA<256> reason;
    Os::DescribeError(error, reason);
    PrintError("VorskExtract: cannot write \"");
    PrintError(path);
    PrintError("\": ");
    PrintError(reason.GetData());
    PrintError(".\n");
}

// Lets everything before the failing step print: the write this thread was doing, or, on the selecting
// thread, everything queued so far. Writes after that point are not started. When several threads run out
// at once, the earliest point in the run's order wins, as it would have when one thread did everything.
void CWriterPool::StopForOutOfMemory() {
    // A thread that runs out while printing cannot wait for its own printing to end.
    if (t_Printing)
        return;
    std::unique_lock<std::mutex> lock(m_Mutex);
    const auto* writing = static_cast<const CTask*>(t_Writing);
    const uint64_t stop = writing != nullptr ? writing->Sequence : m_NextSequence;
    if (stop < m_StopSequence) {
        m_StopSequence = stop;
        m_Idle.notify_all();
    }
    m_Idle.wait(lock,
                [&] { return !m_Printing && (m_Head == nullptr || m_Head->Sequence >= m_StopSequence); });
}

void CWriterPool::OnOutOfMemory() {
    if (CWriterPool* pool = g_StopPool.load())
        pool->StopForOutOfMemory();
}
