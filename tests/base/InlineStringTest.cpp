// The strings (CInlineStringA, CStringViewA, the string buffers, the name store): inline limits, growth on
// assignment, edits, appends and formats that read their own text, and stored names that stay terminated.
#include "base/InlineString.h"

#include "base/NameStore.h"
#include "base/StringBuffer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The bytes up to the length, which must be followed by the terminator.
std::string TextOf(const char* data, uint64_t length) {
    EXPECT_EQ(data[length], '\0');
    return std::string(data, length);
}

std::string TextOf(const CInlineStringA& string) {
    return TextOf(string.GetData(), string.GetLength());
}

} // namespace

TEST(InlineStringTest, CopiesMovesAndAssignmentsKeepTheTextAcrossTheInlineLimit) {
    for (const std::string& text : {std::string(), std::string(14, 'n'), std::string(15, 'o')}) {
        SCOPED_TRACE(text);
        const CInlineStringA string{CStringViewA(text.c_str())};
        CInlineStringA copy(string);
        CInlineStringA moved(std::move(copy));
        EXPECT_EQ(TextOf(copy), "");
        copy = std::move(moved);
        EXPECT_EQ(TextOf(copy), text);
        // Copy-assigned over a shorter text, inline or on the heap, the target grows.
        for (const char* shorter : {"short", "0123456789abcdefghij"}) {
            CInlineStringA target{CStringViewA(shorter)};
            target = copy;
            EXPECT_EQ(TextOf(target), text);
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
        {"abcdef", 2, 2, 2, "abef"},                           // Erase in the middle.
        {"abcdef", 2, 2, CInlineStringA::npos, "ab"},          // Erase to the end.
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Start);
        CInlineStringA string{CStringViewA(c.Start)};
        const CStringViewA part = string.GetView().Substring(c.Position, c.Count);
        if (c.Edit == 0)
            string.Append(part);
        else if (c.Edit == 1)
            string.Assign(part);
        else
            string.Erase(c.Position, c.Count);
        EXPECT_EQ(TextOf(string), c.Expected);
    }
}

TEST(StringBufferTest, AppendsAndFormatsOfItsOwnTextAcrossGrowth) {
    for (const uint64_t length : {1, 10, 259, 260, 5000}) {
        SCOPED_TRACE(length);
        const std::string text(length, 'k');
        TStringBufferA<260> formatted;
        EXPECT_EQ(formatted.Format("%s", text.c_str()), length);
        formatted.AppendFormat("-%s", formatted.GetData());
        formatted.Format("<%s>", formatted.GetData());
        EXPECT_EQ(TextOf(formatted.GetData(), formatted.GetLength()), "<" + text + "-" + text + ">");
        CStringBufferA appended;
        appended.Assign(text.c_str());
        appended.Append(appended.GetView());
        EXPECT_EQ(TextOf(appended.GetData(), appended.GetLength()), text + text);
    }
}

TEST(NameStoreTest, StoredNamesStayTerminated) {
    CNameStore store;
    const CStringViewA first = store.Store("ab");
    store.Store("cd");
    EXPECT_EQ(TextOf(first.GetData(), first.GetLength()), "ab");
}
