// The bytes of an admitted resource, read from its archive entry behind its entry header.
#include "app/ResourceReader.h"

#include "app/Options.h"
#include "app/Report.h"
#include "app/WriterPool.h"
#include "base/ByteBuffer.h"
#include "base/Console.h"
#include "base/Memory.h"

#include <algorithm>
#include <cstring>

namespace {

// Growth of the buffer beyond its storage while an entry's bytes arrive: the bytes read so far plus this
// many at a time.
constexpr uint64_t ResourceReadStep = uint64_t(1) << 20;

} // namespace

// The entry's size is only what its archive claims, and the files need not hold that many bytes, so the
// buffer grows with the bytes read instead of all at once.
bool ReadResource(const CAdmission& admission, CByteBuffer& buffer) {
    CArchiveStream stream = admission.Stream;
    if (!buffer.Resize(admission.HeaderLength))
        StopOutOfMemory();
    if (admission.Header != nullptr)
        std::memcpy(buffer.GetData(), admission.Header, admission.HeaderLength);
    uint64_t filled = admission.HeaderLength;
    while (filled < admission.Size) {
        const uint64_t reach = std::max(buffer.GetCapacity(), 2 * filled + ResourceReadStep);
        const uint64_t end = std::min(admission.Size, reach);
        if (!buffer.Resize(end))
            StopOutOfMemory();
        const uint64_t count = end - filled;
        if (stream.Read(buffer.GetData() + filled, count) != count)
            return false;
        filled = end;
    }
    return true;
}

void ReportFailedRead(const CHandlerContext& context, const char* path) {
    context.Pool.Message("Failed to read \"%s\".\r\n", path);
    ++context.Counts.FailedReads;
    if (context.Options.Verbosity != EVerbosity::Verbose)
        return;
    CStringBufferA line;
    line.Format("VorskExtract: cannot read \"%s\": the archives hold fewer of its bytes than their index "
                "promises, or a read failed.\n",
                path);
    PrintError(line.GetData());
}
