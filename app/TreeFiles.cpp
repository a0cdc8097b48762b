// Expected resource files, and a scan of the library folders for the others.
#include "app/TreeFiles.h"

#include "base/FileList.h"
#include "base/StringBuffer.h"

#include <algorithm>

namespace {

// The id of a resource file name, "%.16I64X.bin" exactly; false for any other name.
bool ParseResourceFileName(CStringViewA fileName, ResourceId& id) {
    if (fileName.GetLength() != 20 || !(fileName.Substring(16) == ".bin"))
        return false;
    id = 0;
    for (int i = 0; i < 16; ++i) {
        const char c = fileName[i];
        const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (digit < 0)
            return false;
        id = id << 4 | static_cast<uint64_t>(digit);
    }
    return true;
}

} // namespace

void CExpectedTreeFiles::BeginLibrary(CStringViewA name) {
    for (uint64_t i = 0; i < m_Libraries.GetCount(); ++i) {
        if (m_Libraries[i].GetView() == name) {
            m_Current = i;
            return;
        }
    }
    AppendGrowing(m_Libraries, CInlineStringA(name));
    m_Current = m_Libraries.GetCount() - 1;
}

void CExpectedTreeFiles::Expect(ResourceId id) {
    // One record per resource of the run.
    AppendGrowing(m_Files, CExpectedFile{m_Current, id});
}

bool CExpectedTreeFiles::IsExpected(const CExpectedFile& file) const {
    return std::binary_search(m_Files.begin(), m_Files.end(), file, &IsBefore);
}

bool CExpectedTreeFiles::KeepUnexpected(void* context, CStringViewA fileName) {
    const auto& scan = *static_cast<const CFolderScan*>(context);
    ResourceId id = 0;
    return !ParseResourceFileName(fileName, id) || !scan.Files->IsExpected(CExpectedFile{scan.Library, id});
}

void CExpectedTreeFiles::FindUnexpected(CStringViewA tree, UnexpectedSink unexpected, void* context) {
    std::sort(m_Files.begin(), m_Files.end(), &IsBefore);
    CFileList files;
    TStringBufferA<260> folder;
    for (uint64_t library = 0; library < m_Libraries.GetCount(); ++library) {
        // Paths are far shorter than INT_MAX characters.
        folder.Format("%.*s\\%s", static_cast<int>(tree.GetLength()), tree.GetData(),
                      m_Libraries[library].GetData());
        // Only the unexpected names are kept and sorted: a tree holds mostly expected ones.
        CFolderScan scan{this, library};
        if (!files.FindFiles(folder.GetView(), "*", &CExpectedTreeFiles::KeepUnexpected, &scan))
            continue;
        while (const char* next = files.NextPath()) {
            const CStringViewA path(next);
            const uint64_t slash = std::max(path.FindLastChar('/') + 1, path.FindLastChar('\\') + 1);
            const CStringViewA fileName = path.Substring(slash);
            ResourceId id = 0;
            const bool hasId = ParseResourceFileName(fileName, id);
            unexpected(context, m_Libraries[library].GetView(), fileName, id, hasId);
        }
    }
}
