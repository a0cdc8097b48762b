// Resource files and index files: names, line formats, the "ResMap.bin" layout and the failure messages.
#include "app/OutputFiles.h"

#include "base/ByteBuffer.h"
#include "base/File.h"
#include "base/Memory.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

namespace {

void SetName(CNameMap& names, ResourceId id, const char* name) {
    CStringViewA* value = names.FindOrInsert(id);
    ASSERT_NE(value, nullptr);
    *value = CStringViewA(name);
}

std::string ReadText(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadTestFile(path);
    return std::string(bytes.begin(), bytes.end());
}

struct SWriteRun {
    bool Written;
    std::string Printed;
};

SWriteRun WriteAll(const std::string& output, const CNameMap& names, const CStringBufferA& containers,
                   const CStringBufferA& externals) {
    TStringBufferA<260> pathBuffer;
    ::testing::internal::CaptureStdout();
    const bool written = WriteIndexFiles(pathBuffer, output.c_str(), names, 0, containers, externals);
    fflush(stdout);
    return {written, ::testing::internal::GetCapturedStdout()};
}

const char* const AllOk = "Writing name map... OK\r\n"
                          "Writing container map... OK\r\n"
                          "Writing external resources list... OK\r\n"
                          "Writing res map... OK\r\n";

} // namespace

TEST(OutputFilesTest, EmptyRunWritesEmptyIndexFiles) {
    CTempDirectory output;
    CNameMap names;
    CStringBufferA containers;
    CStringBufferA externals;
    const SWriteRun run = WriteAll(output.GetPath(), names, containers, externals);
    EXPECT_TRUE(run.Written);
    EXPECT_EQ(run.Printed, AllOk);
    EXPECT_EQ(ReadText(output.Join("NameMap.txt")), "");
    EXPECT_EQ(ReadText(output.Join("ContainerNameMap.txt")), "");
    EXPECT_EQ(ReadText(output.Join("ExternalResources.txt")), "");
    EXPECT_EQ(ReadTestFile(output.Join("ResMap.bin")), (std::vector<uint8_t>{0, 0, 0, 0}));
}

TEST(OutputFilesTest, NameLinesAndResMapRecordsFollowEntryOrder) {
    CTempDirectory output;
    CNameMap names;
    SetName(names, 255, "x");
    SetName(names, InvalidResourceId, "");
    SetName(names, 0x00C46180EE7635C4ull, "first");
    // A later name replaces the text but keeps the entry's place.
    SetName(names, 255, "renamed");
    CStringBufferA containers;
    CStringBufferA externals;
    // The images are sized from the names: nothing near a large reservation is asked for.
    SetAllocationFaultHook([](uint64_t size) { return size >= (uint64_t(1) << 24); });
    const bool written = WriteAll(output.GetPath(), names, containers, externals).Written;
    SetAllocationFaultHook(nullptr);
    ASSERT_TRUE(written);
    // An image that cannot be had stops the run before any index file is replaced.
    const std::string nameMap = ReadText(output.Join("NameMap.txt"));
    EXPECT_EXIT(
        {
            SetName(names, 255, "changed"); // A name map text that would differ, of the same size.
            SetAllocationFaultHook([](uint64_t size) { return size == 55; }); // The "ResMap.bin" image.
            (void)WriteAll(output.GetPath(), names, containers, externals);
        },
        ::testing::ExitedWithCode(2), "VorskExtract: out of memory\\.");
    EXPECT_EQ(ReadText(output.Join("NameMap.txt")), nameMap);

    EXPECT_EQ(ReadText(output.Join("NameMap.txt")),
              "                 255 00000000000000FF renamed\r\n"
              "18446744073709551615 FFFFFFFFFFFFFFFF \r\n"
              "   55276301819721156 00C46180EE7635C4 first\r\n");

    const std::vector<uint8_t> expected = {
        3, 0, 0, 0,                                            // entry count
        0xFF, 0, 0, 0, 0, 0, 0, 0, 8, 0, 0, 0,                 // id 255, length 7 + 1
        'r', 'e', 'n', 'a', 'm', 'e', 'd', 0,                  //
        0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0, // empty name: L = 1
        0,                                                     //
        0xC4, 0x35, 0x76, 0xEE, 0x80, 0x61, 0xC4, 0x00, 6, 0, 0, 0, //
        'f', 'i', 'r', 's', 't', 0,
    };
    EXPECT_EQ(ReadTestFile(output.Join("ResMap.bin")), expected);
}

TEST(OutputFilesTest, NameLineFieldsMatchTheirPrintfFormats) {
    // The fields are written by hand; each id must come out as "%20I64u %.16I64X" would print it.
    const uint64_t ids[] = {0, 9, 10, 99999, 0x0123456789ABCDEFull, 9999999999999999999ull,
                            10000000000000000000ull, 0x8000000000000000ull, InvalidResourceId - 1,
                            InvalidResourceId};
    CNameMap names;
    std::string expected;
    for (const uint64_t id : ids) {
        SetName(names, id, "n");
        char line[64];
        std::snprintf(line, sizeof(line), "%20" PRIu64 " %.16" PRIX64 " n\r\n", id, id);
        expected += line;
    }
    CStringBufferA text;
    BuildNameMapText(names, 0, text);
    EXPECT_EQ(std::string(text.GetData(), text.GetLength()), expected);

    CTempDirectory output;
    ASSERT_TRUE(CreateDirectoryPath(output.Join("c").c_str()));
    TStringBufferA<260> pathBuffer;
    for (const uint64_t id : ids) {
        SCOPED_TRACE(id);
        char name[32];
        std::snprintf(name, sizeof(name), "%.16" PRIX64 ".bin", id);
        ASSERT_TRUE(WriteResourceFile(pathBuffer, output.GetPath().c_str(), "c", id, "", 0));
        EXPECT_EQ(pathBuffer.GetData(), output.GetPath() + "\\c\\" + name);
    }
}

TEST(OutputFilesTest, ContainerAndExternalLines) {
    CStringBufferA containers;
    AppendContainerLine(containers, "BB098D92BD77F6833EF8D28079B3C385.pc_resourcelib",
                        "[examples/pack.bundle].pc_resourcelib", "chunk0");
    AppendContainerLine(containers, "A.x", "p", "");
    EXPECT_STREQ(containers.GetData(), "BB098D92BD77F6833EF8D28079B3C385.pc_resourcelib "
                                       "[examples/pack.bundle].pc_resourcelib -> chunk0\r\n"
                                       "A.x p -> \r\n");
    CStringBufferA externals;
    AppendExternalLine(externals, 0x00DAC1F461386257ull, "examples/readme.txt", "02DAC1F4613862571209EA07B75851CA");
    EXPECT_STREQ(externals.GetData(), "   61574800270189143 00DAC1F461386257 examples/readme.txt "
                                      "02DAC1F4613862571209EA07B75851CA\r\n");
}

TEST(OutputFilesTest, ResourceFileIsNamedAfterIdAndReplacesOldContent) {
    CTempDirectory output;
    ASSERT_TRUE(CreateDirectoryPath(output.Join("chunk0").c_str()));
    WriteTestFile(output.Join("chunk0/00000000000000FF.bin"), std::string(100, 'z'));
    TStringBufferA<260> pathBuffer;
    ::testing::internal::CaptureStdout();
    EXPECT_TRUE(WriteResourceFile(pathBuffer, output.GetPath().c_str(), "chunk0", 255, "abc", 3));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(pathBuffer.GetData(), output.GetPath() + "\\chunk0\\00000000000000FF.bin");
    EXPECT_EQ(ReadText(output.Join("chunk0/00000000000000FF.bin")), "abc");
}

TEST(OutputFilesTest, FailuresArePrintedWithTheFormattedPath) {
    CTempDirectory output;
    const std::string missing = output.Join("missing");
    TStringBufferA<260> pathBuffer;
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(WriteResourceFile(pathBuffer, missing.c_str(), "lib", 0x1234, "abc", 3));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "Failed to write \"" + missing + "\\lib\\0000000000001234.bin\".\r\n");

    // Nothing creates the output directory for the index files: each of them fails on its own.
    CNameMap names;
    SetName(names, 1, "a");
    CStringBufferA containers;
    CStringBufferA externals;
    const SWriteRun run = WriteAll(missing, names, containers, externals);
    EXPECT_FALSE(run.Written);
    EXPECT_EQ(run.Printed, "Writing name map... failed.\r\n"
                           "Writing container map... failed.\r\n"
                           "Writing external resources list... failed.\r\n"
                           "Writing res map... failed.\r\n");
    EXPECT_FALSE(TestFileExists(missing));
}
