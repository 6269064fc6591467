// Load on the version center: many library clients at once on loopback, each
// asking in a loop what a host asks (versions, patches of a version, the
// patch chain, packages, file checks), against the reference center and
// against nginx serving the center's static export of the same catalog. Both
// get the same client load, so nginx is the floor: static files, no work
// per answer. The sample product is published from its release folders and
// both servers answer byte-identical bodies.
//
//   bench_center_load [--clients N] [--seconds S]   (N <= 256, S <= 30)
//
// Prints requests per second and the latency percentiles for one client and
// for N clients, per server. Not a test: the figures depend on the machine.
#include "LoadClients.h"
#include "support/CScratchDir.h"
#include "support/ChildProcess.h"
#include "support/SampleProduct.h"
#include "tools/NginxServer.h"

#include <VeskUpdate.h>

#include <httplib.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using testsupport::CBackgroundProgram;
using testsupport::CRunResult;
using testsupport::RunProgram;

namespace
{

using bench::CLoadFigures;

// A host's round of questions, one a turn; an answer that exists but was not
// read counts as a failure.
bool AskInTurn(kvrUpdate::IVersionQuery& query, std::mt19937&, std::size_t turn)
{
    switch (turn % 7)
    {
    case 0:
        return query.GetVersions() != nullptr;
    case 1:
        return query.GetPatchs("1.1") != nullptr;
    case 2:
        return query.GetPatchEvolution("1.0", "2.0")->GetCount() == 3;
    case 3:
        return query.GetPatchPackage("P-1102") != nullptr;
    case 4:
        return query.GetVersionPackage("2.0") != nullptr;
    case 5:
        return query.GetFileCheckDef("2.0") != nullptr;
    default:
        return query.GetVersionEvolution("1.0", "2.0") != nullptr;
    }
}

CLoadFigures Drive(const std::string& center, int clients, double seconds)
{
    return bench::DriveClients(center, "Editor", clients, seconds, AskInTurn);
}

void Report(const char* server, int clients, const CLoadFigures& figures)
{
    std::printf("%-22s %7d %9zu %10.0f %9.2f %9.2f %9.2f %8ld\n", server, clients, figures.latencies.size(),
                static_cast<double>(figures.latencies.size()) / figures.seconds,
                bench::Percentile(figures.latencies, 0.5), bench::Percentile(figures.latencies, 0.99),
                figures.latencies.empty() ? 0 : figures.latencies.back(), figures.failures);
}

} // namespace

int main(int argc, char** argv)
{
    int clients = 64;
    double seconds = 3;
    for (int i = 1; i + 1 < argc; i += 2)
    {
        if (std::strcmp(argv[i], "--clients") == 0)
            clients = std::max(1, std::min(256, std::atoi(argv[i + 1])));
        else if (std::strcmp(argv[i], "--seconds") == 0)
            seconds = std::max(0.5, std::min(30.0, std::atof(argv[i + 1])));
    }

    const testsupport::CScratchDir scratch("vesk-load");
    const fs::path& dir = scratch.Path();
    const testsupport::CPublishedSample sample = testsupport::PublishSampleProduct(VERSION_CENTER_EXE, dir);
    const CRunResult& published = sample.publish;
    const std::string &catalog = sample.catalog, &downloads = sample.downloads;
    if (published.status != 0)
    {
        std::fprintf(stderr, "%s", published.output.c_str());
        return 1;
    }
    const int nginxPort = FreePort();
    const std::string nginxAddress = "http://127.0.0.1:" + std::to_string(nginxPort) + "/";
    RunProgram(VERSION_CENTER_EXE, {"export", "--files", downloads, "--listen",
                                    "127.0.0.1:" + std::to_string(nginxPort), catalog, (dir / "export").string()});

    std::printf("%d clients for %.1f s per run, each client its own version query; one HTTP connection per request,\n"
                "as the library makes them. Latency in ms.\n\n",
                clients, seconds);
    std::printf("%-22s %7s %9s %10s %9s %9s %9s %8s\n", "server", "clients", "requests", "requests/s", "p50", "p99",
                "max", "failed");
    {
        CBackgroundProgram center(VERSION_CENTER_EXE, {"--listen", "127.0.0.1:0", "--files", downloads,
                                                       "--download-url", nginxAddress + "files/", catalog});
        std::string line;
        if (!center.ReadLine(line, 30))
            return 1;
        const std::string address = line.substr(line.find("http://"));
        Report("reference center", 1, Drive(address, 1, seconds));
        Report("reference center", clients, Drive(address, clients, seconds));
    }
    const std::string nginx = FindNginx();
    std::unique_ptr<CNginxServer> server;
    if (!nginx.empty())
        server.reset(new CNginxServer(nginx, dir, dir / "export/nginx.conf", nginxPort));
    if (server && server->Started())
    {
        Report("nginx, static export", 1, Drive(nginxAddress, 1, seconds));
        Report("nginx, static export", clients, Drive(nginxAddress, clients, seconds));
        server.reset();
    }
    else
        std::printf("nginx, static export: not measured (nginx %s)\n",
                    nginx.empty() ? "is not installed" : "did not start");
    return 0;
}
