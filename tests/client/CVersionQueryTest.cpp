// The version query against a scripted HTTP server: the exact request of
// every operation, the situation cache, and what failures return.
#include "support/CTestHttpServer.h"
#include "support/Owners.h"

#include "client/CVersionQuery.h"
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace
{

using kvrUpdate::CVersionQuery;
using testsupport::CTestHttpServer;
using testsupport::Own;
using testsupport::TOwnedPtr;
using Targets = std::vector<std::string>;

const char* const kSituation = R"({"last":{"v":"1.2"},"must":{"v":"1.0"},"max":{"v":"1.3"},"will":{"v":"2.0"}})";

class CVersionQueryTest : public ::testing::Test
{
protected:
    struct CScripted
    {
        int status;
        std::string body;
        std::string location;
    };

    void SetUp() override
    {
        // Every path answers what the test scripted for it, else 404.
        m_server.Server().Get(R"(/.*)", [this](const httplib::Request& request, httplib::Response& response) {
            std::lock_guard<std::mutex> guard(m_lock);
            const auto found = m_script.find(request.path);
            if (found == m_script.end())
            {
                response.status = 404;
                return;
            }
            response.status = found->second.status;
            if (!found->second.location.empty())
                response.set_header("Location", found->second.location);
            if (!found->second.body.empty())
                response.set_content(found->second.body, "application/json");
        });
        m_server.Start();
        m_query.SetVersionCenter(m_server.Url("/").c_str());
        m_query.SetProduct("Editor");
    }

    void Script(const std::string& path, int status, const std::string& body, const std::string& location = "")
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_script[path] = CScripted{status, body, location};
    }

    static std::string Versions(const char* v) { return std::string(R"({"versions":[{"v":")") + v + R"("}]})"; }

    CTestHttpServer m_server;
    std::mutex m_lock;
    std::map<std::string, CScripted> m_script;
    CVersionQuery m_query;
};

TEST_F(CVersionQueryTest, EveryOperationRequestsItsExactTarget)
{
    struct
    {
        const char* name;
        std::function<const void*(CVersionQuery&)> call;
        const char* target;
    } const cases[] = {
        {"situation", [](CVersionQuery& q) { return static_cast<const void*>(q.GetLastVersion()); },
         "/Editor/versions/situation"},
        {"versions", [](CVersionQuery& q) { return static_cast<const void*>(q.GetVersions()); }, "/Editor/versions"},
        {"version evolution",
         [](CVersionQuery& q) { return static_cast<const void*>(q.GetVersionEvolution("1.2", "2")); },
         "/Editor/versions/evolution?version_from=1.2.0.0&version_to=2.0.0.0"},
        {"patches", [](CVersionQuery& q) { return static_cast<const void*>(q.GetPatchs("ver3.1.4.1-beta")); },
         "/Editor/patchs?version=3.1.4.1"},
        {"patch evolution",
         [](CVersionQuery& q) { return static_cast<const void*>(q.GetPatchEvolution("1.0", "1.2")); },
         "/Editor/patchs/evolution/1.0.0.0/1.2.0.0"},
        {"patch package", [](CVersionQuery& q) { return static_cast<const void*>(q.GetPatchPackage("P-7.1_a%41")); },
         "/Editor/patchs/P-7.1_a%41/package"},
        {"version package", [](CVersionQuery& q) { return static_cast<const void*>(q.GetVersionPackage("2.1")); },
         "/Editor/versions/2.1.0.0/package"},
        {"version package without digits",
         [](CVersionQuery& q) { return static_cast<const void*>(q.GetVersionPackage("latest")); },
         "/Editor/versions/0.0.0.0/package"},
        {"file check", [](CVersionQuery& q) { return static_cast<const void*>(q.GetFileCheckDef("01.002.3.4.5")); },
         "/Editor/versions/1.2.3.4/FileCheckDef"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        m_server.ClearTargets();
        c.call(m_query);
        EXPECT_EQ(m_server.Targets(), Targets{c.target});
    }
}

TEST_F(CVersionQueryTest, AddressAndProductRunTogether)
{
    Script("/api-Editor/versions", 200, Versions("1.0"));
    m_query.SetVersionCenter(m_server.Url("/api-").c_str());
    ASSERT_NE(m_query.GetVersions(), nullptr);
    EXPECT_EQ(m_server.Targets(), Targets{"/api-Editor/versions"});
}

TEST_F(CVersionQueryTest, FourSituationGettersShareOneRequest)
{
    Script("/Editor/versions/situation", 200, kSituation);
    const kvrUpdate::IVersion* last = m_query.GetLastVersion();
    const kvrUpdate::IVersion* must = m_query.GetMustVersion();
    const kvrUpdate::IVersion* max = m_query.GetMaxVersion();
    const kvrUpdate::IVersion* will = m_query.GetWillVersion();
    ASSERT_TRUE(last && must && max && will);
    EXPECT_STREQ(last->ToString(), "1.2.0.0");
    EXPECT_STREQ(must->ToString(), "1.0.0.0");
    EXPECT_STREQ(max->ToString(), "1.3.0.0");
    EXPECT_STREQ(will->ToString(), "2.0.0.0");
    EXPECT_EQ(m_server.Targets().size(), 1u);
}

TEST_F(CVersionQueryTest, SituationIsFetchedAgainOnlyWhenStale)
{
    Script("/Editor/versions/situation", 200, kSituation);
    Script("/Other/versions/situation", 200, R"({"last":{"v":"9"}})");
    Script("/Other/versions", 200, Versions("9.0"));
    Script("//Editor/versions/situation", 200, kSituation);
    ASSERT_NE(m_query.GetMaxVersion(), nullptr);

    struct
    {
        const char* name;
        std::function<void(CVersionQuery&)> change;
        std::size_t newRequests;
    } const steps[] = {
        {"same product", [](CVersionQuery& q) { q.SetProduct("Editor"); }, 0},
        {"same address", [this](CVersionQuery& q) { q.SetVersionCenter(m_server.Url("/").c_str()); }, 0},
        {"other product", [](CVersionQuery& q) { q.SetProduct("Other"); }, 1},
        {"product back", [](CVersionQuery& q) { q.SetProduct("Editor"); }, 1},
        {"other address", [this](CVersionQuery& q) { q.SetVersionCenter(m_server.Url("//").c_str()); }, 1},
        {"address back", [this](CVersionQuery& q) { q.SetVersionCenter(m_server.Url("/").c_str()); }, 1},
        // FromString changes the configuration but not the cached situation.
        {"from string",
         [this](CVersionQuery& q) {
             const std::string text = R"({"product":"Other","version_center":")" + m_server.Url("/") + R"("})";
             ASSERT_TRUE(q.FromString(text.c_str()));
         },
         0},
    };
    for (const auto& step : steps)
    {
        SCOPED_TRACE(step.name);
        m_server.ClearTargets();
        step.change(m_query);
        EXPECT_NE(m_query.GetLastVersion(), nullptr);
        EXPECT_NE(m_query.GetWillVersion(), nullptr);
        EXPECT_EQ(m_server.Targets().size(), step.newRequests);
    }
    // After FromString the cached situation is still Editor's ...
    EXPECT_STREQ(m_query.GetLastVersion()->ToString(), "1.2.0.0");
    // ... while other requests already go to the new product.
    m_server.ClearTargets();
    ASSERT_NE(m_query.GetVersions(), nullptr);
    EXPECT_EQ(m_server.Targets(), Targets{"/Other/versions"});
}

TEST_F(CVersionQueryTest, FailedSituationFetchIsRetriedByTheNextGetter)
{
    EXPECT_EQ(m_query.GetLastVersion(), nullptr); // 404
    EXPECT_EQ(m_query.GetMustVersion(), nullptr);
    EXPECT_EQ(m_server.Targets().size(), 2u);

    // An answer with only some of the keys is a good answer.
    Script("/Editor/versions/situation", 200, R"({"last":{"v":"3.1"}})");
    ASSERT_NE(m_query.GetMustVersion(), nullptr);
    EXPECT_STREQ(m_query.GetMustVersion()->ToString(), "0.0.0.0");
    EXPECT_STREQ(m_query.GetLastVersion()->ToString(), "3.1.0.0");
    EXPECT_EQ(m_server.Targets().size(), 3u);
}

TEST_F(CVersionQueryTest, BadAnswersGiveNull)
{
    Script("/Editor/status399/versions", 399, Versions("1.0"));
    Script("/Editor/status301/versions", 301, Versions("1.0"));
    Script("/Editor/status204/versions", 204, "");
    Script("/Editor/text/versions", 200, "<html>not JSON</html>");
    Script("/Editor/string/versions", 200, R"({"versions":"1.0"})");
    Script("/Editor/missing/versions", 200, R"({"other":1})");
    Script("/Editor/moved/versions", 302, "", "/Editor/good/versions");
    Script("/Editor/good/versions", 200, Versions("4.5"));
    struct
    {
        const char* product;
        bool answered;
        int count;
    } const cases[] = {
        {"Editor/status404", false, 0}, {"Editor/status399", false, 0}, {"Editor/status301", false, 0},
        {"Editor/status204", false, 0}, {"Editor/text", false, 0},      {"Editor/string", false, 0},
        {"Editor/missing", true, 0},    {"Editor/moved", true, 1},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.product);
        m_query.SetProduct(c.product);
        const kvrUpdate::IVersionList* list = m_query.GetVersions();
        ASSERT_EQ(list != nullptr, c.answered);
        if (list)
        {
            EXPECT_EQ(list->GetCount(), c.count);
        }
    }
    m_query.SetProduct("Editor/good");
    const kvrUpdate::IVersionList* list = m_query.GetVersions();
    ASSERT_NE(list, nullptr);
    EXPECT_STREQ(list->GetAt(0)->ToString(), "4.5.0.0");
    // A failed transfer leaves the member as it was.
    m_query.SetProduct("Editor/status404");
    EXPECT_EQ(m_query.GetVersions(), nullptr);
    ASSERT_EQ(list->GetCount(), 1);
    EXPECT_STREQ(list->GetAt(0)->ToString(), "4.5.0.0");
}

TEST_F(CVersionQueryTest, PatchEvolutionIsNeverNullAndEmptiedOnFailure)
{
    Script("/Editor/patchs/evolution/1.0.0.0/2.0.0.0", 200,
           R"({"patchs":[{"patch_number":"P1"},{"patch_number":"P2"}]})");
    const kvrUpdate::IPatchList* chain = m_query.GetPatchEvolution("1.0", "2.0");
    ASSERT_NE(chain, nullptr);
    ASSERT_EQ(chain->GetCount(), 2);
    EXPECT_STREQ(chain->GetAt(1)->GetPatchNumber(), "P2");

    // 404 from a live server, then a server that is gone.
    EXPECT_EQ(m_query.GetPatchEvolution("1.0", "3.0"), chain);
    EXPECT_EQ(chain->GetCount(), 0);
    ASSERT_EQ(m_query.GetPatchEvolution("1.0", "2.0")->GetCount(), 2);
    m_server.Stop();
    EXPECT_EQ(m_query.GetPatchEvolution("1.0", "2.0"), chain);
    EXPECT_EQ(chain->GetCount(), 0);
    EXPECT_EQ(m_query.GetVersions(), nullptr);
}

TEST_F(CVersionQueryTest, RequestLeavesTheIncomingHeaderColour)
{
    platform::SetConsoleTextAttribute(7);
    m_query.GetVersions();
    EXPECT_EQ(platform::GetConsoleTextAttribute(), 137);
}

TEST(CVersionQueryConfigTest, ToStringAndFromString)
{
    CVersionQuery query;
    query.SetProduct("Editor");
    query.SetVersionCenter("http://127.0.0.1:8080/");
    Json::Value written;
    ASSERT_TRUE(jsonIO::ParseJson(written, query.ToString()));
    EXPECT_EQ(written.getMemberNames(), (std::vector<std::string>{"product", "version_center"}));
    EXPECT_EQ(written["product"].asString(), "Editor");
    EXPECT_EQ(written["version_center"].asString(), "http://127.0.0.1:8080/");

    CVersionQuery copy;
    ASSERT_TRUE(copy.FromString(query.ToString()));
    EXPECT_STREQ(copy.GetProduct(), "Editor");
    EXPECT_STREQ(copy.ToString(), query.ToString());

    // Text that is not JSON, or whose root is not an object, changes nothing.
    for (const char* bad : {"", "{", "[1,2]", "\"Editor\"", "42"})
    {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(copy.FromString(bad));
        EXPECT_STREQ(copy.ToString(), query.ToString());
    }
    EXPECT_FALSE(copy.FromString(nullptr));

    // Absent members become empty.
    ASSERT_TRUE(copy.FromString(R"({"version_center":"http://x/"})"));
    EXPECT_STREQ(copy.GetProduct(), "");
    Json::Value partial;
    ASSERT_TRUE(jsonIO::ParseJson(partial, copy.ToString()));
    EXPECT_EQ(partial["version_center"].asString(), "http://x/");
}

TEST(CVersionQueryConfigTest, FactoryMakesIndependentQueries)
{
    TOwnedPtr<kvrUpdate::IVersionQuery> first = Own(kvrUpdate::CreateVersionQuery());
    const TOwnedPtr<kvrUpdate::IVersionQuery> second = Own(kvrUpdate::CreateVersionQuery());
    ASSERT_NE(first, nullptr);
    ASSERT_NE(first, second);
    first->SetProduct("A");
    second->SetProduct("B");
    first.reset();
    EXPECT_STREQ(second->GetProduct(), "B");
}

} // namespace
