// An https version center: nginx with TLS in front of the reference center,
// its certificates from a throwaway authority that only this test trusts
// (in a private mount namespace, see TestTls.h). The demo course runs over
// https with every download through nginx too, and a certificate that is
// self-signed, for another name or expired is refused with an error line
// that names the certificate problem. Skipped without nginx or where the
// namespace cannot be made.
#include "support/CScratchDir.h"
#include "support/ChildProcess.h"
#include "support/Files.h"
#include "support/SampleProduct.h"
#include "support/TestTls.h"
#include "tools/NginxServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace fs = std::filesystem;
using namespace testsupport;

namespace
{

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// One TLS server block in front of the center.
std::string ServerBlock(int port, const CTestCertificate& certificate, int centerPort)
{
    return "server {\n    listen 127.0.0.1:" + std::to_string(port) + " ssl;\n    ssl_certificate " +
           certificate.certificate.string() + ";\n    ssl_certificate_key " + certificate.key.string() +
           ";\n    location / { proxy_pass http://127.0.0.1:" + std::to_string(centerPort) + "; }\n}\n";
}

TEST(NginxTlsTest, CourseOverHttpsAndBadCertificatesRefused)
{
    const std::string nginx = FindNginx();
    if (nginx.empty())
        GTEST_SKIP() << "nginx is not installed";
    const CScratchDir scratch("vesk-tls");
    const fs::path& dir = scratch.Path();
    CTestCertificates made;
    std::string why;
    ASSERT_TRUE(MakeTestCertificates(dir / "tls", made, why)) << why;
    if (!TrustOnlyAuthority(made.authority, why))
        GTEST_SKIP() << "the test authority cannot be trusted privately here: " << why;

    // Signed, as the course trusts the publisher's key.
    const std::string key = (dir / "sign.key").string();
    const std::string publicKey = (dir / "sign.pub").string();
    ASSERT_EQ(RunProgram(VERSION_CENTER_EXE, {"keygen", "--secret", key, "--public", publicKey}).status, 0);
    const CPublishedSample sample = PublishSampleProduct(VERSION_CENTER_EXE, dir, "downloads", key);
    ASSERT_EQ(sample.publish.status, 0) << sample.publish.output;
    const struct
    {
        const char* what;
        const CTestCertificate& certificate;
        const char* problem; // what the error line says, in lower case
        int port;
    } cases[] = {
        {"a certificate of the trusted authority", made.good, "", FreePort()},
        {"a self-signed certificate", made.selfSigned, "self", FreePort()},
        {"a certificate for another name", made.wrongName, "subject name", FreePort()},
        {"an expired certificate", made.expired, "expired", FreePort()},
    };
    const std::string good = "https://127.0.0.1:" + std::to_string(cases[0].port) + "/";

    // The center names nginx's address for the downloads, so they go over
    // https as well.
    CBackgroundProgram center(VERSION_CENTER_EXE, {"--listen", "127.0.0.1:0", "--files", sample.downloads,
                                                   "--download-url", good + "files/", sample.catalog});
    std::string line;
    ASSERT_TRUE(center.ReadLine(line, 30)) << "the version center did not start";
    const int centerPort = std::stoi(line.substr(line.rfind(':') + 1));
    {
        std::ofstream blocks(dir / "tls-servers.conf");
        for (const auto& c : cases)
            blocks << ServerBlock(c.port, c.certificate, centerPort);
    }
    const CNginxServer server(nginx, dir, dir / "tls-servers.conf", cases[0].port);
    ASSERT_TRUE(server.Started()) << server.Log();

    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        const std::string address = "https://127.0.0.1:" + std::to_string(c.port) + "/";
        const fs::path work = dir / ("course-" + std::to_string(c.port));
        fs::create_directories(work);
        if (*c.problem == '\0')
        {
            ::setenv("VESK_HOST", VESK_HOST_PATH, 1);
            ::setenv("VESK_TRUST", publicKey.c_str(), 1);
            const CRunResult course = RunProgram("/bin/bash",
                                                 {VESK_SOURCE_DIR "/scripts/run-course.sh", address, work.string()});
            EXPECT_EQ(course.status, 0) << course.output;
            EXPECT_NE(course.output.find("the installed version is now 2.0.0.0"), std::string::npos) << course.output;
            continue;
        }
        const std::string state = (work / "editor.state").string();
        const CRunResult init = RunProgram(VESK_HOST_PATH, {"--state", state, "init", "Editor", address});
        EXPECT_NE(init.status, 0) << init.output;
        EXPECT_FALSE(fs::exists(state));
        // One line, and it is about TLS, not about an unknown product.
        EXPECT_EQ(std::count(init.output.begin(), init.output.end(), '\n'), 1) << init.output;
        EXPECT_NE(Lower(init.output).find("tls"), std::string::npos) << init.output;
        EXPECT_NE(Lower(init.output).find(c.problem), std::string::npos) << init.output;
        EXPECT_EQ(init.output.find("does not know"), std::string::npos) << init.output;
    }
    EXPECT_EQ(center.Stop(), 0);
}

} // namespace
