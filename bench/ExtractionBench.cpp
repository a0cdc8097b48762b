// Benchmarks for the hot paths of an extraction: entry look-up, segmented reads, header library loading,
// resource file writing and the index files.
#include "app/OutputFiles.h"
#include "archive/ArchiveManager.h"
#include "base/ByteBuffer.h"
#include "base/File.h"
#include "headerlib/HeaderLibrary.h"
#include "resid/ResourcePath.h"
#include "support/ArchiveWriter.h"
#include "support/ContentBuilder.h"
#include "support/HeaderLibraryWriter.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// A scratch directory for the benchmarks that need files, on tmpfs where there is one so that the figures
// show the tool's own costs rather than a disk's; removed with its contents when the program ends.
class CScratchDirectory {
public:
    CScratchDirectory() {
        std::string pattern = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
        pattern += "/vorsk-bench-XXXXXX";
        std::vector<char> text(pattern.begin(), pattern.end());
        text.push_back('\0');
        if (mkdtemp(text.data()) != nullptr)
            m_Path = text.data();
    }
    ~CScratchDirectory() {
        std::error_code error;
        if (!m_Path.empty())
            std::filesystem::remove_all(m_Path, error);
    }
    const std::string& GetPath() const { return m_Path; }

private:
    std::string m_Path;
};

CScratchDirectory& GetScratch() {
    static CScratchDirectory scratch;
    return scratch;
}

std::string Format(const char* format, unsigned a, unsigned b = 0) {
    char text[128];
    std::snprintf(text, sizeof(text), format, a, b);
    return text;
}

// 16 archives of 125 container entries each, as the 100,000-resource corpus has: the manager asks every
// archive for every name.
constexpr unsigned LookupArchives = 16;
constexpr unsigned EntriesPerArchive = 125;

struct CMountedSet {
    CArchiveManager Manager;
    std::vector<std::string> EntryNames; // Archive names as the header libraries give them.
    bool Mounted = false;
};

CMountedSet& GetMountedSet() {
    static CMountedSet set;
    if (set.Mounted)
        return set;
    std::vector<CTestArchive> archives;
    for (unsigned a = 0; a < LookupArchives; ++a) {
        std::vector<std::string> names;
        std::vector<std::string> contents;
        for (unsigned e = 0; e < EntriesPerArchive; ++e) {
            const std::string path = Format("[world/region_%02u/pack_%06u.bundle].pc_resourcelib", a, e);
            CInlineStringA name;
            ResourcePath::GetArchiveName(path.c_str(), name);
            set.EntryNames.push_back(name.GetData());
            names.push_back(name.GetData());
            contents.push_back("data");
        }
        archives.push_back(MakeSimpleTestArchive(Format("data%02u.archive", a), names, contents));
    }
    const std::string directory = GetScratch().GetPath() + "/lookup";
    std::filesystem::create_directories(directory);
    if (!WriteTestArchives(directory, archives))
        return set;
    for (unsigned a = 0; a < LookupArchives; ++a) {
        if (set.Manager.Mount((directory + "/" + archives[a].FileName).c_str()) == nullptr)
            return set;
    }
    set.Mounted = true;
    return set;
}

// One look-up per resource: a name that some archive holds, in the order a library lists its containers,
// each asked for state.range(0) times in a row (the resources of one container follow one another).
void OpenEntry(benchmark::State& state) {
    CMountedSet& set = GetMountedSet();
    if (!set.Mounted) {
        state.SkipWithError("cannot mount the archives");
        return;
    }
    const int64_t repeats = state.range(0);
    CEntryLookup lookup;
    size_t next = 0;
    int64_t asked = 0;
    for (auto _ : state) {
        const CArchiveStream stream = set.Manager.OpenEntry(set.EntryNames[next].c_str(), lookup);
        benchmark::DoNotOptimize(stream.Entry);
        if (++asked == repeats) {
            asked = 0;
            if (++next == set.EntryNames.size())
                next = 0;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(OpenEntry)->ArgName("repeats")->Arg(1)->Arg(50);

// One entry of 4 MiB in state.range(0) segments spread over two archive files, read in pieces of
// state.range(1) bytes at positions that walk through it, as the extraction reads resources.
constexpr uint64_t SegmentedEntrySize = 4 << 20;

void SegmentedRead(benchmark::State& state) {
    const unsigned segmentCount = static_cast<unsigned>(state.range(0));
    const uint64_t piece = static_cast<uint64_t>(state.range(1));
    const std::string directory = GetScratch().GetPath() + Format("/segments-%u", segmentCount);
    std::filesystem::create_directories(directory);

    CTestArchive first;
    first.FileName = "first.archive";
    first.References = {"first.archive", "second.archive"};
    CTestArchive second;
    second.FileName = "second.archive";
    CTestEntry entry;
    entry.Name = "entry";
    const uint64_t segmentSize = SegmentedEntrySize / segmentCount;
    for (unsigned s = 0; s < segmentCount; ++s) {
        CTestSegment segment;
        segment.Reference = s % 2;
        segment.Bytes.assign(segmentSize, static_cast<uint8_t>(s));
        entry.Segments.push_back(segment);
    }
    first.Entries.push_back(entry);
    CArchiveManager manager;
    if (!WriteTestArchives(directory, {first, second}) ||
        manager.Mount((directory + "/first.archive").c_str()) == nullptr) {
        state.SkipWithError("cannot mount the archive");
        return;
    }
    CEntryLookup lookup;
    CArchiveStream stream = manager.OpenEntry("entry", lookup);
    std::vector<uint8_t> buffer(piece);
    uint64_t position = 0;
    for (auto _ : state) {
        stream.Position = position;
        benchmark::DoNotOptimize(stream.Read(buffer.data(), piece));
        // A stride that is not a multiple of the segment size lands at every kind of place in a segment.
        position = (position + piece + 4093) % (SegmentedEntrySize - piece);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(piece));
}
BENCHMARK(SegmentedRead)->ArgNames({"segments", "bytes"})->Args({1, 8192})->Args({64, 8192})->Args({64, 256});

// A header library as large as the corpus's largest: 20,000 resources in 400 containers.
std::vector<uint8_t> MakeLibraryImage(unsigned containerCount, unsigned entriesPerContainer) {
    CTestHeaderLibrary library;
    for (unsigned c = 0; c < containerCount; ++c) {
        CTestContainer container;
        container.Path = Format("[world/region_00/pack_%06u.bundle].pc_resourcelib", c);
        container.Languages = {std::string("all")};
        container.InlineHeaders = c % 4 == 0;
        for (unsigned e = 0; e < entriesPerContainer; ++e) {
            CTestEntryHeader header;
            header.DataLength = 1000 + e;
            container.Entries.push_back(header);
            const std::string name =
                Format("[world/region_00/pack_%06u/item_%06u.tga].pc_texture", c, c * entriesPerContainer + e);
            library.Resources.push_back({MakeTestMemberId(*container.Path, e),
                                         ResourcePath::GetId(CStringViewA(name.c_str())), name, ""});
        }
        library.Containers.push_back(container);
    }
    for (unsigned x = 0; x < 50; ++x)
        library.ExternalNames.push_back(Format("[external/movie_%04u.bik].pc_movie", x));
    return BuildTestHeaderLibraryImage(library);
}

void HeaderLibraryLoad(benchmark::State& state) {
    const std::vector<uint8_t> image = MakeLibraryImage(400, 50);
    CByteBuffer file;
    file.Append(image.data(), image.size());
    CHeaderLibrary library;
    for (auto _ : state) {
        if (!library.Load(file)) {
            state.SkipWithError("the library does not load");
            break;
        }
        benchmark::DoNotOptimize(library.GetResources().GetCount());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(image.size()));
    state.SetItemsProcessed(state.iterations() * 20000);
}
BENCHMARK(HeaderLibraryLoad)->Unit(benchmark::kMillisecond);

// The write of one resource file: the path, then open, write and close, replacing one of 4,096 files.
void WriteResource(benchmark::State& state) {
    const uint64_t size = static_cast<uint64_t>(state.range(0));
    const std::string output = GetScratch().GetPath() + "/output";
    if (!CreateDirectoryPath((output + "/chunk00").c_str())) {
        state.SkipWithError("cannot create the output directory");
        return;
    }
    const std::vector<uint8_t> bytes(size, 0x5A);
    TStringBufferA<260> pathBuffer;
    uint64_t next = 0;
    for (auto _ : state) {
        const ResourceId id = 0x00C46180EE700000ull + (next++ & 4095);
        if (!WriteResourceFile(pathBuffer, output.c_str(), "chunk00", id, bytes.data(), size)) {
            state.SkipWithError("cannot write");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(size));
}
BENCHMARK(WriteResource)->Arg(0)->Arg(8192);

// A name map as a 100,000-resource run leaves it: containers, then resources, with typical paths.
const CNameMap& GetNameMap(uint64_t& textEstimate) {
    static CNameMap names;
    // The map's names are views: their texts stay here, in place, as long as the map.
    static std::deque<std::string> texts;
    static uint64_t estimate = 0;
    if (names.GetCount() == 0) {
        for (unsigned i = 0; i < 100000; ++i) {
            const std::string name =
                Format("[world/region_%02u/pack_%06u/item_%06u.tga].pc_texture", i / 12500, i / 50) +
                std::to_string(i);
            const ResourceId id = ResourcePath::GetId(CStringViewA(name.c_str()));
            texts.push_back(name);
            names.FindOrInsert(id) = CStringViewA(texts.back().c_str());
            estimate += 19 + name.size();
        }
    }
    textEstimate = estimate;
    return names;
}

void NameMapText(benchmark::State& state) {
    uint64_t estimate = 0;
    const CNameMap& names = GetNameMap(estimate);
    for (auto _ : state) {
        CStringBufferA text;
        BuildNameMapText(names, estimate, text);
        benchmark::DoNotOptimize(text.GetData());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(names.GetCount()));
}
BENCHMARK(NameMapText)->Unit(benchmark::kMillisecond);

void ResMapImage(benchmark::State& state) {
    uint64_t estimate = 0;
    const CNameMap& names = GetNameMap(estimate);
    for (auto _ : state) {
        CByteBuffer image;
        BuildResMap(names, image);
        benchmark::DoNotOptimize(image.GetData());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(names.GetCount()));
}
BENCHMARK(ResMapImage)->Unit(benchmark::kMillisecond);

} // namespace
