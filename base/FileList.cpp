// CFileList: directory scans into a path pool, sorted by upper-cased name.
#include "base/FileList.h"

#include "base/AsciiCase.h"
#include "base/Platform.h"
#include "base/StringBuffer.h"

#include <algorithm>
#include <cstring>

namespace {

// The order an NTFS directory lists names in: byte-wise after ASCII upper-casing, then by the raw bytes so
// that names differing only in letter case still come in one fixed order.
bool NameLess(const char* left, const char* right) {
    const auto* a = reinterpret_cast<const unsigned char*>(left);
    const auto* b = reinterpret_cast<const unsigned char*>(right);
    for (uint64_t i = 0;; ++i) {
        const auto x = static_cast<unsigned char>(UpperAscii(static_cast<char>(a[i])));
        const auto y = static_cast<unsigned char>(UpperAscii(static_cast<char>(b[i])));
        if (x != y)
            return x < y;
        if (a[i] == '\0')
            break;
    }
    return std::strcmp(left, right) < 0;
}

} // namespace

void CFileList::CollectName(void* context, CStringViewA fileName) {
    auto* list = static_cast<CFileList*>(context);
    if (list->m_Filter != nullptr && !list->m_Filter(list->m_FilterContext, fileName))
        return;
    CByteBuffer& pool = list->m_Pool;
    const uint64_t start = pool.GetSize();
    // Both grow to twice their size when full: a folder of n files costs O(n) copies, not O(n * n).
    const uint64_t length = list->m_Prefix.GetLength() + fileName.GetLength() + 1;
    if (pool.GetCapacity() - start < length)
        pool.Reserve(std::max(2 * pool.GetCapacity(), start + length));
    pool.Append(list->m_Prefix.GetData(), list->m_Prefix.GetLength());
    pool.Append(fileName.GetData(), fileName.GetLength());
    pool.Append("", 1);
    AppendGrowing(list->m_Offsets, start);
}

bool CFileList::FindFiles(CStringViewA directory, CStringViewA pattern, NameFilter filter,
                          void* filterContext) {
    m_Offsets.Resize(0);
    m_Pool.Resize(0);
    m_Cursor = 0;

    TStringBufferA<260> prefix;
    prefix.Assign(directory);
    const char last = prefix.GetLength() == 0 ? '\0' : prefix.GetData()[prefix.GetLength() - 1];
    if (last != '\\' && last != '/')
        prefix.Append("\\");

    m_Prefix = prefix.GetView();
    m_Filter = filter;
    m_FilterContext = filterContext;
    const EDirectoryScan scan = Os::ScanDirectory(m_Prefix, pattern, &CFileList::CollectName, this);
    const uint64_t prefixLength = m_Prefix.GetLength();
    m_Prefix = CStringViewA();
    m_Filter = nullptr;
    if (scan == EDirectoryScan::Failed) {
        m_Offsets.Resize(0);
        m_Pool.Resize(0);
        return false;
    }
    SortByName(prefixLength);
    return true;
}

void CFileList::SortByName(uint64_t prefixLength) {
    const char* pool = reinterpret_cast<const char*>(m_Pool.GetData());
    std::sort(m_Offsets.begin(), m_Offsets.end(), [pool, prefixLength](uint64_t left, uint64_t right) {
        return NameLess(pool + left + prefixLength, pool + right + prefixLength);
    });
}

const char* CFileList::GetPath(uint64_t index) const {
    return reinterpret_cast<const char*>(m_Pool.GetData()) + m_Offsets[index];
}

const char* CFileList::NextPath() {
    if (m_Cursor >= m_Offsets.GetCount())
        return nullptr;
    return GetPath(m_Cursor++);
}
