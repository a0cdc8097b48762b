// Fuzz target: the header library loader. Each input is loaded twice into a library that held a valid model
// before; a library that loads is read in full through its accessors and checked against what the model
// promises, and both loads must agree.
#include "FuzzSupport.h"
#include "base/ByteBuffer.h"
#include "headerlib/HeaderLibrary.h"
#include "resid/ResourcePath.h"
#include "support/HeaderLibraryWriter.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

CByteBuffer* g_ValidFile = nullptr;

// FNV-1a over everything the walk reads.
class CDigest {
public:
    void Add(const void* bytes, uint64_t count) {
        const auto* at = static_cast<const uint8_t*>(bytes);
        for (uint64_t i = 0; i < count; ++i)
            m_Value = (m_Value ^ at[i]) * 0x100000001B3ull;
    }
    void Add(uint64_t value) { Add(&value, sizeof value); }
    void AddText(const char* text) {
        if (text == nullptr) {
            Add(~uint64_t(0));
            return;
        }
        const uint64_t length = std::strlen(text);
        Add(length);
        Add(text, length);
    }
    void Add(CStringViewA text) {
        FuzzCheck(text.GetData()[text.GetLength()] == '\0', "a model text is not zero-terminated");
        Add(text.GetLength());
        Add(text.GetData(), text.GetLength());
    }
    uint64_t Get() const { return m_Value; }

private:
    uint64_t m_Value = 0xCBF29CE484222325ull;
};

bool HasArchiveNameOf(const CInlineStringA& archiveName, CStringViewA path) {
    CInlineStringA expected;
    return CResourcePath::GetArchiveName(path, expected) == archiveName;
}

void WalkContainers(const CHeaderLibrary& library, CDigest& digest) {
    const uint64_t count = library.GetContainerCount();
    FuzzCheck(library.GetContainerTables().GetCount() == count, "one table per container");
    digest.Add(count);
    for (uint64_t container = 0; container < count; ++container) {
        const char* path = library.GetContainerPath(container);
        FuzzCheck(path != nullptr, "a container path is null");
        digest.AddText(path);
        digest.Add(uint64_t(library.HasInlineHeaders(container)));
        const CContainerTable& table = library.GetContainerTables()[container];
        digest.Add(table.ArchiveName);
        FuzzCheck(HasArchiveNameOf(table.ArchiveName, path), "a container's archive name is not its path's");

        const ResourceId id = CResourcePath::GetId(path);
        const uint64_t* position = library.FindContainer(id);
        FuzzCheck(position != nullptr && *position >= container && *position < count,
                  "the container index misses a container or keeps an earlier one");
        FuzzCheck(CResourcePath::GetId(library.GetContainerPath(*position)) == id,
                  "the container index key is not the id of the container's path");

        const uint64_t languages = library.GetLanguageCount(container);
        digest.Add(languages);
        for (uint64_t language = 0; language < languages; ++language)
            digest.AddText(library.GetLanguageName(container, language));

        digest.Add(table.Spans.GetCount());
        for (uint64_t entry = 0; entry < table.Spans.GetCount(); ++entry) {
            digest.Add(table.Spans[entry].Offset);
            digest.Add(table.Spans[entry].Length);
            uint32_t headerLength = 0;
            const uint8_t* header = library.GetEntryHeader(container, entry, headerLength);
            FuzzCheck(header != nullptr && headerLength >= 24, "an entry header is null or short");
            digest.Add(headerLength);
            digest.Add(header, headerLength);
        }
    }
}

uint64_t WalkModel(const CHeaderLibrary& library) {
    CDigest digest;
    FuzzCheck(library.GetRoot() != nullptr && library.GetRoot() == library.GetPayload().GetData(),
              "Root is not the payload");
    digest.Add(library.GetPayload().GetSize());
    digest.Add(library.GetResources().GetCount());
    for (const CLibraryResource& resource : library.GetResources()) {
        digest.Add(resource.Name);
        digest.Add(resource.SecondName);
        digest.Add(resource.Id);
        digest.Add(resource.MemberId);
    }
    WalkContainers(library, digest);
    digest.Add(library.GetExternalResources().GetCount());
    for (const CExternalResource& external : library.GetExternalResources()) {
        digest.Add(external.Name);
        digest.Add(external.ArchiveName);
        digest.Add(external.Id);
        FuzzCheck(HasArchiveNameOf(external.ArchiveName, external.Name),
                  "an external archive name is not its path's");
        FuzzCheck(CResourcePath::GetId(external.Name) == external.Id, "an external id is not its path's");
    }
    return digest.Get();
}

// A library with every kind of record, bigger than most inputs, loaded before each input so that the second
// load reuses storage that holds a model.
void BuildValidFile() {
    CTestHeaderLibrary library;
    for (int i = 0; i < 4; ++i) {
        CTestContainer container;
        container.Path = "[fuzz/container" + std::to_string(i) + ".bundle].pc_resourcelib";
        container.InlineHeaders = (i % 2) != 0;
        container.Languages = {std::string("en"), std::nullopt, std::string("all")};
        for (uint32_t entry = 0; entry < 6; ++entry)
            container.Entries.push_back(CTestEntryHeader{100 + entry, 24 + 8 * (entry % 3), {}, false});
        library.Containers.push_back(container);
        for (uint32_t entry = 0; entry < 6; ++entry) {
            const std::string name = "[fuzz/resource" + std::to_string(i * 6 + entry) + ".txt].pc_text";
            library.Resources.push_back(CTestResource{
                MakeTestMemberId(*container.Path, entry), CResourcePath::GetId(CStringViewA(name.c_str())),
                name, "second name of a resource with a long text", std::nullopt, std::nullopt});
        }
    }
    library.ExternalNames = {std::string("fuzz/external.txt"), std::nullopt, std::string("[x].pc_y")};
    const std::vector<uint8_t> image = BuildTestHeaderLibraryImage(library);
    g_ValidFile = new CByteBuffer;
    FuzzCheck(g_ValidFile->Append(image.data(), image.size()), "cannot hold the valid library");
    CHeaderLibrary check;
    FuzzCheck(check.Load(*g_ValidFile), "the built-in valid library does not load");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    GuardAllocations(FuzzAllocationLimit);
    BuildValidFile();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exactly sized copy, so that a read past the file's end is caught.
    CByteBuffer file(1);
    if (!file.Append(data, size))
        return 0;

    // The input is loaded over a valid model, then again after the valid library is loaded once more.
    // Relocated reference slots hold addresses, and a hostile library may read them as texts or lengths,
    // so the two models are compared only when the payload lies at the same address both times; storage
    // that only grows makes it so.
    CHeaderLibrary library;
    FuzzCheck(library.Load(*g_ValidFile), "the built-in valid library does not load");
    const bool loaded = library.Load(file);
    const uint8_t* payload = library.GetPayload().GetData();
    const uint64_t digest = loaded ? WalkModel(library) : 0;
    FuzzCheck(library.Load(*g_ValidFile), "the built-in valid library does not load after another");
    WalkModel(library);
    const bool reloaded = library.Load(file);
    if (library.GetPayload().GetData() != payload)
        return 0;
    FuzzCheck(loaded == reloaded, "a load depends on what the library held before");
    if (loaded)
        FuzzCheck(WalkModel(library) == digest, "a reloaded library holds another model");
    return 0;
}
