// The library's version query against the reference version center, in
// process, and the version-center program itself.
#include "support/CScratchDir.h"
#include "support/CTestHttpServer.h"
#include "support/ChildProcess.h"
#include "support/Files.h"
#include "support/Owners.h"

#include "catalog/CCatalog.h"
#include "serving/CVersionCenter.h"

#include <VeskUpdate.h>

#include <gtest/gtest.h>
#include <json/json.h>

#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

using namespace testsupport;

namespace
{

const char* const kCatalog = R"({
  "products": {
    "Editor": {
      "situation": {"last": "1.10", "must": "1.0", "max": "2.0", "will": "2.1"},
      "versions": {
        "2.0": {"package": {"base_url": "http://dl.test/2.0/", "direct_type": "zip",
                            "direct_file": {"url": "http://dl.test/editor-2.0.zip", "md5": "d41d8cd9", "length": 1048576}}},
        "1.9": {},
        "1.10": {"file_check": {"url": "http://dl.test/1.10/files.json", "type": "md5list"}},
        "1.0": {}
      },
      "patches": [
        {"number": "P-1", "title": "Crash fix", "comment": "Fixes the crash on start", "apply": ["1.0"], "result": "1.9",
         "type": "bug", "force": "must",
         "package": {"base_url": "http://dl.test/p1/", "direct_type": "exe",
                     "direct_file": {"url": "http://dl.test/p1/setup.exe", "length": "4096"},
                     "resource": [{"url": "http://dl.test/p1/a.dll", "md5": "aa", "path": "bin/a.dll", "length": 10},
                                  {"url": "http://dl.test/p1/big.pak", "length": "5000000000"}]}},
        {"number": "P-2", "apply": ["1.9"], "result": "1.10", "dependon": "P-1"},
        {"number": "P-3", "apply": ["1.10"], "result": "2.0", "type": "function"},
        {"number": "P-4", "apply": ["1.0"], "result": "1.10", "force": "recommend"}
      ]
    },
    "Viewer": {"versions": {"3.0": {}}}
  }
})";

std::vector<std::string> VersionTexts(const kvrUpdate::IVersionList* list)
{
    std::vector<std::string> texts;
    for (int i = 0; list && i < list->GetCount(); ++i)
        texts.push_back(list->GetAt(i)->ToString());
    return texts;
}

std::vector<std::string> PatchNumbers(const kvrUpdate::IPatchList* list)
{
    std::vector<std::string> numbers;
    for (int i = 0; list && i < list->GetCount(); ++i)
        numbers.push_back(list->GetAt(i)->GetPatchNumber());
    return numbers;
}

using Texts = std::vector<std::string>;

class CVersionCenterTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        versionCenter::CCatalog catalog;
        std::string error;
        ASSERT_TRUE(catalog.LoadText(kCatalog, "test catalog", error)) << error;
        m_center.reset(new versionCenter::CVersionCenter(std::move(catalog)));
        m_center->Mount(m_server.Server());
        m_server.Start();
        m_query = kvrUpdate::CreateVersionQuery();
        m_query->SetVersionCenter(m_server.Url("/").c_str());
        m_query->SetProduct("Editor");
    }

    void TearDown() override
    {
        if (m_query)
            m_query->Release();
    }

    std::unique_ptr<versionCenter::CVersionCenter> m_center;
    CTestHttpServer m_server;
    kvrUpdate::IVersionQuery* m_query = nullptr;
};

TEST_F(CVersionCenterTest, QueryAnswersEveryOperation)
{
    ASSERT_NE(m_query->GetLastVersion(), nullptr);
    EXPECT_STREQ(m_query->GetLastVersion()->ToString(), "1.10.0.0");
    EXPECT_STREQ(m_query->GetMustVersion()->ToString(), "1.0.0.0");
    EXPECT_STREQ(m_query->GetMaxVersion()->ToString(), "2.0.0.0");
    EXPECT_STREQ(m_query->GetWillVersion()->ToString(), "2.1.0.0");

    EXPECT_EQ(VersionTexts(m_query->GetVersions()), (Texts{"1.0.0.0", "1.9.0.0", "1.10.0.0", "2.0.0.0"}));
    EXPECT_EQ(VersionTexts(m_query->GetVersionEvolution("1.0", "1.10")), (Texts{"1.9.0.0", "1.10.0.0"}));
    const kvrUpdate::IVersionList* none = m_query->GetVersionEvolution("2", "1");
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(none->GetCount(), 0);

    const kvrUpdate::IPatchList* patchs = m_query->GetPatchs("1");
    EXPECT_EQ(PatchNumbers(patchs), (Texts{"P-1", "P-4"}));
    const kvrUpdate::IPatch* first = patchs->GetAt(0);
    EXPECT_STREQ(first->GetTitle(), "Crash fix");
    EXPECT_STREQ(first->GetComment(), "Fixes the crash on start");
    EXPECT_EQ(VersionTexts(first->GetApplyVersions()), Texts{"1.0.0.0"});
    EXPECT_STREQ(first->GetResultVersion()->ToString(), "1.9.0.0");
    EXPECT_EQ(first->GetPatchType(), 1);
    EXPECT_EQ(first->GetPatchForce(), 3);
    EXPECT_EQ(patchs->GetAt(1)->GetPatchType(), 8);  // default "version"
    EXPECT_EQ(patchs->GetAt(1)->GetPatchForce(), 2); // "recommend"
    EXPECT_STREQ(PatchNumbers(m_query->GetPatchs("1.9"))[0].c_str(), "P-2");
    EXPECT_STREQ(m_query->GetPatchs("1.9")->GetAt(0)->GetDependOn(), "P-1");

    // The shortest chain: the shortcut P-4, then P-3.
    EXPECT_EQ(PatchNumbers(m_query->GetPatchEvolution("1.0", "2.0")), (Texts{"P-4", "P-3"}));
    EXPECT_EQ(PatchNumbers(m_query->GetPatchEvolution("1.9", "2.0")), (Texts{"P-2", "P-3"}));

    const kvrUpdate::IUpdatePackage* package = m_query->GetPatchPackage("P-1");
    ASSERT_NE(package, nullptr);
    EXPECT_STREQ(package->GetBaseUrl(), "http://dl.test/p1/");
    EXPECT_STREQ(package->GetDirectType(), "exe");
    EXPECT_STREQ(package->GetDirectFile()->GetName(), "setup.exe");
    EXPECT_EQ(package->GetDirectFile()->GetLength(), 4096);
    ASSERT_EQ(package->GetResource()->GetCount(), 2);
    EXPECT_STREQ(package->GetResource()->GetAt(0)->GetName(), "bin/a.dll");
    EXPECT_STREQ(package->GetResource()->GetAt(0)->GetMd5(), "aa");
    EXPECT_EQ(package->GetResource()->GetAt(1)->GetLength(), 5000000000LL);

    const kvrUpdate::IUpdatePackage* full = m_query->GetVersionPackage("2");
    ASSERT_NE(full, nullptr);
    EXPECT_STREQ(full->GetDirectFile()->GetUrl(), "http://dl.test/editor-2.0.zip");
    EXPECT_EQ(full->GetDirectFile()->GetLength(), 1048576);
    EXPECT_EQ(full->GetResource()->GetCount(), 0);

    const kvrUpdate::IFileCheckerDef* check = m_query->GetFileCheckDef("1.10");
    ASSERT_NE(check, nullptr);
    EXPECT_STREQ(check->GetUrl(), "http://dl.test/1.10/files.json");
    EXPECT_STREQ(check->GetType(), "md5list");
}

TEST_F(CVersionCenterTest, UnknownThingsGiveNull)
{
    EXPECT_EQ(m_query->GetPatchs("1.5"), nullptr); // unknown version
    EXPECT_EQ(m_query->GetVersionEvolution("1.0", "9"), nullptr);
    EXPECT_EQ(m_query->GetPatchPackage("P-9"), nullptr);   // unknown patch
    EXPECT_EQ(m_query->GetPatchPackage("P-2"), nullptr);   // patch without package
    EXPECT_EQ(m_query->GetVersionPackage("1.0"), nullptr); // version without package
    EXPECT_EQ(m_query->GetFileCheckDef("2.0"), nullptr);
    EXPECT_EQ(m_query->GetPatchEvolution("2.0", "1.0")->GetCount(), 0); // no chain backwards
    EXPECT_EQ(m_query->GetPatchEvolution("1.0", "1.0")->GetCount(), 0);

    m_query->SetProduct("Nobody");
    EXPECT_EQ(m_query->GetLastVersion(), nullptr);
    EXPECT_EQ(m_query->GetVersions(), nullptr);

    // A product is served apart from the others.
    m_query->SetProduct("Viewer");
    EXPECT_EQ(VersionTexts(m_query->GetVersions()), Texts{"3.0.0.0"});
    EXPECT_STREQ(m_query->GetLastVersion()->ToString(), "3.0.0.0");
    EXPECT_EQ(m_query->GetPatchs("3.0")->GetCount(), 0);
}

TEST(CVersionCenterAnswerTest, RoutesAndStatuses)
{
    versionCenter::CCatalog catalog;
    std::string error;
    ASSERT_TRUE(catalog.LoadText(kCatalog, "test catalog", error)) << error;
    const versionCenter::CVersionCenter center(std::move(catalog), "/vc");
    struct
    {
        const char* path;
        std::multimap<std::string, std::string> query;
        int status;
    } const cases[] = {
        {"/vc/Editor/versions", {}, 200},
        {"/Editor/versions", {}, 404}, // outside the base path
        {"/vc/", {}, 404},
        {"/vc/Editor", {}, 404},
        {"/vc/Editor/unknown", {}, 404},
        {"/vc/Editor/patchs", {}, 400}, // version missing
        {"/vc/Editor/patchs", {{"version", "1.0.0.0"}}, 200},
        {"/vc/Editor/versions/evolution", {{"version_from", "1"}}, 400},
        {"/vc/Editor/patchs/evolution/1.0", {}, 404},
        {"/vc/Editor/patchs/evolution/1.0/2.0/3.0", {}, 404},
        {"/vc/Editor/versions/1.10/FileCheckDef", {}, 200},
        {"/vc/Editor/versions/1.10/filecheckdef", {}, 404}, // paths are exact
        {"/vc/Editor/versions/x/package", {}, 404},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.path);
        const versionCenter::CAnswer answer = center.Answer(c.path, c.query);
        EXPECT_EQ(answer.status, c.status) << answer.body;
        if (c.status != 200)
        {
            Json::Value body;
            ASSERT_TRUE(Json::Reader().parse(answer.body, body));
            EXPECT_TRUE(body["error"].isString());
        }
    }
}

TEST(CVersionCenterAnswerTest, CompletesAddressesRelativeToTheDownloadTree)
{
    versionCenter::CCatalog catalog;
    std::string error;
    ASSERT_TRUE(catalog.LoadText(R"({"products": {"E": {"versions": {"1": {
        "package": {"base_url": "E/1.0.0.0/", "direct_file": {"url": ""},
                    "resource": [{"url": "E/1.0.0.0/a%20b.txt"}, {"url": "https://cdn.test/x.bin"}]},
        "file_check": {"url": "E/filecheck/1.0.0.0.json"}}}}}})",
                                 "test catalog", error))
        << error;
    EXPECT_TRUE(catalog.HasTreeRelativeUrls());
    const versionCenter::CVersionCenter center(std::move(catalog), "/", "http://127.0.0.1:9/files");
    Json::Value package;
    ASSERT_TRUE(Json::Reader().parse(center.Answer("/E/versions/1/package", {}).body, package));
    EXPECT_EQ(package["base_url"], "http://127.0.0.1:9/files/E/1.0.0.0/");
    EXPECT_EQ(package["direct_file"]["url"], ""); // no file stays no file
    EXPECT_EQ(package["resource"]["files"][0]["url"], "http://127.0.0.1:9/files/E/1.0.0.0/a%20b.txt");
    EXPECT_EQ(package["resource"]["files"][1]["url"], "https://cdn.test/x.bin");
    EXPECT_NE(center.Answer("/E/versions/1/FileCheckDef", {}).body.find("\"http://127.0.0.1:9/files/E/filecheck/"),
              std::string::npos);
}

// The backlog of the TCP socket listening on 127.0.0.1:`port`, as the kernel
// reports it (the Send-Q that `ss -ltn` shows), or -1.
int ListenBacklog(int port)
{
    const int sock = socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (sock < 0)
        return -1;
    struct
    {
        nlmsghdr header;
        inet_diag_req_v2 request;
    } message{};
    message.header.nlmsg_len = sizeof message;
    message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    message.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    message.request.sdiag_family = AF_INET;
    message.request.sdiag_protocol = IPPROTO_TCP;
    message.request.idiag_states = 1U << TCP_LISTEN;
    int backlog = -1;
    if (send(sock, &message, sizeof message, 0) == static_cast<ssize_t>(sizeof message))
    {
        alignas(nlmsghdr) char buffer[32768];
        bool done = false;
        while (!done)
        {
            const ssize_t got = recv(sock, buffer, sizeof buffer, 0);
            if (got <= 0)
                break;
            unsigned int left = static_cast<unsigned int>(got);
            for (auto* header = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(header, left);
                 header = NLMSG_NEXT(header, left))
            {
                if (header->nlmsg_type == NLMSG_DONE || header->nlmsg_type == NLMSG_ERROR)
                {
                    done = true;
                    break;
                }
                const auto* socketInfo = static_cast<const inet_diag_msg*>(NLMSG_DATA(header));
                if (ntohs(socketInfo->id.idiag_sport) == port && socketInfo->id.idiag_src[0] == htonl(INADDR_LOOPBACK))
                    backlog = static_cast<int>(socketInfo->idiag_wqueue);
            }
        }
    }
    close(sock);
    return backlog;
}

TEST(VersionCenterProgramTest, ServesUntilSignalledAndLogsEachRequest)
{
    CScratchDir scratch("vesk-vc-program");
    const std::string catalogPath = (scratch / "catalog.json").string(), err = (scratch / "vc.err").string();
    WriteFile(catalogPath, kCatalog);
    CBackgroundProgram program(VERSION_CENTER_EXE, {"--listen", "127.0.0.1:0", catalogPath}, err);

    // The address is printed once the port is bound.
    std::string address;
    for (std::string line; address.empty() && program.ReadLine(line, 5);)
    {
        const std::string::size_type at = line.find("http://127.0.0.1:");
        if (at != std::string::npos)
            address = line.substr(at);
    }
    ASSERT_FALSE(address.empty()) << ReadFile(err);
    EXPECT_NE(address, "http://127.0.0.1:0/");

    // Clients that connect at once wait in the listen queue rather than being
    // dropped: the queue is as long as the system allows, not the server
    // library's 5.
    int somaxconn = 0;
    std::ifstream("/proc/sys/net/core/somaxconn") >> somaxconn;
    ASSERT_GT(somaxconn, 5);
    EXPECT_EQ(ListenBacklog(std::stoi(address.substr(std::strlen("http://127.0.0.1:")))),
              std::min(somaxconn, SOMAXCONN));

    TOwnedPtr<kvrUpdate::IVersionQuery> query = Own(kvrUpdate::CreateVersionQuery());
    query->SetVersionCenter(address.c_str());
    query->SetProduct("Editor");
    EXPECT_EQ(VersionTexts(query->GetVersions()).size(), 4u);
    EXPECT_EQ(query->GetPatchPackage("P-9"), nullptr);
    query.reset();

    EXPECT_EQ(program.Stop(), 0);
    const std::string log = ReadFile(err);
    EXPECT_NE(log.find("\"GET /Editor/versions\" 200 "), std::string::npos) << log;
    EXPECT_NE(log.find("\"GET /Editor/patchs/P-9/package\" 404 "), std::string::npos) << log;
}

// SIGHUP rereads the catalog: the new one serves; one that does not load is
// refused with one line and the one before keeps serving.
TEST(VersionCenterProgramTest, ReloadsOnHangupAndKeepsTheOldCatalogWhenTheNewOneIsBroken)
{
    CScratchDir scratch("vesk-vc-reload");
    const std::string catalogPath = (scratch / "catalog.json").string(), err = (scratch / "vc.err").string();
    WriteFile(catalogPath, kCatalog);
    CBackgroundProgram program(VERSION_CENTER_EXE, {"--listen", "127.0.0.1:0", catalogPath}, err);
    std::string line;
    ASSERT_TRUE(program.ReadLine(line, 5));
    TOwnedPtr<kvrUpdate::IVersionQuery> query = Own(kvrUpdate::CreateVersionQuery());
    query->SetVersionCenter(line.substr(line.find("http://")).c_str());
    query->SetProduct("Viewer");
    ASSERT_EQ(VersionTexts(query->GetVersions()), Texts{"3.0.0.0"});

    // The lines about reloading so far.
    const auto reloads = [&] {
        std::vector<std::string> lines;
        const std::string log = ReadFile(err);
        for (std::string::size_type at = log.find("version-center: reload"); at != std::string::npos;
             at = log.find("version-center: reload", at + 1))
            lines.push_back(log.substr(at, log.find('\n', at) - at));
        return lines;
    };
    struct
    {
        const char* catalog;
        const char* logged; // the line's beginning
        Texts versions;     // Viewer's versions afterwards
    } const steps[] = {
        {R"({"products": {"Viewer": {"versions": {"3.0": {}, "3.1": {}}}}})",
         "version-center: reloaded 1 product from ", Texts{"3.0.0.0", "3.1.0.0"}},
        {R"({"products": {"Viewer": {"versions": {"3.2": {}}, "patchs": []}}})",
         "version-center: reload refused, still serving the previous catalog: ", Texts{"3.0.0.0", "3.1.0.0"}},
    };
    std::size_t count = 0;
    for (const auto& step : steps)
    {
        SCOPED_TRACE(step.logged);
        WriteFile(catalogPath, step.catalog);
        ASSERT_EQ(::kill(static_cast<pid_t>(program.ProcessId()), SIGHUP), 0);
        ++count;
        for (int i = 0; i < 500 && reloads().size() < count; ++i)
            usleep(10000);
        const std::vector<std::string> lines = reloads();
        ASSERT_EQ(lines.size(), count) << ReadFile(err);
        EXPECT_EQ(lines.back().rfind(step.logged, 0), 0u) << lines.back();
        EXPECT_EQ(VersionTexts(query->GetVersions()), step.versions);
    }
    EXPECT_EQ(program.Stop(), 0);
}

TEST(VersionCenterProgramTest, CatalogThatDoesNotLoadEndsTheProgram)
{
    CScratchDir scratch("vesk-vc-program");
    const std::string catalogPath = (scratch / "broken.json").string(), err = (scratch / "vc.err").string();
    WriteFile(catalogPath, R"({"products": {"E": {"versions": {"1": {}}, "patchs": []}}})");
    CBackgroundProgram program(VERSION_CENTER_EXE, {"--listen", "127.0.0.1:0", catalogPath}, err);
    EXPECT_EQ(program.Wait(), 3);
    EXPECT_EQ(ReadFile(err), "version-center: error: " + catalogPath +
                                 ": products.E: unknown member \"patchs\" (known: "
                                 "situation, versions, patches)\n");
}

// Each command reads its words by the project's convention: a wrong line is
// one error and the command's usage line, with status 2.
TEST(VersionCenterProgramTest, CommandLinesFollowTheSharedConvention)
{
    struct
    {
        std::vector<std::string> args;
        int status;
        const char* output; // its beginning
    } const cases[] = {
        {{"--version"}, 0, "version-center (VeskUpdate) "},
        {{"export", "--version"}, 0, "version-center (VeskUpdate) "},
        {{"--bogus", "cat.json"}, 2, "version-center: error: unknown option --bogus\nusage: version-center [--listen"},
        {{"--listen=127.0.0.1:65536", "cat.json"}, 2, "version-center: error: --listen wants HOST:PORT"},
        {{"publish", "--product=Editor", "--releases", "r", "--out", "o"},
         2,
         "version-center: error: publish needs --catalog\nusage: version-center publish --product"},
        {{"publish", "--product=Editor", "stray", "--releases", "r", "--out", "o", "--catalog", "c"},
         2,
         "version-center: error: publish takes options only, not 'stray'\nusage: version-center publish"},
        {{"keygen", "--secret", "s.key"},
         2,
         "version-center: error: keygen needs --public\nusage: version-center keygen"},
        {{"keygen", "s.key", "--secret", "s.key", "--public", "s.pub"},
         2,
         "version-center: error: keygen takes options only, not 's.key'\nusage: version-center keygen"},
        {{"export", "cat.json"},
         2,
         "version-center: error: export takes a catalog and a folder\nusage: version-center export"},
        {{"--", "--nonexistent.json"}, 3, "version-center: error: --nonexistent.json: cannot be opened"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.args.front());
        const CRunResult result = RunProgram(VERSION_CENTER_EXE, c.args);
        EXPECT_EQ(result.status, c.status) << result.output;
        EXPECT_EQ(result.output.rfind(c.output, 0), 0u) << result.output;
        EXPECT_EQ(std::count(result.output.begin(), result.output.end(), '\n'), c.status == 2 ? 2 : 1) << result.output;
    }
}

} // namespace
