// The bytes of an admitted resource, read from its archive entry behind its entry header.
#include "app/ResourceReader.h"

#include "app/Options.h"
#include "app/Report.h"
#include "app/WriterPool.h"
#include "base/ByteBuffer.h"

#include <algorithm>

namespace {

// The piece of the stored bytes that a test run reads at a time.
constexpr uint64_t ResourceReadStep = uint64_t(1) << 20;

} // namespace

bool CanReadStream(CArchiveStream data, uint64_t length) {
    const CArchive* holder = nullptr;
    uint64_t offset = 0;
    uint64_t piece = 0;
    for (uint64_t left = length; left > 0; left -= piece) {
        if (!data.Locate(left, holder, offset, piece) || offset > holder->GetFileSize() ||
            piece > holder->GetFileSize() - offset)
            return false;
        data.Position += piece;
    }
    return true;
}

bool ReadResource(const CAdmission& admission, CByteBuffer& buffer) {
    CArchiveStream stream = admission.Stream;
    uint64_t left = admission.Span.Length;
    if (left > 0)
        buffer.Resize(std::min(left, ResourceReadStep));
    while (left > 0) {
        const uint64_t count = std::min(left, ResourceReadStep);
        if (stream.Read(buffer.GetData(), count) != count)
            return false;
        left -= count;
    }
    return true;
}

void ReportFailedRead(const CHandlerContext& context, CStringViewA path) {
    // Paths are far shorter than INT_MAX characters.
    const int length = static_cast<int>(path.GetLength());
    context.Pool.Message("Failed to read \"%.*s\".\r\n", length, path.GetData());
    ++context.Counts.FailedReads;
    if (context.Options.Verbosity != EVerbosity::Verbose)
        return;
    CStringBufferA line;
    line.Format("VorskExtract: cannot read \"%.*s\": the archives hold fewer of its bytes than their index "
                "promises, or a read failed.\n",
                length, path.GetData());
    context.Pool.ErrorMessage(line.GetView());
}
