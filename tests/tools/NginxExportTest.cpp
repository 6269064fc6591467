// The static export served by a real nginx: every answer the library can get
// is byte for byte the reference center's, and the demo course runs against
// it. Skipped when nginx is not installed.
#include "examples/ChildProcess.h"

#include "CCatalog.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace
{

std::string FindNginx()
{
    for (const char* place : {"/usr/sbin/nginx", "/usr/local/sbin/nginx", "/usr/bin/nginx"})
    {
        if (::access(place, X_OK) == 0)
            return place;
    }
    return std::string();
}

// A port nobody listens on now.
int FreePort()
{
    const int sock = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    int port = 0;
    if (::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(sock, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    ::close(sock);
    return port;
}

bool Answers(int port)
{
    httplib::Client client("127.0.0.1", port);
    client.set_connection_timeout(1);
    return static_cast<bool>(client.Get("/"));
}

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The requests of the library for every operation on every version, pair of
// versions and patch of the catalog, and some it cannot be answered.
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

TEST(NginxExportTest, AnswersAsTheCenterDoesAndServesTheCourse)
{
    const std::string nginx = FindNginx();
    if (nginx.empty())
        GTEST_SKIP() << "nginx is not installed: the static export is not tried against it";

    char pattern[] = "/tmp/vc-nginx.XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const fs::path dir = pattern;
    const std::unique_ptr<const fs::path, void (*)(const fs::path*)> removeAtEnd(&dir, [](const fs::path* path) {
        std::error_code ignored;
        fs::remove_all(*path, ignored);
    });
    const std::string catalog = (dir / "catalog.json").string(), downloads = (dir / "downloads").string();
    fs::copy_file(VESK_SAMPLE_CATALOG, catalog);
    const CRunResult published = RunProgram(VERSION_CENTER_EXE, {"publish", "--product", "Editor", "--releases",
                                                                 VESK_SAMPLE_RELEASES, "--out", downloads, "--catalog",
                                                                 catalog});
    ASSERT_EQ(published.status, 0) << published.output;

    // nginx as this user, on a free port, with its own prefix and temporary
    // folders, in one process in the foreground.
    int port = 0;
    std::unique_ptr<CBackgroundProgram> server;
    for (int attempt = 0; attempt < 3 && !server; ++attempt)
    {
        port = FreePort();
        const std::string listen = "127.0.0.1:" + std::to_string(port);
        const CRunResult exported = RunProgram(VERSION_CENTER_EXE, {"export", "--files", downloads, "--listen", listen,
                                                                    catalog, (dir / "export").string()});
        ASSERT_EQ(exported.status, 0) << exported.output;
        std::ofstream(dir / "nginx-main.conf")
            << "daemon off;\nmaster_process off;\npid " << (dir / "nginx.pid").string()
            << ";\nerror_log " << (dir / "nginx.log").string() << " warn;\nevents { worker_connections 256; }\nhttp {\n    access_log off;\n"
            << "    client_body_temp_path " << (dir / "body").string() << ";\n    proxy_temp_path "
            << (dir / "proxy").string() << ";\n    fastcgi_temp_path " << (dir / "fastcgi").string()
            << ";\n    uwsgi_temp_path " << (dir / "uwsgi").string() << ";\n    scgi_temp_path "
            << (dir / "scgi").string() << ";\n    include " << (dir / "export/nginx.conf").string() << ";\n}\n";
        server.reset(new CBackgroundProgram(nginx, {"-p", dir.string(), "-c", (dir / "nginx-main.conf").string(),
                                                    "-e", (dir / "nginx.log").string()}));
        bool up = false;
        for (int i = 0; i < 200 && !up; ++i)
        {
            up = Answers(port);
            if (!up)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (!up)
            server.reset(); // the port was taken meanwhile, or nginx failed
    }
    ASSERT_TRUE(server) << ReadFile(dir / "nginx.log");
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
    for (const char* file : {"/files/Editor/1.0.0.0/bin/editor.bin", "/files/Editor/filecheck/2.0.0.0.json"})
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

    // The demo course, with every download from nginx.
    ::setenv("VESK_HOST", VESK_HOST_PATH, 1);
    fs::create_directory(dir / "course");
    const CRunResult course =
        RunProgram("/bin/bash", {VESK_SOURCE_DIR "/scripts/run-course.sh", nginxUrl, (dir / "course").string()});
    EXPECT_EQ(course.status, 0) << course.output;
    EXPECT_NE(course.output.find("the installed version is now 2.0.0.0"), std::string::npos) << course.output;
    server->Stop();
}

} // namespace
