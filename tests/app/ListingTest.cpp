// Listing lines, text and JSON, against exact expected bytes.
#include "app/Listing.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(ListingTest, LinesEscapeNamesAndMarkBadUtf8) {
    struct SCase {
        CListingLine Line;
        const char *Text, *Json;
    };
    auto line = [](const char* library, uint64_t size, EResourceStatus status, const char* name,
                   const char* container) {
        return CListingLine{
            library, 0x00B9E0842BBAB7E2, size,      status,
            name,    std::strlen(name),  container, container != nullptr ? "0123abcd.pc_container" : nullptr};
    };
    const SCase cases[] = {
        {line("chunk0", 4294967295u, EResourceStatus::Extract, "[a/b.txt].pc_text", "[a].pc_container"),
         "chunk0\t00B9E0842BBAB7E2\t4294967295\textract\t[a/b.txt].pc_text\n",
         R"({"library": "chunk0", "id": "00B9E0842BBAB7E2", "size": 4294967295, "status": "extract", )"
         R"("name": "[a/b.txt].pc_text", "container": "[a].pc_container", "archive_name": "0123abcd.pc_container"})"},
        {line("li\tb\\", CListingLine::UnknownSize, EResourceStatus::Unavailable, "a\\b\t\r\n\x01\"\x7f",
              nullptr),
         "li\\tb\\\\\t00B9E0842BBAB7E2\t-\tunavailable\ta\\\\b\\t\\r\\n\x01\"\x7f\n",
         R"({"library": "li\tb\\", "id": "00B9E0842BBAB7E2", "size": null, "status": "unavailable", )"
         R"("name": "a\\b\t\r\n\u0001\")"
         "\x7f"
         R"(", "container": null, "archive_name": null})"},
        {line("c", 0, EResourceStatus::Named, "x\xFFy\xC3\xA9\xE2\x82", "\x80"),
         "c\t00B9E0842BBAB7E2\t0\tnamed\tx\xFFy\xC3\xA9\xE2\x82\n",
         "{\"library\": \"c\", \"id\": \"00B9E0842BBAB7E2\", \"size\": 0, \"status\": \"named\", \"name\": "
         "\"x\xEF\xBF\xBDy\xC3\xA9\xEF\xBF\xBD\xEF\xBF\xBD\", \"container\": \"\xEF\xBF\xBD\", "
         "\"archive_name\": "
         "\"0123abcd.pc_container\", \"name_hex\": \"78ff79c3a9e282\"}"},
        // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8 either.
        {line("c", 1, EResourceStatus::Locale, "\xC0\xAF\xED\xA0\x80\xF4\x90\x80\x80\xF0\x9F\x98\x80",
              nullptr),
         "c\t00B9E0842BBAB7E2\t1\tlocale\t\xC0\xAF\xED\xA0\x80\xF4\x90\x80\x80\xF0\x9F\x98\x80\n",
         "{\"library\": \"c\", \"id\": \"00B9E0842BBAB7E2\", \"size\": 1, \"status\": \"locale\", \"name\": "
         "\""
         "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"
         "\xEF\xBF\xBD\xF0\x9F\x98\x80\", \"container\": null, \"archive_name\": null, "
         "\"name_hex\": \"c0afeda080f4908080f09f9880\"}"},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.Text);
        CStringBufferA text;
        AppendListingText(text, c.Line);
        EXPECT_EQ(std::string(text.GetData()), c.Text);
        text.Assign("");
        AppendListingJson(text, c.Line);
        EXPECT_EQ(std::string(text.GetData()), std::string(c.Json) + "\n");
    }
}
