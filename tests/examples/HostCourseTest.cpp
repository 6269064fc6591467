// The demo's update course, end to end: the host program keeps the sample
// catalog's product up to date against the reference version center, and the
// state file is checked after every step. The steps are those the demo script
// walks (examples/host/course.txt): the product is published signed, and the
// course trusts the publisher's key.
#include "support/CScratchDir.h"
#include "support/ChildProcess.h"
#include "support/Files.h"
#include "support/HostUnderTest.h"
#include "support/SampleProduct.h"

#include "json/jsonIO.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace testsupport;

namespace
{

std::string Replace(std::string text, const std::string& from, const std::string& to)
{
    for (std::string::size_type at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::vector<std::string> Words(const std::string& text)
{
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::istringstream in(text);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string PatchNumbers(const Json::Value& list)
{
    std::string text;
    for (const Json::Value& patch : list["patchs"])
        text += (text.empty() ? "" : ",") + patch["patch_number"].asString();
    return text;
}

std::vector<std::string> Entries(const std::string& dir)
{
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str()))
    {
        while (dirent* e = ::readdir(d))
            if (e->d_name[0] != '.')
                names.push_back(e->d_name);
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

class HostCourseTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_dir = m_scratch.Path().string();
        m_state = m_dir + "/editor.state";

        // The sample product published from its release folders, signed
        // with a key made here, and served with its download tree, as the
        // demo does. The names of the keys' folder and the tree start with a
        // dot, so the checks of what the host leaves here pass them by.
        const std::string keys = m_dir + "/.keys";
        std::filesystem::create_directories(keys);
        m_publicKey = keys + "/editor.pub";
        const CRunResult made = RunProgram(VESK_VERSION_CENTER_PATH,
                                           {"keygen", "--secret", keys + "/editor.key", "--public", m_publicKey});
        ASSERT_EQ(made.status, 0) << made.output;
        const testsupport::CPublishedSample sample = testsupport::PublishSampleProduct(
            VESK_VERSION_CENTER_PATH, m_dir, ".downloads", keys + "/editor.key");
        ASSERT_EQ(sample.publish.status, 0) << sample.publish.output;
        m_server.reset(new CBackgroundProgram(
            VESK_VERSION_CENTER_PATH, {"--listen", "127.0.0.1:0", "--files", sample.downloads, sample.catalog}));
        std::string line;
        ASSERT_TRUE(m_server->ReadLine(line, 30)) << "the version center did not start";
        std::string::size_type at = line.find(" at http://");
        ASSERT_NE(at, std::string::npos) << line;
        m_center = line.substr(at + 4);
    }

    void TearDown() override
    {
        if (m_server)
        {
            EXPECT_EQ(m_server->Stop(), 0) << "the version center did not stop cleanly";
        }
    }

    CRunResult Host(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"--state", m_state});
        if (m_trusted)
            args.insert(args.begin(), {"--trust", m_publicKey});
        return RunProgram(HostProgram(VESK_HOST_PATH), args);
    }

    std::string Expand(const std::string& text) const
    {
        return Replace(Replace(text, "{center}", m_center), "{dir}", m_dir);
    }

    // Checks one "expect" line against the state file.
    void ExpectState(const std::string& step, const std::string& expectations)
    {
        const std::string text = ReadFile(m_state);
        Json::Value root;
        ASSERT_TRUE(jsonIO::ParseJson(root, text.c_str())) << step << "\n" << text;
        ASSERT_TRUE(root.isObject()) << step;
        const Json::Value& local = root["local"];
        // The local state always carries the updater's product name.
        EXPECT_EQ(local["product_ame"], root["porduct_name"]) << step;
        for (const std::string& item : Words(expectations))
        {
            std::string::size_type equals = item.find('=');
            ASSERT_NE(equals, std::string::npos) << step << ": " << item;
            const std::string key = item.substr(0, equals);
            const std::string want = item.substr(equals + 1);
            std::string got;
            if (key == "product")
                got = root["porduct_name"].asString();
            else if (key == "center")
                got = root["version_center"].asString();
            else if (key == "version")
                got = local["version"]["v"].asString();
            else if (key == "installed")
                got = PatchNumbers(local["installed_patchs"]);
            else if (key == "downloaded")
                got = PatchNumbers(local["downloaded_patchs"]);
            else
                FAIL() << "unknown expectation " << key;
            EXPECT_EQ(got, want) << "step \"" << step << "\": " << key;
        }
    }

    // One error line; a wrong command line adds one usage line.
    static void ExpectOneError(const std::string& output)
    {
        const std::vector<std::string> lines = Lines(output);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines[0].rfind("vesk-host: error: ", 0), 0u) << output;
        EXPECT_LE(lines.size(), 2u) << output;
        if (lines.size() == 2)
        {
            EXPECT_EQ(lines[1].rfind("usage: vesk-host ", 0), 0u) << output;
        }
    }

    CScratchDir m_scratch{"vesk-course"};
    std::unique_ptr<CBackgroundProgram> m_server;
    std::string m_dir;
    std::string m_state;
    std::string m_center;
    std::string m_publicKey;
    bool m_trusted = false; // the host runs with --trust m_publicKey
};

} // namespace

TEST_F(HostCourseTest, WholeUpdateCourse)
{
    std::ifstream course(VESK_COURSE_FILE);
    ASSERT_TRUE(course.good()) << VESK_COURSE_FILE;
    m_trusted = true;

    std::string step;
    CRunResult last;
    std::string stateBefore;
    int steps = 0;
    for (std::string line; std::getline(course, line);)
    {
        line = Expand(line);
        const std::string kind = line.substr(0, line.find(' '));
        const std::string rest = line.size() > kind.size() ? line.substr(kind.size() + 1) : "";
        if (kind == "step")
        {
            step = rest;
            ++steps;
        }
        else if (kind == "run" || kind == "fail")
        {
            std::vector<std::string> args = Words(rest);
            int wanted = 0;
            if (kind == "fail")
            {
                wanted = std::atoi(args.front().c_str());
                args.erase(args.begin());
                stateBefore = ReadFile(m_state);
            }
            last = Host(args);
            EXPECT_EQ(last.status, wanted) << "step \"" << step << "\": vesk-host " << rest << "\n" << last.output;
            if (kind == "fail")
            {
                // A failed command leaves the state file exactly as it was,
                // and says what went wrong in one line.
                EXPECT_EQ(ReadFile(m_state), stateBefore) << step << ": " << rest;
                ExpectOneError(last.output);
            }
        }
        else if (kind == "says")
        {
            EXPECT_NE(last.output.find(rest), std::string::npos)
                << "step \"" << step << "\": output lacks \"" << rest << "\":\n"
                << last.output;
        }
        else if (kind == "expect")
        {
            ExpectState(step, rest);
        }
    }
    EXPECT_GE(steps, 10);
    // Atomic replacement leaves no temporary files behind; beside the state
    // is the newest snapshot sequence seen.
    EXPECT_EQ(Entries(m_dir),
              (std::vector<std::string>{"Editor", "catalog.json", "editor.state", "editor.state.sequence"}));
}

// A state file that is not a configuration document is reported, with what
// is wrong with it, and left exactly as it is, whatever command runs.
TEST_F(HostCourseTest, DamagedStateFileIsLeftUntouched)
{
    const struct
    {
        std::string text;
        const char* says;
    } damaged[] = {
        {"", "is empty"},
        {"{\"porduct_name\": \"Editor\",\n \"local\": {", "line 2, column 12: Missing '}'"},
        {"{\"porduct_name\": \"Edi", "cut short"},
        {"\xEF\xBB\xBF{\"porduct_name\": \"Editor\"}", "byte-order mark"},
        {"[1, 2, 3]", "holds an array, not a JSON object"},
        {"null", "holds null, not a JSON object"},
        {std::string("{\"porduct_name\": \"Ed\0itor\"}", 27), "NUL byte at offset 20"},
    };
    for (const auto& file : damaged)
    {
        WriteFile(m_state, file.text);
        for (const char* command : {"state", "downloaded", "installed", "check"})
        {
            std::vector<std::string> args{command};
            if (args[0] == "downloaded" || args[0] == "installed")
                args.push_back("P-1001");
            CRunResult result = Host(args);
            EXPECT_EQ(result.status, 1) << command << " on " << file.text;
            EXPECT_NE(result.output.find(file.says), std::string::npos) << result.output;
            EXPECT_NE(result.output.find("left untouched"), std::string::npos) << result.output;
            EXPECT_EQ(ReadFile(m_state), file.text) << command;
        }
    }
}

// The library reads a member of the wrong JSON type as if it were absent.
// The host notices that the state it loaded lacks what the file records,
// names the member, and keeps the file rather than save the loss.
TEST_F(HostCourseTest, StateTheLibraryDidNotTakeInWholeIsRefused)
{
    const std::string version = "{\"v\": \"1.2\"}";
    const std::string installed = "{\"patchs\": [{\"patch_number\": \"P-1101\", \"title\": \"Translations\"}]}";
    const std::string downloaded = "{\"patchs\": [{\"patch_number\": \"P-1001\"}, {\"patch_number\": \"P-1101\"}]}";
    const std::string good = "{\"porduct_name\": \"Editor\", \"version_center\": \"" + m_center +
                             "\",\n \"local\": {\"version\": " + version + ",\n  \"installed_patchs\": " + installed +
                             ",\n  \"downloaded_patchs\": " + downloaded + "}}";
    WriteFile(m_state, good);
    CRunResult accepted = Host({"state"});
    ASSERT_EQ(accepted.status, 0) << accepted.output;
    EXPECT_NE(accepted.output.find("installed version   1.2.0.0"), std::string::npos) << accepted.output;
    EXPECT_NE(accepted.output.find("downloaded patches  P-1001, P-1101"), std::string::npos) << accepted.output;

    const struct
    {
        std::string from;
        std::string to;
        const char* member;
    } damages[] = {
        {version, "\"1.2.0.0\"", "local.version holds \"1.2.0.0\""},
        {version, "{\"v\": 1.2}", "local.version.v holds 1.2 (a number)"},
        {installed, "[{\"patch_number\": \"P-1101\"}]", "local.installed_patchs holds [{"},
        {downloaded, "{\"patchs\": {\"patch_number\": \"P-1001\"}}", "local.downloaded_patchs.patchs holds {"},
    };
    for (const auto& damage : damages)
    {
        const std::string text = Replace(good, damage.from, damage.to);
        ASSERT_NE(text, good);
        WriteFile(m_state, text);
        CRunResult result = Host({"downloaded", "P-1201"});
        EXPECT_EQ(result.status, 1) << result.output;
        EXPECT_NE(result.output.find(damage.member), std::string::npos) << result.output;
        EXPECT_NE(result.output.find("left untouched"), std::string::npos) << result.output;
        EXPECT_EQ(ReadFile(m_state), text);
    }
}

// When the new state cannot be written (here: files may grow to 64 bytes
// only, as on a full disk), the command fails and the old state file stays as
// it was, with no temporary file left behind.
TEST_F(HostCourseTest, FailedWriteKeepsTheOldState)
{
    ASSERT_EQ(Host({"init", "Editor", m_center, "--installed", "1.0"}).status, 0);
    const std::string before = ReadFile(m_state);
    ASSERT_GT(before.size(), 64u);

    // The limit and the ignored SIGXFSZ pass to the host; write then fails
    // with EFBIG instead of killing it.
    rlimit old;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 64;
    void (*oldHandler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const CRunResult results[] = {Host({"downloaded", "P-1001"}), Host({"installed", "P-1001"})};
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    for (const CRunResult& result : results)
    {
        EXPECT_EQ(result.status, 1) << result.output;
        EXPECT_NE(result.output.find("previous state file is unchanged"), std::string::npos) << result.output;
        // Nothing is reported as done that was not saved.
        EXPECT_EQ(result.output.find("atch P-1001"), std::string::npos) << result.output;
    }
    EXPECT_EQ(ReadFile(m_state), before);
    EXPECT_EQ(Entries(m_dir), (std::vector<std::string>{"catalog.json", "editor.state"}));
}

// A write killed before its rename leaves its new file behind; the next
// successful save removes those of processes that no longer run, and only
// those.
TEST_F(HostCourseTest, SaveRemovesNewFilesOfKilledWrites)
{
    ASSERT_EQ(Host({"init", "Editor", m_center, "--installed", "1.0"}).status, 0);
    const pid_t gone = ::fork();
    ASSERT_GE(gone, 0);
    if (gone == 0)
        ::_exit(0);
    ASSERT_EQ(::waitpid(gone, nullptr, 0), gone);
    const std::string dead = "editor.state.new-" + std::to_string(gone);
    const std::string running = "editor.state.new-" + std::to_string(::getpid());
    for (const std::string& name : {dead, running, std::string("editor.state.new-x"), std::string("other.new-1")})
        WriteFile(m_dir + "/" + name, "{\"porduct_name\": \"Ed");

    CRunResult result = Host({"downloaded", "P-1001"});
    EXPECT_EQ(result.status, 0) << result.output;
    std::vector<std::string> left{"catalog.json", "editor.state", "editor.state.new-x", running, "other.new-1"};
    std::sort(left.begin(), left.end());
    EXPECT_EQ(Entries(m_dir), left);
}

TEST_F(HostCourseTest, HelpAndBadArguments)
{
    CRunResult help = Host({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.output.rfind("usage: vesk-host", 0), 0u) << help.output;
    CRunResult version = Host({"state", "--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.output.rfind("vesk-host (VeskUpdate) ", 0), 0u) << version.output;

    // "--" ends the options: "--raw" is then one argument too many.
    const std::vector<std::vector<std::string>> bad = {{},
                                                       {"frobnicate"},
                                                       {"versions", "extra"},
                                                       {"init", "Editor"},
                                                       {"state", "--force"},
                                                       {"--bogus", "state"},
                                                       {"init", "Editor", m_center, "--installed"},
                                                       {"state", "--", "--raw"},
                                                       {"--state=", "state"},
                                                       {"apply-version", "1.0", m_dir + "/x", "--jobs", "0"},
                                                       {"apply-version", "1.0", m_dir + "/x", "--jobs", "65"},
                                                       {"apply-version", "1.0", m_dir + "/x", "--jobs", "two"},
                                                       {"versions", "--jobs", "2"}};
    for (const auto& args : bad)
    {
        CRunResult result = Host(args);
        EXPECT_EQ(result.status, 2) << result.output;
        EXPECT_EQ(Lines(result.output).size(), 2u) << result.output;
        ExpectOneError(result.output);
    }
    // No command reached a state file.
    EXPECT_EQ(Entries(m_dir), std::vector<std::string>{"catalog.json"});
}

TEST_F(HostCourseTest, MissingStateFileSaysHowToStart)
{
    CRunResult result = Host({"check"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.output.find("vesk-host init"), std::string::npos) << result.output;
}
