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
#include "support/CScratchDir.h"
#include "support/ChildProcess.h"
#include "support/SampleProduct.h"
#include "tools/NginxServer.h"

#include <VeskUpdate.h>

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using testsupport::CBackgroundProgram;
using testsupport::CRunResult;
using testsupport::RunProgram;
using Clock = std::chrono::steady_clock;

namespace
{

struct CFigures
{
    long requests = 0;
    long failures = 0;
    double seconds = 0;
    std::vector<double> latencies; // milliseconds
};

// One host's round of questions; an answer that exists but was not read
// counts as a failure.
void AskRound(kvrUpdate::IVersionQuery* query, std::vector<double>& latencies, long& failures)
{
    const auto timed = [&](auto ask) {
        const Clock::time_point start = Clock::now();
        const bool ok = ask();
        latencies.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        if (!ok)
            ++failures;
    };
    timed([&] { return query->GetVersions() != nullptr; });
    timed([&] { return query->GetPatchs("1.1") != nullptr; });
    timed([&] { return query->GetPatchEvolution("1.0", "2.0")->GetCount() == 3; });
    timed([&] { return query->GetPatchPackage("P-1102") != nullptr; });
    timed([&] { return query->GetVersionPackage("2.0") != nullptr; });
    timed([&] { return query->GetFileCheckDef("2.0") != nullptr; });
    timed([&] { return query->GetVersionEvolution("1.0", "2.0") != nullptr; });
}

CFigures Drive(const std::string& center, int clients, double seconds)
{
    std::vector<CFigures> perClient(static_cast<std::size_t>(clients));
    std::atomic<bool> go{false};
    const Clock::time_point start = Clock::now();
    const Clock::time_point end = start +
                                  std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    std::vector<std::thread> threads;
    for (CFigures& figures : perClient)
    {
        threads.emplace_back([&] {
            kvrUpdate::IVersionQuery* query = kvrUpdate::CreateVersionQuery();
            query->SetVersionCenter(center.c_str());
            query->SetProduct("Editor");
            while (!go)
                std::this_thread::yield();
            while (Clock::now() < end)
                AskRound(query, figures.latencies, figures.failures);
            query->Release();
        });
    }
    go = true;
    for (std::thread& thread : threads)
        thread.join();
    CFigures total;
    total.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    for (CFigures& figures : perClient)
    {
        total.failures += figures.failures;
        total.latencies.insert(total.latencies.end(), figures.latencies.begin(), figures.latencies.end());
    }
    total.requests = static_cast<long>(total.latencies.size());
    std::sort(total.latencies.begin(), total.latencies.end());
    return total;
}

double Percentile(const std::vector<double>& sorted, double p)
{
    if (sorted.empty())
        return 0;
    return sorted[std::min(sorted.size() - 1, static_cast<std::size_t>(p * static_cast<double>(sorted.size())))];
}

void Report(const char* server, int clients, const CFigures& figures)
{
    std::printf("%-22s %7d %9ld %10.0f %9.2f %9.2f %9.2f %8ld\n", server, clients, figures.requests,
                static_cast<double>(figures.requests) / figures.seconds, Percentile(figures.latencies, 0.5),
                Percentile(figures.latencies, 0.99), figures.latencies.empty() ? 0 : figures.latencies.back(),
                figures.failures);
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
