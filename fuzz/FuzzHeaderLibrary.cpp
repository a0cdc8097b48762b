// Fuzz target: the header library loader. Each input is loaded twice into a library that held a valid model
// before; a library that loads is walked through its accessors, and both walks must agree.
#include "FuzzSupport.h"
#include "base/ByteBuffer.h"
#include "headerlib/HeaderLibrary.h"
#include "support/HeaderLibraryWriter.h"

#include <string>

namespace {

// The texts and header bytes a run reads from the model, in reading order.
std::string Walk(const CHeaderLibrary& library) {
    std::string seen;
    for (uint64_t container = 0; container < library.GetContainerCount(); ++container) {
        seen += library.GetContainerPath(container) +
                std::string(library.HasInlineHeaders(container) ? "+" : "-");
        for (uint64_t language = 0; language < library.GetLanguageCount(container); ++language) {
            if (const char* name = library.GetLanguageName(container, language))
                seen += name;
        }
        for (uint64_t entry = 0; entry < library.GetContainerTables()[container].Spans.GetCount(); ++entry) {
            uint32_t length = 0;
            const uint8_t* header = library.GetEntryHeader(container, entry, length);
            seen.append(reinterpret_cast<const char*>(header), length);
        }
    }
    for (const CLibraryResource& resource : library.GetResources())
        seen += std::to_string(resource.Id) + std::string(resource.Name.GetData(), resource.Name.GetLength()) +
                std::string(resource.SecondName.GetData(), resource.SecondName.GetLength());
    for (const CExternalResource& external : library.GetExternalResources())
        seen += external.Name.GetData() + std::string(external.ArchiveName.GetData());
    return seen;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    GuardAllocations(0);
    const std::vector<uint8_t> valid = BuildTestHeaderLibraryImage(
        {{{"[a.bundle].pc_resourcelib", 0, true, {"en"}, {{10, 24, {}}}}}, {}, {}});
    CByteBuffer file;
    CHeaderLibrary library;
    file.Append(valid.data(), valid.size());
    FuzzCheck(library.Load(file), "the valid library does not load");
    std::string walks[2];
    for (std::string& walk : walks) {
        file.Resize(0);
        file.Append(data, size);
        walk = library.Load(file) ? Walk(library) : "<failed>";
    }
    FuzzCheck(walks[0] == walks[1], "two loads of the same input disagree");
    return 0;
}
