// The embedded query asks the version center the updater is configured with,
// for the product it is configured with, however the configuration arrived.
#include "updater/UpdaterTestUtil.h"

#include "support/CTestHttpServer.h"

using namespace kvrUpdate;
using namespace updatertest;
using testsupport::CTestHttpServer;

namespace
{

class CUpdaterQueryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_server.Server().Get(R"(/(\w+)/versions/situation)",
                              [](const httplib::Request& request, httplib::Response& response) {
                                  const std::string last = request.matches[1] == "Editor" ? "2.0" : "7.0";
                                  response.set_content("{\"last\": {\"v\": \"" + last + "\"}}", "application/json");
                              });
        m_server.Server().Get(R"(/(\w+)/versions)", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("{\"versions\": [{\"v\": \"1.0\"}]}", "application/json");
        });
        m_server.Start();
    }

    CTestHttpServer m_server;
};

} // namespace

TEST_F(CUpdaterQueryTest, LoadedConfigurationDirectsTheRequests)
{
    UpdaterPtr updater = NewUpdater();
    ASSERT_TRUE(updater->FromString(Document("Editor", m_server.Url("/"), "1.0").c_str()));
    IVersionQuery* query = updater->GetVersionQuery();
    ASSERT_NE(query->GetVersions(), nullptr);
    const IVersion* last = query->GetLastVersion();
    ASSERT_NE(last, nullptr);
    EXPECT_STREQ(last->ToString(), "2.0.0.0");
    EXPECT_EQ(m_server.Targets(), (std::vector<std::string>{"/Editor/versions", "/Editor/versions/situation"}));
}

// A new product name makes the cached situation stale; the same name does not.
TEST_F(CUpdaterQueryTest, SettersReconfigureTheQuery)
{
    UpdaterPtr updater = NewUpdater();
    updater->SetVersionCenter(m_server.Url("/").c_str());
    updater->SetProductName("Editor");
    IVersionQuery* query = updater->GetVersionQuery();
    ASSERT_NE(query->GetLastVersion(), nullptr);
    updater->SetProductName("Editor");
    ASSERT_NE(query->GetMustVersion(), nullptr);
    updater->SetProductName("Viewer");
    const IVersion* last = query->GetLastVersion();
    ASSERT_NE(last, nullptr);
    EXPECT_STREQ(last->ToString(), "7.0.0.0");
    EXPECT_EQ(m_server.Targets(),
              (std::vector<std::string>{"/Editor/versions/situation", "/Viewer/versions/situation"}));

    // Loading a document with another address points the query there.
    ASSERT_TRUE(updater->FromString(Document("Editor", "http://127.0.0.1:1/", "1.0").c_str()));
    EXPECT_EQ(query->GetVersions(), nullptr);
    EXPECT_EQ(m_server.Targets().size(), 2u);
}
