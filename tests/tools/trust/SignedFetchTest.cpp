// Fetching signed files from a loopback server: what passes, and each way
// the fetch is refused with one line naming the cause.
#include "support/CScratchDir.h"
#include "support/CTestHttpServer.h"

#include "Minisign.h"
#include "SignedFetch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using testsupport::CScratchDir;
using testsupport::CTestHttpServer;
using vesktrust::CPublicKey;
using vesktrust::CSecretKey;
using vesktrust::CVerified;

namespace
{

TEST(SignedFetchTest, FetchesOnlyWhatVerifiesOverHttp)
{
    CScratchDir dir("vesk-trust");
    std::string error;
    CPublicKey trusted;
    CPublicKey other;
    ASSERT_TRUE(vesktrust::GenerateKeyPair((dir / "k.key").string(), (dir / "k.pub").string(), trusted, error));
    ASSERT_TRUE(vesktrust::GenerateKeyPair((dir / "o.key").string(), (dir / "o.pub").string(), other, error));
    CSecretKey key;
    CSecretKey otherKey;
    ASSERT_TRUE(vesktrust::LoadSecretKey((dir / "k.key").string(), key, error));
    ASSERT_TRUE(vesktrust::LoadSecretKey((dir / "o.key").string(), otherKey, error));
    const std::string data = "{\"format\": \"x\"}\n";

    CTestHttpServer server;
    const auto serve = [&](const std::string& path, const std::string& body) {
        server.Server().Get(path, [body](const httplib::Request&, httplib::Response& response) {
            response.set_content(body, "application/octet-stream");
        });
    };
    const auto redirect = [&](const std::string& path, const std::string& to) {
        server.Server().Get(path,
                            [to](const httplib::Request&, httplib::Response& response) { response.set_redirect(to); });
    };
    serve("/good.json", data);
    serve("/good.json.minisig", vesktrust::SignText(key, data, "good.json"));
    serve("/other.json", data);
    serve("/other.json.minisig", vesktrust::SignText(otherKey, data, "other.json"));
    serve("/unsigned.json", data);
    serve("/big.json", std::string(5000, 'x'));
    serve("/big.json.minisig", vesktrust::SignText(key, std::string(5000, 'x'), "big.json"));
    serve("/hugesig.json", data);
    serve("/hugesig.json.minisig", std::string(20000, 'x'));
    redirect("/moved.json", "/good.json");
    redirect("/moved.json.minisig", "/good.json.minisig");
    redirect("/tofile.json", "file:///etc/passwd");
    redirect("/loop.json", "/loop.json");
    server.Start();

    struct CRow
    {
        const char* path; // on the server, or a whole URL
        const char* says; // empty: fetched and verified
    };
    const std::vector<CRow> rows = {
        {"/good.json", ""},
        {"/moved.json", ""},
        {"/other.json", "not trusted"},
        {"/unsigned.json", "HTTP 404"},
        {"/missing.json", "HTTP 404"},
        {"/big.json", "larger than 4096 bytes"},
        {"/hugesig.json", "larger than"},
        {"/tofile.json", "not http or https"},
        {"/loop.json", "redirects"},
        {"file:///etc/passwd", "only http and https"},
        {"ftp://127.0.0.1/x", "only http and https"},
    };
    for (const CRow& row : rows)
    {
        const std::string url = row.path[0] == '/' ? server.Url(row.path) : row.path;
        std::string text = "untouched";
        CVerified verified;
        error.clear();
        const bool fetched = vesktrust::FetchSigned(url, {trusted}, 4096, text, verified, error);
        if (*row.says == '\0')
        {
            EXPECT_TRUE(fetched) << url << ": " << error;
            EXPECT_EQ(text, data) << url;
            EXPECT_EQ(verified.keyId, trusted.KeyIdText()) << url;
            continue;
        }
        EXPECT_FALSE(fetched) << url;
        EXPECT_EQ(text, "untouched") << url;
        EXPECT_NE(error.find(row.says), std::string::npos) << url << ": " << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << url << ": " << error;
    }
}

TEST(SignedFetchTest, EscapesPathsForUrls)
{
    EXPECT_EQ(vesktrust::EscapeUrlPath("My Editor/signed/patch-P-1.json"), "My%20Editor/signed/patch-P-1.json");
    EXPECT_EQ(vesktrust::EscapeUrlPath("a?b#c%"), "a%3Fb%23c%25");
}

} // namespace
