// Console output: a message is out as soon as it is printed, and the status line is drawn and erased in
// place.
#include "base/Console.h"

#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

TEST(ConsoleTest, MessagesAreOutAtOnce) {
    // Standard output goes to a file, read back before anything but the message itself could flush it.
    CTempDirectory root;
    const std::string path = root.Join("stdout");
    std::fflush(stdout);
    const int saved = dup(fileno(stdout));
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    dup2(fileno(file), fileno(stdout));
    std::fclose(file);
    Print("%I64u of %s", uint64_t(1) << 40, "done");
    const std::string seen = ReadTestFile(path);
    std::fflush(stdout);
    dup2(saved, fileno(stdout));
    close(saved);
    EXPECT_EQ(seen, "1099511627776 of done");
}

TEST(ConsoleTest, StatusLineIsBlankedPastAShorterTextAndBeforeAMessage) {
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(IsErrorTerminal());
    ShowStatusLine("0123456789");
    ShowStatusLine("abc");
    PrintError("e\n");
    ClearStatusLine();
    ShowStatusLine("xy");
    ClearStatusLine();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "\r0123456789\r\rabc       \r   \re\n\rxy\r  \r");
}
