// The export of linear size behind a real nginx, with two version centers as
// its origin: for generated catalogs of hundreds of versions, every request
// the library can make gets the same status and the same bytes from nginx as
// from a center alone, whether nginx answers it from a file or passes it on.
// Skipped when nginx is not installed.
#include "support/CScratchDir.h"
#include "support/ChildProcess.h"
#include "support/Files.h"
#include "support/RandomCatalog.h"
#include "tools/NginxServer.h"

#include "catalog/CCatalog.h"
#include "serving/Protocol.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace testsupport;

namespace
{

// A version-center program serving `catalog`; its port once it listens.
int StartCenter(std::unique_ptr<CBackgroundProgram>& center, const std::string& catalog, const fs::path& log)
{
    center.reset(new CBackgroundProgram(VERSION_CENTER_EXE, {"--listen", "127.0.0.1:0", catalog}, log.string()));
    std::string line;
    if (!center->ReadLine(line, 30) || line.find("http://127.0.0.1:") == std::string::npos)
        return 0;
    return std::stoi(line.substr(line.rfind(':') + 1));
}

// Every request the library makes for the products of `catalog` (every
// operation, every pair of versions), and requests for things that are not
// there: unknown products, versions and patches, other spellings of
// versions, missing query parameters.
std::vector<std::string> LibraryTargets(const versionCenter::CCatalog& catalog)
{
    std::vector<std::string> targets;
    for (const auto& item : catalog.Products())
    {
        const std::string product = "/" + item.first;
        std::vector<std::string> versions{"9999.0.0.0"}, patches{"P-none", "P-none/package"};
        for (const auto& version : item.second.versions)
            versions.push_back(version.first.ToString());
        for (const auto& patch : item.second.patches)
            patches.push_back(patch.number);
        for (const versionCenter::CRequestKind& kind : versionCenter::RequestKinds())
        {
            const std::vector<std::string> names = versionCenter::ParameterNames(kind);
            std::vector<versionCenter::CParameters> all{{}};
            for (const std::string& name : names)
            {
                std::vector<versionCenter::CParameters> next;
                for (const versionCenter::CParameters& values : all)
                {
                    for (const std::string& value : versionCenter::IsVersionParameter(name) ? versions : patches)
                    {
                        next.push_back(values);
                        next.back()[name] = value;
                    }
                }
                all.swap(next);
            }
            for (const versionCenter::CParameters& values : all)
                targets.push_back(product + versionCenter::RequestTarget(kind, values));
        }
        const std::string first = item.second.versions.begin()->first.ShortText();
        for (const std::string& other :
             {"/patchs?version=" + first, "/versions/" + first + "/package", "/patchs/evolution/" + first + "/9",
              "/versions/evolution?version_to=" + first + "&version_from=" + first, std::string("/patchs"),
              std::string("/versions/evolution?version_from=1.0.0.0"), std::string("/nothing")})
            targets.push_back(product + other);
    }
    targets.emplace_back("/Nobody/versions");
    targets.emplace_back("/Nobody/patchs?version=1.0.0.0");
    return targets;
}

// A kept-alive libcurl handle for one server: the client that costs least per
// request, so that the servers, not the test, do most of the work.
class CKeptAlive
{
public:
    explicit CKeptAlive(int port) : m_base("http://127.0.0.1:" + std::to_string(port)), m_curl(curl_easy_init())
    {
        curl_easy_setopt(m_curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(m_curl, CURLOPT_TCP_NODELAY, 1L);
        curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, &CKeptAlive::Append);
        curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, this);
        curl_easy_setopt(m_curl, CURLOPT_HEADERFUNCTION, &CKeptAlive::Header);
        curl_easy_setopt(m_curl, CURLOPT_HEADERDATA, this);
    }
    ~CKeptAlive() { curl_easy_cleanup(m_curl); }
    CKeptAlive(const CKeptAlive&) = delete;
    CKeptAlive& operator=(const CKeptAlive&) = delete;
    CKeptAlive(CKeptAlive&&) = delete;
    CKeptAlive& operator=(CKeptAlive&&) = delete;

    /// The status (0 when there was no answer); Body() and FromCache() then
    /// tell the rest.
    long Get(const std::string& target)
    {
        m_body.clear();
        m_cacheStatus.clear();
        curl_easy_setopt(m_curl, CURLOPT_URL, (m_base + target).c_str());
        long status = 0;
        if (curl_easy_perform(m_curl) == CURLE_OK)
            curl_easy_getinfo(m_curl, CURLINFO_RESPONSE_CODE, &status);
        return status;
    }
    const std::string& Body() const { return m_body; }
    /// nginx's X-Cache-Status: empty for an answer from a file.
    const std::string& CacheStatus() const { return m_cacheStatus; }

private:
    static std::size_t Append(char* data, std::size_t size, std::size_t count, void* self)
    {
        static_cast<CKeptAlive*>(self)->m_body.append(data, size * count);
        return size * count;
    }
    static std::size_t Header(char* data, std::size_t size, std::size_t count, void* self)
    {
        const std::string line(data, size * count);
        const std::string name = "X-Cache-Status: ";
        if (line.compare(0, name.size(), name) == 0)
            static_cast<CKeptAlive*>(self)->m_cacheStatus = line.substr(name.size(), line.find('\r') - name.size());
        return size * count;
    }

    std::string m_base;
    CURL* m_curl;
    std::string m_body, m_cacheStatus;
};

struct CCompared
{
    long fromFiles = 0;
    std::vector<std::string> passedOn; // answered through the origin
    std::vector<std::string> mismatches;
};

// Asks both servers for every `step`-th of `targets` from `first` on.
void Compare(int centerPort, int nginxPort, const std::vector<std::string>& targets, std::size_t first,
             std::size_t step, CCompared& compared)
{
    CKeptAlive center(centerPort), nginx(nginxPort);
    for (std::size_t i = first; i < targets.size(); i += step)
    {
        const std::string& target = targets[i];
        const long expected = center.Get(target);
        const long got = nginx.Get(target);
        if (expected == 0 || got != expected || nginx.Body() != center.Body())
        {
            if (compared.mismatches.size() < 10)
                compared.mismatches.push_back(target + ": " + std::to_string(got) + " " + nginx.Body() +
                                              " (center: " + std::to_string(expected) + " " + center.Body() + ")");
            continue;
        }
        if (nginx.CacheStatus().empty())
            ++compared.fromFiles;
        else
            compared.passedOn.push_back(target);
    }
}

TEST(CExporterTest, FilesAndOriginAnswerAsTheCenterDoes)
{
    const std::string program = FindNginx();
    if (program.empty())
        GTEST_SKIP() << "nginx is not installed: the export with an origin is not tried against it";

    const CScratchDir scratch("vesk-origin");
    const fs::path& dir = scratch.Path();
    Json::Value products(Json::objectValue);
    // Every pair of versions is asked for: 200 versions are 80,000 requests.
    // Sanitizer builds, many times slower, ask for a smaller product; the
    // plain build asks for the full one.
    const int large = VESK_ORIGIN_TEST_VERSIONS;
    const int versions = large + 30;
    products["Alpha"] = RandomProduct(CCatalogShape{11, large, false, ""});
    products["Beta"] = RandomProduct(CCatalogShape{12, 30, false, ""});
    Json::Value root(Json::objectValue);
    root["products"] = products;
    const std::string catalogPath = (dir / "catalog.json").string();
    WriteFile(catalogPath, Json::writeString(Json::StreamWriterBuilder(), root));

    std::unique_ptr<CBackgroundProgram> alone, first, second;
    const int alonePort = StartCenter(alone, catalogPath, dir / "alone.log");
    const int firstPort = StartCenter(first, catalogPath, dir / "first.log");
    const int secondPort = StartCenter(second, catalogPath, dir / "second.log");
    ASSERT_TRUE(alonePort > 0 && firstPort > 0 && secondPort > 0);

    int port = 0;
    std::unique_ptr<CNginxServer> nginx;
    CRunResult exported;
    for (int attempt = 0; attempt < 3 && !(nginx && nginx->Started()); ++attempt)
    {
        port = FreePort();
        exported = RunProgram(VERSION_CENTER_EXE,
                              {"export", "--listen", "127.0.0.1:" + std::to_string(port), "--cache-seconds", "3600",
                               "--origin", "http://127.0.0.1:" + std::to_string(firstPort), "--origin",
                               "http://127.0.0.1:" + std::to_string(secondPort) + "/", catalogPath,
                               (dir / "export").string()});
        ASSERT_EQ(exported.status, 0) << exported.output;
        nginx.reset(new CNginxServer(program, dir, dir / "export/nginx.conf", port));
    }
    ASSERT_TRUE(nginx->Started()) << nginx->Log();
    // "version-center: wrote N answer files, ..."
    const long files = std::stol(exported.output.substr(exported.output.find("wrote ") + 6));
    EXPECT_LE(files, 20L * 2 * versions) << exported.output;

    versionCenter::CCatalog catalog;
    std::string error;
    ASSERT_TRUE(catalog.LoadFile(catalogPath, error)) << error;
    const std::vector<std::string> targets = LibraryTargets(catalog);
    // Four clients at once, so that waiting on one server overlaps work.
    const std::size_t clients = 4;
    std::vector<CCompared> parts(clients);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < clients; ++i)
        threads.emplace_back([&, i] { Compare(alonePort, port, targets, i, clients, parts[i]); });
    long fromFiles = 0;
    for (std::size_t i = 0; i < clients; ++i)
    {
        threads[i].join();
        fromFiles += parts[i].fromFiles;
        for (const std::string& mismatch : parts[i].mismatches)
            ADD_FAILURE() << "nginx answers otherwise: " << mismatch;
    }
    // Every exported file answered one request; the rest came from the
    // centers, and asked again, from nginx's cache.
    EXPECT_EQ(fromFiles, files);
    const std::vector<std::string>& passedOn = parts[0].passedOn;
    ASSERT_FALSE(passedOn.empty());
    CKeptAlive client(port);
    for (std::size_t i = 0; i < passedOn.size(); i += passedOn.size() / 50 + 1)
    {
        EXPECT_NE(client.Get(passedOn[i]), 0);
        EXPECT_EQ(client.CacheStatus(), "HIT") << passedOn[i];
    }
    // Both centers took their share.
    EXPECT_NE(ReadFile(dir / "first.log").find("\"GET /"), std::string::npos);
    EXPECT_NE(ReadFile(dir / "second.log").find("\"GET /"), std::string::npos);
}

} // namespace
