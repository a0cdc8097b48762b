// Expected resource files, and a scan of the library folders for the others.
#include "app/TreeFiles.h"

#include "base/FileList.h"
#include "base/StringBuffer.h"

#include <algorithm>
#include <cstring>

namespace {

// The id of a resource file name, "%.16I64X.bin" exactly; false for any other name.
bool ParseResourceFileName(const char* fileName, ResourceId& id) {
    if (std::strlen(fileName) != 20 || std::strcmp(fileName + 16, ".bin") != 0)
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

void CExpectedTreeFiles::BeginLibrary(const char* name) {
    const CStringViewA view(name);
    for (uint64_t i = 0; i < m_Libraries.GetCount(); ++i) {
        if (m_Libraries[i].GetView() == view) {
            m_Current = i;
            return;
        }
    }
    AppendGrowing(m_Libraries, CInlineStringA(view));
    m_Current = m_Libraries.GetCount() - 1;
}

void CExpectedTreeFiles::Expect(ResourceId id) {
    // One record per resource of the run.
    AppendGrowing(m_Files, CExpectedFile{m_Current, id});
}

void CExpectedTreeFiles::FindUnexpected(const char* tree, UnexpectedSink unexpected, void* context) {
    const auto less = [](const CExpectedFile& left, const CExpectedFile& right) {
        return left.Library != right.Library ? left.Library < right.Library : left.Id < right.Id;
    };
    std::sort(m_Files.begin(), m_Files.end(), less);
    CFileList files;
    TStringBufferA<260> folder;
    for (uint64_t library = 0; library < m_Libraries.GetCount(); ++library) {
        folder.Format("%s\\%s", tree, m_Libraries[library].GetData());
        if (!files.FindFiles(folder.GetData(), "*"))
            continue;
        while (const char* path = files.NextPath()) {
            const char* fileName = path + std::strlen(path);
            while (fileName != path && fileName[-1] != '\\' && fileName[-1] != '/')
                --fileName;
            ResourceId id = 0;
            const bool hasId = ParseResourceFileName(fileName, id);
            if (hasId && std::binary_search(m_Files.begin(), m_Files.end(), CExpectedFile{library, id}, less))
                continue;
            unexpected(context, m_Libraries[library].GetData(), fileName, id, hasId);
        }
    }
}
