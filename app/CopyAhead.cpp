// Whole files copied ahead on a thread of their own.
#include "app/CopyAhead.h"

#include "base/File.h"

namespace {

// The thread only waits in the system's copy; a small stack is plenty.
constexpr uint64_t CopyThreadStackSize = uint64_t(128) << 10;

// Whether two path texts name one file as the system layer hands them over, where a backslash and a slash
// are the same separator: an archive named by a reference ("DIR/b.archive") is the one the listing found
// ("DIR\\b.archive").
bool IsSamePath(CStringViewA left, CStringViewA right) {
    if (left.GetLength() != right.GetLength())
        return false;
    for (uint64_t i = 0; i < left.GetLength(); ++i) {
        const char a = left[i] == '\\' ? '/' : left[i];
        const char b = right[i] == '\\' ? '/' : right[i];
        if (a != b)
            return false;
    }
    return true;
}

} // namespace

CCopyAhead::~CCopyAhead() {
    if (m_Running) {
        m_Stopping.store(true, std::memory_order_relaxed);
        Os::JoinThread(m_Thread);
    }
    TStringBufferA<260> path;
    for (uint64_t position = 0; position < m_Copied.GetCount(); ++position) {
        if (m_Copied[position] == 0)
            continue;
        FormatCopyPath(position, path);
        (void)Os::RemoveFile(path.GetView());
    }
    if (m_MadeFolder && !m_Taken)
        (void)Os::RemoveEmptyDirectory(m_Folder.GetView());
}

bool CCopyAhead::Start(CStringViewA folder, const CArray<CInlineStringA>& sources) {
    m_Folder.Assign(folder);
    m_MadeFolder = Os::GetDirectoryState(folder) == EDirectoryState::Missing;
    if (!CreateDirectoryPath(folder)) {
        m_MadeFolder = false;
        return false;
    }
    m_Sources.Reserve(sources.GetCount());
    m_Copied.Reserve(sources.GetCount());
    for (const CInlineStringA& source : sources) {
        m_Sources.Append(source);
        m_Copied.Append(0);
    }
    m_Start.Entry = &RunThread;
    m_Start.Argument = this;
    m_Running = Os::StartThread(m_Start, CopyThreadStackSize, m_Thread);
    if (!m_Running)
        m_Done = m_Sources.GetCount();
    return m_Running;
}

uint64_t CCopyAhead::FindSource(CStringViewA source) const {
    uint64_t position = 0;
    while (position < m_Sources.GetCount() && !IsSamePath(m_Sources[position].GetView(), source))
        ++position;
    return position;
}

bool CCopyAhead::Take(CStringViewA source, CStringViewA path) {
    const uint64_t position = FindSource(source);
    if (position == m_Sources.GetCount())
        return false;
    {
        std::unique_lock<std::mutex> lock(m_Mutex);
        m_CopyDone.wait(lock, [&] { return m_Done > position; });
    }
    if (m_Copied[position] == 0)
        return false;
    TStringBufferA<260> copyPath;
    FormatCopyPath(position, copyPath);
    if (!Os::RenameReplacing(copyPath.GetView(), path))
        return false;
    m_Copied[position] = 0;
    m_Taken = true;
    return true;
}

void CCopyAhead::RunThread(void* copies) {
    static_cast<CCopyAhead*>(copies)->CopyAll();
}

void CCopyAhead::CopyAll() {
    TStringBufferA<260> path;
    for (uint64_t position = 0; position < m_Sources.GetCount(); ++position) {
        // A failed copy is left for the caller to make again, which reports what fails.
        bool copied = false;
        if (!m_Stopping.load(std::memory_order_relaxed)) {
            FormatCopyPath(position, path);
            copied = Os::CopyWholeFile(m_Sources[position].GetView(), path.GetView());
            if (!copied)
                (void)Os::RemoveFile(path.GetView());
        }
        const std::lock_guard<std::mutex> guard(m_Mutex);
        m_Copied[position] = copied ? 1 : 0;
        ++m_Done;
        m_CopyDone.notify_all();
    }
}

void CCopyAhead::FormatCopyPath(uint64_t position, CStringBufferA& path) const {
    path.Format("%s\\%I64u.vorsk-copy", m_Folder.GetData(), position);
}
