// CExtractHandler: the extraction, each admitted resource written to a file of its own, then the index files.
#pragma once

#include "app/Languages.h"
#include "app/ResourceHandler.h"
#include "base/ByteBuffer.h"
#include "base/StringBuffer.h"

/// Creates each library's folder below the output directory, reads each admitted resource and hands it to
/// the writer pool (or keeps a file that exists with the right size, with --skip-existing), and at the end
/// takes the writers' counts, warns about a locale that no container lists and writes the four index files.
/// Owns the buffer that carries one resource to the pool and the path buffer.
class CExtractHandler final : public CResourceHandler {
public:
    explicit CExtractHandler(const CHandlerContext& context) : m_Context(context) {}

    bool BeginLibrary(const CLibraryScope& library) override;
    bool TakeResource(const CResourceItem& item) override;
    bool Finish(const CRunRecords& records) override;

private:
    [[nodiscard]] bool CreateLibraryDirectory(CStringViewA name);
    bool KeepsExistingFile(uint64_t size) const;
    void QueueWrite();

    CHandlerContext m_Context;
    CLanguageCounts m_Languages;
    CByteBuffer m_ResourceBuffer{CByteBuffer::DefaultGranule};
    TStringBufferA<260> m_PathBuffer;
};
