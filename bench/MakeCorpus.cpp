// Writes a large, seeded content directory for the end-to-end benchmark: vorsk_make_corpus.
//
// The corpus is made of groups of about 12,500 resources. Each group's containers live in a pair of archives
// ("dataNNa.archive", "dataNNb.archive"); some containers are split between the two. With --libraries L the
// corpus has another shape: L libraries of equal shares, each a group of its own whose containers all lie
// in one archive ("dataNNa.archive"), none split and no resource listed twice. A group is built,
// written and dropped before the next one is made, so the generator holds about one group's bytes (a few
// hundred MiB with the writers' copies) however large the corpus is. The header libraries only need the
// entry lengths, so their descriptions are gathered along the way and written at the end.
#include "base/InlineString.h"
#include "resid/ResourcePath.h"
#include "support/BinaryFile.h"
#include "support/ContentBuilder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr uint64_t DefaultResourceCount = 100000;
constexpr uint64_t DefaultSeed = 20261206;
constexpr uint64_t ResourcesPerGroup = 12500;
constexpr uint64_t ResourcesPerLibrary = 20000;
constexpr uint32_t MinimumLibraries = 4;
constexpr uint32_t MaxEntriesPerContainer = 99;
constexpr uint32_t ExternalsPerLibrary = 50;
// Every this many resources one is large (2 to 8 MiB); the others are log-uniform between 64 bytes and
// 48 KiB, which puts the mean near 8 KiB.
constexpr uint64_t LargeResourceInterval = 10007;

// A small, fast generator (splitmix64): the corpus depends on the seed alone.
class CRandom {
public:
    explicit CRandom(uint64_t seed) : m_State(seed) {}
    uint64_t Next() {
        uint64_t z = (m_State += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    /// A value in [0, bound).
    uint64_t Below(uint64_t bound) { return Next() % bound; }
    /// True with the given chance in percent.
    bool Percent(uint32_t chance) { return Below(100) < chance; }

private:
    uint64_t m_State;
};

struct COptions {
    std::string Directory;
    uint64_t Resources = DefaultResourceCount;
    uint64_t Seed = DefaultSeed;
    // 0 for the default shape; otherwise the number of libraries, each with one archive.
    uint64_t Libraries = 0;
};

struct CStatistics {
    uint64_t Resources = 0;
    uint64_t Duplicates = 0;
    uint64_t Containers = 0;
    uint64_t SplitContainers = 0;
    uint64_t InlineContainers = 0;
    uint64_t ResourceBytes = 0;
    uint64_t LargestResource = 0;
    uint64_t LargestLibraryFile = 0;
};

uint32_t PickResourceSize(CRandom& random, uint64_t resourceIndex) {
    if (resourceIndex % LargeResourceInterval == LargeResourceInterval / 2)
        return static_cast<uint32_t>((2u << 20) + random.Below(6u << 20));
    // Log-uniform: 2^(6 + 9.58 u), from 64 bytes to 48 KiB.
    const double exponent = 6.0 + 9.585 * (static_cast<double>(random.Below(1u << 20)) / double(1u << 20));
    return static_cast<uint32_t>(std::exp2(exponent));
}

std::string MakeBytes(CRandom& random, uint32_t size) {
    std::string bytes(size, '\0');
    uint64_t word = 0;
    for (uint32_t i = 0; i < size; ++i) {
        if (i % 8 == 0)
            word = random.Next();
        bytes[i] = static_cast<char>(word >> (8 * (i % 8)));
    }
    return bytes;
}

std::string Format(const char* format, uint64_t a, uint64_t b = 0, uint64_t c = 0) {
    char text[160];
    std::snprintf(text, sizeof(text), format, static_cast<unsigned long long>(a), static_cast<unsigned long long>(b),
                  static_cast<unsigned long long>(c));
    return text;
}

uint64_t GetPathId(const std::string& path) {
    return ResourcePath::GetId(CStringViewA(path.c_str()));
}

const char* const ResourceTypes[] = {"tga].pc_texture", "wav].pc_sound", "mesh].pc_mesh", "txt].pc_text",
                                     "anim].pc_animation"};

// One library's description, gathered group by group: the container records carry entry lengths only.
struct CLibraryBuild {
    std::string FileName;
    CTestHeaderLibrary Description;
};

// The languages of a container: mostly "all", some English, some German only (skipped with the default
// locale), some both.
std::vector<std::optional<std::string>> PickLanguages(CRandom& random) {
    const uint64_t roll = random.Below(100);
    if (roll < 80)
        return {std::string("all")};
    if (roll < 90)
        return {std::string("en")};
    if (roll < 95)
        return {std::string("de")};
    return {std::string("de"), std::string("en")};
}

bool WriteGroup(const COptions& options, CRandom& random, uint64_t group, uint64_t firstResource,
                uint64_t resourceCount, std::vector<CLibraryBuild>& libraries, CStatistics& statistics) {
    const std::string archiveA = Format("data%02llua.archive", group);
    const std::string archiveB = Format("data%02llub.archive", group);
    const bool flat = options.Libraries != 0;
    CTestContent content;
    content.Archives = {archiveA};
    if (!flat)
        content.Archives.push_back(archiveB);
    CTestContentLibrary groupLibrary;
    std::vector<uint32_t> owners;

    uint64_t resource = firstResource;
    const uint64_t end = firstResource + resourceCount;
    while (resource < end) {
        CTestContentContainer container;
        const uint64_t containerNumber = statistics.Containers++;
        container.Path = Format("[world/region_%02llu/pack_%06llu.bundle].pc_resourcelib", group, containerNumber);
        container.Languages = PickLanguages(random);
        container.InlineHeaders = random.Percent(25);
        container.DataStart = static_cast<uint32_t>(random.Below(8) * 8);
        const bool inA = flat || random.Percent(50);
        container.Archives = {inA ? archiveA : archiveB};
        if (!flat && random.Percent(8)) {
            container.Archives.push_back(inA ? archiveB : archiveA);
            ++statistics.SplitContainers;
        }
        statistics.InlineContainers += container.InlineHeaders ? 1 : 0;
        const uint64_t entries = std::min<uint64_t>(1 + random.Below(MaxEntriesPerContainer), end - resource);
        // Libraries get unequal shares: weights 3, 2, 1 repeating.
        const uint32_t libraryCount = static_cast<uint32_t>(libraries.size());
        uint64_t weightTotal = 0;
        for (uint32_t l = 0; l < libraryCount; ++l)
            weightTotal += 3 - l % 3;
        uint64_t pick = random.Below(weightTotal);
        uint32_t owner = 0;
        while (pick >= 3 - owner % 3) {
            pick -= 3 - owner % 3;
            ++owner;
        }
        if (flat)
            owner = static_cast<uint32_t>(group);
        owners.push_back(owner);

        for (uint32_t entry = 0; entry < entries; ++entry, ++resource) {
            const uint32_t size = PickResourceSize(random, resource);
            container.Entries.push_back(MakeBytes(random, size));
            statistics.ResourceBytes += size;
            // Each resource file holds the entry's 24-byte header in front of its bytes.
            statistics.LargestResource = std::max<uint64_t>(statistics.LargestResource, size + 24);
            const std::string name =
                Format("[world/region_%02llu/pack_%06llu/item_%06llu.", group, containerNumber, resource) +
                ResourceTypes[resource % 5];
            CTestResource record = MakeTestResource(container, entry, GetPathId(name), name);
            if (resource % 7 == 0)
                record.SecondName = name + ".source";
            libraries[owner].Description.Resources.push_back(record);
            ++statistics.Resources;
            // A few resources are listed again by another library: whichever is processed later skips them.
            if (!flat && libraryCount > 1 && random.Percent(1)) {
                const uint32_t other = (owner + 1 + static_cast<uint32_t>(random.Below(libraryCount - 1))) %
                                       libraryCount;
                libraries[other].Description.Resources.push_back(record);
                ++statistics.Duplicates;
            }
        }
        groupLibrary.Containers.push_back(std::move(container));
    }

    // The records of the header libraries need the entry lengths only: take them before the bytes go.
    const CTestHeaderLibrary records = BuildTestContentLibrary(groupLibrary);
    for (size_t i = 0; i < records.Containers.size(); ++i)
        libraries[owners[i]].Description.Containers.push_back(records.Containers[i]);

    content.Libraries.push_back(std::move(groupLibrary));
    return WriteTestArchives(options.Directory, BuildTestContentArchives(content));
}

bool ParseCount(const char* text, uint64_t& value) {
    char* end = nullptr;
    const unsigned long long parsed = std::strtoull(text, &end, 10);
    if (end == text || *end != '\0')
        return false;
    value = parsed;
    return true;
}

bool ParseOptions(int argc, char** argv, COptions& options) {
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--resources") == 0 && hasValue) {
            if (!ParseCount(argv[++i], options.Resources) || options.Resources == 0)
                return false;
        } else if (std::strcmp(argv[i], "--libraries") == 0 && hasValue) {
            if (!ParseCount(argv[++i], options.Libraries) || options.Libraries == 0 || options.Libraries > 99)
                return false;
        } else if (std::strcmp(argv[i], "--seed") == 0 && hasValue) {
            if (!ParseCount(argv[++i], options.Seed))
                return false;
        } else if (argv[i][0] != '-' && options.Directory.empty()) {
            options.Directory = argv[i];
        } else {
            return false;
        }
    }
    return !options.Directory.empty();
}

} // namespace

int main(int argc, char** argv) {
    COptions options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: vorsk_make_corpus <directory> [--resources N] [--libraries L] [--seed S]\n"
                     "Writes a content directory of N resources (default 100000) into directory;\n"
                     "with --libraries, L libraries of equal shares, one archive each.\n");
        return 2;
    }
    std::error_code error;
    std::filesystem::create_directories(options.Directory, error);

    CRandom random(options.Seed);
    CStatistics statistics;
    const uint64_t libraryCount =
        options.Libraries != 0
            ? options.Libraries
            : std::max<uint64_t>(MinimumLibraries,
                                 (options.Resources + ResourcesPerLibrary - 1) / ResourcesPerLibrary);
    std::vector<CLibraryBuild> libraries(libraryCount);
    for (uint64_t l = 0; l < libraryCount; ++l) {
        libraries[l].FileName = Format("chunk%02llu.pc_headerlib", l);
        for (uint32_t e = 0; e < ExternalsPerLibrary; ++e)
            libraries[l].Description.ExternalNames.push_back(
                Format("[external/chunk%02llu/movie_%04llu.bik].pc_movie", l, e));
    }

    const uint64_t perGroup =
        options.Libraries != 0 ? (options.Resources + libraryCount - 1) / libraryCount : ResourcesPerGroup;
    const uint64_t groupCount = (options.Resources + perGroup - 1) / perGroup;
    for (uint64_t group = 0; group < groupCount; ++group) {
        const uint64_t first = group * perGroup;
        const uint64_t count = std::min(perGroup, options.Resources - first);
        if (!WriteGroup(options, random, group, first, count, libraries, statistics)) {
            std::fprintf(stderr, "vorsk_make_corpus: cannot write the archives of group %llu\n",
                         static_cast<unsigned long long>(group));
            return 1;
        }
    }
    for (const CLibraryBuild& library : libraries) {
        const std::vector<uint8_t> image = BuildTestHeaderLibraryImage(library.Description);
        statistics.LargestLibraryFile = std::max<uint64_t>(statistics.LargestLibraryFile, image.size());
        if (!WriteBinaryFile(options.Directory + "/" + library.FileName, image)) {
            std::fprintf(stderr, "vorsk_make_corpus: cannot write %s\n", library.FileName.c_str());
            return 1;
        }
    }

    std::printf("resources %llu (+%llu listed twice), containers %llu (%llu split, %llu inline headers), "
                "archives %llu, header libraries %llu\n",
                static_cast<unsigned long long>(statistics.Resources),
                static_cast<unsigned long long>(statistics.Duplicates),
                static_cast<unsigned long long>(statistics.Containers),
                static_cast<unsigned long long>(statistics.SplitContainers),
                static_cast<unsigned long long>(statistics.InlineContainers),
                static_cast<unsigned long long>((options.Libraries != 0 ? 1 : 2) * groupCount),
                static_cast<unsigned long long>(libraryCount));
    std::printf("resource bytes %llu (mean %llu), largest resource file %llu, largest header library %llu\n",
                static_cast<unsigned long long>(statistics.ResourceBytes),
                static_cast<unsigned long long>(statistics.ResourceBytes / statistics.Resources),
                static_cast<unsigned long long>(statistics.LargestResource),
                static_cast<unsigned long long>(statistics.LargestLibraryFile));
    return 0;
}
