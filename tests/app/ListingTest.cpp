// Listing lines in both forms, byte for byte: every escape, every UTF-8 decision, sizes of any length, and
// the members a resource without a container leaves null.
#include "app/Listing.h"

#include "support/ExpectedOutput.h"

#include <gtest/gtest.h>

#include <string>

TEST(ListingTest, LinesShowEveryNameExactly) {
    // JSON escapes quotes, backslashes and control characters, puts U+FFFD for each byte that starts no
    // well-formed UTF-8 sequence and then gives the name's bytes in hexadecimal. The text form escapes tab,
    // CR, LF and backslash only: the names stand as they are but in the second row.
    const std::string X = "\xEF\xBF\xBD";
    const std::string Valid = "\xC3\xA9\xDF\xBF\xE2\x82\xAC\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF";
    const struct {
        std::string Name, Json, Hex;
    } rows[] = {
        {"a/b", "a/b", ""},
        {"t\tr\rn\nb\\", "t\\tr\\rn\\nb\\\\", ""},
        {"q\"\b\f\x01\x1f\x7f", "q\\\"\\b\\f\\u0001\\u001f\x7f", ""},
        {Valid, Valid, ""},
        {"\xC0\xAF", X + X, "c0af"},
        {"\xED\xA0\x80", X + X + X, "eda080"},
        {"\xF4\x90\x80\x80", X + X + X + X, "f4908080"},
        {"\xF5\x80\x80\x80", X + X + X + X, "f5808080"},
        {"a\xE2\x82", "a" + X + X, "61e282"},
        {"\xE2\x28\xA1", X + "(" + X, "e228a1"},
        {"\xE2\x82\x28", X + X + "(", "e28228"},
        {"\x80", X, "80"},
    };
    const char* const statuses[] = {"extract", "named", "locale", "unavailable", "unreadable"};
    for (uint32_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        // Sizes from 1 to 2^40, a digit more every row or so.
        const std::string size = std::to_string(uint64_t(1) << (4 * i));
        const CListingLine line{CStringViewA("l\tb"),
                                0xAB00 + i,
                                uint64_t(1) << (4 * i),
                                static_cast<EResourceStatus>(i % 5),
                                CStringViewA(rows[i].Name.data(), rows[i].Name.size()),
                                "c\\d",
                                "e"};
        CStringBufferA text, json;
        AppendListingText(text, line);
        AppendListingJson(json, line);
        EXPECT_EQ(text.GetData(), "l\\tb\t" + MakeIdText(0xAB00 + i) + "\t" + size + "\t" + statuses[i % 5] +
                                      "\t" + (i == 1 ? rows[i].Json : rows[i].Name) + "\n");
        EXPECT_EQ(json.GetData(),
                  "{\"library\": \"l\\tb\", \"id\": \"" + MakeIdText(0xAB00 + i) + "\", \"size\": " + size +
                      ", \"status\": \"" + statuses[i % 5] + "\", \"name\": \"" + rows[i].Json +
                      "\", \"container\": \"c\\\\d\", \"archive_name\": \"e\"" +
                      (rows[i].Hex.empty() ? "" : ", \"name_hex\": \"" + rows[i].Hex + "\"") + "}\n");
    }
    const CListingLine unknown{
        CStringViewA("l"), 1,      CListingLine::UnknownSize, EResourceStatus::Unavailable, CStringViewA("u"),
        nullptr,           nullptr};
    CStringBufferA json;
    AppendListingJson(json, unknown);
    EXPECT_STREQ(json.GetData(),
                 "{\"library\": \"l\", \"id\": \"0000000000000001\", \"size\": null, \"status\": "
                 "\"unavailable\", \"name\": \"u\", \"container\": null, \"archive_name\": null}\n");
}
