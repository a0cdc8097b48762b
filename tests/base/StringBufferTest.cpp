// CStringBufferA and TStringBufferA: formatting, appending, and texts that feed on the buffer's own text.
#include "base/StringBuffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

std::string TextOf(const CStringBufferA& buffer) {
    EXPECT_EQ(buffer.GetData()[buffer.GetLength()], '\0');
    return std::string(buffer.GetData(), buffer.GetLength());
}

} // namespace

TEST(StringBufferTest, FormatGivesTheFormattedTextAcrossTheInlineLimit) {
    for (const uint64_t length : {1, 259, 260, 1000}) {
        SCOPED_TRACE(length);
        const std::string text(length, 'q');
        TStringBufferA<260> buffer;
        EXPECT_EQ(buffer.Format("%s", text.c_str()), length);
        EXPECT_EQ(TextOf(buffer), text);
        CStringBufferA plain;
        EXPECT_EQ(plain.AppendFormat("%s", text.c_str()), length);
        EXPECT_EQ(TextOf(plain), text);
    }
    CStringBufferA buffer;
    EXPECT_EQ(buffer.Format("%c", 'x'), 1u);
    EXPECT_EQ(TextOf(buffer), "x");
    EXPECT_EQ(buffer.Format("%s", ""), 0u);
    EXPECT_EQ(TextOf(buffer), "");
}

TEST(StringBufferTest, I64DirectivesPrintSixtyFourBitValues) {
    TStringBufferA<260> buffer;
    buffer.Format("%.16I64X|%20I64u", 0x0123456789ABCDEFull, ~uint64_t(0));
    EXPECT_EQ(TextOf(buffer), "0123456789ABCDEF|18446744073709551615");
}

TEST(StringBufferTest, AppendsKeepEarlierTextWhenTheStorageMoves) {
    TStringBufferA<16> buffer;
    std::string expected;
    for (int line = 0; line < 200; ++line) {
        buffer.AppendFormat("%d,", line);
        buffer.Append("ab", 2);
        buffer.Append("", 0);
        expected += std::to_string(line) + ",ab";
    }
    EXPECT_EQ(TextOf(buffer), expected);
    buffer.Assign(nullptr);
    EXPECT_EQ(TextOf(buffer), "");
    buffer.Assign("path");
    EXPECT_EQ(TextOf(buffer), "path");
}

TEST(StringBufferTest, OwnTextAppendedOrFormattedIntoItself) {
    for (const uint64_t length : {3, 10, 200, 5000}) {
        SCOPED_TRACE(length);
        const std::string text(length, 'k');
        TStringBufferA<16> appended;
        appended.Assign(text.c_str());
        appended.Append(appended.GetData(), appended.GetLength());
        EXPECT_EQ(TextOf(appended), text + text);
        TStringBufferA<16> formatted;
        formatted.Assign(text.c_str());
        formatted.AppendFormat("-%s", formatted.GetData());
        EXPECT_EQ(TextOf(formatted), text + "-" + text);
        formatted.Format("<%s>", formatted.GetData());
        EXPECT_EQ(TextOf(formatted), "<" + text + "-" + text + ">");
    }
}
