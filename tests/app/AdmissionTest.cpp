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

// Containers: "ok" and "de" in the archive with 4 bytes of data, "none" in no archive, "short" claiming
// 100 bytes where the archive holds 4, "huge" claiming 0xFFFFFFF0 bytes in an entry claiming 8 GiB; then
// language lists that "en" does not match (names compare whole and with their letter case) and one it does
// after a null name.
const std::string Paths[] = {"[t/ok.bundle].pc_resourcelib",    "[t/de.bundle].pc_resourcelib",
                             "[t/none.bundle].pc_resourcelib",  "[t/short.bundle].pc_resourcelib",
                             "[t/huge.bundle].pc_resourcelib",  "[t/EN.bundle].pc_resourcelib",
                             "[t/ALL.bundle].pc_resourcelib",   "[t/empty.bundle].pc_resourcelib",
                             "[t/null.bundle].pc_resourcelib"};
constexpr uint32_t DataLengths[] = {4, 4, 4, 100, 0xFFFFFFF0u, 4, 4, 4, 4};
const std::vector<std::optional<std::string>> Languages[] = {{"en"},  {"de"},  {"all"}, {"all"},
                                                             {"all"}, {"EN"},  {"ALL"}, {},
                                                             {std::nullopt, "en"}};

TEST(AdmissionTest, FirstFailedTestDecides) {
    CTempDirectory directory;
    CTestHeaderLibrary description;
    for (int i = 0; i < 9; ++i)
        description.Containers.push_back({Paths[i], 0, false, Languages[i], {{DataLengths[i], 24, {}}}});
    const std::vector<uint8_t> image = BuildTestHeaderLibraryImage(description);
    CByteBuffer file;
    file.Append(image.data(), image.size());
    CHeaderLibrary library;
    ASSERT_TRUE(library.Load(file));
    const std::string data(28, 'x');
    CTestArchive archive = MakeSimpleTestArchive("a.archive",
                                                 {GetTestArchiveName(Paths[0]), GetTestArchiveName(Paths[1]),
                                                  GetTestArchiveName(Paths[3]), GetTestArchiveName(Paths[4])},
                                                 {data, data, data, data});
    archive.Entries[3].Segments[0].Size = uint64_t(1) << 33;
    ASSERT_TRUE(WriteTestArchives(directory.GetPath(), {archive}));
    CArchiveManager archives;
    ASSERT_NE(archives.Mount(directory.Join("a.archive").c_str()), nullptr);
    CNameMap names;
    names.FindOrInsert(0x10) = CStringViewA("named");
    CNameFilter filter;
    filter.Exclude("left*");
    CEntryLookup lookup;

    using S = EResourceStatus;
    const struct {
        const char* Name;
        ResourceId Id;
        ResourceId MemberId;
        S Status;
        const char* Reason;
        uint64_t Size;
    } cases[] = {
        {"already named", 0x10, MakeTestMemberId(Paths[0], 0), S::Named, "", CListingLine::UnknownSize},
        {"no container", 0x11, MakeTestMemberId(Paths[0], 0) & ~(uint64_t(1) << 63), S::Unavailable,
         "no container", CListingLine::UnknownSize},
        {"locale", 0x12, MakeTestMemberId(Paths[1], 0), S::Locale, "", 28},
        {"entry beyond", 0x13, MakeTestMemberId(Paths[0], 1), S::Unavailable,
         "entry position beyond the container's entries", CListingLine::UnknownSize},
        {"no archive", 0x14, MakeTestMemberId(Paths[2], 0), S::Unavailable, "no archive holds the container",
         28},
        {"span past", 0x15, MakeTestMemberId(Paths[3], 0), S::Unavailable,
         "the entry's bytes lie beyond the archive entry", 124},
        {"size past", 0x16, MakeTestMemberId(Paths[4], 0), S::Unavailable, "size past 32 bits", 0x100000008},
        {"extract", 0x17, MakeTestMemberId(Paths[0], 0), S::Extract, "", 28},
        {"left out", 0x18, MakeTestMemberId(Paths[0], 0), S::Extract, "", 28},
        {"EN", 0x19, MakeTestMemberId(Paths[5], 0), S::Locale, "", 28},
        {"ALL", 0x1A, MakeTestMemberId(Paths[6], 0), S::Locale, "", 28},
        {"no language", 0x1B, MakeTestMemberId(Paths[7], 0), S::Locale, "", 28},
        {"null, then en", 0x1C, MakeTestMemberId(Paths[8], 0), S::Unavailable, "no archive holds the container",
         28},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const CLibraryResource resource{CStringViewA(c.Name), CStringViewA(), c.Id, c.MemberId};
        const CAdmission admission = AdmitResource(library, names, archives, lookup, "en", filter, resource);
        EXPECT_EQ(admission.Status, c.Status);
        EXPECT_STREQ(admission.Reason, c.Reason);
        EXPECT_EQ(admission.Size, c.Size);
        EXPECT_EQ(admission.FilteredOut, std::string(c.Name) == "left out");
        if (c.Status ==
            S::Extract) { // The stream stands at the bytes behind the 24 bytes before the entries.
            EXPECT_EQ(admission.Stream.Position, 24u);
            EXPECT_EQ(admission.HeaderLength, 24u);
        }
    }
}

} // namespace
