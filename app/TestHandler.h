// CTestHandler: --test, every admitted resource read in full and nothing written.
#pragma once

#include "app/Languages.h"
#include "app/ResourceHandler.h"
#include "base/ByteBuffer.h"
#include "base/StringBuffer.h"

/// Reads each admitted resource as an extraction would, reporting reads that end short under the path
/// "LIBRARY\ID.bin" (there is no output directory), and warns at the end about a locale that no container
/// lists. Owns the buffer the bytes are read into.
class CTestHandler final : public CResourceHandler {
public:
    explicit CTestHandler(const CHandlerContext& context) : m_Context(context) {}

    bool BeginLibrary(const CLibraryScope& library) override;
    bool TakeResource(const CResourceItem& item) override;
    bool Finish(const CRunRecords& records) override;

private:
    CHandlerContext m_Context;
    CLanguageCounts m_Languages;
    CByteBuffer m_ResourceBuffer{CByteBuffer::DefaultGranule};
    TStringBufferA<260> m_PathBuffer;
};
