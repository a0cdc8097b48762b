// Tests for resource paths: ids and archive names bit for bit, validation, groups and member indexes.
#include "resid/ResourcePath.h"

#include "base/Memory.h"
#include "base/StringBuffer.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

namespace {

ResourceId IdOf(const char* path) { return CResourcePath::GetId(CStringViewA(path)); }

std::string ArchiveNameOf(const char* text) {
    CInlineStringA out;
    return CResourcePath::GetArchiveName(text, out).GetData();
}

uint64_t g_Allocations = 0;
bool CountAllocation(uint64_t) {
    ++g_Allocations;
    return false;
}

} // namespace

TEST(ResourcePathTest, KnownIdsAndArchiveNames) {
    const struct {
        const char* Path;
        ResourceId Id;
        const char* ArchiveName;
    } cases[] = {
        {"[examples/box.txt].pc_text", 0x00C46180EE7635C4, "EDD33C3CF02DCA75B56C5183A8D058C5.pc_text"},
        {"[Examples/Box.TXT].PC_TEXT", 0x00C46180EE7635C4, "EDD33C3CF02DCA75B56C5183A8D058C5.PC_TEXT"},
        {"[examples/pack.bundle].pc_resourcelib", 0x40000000EDE20E09,
         "BB098D92BD77F6833EF8D28079B3C385.pc_resourcelib"},
        {"[examples/pack.bundle].pc_resourcelib?7.pc_text", 0x80000007EDE20E09,
         "BB098D92BD77F6833EF8D28079B3C385.pc_resourcelib?7.pc_text"},
        {"examples/readme.txt", 0x00DAC1F461386257, "02DAC1F4613862571209EA07B75851CA"},
        {"abc", 0x000150983CD24FB0, "900150983CD24FB0D6963F7D28E17F72"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Path);
        EXPECT_EQ(IdOf(c.Path), c.Id);
        EXPECT_EQ(CResourcePath::GetId(CStringViewA(c.Path)), c.Id);
        EXPECT_EQ(ArchiveNameOf(c.Path), c.ArchiveName);
    }
    CStringBufferA decimal;
    decimal.Format("%20I64u", IdOf("[examples/box.txt].pc_text"));
    EXPECT_STREQ(decimal.GetData(), "   55276301819721156");
}

TEST(ResourcePathTest, InvalidPathsGiveInvalidId) {
    for (const char* path : {"", "ab//cd", "a\tb", "a*b", "a%b", "a\x80", "\xFF", "a\x01", "[x]//.y", "a\"b"}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(IdOf(path), InvalidResourceId);
    }
    const char* allowed = "azAZ09 !#&'()+,-./:?[]\\_~";
    EXPECT_TRUE(CResourcePath::IsValid(CStringViewA(allowed)));
    // Unbalanced and empty brackets are not refused.
    for (const char* path : {"a,b", "[abc", "]x[", "[].x", "a/b"}) {
        SCOPED_TRACE(path);
        EXPECT_TRUE(CResourcePath::IsValid(CStringViewA(path)));
    }
}

TEST(ResourcePathTest, LibrarySuffixIgnoresCaseButMemberMarkerDoesNot) {
    EXPECT_EQ(IdOf("SECURELIB"), 0x40000000A39EFC2Cu);
    EXPECT_EQ(IdOf("resourcelib"), 0x4000000072EFC6ADu);
    EXPECT_EQ(IdOf("esourcelib") >> 56, 0u);
    EXPECT_EQ(IdOf("securelibx") >> 56, 0u);
    // An upper-case marker is no marker: the path is plain.
    EXPECT_EQ(IdOf("[x].pc_RESOURCELIB?3.y"), 0x0034227094D3167Bu);
    // "resourcelib?" alone: the library part "resourcelib", no "." after the "?".
    const ResourceId member = IdOf("resourcelib?");
    EXPECT_EQ(GetMemberIndex(member), 0xFFFFFFu);
    EXPECT_EQ(GetLibraryId(member), IdOf("resourcelib"));
    EXPECT_EQ(IdOf("[sound/bank.bundle].pc_securelib?12.pc_sound"), 0x8000000C547F60EEu);
}

TEST(ResourcePathTest, MemberIndexField) {
    const ResourceId library = IdOf("[x].pc_resourcelib");
    ASSERT_EQ(library, 0x4000000041077DC7u);
    const struct {
        const char* Path;
        uint32_t Index;
    } cases[] = {
        {"[x].pc_resourcelib?7.y", 7},          {"[x].pc_resourcelib?.y", 0},
        {"[x].pc_resourcelib?5", 0xFFFFFF},     {"[x].pc_resourcelib?", 0xFFFFFF},
        {"[x].pc_resourcelib?-1.y", 0xFFFFFF},  {"[x].pc_resourcelib?-2.y", 0xFFFFFE},
        {"[x].pc_resourcelib?16777217.y", 1},   {"[x].pc_resourcelib?99999999999.y", 0xFFFFFF},
        {"[x].pc_resourcelib?-99999999999.y", 0}, {"[x].pc_resourcelib? 12ab.y", 12},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Path);
        const ResourceId id = IdOf(c.Path);
        EXPECT_TRUE(IsMember(id));
        EXPECT_EQ(GetMemberIndex(id), c.Index);
        EXPECT_EQ(GetLibraryId(id), library);
    }
    // The "?" inside the bracket group leaves an empty library part.
    EXPECT_EQ(IdOf("[a/b.resourcelib?1].x"), 0x80FFFFFF8F00B204u);
}

TEST(ResourcePathTest, ArchiveNamesOfUnusualShapes) {
    const struct {
        const char* Text;
        const char* Name;
    } cases[] = {
        {".abc", "5058F1AF8388633F609CADB75A75DC9D.abc"},
        {"[a.b]c", "48E233F08C37434ACCF8F8BCD8DD993E.b]c"},
        {"[A.b]C", "48E233F08C37434ACCF8F8BCD8DD993E.b]C"},
        {"[x].z(y)", "AD0A495D71436B3BB55AD48D72099C45.z(y)"},
        {"[[x]].z", "2CAE86AE102EE60B3668FCA3A63003F0.z"},
        {"[ab(c)d", "2BBFA61569DCA10D627599AE3FF1DC54"},
        {"", "D41D8CD98F00B204E9800998ECF8427E"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text);
        EXPECT_EQ(ArchiveNameOf(c.Text), c.Name);
    }
}

TEST(ResourcePathTest, OnlyLetterCaseIsNormalised) {
    EXPECT_EQ(IdOf("[a\\b].x"), 0x00CEF40EAC8A0A45u);
    EXPECT_EQ(IdOf("[a/b].x"), 0x002110AE25A68DC9u);
    EXPECT_NE(IdOf(" [a/b].x"), IdOf("[a/b].x"));
}

TEST(ResourcePathTest, BorrowedLowerCasePathIsHashedInPlace) {
    char lowerCase[] = "[examples/box.txt].pc_text";
    g_Allocations = 0;
    SetAllocationFaultHook(&CountAllocation);
    const ResourceId id = CResourcePath::GetId(CStringViewA(lowerCase));
    SetAllocationFaultHook(nullptr);
    EXPECT_EQ(id, 0x00C46180EE7635C4u);
    EXPECT_EQ(g_Allocations, 0u);
}

TEST(ResourcePathTest, CallersCharactersAreNeverWritten) {
    char upperCase[] = "[Examples/Box.TXT].PC_TEXT";
    EXPECT_EQ(CResourcePath::GetId(CStringViewA(upperCase)), 0x00C46180EE7635C4u);
    EXPECT_STREQ(upperCase, "[Examples/Box.TXT].PC_TEXT");
    const CInlineStringA owned("[Examples/Box.TXT].PC_TEXT");
    EXPECT_EQ(CResourcePath::GetId(owned), 0x00C46180EE7635C4u);
    EXPECT_STREQ(owned.GetData(), "[Examples/Box.TXT].PC_TEXT");
    char shortPath[] = "ABC";
    EXPECT_EQ(CResourcePath::GetId(CStringViewA(shortPath)), 0x000150983CD24FB0u);
    EXPECT_STREQ(shortPath, "ABC");

    char text[] = "[A.b]C";
    char lent[] = "previous";
    CInlineStringA out{CStringViewA(lent)};
    CResourcePath::GetArchiveName(text, out);
    EXPECT_STREQ(out.GetData(), "48E233F08C37434ACCF8F8BCD8DD993E.b]C");
    EXPECT_STREQ(text, "[A.b]C");
    EXPECT_STREQ(lent, "previous");
}

TEST(ResourcePathTest, InvalidIdDerivations) {
    EXPECT_TRUE(IsMember(InvalidResourceId));
    EXPECT_EQ(GetLibraryId(InvalidResourceId), 0x40000000FFFFFFFFu);
    EXPECT_EQ(GetMemberIndex(InvalidResourceId), 0xFFFFFFu);
    EXPECT_EQ(GetLibraryId(0x00C46180EE7635C4u), InvalidResourceId);
    EXPECT_EQ(GetMemberIndex(0x40000000EDE20E09u), 0xFFFFFFFFu);
}
