// Fuzz target: the archive index reader. Each input is written as "fuzz.archive" beside a fixed, valid
// "other.archive" that refers back to it, mounted through a fresh manager, and every entry of every mounted
// archive is looked up and read.
#include "FuzzSupport.h"
#include "archive/ArchiveManager.h"
#include "support/ArchiveWriter.h"
#include "support/BinaryFile.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string g_Directory;
std::string g_InputPath;
std::string g_MountPath;

// A valid archive that refers to itself and to the input, so that references to it mount, segments may read
// from it, and the input is mounted a second time through a reference cycle.
void WriteCompanionArchive() {
    CTestArchive other = MakeSimpleTestArchive("other.archive", {"Shared/One.txt", "shared/two.bin"},
                                               {"companion entry one\n", std::string(300, 'x')});
    other.References.push_back("fuzz.archive");
    FuzzCheck(WriteTestArchives(g_Directory, {other}), "cannot write other.archive");
}

std::string ToUpper(const char* text) {
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return upper;
}

// Reads the stream from its position in chunks up to the end, at most cap bytes, checking what Read promises.
uint64_t ReadToEnd(CArchiveStream& stream, uint64_t cap) {
    static uint8_t chunk[4096];
    uint64_t total = 0;
    while (total < cap) {
        const uint64_t before = stream.Position;
        const uint64_t arrived = stream.Read(chunk, sizeof chunk);
        FuzzCheck(arrived <= sizeof chunk, "Read returned more than was asked for");
        FuzzCheck(stream.Position == before + arrived, "Read moved the position by other than its result");
        FuzzCheck(before < stream.Size || arrived == 0, "Read returned bytes at or beyond the end");
        total += arrived;
        if (arrived < sizeof chunk)
            break;
    }
    return total;
}

void ReadEntries(CArchiveManager& manager, const CArchive& archive) {
    CArchiveStream stream;
    for (const CArchiveEntry& entry : archive.GetEntries()) {
        manager.OpenEntry(stream, entry.Name.GetData());
        FuzzCheck(stream.Entry != nullptr && stream.Archive != nullptr, "a mounted entry is not found");
        FuzzCheck(stream.Position == 0 && stream.Size == stream.Entry->GetSize(),
                  "a fresh stream is not at 0");
        const CArchiveEntry* found = stream.Entry;
        CArchiveStream upper;
        manager.OpenEntry(upper, ToUpper(entry.Name.GetData()).c_str());
        FuzzCheck(upper.Entry == found, "the look-up depends on letter case");

        const uint64_t total = ReadToEnd(stream, uint64_t(1) << 20);
        FuzzCheck(total <= stream.Size, "more bytes read than the entry holds");

        // Reads that start inside, at and beyond the end of the data.
        const uint64_t starts[] = {stream.Size / 2, stream.Size, stream.Size + 1, ~uint64_t(0)};
        for (uint64_t start : starts) {
            stream.Position = start;
            uint8_t bytes[64];
            const uint64_t arrived = stream.Read(bytes, sizeof bytes);
            FuzzCheck(arrived <= sizeof bytes, "Read returned more than was asked for");
            FuzzCheck(start < stream.Size || arrived == 0, "Read returned bytes beyond the end");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_Directory = MakeFuzzDirectory();
    g_InputPath = g_Directory + "/fuzz.archive";
    // The tool hands the archive reader paths with backslashes; the OS layer turns them into slashes.
    g_MountPath = g_Directory + "\\fuzz.archive";
    WriteCompanionArchive();
    GuardAllocations(FuzzAllocationLimit);
    std::atexit([] { RemoveFuzzTree(g_Directory); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzCheck(WriteBinaryFile(g_InputPath, data, size), "cannot write the input file");
    CArchiveManager manager;
    CArchive* mounted = manager.Mount(g_MountPath.c_str());
    CArchive* input = manager.FindArchive("fuzz.archive");
    CArchive* other = manager.FindArchive("other.archive");
    if (mounted == nullptr) {
        // Every archive that was mounted refers to the input, directly or through other.archive.
        FuzzCheck(input == nullptr && other == nullptr && manager.GetArchiveCount() == 0,
                  "a failed mount left archives that refer to it");
        return 0;
    }
    FuzzCheck(input == mounted, "the mounted archive is not registered under its file name");
    FuzzCheck(manager.GetArchiveCount() == (other != nullptr ? 2u : 1u), "unexpected archives mounted");
    ReadEntries(manager, *input);
    if (other != nullptr)
        ReadEntries(manager, *other);
    return 0;
}
