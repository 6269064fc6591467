// The sample plug-ins against a hostile package or a tampered install
// directory: what is planted there must not carry a write or a read outside
// it, and a refused package leaves the directory and everything outside it
// exactly as they were.
#include "PluginDoubles.h"

#include "support/CScratchDir.h"
#include "support/CTestHttpServer.h"
#include "support/Files.h"
#include "support/Owners.h"
#ifndef _WIN32
#  include "support/TestTls.h"
#endif

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

using namespace kvrUpdate;
using namespace testsupport;
using namespace plugintest;
namespace fs = std::filesystem;

namespace
{

// Every entry below `root`, links not followed: its kind and its bytes (a
// file's content, a link's target).
std::map<std::string, std::string> Tree(const fs::path& root)
{
    std::map<std::string, std::string> tree;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it)
    {
        const std::string name = it->path().lexically_relative(root).generic_string();
        if (it->is_symlink())
            tree[name] = "link " + fs::read_symlink(it->path()).string();
        else if (it->is_directory())
            tree[name] = "folder";
        else
            tree[name] = "file " + ReadFile(it->path());
    }
    return tree;
}

// Whether this system lets the test make symbolic links (Windows allows it
// to administrators and in developer mode only).
// Keeps the lines a plug-in reports.
class CContext final : public IExecutionContext
{
public:
    const char* GetSetting(const char*) const override { return nullptr; }
    void OnProgress(long long, long long, int, int) override {}
    void OnReport(const char* line) override { m_lines += std::string(line) + "\n"; }
    std::string m_lines;
};

const std::string kGood = "good bytes\n";
const std::string kHostile = "hostile bytes\n";

class PluginAttackTest : public CLoadedPluginsTest
{
protected:
    void SetUp() override
    {
        ServeFiles(m_server.Server(), {{"good.txt", kGood}, {"hostile.txt", kHostile}});
        m_server.Start();
        ASSERT_NO_FATAL_FAILURE(LoadPlugins());
        ASSERT_TRUE(m_executor->IsType(kContextAware));
    }

    bool Execute(const IUpdatePackage& package, CFailures& failures, CContext& context)
    {
        return static_cast<IContextUpdateExecutor*>(m_executor.get())
            ->ExecuteWith(&package, m_install.string().c_str(), &failures, &context);
    }

    CTestHttpServer m_server;
    CScratchDir m_temp{"vesk-attack"};
    fs::path m_install = m_temp / "install";
    fs::path m_outside = m_temp / "outside";
};

TEST_F(PluginAttackTest, ExecutorLeavesEverythingAsItWas)
{
    // An https server that sends every request on to the http one, where
    // this system lets the test trust its own authority.
    std::unique_ptr<CTestHttpServer> https;
    std::string noHttps;
#ifndef _WIN32
    CTestCertificates made;
    if (MakeTestCertificates(m_temp / "tls", made, noHttps) && TrustOnlyAuthority(made.authority, noHttps))
    {
        https = std::make_unique<CTestHttpServer>(made.good.certificate.string(), made.good.key.string());
        https->Server().Get(R"(/files/(.+))", [this](const httplib::Request& request, httplib::Response& response) {
            response.set_redirect(m_server.Url("/files/" + request.matches[1].str()), 302);
        });
        https->Start();
    }
#else
    noHttps = "the test trusts its own authority on Linux only";
#endif
    const struct
    {
        const char* what;
        bool links; // needs symbolic links
        // Plants what the attack needs in the install directory.
        std::function<void(const fs::path& install, const fs::path& outside)> plant;
        CFakeFileDef file;
        const char* error; // part of the line the plug-in reports
    } cases[] = {
        {"a folder linked to one outside", true,
         [](const fs::path& install, const fs::path& outside) {
             fs::create_directory_symlink(outside / "folder", install / "sub");
         },
         DefOf("good.txt", kGood, "sub/target.txt"), "sub is a symbolic link"},
        {"a deeper folder linked to one outside", true,
         [](const fs::path& install, const fs::path& outside) {
             fs::create_directories(install / "a");
             fs::create_directory_symlink(outside / "folder", install / "a" / "b");
         },
         DefOf("good.txt", kGood, "a/b/c/new.txt"), "a/b is a symbolic link"},
        {"a planted .part link", true,
         [](const fs::path& install, const fs::path& outside) {
             fs::create_symlink(outside / "target.txt", install / "new.txt.part");
         },
         CFakeFileDef("hostile.txt", Md5Of(kGood), static_cast<long long>(kHostile.size()), "new.txt"), "MD5"},
        {"a file url for a file outside", false, [](const fs::path&, const fs::path&) {},
         DefOf("file://" + (m_outside / "target.txt").string(), "outside\n", "copied.txt"), "only http and https"},
        {"an https download redirected to http", false, [](const fs::path&, const fs::path&) {},
         DefOf(https ? https->Url("/files/good.txt") : "", kGood, "redirected.txt"), "redirect from https to http"},
        {"more than the volume holds", false, [](const fs::path&, const fs::path&) {},
         CFakeFileDef("good.txt", Md5Of(kGood), 1LL << 60, "huge.bin"), "not enough free space"},
    };
    const bool links = CanLink(m_temp / "probe");
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        if (c.links && !links)
        {
            std::printf("not run here, this system makes no symbolic links: %s\n", c.what);
            continue;
        }
        if (*c.file.GetUrl() == '\0')
        {
            std::printf("not run here, %s: %s\n", noHttps.c_str(), c.what);
            continue;
        }
        fs::remove_all(m_install);
        fs::remove_all(m_outside);
        WriteFile(m_install / "kept.txt", "installed before\n");
        WriteFile(m_outside / "target.txt", "outside\n");
        WriteFile(m_outside / "folder" / "target.txt", "outside\n");
        c.plant(m_install, m_outside);
        const auto install = Tree(m_install);
        const auto outside = Tree(m_outside);
        m_server.ClearTargets();

        CFakePackage package(m_server.Url("/files/"), CFakeFileDef("", "", 0), {c.file});
        CFailures failures;
        CContext context;
        EXPECT_FALSE(Execute(package, failures, context));
        EXPECT_EQ(std::set<std::string>{c.file.GetName()}, failures.m_names);
        EXPECT_NE(std::string::npos, context.m_lines.find(c.error)) << context.m_lines;
        EXPECT_EQ(install, Tree(m_install));
        EXPECT_EQ(outside, Tree(m_outside));
        // The redirect was not followed to plain http, the huge file was
        // not fetched at all.
        if (c.file.GetLength() > (1LL << 40) || std::string(c.file.GetUrl()).rfind("https:", 0) == 0)
        {
            EXPECT_TRUE(m_server.Targets().empty());
        }
    }
}

TEST_F(PluginAttackTest, CheckerDoesNotFollowLinks)
{
    if (!CanLink(m_temp / "probe"))
        GTEST_SKIP() << "this system makes no symbolic links";
    // Each link leads to bytes that would match, outside the install.
    WriteFile(m_outside / "a.txt", kGood);
    WriteFile(m_outside / "folder" / "b.txt", kGood);
    WriteFile(m_install / "c.txt", kGood);
    fs::create_symlink(m_outside / "a.txt", m_install / "a.txt");
    fs::create_directory_symlink(m_outside / "folder", m_install / "folder");

    CFakeFileDefList files({DefOf("x", kGood, "a.txt"), DefOf("x", kGood, "folder/b.txt"), DefOf("x", kGood, "c.txt")});
    CFailures failures;
    EXPECT_FALSE(m_checker->CheckFiles(&files, m_install.string().c_str(), &failures));
    EXPECT_EQ((std::set<std::string>{"a.txt", "folder/b.txt"}), failures.m_names);
}

TEST_F(PluginAttackTest, ALinkInPlaceOfAFileIsReplacedNotWrittenThrough)
{
    if (!CanLink(m_temp / "probe"))
        GTEST_SKIP() << "this system makes no symbolic links";
    // The link itself gives way to the downloaded file; its target is untouched.
    WriteFile(m_outside / "target.txt", "outside\n");
    fs::create_directories(m_install);
    fs::create_symlink(m_outside / "target.txt", m_install / "good.txt");
    CFakePackage package(m_server.Url("/files/"), DefOf("good.txt", kGood), {});
    CFailures failures;
    CContext context;
    EXPECT_TRUE(Execute(package, failures, context)) << context.m_lines;
    EXPECT_FALSE(fs::is_symlink(m_install / "good.txt"));
    EXPECT_EQ(kGood, ReadFile(m_install / "good.txt"));
    EXPECT_EQ("outside\n", ReadFile(m_outside / "target.txt"));
}

} // namespace
