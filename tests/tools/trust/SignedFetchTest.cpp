// Fetching signed files from a loopback server: what passes, and each way
// the fetch is refused with one line naming the cause.
#include "support/CScratchDir.h"
#include "support/CTestHttpServer.h"
#include "support/TestTls.h"

#include "Minisign.h"
#include "SignedFetch.h"

#include <gtest/gtest.h>

#include <memory>
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

TEST(SignedFetchTest, HttpsIsNeverLeftForHttpAndItsCertificatesAreChecked)
{
    // Trust first, on the thread that makes the requests.
    CScratchDir dir("vesk-trust-tls");
    testsupport::CTestCertificates made;
    std::string why;
    if (!testsupport::MakeTestCertificates(dir / "tls", made, why) ||
        !testsupport::TrustOnlyAuthority(made.authority, why))
        GTEST_SKIP() << "no https here: " << why;
    std::string error;
    CPublicKey trusted;
    ASSERT_TRUE(vesktrust::GenerateKeyPair((dir / "k.key").string(), (dir / "k.pub").string(), trusted, error));
    CSecretKey key;
    ASSERT_TRUE(vesktrust::LoadSecretKey((dir / "k.key").string(), key, error));
    const std::string data = "signed\n";
    const std::string signature = vesktrust::SignText(key, data, "m.json");

    // Each server serves the signed file and redirects /to-http/PATH and
    // /to-https/PATH to PATH on the good server of that kind.
    CTestHttpServer http;
    std::vector<std::unique_ptr<CTestHttpServer>> https;
    for (const testsupport::CTestCertificate* certificate :
         {&made.good, &made.selfSigned, &made.wrongName, &made.expired})
        https.push_back(
            std::make_unique<CTestHttpServer>(certificate->certificate.string(), certificate->key.string()));
    std::vector<CTestHttpServer*> servers = {&http};
    for (const auto& server : https)
        servers.push_back(server.get());
    for (CTestHttpServer* server : servers)
    {
        server->Server().Get("/m.json", [&](const httplib::Request&, httplib::Response& response) {
            response.set_content(data, "application/json");
        });
        server->Server().Get("/m.json.minisig", [&](const httplib::Request&, httplib::Response& response) {
            response.set_content(signature, "text/plain");
        });
        server->Server().Get(R"(/to-(https?)(/.*))", [&](const httplib::Request& request, httplib::Response& response) {
            const CTestHttpServer* target = request.matches[1] == "https" ? https[0].get() : &http;
            response.set_redirect(target->Url(request.matches[2].str()), 302);
        });
        server->Start();
    }

    struct CRow
    {
        const char* what;
        std::string url;
        const char* says; // empty: fetched and verified
    };
    const std::vector<CRow> rows = {
        {"https", https[0]->Url("/m.json"), ""},
        {"https to https", https[0]->Url("/to-https/m.json"), ""},
        {"http to https", http.Url("/to-https/m.json"), ""},
        {"https to http", https[0]->Url("/to-http/m.json"), "from https to http"},
        {"HTTPS to http", "HTTPS" + https[0]->Url("/to-http/m.json").substr(5), "from https to http"},
        {"https to https to http", https[0]->Url("/to-https/to-http/m.json"), "from https to http"},
        {"self-signed", https[1]->Url("/m.json"), "certificate"},
        {"another name", https[2]->Url("/m.json"), "certificate"},
        {"expired", https[3]->Url("/m.json"), "certificate"},
    };
    for (const CRow& row : rows)
    {
        http.ClearTargets();
        std::string text;
        CVerified verified;
        error.clear();
        const bool fetched = vesktrust::FetchSigned(row.url, {trusted}, 4096, text, verified, error);
        EXPECT_EQ(fetched, *row.says == '\0') << row.what << ": " << error;
        EXPECT_NE(error.find(row.says), std::string::npos) << row.what << ": " << error;
        if (*row.says != '\0')
        {
            EXPECT_TRUE(http.Targets().empty()) << row.what;
        }
    }
}

TEST(SignedFetchTest, EscapesPathsForUrls)
{
    EXPECT_EQ(vesktrust::EscapeUrlPath("My Editor/signed/patch-P-1.json"), "My%20Editor/signed/patch-P-1.json");
    EXPECT_EQ(vesktrust::EscapeUrlPath("a?b#c%"), "a%3Fb%23c%25");
}

} // namespace
