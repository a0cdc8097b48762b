// The operating-system layer on POSIX systems.
#include "base/NamePattern.h"
#include "base/Platform.h"
#include "base/StringBuffer.h"

#include <atomic>
#include <cassert>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Each read or write call moves at most this much, well inside what every POSIX system accepts.
constexpr uint64_t MaxTransfer = uint64_t(1) << 30;

int ToDescriptor(FileHandle file) { return static_cast<int>(file); }

// A name inside an open directory as the OS wants it: a zero-terminated copy. The name is one component,
// so a backslash in it is part of the name.
class COsName {
public:
    explicit COsName(CStringViewA name) { m_Buffer.Assign(name); }
    const char* Get() const { return m_Buffer.GetData(); }

private:
    TStringBufferA<260> m_Buffer;
};

// The path as the OS wants it: zero-terminated, every backslash turned into a slash.
class COsPath {
public:
    explicit COsPath(CStringViewA path) {
        m_Buffer.Assign(path);
        char* data = const_cast<char*>(m_Buffer.GetData());
        // The length is read once: a store through a char pointer could change any object, so a bound read
        // from the buffer would be loaded again after every character.
        const uint64_t length = m_Buffer.GetLength();
        for (uint64_t i = 0; i < length; ++i) {
            if (data[i] == '\\')
                data[i] = '/';
        }
    }
    const char* Get() const { return m_Buffer.GetData(); }
    uint64_t GetLength() const { return m_Buffer.GetLength(); }

private:
    TStringBufferA<260> m_Buffer;
};

// strerror_r comes in two kinds: the XSI one returns a status and fills the buffer, the GNU one returns
// the text, which may or may not lie in the buffer.
[[maybe_unused]] const char* ErrorText(int status, const char* buffer) {
    return status == 0 ? buffer : nullptr;
}
[[maybe_unused]] const char* ErrorText(const char* text, const char*) { return text; }


enum class EEmptyTransfer { EndsData, Fails };

// Repeats transfer (one system call moving at most chunk bytes, done bytes in) until count bytes have moved,
// a call fails or one moves nothing; a call interrupted by a signal is made again. False on a failed call,
// and on a call that moves nothing where that is a failure.
template <typename TTransfer>
bool TransferAll(uint64_t count, uint64_t& done, EEmptyTransfer empty, TTransfer transfer) {
    done = 0;
    while (done < count) {
        const uint64_t chunk = count - done < MaxTransfer ? count - done : MaxTransfer;
        const ssize_t result = transfer(done, static_cast<size_t>(chunk));
        if (result < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (result == 0)
            return empty == EEmptyTransfer::EndsData;
        done += static_cast<uint64_t>(result);
    }
    return true;
}

// The longest path the kernel takes, terminator included (PATH_MAX on Linux).
constexpr uint64_t MaxOsPath = 4096;

// A file that an interruption removes. The handler reads Path only while Armed is set, and Path is written
// only while it is clear, so a handler never sees a path half written.
struct CInterruptRemoval {
    std::atomic<bool> Armed{false};
    char Path[MaxOsPath];
};
CInterruptRemoval g_InterruptRemovals[Os::MaxInterruptRemovals];
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler reads the flags");

constexpr int InterruptSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

// Runs on whichever thread the signal reaches, so it calls only what is safe in a signal handler: unlink,
// signal and raise.
void RemoveFilesAndEnd(int signalNumber) {
    // The interrupted code may be about to read errno.
    const int savedErrno = errno;
    for (CInterruptRemoval& removal : g_InterruptRemovals) {
        if (removal.Armed.load(std::memory_order_acquire))
            ::unlink(removal.Path);
    }
    // The signal is blocked while its handler runs: raised again, it takes its default action, ending the
    // process, as soon as the handler returns, so that the parent sees which signal ended it.
    ::signal(signalNumber, SIG_DFL);
    ::raise(signalNumber);
    errno = savedErrno;
}

void InstallInterruptHandlers() {
    struct sigaction action = {};
    action.sa_handler = RemoveFilesAndEnd;
    // No second interruption runs the handler again while it removes the files.
    sigemptyset(&action.sa_mask);
    for (const int signalNumber : InterruptSignals)
        sigaddset(&action.sa_mask, signalNumber);
    for (const int signalNumber : InterruptSignals) {
        // A signal ignored from the start (a run in the background, under nohup) stays ignored.
        struct sigaction previous;
        if (::sigaction(signalNumber, nullptr, &previous) == 0 && previous.sa_handler != SIG_IGN)
            ::sigaction(signalNumber, &action, nullptr);
    }
}

int GetOpenFlags(EFileAccess access, EFileCreation creation) {
    int flags = O_CLOEXEC;
    switch (access) {
    case EFileAccess::Read:
        // An input that is a named pipe would block the open until a writer came; the check below refuses it.
        flags |= O_RDONLY | O_NONBLOCK;
        break;
    case EFileAccess::Write:
        flags |= O_WRONLY;
        break;
    case EFileAccess::ReadWrite:
        flags |= O_RDWR;
        break;
    }
    switch (creation) {
    case EFileCreation::OpenExisting:
        break;
    case EFileCreation::CreateOrTruncate:
        flags |= O_CREAT | O_TRUNC;
        break;
    case EFileCreation::CreateNew:
        flags |= O_CREAT | O_EXCL;
        break;
    }
    // A link planted where the tool writes would send its bytes to the link's target.
    if (access != EFileAccess::Read)
        flags |= O_NOFOLLOW;
    return flags;
}

// An input must be a regular file: a directory opens for reading on POSIX, and a device or a pipe would
// block or never end. Reads then block as usual. Opening for writing fails on a directory by itself
// (EISDIR), so only reads pay for the check: an extraction creates a file per resource, and the extra
// system call was a fifth of the calls it made.
bool IsReadableInput(int descriptor, uint64_t& size) {
    struct stat status;
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode))
        return false;
    size = static_cast<uint64_t>(status.st_size);
    const int flags = ::fcntl(descriptor, F_GETFL);
    return flags >= 0 && ::fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

// The stamp of the regular file at path, relative to directory (AT_FDCWD: the working directory); a
// symbolic link is not followed and fails.
bool GetStampAt(int directory, const char* path, Os::CFileStamp& stamp) {
    struct stat status;
    if (::fstatat(directory, path, &status, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(status.st_mode))
        return false;
    stamp.Size = static_cast<uint64_t>(status.st_size);
    // A time before 1970 counts as the earliest one.
    const timespec& time = status.st_mtim;
    stamp.ModifiedTime = time.tv_sec < 0 ? 0
                                         : static_cast<uint64_t>(time.tv_sec) * 1000000000u +
                                               static_cast<uint64_t>(time.tv_nsec);
    return true;
}

} // namespace

namespace Os {

FileHandle OpenFile(CStringViewA path, EFileAccess access, EFileCreation creation) {
    const int flags = GetOpenFlags(access, creation);
    const COsPath osPath(path);
    int descriptor;
    do {
        descriptor = ::open(osPath.Get(), flags, 0666);
    } while (descriptor < 0 && errno == EINTR);
    if (descriptor < 0)
        return InvalidFileHandle;
    uint64_t size = 0;
    if (access == EFileAccess::Read && !IsReadableInput(descriptor, size)) {
        ::close(descriptor);
        return InvalidFileHandle;
    }
    return static_cast<FileHandle>(descriptor);
}

FileHandle OpenInputFile(CStringViewA path, uint64_t& size) {
    const int flags = GetOpenFlags(EFileAccess::Read, EFileCreation::OpenExisting);
    const COsPath osPath(path);
    int descriptor;
    do {
        descriptor = ::open(osPath.Get(), flags);
    } while (descriptor < 0 && errno == EINTR);
    if (descriptor < 0)
        return InvalidFileHandle;
    if (!IsReadableInput(descriptor, size)) {
        ::close(descriptor);
        return InvalidFileHandle;
    }
    return static_cast<FileHandle>(descriptor);
}

void CloseFile(FileHandle file) {
    if (file != InvalidFileHandle)
        ::close(ToDescriptor(file));
}

bool Read(FileHandle file, void* buffer, uint64_t count, uint64_t& bytesRead) {
    auto* out = static_cast<uint8_t*>(buffer);
    return TransferAll(count, bytesRead, EEmptyTransfer::EndsData, [&](uint64_t done, size_t chunk) {
        return ::read(ToDescriptor(file), out + done, chunk);
    });
}

bool ReadAt(FileHandle file, uint64_t offset, void* buffer, uint64_t count, uint64_t& bytesRead) {
    auto* out = static_cast<uint8_t*>(buffer);
    return TransferAll(count, bytesRead, EEmptyTransfer::EndsData, [&](uint64_t done, size_t chunk) -> ssize_t {
        const uint64_t position = offset + done;
        if (position < offset || position > static_cast<uint64_t>(INT64_MAX)) {
            errno = EOVERFLOW;
            return -1;
        }
        return ::pread(ToDescriptor(file), out + done, chunk, static_cast<off_t>(position));
    });
}

bool Write(FileHandle file, const void* buffer, uint64_t count, uint64_t& bytesWritten) {
    const auto* in = static_cast<const uint8_t*>(buffer);
    return TransferAll(count, bytesWritten, EEmptyTransfer::Fails, [&](uint64_t done, size_t chunk) {
        return ::write(ToDescriptor(file), in + done, chunk);
    });
}

bool Seek(FileHandle file, uint64_t offset) {
    if (offset > static_cast<uint64_t>(INT64_MAX))
        return false;
    const off_t position = ::lseek(ToDescriptor(file), static_cast<off_t>(offset), SEEK_SET);
    return position >= 0 && static_cast<uint64_t>(position) == offset;
}

bool SetEndOfFile(FileHandle file) {
    const off_t position = ::lseek(ToDescriptor(file), 0, SEEK_CUR);
    return position >= 0 && ::ftruncate(ToDescriptor(file), position) == 0;
}

bool GetFileSize(FileHandle file, uint64_t& size) {
    struct stat status;
    if (::fstat(ToDescriptor(file), &status) != 0)
        return false;
    size = static_cast<uint64_t>(status.st_size);
    return true;
}

bool IsSymbolicLink(CStringViewA path) {
    const COsPath osPath(path);
    struct stat status;
    return ::lstat(osPath.Get(), &status) == 0 && S_ISLNK(status.st_mode);
}

bool GetRegularFileStamp(CStringViewA path, CFileStamp& stamp) {
    const COsPath osPath(path);
    return GetStampAt(AT_FDCWD, osPath.Get(), stamp);
}

bool GetRegularFileStampIn(FileHandle directory, CStringViewA, CStringViewA name, CFileStamp& stamp) {
    const COsName osName(name);
    return GetStampAt(ToDescriptor(directory), osName.Get(), stamp);
}

bool RemoveFile(CStringViewA path) {
    const COsPath osPath(path);
    return ::unlink(osPath.Get()) == 0;
}

bool RemoveEmptyDirectory(CStringViewA path) {
    const COsPath osPath(path);
    return ::rmdir(osPath.Get()) == 0;
}

bool RenameReplacing(CStringViewA from, CStringViewA to) {
    const COsPath osFrom(from);
    const COsPath osTo(to);
    return ::rename(osFrom.Get(), osTo.Get()) == 0;
}

// Copies through a buffer from the files' current positions to the end of in.
bool CopyThroughBuffer(int in, int out) {
    constexpr size_t BufferSize = size_t(1) << 20;
    char* buffer = static_cast<char*>(std::malloc(BufferSize));
    if (buffer == nullptr)
        return false;
    bool copied = true;
    for (;;) {
        ssize_t got = ::read(in, buffer, BufferSize);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            copied = got == 0;
            break;
        }
        uint64_t written = 0;
        if (!Write(static_cast<FileHandle>(out), buffer, static_cast<uint64_t>(got), written)) {
            copied = false;
            break;
        }
    }
    std::free(buffer);
    return copied;
}

bool CopyWholeFile(CStringViewA from, CStringViewA to) {
    const FileHandle in = OpenFile(from, EFileAccess::Read, EFileCreation::OpenExisting);
    if (in == InvalidFileHandle)
        return false;
    const FileHandle out = OpenFile(to, EFileAccess::Write, EFileCreation::CreateNew);
    if (out == InvalidFileHandle) {
        CloseFile(in);
        return false;
    }
    bool copied = true;
    bool kernelCopy = true;
#ifdef __linux__
    // The kernel copies, or shares the blocks where the file system can, without the bytes passing through
    // the process. File systems that cannot copy between these two files say so on the first call, before
    // anything moved; the buffer takes over from there.
    for (;;) {
        const ssize_t moved = ::copy_file_range(ToDescriptor(in), nullptr, ToDescriptor(out), nullptr,
                                                static_cast<size_t>(MaxTransfer), 0);
        if (moved > 0)
            continue;
        if (moved == 0)
            break;
        if (errno == EINTR)
            continue;
        kernelCopy = false;
        copied = errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP || errno == EPERM;
        break;
    }
#else
    kernelCopy = false;
#endif
    if (copied && !kernelCopy)
        copied = CopyThroughBuffer(ToDescriptor(in), ToDescriptor(out));
    CloseFile(in);
    // A failed close can lose what a network file system still held.
    copied &= ::close(ToDescriptor(out)) == 0;
    return copied;
}

bool GetFullPath(CStringViewA path, CStringBufferA& fullPath) {
    const COsPath osPath(path);
    char* resolved = ::realpath(osPath.Get(), nullptr);
    if (resolved == nullptr)
        return false;
    fullPath.Assign(resolved);
    std::free(resolved);
    return true;
}

EDirectoryState GetDirectoryState(CStringViewA path) {
    const COsPath osPath(path);
    struct stat status;
    if (::stat(osPath.Get(), &status) != 0)
        return EDirectoryState::Missing;
    if (!S_ISDIR(status.st_mode))
        return EDirectoryState::NotADirectory;
    DIR* stream = ::opendir(osPath.Get());
    if (stream == nullptr)
        return EDirectoryState::NotEmpty;
    EDirectoryState state = EDirectoryState::Empty;
    while (const dirent* entry = ::readdir(stream)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            state = EDirectoryState::NotEmpty;
            break;
        }
    }
    ::closedir(stream);
    return state;
}

uint64_t GetProcessNumber() {
    return static_cast<uint64_t>(::getpid());
}

ECreateDirectory MakeDirectory(CStringViewA path) {
    const COsPath osPath(path);
    if (::mkdir(osPath.Get(), 0777) == 0)
        return ECreateDirectory::Created;
    return errno == EEXIST ? ECreateDirectory::AlreadyExists : ECreateDirectory::Failed;
}

FileHandle OpenDirectory(CStringViewA path) {
    const COsPath osPath(path);
    int descriptor;
    do {
        descriptor = ::open(osPath.Get(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } while (descriptor < 0 && errno == EINTR);
    return descriptor < 0 ? InvalidFileHandle : static_cast<FileHandle>(descriptor);
}

ECreateDirectory MakeDirectoryIn(FileHandle parent, CStringViewA, CStringViewA name) {
    const COsName osName(name);
    if (::mkdirat(ToDescriptor(parent), osName.Get(), 0777) == 0)
        return ECreateDirectory::Created;
    return errno == EEXIST ? ECreateDirectory::AlreadyExists : ECreateDirectory::Failed;
}

FileHandle OpenDirectoryIn(FileHandle parent, CStringViewA, CStringViewA name) {
    const COsName osName(name);
    int descriptor;
    do {
        descriptor = ::openat(ToDescriptor(parent), osName.Get(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    } while (descriptor < 0 && errno == EINTR);
    return descriptor < 0 ? InvalidFileHandle : static_cast<FileHandle>(descriptor);
}

FileHandle CreateFileIn(FileHandle directory, CStringViewA, CStringViewA name) {
    const COsName osName(name);
    // Another process may put something at the name again between the removal and the creation; a few
    // rounds settle any honest race, and a hostile one ends in a failure instead of a loop.
    constexpr int Attempts = 4;
    for (int attempt = 0; attempt < Attempts; ++attempt) {
        const int descriptor = ::openat(ToDescriptor(directory), osName.Get(),
                                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (descriptor >= 0)
            return static_cast<FileHandle>(descriptor);
        if (errno == EINTR)
            continue;
        if (errno != EEXIST)
            return InvalidFileHandle;
        // unlinkat without AT_REMOVEDIR refuses a directory (EISDIR or EPERM), which is then the failure.
        if (::unlinkat(ToDescriptor(directory), osName.Get(), 0) != 0 && errno != ENOENT)
            return InvalidFileHandle;
    }
    errno = EEXIST;
    return InvalidFileHandle;
}

bool RemoveFileIn(FileHandle directory, CStringViewA, CStringViewA name) {
    const COsName osName(name);
    return ::unlinkat(ToDescriptor(directory), osName.Get(), 0) == 0;
}

bool CopyRange(FileHandle from, uint64_t offset, FileHandle to, uint64_t count, uint64_t& copied) {
    copied = 0;
#ifdef __linux__
    while (copied < count) {
        const uint64_t position = offset + copied;
        if (position < offset || position > static_cast<uint64_t>(INT64_MAX)) {
            errno = EOVERFLOW;
            return false;
        }
        off_t source = static_cast<off_t>(position);
        const uint64_t chunk = count - copied < MaxTransfer ? count - copied : MaxTransfer;
        const ssize_t result = ::copy_file_range(ToDescriptor(from), &source, ToDescriptor(to), nullptr,
                                                 static_cast<size_t>(chunk), 0);
        if (result < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (result == 0)
            return true;
        copied += static_cast<uint64_t>(result);
    }
    return true;
#else
    (void)from;
    (void)offset;
    (void)to;
    errno = ENOSYS;
    return count == 0;
#endif
}

bool StartThread(const CThreadStart& start, uint64_t stackSize, ThreadHandle& thread) {
    static_assert(sizeof(pthread_t) <= sizeof(ThreadHandle), "a thread handle holds a pthread_t");
    pthread_attr_t attributes;
    if (::pthread_attr_init(&attributes) != 0)
        return false;
    const uint64_t minimum = static_cast<uint64_t>(PTHREAD_STACK_MIN);
    if (stackSize < minimum)
        stackSize = minimum;
    // A size the system refuses leaves its default in place, which only costs address space.
    (void)::pthread_attr_setstacksize(&attributes, static_cast<size_t>(stackSize));
    pthread_t handle;
    const int result = ::pthread_create(
        &handle, &attributes,
        [](void* lent) -> void* {
            const auto* call = static_cast<const CThreadStart*>(lent);
            call->Entry(call->Argument);
            return nullptr;
        },
        const_cast<CThreadStart*>(&start));
    ::pthread_attr_destroy(&attributes);
    if (result != 0)
        return false;
    thread = static_cast<ThreadHandle>(handle);
    return true;
}

void JoinThread(ThreadHandle thread) {
    ::pthread_join(static_cast<pthread_t>(thread), nullptr);
}

EDirectoryScan ScanDirectory(CStringViewA directory, CStringViewA pattern, FileNameSink sink, void* context) {
    const COsPath osDirectory(directory);
    DIR* stream = ::opendir(osDirectory.Get());
    if (stream == nullptr)
        return EDirectoryScan::Failed;
    TStringBufferA<260> entryPath;
    bool matched = false;
    while (const dirent* entry = ::readdir(stream)) {
        // The tool's paths turn a backslash into a separator, so such a name would open another file.
        const CStringViewA name(entry->d_name);
        if (!MatchesNamePattern(pattern, name) || name.FindChar('\\') != CStringViewA::npos)
            continue;
        // stat follows symbolic links, so a link to a regular file is listed and one to a directory is not.
        // An entry the directory already types as a regular file needs no look of its own: a folder of a
        // hundred thousand files costs as many system calls fewer.
        if (entry->d_type != DT_REG) {
            entryPath.Format("%s%s", osDirectory.Get(), entry->d_name);
            struct stat status;
            if (entry->d_type == DT_DIR || ::stat(entryPath.GetData(), &status) != 0 ||
                !S_ISREG(status.st_mode))
                continue;
        }
        matched = true;
        sink(context, name);
    }
    ::closedir(stream);
    return matched ? EDirectoryScan::Listed : EDirectoryScan::NothingMatched;
}

bool RemoveOnInterrupt(uint32_t slot, CStringViewA path) {
    // Installed once, from the thread that fills the first slot.
    static const bool installed = (InstallInterruptHandlers(), true);
    (void)installed;
    assert(slot < MaxInterruptRemovals);
    CInterruptRemoval& removal = g_InterruptRemovals[slot];
    removal.Armed.store(false, std::memory_order_release);
    const COsPath osPath(path);
    const uint64_t length = osPath.GetLength();
    if (length >= MaxOsPath)
        return false;
    std::memcpy(removal.Path, osPath.Get(), length + 1);
    removal.Armed.store(true, std::memory_order_release);
    return true;
}

void ForgetOnInterrupt(uint32_t slot) {
    g_InterruptRemovals[slot].Armed.store(false, std::memory_order_release);
}

bool IsErrorTerminal() { return ::isatty(STDERR_FILENO) == 1; }

void RaiseOpenFileLimit() {
    struct rlimit limit;
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == limit.rlim_max)
        return;
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

void IgnoreFileSizeLimitSignal() {
    ::signal(SIGXFSZ, SIG_IGN);
}

uint32_t GetLastErrorCode() { return static_cast<uint32_t>(errno); }

void SetLastErrorCode(uint32_t code) { errno = static_cast<int>(code); }

void DescribeError(uint32_t code, CStringBufferA& text) {
    char buffer[256] = "";
    const char* description = ErrorText(::strerror_r(static_cast<int>(code), buffer, sizeof buffer), buffer);
    if (description == nullptr || description[0] == '\0')
        text.Format("error %u", code);
    else
        text.Format("%s (error %u)", description, code);
}

} // namespace Os
