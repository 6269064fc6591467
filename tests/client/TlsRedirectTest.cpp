// The transfer layer between an https and an http server on the loopback
// interface: a redirect from https to plain http is refused, every other
// redirect is followed as before.
#include "support/CScratchDir.h"
#include "support/CTestHttpServer.h"
#include "support/TestTls.h"

#include "client/CUrlHandle.h"
#include "client/CUrlWriter.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace
{

using curl_object::CUrlHandle;
using curl_object::CUrlWriter;
using testsupport::CTestHttpServer;

class CBodyWriter : public CUrlWriter
{
public:
    std::size_t Write(const char* data, std::size_t size, std::size_t count) override
    {
        m_body.append(data, size * count);
        return size * count;
    }
    std::string m_body;
};

// Each server answers /body with its own name and redirects /to-http/PATH
// and /to-https/PATH to PATH on the other kind of server.
void Serve(CTestHttpServer& server, const std::string& name, const CTestHttpServer*& http,
           const CTestHttpServer*& https)
{
    server.Server().Get("/body", [name](const httplib::Request&, httplib::Response& response) {
        response.set_content(name, "text/plain");
    });
    server.Server().Get(R"(/to-(https?)(/.*))",
                        [&http, &https](const httplib::Request& request, httplib::Response& response) {
                            const CTestHttpServer* target = request.matches[1] == "https" ? https : http;
                            response.set_redirect(target->Url(request.matches[2].str()), 302);
                        });
}

class TlsRedirectTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Trust first, on the thread that makes the requests.
        testsupport::CTestCertificates made;
        std::string why;
        if (!testsupport::MakeTestCertificates(m_temp / "tls", made, why) ||
            !testsupport::TrustOnlyAuthority(made.authority, why))
            GTEST_SKIP() << "no https here: " << why;
        m_https = std::make_unique<CTestHttpServer>(made.good.certificate.string(), made.good.key.string());
        m_httpPointer = &m_http;
        m_httpsPointer = m_https.get();
        Serve(m_http, "plain", m_httpPointer, m_httpsPointer);
        Serve(*m_https, "secure", m_httpPointer, m_httpsPointer);
        m_http.Start();
        m_https->Start();
    }

    testsupport::CScratchDir m_temp{"vesk-tls-redirect"};
    CTestHttpServer m_http;
    std::unique_ptr<CTestHttpServer> m_https;
    const CTestHttpServer* m_httpPointer = nullptr;
    const CTestHttpServer* m_httpsPointer = nullptr;
};

TEST_F(TlsRedirectTest, HttpsNeverRedirectsToHttp)
{
    const struct
    {
        const char* what;
        bool startSecure;
        std::string path;
        CURLcode code;
        const char* body;
        std::size_t plainRequests; // what the http server saw
    } cases[] = {
        {"https to http", true, "/to-http/body", CURLE_UNSUPPORTED_PROTOCOL, "", 0},
        {"https to https to http", true, "/to-https/to-http/body", CURLE_UNSUPPORTED_PROTOCOL, "", 0},
        {"https to https", true, "/to-https/body", CURLE_OK, "secure", 0},
        {"http to https", false, "/to-https/body", CURLE_OK, "secure", 1},
        {"http to http", false, "/to-http/body", CURLE_OK, "plain", 2},
        {"http to https to http", false, "/to-https/to-http/body", CURLE_OK, "plain", 2},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        m_http.ClearTargets();
        std::string url = (c.startSecure ? m_https->Url(c.path) : m_http.Url(c.path));
        if (c.startSecure && c.path == "/to-http/body")
            url.replace(0, 5, "HTTPS"); // the scheme in any case
        CUrlHandle handle;
        CBodyWriter writer;
        ASSERT_EQ(handle.SetUrl(url.c_str()), CURLE_OK);
        ASSERT_EQ(writer.Attach(handle.GetHandle()), CURLE_OK);
        EXPECT_EQ(curl_easy_perform(handle.GetHandle()), c.code);
        EXPECT_EQ(writer.m_body, c.body);
        EXPECT_EQ(m_http.Targets().size(), c.plainRequests);
    }
}

} // namespace
