// The operating-system layer: every file, directory and process call of the tool goes through here.
#pragma once

#include "base/StringView.h"

#include <cstdint>

/// An open file: a POSIX descriptor or a Windows handle, held as an integer. InvalidFileHandle, all bits
/// set, means failure or a closed file.
using FileHandle = uintptr_t;
constexpr FileHandle InvalidFileHandle = ~uintptr_t(0);

enum class EFileAccess { Read, Write, ReadWrite };
enum class EFileCreation { OpenExisting, CreateOrTruncate, CreateNew };
enum class ECreateDirectory { Created, AlreadyExists, Failed };
enum class EDirectoryScan { Listed, NothingMatched, Failed };
enum class EDirectoryState { Missing, Empty, NotEmpty, NotADirectory };

class CStringBufferA;

/// Called by Os::ScanDirectory for each matching regular file name, in no particular order; the name is
/// borrowed for the call.
using FileNameSink = void (*)(void* context, CStringViewA fileName);

/// The tool's paths keep backslashes as separators in their text; the OS layer turns each into the
/// platform's separator where the path is handed over (a slash on POSIX, left as it is on Windows).
namespace Os {

/// Opens path with the access and creation asked for; the invalid handle on failure. Created files get the
/// default permissions of the platform. CreateNew fails when anything has the name already. A creation that
/// may write never follows a symbolic link (a reparse point on Windows) at path's last component: it fails.
/// A file opened only for reading is an input: it must be a regular file (a directory, a named pipe, a
/// device or a socket fails), and the open never waits for a writer of a named pipe to appear.
[[nodiscard]] FileHandle OpenFile(CStringViewA path, EFileAccess access, EFileCreation creation);
/// Opens the input at path for reading as OpenFile does, and takes its size in the same look.
[[nodiscard]] FileHandle OpenInputFile(CStringViewA path, uint64_t& size);
/// Closes a handle from OpenFile or OpenInputFile; the invalid handle is ignored.
void CloseFile(FileHandle file);

/// Reads up to count bytes at the current position, continuing until count bytes, the end of the file or
/// an error. bytesRead is what arrived; false only on an error of the read call.
[[nodiscard]] bool Read(FileHandle file, void* buffer, uint64_t count, uint64_t& bytesRead);
/// Reads up to count bytes at the absolute offset, continuing as Read does. Several threads may read one
/// handle at once; the file position afterwards is unspecified (Windows moves it).
[[nodiscard]] bool ReadAt(FileHandle file, uint64_t offset, void* buffer, uint64_t count,
                          uint64_t& bytesRead);
/// Writes count bytes at the current position, continuing until all are written; false on an error or a
/// write that makes no progress. bytesWritten is what reached the file.
[[nodiscard]] bool Write(FileHandle file, const void* buffer, uint64_t count, uint64_t& bytesWritten);
/// Moves the position to offset from the start; true only when the new position is offset.
[[nodiscard]] bool Seek(FileHandle file, uint64_t offset);
/// Cuts the file at the current position.
[[nodiscard]] bool SetEndOfFile(FileHandle file);
[[nodiscard]] bool GetFileSize(FileHandle file, uint64_t& size);

/// True when path's last component is a symbolic link (a reparse point on Windows), whatever it points at.
[[nodiscard]] bool IsSymbolicLink(CStringViewA path);
/// A file's size and the time of its last modification, in the system's own ticks (nanoseconds since 1970 on
/// POSIX, 100 nanoseconds since 1601 on Windows): times of one system compare, but are no calendar.
struct CFileStamp {
    uint64_t Size = 0;
    uint64_t ModifiedTime = 0;
};
/// The stamp of the regular file at path. False when nothing is there, or something other than a regular
/// file (a directory, a symbolic link whatever it points at, a device).
[[nodiscard]] bool GetRegularFileStamp(CStringViewA path, CFileStamp& stamp);
/// The same for the file name inside the open directory at directoryPath: where the system looks a name up
/// relative to a handle, only that one name is looked up.
[[nodiscard]] bool GetRegularFileStampIn(FileHandle directory, CStringViewA directoryPath, CStringViewA name,
                                         CFileStamp& stamp);
/// Removes the file or symbolic link at path (never a link's target). False when it cannot.
[[nodiscard]] bool RemoveFile(CStringViewA path);
/// Removes the directory at path when it is empty. False when it cannot (it holds anything, or is missing).
[[nodiscard]] bool RemoveEmptyDirectory(CStringViewA path);
/// Renames the file from over the name to, replacing a file or symbolic link there. False when it cannot.
[[nodiscard]] bool RenameReplacing(CStringViewA from, CStringViewA to);
/// Copies every byte of the file from into a new file to, which must not exist yet (nor a link in its
/// place). The system copies inside the kernel or the file system where it can (copy_file_range, CopyFileA)
/// and through a buffer otherwise. False when anything fails; a partly written to may then be left behind
/// for the caller to remove.
[[nodiscard]] bool CopyWholeFile(CStringViewA from, CStringViewA to);
/// The absolute form of an existing path, symbolic links resolved where the system does so, with the
/// platform's separators. False when the path does not exist or cannot be resolved.
[[nodiscard]] bool GetFullPath(CStringViewA path, CStringBufferA& fullPath);
/// Whether path is a directory and whether it holds any entry.
EDirectoryState GetDirectoryState(CStringViewA path);
/// A number that tells this process from others running at the same time.
uint64_t GetProcessNumber();

/// Creates one directory. AlreadyExists when any kind of entry has that name already.
[[nodiscard]] ECreateDirectory MakeDirectory(CStringViewA path);

/// Opens the directory at path so that files can be created in it by name; symbolic links are followed.
/// The invalid handle on failure. Close with CloseFile.
[[nodiscard]] FileHandle OpenDirectory(CStringViewA path);
/// Creates the directory name inside the open directory parent, whose path is parentPath (the platforms
/// that cannot create relative to a handle use the path). AlreadyExists when anything has the name.
[[nodiscard]] ECreateDirectory MakeDirectoryIn(FileHandle parent, CStringViewA parentPath, CStringViewA name);
/// Opens the directory name inside parent as OpenDirectory does, but fails when name is a symbolic link
/// (a reparse point on Windows), whatever it points at. While the handle is open the directory stays the
/// one opened: files created through the handle land in it even when the name is renamed and replaced by
/// a link (on Windows the directory cannot be renamed or removed at all meanwhile).
[[nodiscard]] FileHandle OpenDirectoryIn(FileHandle parent, CStringViewA parentPath, CStringViewA name);
/// Creates the file name inside directory for writing, always as a new file that no other name shares:
/// anything else at name (a file, a symbolic link, a hard link, a named pipe, a device node) is removed
/// first, never opened, so its target or its other names are untouched. Fails, with the invalid handle,
/// when a directory has the name or the name cannot be removed or created. Created files get the default
/// permissions of the platform.
[[nodiscard]] FileHandle CreateFileIn(FileHandle directory, CStringViewA directoryPath, CStringViewA name);
/// Removes the file name inside directory. False when it cannot.
[[nodiscard]] bool RemoveFileIn(FileHandle directory, CStringViewA directoryPath, CStringViewA name);

/// Copies up to count bytes from the absolute offset of from to the current position of to inside the
/// system, without passing them through the caller's memory; copied is what moved. True when count bytes
/// moved or from ended first (copied < count). False on an error, or where the system cannot copy between
/// these two files (always on Windows): the caller then reads and writes the rest itself.
[[nodiscard]] bool CopyRange(FileHandle from, uint64_t offset, FileHandle to, uint64_t count,
                             uint64_t& copied);

/// A started thread; joined with JoinThread.
using ThreadHandle = uintptr_t;
/// What a thread runs: Entry(Argument).
struct CThreadStart {
    void (*Entry)(void*) = nullptr;
    void* Argument = nullptr;
};
/// Starts a thread that runs start on a stack of stackSize bytes (raised to the system's minimum). start is
/// borrowed until the thread ends. False, with nothing started, when the system refuses.
[[nodiscard]] bool StartThread(const CThreadStart& start, uint64_t stackSize, ThreadHandle& thread);
/// Waits for the thread to end and releases it.
void JoinThread(ThreadHandle thread);

/// Reports every regular file of directory (symbolic links followed, directories skipped) whose name
/// matches pattern, "*" standing for any run of characters and other characters matching themselves with
/// ASCII letter case ignored. directory ends in a separator. Failed when it cannot be enumerated.
[[nodiscard]] EDirectoryScan ScanDirectory(CStringViewA directory, CStringViewA pattern, FileNameSink sink,
                                           void* context);

/// How many files at most may wait for removal on an interruption at once.
constexpr uint32_t MaxInterruptRemovals = 4;

/// Makes an interruption of the process remove the file at path before the process ends, until
/// ForgetOnInterrupt(slot): SIGINT, SIGTERM, SIGHUP or SIGPIPE on POSIX, each of which then ends the process
/// by its default action as if nothing had caught it; Ctrl+C, Ctrl+Break or a closed console on Windows. The
/// path is copied into slot (below MaxInterruptRemovals), replacing what the slot held. The first call
/// installs the handlers; a signal that the process was started to ignore stays ignored. False, with the slot
/// empty, when path is longer than any path the OS opens. A slot must not be filled again while a handler
/// may run on another thread, which reads the path without a lock.
[[nodiscard]] bool RemoveOnInterrupt(uint32_t slot, CStringViewA path);
/// Empties slot: an interruption no longer removes its file.
void ForgetOnInterrupt(uint32_t slot);

/// True when standard error is a terminal (on Windows, a console).
bool IsErrorTerminal();

/// Raises the limit of open files to the most the process may have, so that thousands of archives can
/// stay open at once. Best effort.
void RaiseOpenFileLimit();

/// Makes a write beyond the process's file size limit fail like any other failed write, instead of
/// ending the process (SIGXFSZ on POSIX). Nothing to do on Windows.
void IgnoreFileSizeLimitSignal();

/// The calling thread's code of the last failed OS call (errno, or GetLastError on Windows).
uint32_t GetLastErrorCode();
/// Sets the calling thread's last error code, so that clean-up after a failure can hand the failure's own
/// code on to the caller.
void SetLastErrorCode(uint32_t code);
/// Replaces text with the OS's description of an error code, in one line without a line end.
void DescribeError(uint32_t code, CStringBufferA& text);

} // namespace Os
