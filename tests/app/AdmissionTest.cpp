// The admission decision: one row per outcome, in the order the tests stop a resource.
#include "app/Admission.h"

#include "app/NameFilter.h"
#include "support/ArchiveWriter.h"
#include "support/ExpectedOutput.h"
#include "support/HeaderLibraryWriter.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Containers: "ok" in the archive with 4 bytes of data, "short" claiming 100 bytes where the archive holds
// 4, "huge" claiming 0xFFFFFFF0 bytes in an entry claiming 8 GiB; then, in no archive, language lists that
// "en" does not match (names compare whole and with their letter case) and one it does after a null name.
// Whole runs cover an id already named, a plain locale refusal and a container no archive holds.
const struct {
    std::string Name;
    uint32_t DataLength;
    std::vector<std::optional<std::string>> Languages;
} Containers[] = {{"ok", 4, {"en"}},
                  {"short", 100, {"all"}},
                  {"huge", 0xFFFFFFF0u, {"all"}},
                  {"EN", 4, {"EN"}},
                  {"ALL", 4, {"ALL"}},
                  {"empty", 4, {}},
                  {"null", 4, {std::nullopt, "en"}}};

std::string PathOf(int container) {
    return "[t/" + Containers[container].Name + ".bundle].pc_resourcelib";
}

TEST(AdmissionTest, FirstFailedTestDecides) {
    CTempDirectory directory;
    CTestHeaderLibrary description;
    for (int i = 0; i < 7; ++i)
        description.Containers.push_back(
            {PathOf(i), 0, false, Containers[i].Languages, {{Containers[i].DataLength, 24, {}}}});
    const std::vector<uint8_t> image = BuildTestHeaderLibraryImage(description);
    CByteBuffer file;
    file.Append(image.data(), image.size());
    CHeaderLibrary library;
    ASSERT_TRUE(library.Load(file));
    const std::string data(28, 'x');
    CTestArchive archive =
        MakeSimpleTestArchive("a.archive",
                              {GetTestArchiveName(PathOf(0)), GetTestArchiveName(PathOf(1)),
                               GetTestArchiveName(PathOf(2))},
                              {data, data, data});
    archive.Entries[2].Segments[0].Size = uint64_t(1) << 33;
    ASSERT_TRUE(WriteTestArchives(directory.GetPath(), {archive}));
    CArchiveManager archives;
    ASSERT_NE(archives.Mount(directory.Join("a.archive").c_str()), nullptr);
    const CNameMap names;
    CNameFilter filter;
    filter.Exclude("left*");
    CEntryLookup lookup;

    using S = EResourceStatus;
    constexpr uint64_t Unknown = CListingLine::UnknownSize;
    // A member id of container and entry; container -1 gives an id that names no container.
    const struct {
        const char* Name;
        ResourceId Id;
        int Container;
        uint32_t Entry;
        S Status;
        const char* Reason;
        uint64_t Size;
    } cases[] = {
        {"no container", 0x11, -1, 0, S::Unavailable, "no container", Unknown},
        {"entry beyond", 0x13, 0, 1, S::Unavailable, "entry position beyond the container's entries",
         Unknown},
        {"span past", 0x15, 1, 0, S::Unavailable, "the entry's bytes lie beyond the archive entry", 124},
        {"size past", 0x16, 2, 0, S::Unavailable, "size past 32 bits", 0x100000008},
        {"extract", 0x17, 0, 0, S::Extract, "", 28},
        {"left out", 0x18, 0, 0, S::Extract, "", 28},
        {"EN", 0x19, 3, 0, S::Locale, "", 28},
        {"ALL", 0x1A, 4, 0, S::Locale, "", 28},
        {"no language", 0x1B, 5, 0, S::Locale, "", 28},
        {"null, then en", 0x1C, 6, 0, S::Unavailable, "no archive holds the container", 28},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const ResourceId member = c.Container < 0 ? MakeTestMemberId(PathOf(0), 0) & ~(uint64_t(1) << 63)
                                                  : MakeTestMemberId(PathOf(c.Container), c.Entry);
        const CLibraryResource resource{CStringViewA(c.Name), CStringViewA(), c.Id, member};
        const CAdmission admission = AdmitResource(library, names, archives, lookup, "en", filter, resource);
        EXPECT_EQ(admission.Status, c.Status);
        EXPECT_STREQ(admission.Reason, c.Reason);
        EXPECT_EQ(admission.Size, c.Size);
        EXPECT_EQ(admission.FilteredOut, std::string(c.Name) == "left out");
        // The stream stands at the bytes behind the 24 bytes before the entries.
        if (c.Status == S::Extract) {
            EXPECT_EQ(admission.Stream.Position, 24u);
            EXPECT_EQ(admission.HeaderLength, 24u);
        }
    }
}

} // namespace
