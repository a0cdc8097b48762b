// The strings (CInlineStringA, CStringViewA, the string buffers): inline limits, growth on assignment, and
// edits, appends and formats that read their own text.
#include "base/InlineString.h"

#include "base/StringBuffer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Length, bytes and the terminator at the length.
void ExpectText(const CInlineStringA& string, const std::string& expected) {
    ASSERT_EQ(string.GetLength(), expected.size());
    EXPECT_EQ(std::string(string.GetData(), string.GetLength()), expected);
    EXPECT_EQ(string.GetData()[string.GetLength()], '\0');
}

std::string TextOf(const CStringBufferA& buffer) {
    EXPECT_EQ(buffer.GetData()[buffer.GetLength()], '\0');
    return std::string(buffer.GetData(), buffer.GetLength());
}

bool IsInsideObject(const CInlineStringA& string) {
    const auto* first = reinterpret_cast<const char*>(&string);
    return string.GetData() >= first && string.GetData() < first + sizeof(string);
}

} // namespace

TEST(InlineStringTest, FourteenCharactersStayInsideTheObjectFifteenDoNot) {
    for (const std::string& text :
         {std::string(), std::string(14, 'n'), std::string(15, 'o'), std::string(40, 'x')}) {
        SCOPED_TRACE(text);
        CInlineStringA string{CStringViewA(text.c_str())};
        ExpectText(string, text);
        EXPECT_EQ(IsInsideObject(string), text.size() <= 14);
        CInlineStringA copy(string);
        ExpectText(copy, text);
        CInlineStringA moved(std::move(copy));
        ExpectText(moved, text);
        ExpectText(copy, "");
        copy = std::move(moved);
        ExpectText(copy, text);
        // Copy-assigned over a shorter text, inline or on the heap, the target grows.
        for (const char* shorter : {"short", "0123456789abcdefghij"}) {
            CInlineStringA target{CStringViewA(shorter)};
            target = copy;
            ExpectText(target, text);
        }
    }
}

TEST(InlineStringTest, EditsReadingTheirOwnTextSurviveTheMove) {
    struct Case {
        const char* Start;
        int Edit;
        uint64_t Position, Count;
        const char* Expected;
    };
    const Case cases[] = {
        {"abcdefghijk", 0, 0, 11, "abcdefghijkabcdefghijk"},   // Append of itself leaves the inline area.
        {"abcdefghijklmnop", 0, 3, 4, "abcdefghijklmnopdefg"}, // Append from a heap block that moves.
        {"abcdefghijklmnop", 1, 5, 3, "fgh"},                  // Assign of a part of itself.
        {"abcdefghijklmnop", 1, 0, 16, "abcdefghijklmnop"},    // Assign of itself.
        {"abcdef", 2, 2, 2, "abef"},                           // Erase in the middle.
        {"abcdef", 2, 2, CInlineStringA::npos, "ab"},          // Erase to the end.
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Start);
        CInlineStringA string{CStringViewA(c.Start)};
        const CStringViewA part = CStringViewA(string).Substring(c.Position, c.Count);
        if (c.Edit == 0)
            string.Append(part);
        else if (c.Edit == 1)
            string.Assign(part);
        else
            string.Erase(c.Position, c.Count);
        ExpectText(string, c.Expected);
    }
}

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

TEST(StringBufferTest, AppendsKeepEarlierTextWhenTheStorageMoves) {
    TStringBufferA<16> buffer;
    std::string expected;
    for (int line = 0; line < 200; ++line) {
        buffer.AppendFormat("%d,", line);
        buffer.Append("ab", 2);
        expected += std::to_string(line) + ",ab";
    }
    EXPECT_EQ(TextOf(buffer), expected);
    buffer.Assign(nullptr);
    EXPECT_EQ(TextOf(buffer), "");
    // The buffer's own text appended or formatted into itself, inline and across growth.
    for (const uint64_t length : {3, 10, 200, 5000}) {
        SCOPED_TRACE(length);
        const std::string text(length, 'k');
        TStringBufferA<16> appended, formatted;
        appended.Assign(text.c_str());
        appended.Append(appended.GetData(), appended.GetLength());
        EXPECT_EQ(TextOf(appended), text + text);
        formatted.Assign(text.c_str());
        formatted.AppendFormat("-%s", formatted.GetData());
        formatted.Format("<%s>", formatted.GetData());
        EXPECT_EQ(TextOf(formatted), "<" + text + "-" + text + ">");
    }
}
