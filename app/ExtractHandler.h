// CExtractHandler: the extraction, each admitted resource written to a file of its own, then the index files.
#pragma once

#include "app/Languages.h"
#include "app/ResourceHandler.h"
#include "base/Platform.h"
#include "base/StringBuffer.h"

/// Creates each library's folder below the output directory and hands it to the writer pool, checks that
/// each admitted resource's bytes are there and queues its file (or keeps a file that exists with the right
/// size, with --skip-existing), and at the end takes the writers' counts, warns about a locale that no
/// container lists and writes the four index files. Owns the output directory's handle and the path buffer.
class CExtractHandler final : public CResourceHandler {
public:
    explicit CExtractHandler(const CHandlerContext& context) : m_Context(context) {}
    ~CExtractHandler() override;
    CExtractHandler(const CExtractHandler&) = delete;
    CExtractHandler& operator=(const CExtractHandler&) = delete;

    bool BeginLibrary(const CLibraryScope& library) override;
    bool TakeResource(const CResourceItem& item) override;
    bool Finish(const CRunRecords& records) override;

private:
    [[nodiscard]] bool CreateLibraryDirectory(CStringViewA name);
    const char* OpenLibraryFolder(CStringViewA name, FileHandle& folder);
    bool KeepsExistingFile(uint64_t size) const;
    const CNameMap& GetNamesWithoutFailedReads(const CNameMap& names);

    CHandlerContext m_Context;
    CLanguageCounts m_Languages;
    // The output directory, opened when the first library folder is made in it.
    FileHandle m_OutputFolder = InvalidFileHandle;
    // The run's names less the ids whose files failed their reads on the writers; made only when some did.
    CNameMap m_WrittenNames;
    TStringBufferA<260> m_PathBuffer;
};
