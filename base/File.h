// File operations of the tool: opening by fopen-style mode, whole-file writes and directory creation.
#pragma once

#include "base/Platform.h"

#include <cstdint>

/// Opens path by an fopen-style mode: only the first character and whether the second is "+" count.
/// "r" reads an existing file; "w" creates or empties a file for writing; "a" opens or creates one for
/// writing at its end; with "+" each also reads. Any other mode, or a refusal of the OS, gives
/// InvalidFileHandle.
[[nodiscard]] FileHandle OpenFile(const char* path, const char* mode);

/// Closes a handle from OpenFile; the invalid handle is ignored.
void CloseFile(FileHandle file);

/// Replaces the file at path with exactly count bytes. True when the file now holds them. A file that
/// cannot be created leaves the disk unchanged; a write that fails part-way cuts the file back to zero
/// length, so that no truncated copy of the content is ever left behind. A symbolic link at path is
/// replaced by the file; its target is never written.
[[nodiscard]] bool WriteWholeFile(const char* path, const void* bytes, uint64_t count);

/// Like WriteWholeFile, but the content goes to a new file beside path that is then renamed over it, so
/// that path holds either its old content or the whole new one, even when the process is killed. When the
/// write or the rename fails, the new file is removed and path is left empty (a directory there is left
/// alone). Where no file can be created beside path, path is written in place as WriteWholeFile does.
[[nodiscard]] bool ReplaceWholeFile(const char* path, const void* bytes, uint64_t count);

/// Creates the directory path and every missing parent, parents first; an existing directory counts as
/// success. Slashes and backslashes both separate; runs of separators count as one; a drive prefix such as
/// "C:" is never created. Stops at the first component that cannot be created.
[[nodiscard]] bool CreateDirectoryPath(const char* path);
