// CInlineStringA and CStringViewA: the inline limit, growth on assignment, edits that read their own text.
#include "base/InlineString.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Length, bytes and the terminator at the length.
void ExpectText(const CInlineStringA& string, const std::string& expected) {
    ASSERT_EQ(string.GetLength(), expected.size());
    EXPECT_EQ(std::string(string.GetData(), string.GetLength()), expected);
    EXPECT_EQ(string.GetData()[string.GetLength()], '\0');
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
    }
}

TEST(InlineStringTest, CopyAssigningALongerTextGrowsTheTarget) {
    for (const std::string& longer : {std::string(15, 'o'), std::string(100, 'y')}) {
        CInlineStringA target{CStringViewA("short")};
        const CInlineStringA source{CStringViewA(longer.c_str())};
        target = source;
        ExpectText(target, longer);
        CInlineStringA heap{CStringViewA("0123456789abcdefghij")};
        heap = source;
        ExpectText(heap, longer);
    }
}

TEST(InlineStringTest, EditsReadingTheirOwnTextSurviveTheMove) {
    struct Case {
        const char* Start;
        int Edit;
        uint64_t Position;
        uint64_t Count;
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

TEST(InlineStringTest, CaseAndSeparatorEditsChangeOnlyTheirLetters) {
    CInlineStringA string{CStringViewA("A\\Zb\\[@`{]\xC1")};
    string.MakeLower();
    ExpectText(string, "a\\zb\\[@`{]\xC1");
    string.ReplaceBackslashes();
    ExpectText(string, "a/zb/[@`{]\xC1");
}

TEST(StringViewTest, SearchesAndPartsStayWithinTheView) {
    const char text[] = "ab/cd/ab";
    const CStringViewA view(text, 7); // The final "b" lies outside the view.
    EXPECT_EQ(view.FindChar('/'), 2u);
    EXPECT_EQ(view.FindChar('/', 3), 5u);
    EXPECT_EQ(view.FindLastChar('b'), 1u);
    EXPECT_EQ(view.FindChar('x'), CStringViewA::npos);
    EXPECT_EQ(view.Find("cd"), 3u);
    EXPECT_EQ(view.Find(""), 0u);
    EXPECT_EQ(view.Find("ab/cd/ab"), CStringViewA::npos);
    EXPECT_EQ(CStringViewA().Find("a"), CStringViewA::npos);
    EXPECT_TRUE(view.Substring(3) == "cd/a");
    EXPECT_TRUE(view.Substring(3, 2) == "cd");
    EXPECT_FALSE(view.Substring(3, 2) == "cd/");
    EXPECT_TRUE(CStringViewA(nullptr) == "");
}
