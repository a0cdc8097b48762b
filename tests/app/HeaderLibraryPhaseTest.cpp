// Tests of the header library phase that the end-to-end runs cannot observe from outside the process.
#include "app/HeaderLibraryPhase.h"
#include "app/Report.h"
#include "app/WriterPool.h"

#include "archive/ArchiveManager.h"
#include "base/Console.h"
#include "base/FileList.h"
#include "base/InlineString.h"
#include "base/Memory.h"
#include "resid/ResourcePath.h"
#include "support/ArchiveWriter.h"
#include "support/HeaderLibraryWriter.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

uint64_t g_LargestAllocation = 0;

bool RecordAllocation(uint64_t size) {
    g_LargestAllocation = std::max(g_LargestAllocation, size);
    return false;
}

} // namespace

// An archive entry's size and a span's length are claims of the files; a resource whose bytes are not
// there is skipped without a buffer of the claimed size.
TEST(HeaderLibraryPhaseTest, ClaimedSizesDoNotSizeTheResourceBuffer) {
    const std::string path = "[fuzz/pack.bundle].pc_resourcelib";
    const std::string name = "[fuzz/item.txt].pc_text";
    CInlineStringA archiveName;
    CResourcePath::GetArchiveName(path.c_str(), archiveName);
    struct {
        const char* Case;
        uint64_t SegmentSize;
        uint32_t SpanLength;
        bool Written;
    } const cases[] = {
        {"bytes present", 100, 50, true},
        {"entry size claimed", 0xF0000000, 0xE0000000, false},
        {"span beyond the entry", 100, 0xE0000000, false},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.Case);
        CTempDirectory source;
        CTempDirectory output;
        CTestArchive archive = MakeSimpleTestArchive("data.archive", {archiveName.GetData()}, {""});
        archive.Entries[0].Segments[0].Bytes.assign(100, 'b');
        archive.Entries[0].Segments[0].Size = test.SegmentSize;
        ASSERT_TRUE(WriteTestArchives(source.GetPath(), {archive}));
        CTestHeaderLibrary library;
        library.Containers.push_back(CTestContainer{
            path, 0, false, {std::string("all")}, {CTestEntryHeader{test.SpanLength, 24, {}, false}}});
        library.Resources.push_back(CTestResource{MakeTestMemberId(path, 0),
                                                  CResourcePath::GetId(CStringViewA(name.c_str())), name,
                                                  "", std::nullopt, std::nullopt});
        ASSERT_TRUE(WriteTestHeaderLibrary(source.Join("lib.pc_headerlib"), library));

        CArchiveManager manager;
        ASSERT_NE(manager.Mount((source.GetPath() + "\\data.archive").c_str()), nullptr);
        CFileList files;
        g_LargestAllocation = 0;
        SetAllocationFaultHook(&RecordAllocation);
        ::testing::internal::CaptureStdout();
        CRunOptions options;
        const std::string sourcePath = source.GetPath();
        const std::string outputPath = output.GetPath();
        options.Source = sourcePath.c_str();
        options.Output = outputPath.c_str();
        options.Verbosity = EVerbosity::Quiet;
        CRunReport report(true);
        CWriterPool pool(1);
        ProcessHeaderLibraries(files, manager, options, report, pool);
        FlushConsole();
        ::testing::internal::GetCapturedStdout();
        SetAllocationFaultHook(nullptr);

        EXPECT_LT(g_LargestAllocation, uint64_t(1) << 30);
        char fileName[32];
        std::snprintf(fileName, sizeof fileName, "lib/%016llX.bin",
                      static_cast<unsigned long long>(CResourcePath::GetId(CStringViewA(name.c_str()))));
        EXPECT_EQ(TestFileExists(output.Join(fileName)), test.Written);
    }
}
