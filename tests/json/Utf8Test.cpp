#include "json/jsonIO.h"
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <memory>

#if defined(_WIN32)
#  include <windows.h>
#endif

namespace
{

// The pattern test lets overlong forms, surrogates and values beyond U+10FFFF
// pass; the well-formed test, which decides whether text is taken as it is,
// must not.
TEST(IsUtf8Test, FollowsTheBytePatternsAndTellsWellFormedText)
{
    const struct
    {
        std::string bytes;
        bool utf8;
        bool wellFormed;
    } cases[] = {
        {"", true, true},
        {"plain ascii\x7F", true, true},
        {"\xC3\xA9", true, true},
        {"\xF0\x9F\x98\x80", true, true},
        {"\xEF\xBF\xBD\xF4\x8F\xBF\xBF", true, true}, // U+FFFD, U+10FFFF
        {"\xC0\x80", true, false},                    // overlong forms
        {"\xE0\x9F\xBF", true, false},
        {"\xF0\x8F\xBF\xBF", true, false},
        {"\xED\xA0\x80", true, false},     // a surrogate
        {"\xF4\x90\x80\x80", true, false}, // beyond U+10FFFF
        {"\xF7\xBF\xBF\xBF", true, false},
        {"\xC3", false, false},
        {"\xE2\x82", false, false},
        {"\x80", false, false},
        {"\xF8\x80\x80\x80", false, false},
        {"\xE9t\xE9", false, false},
        {"\xC3\xA9\xC3", false, false},
    };
    for (const auto& c : cases)
    {
        const char* begin = c.bytes.data();
        EXPECT_EQ(jsonIO::IsUtf8(begin, static_cast<int>(c.bytes.size())), c.utf8) << c.bytes;
        EXPECT_EQ(jsonIO::IsWellFormedUtf8(begin, begin + c.bytes.size()), c.wellFormed) << c.bytes;
    }
}

TEST(IsUtf8Test, NeverReadsPastTheLength)
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

TEST(MultiByteToWideTest, DecodesUtf8AndReplacesIllFormedSequences)
{
    const struct
    {
        const char* text;
        std::u16string expected;
    } cases[] = {
        {"a\xC3\xA9", u"a\u00E9"},
        {"\xE2\x82\xAC", u"\u20AC"},
        {"\xF0\x9F\x98\x80", u"\U0001F600"},
        {"\xC0\xAF", u"\uFFFD\uFFFD"}, // overlong '/'
        {"\xE2\x82z", u"\uFFFDz"},
        {"\xE9t\xE9", u"\uFFFDt\uFFFD"},
        {"\xE9", u"\uFFFD"}, // cut short right before the end
        {"ab\0cd", u"ab"},
        {"", u""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::MultiByteToWide(platform::kCodePageUtf8, c.text), c.expected) << c.text;

    // How many replacements a sequence gets is the system's choice on
    // Windows (wine gives one fewer than the maximal-subpart rule here).
    const struct
    {
        const char* text;
        std::u16string expected;
    } replaced[] = {
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"}, // encoded surrogate
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
    };
    for (const auto& c : replaced)
    {
        const std::u16string wide = platform::MultiByteToWide(platform::kCodePageUtf8, c.text);
#if defined(_WIN32)
        EXPECT_FALSE(wide.empty()) << c.text;
        EXPECT_EQ(wide.find_first_not_of(u'\uFFFD'), std::u16string::npos) << c.text;
#else
        EXPECT_EQ(wide, c.expected) << c.text;
#endif
    }
}

// Runs the test body with LC_CTYPE set to the given locale, restoring it after.
// Windows has one ANSI code page for the whole system, whatever the C
// library's locale (wine's is 1252): there a locale is "used" when it names
// that code page.
class Utf8ToAnsiTest : public ::testing::Test
{
protected:
#if defined(_WIN32)
    static bool Use(const char* name)
    {
        return std::strcmp(name, "en_US.CP1252") == 0 && GetACP() == 1252;
    }
#else
    static bool Use(const char* name)
    {
        return std::setlocale(LC_CTYPE, name) != nullptr;
    }
#endif
    void SetUp() override
    {
        m_saved = std::setlocale(LC_CTYPE, nullptr);
    }
    void TearDown() override
    {
        std::setlocale(LC_CTYPE, m_saved.c_str());
    }

    static std::string Read(const char* document)
    {
        Json::Value root;
        EXPECT_TRUE(jsonIO::ParseJson(root, document)) << document;
        return jsonIO::GetString(root["m"], "fb");
    }

private:
    std::string m_saved;
};

TEST_F(Utf8ToAnsiTest, Cp1252ReceivesUtf8TextConverted)
{
    if (!Use("en_US.CP1252"))
        GTEST_SKIP() << "locale en_US.CP1252 is not installed";
    EXPECT_EQ(Read(R"({"m":"\u00e9t\u00e9"})"), "\xE9t\xE9");
    EXPECT_EQ(Read("{\"m\":\"\xE9t\xE9\"}"), "\xE9t\xE9"); // already ANSI
    EXPECT_EQ(Read(R"({"m":"\u20ac 5"})"), "\x80 5");
    EXPECT_EQ(Read(R"({"m":"a\u0101b"})"), "a?b");              // not in CP1252, no look-alike
    EXPECT_EQ(Read(R"({"m":"..\uff3c..\uff0fx"})"), "..?..?x"); // full-width backslash and slash become no separators
#if defined(_WIN32)
    EXPECT_EQ(Read(R"({"m":"\ud83d\ude00!"})"), "?\?!"); // one '?' per UTF-16 unit
#else
    EXPECT_EQ(Read(R"({"m":"\ud83d\ude00!"})"), "?!"); // one '?' per character
#endif
    EXPECT_EQ(Read(R"({"m":"plain"})"), "plain");
    EXPECT_EQ(jsonIO::Utf8ToAnsi("\xC3\xA9\xE2\x82\xAD\xC3\xA9"), "\xE9?\xE9");
}

TEST_F(Utf8ToAnsiTest, CLocalePassesUtf8Through)
{
#if defined(_WIN32)
    GTEST_SKIP() << "Windows has no C locale for the ANSI code page: text always goes to the system's code page";
#endif
    ASSERT_TRUE(Use("C"));
    EXPECT_EQ(Read(R"({"m":"\u00e9t\u20ac"})"), "\xC3\xA9t\xE2\x82\xAC");
    EXPECT_EQ(Read("{\"m\":\"\xE9t\xE9\"}"), "\xE9t\xE9");
    // Ill-formed text that passes the pattern test is not passed on as is.
    EXPECT_EQ(jsonIO::Utf8ToAnsi("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD");
}

} // namespace
