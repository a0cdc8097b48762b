// File operations of the tool: whole-file writes and directory creation.
#pragma once

#include "base/Platform.h"
#include "base/StringBuffer.h"

#include <cstdint>

/// Replaces the file at path with exactly count bytes. True when the file now holds them. A file that
/// cannot be created leaves the disk unchanged; a write that fails part-way cuts the file back to zero
/// length, so that no truncated copy of the content is ever left behind. A symbolic link at path is
/// replaced by the file; its target is never written.
[[nodiscard]] bool WriteWholeFile(CStringViewA path, const void* bytes, uint64_t count);

/// The new content of a file, written first to a temporary beside it (".NAME.partial" in the same folder)
/// and then renamed over it, so that the file holds its old content or the whole new one. A set of files
/// that belong together is staged whole before the first of them is committed, which narrows the time in
/// which old and new members stand side by side to the renames. The temporary's name is fixed, so that a
/// later run removes what an interrupted one left there before it creates its own, exclusively; until the
/// rename an interruption of the process removes it too (Os::RemoveOnInterrupt, in the slot given).
/// Borrows the bytes from Stage until Commit; the destructor removes a temporary that was not committed.
class CStagedFile {
public:
    CStagedFile() = default;
    ~CStagedFile();
    CStagedFile(const CStagedFile&) = delete;
    CStagedFile& operator=(const CStagedFile&) = delete;

    /// Writes count bytes to the temporary of path. A temporary that cannot be created leaves nothing
    /// behind, and Commit then writes path in place (WriteWholeFile); one whose write fails is removed.
    void Stage(CStringViewA path, uint32_t interruptSlot, const void* bytes, uint64_t count);
    /// Renames the temporary over path, replacing a file or link there. True when path now holds the bytes.
    /// When the write or the rename failed, path is left empty (a directory there is left alone), so that
    /// no earlier content stands beside the other files of the set.
    [[nodiscard]] bool Commit();

private:
    enum class EState { Empty, Staged, InPlace, Failed };

    // Removes the temporary and forgets it.
    void Discard();

    EState m_State = EState::Empty;
    uint32_t m_Slot = 0;
    const void* m_Bytes = nullptr;
    uint64_t m_Count = 0;
    TStringBufferA<260> m_Path;
    TStringBufferA<260> m_Temporary;
};

/// Creates the directory path and every missing parent, parents first; an existing directory counts as
/// success. Slashes and backslashes both separate; runs of separators count as one; a drive prefix such as
/// "C:" is never created. Stops at the first component that cannot be created.
[[nodiscard]] bool CreateDirectoryPath(CStringViewA path);
