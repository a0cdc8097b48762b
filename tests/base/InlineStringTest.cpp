// CInlineStringA: storage modes, exact growth, views made owned before they change, self-referencing edits.
#include "base/InlineString.h"

#include "base/Memory.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr uint64_t npos = CInlineStringA::npos;

// Length, bytes and the terminator at the length.
void ExpectText(const CInlineStringA& string, const std::string& expected) {
    ASSERT_EQ(string.GetLength(), expected.size());
    EXPECT_EQ(std::string(string.GetData(), string.GetLength()), expected);
    EXPECT_EQ(string.GetData()[string.GetLength()], '\0');
}

std::string Letters(uint64_t count) {
    std::string text;
    for (uint64_t i = 0; i < count; ++i)
        text.push_back(static_cast<char>('a' + i % 26));
    return text;
}

} // namespace

TEST(InlineStringTest, AssignStaysInlineUpTo14Characters) {
    for (uint64_t length : {0, 1, 14, 15, 40}) {
        SCOPED_TRACE(length);
        const std::string text = Letters(length);
        CInlineStringA string;
        string.Assign(text.data(), length);
        ExpectText(string, text);
        EXPECT_EQ(string.IsInline(), length <= 14);
        EXPECT_EQ(string.IsOnHeap(), length > 14);
        EXPECT_EQ(string.GetCapacity(), length <= 14 ? 14u : length);
    }
    // Growth is exact and storage never shrinks.
    CInlineStringA string(Letters(15).c_str());
    string.Append("x", 1);
    EXPECT_EQ(string.GetCapacity(), 16u);
    string.Reserve(3);
    string.Assign("ab", 2);
    EXPECT_EQ(string.GetCapacity(), 16u);
    EXPECT_TRUE(string.IsOnHeap());
    ExpectText(string, "ab");
}

TEST(InlineStringTest, ReserveMakesBorrowedStringOwnWithExactCapacity) {
    struct SCase {
        const char* Lent;
        uint64_t Reserve;
        bool Inline;
        uint64_t Capacity;
    };
    const SCase cases[] = {{"HELLO", 0, true, 5},
                           {"HELLO", 8, true, 8},
                           {"HELLO", 16, false, 16},
                           {"ABCDEFGHIJKLMNOPQRST", 0, false, 20},
                           {"ABCDEFGHIJKLMNOPQRST", 3, false, 20}};
    for (const SCase& c : cases) {
        SCOPED_TRACE(std::string(c.Lent) + " reserve " + std::to_string(c.Reserve));
        const std::string original = c.Lent;
        std::string lent = original;
        CInlineStringA string = CInlineStringA::Borrow(lent.c_str());
        EXPECT_TRUE(string.IsBorrowed());
        EXPECT_EQ(string.GetData(), lent.c_str());
        string.Reserve(c.Reserve);
        EXPECT_FALSE(string.IsBorrowed());
        EXPECT_EQ(string.IsInline(), c.Inline);
        EXPECT_EQ(string.GetCapacity(), c.Capacity);
        EXPECT_NE(string.GetData(), lent.c_str());
        // The owned copy changes; the lent characters do not.
        string.MakeLower();
        std::string lower = original;
        for (char& ch : lower)
            ch = static_cast<char>(ch - 'A' + 'a');
        ExpectText(string, lower);
        EXPECT_EQ(lent, original);
    }
}

TEST(InlineStringTest, AssignFromStringKeepsViewsOfTails) {
    const char* lent = "0123456789";
    const CInlineStringA view = CInlineStringA::Borrow(lent);
    CInlineStringA heapTarget(Letters(30).c_str());

    // A part that reaches the end of a borrowed source borrows too, releasing a heap block first.
    heapTarget.Assign(view, 2, npos);
    EXPECT_TRUE(heapTarget.IsBorrowed());
    EXPECT_EQ(heapTarget.GetData(), lent + 2);
    EXPECT_EQ(heapTarget.GetCapacity(), 8u);
    ExpectText(heapTarget, "23456789");

    struct SCase {
        uint64_t Position;
        uint64_t Count;
        bool Borrowed;
        const char* Expected;
    };
    const SCase cases[] = {{0, npos, true, "0123456789"},
                           {4, 100, true, "456789"},
                           {10, npos, true, ""},
                           {0, 3, false, "012"},
                           {5, 2, false, "56"}};
    for (const SCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.Position) + "," + std::to_string(c.Count));
        CInlineStringA target;
        target.Assign(view, c.Position, c.Count);
        EXPECT_EQ(target.IsBorrowed(), c.Borrowed);
        if (c.Borrowed) {
            EXPECT_EQ(target.GetData(), lent + c.Position);
        }
        ExpectText(target, c.Expected);

        // Owned sources always give owned copies.
        const CInlineStringA owned(lent);
        CInlineStringA copy;
        copy.Assign(owned, c.Position, c.Count);
        EXPECT_FALSE(copy.IsBorrowed());
        ExpectText(copy, c.Expected);
    }

    // From itself: a borrowed string narrows its view, an owned one cuts its own characters.
    CInlineStringA self = CInlineStringA::Borrow(lent);
    self.Assign(self, 3, npos);
    EXPECT_EQ(self.GetData(), lent + 3);
    CInlineStringA owned(Letters(20).c_str());
    owned.Assign(owned, 2, 3);
    ExpectText(owned, "cde");

    // Copy assignment never keeps a view.
    CInlineStringA assigned;
    assigned = view;
    EXPECT_FALSE(assigned.IsBorrowed());
    ExpectText(assigned, lent);
}

TEST(InlineStringTest, SelfReferencingEditsSurviveStorageMove) {
    const std::string fourteen = Letters(14);
    const std::string twenty = Letters(20);
    {
        // Inline to heap while the source is the inline area itself.
        CInlineStringA string(fourteen.c_str());
        string.Append(string.GetData(), 14);
        EXPECT_TRUE(string.IsOnHeap());
        ExpectText(string, fourteen + fourteen);
    }
    {
        // Heap block replaced while the source lies inside it; the count is cut at the terminator.
        CInlineStringA string(twenty.c_str());
        string.Append(string.GetData() + 5, 100);
        ExpectText(string, twenty + twenty.substr(5));
        EXPECT_EQ(string.GetCapacity(), 35u);
    }
    {
        CInlineStringA string(twenty.c_str());
        string.Append(string.GetData() + 20, 4);
        ExpectText(string, twenty);
        string.Assign(string.GetData() + 3, 4);
        ExpectText(string, "defg");
        string.Assign(string.GetData(), npos);
        ExpectText(string, "defg");
    }
}

TEST(InlineStringTest, EraseOwnsBorrowedCharactersFirst) {
    const char* lent = "0123456789";
    struct SCase {
        uint64_t Position;
        uint64_t Count;
        bool Borrowed;
        const char* Expected;
    };
    const SCase cases[] = {{3, npos, false, "012"},
                           {2, 3, false, "0156789"},
                           {0, 10, false, ""},
                           {4, 0, true, "0123456789"},
                           {9, 1, false, "012345678"}};
    for (const SCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.Position) + "," + std::to_string(c.Count));
        CInlineStringA string = CInlineStringA::Borrow(lent);
        string.Erase(c.Position, c.Count);
        EXPECT_EQ(string.IsBorrowed(), c.Borrowed);
        ExpectText(string, c.Expected);
        EXPECT_STREQ(lent, "0123456789");
    }
    const std::string twenty = Letters(20);
    CInlineStringA heap(twenty.c_str());
    heap.Erase(1, 18);
    ExpectText(heap, "at");
    EXPECT_EQ(heap.GetCapacity(), 20u);
}

TEST(InlineStringTest, FindEdges) {
    struct SCase {
        const char* Text;
        const char* Needle;
        uint64_t Expected;
    };
    const SCase cases[] = {{"", "", 0},       {"abc", "", 0},      {"", "a", npos},   {"ab", "abc", npos},
                           {"abc", "abc", 0}, {"abcabc", "ca", 2}, {"aab", "ab", 1},  {"abcABC", "AB", 3},
                           {"abc", "c", 2},   {"abc", "cd", npos}, {"abc", "B", npos}};
    for (const SCase& c : cases) {
        SCOPED_TRACE(std::string(c.Text) + " / " + c.Needle);
        const CInlineStringA string = CInlineStringA::Borrow(c.Text);
        EXPECT_EQ(string.Find(c.Needle, std::string(c.Needle).size()), c.Expected);
    }
}

TEST(InlineStringTest, SubstringAndCopiesAreOwned) {
    const std::string twenty = Letters(20);
    const CInlineStringA view = CInlineStringA::Borrow(twenty.c_str());
    struct SCase {
        uint64_t Position;
        uint64_t Count;
    };
    const SCase cases[] = {{2, 5}, {5, npos}, {3, 100}, {20, npos}, {0, 0}, {2, npos - 1}, {0, 20}};
    for (const SCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.Position) + "," + std::to_string(c.Count));
        const CInlineStringA part = view.Substring(c.Position, c.Count);
        EXPECT_FALSE(part.IsBorrowed());
        ExpectText(part, twenty.substr(c.Position, c.Count));
    }

    const CInlineStringA shortView = CInlineStringA::Borrow("short");
    const CInlineStringA shortCopy(shortView);
    EXPECT_TRUE(shortCopy.IsInline());
    ExpectText(shortCopy, "short");
    const CInlineStringA longCopy(view);
    EXPECT_TRUE(longCopy.IsOnHeap());
    EXPECT_NE(longCopy.GetData(), twenty.c_str());
    ExpectText(longCopy, twenty);
    const CInlineStringA copyOfCopy(longCopy);
    EXPECT_NE(copyOfCopy.GetData(), longCopy.GetData());
    ExpectText(copyOfCopy, twenty);
}

TEST(InlineStringTest, ConcatBorrowsFirstOnlyWhenSecondIsEmpty) {
    const char* lent = "borrowed";
    const CInlineStringA first = CInlineStringA::Borrow(lent);
    const CInlineStringA empty;

    const CInlineStringA alone = CInlineStringA::Concat(first, empty);
    EXPECT_TRUE(alone.IsBorrowed());
    EXPECT_EQ(alone.GetData(), lent);

    const CInlineStringA joined = CInlineStringA::Concat(first, CInlineStringA("+tail"));
    EXPECT_FALSE(joined.IsBorrowed());
    ExpectText(joined, "borrowed+tail");
    EXPECT_STREQ(lent, "borrowed");

    const CInlineStringA ten(Letters(10).c_str());
    const CInlineStringA long20 = CInlineStringA::Concat(ten, ten);
    EXPECT_EQ(long20.GetCapacity(), 20u);
    ExpectText(long20, Letters(10) + Letters(10));
    ExpectText(CInlineStringA::Concat(empty, empty), "");
}

TEST(InlineStringTest, ReplaceBackslashesAndMakeLowerCopyBorrowedText) {
    const char* plain = "a/b/c";
    CInlineStringA noBackslash = CInlineStringA::Borrow(plain);
    noBackslash.ReplaceBackslashes();
    EXPECT_TRUE(noBackslash.IsBorrowed());
    EXPECT_EQ(noBackslash.GetData(), plain);

    const char* lent = "dir\\sub\\File.TXT";
    CInlineStringA path = CInlineStringA::Borrow(lent);
    path.ReplaceBackslashes();
    EXPECT_FALSE(path.IsBorrowed());
    ExpectText(path, "dir/sub/File.TXT");
    path.MakeLower();
    ExpectText(path, "dir/sub/file.txt");
    EXPECT_STREQ(lent, "dir\\sub\\File.TXT");

    // Only ASCII letters fold; the neighbours of A..Z and bytes above 127 stay.
    const char* mixed = "@AZ[`az{\xC4\xE4";
    CInlineStringA lower = CInlineStringA::Borrow(mixed);
    lower.MakeLower();
    ExpectText(lower, "@az[`az{\xC4\xE4");
    EXPECT_STREQ(mixed, "@AZ[`az{\xC4\xE4");
}

TEST(InlineStringTest, MovesHandOverStorage) {
    const std::string twenty = Letters(20);
    const char* lent = "view";
    CInlineStringA inlineSource("inline");
    CInlineStringA heapSource(twenty.c_str());
    CInlineStringA viewSource = CInlineStringA::Borrow(lent);
    const char* heapBlock = heapSource.GetData();

    auto expectEmpty = [](const CInlineStringA& string) {
        EXPECT_TRUE(string.IsInline());
        EXPECT_EQ(string.GetCapacity(), 14u);
        ExpectText(string, "");
    };

    CInlineStringA movedInline(std::move(inlineSource));
    EXPECT_TRUE(movedInline.IsInline());
    ExpectText(movedInline, "inline");
    expectEmpty(inlineSource);

    // Move assignment onto a heap string releases that block (the leak checker sees it otherwise).
    CInlineStringA movedHeap(Letters(30).c_str());
    movedHeap = std::move(heapSource);
    EXPECT_EQ(movedHeap.GetData(), heapBlock);
    EXPECT_EQ(movedHeap.GetCapacity(), 20u);
    expectEmpty(heapSource);

    CInlineStringA movedView;
    movedView = std::move(viewSource);
    EXPECT_TRUE(movedView.IsBorrowed());
    EXPECT_EQ(movedView.GetData(), lent);
    expectEmpty(viewSource);

    CInlineStringA& alias = movedHeap;
    movedHeap = std::move(alias);
    EXPECT_EQ(movedHeap.GetData(), heapBlock);
}

TEST(InlineStringTest, RefusedGrowthStopsTheProcess) {
    EXPECT_EXIT(
        {
            CInlineStringA string("short");
            SetAllocationFaultHook([](uint64_t) { return true; });
            string.Append(Letters(20).c_str(), 20);
        },
        ::testing::ExitedWithCode(2), "VorskExtract: out of memory\\.");
    // A capacity whose block size does not fit in 64 bits is refused, not wrapped around.
    EXPECT_EXIT(
        {
            CInlineStringA string("abc");
            string.Reserve(npos);
        },
        ::testing::ExitedWithCode(2), "out of memory");
}
