// Applies killed at random moments: the real host applying a version of a
// few hundred files through the download plug-in, from the reference
// version center, is killed with SIGKILL (a fixed seed draws when); the
// next run of the host, a verify, first finishes the interrupted swap, and
// the directory must then hold exactly the old version's files or exactly
// the new one's (a staging area with partial downloads may stay beside the
// old ones), as the verify says. Then a normal run applies the new version,
// which must leave exactly its files and nothing else. The counts are
// printed; mixed directories must be 0.
//
// VESK_CRASH_APPLIES sets the number of killed applies (200 by default, 40
// in the sanitizer builds). The host and its plug-in may be another build's
// (support/HostUnderTest.h): the Windows ones run through wine, whose
// process keeps the id of the script that starts it, so the kill reaches it.
#include "support/CScratchDir.h"
#include "support/ChildProcess.h"
#include "support/Files.h"
#include "support/HostUnderTest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;
using testsupport::CBackgroundProgram;
using testsupport::CRunResult;
using testsupport::RunProgram;

namespace
{

using CTree = std::map<std::string, std::string>;

const char kStaging[] = ".vesk-staging";

CTree Snapshot(const fs::path& root, bool withStaging)
{
    CTree tree;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it)
    {
        const std::string name = fs::relative(it->path(), root).generic_string();
        if (!withStaging && name.rfind(kStaging, 0) == 0)
            continue;
        if (it->is_regular_file() && !it->is_symlink())
            tree[name] = testsupport::ReadFile(it->path());
        else if (!it->is_directory())
            tree[name] = "(not a file)";
    }
    return tree;
}

// Release 1.0: `count` files in a few folders; 2.0 changes one in five and
// adds a tenth more, some in folders 1.0 does not have.
void WriteReleases(const fs::path& releases, int count, CTree& older, CTree& newer)
{
    std::mt19937 random(20261209);
    const auto bytes = [&random](std::size_t size) {
        std::string text(size, '\0');
        for (char& c : text)
            c = static_cast<char>(random());
        return text;
    };
    for (int i = 0; i < count; ++i)
    {
        const std::string name = "d" + std::to_string(i % 12) + "/f" + std::to_string(i) + ".bin";
        older[name] = bytes(512 + random() % 3072);
        newer[name] = i % 5 == 0 ? bytes(512 + random() % 3072) : older[name];
    }
    for (int i = 0; i < count / 10; ++i)
        newer["added" + std::to_string(i % 3) + "/n" + std::to_string(i) + ".bin"] = bytes(1024);
    for (const auto& file : older)
        testsupport::WriteFile(releases / "1.0" / file.first, file.second);
    for (const auto& file : newer)
        testsupport::WriteFile(releases / "2.0" / file.first, file.second);
}

// Makes `dir` a copy of the release folder `release`, by hard links: an
// apply never writes into a file in place, it only renames and creates.
void Install(const fs::path& dir, const fs::path& release)
{
    fs::remove_all(dir);
    fs::copy(release, dir, fs::copy_options::recursive | fs::copy_options::create_hard_links);
}

// Runs the program, output discarded, and kills it with SIGKILL after
// `delay` unless it ended before. True when it was killed.
bool RunAndKill(const std::vector<std::string>& args, std::chrono::microseconds delay)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        throw std::runtime_error("cannot start " + args[0]);
    const auto end = std::chrono::steady_clock::now() + delay;
    int status = 0;
    while (std::chrono::steady_clock::now() < end)
    {
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

class CrashApplyTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        WriteReleases(m_scratch / "releases", 300, m_older, m_newer);
        const CRunResult publish = RunProgram(
            VESK_VERSION_CENTER_PATH,
            {"publish", "--product", "Crash", "--releases", (m_scratch / "releases").string(), "--out",
             (m_scratch / "downloads").string(), "--catalog", (m_scratch / "catalog.json").string()});
        ASSERT_EQ(publish.status, 0) << publish.output;
        m_center = std::make_unique<CBackgroundProgram>(
            VESK_VERSION_CENTER_PATH,
            std::vector<std::string>{"--listen", "127.0.0.1:0", "--files", (m_scratch / "downloads").string(),
                                     (m_scratch / "catalog.json").string()});
        std::string line;
        ASSERT_TRUE(m_center->ReadLine(line, 30)) << "the version center did not start";
        const std::string::size_type at = line.find(" at http://");
        ASSERT_NE(at, std::string::npos) << line;
        const CRunResult init = Host(
            {"--state", State(), "init", "Crash", line.substr(at + 4), "--installed", "1.0.0.0"});
        ASSERT_EQ(init.status, 0) << init.output;
    }

    static CRunResult Host(const std::vector<std::string>& args)
    {
        return RunProgram(testsupport::HostProgram(VESK_HOST_PATH), args);
    }

    CRunResult RunApply() const
    {
        const std::vector<std::string> args = Apply();
        return RunProgram(args[0], std::vector<std::string>(args.begin() + 1, args.end()));
    }

    std::string State() const { return (m_scratch / "host.state").string(); }

    // `command` VERSION on the install directory, with the host's plug-in.
    std::vector<std::string> Command(const std::string& command, const std::string& version) const
    {
        return {"--state",
                State(),
                command,
                version,
                (m_scratch / "install").string(),
                "--executor",
                testsupport::HostExecutor(VESK_DOWNLOAD_EXECUTOR)};
    }

    std::vector<std::string> Apply() const
    {
        std::vector<std::string> args = Command("apply-version", "2.0");
        args.insert(args.begin(), testsupport::HostProgram(VESK_HOST_PATH));
        return args;
    }

    testsupport::CScratchDir m_scratch{"vesk-crash"};
    CTree m_older;
    CTree m_newer;
    std::unique_ptr<CBackgroundProgram> m_center;
};

TEST_F(CrashApplyTest, KilledAppliesNeverLeaveAMixedDirectory)
{
    const char* setting = std::getenv("VESK_CRASH_APPLIES");
#ifndef VESK_CRASH_APPLIES_DEFAULT
#  define VESK_CRASH_APPLIES_DEFAULT 200
#endif
    const int applies = setting != nullptr && std::atoi(setting) > 0 ? std::atoi(setting) : VESK_CRASH_APPLIES_DEFAULT;
    const fs::path install = m_scratch / "install";

    // How long a whole apply takes here, the shortest of a few after a first
    // one: the kills are drawn over that.
    std::chrono::microseconds took = std::chrono::microseconds::max();
    for (int i = 0; i < 4; ++i)
    {
        Install(install, m_scratch / "releases" / "1.0");
        const auto start = std::chrono::steady_clock::now();
        const CRunResult whole = RunApply();
        const auto end = std::chrono::steady_clock::now();
        ASSERT_EQ(whole.status, 0) << whole.output;
        ASSERT_EQ(Snapshot(install, true), m_newer);
        if (i > 0)
            took = std::min(took, std::chrono::duration_cast<std::chrono::microseconds>(end - start));
    }
    std::printf("a whole apply takes %.2f s here\n", static_cast<double>(took.count()) / 1e6);

    std::mt19937 random(424242);
    // Half the kills anywhere, half near the end, where the swap runs.
    std::uniform_int_distribution<long long> anywhere(0, took.count());
    std::uniform_int_distribution<long long> late(took.count() * 6 / 10, took.count());
    int killed = 0, midSwap = 0, oldAfter = 0, newAfter = 0, mixed = 0, unclean = 0;
    for (int i = 0; i < applies; ++i)
    {
        SCOPED_TRACE("apply " + std::to_string(i));
        Install(install, m_scratch / "releases" / "1.0");
        killed += RunAndKill(Apply(), std::chrono::microseconds(i % 2 == 0 ? anywhere(random) : late(random))) ? 1 : 0;
        midSwap += fs::exists(install / kStaging / "journal") ? 1 : 0;

        // The next run starts by finishing what was cut short; what it then
        // checks is the new version or not.
        const CRunResult verified = Host(Command("verify", "2.0"));
        const bool journalLeft = fs::exists(install / kStaging / "journal");
        if (Snapshot(install, true) == m_newer)
        {
            ++newAfter;
            EXPECT_EQ(verified.status, 0) << verified.output;
        }
        else if (Snapshot(install, false) == m_older && !journalLeft)
        {
            ++oldAfter;
            EXPECT_EQ(verified.status, 1) << verified.output;
        }
        else
            ++mixed;

        // A normal run completes the update and leaves nothing else.
        const CRunResult normal = RunApply();
        EXPECT_EQ(normal.status, 0) << normal.output;
        if (Snapshot(install, true) != m_newer)
            ++unclean;
    }
    std::printf("killed applies: %d of %d (the others ended before the kill); killed during the swap: %d\n"
                "after recovery: %d old version, %d new version, %d mixed; after the normal run: %d not exactly "
                "the new version\n",
                killed, applies, midSwap, oldAfter, newAfter, mixed, unclean);
    EXPECT_EQ(mixed, 0);
    EXPECT_EQ(unclean, 0);
    EXPECT_GT(killed, applies / 10);
}

// A cut-short swap the plug-in refuses to finish (its journal names a file
// outside the directory) stops the host's commands on the directory before
// they do anything else, with one error line.
TEST_F(CrashApplyTest, ASwapThatCannotBeFinishedStopsTheHost)
{
    const fs::path install = m_scratch / "install";
    Install(install, m_scratch / "releases" / "1.0");
    testsupport::WriteFile(install / kStaging / "journal",
                           "vesk-swap-journal 1\nremove\t../escaped\t.vesk-staging/backup/0\nend\n");
    const CTree before = Snapshot(install, true);
    for (const char* command : {"verify", "apply-version"})
    {
        SCOPED_TRACE(command);
        const CRunResult result = Host(Command(command, "2.0"));
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.output.rfind("vesk-host: error: " + install.string() + ": ", 0), 0u) << result.output;
        EXPECT_NE(result.output.find("cannot be finished"), std::string::npos) << result.output;
        EXPECT_EQ(result.output.find('\n'), result.output.size() - 1) << result.output;
        EXPECT_EQ(Snapshot(install, true), before);
    }
}

} // namespace
