// Benchmarks for resource ids, archive names and the hash map look-ups that use them.
#include "base/HashMap.h"
#include "resid/Md5.h"
#include "resid/ResourcePath.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

const char* const TypicalPath = "[textures/props/crate_01.tga].pc_texture";
const char* const UpperCasePath = "[Textures/Props/Crate_01.TGA].PC_TEXTURE";
const char* const MemberPath = "[sound/bank.bundle].pc_resourcelib?12.pc_sound";
const char* const ShortUpperCasePath = "[A/B.C].D";

void GetIdOfBorrowedPath(benchmark::State& state, const char* path) {
    const CStringViewA view(path);
    for (auto _ : state)
        benchmark::DoNotOptimize(ResourcePath::GetId(view));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK_CAPTURE(GetIdOfBorrowedPath, LowerCase, TypicalPath);
BENCHMARK_CAPTURE(GetIdOfBorrowedPath, UpperCase, UpperCasePath);
BENCHMARK_CAPTURE(GetIdOfBorrowedPath, ShortUpperCase, ShortUpperCasePath);
BENCHMARK_CAPTURE(GetIdOfBorrowedPath, Member, MemberPath);

void GetArchiveNameOfPath(benchmark::State& state, const char* path) {
    CInlineStringA name;
    for (auto _ : state) {
        ResourcePath::GetArchiveName(path, name);
        benchmark::DoNotOptimize(name.GetData());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK_CAPTURE(GetArchiveNameOfPath, LowerCase, TypicalPath);
BENCHMARK_CAPTURE(GetArchiveNameOfPath, UpperCase, UpperCasePath);
BENCHMARK_CAPTURE(GetArchiveNameOfPath, Member, MemberPath);

void Md5OfBytes(benchmark::State& state) {
    const std::string bytes(static_cast<size_t>(state.range(0)), 'x');
    for (auto _ : state) {
        CMd5Context context;
        Md5Init(context);
        Md5Update(context, bytes.data(), bytes.size());
        Md5Final(context);
        benchmark::DoNotOptimize(context.Digest);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(Md5OfBytes)->Arg(40)->Arg(4096);

// Archive entry names as an archive's index holds them: lower-cased digits and a type extension.
std::vector<std::string> MakeEntryNames(int count) {
    static const char* const Extensions[] = {".pc_texture", ".pc_resourcelib", ".pc_sound", ".pc_text"};
    std::vector<std::string> names;
    names.reserve(count);
    char path[96];
    for (int i = 0; i < count; ++i) {
        std::snprintf(path, sizeof(path), "[content/group_%d/item_%d.bin]%s", i % 97, i, Extensions[i % 4]);
        CInlineStringA name;
        ResourcePath::GetArchiveName(path, name).MakeLower();
        names.emplace_back(name.GetData());
    }
    return names;
}

// The entry index of an archive: borrowed names, capacity reserved up front.
void StringKeyFind(benchmark::State& state) {
    const bool present = state.range(0) != 0;
    const std::vector<std::string> names = MakeEntryNames(10000);
    const std::vector<std::string> missing = present ? names : MakeEntryNames(20000);
    CHashMap<CStringViewA, const void*> map;
    map.Rehash(names.size());
    for (const std::string& name : names) {
        const CStringViewA key(name.c_str(), name.size());
        map.Insert(key, decltype(map)::HashKey(key)) = &name;
    }
    std::vector<CStringViewA> probes;
    for (size_t i = present ? 0 : names.size(); i < missing.size(); ++i)
        probes.push_back(CStringViewA(missing[i].c_str(), missing[i].size()));
    size_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(map.Find(probes[next]));
        if (++next == probes.size())
            next = 0;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(StringKeyFind)->ArgName("present")->Arg(1)->Arg(0);

std::vector<ResourceId> MakeIds(int count) {
    std::vector<ResourceId> ids;
    ids.reserve(count);
    char path[64];
    for (int i = 0; i < count; ++i) {
        std::snprintf(path, sizeof(path), "[content/item_%d.bin].pc_text", i);
        ids.push_back(ResourcePath::GetId(CStringViewA(path)));
    }
    return ids;
}

// The name map of a run: ids of 100k resources, each looked up once before it is written.
void IdKeyFind(benchmark::State& state) {
    const std::vector<ResourceId> ids = MakeIds(100000);
    CHashMap<ResourceId, uint64_t> map;
    for (size_t i = 0; i < ids.size(); ++i)
        map.FindOrInsert(ids[i]) = i;
    size_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(map.Find(ids[next]));
        if (++next == ids.size())
            next = 0;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(IdKeyFind);

// Building the same map from empty, growth included.
void IdKeyBuild(benchmark::State& state) {
    const std::vector<ResourceId> ids = MakeIds(100000);
    for (auto _ : state) {
        CHashMap<ResourceId, uint64_t> map;
        for (size_t i = 0; i < ids.size(); ++i)
            map.FindOrInsert(ids[i]) = i;
        benchmark::DoNotOptimize(map.GetCount());
    }
    state.SetItemsProcessed(state.iterations() * ids.size());
}
BENCHMARK(IdKeyBuild)->Unit(benchmark::kMillisecond);

} // namespace
