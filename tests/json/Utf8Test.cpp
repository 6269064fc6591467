#include "json/jsonIO.h"
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <memory>

namespace
{

TEST(IsUtf8, FollowsTheBytePatterns)
{
    const struct { std::string bytes; bool utf8; } cases[] = {
        {"", true},
        {"plain ascii\x7F", true},
        {"\xC3\xA9", true},
        {"\xF0\x9F\x98\x80", true},
        {"\xC0\x80", true},         // overlong forms pass
        {"\xF7\xBF\xBF\xBF", true}, // beyond U+10FFFF passes
        {"\xC3", false},
        {"\xE2\x82", false},
        {"\x80", false},
        {"\xF8\x80\x80\x80", false},
        {"\xE9t\xE9", false},
        {"\xC3\xA9\xC3", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(jsonIO::IsUtf8(c.bytes.data(), static_cast<int>(c.bytes.size())), c.utf8) << c.bytes;
}

TEST(IsUtf8, NeverReadsPastTheLength)
{
    // Exactly sized heap blocks: the sanitizer build catches any over-read.
    for (const char lead : {'\xC3', '\xE2', '\xF0'})
    {
        std::unique_ptr<char[]> block(new char[1]{lead});
        EXPECT_FALSE(jsonIO::IsUtf8(block.get(), 1));
    }
    const char withTail[] = "\xC3\xA9";
    EXPECT_FALSE(jsonIO::IsUtf8(withTail, 1));
}

TEST(MultiByteToWide, DecodesUtf8AndReplacesIllFormedSequences)
{
    const struct { const char* text; std::u16string expected; } cases[] = {
        {"a\xC3\xA9", u"a\u00E9"},
        {"\xE2\x82\xAC", u"\u20AC"},
        {"\xF0\x9F\x98\x80", u"\U0001F600"},
        {"\xC0\xAF", u"\uFFFD\uFFFD"},           // overlong '/'
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"}, // encoded surrogate
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"\xE2\x82z", u"\uFFFDz"},
        {"\xE9t\xE9", u"\uFFFDt\uFFFD"},
        {"ab\0cd", u"ab"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::MultiByteToWide(platform::kCodePageUtf8, c.text), c.expected) << c.text;
}

// Runs the test body with LC_CTYPE set to the given locale, restoring it after.
class InLocale : public ::testing::Test
{
protected:
    static bool Use(const char* name) { return std::setlocale(LC_CTYPE, name) != nullptr; }
    void SetUp() override { m_saved = std::setlocale(LC_CTYPE, nullptr); }
    void TearDown() override { std::setlocale(LC_CTYPE, m_saved.c_str()); }

    static std::string Read(const char* document)
    {
        Json::Value root;
        EXPECT_TRUE(jsonIO::ParseJson(root, document)) << document;
        return jsonIO::GetString(root["m"], "fb");
    }

private:
    std::string m_saved;
};

TEST_F(InLocale, Cp1252ReceivesUtf8TextConverted)
{
    if (!Use("en_US.CP1252"))
        GTEST_SKIP() << "locale en_US.CP1252 is not installed";
    EXPECT_EQ(Read(R"({"m":"\u00e9t\u00e9"})"), "\xE9t\xE9");
    EXPECT_EQ(Read("{\"m\":\"\xE9t\xE9\"}"), "\xE9t\xE9"); // already ANSI
    EXPECT_EQ(Read(R"({"m":"\u20ac 5"})"), "\x80 5");
    EXPECT_EQ(Read(R"({"m":"a\u0101b"})"), "a?b");             // not in CP1252
    EXPECT_EQ(Read(R"({"m":"\ud83d\ude00!"})"), "?!");          // one '?' per character
    EXPECT_EQ(Read(R"({"m":"plain"})"), "plain");
    EXPECT_EQ(jsonIO::Utf8ToAnsi("\xC3\xA9\xE2\x82\xAD\xC3\xA9"), "\xE9?\xE9");
}

TEST_F(InLocale, CLocalePassesUtf8Through)
{
    ASSERT_TRUE(Use("C"));
    EXPECT_EQ(Read(R"({"m":"\u00e9t\u20ac"})"), "\xC3\xA9t\xE2\x82\xAC");
    EXPECT_EQ(Read("{\"m\":\"\xE9t\xE9\"}"), "\xE9t\xE9");
    // Ill-formed text that passes the pattern test is not passed on as is.
    EXPECT_EQ(jsonIO::Utf8ToAnsi("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD");
}

} // namespace
