// Reloads under load: 64 library clients ask for 10 s while the catalog is
// published again 5 times, against the reference center alone (reloaded with
// SIGHUP), nginx answering from the exported files (exported again each
// time), and nginx passing requests without a file to two centers with its
// cache warm (the centers reloaded, the files exported again). Every request
// must succeed: a reload drops nothing.
//
//   bench_center_reload [--clients N] [--seconds S] [--reloads R] [--versions V]
//
// Prints requests per second, latency percentiles and failed requests per
// setup. Not a test: the figures depend on the machine.
#include "LoadClients.h"
#include "support/CScratchDir.h"
#include "support/ChildProcess.h"
#include "support/Files.h"
#include "support/RandomCatalog.h"
#include "tools/NginxServer.h"

#include <VeskUpdate.h>

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using testsupport::CBackgroundProgram;

namespace
{

struct CSettings
{
    int clients = 64;
    double seconds = 10;
    int reloads = 5;
    int versions = 200;
};

using bench::CLoadFigures;
using bench::LoadClock;
using bench::LoadRequest;

// The settings' clients for the settings' time, with the reloads evenly
// within the run.
CLoadFigures Drive(const std::string& address, const CSettings& settings, const LoadRequest& ask,
                   const std::function<void()>& reload)
{
    return bench::DriveClients(
        address, "Editor", settings.clients, settings.seconds, ask, [&](LoadClock::time_point start) {
            for (int r = 1; r <= settings.reloads; ++r)
            {
                std::this_thread::sleep_until(
                    start + std::chrono::duration_cast<LoadClock::duration>(
                                std::chrono::duration<double>(settings.seconds * r / (settings.reloads + 1))));
                reload();
            }
        });
}

void Report(const char* setup, const CLoadFigures& figures, int reloads)
{
    std::printf("%-30s %9zu %10.0f %8.2f %8.2f %8.2f %7d %7ld\n", setup, figures.latencies.size(),
                static_cast<double>(figures.latencies.size()) / figures.seconds,
                bench::Percentile(figures.latencies, 0.5), bench::Percentile(figures.latencies, 0.99),
                figures.latencies.empty() ? 0 : figures.latencies.back(), reloads, figures.failures);
    std::fflush(stdout);
}

int StartCenter(std::unique_ptr<CBackgroundProgram>& center, const std::string& catalog, const fs::path& log)
{
    center.reset(new CBackgroundProgram(VERSION_CENTER_EXE, {"--listen", "127.0.0.1:0", catalog}, log.string()));
    std::string line;
    if (!center->ReadLine(line, 60) || line.find("http://127.0.0.1:") == std::string::npos)
        return 0;
    return std::stoi(line.substr(line.rfind(':') + 1));
}

int CountReloads(const fs::path& log)
{
    const std::string text = testsupport::ReadFile(log);
    int count = 0;
    for (std::string::size_type at = text.find("version-center: reloaded"); at != std::string::npos;
         at = text.find("version-center: reloaded", at + 1))
        ++count;
    return count;
}

} // namespace

int main(int argc, char** argv)
{
    CSettings settings;
    for (int i = 1; i + 1 < argc; i += 2)
    {
        if (std::strcmp(argv[i], "--clients") == 0)
            settings.clients = std::max(1, std::min(256, std::atoi(argv[i + 1])));
        else if (std::strcmp(argv[i], "--seconds") == 0)
            settings.seconds = std::max(1.0, std::min(60.0, std::atof(argv[i + 1])));
        else if (std::strcmp(argv[i], "--reloads") == 0)
            settings.reloads = std::max(0, std::min(50, std::atoi(argv[i + 1])));
        else if (std::strcmp(argv[i], "--versions") == 0)
            settings.versions = std::max(10, std::min(5000, std::atoi(argv[i + 1])));
    }

    const testsupport::CScratchDir scratch("vesk-reload");
    const fs::path& dir = scratch.Path();
    const std::string catalog = (dir / "catalog.json").string();
    testsupport::CCatalogShape shape;
    shape.versions = settings.versions;
    shape.chainOnly = true;
    const Json::Value product = testsupport::RandomProduct(shape);
    std::vector<std::string> versions = product["versions"].getMemberNames();
    // The catalog as published: each publication changes every title.
    int edition = 0;
    const auto publish = [&] {
        shape.edition = " (edition " + std::to_string(++edition) + ")";
        testsupport::WriteFile(catalog, testsupport::CatalogText("Editor", testsupport::RandomProduct(shape)));
    };
    publish();
    // The newest version: the result of the chain's last patch.
    const Json::Value& patches = product["patches"];
    const std::string newest = patches[patches.size() - 1]["result"].asString();

    std::unique_ptr<CBackgroundProgram> alone, first, second;
    const int alonePort = StartCenter(alone, catalog, dir / "alone.log");
    const int firstPort = StartCenter(first, catalog, dir / "first.log");
    const int secondPort = StartCenter(second, catalog, dir / "second.log");
    if (alonePort == 0 || firstPort == 0 || secondPort == 0)
        return 1;
    const int nginxPort = FreePort();
    const std::vector<std::string> exportArgs{"export",
                                              "--listen",
                                              "127.0.0.1:" + std::to_string(nginxPort),
                                              "--origin",
                                              "http://127.0.0.1:" + std::to_string(firstPort),
                                              "--origin",
                                              "http://127.0.0.1:" + std::to_string(secondPort),
                                              catalog,
                                              (dir / "export").string()};
    const auto exportAgain = [&] { return testsupport::RunProgram(VERSION_CENTER_EXE, exportArgs).status == 0; };
    if (!exportAgain())
        return 1;
    const auto hangUp = [](const std::unique_ptr<CBackgroundProgram>& center) {
        ::kill(static_cast<pid_t>(center->ProcessId()), SIGHUP);
    };

    // What hosts ask on their way to the newest version: all of it has a
    // file in the export.
    const LoadRequest course = [&](kvrUpdate::IVersionQuery& query, std::mt19937& random, std::size_t) {
        const std::string& version = versions[random() % versions.size()];
        switch (random() % 7)
        {
        case 0:
            return query.GetLastVersion() != nullptr;
        case 1:
            return query.GetPatchs(version.c_str()) != nullptr;
        case 2:
            return query.GetVersionPackage(version.c_str()) != nullptr;
        case 3:
            return query.GetFileCheckDef(version.c_str()) != nullptr;
        case 4:
            return query.GetVersionEvolution(version.c_str(), newest.c_str()) != nullptr;
        case 5:
            return version == newest || query.GetPatchEvolution(version.c_str(), newest.c_str())->GetCount() > 0;
        default:
            return query.GetVersions() != nullptr;
        }
    };
    // Evolutions between two versions other than the situation's: no file,
    // answered by the centers through nginx's cache.
    const std::size_t pairs = std::min<std::size_t>(versions.size(), 40);
    const LoadRequest between = [&](kvrUpdate::IVersionQuery& query, std::mt19937& random, std::size_t) {
        const std::size_t a = random() % pairs, b = random() % pairs;
        return query.GetVersionEvolution(versions[a].c_str(), versions[b].c_str()) != nullptr;
    };

    std::printf("%d library clients for %.0f s per setup, %d publications during each; %d versions.\n"
                "One HTTP connection per request, as the library makes them. Latency in ms.\n\n",
                settings.clients, settings.seconds, settings.reloads, settings.versions);
    std::printf("%-30s %9s %10s %8s %8s %8s %7s %7s\n", "setup", "requests", "requests/s", "p50", "p99", "max",
                "reloads", "failed");
    const std::string centerAddress = "http://127.0.0.1:" + std::to_string(alonePort) + "/";
    const int before = CountReloads(dir / "alone.log");
    const CLoadFigures centerFigures = Drive(centerAddress, settings, course, [&] {
        publish();
        hangUp(alone);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    Report("center alone (SIGHUP)", centerFigures, CountReloads(dir / "alone.log") - before);
    alone.reset();

    const std::string nginxProgram = FindNginx();
    std::unique_ptr<CNginxServer> nginx;
    if (!nginxProgram.empty())
        nginx.reset(new CNginxServer(nginxProgram, dir, dir / "export/nginx.conf", nginxPort));
    if (!nginx || !nginx->Started())
    {
        std::printf("nginx: not measured (%s)\n", nginxProgram.empty() ? "not installed" : "did not start");
        return 0;
    }
    const std::string nginxAddress = "http://127.0.0.1:" + std::to_string(nginxPort) + "/";
    int exports = 0;
    const auto republish = [&] {
        publish();
        exports += exportAgain() ? 1 : 0;
        hangUp(first);
        hangUp(second);
    };
    const CLoadFigures filesFigures = Drive(nginxAddress, settings, course, republish);
    Report("nginx, files (export again)", filesFigures, exports);

    // The cache warmed with every pair asked, then the same load.
    {
        kvrUpdate::IVersionQuery* query = kvrUpdate::CreateVersionQuery();
        query->SetVersionCenter(nginxAddress.c_str());
        query->SetProduct("Editor");
        for (std::size_t a = 0; a < pairs; ++a)
            for (std::size_t b = 0; b < pairs; ++b)
                query->GetVersionEvolution(versions[a].c_str(), versions[b].c_str());
        query->Release();
    }
    const int centersBefore = CountReloads(dir / "first.log");
    const CLoadFigures originFigures = Drive(nginxAddress, settings, between, republish);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    Report("nginx, origin, warm cache", originFigures, CountReloads(dir / "first.log") - centersBefore);
    return 0;
}
