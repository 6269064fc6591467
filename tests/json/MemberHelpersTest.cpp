#include "json/jsonIO.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

namespace
{

// The member "m" of the parsed document (null when the document has none).
Json::Value MemberOf(const char* document)
{
    Json::Value root;
    EXPECT_TRUE(jsonIO::ParseJson(root, document)) << document;
    return root["m"];
}

TEST(GetStringTest, TakesTextByJsonType)
{
    const struct
    {
        const char* document;
        std::string expected;
    } cases[] = {
        {"{}", ""}, // absent: empty, not the fallback
        {R"({"m":null})", ""},
        {R"({"m":"abc"})", "abc"},
        {R"({"m":true})", "true"},
        {R"({"m":5})", "fb"},
        {R"({"m":[1]})", "fb"},
        {R"({"m":{"a":"b"}})", "fb"},
        {"{\"m\":\"\xE9t\xE9\"}", "\xE9t\xE9"}, // ANSI bytes, not UTF-8: kept
    };
    for (const auto& c : cases)
    {
        Json::Value member = MemberOf(c.document);
        EXPECT_EQ(jsonIO::GetString(member, "fb"), c.expected) << c.document;
    }
}

// A text ends at its first NUL, whatever follows it; text with a byte of
// 0x80 or above is kept as it is when it is not UTF-8. The bytes are tested
// eight at a time, so the cases put the NUL and the high byte on either side
// of those steps.
TEST(GetStringTest, EndsTextAtItsFirstNulAndKeepsOtherBytes)
{
    const std::string cases[][2] = {
        {std::string("abcdefgh\0ij", 11), "abcdefgh"},
        {std::string("abcdefg\0", 8), "abcdefg"},
        {std::string("\0abcdefghijklmnop", 17), ""},
        {"abcdefghijklmnopq", "abcdefghijklmnopq"},
        {"abcdefghi\xE9", "abcdefghi\xE9"},
        {std::string("ab\0cd\xE9", 6), "ab"},
        {std::string("abcdefgh\0\xFF", 10), "abcdefgh"},
        {std::string("abcdefghi\xE9\0\xC3\xA9", 13), "abcdefghi\xE9"},
        {"\x80", "\x80"},
        {"", ""},
    };
    for (const auto& c : cases)
    {
        Json::Value member(c[0].data(), c[0].data() + c[0].size());
        EXPECT_EQ(jsonIO::GetString(member, "fb"), c[1]) << c[0].size();
    }
}

TEST(ReadIntOrTextTest, ReadsNumbersBooleansAndText)
{
    const struct
    {
        const char* document;
        int expected;
    } cases[] = {
        {"{}", 0},
        {R"({"m":true})", 1},
        {R"({"m":3.9})", 3},
        {R"({"m":-3.9})", -3},
        {R"({"m":2147483647})", INT_MAX},
        {R"({"m":-2147483648})", INT_MIN},
        {R"({"m":2147483648})", 99}, // beyond int: read as text, which is empty
        {R"({"m":2147483647.5})", 99},
        {R"({"m":[1]})", 99},
        {R"({"m":"123abc"})", 123},
        {R"({"m":" -7"})", -7},
        {R"({"m":"\t+12"})", 12},
        {R"({"m":"abc"})", 0},
        {R"({"m":""})", 99},
        {R"({"m":"2147483648"})", INT_MAX}, // long digit strings saturate
        {R"({"m":"-2147483649"})", INT_MIN},
        {R"({"m":"000000000000000000000000000042"})", 42},
        {R"({"m":"99999999999999999999999999999999"})", INT_MAX},
    };
    for (const auto& c : cases)
    {
        Json::Value member = MemberOf(c.document);
        EXPECT_EQ(jsonIO::ReadIntOrText(member, 99), c.expected) << c.document;
    }
}

TEST(SetStringTest, StoresBytesAsGivenAndNumbersAsText)
{
    Json::Value root;
    jsonIO::SetString(root["s"], "\xE9t\xE9");
    jsonIO::SetAsText(root["n"], static_cast<std::int64_t>(5000000000LL));
    EXPECT_EQ(root["s"].asString(), "\xE9t\xE9");
    ASSERT_TRUE(root["n"].isString());
    EXPECT_EQ(root["n"].asString(), "5000000000");
    EXPECT_EQ(jsonIO::ReadIntOrText(root["n"], 0), INT_MAX);
}

} // namespace
