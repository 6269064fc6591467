// The static export served by a real nginx: every answer the library can get
// is byte for byte the reference center's, and the demo course runs against
// it. Skipped when nginx is not installed.
#include "support/CScratchDir.h"
#include "support/ChildProcess.h"
#include "support/SampleProduct.h"
#include "tools/NginxServer.h"

#include "catalog/CCatalog.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using testsupport::CBackgroundProgram;
using testsupport::CRunResult;
using testsupport::RunProgram;

namespace
{

// The requests of the library for every operation on every version, pair of
// versions and patch of the catalog, and some that have no answer.
std::vector<std::string> LibraryRequests(const versionCenter::CCatalog& catalog)
{
    std::vector<std::string> targets;
    for (const auto& item : catalog.Products())
    {
        const std::string product = "/" + item.first;
        targets.push_back(product + "/versions/situation");
        targets.push_back(product + "/versions");
        for (const auto& patch : item.second.patches)
            targets.push_back(product + "/patchs/" + patch.number + "/package");
        for (const auto& from : item.second.versions)
        {
            const std::string a = from.first.ToString();
            targets.push_back(product + "/patchs?version=" + a);
            targets.push_back(product + "/versions/" + a + "/package");
            targets.push_back(product + "/versions/" + a + "/FileCheckDef");
            for (const auto& to : item.second.versions)
            {
                const std::string b = to.first.ToString();
                targets.push_back(product + "/versions/evolution?version_from=" + a + "&version_to=" + b);
                targets.push_back(product + "/patchs/evolution/" + a + "/" + b);
            }
        }
        for (const char* unknown : {"/patchs?version=9.9.9.9", "/patchs/P-none/package", "/versions/9.0.0.0/package",
                                    "/versions/evolution?version_from=1.0.0.0&version_to=9.0.0.0",
                                    "/patchs/evolution/1.0.0.0/9.0.0.0", "/nothing"})
            targets.push_back(product + unknown);
    }
    targets.push_back("/Nobody/versions");
    return targets;
}

TEST(CExporterTest, AnswersAsTheCenterDoesAndServesTheCourse)
{
    const std::string nginx = FindNginx();
    if (nginx.empty())
        GTEST_SKIP() << "nginx is not installed: the static export is not tried against it";

    const testsupport::CScratchDir scratch("vesk-nginx");
    const fs::path& dir = scratch.Path();
    // Published signed: the signed files are served like the others.
    ASSERT_EQ(RunProgram(VERSION_CENTER_EXE,
                         {"keygen", "--secret", (dir / "sign.key").string(), "--public", (dir / "sign.pub").string()})
                  .status,
              0);
    const testsupport::CPublishedSample sample = testsupport::PublishSampleProduct(VERSION_CENTER_EXE, dir, "downloads",
                                                                                   (dir / "sign.key").string());
    const CRunResult& published = sample.publish;
    const std::string &catalog = sample.catalog, &downloads = sample.downloads;
    ASSERT_EQ(published.status, 0) << published.output;

    // nginx on a free port; the export names the port, so it is exported
    // again when the port was taken meanwhile.
    int port = 0;
    std::unique_ptr<CNginxServer> server;
    for (int attempt = 0; attempt < 3 && !(server && server->Started()); ++attempt)
    {
        port = FreePort();
        const CRunResult exported = RunProgram(VERSION_CENTER_EXE, {"export", "--files", downloads, "--listen",
                                                                    "127.0.0.1:" + std::to_string(port), catalog,
                                                                    (dir / "export").string()});
        ASSERT_EQ(exported.status, 0) << exported.output;
        server.reset(new CNginxServer(nginx, dir, dir / "export/nginx.conf", port));
    }
    ASSERT_TRUE(server->Started()) << server->Log();
    const std::string nginxUrl = "http://127.0.0.1:" + std::to_string(port) + "/";

    // The reference center with the same download address.
    CBackgroundProgram center(VERSION_CENTER_EXE, {"--listen", "127.0.0.1:0", "--files", downloads, "--download-url",
                                                   nginxUrl + "files/", catalog});
    std::string line;
    ASSERT_TRUE(center.ReadLine(line, 30));
    const int centerPort = std::stoi(line.substr(line.rfind(':') + 1));

    versionCenter::CCatalog loaded;
    std::string error;
    ASSERT_TRUE(loaded.LoadFile(catalog, error)) << error;
    httplib::Client fromCenter("127.0.0.1", centerPort), fromNginx("127.0.0.1", port);
    int answered = 0;
    for (const std::string& target : LibraryRequests(loaded))
    {
        SCOPED_TRACE(target);
        const auto expected = fromCenter.Get(target.c_str());
        const auto got = fromNginx.Get(target.c_str());
        ASSERT_TRUE(expected && got);
        EXPECT_EQ(got->status, expected->status) << got->body;
        EXPECT_EQ(got->get_header_value("Content-Type"), "application/json");
        if (expected->status == 200)
        {
            ++answered;
            EXPECT_EQ(got->body, expected->body);
        }
    }
    EXPECT_GT(answered, 30);
    for (const char* file : {"/files/Editor/1.0.0.0/bin/editor.bin", "/files/Editor/filecheck/2.0.0.0.json",
                             "/files/Editor/signed/snapshot.json", "/files/Editor/signed/patch-P-1101.json.minisig"})
    {
        const httplib::Headers range{{"Range", "bytes=2-9"}};
        const auto expected = fromCenter.Get(file, range);
        const auto got = fromNginx.Get(file, range);
        ASSERT_TRUE(expected && got);
        EXPECT_EQ(got->status, 206);
        EXPECT_EQ(got->body, expected->body);
        EXPECT_EQ(got->get_header_value("Content-Type"), expected->get_header_value("Content-Type"));
    }
    EXPECT_EQ(center.Stop(), 0);

    // The demo course, with every download from nginx, trusting the key the
    // product was signed with.
    ::setenv("VESK_HOST", VESK_HOST_PATH, 1);
    ::setenv("VESK_TRUST", (dir / "sign.pub").string().c_str(), 1);
    fs::create_directory(dir / "course");
    const CRunResult course = RunProgram(
        "/bin/bash", {VESK_SOURCE_DIR "/scripts/run-course.sh", nginxUrl, (dir / "course").string()});
    EXPECT_EQ(course.status, 0) << course.output;
    EXPECT_NE(course.output.find("the installed version is now 2.0.0.0"), std::string::npos) << course.output;
}

} // namespace
