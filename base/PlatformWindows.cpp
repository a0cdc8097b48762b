// The operating-system layer on Windows, on the Win32 file API.
#include "base/Platform.h"

#include "base/StringBuffer.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <atomic>
#include <cassert>
#include <cstring>

namespace {

// The longest path the ANSI file functions take, terminator included.
constexpr uint64_t MaxOsPath = MAX_PATH;

// A file that an interruption removes. The handler reads Path only while Armed is set, and Path is written
// only while it is clear, so a handler never sees a path half written.
struct CInterruptRemoval {
    std::atomic<bool> Armed{false};
    char Path[MaxOsPath];
};
CInterruptRemoval g_InterruptRemovals[Os::MaxInterruptRemovals];

// Runs on a thread of its own that the system starts for the event. A file still open is removed as its
// handle closes, at the end of the process, since new files are opened with FILE_SHARE_DELETE. FALSE hands
// the event on to the system's handler, which ends the process.
BOOL WINAPI RemoveFilesOnControlEvent(DWORD) {
    for (CInterruptRemoval& removal : g_InterruptRemovals) {
        if (removal.Armed.load(std::memory_order_acquire))
            ::DeleteFileA(removal.Path);
    }
    return FALSE;
}

// Each ReadFile or WriteFile call moves at most this much: the calls count in 32 bits.
constexpr uint64_t MaxTransfer = uint64_t(1) << 30;

HANDLE ToHandle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

// The path as the system's calls want it: a zero-terminated copy. Backslashes are the system's own
// separator and stay.
class COsPath {
public:
    explicit COsPath(CStringViewA path) { m_Buffer.Assign(path); }
    /// The path of name inside the directory at directoryPath.
    COsPath(CStringViewA directoryPath, CStringViewA name) {
        m_Buffer.Assign(directoryPath);
        m_Buffer.Append("\\");
        m_Buffer.Append(name);
    }
    const char* Get() const { return m_Buffer.GetData(); }
    CStringViewA GetView() const { return m_Buffer.GetView(); }

private:
    TStringBufferA<260> m_Buffer;
};

// An input must be a file on a disk: a named pipe, a console or a device would block or never end.
bool IsReadableInput(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION information;
    return ::GetFileType(handle) == FILE_TYPE_DISK && ::GetFileInformationByHandle(handle, &information) &&
           (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

uint64_t ChunkOf(uint64_t remaining) { return remaining < MaxTransfer ? remaining : MaxTransfer; }

bool MovePosition(HANDLE handle, int64_t distance, DWORD method, uint64_t& position) {
    LARGE_INTEGER move;
    move.QuadPart = distance;
    LARGE_INTEGER result;
    if (!::SetFilePointerEx(handle, move, &result, method) || result.QuadPart < 0)
        return false;
    position = static_cast<uint64_t>(result.QuadPart);
    return true;
}

// Reads from the file position on, continuing until count bytes, the end of the file or an error.
bool ReadFromPosition(HANDLE handle, uint8_t* out, uint64_t count, uint64_t& bytesRead) {
    bytesRead = 0;
    while (bytesRead < count) {
        DWORD result = 0;
        if (!::ReadFile(handle, out + bytesRead, static_cast<DWORD>(ChunkOf(count - bytesRead)), &result,
                        nullptr))
            return false;
        if (result == 0)
            break;
        bytesRead += result;
    }
    return true;
}

} // namespace

namespace Os {

FileHandle OpenFile(CStringViewA path, EFileAccess access, EFileCreation creation) {
    DWORD desiredAccess = 0;
    // Readers let other readers in; anyone who writes has the file to itself.
    DWORD shareMode = 0;
    switch (access) {
    case EFileAccess::Read:
        desiredAccess = GENERIC_READ;
        shareMode = FILE_SHARE_READ;
        break;
    case EFileAccess::Write:
        desiredAccess = GENERIC_WRITE;
        break;
    case EFileAccess::ReadWrite:
        desiredAccess = GENERIC_READ | GENERIC_WRITE;
        break;
    }
    DWORD disposition = OPEN_EXISTING;
    switch (creation) {
    case EFileCreation::OpenExisting:
        disposition = OPEN_EXISTING;
        break;
    case EFileCreation::CreateOrTruncate:
        disposition = CREATE_ALWAYS;
        break;
    case EFileCreation::CreateNew:
        disposition = CREATE_NEW;
        // A new file may be removed while it is being written, by the handler of an interruption.
        shareMode |= FILE_SHARE_DELETE;
        break;
    }
    // A link planted where the tool writes would send its bytes to the link's target.
    if (access != EFileAccess::Read && IsSymbolicLink(path))
        return InvalidFileHandle;
    // A directory does not open without FILE_FLAG_BACKUP_SEMANTICS, so only files come back.
    const COsPath osPath(path);
    const HANDLE handle = ::CreateFileA(osPath.Get(), desiredAccess, shareMode, nullptr, disposition,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return InvalidFileHandle;
    if (access == EFileAccess::Read && !IsReadableInput(handle)) {
        ::CloseHandle(handle);
        return InvalidFileHandle;
    }
    return reinterpret_cast<FileHandle>(handle);
}

FileHandle OpenInputFile(CStringViewA path, uint64_t& size) {
    const FileHandle file = OpenFile(path, EFileAccess::Read, EFileCreation::OpenExisting);
    if (file != InvalidFileHandle && !GetFileSize(file, size)) {
        CloseFile(file);
        return InvalidFileHandle;
    }
    return file;
}

void CloseFile(FileHandle file) {
    if (file != InvalidFileHandle)
        ::CloseHandle(ToHandle(file));
}

bool Read(FileHandle file, void* buffer, uint64_t count, uint64_t& bytesRead) {
    return ReadFromPosition(ToHandle(file), static_cast<uint8_t*>(buffer), count, bytesRead);
}

bool ReadAt(FileHandle file, uint64_t offset, void* buffer, uint64_t count, uint64_t& bytesRead) {
    bytesRead = 0;
    auto* out = static_cast<uint8_t*>(buffer);
    // Each read names its own offset, so that threads reading one handle do not share a position.
    while (bytesRead < count) {
        const uint64_t position = offset + bytesRead;
        if (position < offset || position > static_cast<uint64_t>(INT64_MAX))
            return false;
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(position);
        at.OffsetHigh = static_cast<DWORD>(position >> 32);
        DWORD result = 0;
        if (!::ReadFile(ToHandle(file), out + bytesRead, static_cast<DWORD>(ChunkOf(count - bytesRead)),
                        &result, &at))
            return ::GetLastError() == ERROR_HANDLE_EOF;
        if (result == 0)
            break;
        bytesRead += result;
    }
    return true;
}

bool Write(FileHandle file, const void* buffer, uint64_t count, uint64_t& bytesWritten) {
    bytesWritten = 0;
    const auto* in = static_cast<const uint8_t*>(buffer);
    while (bytesWritten < count) {
        DWORD result = 0;
        if (!::WriteFile(ToHandle(file), in + bytesWritten, static_cast<DWORD>(ChunkOf(count - bytesWritten)),
                         &result, nullptr))
            return false;
        if (result == 0)
            return false;
        bytesWritten += result;
    }
    return true;
}

bool Seek(FileHandle file, uint64_t offset) {
    if (offset > static_cast<uint64_t>(INT64_MAX))
        return false;
    uint64_t position = 0;
    return MovePosition(ToHandle(file), static_cast<int64_t>(offset), FILE_BEGIN, position) && position == offset;
}

bool SetEndOfFile(FileHandle file) { return ::SetEndOfFile(ToHandle(file)) != 0; }

bool GetFileSize(FileHandle file, uint64_t& size) {
    LARGE_INTEGER result;
    if (!::GetFileSizeEx(ToHandle(file), &result) || result.QuadPart < 0)
        return false;
    size = static_cast<uint64_t>(result.QuadPart);
    return true;
}

bool IsSymbolicLink(CStringViewA path) {
    const COsPath osPath(path);
    const DWORD attributes = ::GetFileAttributesA(osPath.Get());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool GetRegularFileStamp(CStringViewA path, CFileStamp& stamp) {
    const COsPath osPath(path);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExA(osPath.Get(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes &
         (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) != 0)
        return false;
    stamp.Size = (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    const FILETIME& time = data.ftLastWriteTime;
    stamp.ModifiedTime = (uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    return true;
}

bool GetRegularFileStampIn(FileHandle, CStringViewA directoryPath, CStringViewA name, CFileStamp& stamp) {
    const COsPath path(directoryPath, name);
    return GetRegularFileStamp(path.GetView(), stamp);
}

bool RemoveFile(CStringViewA path) {
    const COsPath osPath(path);
    // A link to a directory is removed as a directory; the directory it points at stays.
    const DWORD attributes = ::GetFileAttributesA(osPath.Get());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && ::RemoveDirectoryA(osPath.Get()) != 0;
    return ::DeleteFileA(osPath.Get()) != 0;
}

bool RenameReplacing(CStringViewA from, CStringViewA to) {
    const COsPath osFrom(from);
    const COsPath osTo(to);
    return ::MoveFileExA(osFrom.Get(), osTo.Get(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool CopyWholeFile(CStringViewA from, CStringViewA to) {
    // A link at the new name would send the bytes to its target; CopyFileA refuses an existing name.
    if (IsSymbolicLink(to))
        return false;
    const COsPath osFrom(from);
    const COsPath osTo(to);
    return ::CopyFileA(osFrom.Get(), osTo.Get(), TRUE) != 0;
}

bool GetFullPath(CStringViewA path, CStringBufferA& fullPath) {
    const COsPath osPath(path);
    char buffer[MAX_PATH];
    const DWORD length = ::GetFullPathNameA(osPath.Get(), MAX_PATH, buffer, nullptr);
    if (length == 0 || length >= MAX_PATH || ::GetFileAttributesA(buffer) == INVALID_FILE_ATTRIBUTES)
        return false;
    fullPath.Assign(buffer);
    return true;
}

EDirectoryState GetDirectoryState(CStringViewA path) {
    const COsPath osPath(path);
    const DWORD attributes = ::GetFileAttributesA(osPath.Get());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return EDirectoryState::Missing;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return EDirectoryState::NotADirectory;
    TStringBufferA<260> search;
    search.Format("%s\\*", osPath.Get());
    WIN32_FIND_DATAA entry;
    const HANDLE find = ::FindFirstFileA(search.GetData(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return EDirectoryState::NotEmpty;
    EDirectoryState state = EDirectoryState::Empty;
    do {
        if (std::strcmp(entry.cFileName, ".") != 0 && std::strcmp(entry.cFileName, "..") != 0) {
            state = EDirectoryState::NotEmpty;
            break;
        }
    } while (::FindNextFileA(find, &entry));
    ::FindClose(find);
    return state;
}

uint64_t GetProcessNumber() {
    return ::GetCurrentProcessId();
}

ECreateDirectory MakeDirectory(CStringViewA path) {
    const COsPath osPath(path);
    if (::CreateDirectoryA(osPath.Get(), nullptr))
        return ECreateDirectory::Created;
    return ::GetLastError() == ERROR_ALREADY_EXISTS ? ECreateDirectory::AlreadyExists : ECreateDirectory::Failed;
}

FileHandle OpenDirectory(CStringViewA path) {
    const COsPath osPath(path);
    // Backup semantics open a directory; the share modes leave out deletion, so that the directory cannot
    // be renamed or removed while the handle is held.
    const HANDLE handle = ::CreateFileA(osPath.Get(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    return handle == INVALID_HANDLE_VALUE ? InvalidFileHandle : reinterpret_cast<FileHandle>(handle);
}

ECreateDirectory MakeDirectoryIn(FileHandle, CStringViewA parentPath, CStringViewA name) {
    const COsPath path(parentPath, name);
    return MakeDirectory(path.GetView());
}

FileHandle OpenDirectoryIn(FileHandle, CStringViewA parentPath, CStringViewA name) {
    const COsPath path(parentPath, name);
    // The reparse point itself is opened, never what it points at, and then refused.
    const HANDLE handle =
        ::CreateFileA(path.Get(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return InvalidFileHandle;
    BY_HANDLE_FILE_INFORMATION information;
    if (!::GetFileInformationByHandle(handle, &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        ::CloseHandle(handle);
        ::SetLastError(ERROR_CANT_ACCESS_FILE);
        return InvalidFileHandle;
    }
    return reinterpret_cast<FileHandle>(handle);
}

FileHandle CreateFileIn(FileHandle, CStringViewA directoryPath, CStringViewA name) {
    const COsPath path(directoryPath, name);
    // As on POSIX: a few rounds of removing what is in the way, then a failure.
    constexpr int Attempts = 4;
    for (int attempt = 0; attempt < Attempts; ++attempt) {
        const HANDLE handle = ::CreateFileA(path.Get(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (handle != INVALID_HANDLE_VALUE)
            return reinterpret_cast<FileHandle>(handle);
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            return InvalidFileHandle;
        const DWORD attributes = ::GetFileAttributesA(path.Get());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
            (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
            ::SetLastError(ERROR_ALREADY_EXISTS);
            return InvalidFileHandle;
        }
        if (!RemoveFile(path.GetView()) && ::GetLastError() != ERROR_FILE_NOT_FOUND)
            return InvalidFileHandle;
    }
    ::SetLastError(ERROR_FILE_EXISTS);
    return InvalidFileHandle;
}

bool RemoveEmptyDirectory(CStringViewA path) {
    const COsPath osPath(path);
    return ::RemoveDirectoryA(osPath.Get()) != 0;
}

bool RemoveFileIn(FileHandle, CStringViewA directoryPath, CStringViewA name) {
    const COsPath path(directoryPath, name);
    return ::DeleteFileA(path.Get()) != 0;
}

bool CopyRange(FileHandle, uint64_t, FileHandle, uint64_t count, uint64_t& copied) {
    copied = 0;
    ::SetLastError(ERROR_NOT_SUPPORTED);
    return count == 0;
}

bool StartThread(const CThreadStart& start, uint64_t stackSize, ThreadHandle& thread) {
    const HANDLE handle = ::CreateThread(
        nullptr, static_cast<SIZE_T>(stackSize),
        [](LPVOID lent) -> DWORD {
            const auto* call = static_cast<const CThreadStart*>(lent);
            call->Entry(call->Argument);
            return 0;
        },
        const_cast<CThreadStart*>(&start), STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (handle == nullptr)
        return false;
    thread = reinterpret_cast<ThreadHandle>(handle);
    return true;
}

void JoinThread(ThreadHandle thread) {
    ::WaitForSingleObject(reinterpret_cast<HANDLE>(thread), INFINITE);
    ::CloseHandle(reinterpret_cast<HANDLE>(thread));
}

EDirectoryScan ScanDirectory(CStringViewA directory, CStringViewA pattern, FileNameSink sink, void* context) {
    // The system matches the pattern itself, ignoring letter case as the file system does.
    TStringBufferA<260> search;
    search.Assign(directory);
    search.Append(pattern);
    WIN32_FIND_DATAA entry;
    const HANDLE find = ::FindFirstFileA(search.GetData(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return ::GetLastError() == ERROR_FILE_NOT_FOUND ? EDirectoryScan::NothingMatched : EDirectoryScan::Failed;
    bool matched = false;
    do {
        // A link to a file is listed through its reparse point; one to a directory carries the directory bit.
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            continue;
        matched = true;
        sink(context, CStringViewA(entry.cFileName));
    } while (::FindNextFileA(find, &entry));
    ::FindClose(find);
    return matched ? EDirectoryScan::Listed : EDirectoryScan::NothingMatched;
}

bool RemoveOnInterrupt(uint32_t slot, CStringViewA path) {
    static const bool installed = ::SetConsoleCtrlHandler(RemoveFilesOnControlEvent, TRUE) != 0;
    (void)installed;
    assert(slot < MaxInterruptRemovals);
    CInterruptRemoval& removal = g_InterruptRemovals[slot];
    removal.Armed.store(false, std::memory_order_release);
    const uint64_t length = path.GetLength();
    if (length >= MaxOsPath)
        return false;
    std::memcpy(removal.Path, path.GetData(), length);
    removal.Path[length] = '\0';
    removal.Armed.store(true, std::memory_order_release);
    return true;
}

void ForgetOnInterrupt(uint32_t slot) {
    g_InterruptRemovals[slot].Armed.store(false, std::memory_order_release);
}

bool IsErrorTerminal() {
    // A console handle answers GetConsoleMode; a file, pipe or the NUL device does not.
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void RaiseOpenFileLimit() {
    // Win32 handles have no per-process limit to raise (only the C library's FILE streams do, and the tool
    // uses none for its files).
}

void IgnoreFileSizeLimitSignal() {}

uint32_t GetLastErrorCode() { return static_cast<uint32_t>(::GetLastError()); }

void SetLastErrorCode(uint32_t code) { ::SetLastError(static_cast<DWORD>(code)); }

void DescribeError(uint32_t code, CStringBufferA& text) {
    char buffer[256] = "";
    DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                    0, buffer, sizeof buffer, nullptr);
    // The system's texts end with a line end, often after a full stop.
    while (length > 0 && std::strchr("\r\n. ", buffer[length - 1]) != nullptr)
        buffer[--length] = '\0';
    if (length == 0)
        text.Format("error %u", code);
    else
        text.Format("%s (error %u)", buffer, code);
}

} // namespace Os
