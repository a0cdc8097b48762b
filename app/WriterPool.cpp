// Worker threads that create and fill resource files, and the one ordered path of the run's messages.
#include "app/WriterPool.h"

#include "base/Console.h"
#include "base/Memory.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// Tasks that may wait in the queue: enough for a few batches of every worker.
constexpr uint64_t QueueCapacity = 2048;
// A worker takes at most this many files, or this many bytes, at a time, and fewer when the queue is short,
// so that every worker gets a share: lock traffic and wake-ups come per batch, not per file.
constexpr uint64_t BatchFiles = 64;
constexpr uint64_t BatchBytes = uint64_t(1) << 20;
// The selecting thread hands queued files to the workers after this many, or whenever it waits.
constexpr uint64_t PublishFiles = 16;
// Each worker's buffer: files up to this size are read whole into it and written with one call; larger
// ones, and the rest after a refused kernel copy, pass through it in pieces of this size.
constexpr uint64_t BufferSize = uint64_t(64) << 10;
// Workers run nothing deep: a small stack keeps many of them within a small address space.
constexpr uint64_t WorkerStackSize = uint64_t(128) << 10;

enum class ETaskKind : uint8_t { File, Message, Folder };
enum class EOutcome : uint8_t { Written, WriteFailed, ReadFailed };

// The pool that the out-of-memory stop finishes first: the one with workers, of which a run has one.
CWriterPool* g_RunningPool = nullptr;

// "%.16I64X.bin" of id, without the formatter, which workers may not call.
void FormatFileName(ResourceId id, char (&name)[21]) {
    static const char Digits[] = "0123456789ABCDEF";
    for (int i = 15; i >= 0; --i, id >>= 4)
        name[i] = Digits[id & 15];
    std::memcpy(name + 16, ".bin", 5);
}

} // namespace

// A file, a message or the end of a folder, in the run's order. Filled by the selecting thread, performed by
// a worker (files only; the others are passed over), reported and reused by the selecting thread.
struct CWriterPool::CTask {
    ETaskKind Kind = ETaskKind::File;
    EOutcome Outcome = EOutcome::Written;
    uint32_t Folder = 0;
    uint32_t Error = 0;
    CResourceFile File;
    uint8_t Header[InlineHeaderSize];
    EMessageStream Stream = EMessageStream::Output;
    CStringBufferA Text;
    std::atomic<bool> Done{false};
};

CWriterPool::CWriterPool(uint32_t jobCount, EWriteFailureReasons reasons) : m_Reasons(reasons) {
    jobCount = std::min(jobCount, MaxWorkers);
    m_Buffers = static_cast<uint8_t*>(AllocateOrStop(BufferSize * std::max(jobCount, 1u)));
    if (jobCount <= 1)
        return;
    m_Tasks = new (std::nothrow) CTask[QueueCapacity];
    if (m_Tasks == nullptr)
        StopOutOfMemory();
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
    for (CFolder& folder : m_Folders)
        Os::CloseFile(folder.Handle);
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

void CWriterPool::SetFolder(FileHandle folder, const char* path) {
    if (m_WorkerCount == 0) {
        Os::CloseFile(m_Folders[0].Handle);
        m_Folders[0].Handle = folder;
        m_Folders[0].Path.Assign(path);
        return;
    }
    const uint32_t next = (m_CurrentFolder + 1) % (sizeof(m_Folders) / sizeof(m_Folders[0]));
    while (m_Folders[next].Handle != InvalidFileHandle)
        WaitForOldest();
    m_Folders[next].Handle = folder;
    m_Folders[next].Path.Assign(path);
    CTask& task = Claim();
    task.Kind = ETaskKind::Folder;
    task.Folder = m_CurrentFolder;
    ++m_Queued;
    m_CurrentFolder = next;
}

void CWriterPool::Write(const CResourceFile& file) {
    if (m_WorkerCount == 0) {
        CTask task;
        task.File = file;
        Perform(task, m_Buffers);
        Report(task);
        return;
    }
    CTask& task = Claim();
    task.Kind = ETaskKind::File;
    task.Folder = m_CurrentFolder;
    task.File = file;
    if (file.HeaderLength <= InlineHeaderSize) {
        if (file.HeaderLength != 0)
            std::memcpy(task.Header, file.Header, file.HeaderLength);
        task.File.Header = task.Header;
    } else {
        m_Borrowing = true;
    }
    ++m_Queued;
    if (m_Queued - m_Published >= PublishFiles)
        Publish();
}

void CWriterPool::Message(EMessageStream stream, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    if (m_WorkerCount != 0)
        ReapFinished();
    if (m_Reaped == m_Queued) {
        if (stream == EMessageStream::Output) {
            PrintV(format, arguments);
        } else {
            CStringBufferA text;
            text.FormatV(format, arguments);
            PrintError(text.GetData());
        }
        va_end(arguments);
        return;
    }
    CTask& task = Claim();
    task.Kind = ETaskKind::Message;
    task.Stream = stream;
    task.Text.FormatV(format, arguments);
    va_end(arguments);
    ++m_Queued;
}

const WriteCounts& CWriterPool::Finish() {
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

// Prints and frees the finished tasks at the head of the queue, in order.
void CWriterPool::ReapFinished() {
    while (m_Reaped < m_Queued) {
        CTask& task = m_Tasks[m_Reaped % QueueCapacity];
        if (!task.Done.load(std::memory_order_acquire))
            break;
        task.Done.store(false, std::memory_order_relaxed);
        ++m_Reaped;
        Report(task);
    }
}

// Hands every queued task to the workers and waits until the oldest is done, then reaps.
void CWriterPool::WaitForOldest() {
    if (m_Reaped == m_Queued)
        return;
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

void CWriterPool::RunWorker(void* pool) { static_cast<CWriterPool*>(pool)->TakeBatches(); }

void CWriterPool::TakeBatches() {
    std::unique_lock<std::mutex> lock(m_Mutex);
    uint8_t* buffer = m_Buffers + BufferSize * m_BuffersGiven++;
    for (;;) {
        m_WorkReady.wait(lock, [&] { return m_Closing || m_Taken < m_Published; });
        if (m_Taken == m_Published)
            return;
        // An equal share of what waits, within the batch limits.
        const uint64_t waiting = m_Published - m_Taken;
        const uint64_t share = std::min(BatchFiles, (waiting + m_WorkerCount - 1) / m_WorkerCount);
        const uint64_t first = m_Taken;
        uint64_t end = first;
        uint64_t bytes = 0;
        while (end < m_Published && end - first < share && bytes < BatchBytes)
            bytes += m_Tasks[end++ % QueueCapacity].File.Length;
        m_Taken = end;
        if (m_Taken < m_Published)
            m_WorkReady.notify_one();
        lock.unlock();
        for (uint64_t position = first; position < end; ++position) {
            CTask& task = m_Tasks[position % QueueCapacity];
            if (task.Kind == ETaskKind::File)
                Perform(task, buffer);
            task.Done.store(true, std::memory_order_release);
        }
        lock.lock();
        if (m_SelectorWaiting)
            m_TaskDone.notify_one();
    }
}

// Creates the file and fills it: the header, then the data. On the workers: no allocation, no printing.
void CWriterPool::Perform(CTask& task, uint8_t* buffer) {
    const CResourceFile& file = task.File;
    const CFolder& folder = m_Folders[task.Folder];
    char name[21];
    FormatFileName(file.Id, name);
    task.Outcome = EOutcome::Written;
    const FileHandle output = Os::CreateFileIn(folder.Handle, folder.Path.GetData(), name);
    if (output == InvalidFileHandle) {
        task.Outcome = EOutcome::WriteFailed;
        task.Error = Os::GetLastErrorCode();
        return;
    }
    // A small file is gathered in the buffer and written with one call. A larger one gets its header, then
    // its data copied by the kernel, or through the buffer a piece at a time where the kernel refuses.
    const bool small = file.HeaderLength + file.Length <= BufferSize;
    uint64_t done = 0;
    bool written = true;
    if (small)
        std::memcpy(buffer, file.Header, file.HeaderLength);
    else
        written = Os::Write(output, file.Header, file.HeaderLength, done) && done == file.HeaderLength;
    CArchiveStream data = file.Data;
    uint64_t left = file.Length;
    uint64_t gathered = small ? file.HeaderLength : 0;
    bool copying = !small;
    const CArchive* holder = nullptr;
    uint64_t offset = 0;
    uint64_t length = 0;
    // Only the file sizes checked when the file was queued promise these bytes: a short read ends it.
    while (written && left > 0 && data.Locate(left, holder, offset, length)) {
        uint64_t moved = 0;
        if (copying) {
            copying = Os::CopyRange(holder->GetFile(), offset, output, length, moved);
            if (copying && moved < length)
                break;
        } else {
            length = std::min(length, BufferSize - gathered);
            if (!Os::ReadAt(holder->GetFile(), offset, buffer + gathered, length, moved))
                moved = 0;
            if (!small)
                written = Os::Write(output, buffer, moved, done) && done == moved;
            else
                gathered += moved;
            if (moved < length)
                break;
        }
        data.Position += moved;
        left -= moved;
    }
    if (written && small && left == 0)
        written = Os::Write(output, buffer, gathered, done) && done == gathered;
    if (!written) {
        task.Outcome = EOutcome::WriteFailed;
        task.Error = Os::GetLastErrorCode();
        // Never a cut copy that could pass for the content: the file is left empty.
        if (Os::Seek(output, 0))
            (void)Os::SetEndOfFile(output);
    } else if (left > 0) {
        task.Outcome = EOutcome::ReadFailed;
    }
    Os::CloseFile(output);
    if (task.Outcome == EOutcome::ReadFailed)
        (void)Os::RemoveFileIn(folder.Handle, folder.Path.GetData(), name);
}

// Prints what the task came to and counts it; a folder task closes the folder before it.
void CWriterPool::Report(CTask& task) {
    if (task.Kind == ETaskKind::Message) {
        if (task.Stream == EMessageStream::Output)
            Print("%s", task.Text.GetData());
        else
            PrintError(task.Text.GetData());
        return;
    }
    if (task.Kind == ETaskKind::Folder) {
        Os::CloseFile(m_Folders[task.Folder].Handle);
        m_Folders[task.Folder].Handle = InvalidFileHandle;
        return;
    }
    const uint64_t size = task.File.HeaderLength + task.File.Length;
    if (task.Outcome == EOutcome::Written) {
        ++m_Counts.FilesWritten;
        m_Counts.BytesWritten += size;
        return;
    }
    char name[21];
    FormatFileName(task.File.Id, name);
    const char* path = m_Folders[task.Folder].Path.GetData();
    const bool reading = task.Outcome == EOutcome::ReadFailed;
    Print(reading ? "Failed to read \"%s\\%s\".\r\n" : "Failed to write \"%s\\%s\".\r\n", path, name);
    if (reading) {
        ++m_Counts.FailedReads;
        if (!m_FailedReads.Append(task.File.Id))
            StopOutOfMemory();
    } else {
        ++m_Counts.FailedWrites;
    }
    if (m_Reasons != EWriteFailureReasons::Print)
        return;
    CStringBufferA line;
    if (reading) {
        line.Format("VorskExtract: cannot read \"%s\\%s\": the archives hold fewer of its bytes than their index "
                    "promises, or a read failed.\n",
                    path, name);
    } else {
        TStringBufferA<256> reason;
        Os::DescribeError(task.Error, reason);
        line.Format("VorskExtract: cannot write \"%s\\%s\": %s.\n", path, name, reason.GetData());
    }
    PrintError(line.GetData());
}

// The stop runs on the selecting thread (workers do not allocate): everything queued before it is printed.
void CWriterPool::FinishBeforeStop() {
    if (g_RunningPool != nullptr)
        g_RunningPool->Finish();
}
