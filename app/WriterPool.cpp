// Worker threads that write or compare resource files, and the one ordered path of the run's messages.
#include "app/WriterPool.h"

#include "app/ResourceReader.h"
#include "base/Console.h"
#include "base/Memory.h"
#include "base/Platform.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>

namespace {

// Tasks that may wait: enough for several batches of every worker, and for a long run of messages.
constexpr uint64_t QueueCapacity = 2048;
// A worker takes at most this many files, or about this many bytes, and its share of what waits when that
// is less: lock traffic and wake-ups come per batch, not per file, and every worker gets work.
constexpr uint64_t BatchFiles = 64;
constexpr uint64_t BatchBytes = uint64_t(1) << 20;
// The selecting thread hands queued files over after this many, and whenever it waits.
constexpr uint64_t PublishFiles = 16;
// Workers run nothing deep; a small stack keeps 32 of them within a small address space.
constexpr uint64_t WorkerStackSize = uint64_t(128) << 10;

// Each worker's buffer serves both a file's writing and a comparison.
constexpr uint64_t WorkerBufferSize = std::max(ResourceBufferSize, ComparisonBufferSize);

// The pool whose workers run, which the out-of-memory stop finishes first.
CWriterPool* g_RunningPool = nullptr;

} // namespace

// A Settled comparison is one that the quick check decided: it waits only for its turn to be reported.
enum class CWriterPool::ETaskKind : uint8_t { File, Comparison, Settled, Message };

// A file, a comparison or a message in the run's order: filled by the selecting thread, passed by a worker
// (which writes or compares a file and sets its outcome), then reported and reused by the selecting thread.
// Text holds a message, or the path a comparison opens.
struct CWriterPool::CTask {
    ETaskKind Kind = ETaskKind::File;
    EWriteOutcome Outcome = EWriteOutcome::Written;
    EFileComparison Comparison = EFileComparison::Same;
    uint32_t Error = 0;
    uint64_t FoundSize = 0;
    CResourceFile File;
    uint8_t Header[InlineHeaderSize];
    CStringBufferA Text;
    CStringViewA Name;
    CComparisonSink* Sink = nullptr;
    bool ToError = false;
    std::atomic<bool> Done{false};

    // Runs the file's write or comparison in buffer (WorkerBufferSize bytes).
    void Run(FileHandle folder, CStringViewA folderPath, uint8_t* buffer);
};

void CWriterPool::CTask::Run(FileHandle folder, CStringViewA folderPath, uint8_t* buffer) {
    if (Kind == ETaskKind::File) {
        Outcome = WriteResourceFile(folder, folderPath, File, buffer, Error);
    } else if (Kind == ETaskKind::Comparison) {
        CArchiveStream stream = File.Data;
        const CExpectedContent expected{File.Header, File.HeaderLength, &stream, File.Length};
        Comparison = CompareFileWithContent(Text.GetView(), expected, buffer, FoundSize);
    }
}

CWriterPool::CWriterPool(uint32_t jobCount, EWriteFailureReasons reasons) : m_Reasons(reasons) {
    jobCount = std::min(jobCount, MaxWorkers);
    m_Buffers = static_cast<uint8_t*>(AllocateOrStop(WorkerBufferSize * std::max(jobCount, 1u)));
    // Without workers the one task is run as soon as it is filled.
    m_Tasks = new (std::nothrow) CTask[jobCount <= 1 ? 1 : QueueCapacity];
    if (m_Tasks == nullptr)
        StopOutOfMemory();
    if (jobCount <= 1)
        return;
    m_Start.Entry = &RunWorker;
    m_Start.Argument = this;
    Os::ThreadHandle thread = 0;
    while (m_WorkerCount < jobCount && Os::StartThread(m_Start, WorkerStackSize, thread)) {
        const std::lock_guard<std::mutex> guard(m_Mutex);
        m_Threads[m_WorkerCount++] = thread;
    }
    if (m_WorkerCount > 0) {
        g_RunningPool = this;
        SetOutOfMemoryHook(&FinishBeforeStop);
    }
}

CWriterPool::~CWriterPool() {
    Finish();
    Os::CloseFile(m_Folder);
    Os::CloseFile(m_QuickFolder);
    {
        const std::lock_guard<std::mutex> guard(m_Mutex);
        m_Closing = true;
    }
    m_WorkReady.notify_all();
    for (uint32_t i = 0; i < m_WorkerCount; ++i)
        Os::JoinThread(m_Threads[i]);
    if (g_RunningPool == this) {
        SetOutOfMemoryHook(nullptr);
        g_RunningPool = nullptr;
    }
    delete[] m_Tasks;
    FreeMemory(m_Buffers);
}

void CWriterPool::SetFolder(FileHandle folder, CStringViewA path) {
    Finish();
    Os::CloseFile(m_Folder);
    m_Folder = folder;
    m_FolderPath.Assign(path);
}

void CWriterPool::Write(const CResourceFile& file) {
    Submit(ClaimFile(file, ETaskKind::File));
}

void CWriterPool::Compare(const CResourceFile& file, CStringViewA path, CStringViewA name,
                          CComparisonSink& sink) {
    // A file that the quick check passes needs no worker: its outcome goes to the sink at once when nothing
    // queued before it is still to be reported, and takes its turn in the queue otherwise.
    Os::CFileStamp stamp;
    const bool settled = m_QuickBefore != 0 && PassesQuickCheck(file, path, stamp);
    if (settled && CatchUp()) {
        sink.TakeComparison(CComparisonResult{file, path, name, EFileComparison::Same, stamp.Size});
        return;
    }
    CTask& task = ClaimFile(file, settled ? ETaskKind::Settled : ETaskKind::Comparison);
    task.Text.Assign(path);
    task.Name = name;
    task.Sink = &sink;
    task.Comparison = EFileComparison::Same;
    task.FoundSize = stamp.Size;
    m_Borrowing = true;
    Submit(task);
}

// The task to fill for file: the one run at once without workers, or the next of the queue, with the header
// copied in when short and borrowed otherwise.
CWriterPool::CTask& CWriterPool::ClaimFile(const CResourceFile& file, ETaskKind kind) {
    CTask& task = m_WorkerCount == 0 ? m_Tasks[0] : Claim();
    task.Kind = kind;
    task.File = file;
    if (m_WorkerCount == 0)
        return task;
    if (file.HeaderLength <= InlineHeaderSize) {
        if (file.HeaderLength != 0)
            std::memcpy(task.Header, file.Header, file.HeaderLength);
        task.File.Header = task.Header;
    } else {
        m_Borrowing = true;
    }
    return task;
}

// Runs a filled task at once without workers; queues it otherwise, handing the queue over now and then.
void CWriterPool::Submit(CTask& task) {
    if (m_WorkerCount == 0) {
        task.Run(m_Folder, m_FolderPath.GetView(), m_Buffers);
        Report(task);
        return;
    }
    ++m_Queued;
    if (m_Queued - m_Published >= PublishFiles)
        Publish();
}

// Whether the file at path is a regular file of the size file comes to, modified before the quick check's
// time, whose bytes the archives hold; stamp is what was found. The file is looked up by name in its folder,
// which stays open from one comparison to the next (the files of a library share one): the system then
// resolves one name per file instead of its whole path.
bool CWriterPool::PassesQuickCheck(const CResourceFile& file, CStringViewA path, Os::CFileStamp& stamp) {
    const uint64_t separator = path.FindLastChar('\\');
    if (separator == CStringViewA::npos)
        return false;
    const CStringViewA folder = path.Substring(0, separator);
    if (m_QuickFolder == InvalidFileHandle || folder != m_QuickFolderPath.GetView()) {
        Os::CloseFile(m_QuickFolder);
        m_QuickFolder = Os::OpenDirectory(folder);
        m_QuickFolderPath.Assign(folder);
    }
    return m_QuickFolder != InvalidFileHandle &&
           Os::GetRegularFileStampIn(m_QuickFolder, folder, path.Substring(separator + 1), stamp) &&
           stamp.ModifiedTime < m_QuickBefore && stamp.Size == file.HeaderLength + file.Length &&
           CanReadStream(file.Data, file.Length);
}

// Reports what is finished; true when nothing queued is left to report, so that the next outcome may be
// reported at once.
bool CWriterPool::CatchUp() {
    if (m_WorkerCount != 0)
        ReapFinished();
    return m_Reaped == m_Queued;
}

// The task for a message that must wait for earlier tasks, or null when it may be printed at once.
CWriterPool::CTask* CWriterPool::ClaimMessage() {
    if (CatchUp())
        return nullptr;
    CTask& task = Claim();
    task.Kind = ETaskKind::Message;
    return &task;
}

void CWriterPool::Message(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    CTask* task = ClaimMessage();
    if (task == nullptr) {
        PrintV(format, arguments);
    } else {
        task->ToError = false;
        task->Text.FormatV(format, arguments);
        ++m_Queued;
    }
    va_end(arguments);
}

void CWriterPool::ErrorMessage(CStringViewA text) {
    CTask* task = ClaimMessage();
    if (task == nullptr) {
        PrintError(text);
        return;
    }
    task->ToError = true;
    task->Text.Assign(text);
    ++m_Queued;
}

const CWriteCounts& CWriterPool::Finish() {
    while (m_Reaped < m_Queued)
        WaitForOldest();
    m_Borrowing = false;
    return m_Counts;
}

void CWriterPool::ReleaseHeaders() {
    if (m_Borrowing)
        Finish();
}

// The next free task, after printing what is finished; waits while the queue is full. The caller fills it
// and then counts it queued, so that a stop while it is filled leaves nothing half made in the queue.
CWriterPool::CTask& CWriterPool::Claim() {
    ReapFinished();
    while (m_Queued - m_Reaped == QueueCapacity)
        WaitForOldest();
    return m_Tasks[m_Queued % QueueCapacity];
}

void CWriterPool::Publish() {
    {
        const std::lock_guard<std::mutex> guard(m_Mutex);
        m_Published = m_Queued;
    }
    m_WorkReady.notify_one();
}

void CWriterPool::ReapFinished() {
    while (m_Reaped < m_Queued) {
        CTask& task = m_Tasks[m_Reaped % QueueCapacity];
        if (!task.Done.load(std::memory_order_acquire))
            return;
        task.Done.store(false, std::memory_order_relaxed);
        ++m_Reaped;
        Report(task);
    }
}

// Hands every queued task to the workers, waits until the oldest is done, and prints what is finished.
void CWriterPool::WaitForOldest() {
    const CTask& oldest = m_Tasks[m_Reaped % QueueCapacity];
    {
        std::unique_lock<std::mutex> lock(m_Mutex);
        m_Published = m_Queued;
        m_WorkReady.notify_all();
        m_SelectorWaiting = true;
        m_TaskDone.wait(lock, [&] { return oldest.Done.load(std::memory_order_acquire); });
        m_SelectorWaiting = false;
    }
    ReapFinished();
}

void CWriterPool::RunWorker(void* pool) {
    static_cast<CWriterPool*>(pool)->TakeBatches();
}

void CWriterPool::TakeBatches() {
    std::unique_lock<std::mutex> lock(m_Mutex);
    uint8_t* buffer = m_Buffers + WorkerBufferSize * m_BuffersGiven++;
    for (;;) {
        m_WorkReady.wait(lock, [&] { return m_Closing || m_Taken < m_Published; });
        if (m_Taken == m_Published)
            return;
        const uint64_t share =
            std::min(BatchFiles, (m_Published - m_Taken + m_WorkerCount - 1) / m_WorkerCount);
        const uint64_t first = m_Taken;
        uint64_t bytes = 0;
        while (m_Taken < m_Published && m_Taken - first < share && bytes < BatchBytes)
            bytes += m_Tasks[m_Taken++ % QueueCapacity].File.Length;
        if (m_Taken < m_Published)
            m_WorkReady.notify_one();
        const uint64_t end = m_Taken;
        lock.unlock();
        // The folder stays while files are queued: the selecting thread finishes before it changes it.
        for (uint64_t position = first; position < end; ++position) {
            CTask& task = m_Tasks[position % QueueCapacity];
            task.Run(m_Folder, m_FolderPath.GetView(), buffer);
            task.Done.store(true, std::memory_order_release);
        }
        lock.lock();
        if (m_SelectorWaiting)
            m_TaskDone.notify_one();
    }
}

// Prints what the task came to and counts it, or hands a comparison's outcome to its sink.
void CWriterPool::Report(CTask& task) {
    if (task.Kind == ETaskKind::Comparison || task.Kind == ETaskKind::Settled) {
        task.Sink->TakeComparison(
            CComparisonResult{task.File, task.Text.GetView(), task.Name, task.Comparison, task.FoundSize});
        return;
    }
    if (task.Kind == ETaskKind::Message) {
        if (!task.ToError)
            Print("%s", task.Text.GetData());
        else
            PrintError(task.Text.GetData());
        return;
    }
    if (task.Outcome == EWriteOutcome::Written) {
        ++m_Counts.FilesWritten;
        m_Counts.BytesWritten += task.File.HeaderLength + task.File.Length;
        return;
    }
    PrintResourceFailure(m_FolderPath.GetView(), task.File.Id, task.Outcome, task.Error,
                         m_Reasons == EWriteFailureReasons::Print);
    if (task.Outcome == EWriteOutcome::WriteFailed) {
        ++m_Counts.FailedWrites;
        return;
    }
    ++m_Counts.FailedReads;
    m_FailedReads.Append(task.File.Id);
}

// Workers do not allocate, so the stop runs on the selecting thread, which prints everything before it.
void CWriterPool::FinishBeforeStop() {
    if (g_RunningPool != nullptr)
        g_RunningPool->Finish();
}
