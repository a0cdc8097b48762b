// Whole-file writes and directory creation.
#include "base/File.h"

#include "base/Platform.h"
#include "base/StringBuffer.h"

namespace {

// Writes the bytes to a file just opened for writing and closes it. On a failed or short write the file is
// cut back to zero length first.
bool WriteAndClose(FileHandle file, const void* bytes, uint64_t count) {
    uint64_t written = 0;
    if (!Os::Write(file, bytes, count, written) || written != count) {
        // The write's own error is what the caller reports, not that of the clean-up.
        const uint32_t error = Os::GetLastErrorCode();
        // Leave an empty file rather than a truncated copy that could pass for the real content.
        if (Os::Seek(file, 0))
            (void)Os::SetEndOfFile(file);
        Os::CloseFile(file);
        Os::SetLastErrorCode(error);
        return false;
    }
    Os::CloseFile(file);
    return true;
}

} // namespace

bool WriteWholeFile(CStringViewA path, const void* bytes, uint64_t count) {
    FileHandle file = Os::OpenFile(path, EFileAccess::Write, EFileCreation::CreateOrTruncate);
    // A link cannot be opened for writing: it is removed, and the file takes its place.
    if (file == InvalidFileHandle && Os::IsSymbolicLink(path) && Os::RemoveFile(path))
        file = Os::OpenFile(path, EFileAccess::Write, EFileCreation::CreateOrTruncate);
    if (file == InvalidFileHandle)
        return false;
    return WriteAndClose(file, bytes, count);
}

CStagedFile::~CStagedFile() { Discard(); }

void CStagedFile::Discard() {
    if (m_State != EState::Staged)
        return;
    (void)Os::RemoveFile(m_Temporary.GetData());
    Os::ForgetOnInterrupt(m_Slot);
    m_State = EState::Empty;
}

void CStagedFile::Stage(CStringViewA path, uint32_t interruptSlot, const void* bytes, uint64_t count) {
    Discard();
    m_Path.Assign(path);
    m_Slot = interruptSlot;
    m_Bytes = bytes;
    m_Count = count;
    // The temporary is hidden beside the file: a dot in front of the name, a suffix after it.
    uint64_t nameStart = 0;
    for (uint64_t i = 0; i < path.GetLength(); ++i) {
        if (path[i] == '\\' || path[i] == '/')
            nameStart = i + 1;
    }
    m_Temporary.Assign(path.Substring(0, nameStart));
    m_Temporary.Append(".");
    m_Temporary.Append(path.Substring(nameStart));
    m_Temporary.Append(".partial");
    // Armed before the file exists, so that no moment is left in which an interruption would keep it.
    m_State = EState::InPlace;
    if (!Os::RemoveOnInterrupt(m_Slot, m_Temporary.GetData()))
        return;
    // What has the name is an interrupted run's temporary, or something planted there: it goes, and the
    // file is created anew, so that nothing outside the folder is written through a link.
    (void)Os::RemoveFile(m_Temporary.GetData());
    const FileHandle file = Os::OpenFile(m_Temporary.GetData(), EFileAccess::Write, EFileCreation::CreateNew);
    if (file == InvalidFileHandle) {
        Os::ForgetOnInterrupt(m_Slot);
        return;
    }
    m_State = EState::Staged;
    if (WriteAndClose(file, bytes, count))
        return;
    Discard();
    m_State = EState::Failed;
}

bool CStagedFile::Commit() {
    if (m_State == EState::Empty)
        return false;
    if (m_State == EState::InPlace) {
        m_State = EState::Empty;
        return WriteWholeFile(m_Path.GetData(), m_Bytes, m_Count);
    }
    if (m_State == EState::Staged && Os::RenameReplacing(m_Temporary.GetData(), m_Path.GetData())) {
        Os::ForgetOnInterrupt(m_Slot);
        m_State = EState::Empty;
        return true;
    }
    Discard();
    m_State = EState::Empty;
    // Never an earlier run's content beside this run's other files: an empty file instead.
    (void)WriteWholeFile(m_Path.GetData(), nullptr, 0);
    return false;
}

bool CreateDirectoryPath(CStringViewA path) {
    TStringBufferA<260> work;
    work.Assign(path);
    char* text = const_cast<char*>(work.GetData());
    const uint64_t length = work.GetLength();
    for (uint64_t i = 0; i < length; ++i) {
        if (text[i] == '/')
            text[i] = '\\';
    }
    // A drive prefix ("C:") names an existing root and is never created.
    bool createComponent = !(length >= 2 && text[1] == ':');
    TStringBufferA<260> built;
    uint64_t position = 0;
    for (;;) {
        uint64_t end = position;
        while (end < length && text[end] != '\\')
            ++end;
        built.Append(CStringViewA(text + position, end - position));
        built.Append("\\");
        if (createComponent && Os::MakeDirectory(built.GetView()) == ECreateDirectory::Failed)
            return false;
        createComponent = true;
        if (end == length)
            break;
        position = end;
        while (position < length && text[position] == '\\')
            ++position;
    }
    return true;
}
