// The protocol table against the library: every URL the library's version
// query builds is a row of the table, and the table builds it back byte for
// byte, so the center's router, the export and the nginx locations (all made
// from the table) meet the library's requests.
#include "support/CTestHttpServer.h"
#include "support/Owners.h"

#include "serving/Protocol.h"

#include <VeskUpdate.h>

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

using namespace testsupport;
using versionCenter::ERequest;

namespace
{

// The pairs of a query text "a=1&b=2", as sent (not decoded).
std::multimap<std::string, std::string> SplitQuery(const std::string& text)
{
    std::multimap<std::string, std::string> query;
    for (std::string::size_type at = 0; at <= text.size();)
    {
        std::string::size_type end = text.find('&', at);
        if (end == std::string::npos)
            end = text.size();
        const std::string pair = text.substr(at, end - at);
        const std::string::size_type equals = pair.find('=');
        query.emplace(pair.substr(0, equals), equals == std::string::npos ? "" : pair.substr(equals + 1));
        at = end + 1;
    }
    return query;
}

TEST(ProtocolTest, EveryLibraryUrlIsARowOfTheTableAndIsBuiltBackAlike)
{
    CTestHttpServer server;
    server.Server().Get(R"(/.*)", [](const httplib::Request&, httplib::Response& response) { response.status = 404; });
    server.Start();
    TOwnedPtr<kvrUpdate::IVersionQuery> query = Own(kvrUpdate::CreateVersionQuery());
    query->SetVersionCenter(server.Url("/").c_str());
    query->SetProduct("Editor");

    using Ask = std::function<void(kvrUpdate::IVersionQuery&)>;
    const struct
    {
        Ask ask;
        ERequest expected;
        versionCenter::CParameters values;
    } cases[] = {
        {[](kvrUpdate::IVersionQuery& q) { q.GetLastVersion(); }, ERequest::Situation, {}},
        {[](kvrUpdate::IVersionQuery& q) { q.GetVersions(); }, ERequest::Versions, {}},
        {[](kvrUpdate::IVersionQuery& q) { q.GetVersionEvolution("1.2", "2"); },
         ERequest::VersionEvolution,
         {{"from", "1.2.0.0"}, {"to", "2.0.0.0"}}},
        {[](kvrUpdate::IVersionQuery& q) { q.GetPatchs("ver3.1.4.1-beta"); },
         ERequest::PatchList,
         {{"version", "3.1.4.1"}}},
        {[](kvrUpdate::IVersionQuery& q) { q.GetPatchEvolution("1.0", "1.2"); },
         ERequest::PatchEvolution,
         {{"from", "1.0.0.0"}, {"to", "1.2.0.0"}}},
        {[](kvrUpdate::IVersionQuery& q) { q.GetPatchPackage("P-1001"); },
         ERequest::PatchPackage,
         {{"patch", "P-1001"}}},
        // A patch number may hold '/', even one that looks like an evolution.
        {[](kvrUpdate::IVersionQuery& q) { q.GetPatchPackage("evolution/1.0.0.0"); },
         ERequest::PatchPackage,
         {{"patch", "evolution/1.0.0.0"}}},
        {[](kvrUpdate::IVersionQuery& q) { q.GetVersionPackage("no digits"); },
         ERequest::VersionPackage,
         {{"version", "0.0.0.0"}}},
        {[](kvrUpdate::IVersionQuery& q) { q.GetFileCheckDef("2.1"); }, ERequest::FileCheck, {{"version", "2.1.0.0"}}},
    };
    std::set<ERequest> asked;
    for (const auto& c : cases)
    {
        asked.insert(c.expected);
        const versionCenter::CRequestKind& kind = versionCenter::RequestKind(c.expected);
        SCOPED_TRACE(kind.name);
        server.ClearTargets();
        c.ask(*query);
        const std::vector<std::string> targets = server.Targets();
        ASSERT_EQ(targets.size(), 1u);
        const std::string prefix = "/Editor";
        ASSERT_EQ(targets[0].rfind(prefix, 0), 0u) << targets[0];
        const std::string rest = targets[0].substr(prefix.size());
        const std::string::size_type mark = rest.find('?');
        const std::string path = rest.substr(0, mark);

        versionCenter::CParameters values;
        const versionCenter::CRequestKind* matched = versionCenter::MatchPath(path, values);
        ASSERT_NE(matched, nullptr) << rest;
        EXPECT_EQ(matched->request, c.expected) << rest;
        EXPECT_EQ(mark != std::string::npos, !kind.query.empty()) << rest;
        ASSERT_TRUE(versionCenter::ReadQuery(
            *matched, SplitQuery(mark == std::string::npos ? std::string() : rest.substr(mark + 1)), values));
        EXPECT_EQ(values, c.values);
        EXPECT_EQ(versionCenter::RequestTarget(*matched, values), rest);
    }
    // Every row of the table was asked for.
    EXPECT_EQ(asked.size(), versionCenter::RequestKinds().size());
}

} // namespace
