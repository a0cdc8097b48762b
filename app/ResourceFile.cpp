// Writing one resource file, and the lines that report a failed one.
#include "app/ResourceFile.h"

#include "base/Console.h"
#include "base/StringBuffer.h"

#include <algorithm>
#include <cstring>

namespace {

// "%.16I64X.bin" of id, without the formatter, which workers may not call.
void FormatFileName(ResourceId id, char (&name)[21]) {
    static const char Digits[] = "0123456789ABCDEF";
    for (int i = 15; i >= 0; --i, id >>= 4)
        name[i] = Digits[id & 15];
    std::memcpy(name + 16, ".bin", 5);
}

// Fills output with the file's data after its header. A small file is gathered in buffer behind the header
// (gathered bytes so far) for one write by the caller; a larger one has its data copied by the kernel, or
// through the buffer a piece at a time where the kernel refuses. left counts the data bytes not yet moved;
// only the file sizes checked when the file was queued promise them, so a short read ends the copy with
// left above 0. False when a write failed.
bool MoveData(FileHandle output, const CResourceFile& file, bool small, uint8_t* buffer, uint64_t& gathered,
              uint64_t& left) {
    CArchiveStream data = file.Data;
    bool copying = !small;
    const CArchive* holder = nullptr;
    uint64_t offset = 0;
    uint64_t length = 0;
    while (left > 0 && data.Locate(left, holder, offset, length)) {
        uint64_t moved = 0;
        if (copying) {
            copying = Os::CopyRange(holder->GetFile(), offset, output, length, moved);
            if (copying && moved < length)
                return true;
        } else {
            length = std::min(length, ResourceBufferSize - gathered);
            if (!Os::ReadAt(holder->GetFile(), offset, buffer + gathered, length, moved))
                moved = 0;
            uint64_t done = 0;
            if (!small && !(Os::Write(output, buffer, moved, done) && done == moved))
                return false;
            if (small)
                gathered += moved;
            if (moved < length)
                return true;
        }
        data.Position += moved;
        left -= moved;
    }
    return true;
}

} // namespace

EWriteOutcome WriteResourceFile(FileHandle folder, CStringViewA folderPath, const CResourceFile& file,
                                uint8_t* buffer, uint32_t& error) {
    char name[21];
    FormatFileName(file.Id, name);
    const FileHandle output = Os::CreateFileIn(folder, folderPath, name);
    if (output == InvalidFileHandle) {
        error = Os::GetLastErrorCode();
        return EWriteOutcome::WriteFailed;
    }
    // A small file is gathered in the buffer and written with one call; a larger one gets its header first.
    const bool small = file.HeaderLength + file.Length <= ResourceBufferSize;
    uint64_t done = 0;
    bool written = true;
    if (small && file.HeaderLength > 0)
        std::memcpy(buffer, file.Header, file.HeaderLength);
    else if (!small)
        written = Os::Write(output, file.Header, file.HeaderLength, done) && done == file.HeaderLength;
    uint64_t left = file.Length;
    uint64_t gathered = small ? file.HeaderLength : 0;
    written = written && MoveData(output, file, small, buffer, gathered, left);
    if (written && small && left == 0)
        written = Os::Write(output, buffer, gathered, done) && done == gathered;
    if (!written) {
        error = Os::GetLastErrorCode();
        // Never a cut copy that could pass for the content: the file is left empty.
        if (Os::Seek(output, 0))
            (void)Os::SetEndOfFile(output);
        Os::CloseFile(output);
        return EWriteOutcome::WriteFailed;
    }
    Os::CloseFile(output);
    if (left == 0)
        return EWriteOutcome::Written;
    (void)Os::RemoveFileIn(folder, folderPath, name);
    return EWriteOutcome::ReadFailed;
}

void PrintResourceFailure(CStringViewA folderPath, ResourceId id, EWriteOutcome outcome, uint32_t error,
                          bool reasons) {
    char name[21];
    FormatFileName(id, name);
    TStringBufferA<260> path;
    path.Assign(folderPath);
    path.AppendFormat("\\%s", name);
    const bool reading = outcome == EWriteOutcome::ReadFailed;
    Print(reading ? "Failed to read \"%s\".\r\n" : "Failed to write \"%s\".\r\n", path.GetData());
    if (!reasons)
        return;
    CStringBufferA line;
    if (reading) {
        line.Format("VorskExtract: cannot read \"%s\": the archives hold fewer of its bytes than their index "
                    "promises, or a read failed.\n",
                    path.GetData());
    } else {
        TStringBufferA<256> reason;
        Os::DescribeError(error, reason);
        line.Format("VorskExtract: cannot write \"%s\": %s.\n", path.GetData(), reason.GetData());
    }
    PrintError(line.GetData());
}
