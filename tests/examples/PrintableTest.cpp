// The demo host's escaping of texts from the version center before they
// reach a terminal.
#include "Printable.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

TEST(PrintableTest, EscapesWhatControlsATerminal)
{
    const struct
    {
        const char* what;
        std::string text;
        std::string shown;
    } cases[] = {
        {"plain text", "Editor 1.1 \"fix\" \\ 100%", "Editor 1.1 \"fix\" \\ 100%"},
        {"UTF-8 letters and symbols", "Schl\xC3\xBCssel \xE2\x82\xAC \xF0\x9F\x94\x91",
         "Schl\xC3\xBCssel \xE2\x82\xAC \xF0\x9F\x94\x91"},
        {"a colour sequence", "\x1B[31mred\x1B[0m", "\\e[31mred\\e[0m"},
        {"a window title", "\x1B]0;pwned\x07", "\\e]0;pwned\\a"},
        {"forged lines", "ok\r\nStatus          up to date\n", "ok\\r\\nStatus          up to date\\n"},
        {"tab, NUL-free C0 and DEL", "a\tb\x01\x1F\x7F", "a\\tb\\x01\\x1f\\x7f"},
        {"C1 controls as UTF-8 (CSI, NEL)",
         "x\xC2\x9B"
         "2Jy\xC2\x85",
         "x\\u009b2Jy\\u0085"},
        {"C1 bytes on their own",
         "x\x9B"
         "2J\x90",
         "x\\x9b2J\\x90"},
        {"text reordered on screen",
         "abc\xE2\x80\xAE"
         "cba\xE2\x81\xA6",
         "abc\\u202ecba\\u2066"},
        {"a stray continuation byte", "a\x80z", "a\\x80z"},
        {"an overlong ESC", "\xC0\x9B", "\\xc0\\x9b"},
        {"a surrogate", "\xED\xA0\x80", "\\xed\\xa0\\x80"},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},
        {"a sequence cut short at the end", "end\xE2\x82", "end\\xe2\\x82"},
        {"empty", "", ""},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.shown, Printable(c.text));
        EXPECT_EQ(c.shown, Printable(c.text.c_str()));
    }
    EXPECT_EQ("", Printable(static_cast<const char*>(nullptr)));
    // Kept line breaks, for a text the host prints as a whole.
    EXPECT_EQ("one\n\\e[2Jtwo\\r\n", PrintableLines("one\n\x1B[2Jtwo\r\n"));
}

} // namespace
