#include "model/CVersion.h"

#include "json/jsonIO.h"

#include <gtest/gtest.h>

namespace
{

using kvrUpdate::CVersion;
using kvrUpdate::IVersion;

CVersion Parsed(const char* text)
{
    CVersion version;
    EXPECT_TRUE(version.FromString(text));
    return version;
}

TEST(CVersionTest, ParsesLenientlyAndFormatsFourParts)
{
    const struct
    {
        const char* text;
        const char* formatted;
    } cases[] = {
        {"1.2.3.4", "1.2.3.4"},
        {"01.002.0003.4", "1.2.3.4"},
        {"1.2.3.4.5", "1.2.3.4"},
        {"1.2", "1.2.0.0"},
        {"", "0.0.0.0"},
        {"...", "0.0.0.0"},
        {"1..2", "1.2.0.0"},
        {" 7 ", "7.0.0.0"},
        {"a9b", "9.0.0.0"},
        {"-1", "1.0.0.0"},
        {"2.0 beta 3", "2.0.3.0"},
        {"1\xB2"
         "3",
         "1.3.0.0"}, // bytes above 0x7F are separators
        {"4294967295.4294967295.4294967295.4294967295", "4294967295.4294967295.4294967295.4294967295"},
        {"4294967296", "0.0.0.0"}, // parts wrap modulo 2^32
        {"4294967297.99999999999", "1.1215752191.0.0"},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(Parsed(c.text).ToString(), c.formatted) << c.text;
    EXPECT_STREQ(CVersion().ToString(), "0.0.0.0");
}

TEST(CVersionTest, ComparesPartsAsUnsignedNumbers)
{
    const struct
    {
        const char* left;
        const char* right;
        int expected;
    } cases[] = {
        {"1.10", "1.9", 1},
        {"2", "10", -1},
        {"1.2.3.4", "1.2.3.4", 0},
        {"4294967295", "1", 1},
        {"0.0.0.4294967295", "0.0.1", -1},
    };
    for (const auto& c : cases)
    {
        const CVersion left = Parsed(c.left);
        const CVersion right = Parsed(c.right);
        EXPECT_EQ(left.Compare(&right), c.expected) << c.left << " vs " << c.right;
        EXPECT_EQ(right.Compare(&left), -c.expected) << c.right << " vs " << c.left;
    }
    const CVersion version = Parsed("1.2.3.4");
    EXPECT_EQ(version.GetPart(0), 1u);
    EXPECT_EQ(version.GetPart(3), 4u);
    EXPECT_EQ(version.GetPart(-1), 0u);
    EXPECT_EQ(version.GetPart(4), 0u);
}

TEST(CVersionTest, CopiesAndClonesIndependently)
{
    CVersion source = Parsed("3.4.5.6");
    IVersion* clone = source.Clone();
    EXPECT_EQ(clone->Compare(&source), 0);
    clone->FromString("9");
    EXPECT_STREQ(source.ToString(), "3.4.5.6");
    const IVersion& asInterface = source;
    CVersion copy(asInterface);
    EXPECT_EQ(copy.Compare(clone), -1);
    clone->Release();
    copy = Parsed("7.7");
    CVersion& same = copy;
    copy = same; // assigning a version to itself keeps it
    EXPECT_STREQ(copy.ToString(), "7.7.0.0");
}

TEST(CVersionTest, ReadsAndWritesTheObjectForm)
{
    const struct
    {
        const char* document;
        const char* formatted;
    } cases[] = {
        {R"({"v":"3.1"})", "3.1.0.0"},   {"{}", "0.0.0.0"}, {R"({"v":null})", "0.0.0.0"}, {R"({"v":5})", "0.0.0.0"},
        {R"({"v":{"x":1}})", "0.0.0.0"},
    };
    for (const auto& c : cases)
    {
        Json::Value value;
        ASSERT_TRUE(jsonIO::ParseJson(value, c.document));
        CVersion version = Parsed("8.8.8.8");
        EXPECT_TRUE(jsonIO::TryReadJson(value, version)) << c.document;
        EXPECT_STREQ(version.ToString(), c.formatted) << c.document;
    }

    Json::Value bare("3.1");
    CVersion untouched = Parsed("8.8");
    EXPECT_FALSE(jsonIO::TryReadJson(bare, untouched));
    EXPECT_STREQ(untouched.ToString(), "8.8.0.0");

    Json::Value written;
    jsonIO::WriteJson(written, Parsed("3.1"));
    std::string text;
    ASSERT_TRUE(jsonIO::FormatJson(written, text));
    EXPECT_EQ(text, "{\n\t\"v\" : \"3.1.0.0\"\n}\n");
}

} // namespace
