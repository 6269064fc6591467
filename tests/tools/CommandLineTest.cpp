// The option parser the command-line programs share.
#include <CommandLine.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

const std::vector<cli::COption> kOptions = {{"state", "FILE", 0}, {"force", nullptr, 0}, {"level", "N", 'l'}};

struct CParsed
{
    bool ok = false;
    cli::CCommandLine line{"tool", "tool [OPTIONS] ARGS"};
};

void Parse(CParsed& parsed, std::vector<std::string> words)
{
    words.insert(words.begin(), "tool");
    std::vector<const char*> argv;
    argv.reserve(words.size());
    for (const std::string& word : words)
        argv.push_back(word.c_str());
    parsed.ok = parsed.line.Parse(static_cast<int>(argv.size()), argv.data(), kOptions);
}

} // namespace

TEST(CCommandLineTest, OptionsAnywhereInEitherFormAndDoubleDashEndsThem)
{
    CParsed parsed;
    Parse(parsed, {"first", "--state=a=b", "--force", "-", "--level", "3", "--state", "last", "--", "--force", "-l"});
    ASSERT_TRUE(parsed.ok) << parsed.line.GetError();
    const cli::CCommandLine& line = parsed.line;
    // The value after '=' is taken whole; given twice, the last one counts.
    EXPECT_EQ(line.Value("state"), "last");
    EXPECT_EQ(line.Value("level"), "3");
    EXPECT_EQ(line.Values("state"), (std::vector<std::string>{"a=b", "last"}));
    EXPECT_TRUE(line.Values("force").empty());
    EXPECT_TRUE(line.Has("force"));
    EXPECT_FALSE(line.Has("help"));
    EXPECT_EQ(line.GetGiven(), (std::vector<std::string>{"state", "force", "level", "state"}));
    EXPECT_EQ(line.GetArguments(), (std::vector<std::string>{"first", "-", "--force", "-l"}));

    // The one-letter form, and the options every program knows.
    Parse(parsed, {"-l", "7", "-h", "--version"});
    ASSERT_TRUE(parsed.ok) << parsed.line.GetError();
    EXPECT_EQ(parsed.line.Value("level"), "7");
    EXPECT_TRUE(parsed.line.Has("help"));
    EXPECT_TRUE(parsed.line.Has("version"));
    EXPECT_TRUE(parsed.line.GetArguments().empty()); // nothing left over from the first parse
}

TEST(CCommandLineTest, UsageErrorsSayWhatIsWrong)
{
    const struct
    {
        std::vector<std::string> words;
        const char* error;
    } cases[] = {
        {{"--bogus"}, "unknown option --bogus"},
        {{"--stat", "x"}, "unknown option --stat"}, // no abbreviations
        {{"-x"}, "unknown option -x"},
        {{"--bogus=1"}, "unknown option --bogus"},
        {{"arg", "--state"}, "option --state needs a value (FILE)"},
        {{"--state="}, "option --state needs a value"},
        {{"--force=yes"}, "option --force takes no value"},
    };
    for (const auto& c : cases)
    {
        CParsed parsed;
        Parse(parsed, c.words);
        EXPECT_FALSE(parsed.ok) << c.words[0];
        EXPECT_EQ(parsed.line.GetError().rfind(c.error, 0), 0u) << parsed.line.GetError();
    }
}
