// CStringBufferA and TStringBufferA<260>: growth in steps of 256, the inline array, formatting with I64.
#include "base/StringBuffer.h"

#include "base/Memory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

std::string Text(const CStringBufferA& buffer) {
    EXPECT_EQ(buffer.GetData()[buffer.GetLength()], '\0');
    return std::string(buffer.GetData(), buffer.GetLength());
}

std::string Digits(uint64_t count) {
    std::string text;
    for (uint64_t i = 0; i < count; ++i)
        text.push_back(static_cast<char>('0' + i % 10));
    return text;
}

} // namespace

TEST(StringBufferTest, ReserveRoundsUpTo256) {
    const uint64_t cases[][2] = {{1, 256}, {255, 256}, {256, 256}, {257, 512}, {600, 768}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c[0]);
        CStringBufferA buffer;
        buffer.Reserve(c[0]);
        EXPECT_EQ(buffer.GetCapacity(), c[1]);
        EXPECT_EQ(Text(buffer), "");
    }
    // Growth keeps the text; a smaller request changes nothing.
    CStringBufferA buffer;
    buffer.Assign("abc");
    buffer.Reserve(1000);
    EXPECT_EQ(buffer.GetCapacity(), 1024u);
    buffer.Reserve(10);
    EXPECT_EQ(buffer.GetCapacity(), 1024u);
    EXPECT_EQ(Text(buffer), "abc");
}

TEST(StringBufferTest, EmptyFormatKeepsStorage) {
    CStringBufferA buffer;
    EXPECT_EQ(buffer.Format("%s", ""), 0u);
    EXPECT_EQ(buffer.GetCapacity(), 0u);
    EXPECT_EQ(buffer.Format("%s-%d", "x", 5), 3u);
    const char* block = buffer.GetData();
    EXPECT_EQ(buffer.Format("%s", ""), 0u);
    EXPECT_EQ(buffer.GetData(), block);
    EXPECT_EQ(buffer.GetCapacity(), 256u);
    EXPECT_EQ(Text(buffer), "");
    EXPECT_EQ(buffer.AppendFormat("%s", ""), 0u);
    EXPECT_EQ(Text(buffer), "");
}

TEST(StringBufferTest, InlineArrayHoldsUpTo259Characters) {
    TStringBufferA<260> fits;
    EXPECT_EQ(fits.Format("%s", Digits(259).c_str()), 259u);
    EXPECT_TRUE(fits.IsUsingInlineArray());
    EXPECT_EQ(fits.GetCapacity(), 260u);
    EXPECT_EQ(Text(fits), Digits(259));

    TStringBufferA<260> spills;
    EXPECT_EQ(spills.Format("%s", Digits(260).c_str()), 260u);
    EXPECT_FALSE(spills.IsUsingInlineArray());
    EXPECT_EQ(spills.GetCapacity(), 512u);
    EXPECT_EQ(Text(spills), Digits(260));

    // Growing past the array by appending copies the inline text to the heap block.
    TStringBufferA<260> grows;
    grows.Format("%s", Digits(200).c_str());
    EXPECT_TRUE(grows.IsUsingInlineArray());
    EXPECT_EQ(grows.AppendFormat("%s", std::string(100, 'x').c_str()), 300u);
    EXPECT_FALSE(grows.IsUsingInlineArray());
    EXPECT_EQ(grows.GetCapacity() % 256, 0u);
    EXPECT_EQ(Text(grows), Digits(200) + std::string(100, 'x'));
}

TEST(StringBufferTest, ClearLeavesInlineArrayForSentinel) {
    TStringBufferA<260> buffer;
    buffer.Format("abc");
    ASSERT_TRUE(buffer.IsUsingInlineArray());
    buffer.Clear(false);
    EXPECT_FALSE(buffer.IsUsingInlineArray());
    EXPECT_EQ(buffer.GetCapacity(), 0u);
    EXPECT_EQ(Text(buffer), "");
    buffer.Format("%d", 42);
    EXPECT_TRUE(buffer.IsUsingInlineArray());
    EXPECT_EQ(Text(buffer), "42");

    // On a heap block Clear keeps the storage unless asked to release it.
    buffer.Format("%s", Digits(300).c_str());
    const char* block = buffer.GetData();
    buffer.Clear(false);
    EXPECT_EQ(buffer.GetData(), block);
    EXPECT_EQ(buffer.GetCapacity(), 512u);
    buffer.Format("%s", "short");
    EXPECT_EQ(buffer.GetData(), block);
    EXPECT_EQ(Text(buffer), "short");
    buffer.Clear(true);
    EXPECT_EQ(buffer.GetCapacity(), 0u);
    EXPECT_EQ(Text(buffer), "");
}

TEST(StringBufferTest, RightGivesLastCharacter) {
    CStringBufferA text;
    text.Assign("abc");
    EXPECT_EQ(Text(text.Right()), "c");
    CStringBufferA empty;
    EXPECT_EQ(Text(empty.Right()), "");
    TStringBufferA<260> path;
    path.Assign("dir\\");
    EXPECT_EQ(Text(path.Right()), "\\");
}

TEST(StringBufferTest, MovingTakesStorageOrCopiesInlineText) {
    CStringBufferA heap;
    heap.Format("%s", Digits(10).c_str());
    const char* block = heap.GetData();
    CStringBufferA taken(std::move(heap));
    EXPECT_EQ(taken.GetData(), block);
    EXPECT_EQ(heap.GetCapacity(), 0u);
    EXPECT_EQ(Text(heap), "");

    // A path buffer's inline array cannot be handed over; its text must be copied.
    TStringBufferA<260> path;
    path.Format("a\\b");
    CStringBufferA moved(std::move(path));
    EXPECT_EQ(Text(moved), "a\\b");
    EXPECT_EQ(Text(path), "");
}

TEST(StringBufferTest, AppendedLinesConcatenateWithDoublingGrowth) {
    CStringBufferA buffer;
    std::string expected;
    uint64_t capacity = 0;
    for (int i = 0; i < 2000; ++i) {
        buffer.AppendFormat("%d %s\r\n", i, i % 7 == 0 ? "seven" : "");
        expected += std::to_string(i) + " " + (i % 7 == 0 ? "seven" : "") + "\r\n";
        if (buffer.GetCapacity() != capacity) {
            SCOPED_TRACE(i);
            EXPECT_EQ(buffer.GetCapacity() % 256, 0u);
            EXPECT_GE(buffer.GetCapacity(), 2 * capacity);
            capacity = buffer.GetCapacity();
        }
    }
    buffer.Append("tail", 4);
    expected += "tail";
    EXPECT_EQ(Text(buffer), expected);
}

TEST(StringBufferTest, PathBuiltByAppendsStaysInlineUntilItOutgrowsTheArray) {
    TStringBufferA<260> path;
    for (int component = 0; component < 25; ++component) {
        path.Append("component\\", 10);
        SCOPED_TRACE(path.GetLength());
        EXPECT_TRUE(path.IsUsingInlineArray());
    }
    path.Append("0123456789", 10);
    EXPECT_FALSE(path.IsUsingInlineArray());
    EXPECT_EQ(path.GetLength(), 260u);
    EXPECT_EQ(path.GetCapacity(), 512u);
}

TEST(StringBufferTest, FormatsI64Modifier) {
    struct SCase {
        const char* Format;
        uint64_t Value;
        const char* Expected;
    };
    const SCase cases[] = {{"%20I64u", 0, "                   0"},
                           {"%20I64u", 0xFFFFFFFFFFFFFFFFull, "18446744073709551615"},
                           {"%20I64u", 1234567890123ull, "       1234567890123"},
                           {"%.16I64X", 255, "00000000000000FF"},
                           {"%.16I64X", 0xFFFFFFFFFFFFFFFFull, "FFFFFFFFFFFFFFFF"},
                           {"%.16I64X", 0x4000000012345678ull, "4000000012345678"},
                           {"100%% %I64u%%", 5, "100% 5%"},
                           {"%-5I64x|", 0xAB, "ab   |"},
                           {"I64 %I64d", static_cast<uint64_t>(-3), "I64 -3"}};
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.Format);
        CStringBufferA buffer;
        buffer.Format(c.Format, c.Value);
        EXPECT_EQ(Text(buffer), c.Expected);
    }
    // Arguments before and after the 64-bit one stay in step, also in a format too long to translate inline.
    const std::string prefix(300, '-');
    TStringBufferA<260> path;
    path.Format((prefix + "%s\\%.16I64X.%s").c_str(), "lib", 0x1122334455667788ull, "bin");
    EXPECT_EQ(Text(path), prefix + "lib\\1122334455667788.bin");
    path.AppendFormat("%c%I64u%c", '<', 7ull, '>');
    EXPECT_EQ(Text(path), prefix + "lib\\1122334455667788.bin<7>");
}

TEST(StringBufferTest, RefusedGrowthStopsTheProcess) {
    EXPECT_EXIT(
        {
            CStringBufferA buffer;
            SetAllocationFaultHook([](uint64_t) { return true; });
            buffer.Format("%s", "text");
        },
        ::testing::ExitedWithCode(2), "VorskExtract: out of memory\\.");
    EXPECT_EXIT(
        {
            TStringBufferA<260> buffer;
            buffer.Format("%s", "inline needs no block");
            SetAllocationFaultHook([](uint64_t) { return true; });
            buffer.AppendFormat("%s", Digits(300).c_str());
        },
        ::testing::ExitedWithCode(2), "VorskExtract: out of memory\\.");
}
