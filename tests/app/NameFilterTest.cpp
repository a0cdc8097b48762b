// Whole-name patterns: "*", "?", ASCII case, and names built to make a backtracking matcher explode.
#include "app/NameFilter.h"

#include <gtest/gtest.h>

#include <string>

TEST(NameFilterTest, PatternsMatchWholeNames) {
    const std::string manyA(5000, 'a');
    std::string manyStars;
    for (int i = 0; i < 20; ++i)
        manyStars += "*a";
    struct SCase {
        std::string Pattern, Name;
        bool Matches;
    };
    const SCase cases[] = {
        {"*.txt", "sounds/a/b.txt", true},
        {"A/*.TXT", "a/b.txt", true},
        {"a/?.txt", "a/b.txt", true},
        {"a/?.txt", "a/bc.txt", false},
        {"a/?.txt", "a/.txt", false},
        {"?", "/", true},
        {"*", "", true},
        {"", "", true},
        {"", "a", false},
        {"a*b*c", "aXbYc", true},
        {"a*b*c", "aXbYcZ", false},
        {"*ab", "aab", true},
        {"**b", "b", true},
        {"ab*bc", "abc", false},
        {"\xC3\xA9", "\xC3\x89", false},
        {manyStars + "b", manyA, false},
        {manyStars, manyA, true},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.Pattern.substr(0, 20) + " / " + c.Name.substr(0, 20));
        EXPECT_EQ(MatchesNamePattern(c.Pattern.c_str(), CStringViewA(c.Name.data(), c.Name.size())),
                  c.Matches);
    }
}
