// Resource ids and archive names through the public functions, and MD5 against known answers.
#include "resid/ResourcePath.h"

#include "resid/Md5.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

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
        {"[x].pc_resourcelib?+16777217.y", 0x8000000141077DC7,
         "AD0A495D71436B3BB55AD48D72099C45.pc_resourcelib?+16777217.y"},
        {"[x].pc_resourcelib?? 12ab.y", 0x8000000041077DC7,
         "AD0A495D71436B3BB55AD48D72099C45.pc_resourcelib?? 12ab.y"},
        {"x.pc_securelib?3.y", 0x800000035D36BFA3, "2969873AF4B10464AA3A2260629E5BD8"},
        // The member index follows the first "?" from the prefix end on, up to the next ".".
        {"[a]?.pc_resourcelib?", 0x80000000652817FF, "44EDF88CA501609574C0FCE81E849C37"},
        {"[a]?12.x.pc_resourcelib?1.y", 0x8000000C652817FF, "61D21F6F52453ED9FE8AEA3E5D889D66"},
        // The member marker is case-sensitive; the library suffix is not.
        {"[x].PC_SECURELIB?-1.y", 0x00877F7E8BF3839E, "AD0A495D71436B3BB55AD48D72099C45.PC_SECURELIB?-1.y"},
        {"examples/readme.txt", 0x00DAC1F461386257, "02DAC1F4613862571209EA07B75851CA"},
        // Only a path that starts with "[" has a prefix; the extension is searched from its end backwards.
        {"(ab).x", 0x00D8AB4809A95494, "BCD8AB4809A9549449A53CB3238623F6"},
        {"[x].z(y)", 0x00319EE9AFDF9807, "AD0A495D71436B3BB55AD48D72099C45.z(y)"},
        {"[ab(c)d", 0x00BFA61569DCA10D, "2BBFA61569DCA10D627599AE3FF1DC54"},
        {".abc", 0x00FC779E939BBC6E, "5058F1AF8388633F609CADB75A75DC9D.abc"},
        {"", InvalidResourceId, "D41D8CD98F00B204E9800998ECF8427E"},
        {"a//", InvalidResourceId, "70049E59C48897326071D5E658430B9E"},
        {"//", InvalidResourceId, "7BC0EE636B3B83484FC3B9348863BD22"},
        {"a*b", InvalidResourceId, "5D74A67F6A0CC925B0E4D69146FC57A4"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Path);
        EXPECT_EQ(ResourcePath::GetId(c.Path), c.Id);
        CInlineStringA archiveName;
        EXPECT_STREQ(ResourcePath::GetArchiveName(c.Path, archiveName).GetData(), c.ArchiveName);
    }
    for (const char* invalid : {"a\tb", "a%b", "a\x80", "a\"b"})
        EXPECT_EQ(ResourcePath::GetId(invalid), InvalidResourceId) << invalid;
}

TEST(ResourcePathTest, Md5MatchesKnownDigestsAcrossBlockBoundaries) {
    // The empty text is a known archive name above. 55 bytes leave room for the length in the last block, 56
    // push it into another; 64 fill a block. No two words of a block are alike, so that a round that takes
    // the wrong word shows.
    std::string varied;
    for (int i = 0; i < 1000; ++i)
        varied += static_cast<char>(i * i % 251);
    const struct {
        std::string Text;
        const char* Digest;
    } cases[] = {
        {"abc", "900150983CD24FB0D6963F7D28E17F72"},
        {varied.substr(0, 55), "D6D2EFC82DC741239C7842B3FF76253C"},
        {varied.substr(0, 56), "08BB79BA2B6A113EE5D87D497D3E63FA"},
        {varied.substr(0, 64), "23180E05B1A20E1C8184F052B39AEA3D"},
        {varied.substr(0, 65), "BCC789BD06BE1857BB8B598E3F47EA96"},
        {varied, "175891BD2520BDB602C28677ACDBAE0C"},
    };
    for (const auto& c : cases) {
        for (size_t piece : {c.Text.size(), size_t(7)}) {
            SCOPED_TRACE(std::to_string(c.Text.size()) + " bytes in pieces of " + std::to_string(piece));
            CMd5Context context;
            Md5Init(context);
            for (size_t at = 0; at < c.Text.size(); at += piece)
                Md5Update(context, c.Text.data() + at, std::min(piece, c.Text.size() - at));
            Md5Final(context);
            char hex[33];
            for (int i = 0; i < 16; ++i)
                std::snprintf(hex + 2 * i, 3, "%02X", context.Digest[i]);
            EXPECT_STREQ(hex, c.Digest);
        }
    }
}
