// Fuzz target: the archive index reader. Each input is mounted as "fuzz.archive", which may refer to itself,
// and every entry of the mounted archive is looked up and read to its end.
#include "FuzzSupport.h"
#include "archive/ArchiveManager.h"
#include "support/BinaryFile.h"

namespace {

std::string g_Directory;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_Directory = MakeFuzzDirectory();
    GuardAllocations();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzCheck(WriteBinaryFile(g_Directory + "/fuzz.archive", data, size), "cannot write the input");
    CArchiveManager manager;
    const CArchive* archive = manager.Mount((g_Directory + "\\fuzz.archive").c_str());
    if (archive == nullptr)
        return 0;
    static uint8_t chunk[4096];
    CEntryLookup lookup;
    for (const CArchiveEntry& entry : archive->GetEntries()) {
        CArchiveStream stream = manager.OpenEntry(entry.Name.GetView(), lookup);
        FuzzCheck(stream.Entry != nullptr && stream.Size == stream.Entry->GetSize(),
                  "a mounted entry is not found");
        for (uint64_t total = 0, arrived = sizeof(chunk); arrived == sizeof(chunk) && total < (1 << 20);
             total += arrived) {
            const uint64_t before = stream.Position;
            arrived = stream.Read(chunk, sizeof(chunk));
            FuzzCheck(arrived <= sizeof(chunk) && stream.Position == before + arrived,
                      "Read moved by other than its result");
            FuzzCheck(stream.Position <= stream.Size, "Read went beyond the entry's end");
        }
    }
    return 0;
}
