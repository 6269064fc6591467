#include "json/jsonIO.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <sstream>

namespace
{

TEST(ParseJsonTest, AcceptsAnyRootAndRejectsBrokenOrTooDeepText)
{
    const struct
    {
        std::string text;
        bool parses;
    } cases[] = {
        {"", false},
        {"{", false},
        {"{\"a\":1,}", false},
        {"{}", true},
        {"[1,2]", true},
        {"5", true},
        {"// note\n{}", true},
        // The reader throws beyond its depth limit; that must read as false.
        {std::string(1000, '[') + "1" + std::string(1000, ']'), false},
        {std::string(100000, '['), false},
        {std::string(900, '[') + std::string(900, ']'), true},
    };
    for (const auto& c : cases)
    {
        Json::Value root;
        EXPECT_EQ(jsonIO::ParseJson(root, c.text.c_str()), c.parses) << c.text.substr(0, 40);
    }
    Json::Value root;
    EXPECT_FALSE(jsonIO::ParseJson(root, nullptr));
}

std::string Styled(const Json::Value& value)
{
    std::ostringstream stream;
    Json::StyledStreamWriter("\t").write(stream, value);
    return stream.str();
}

TEST(FormatJsonTest, MatchesTheStyledLayoutForAsciiDocuments)
{
    Json::Value members;
    members["b"] = "x";
    members["a"] = 1;
    members["nested"]["z"] = true;
    members["nested"]["y"]["deep"] = Json::Value(Json::arrayValue);
    members["empty"] = Json::Value(Json::objectValue);
    members["nul"];
    members["text"] = "quote \" slash \\ / tab \t newline \n";

    Json::Value arrays;
    for (int i = 0; i < 30; ++i)
        arrays["long"].append(i); // too long for one line
    arrays["short"].append(1);
    arrays["short"].append("two");
    arrays["objects"].append(members["nested"]);
    arrays["objects"].append(Json::Value(Json::arrayValue));

    Json::Value numbers(Json::arrayValue);
    numbers.append(0.1);
    numbers.append(3.0);
    numbers.append(-2147483648);
    numbers.append(Json::Value(UINT64_MAX));

    const Json::Value documents[] = {
        members, arrays, numbers, Json::Value("top"), Json::Value(), Json::Value(Json::objectValue)};
    for (const Json::Value& document : documents)
    {
        std::string text;
        ASSERT_TRUE(jsonIO::FormatJson(document, text));
        EXPECT_EQ(text, Styled(document));
    }
}

// The text is written in place in pieces; a document far larger than a piece,
// with texts longer than a piece, comes out whole and replaces what the
// target held.
TEST(FormatJsonTest, WritesLargeDocumentsWholeOverPreviousText)
{
    Json::Value document;
    for (int i = 0; i < 2000; ++i)
    {
        Json::Value& item = document["items"].append(Json::Value());
        item["n"] = i;
        item["text"] = std::string(static_cast<std::size_t>(i % 7 == 0 ? 9000 : i % 50),
                                   static_cast<char>('a' + i % 26));
    }
    std::string text = "previous content";
    ASSERT_TRUE(jsonIO::FormatJson(document, text));
    EXPECT_EQ(text, Styled(document));
    const std::string first = text;
    ASSERT_TRUE(jsonIO::FormatJson(Json::Value("small"), text));
    EXPECT_EQ(text, "\"small\"\n");
    ASSERT_TRUE(jsonIO::FormatJson(document, text));
    EXPECT_EQ(text, first);
}

TEST(FormatJsonTest, EscapesEveryControlByteWithUpperCaseHex)
{
    for (int byte = 0x01; byte <= 0x1F; ++byte)
    {
        const char* shortForms = "\bb\ff\nn\rr\tt";
        const char* shortForm = std::strchr(shortForms, byte);
        const char digits[] = "0123456789ABCDEF";
        const std::string escape = shortForm != nullptr ? std::string("\\") + shortForm[1]
                                                        : std::string("\\u00") + digits[byte >> 4] + digits[byte & 15];
        const std::string value = std::string("a") + static_cast<char>(byte) + "z";
        Json::Value root;
        root[value] = value;
        std::string text;
        ASSERT_TRUE(jsonIO::FormatJson(root, text));
        const std::string quoted = "\"a" + escape + "z\"";
        EXPECT_EQ(text, "{\n\t" + quoted + " : " + quoted + "\n}\n") << byte;

        Json::Value back;
        ASSERT_TRUE(jsonIO::ParseJson(back, text.c_str()));
        EXPECT_EQ(back, root) << byte;
    }
}

TEST(FormatJsonTest, WritesHighBytesUnchangedAndRoundTrips)
{
    std::string high;
    for (int byte = 0x80; byte <= 0xFF; ++byte)
        high += static_cast<char>(byte);

    Json::Value root;
    root["all"] = high;
    root["ansi"] = "\xE9t\xE9";           // the styled writer made this "\u9d29"
    root["lone"] = "a\x80z";              // ... and lost the z here
    root["literal"] = "\\u00ab\\\\u001f"; // backslashes before u are text
    root["nested"]["list"].append(high + "\x01\x1f");
    root["nested"]["list"].append(Json::Value(Json::objectValue));
    root["nested"]["list"][1]["\xE9"] = "\x7F";

    std::string text;
    ASSERT_TRUE(jsonIO::FormatJson(root, text));
    EXPECT_NE(text.find("\"" + high + "\""), std::string::npos);
    EXPECT_NE(text.find("\"\xE9t\xE9\""), std::string::npos);
    EXPECT_NE(text.find("\"\\\\u00ab\\\\\\\\u001f\""), std::string::npos);
    EXPECT_NE(text.find(high + "\\u0001\\u001F"), std::string::npos);

    Json::Value back;
    ASSERT_TRUE(jsonIO::ParseJson(back, text.c_str()));
    EXPECT_EQ(back, root);
    std::string again;
    ASSERT_TRUE(jsonIO::FormatJson(back, again));
    EXPECT_EQ(again, text);
}

} // namespace
