// Downloading a whole release through a loopback proxy that adds a round
// trip: the transfer pool against curl fetching the same files from the same
// reference version center through the same proxy, side by side in one run.
//
//   pool, N at once  vs  curl --parallel --parallel-max N (one command line)
//   pool, 1 at once  vs  curl with every url on one command line, which
//                        keeps its connection alive from one file to the next
//
// The release (3,000 files, 24 MB by default, sizes spread from a few hundred
// bytes to a few hundred kilobytes) is generated in a scratch directory and
// published with `version-center publish`. Each measurement is a whole
// download into an empty directory; the medians of the repetitions are
// printed, with the ratio pool / curl.
//
// With --host VESK_HOST the "pool" side is `vesk-host apply-version 1.0 DIR
// --jobs N` instead (the download plug-in, through the library, with the
// version queries), verifying the release's signed manifests (--trust: the
// release is published signed) unless --host-trust no, plus any
// --host-option given.
//
//   bench_transfer [--files N] [--megabytes M] [--jobs N] [--round-trips 50,0]
//                  [--repetitions R] [--serial-repetitions R] [--curl PATH] [--only pool|curl]
//                  [--host VESK_HOST [--host-trust yes|no] [--host-option OPT]...]
#include "CTransferPool.h"

#include "support/CScratchDir.h"
#include "support/ChildProcess.h"
#include "support/Files.h"
#include "support/TransferSha256.h"

#include <sodium.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using testsupport::CBackgroundProgram;
using testsupport::CRunResult;
using testsupport::RunProgram;

namespace
{

struct CSettings
{
    int files = 3000;
    double megabytes = 24;
    int jobs = 8;
    std::vector<int> roundTrips{50, 0};
    int repetitions = 3;
    int serialRepetitions = 3;
    std::string curl = "/usr/bin/curl";
    std::string only; // "pool" (or "host") or "curl": measure one side alone
    std::string host;
    bool trust = true; // the host verifies the signed manifests (--trust)
    std::vector<std::string> hostOptions;
};

struct CFile
{
    std::string path; // inside the release
    std::string sha256;
    long long length = 0;
};

// Writes the release: sizes spread evenly on a log scale from 256 B to 256
// KB, then scaled so that they add up to the size asked for.
std::vector<CFile> WriteRelease(const fs::path& dir, int count, double megabytes)
{
    std::mt19937 random(20261209);
    std::uniform_real_distribution<double> exponent(8, 18);
    std::vector<double> weights;
    double sum = 0;
    for (int i = 0; i < count; ++i)
    {
        weights.push_back(std::pow(2.0, exponent(random)));
        sum += weights.back();
    }
    std::vector<CFile> files;
    std::string bytes;
    for (int i = 0; i < count; ++i)
    {
        CFile file;
        file.path = "d" + std::to_string(i % 60) + "/f" + std::to_string(i) + ".bin";
        file.length = std::max(1LL,
                               static_cast<long long>(weights[static_cast<std::size_t>(i)] / sum * megabytes * 1e6));
        bytes.resize(static_cast<std::size_t>(file.length));
        for (char& byte : bytes)
            byte = static_cast<char>(random());
        file.sha256 = testsupport::TransferSha256Hex(bytes);
        testsupport::WriteFile(dir / file.path, bytes);
        files.push_back(file);
    }
    return files;
}

int FreePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("no free port");
    ::close(fd);
    return ntohs(address.sin_port);
}

// The text after the last ':' of the first line a program prints.
std::string AfterColon(CBackgroundProgram& program, const char* what)
{
    std::string line;
    if (!program.ReadLine(line, 30))
        throw std::runtime_error(std::string(what) + " did not start");
    return line.substr(line.rfind(':') + 1);
}

double Seconds(const std::function<void()>& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? 0 : (n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2);
}

void Check(bool ok, const std::string& what)
{
    if (!ok)
        throw std::runtime_error(what);
}

// The same download four ways (or two), against one proxy.
class CRound
{
public:
    CRound(const CSettings& settings, const std::vector<CFile>& files, const fs::path& scratch, std::string base)
        : m_settings(settings), m_files(files), m_scratch(scratch), m_base(std::move(base))
    {
    }

    double Pool(int jobs)
    {
        const fs::path out = Empty();
        return Seconds([&] {
            std::vector<CTransferJob> transfers(m_files.size());
            for (std::size_t i = 0; i < m_files.size(); ++i)
            {
                const fs::path path = out / m_files[i].path;
                transfers[i].url = m_base + m_files[i].path;
                transfers[i].open = [path](long long& present, std::string&) {
                    fs::create_directories(path.parent_path());
                    present = 0;
                    return std::fopen(path.string().c_str(), "w+b");
                };
                transfers[i].length = m_files[i].length;
                transfers[i].digest = m_files[i].sha256;
            }
            CTransferOptions options;
            options.jobs = jobs;
            CTransferPool pool(options, testsupport::TransferSha256s());
            const bool ok = pool.Run(transfers, TransferProgressSink());
            Check(ok, "the pool failed: " + FirstError(transfers));
        });
    }

    double Host(int jobs)
    {
        const fs::path out = Empty();
        std::vector<std::string> args{
            "--state",           (m_scratch / "host.state").string(), "apply-version", "1.0", out.string(), "--jobs",
            std::to_string(jobs)};
        if (m_settings.trust)
            args.insert(args.begin(), {"--trust", (m_scratch / "bench.pub").string()});
        args.insert(args.end(), m_settings.hostOptions.begin(), m_settings.hostOptions.end());
        CRunResult run;
        const double seconds = Seconds([&] { run = RunProgram(m_settings.host, args); });
        Check(run.status == 0, "vesk-host failed: " + run.output);
        CheckTree(out);
        return seconds;
    }

    double Curl(int jobs)
    {
        const fs::path out = Empty();
        const fs::path config = m_scratch / "curl.config";
        {
            std::ofstream text(config);
            for (const CFile& file : m_files)
                text << "url = \"" << m_base << file.path << "\"\noutput = \"" << (out / file.path).string() << "\"\n";
        }
        std::vector<std::string> args{"--silent",      "--show-error", "--fail",
                                      "--create-dirs", "--config",     config.string()};
        if (jobs > 1)
            args.insert(args.begin(), {"--parallel", "--parallel-max", std::to_string(jobs)});
        CRunResult run;
        const double seconds = Seconds([&] { run = RunProgram(m_settings.curl, args); });
        Check(run.status == 0, "curl failed: " + run.output);
        CheckTree(out);
        return seconds;
    }

private:
    fs::path Empty()
    {
        const fs::path out = m_scratch / "out";
        fs::remove_all(out);
        fs::create_directories(out);
        return out;
    }

    // Every file there with its length (the digests are the pool's to check).
    void CheckTree(const fs::path& out)
    {
        for (const CFile& file : m_files)
        {
            std::error_code error;
            Check(static_cast<long long>(fs::file_size(out / file.path, error)) == file.length && !error,
                  "missing or wrong: " + file.path);
        }
    }

    static std::string FirstError(const std::vector<CTransferJob>& transfers)
    {
        for (const CTransferJob& transfer : transfers)
        {
            if (!transfer.ok)
                return transfer.url + ": " + transfer.error;
        }
        return std::string();
    }

    const CSettings& m_settings;
    const std::vector<CFile>& m_files;
    fs::path m_scratch;
    std::string m_base;
};

CSettings ReadSettings(int argc, char** argv)
{
    CSettings settings;
    for (int i = 1; i < argc; ++i)
    {
        const std::string option = argv[i];
        if (i + 1 >= argc)
            throw std::runtime_error("missing value of " + option);
        const std::string value = argv[++i];
        if (option == "--files")
            settings.files = std::clamp(std::atoi(value.c_str()), 1, 100000);
        else if (option == "--megabytes")
            settings.megabytes = std::clamp(std::atof(value.c_str()), 0.001, 2000.0);
        else if (option == "--jobs")
            settings.jobs = std::clamp(std::atoi(value.c_str()), 1, 64);
        else if (option == "--repetitions")
            settings.repetitions = std::clamp(std::atoi(value.c_str()), 1, 21);
        else if (option == "--serial-repetitions")
            settings.serialRepetitions = std::clamp(std::atoi(value.c_str()), 0, 21);
        else if (option == "--only")
            settings.only = value;
        else if (option == "--curl")
            settings.curl = value;
        else if (option == "--host")
            settings.host = value;
        else if (option == "--host-trust")
            settings.trust = value != "no";
        else if (option == "--host-option")
            settings.hostOptions.push_back(value);
        else if (option == "--round-trips")
        {
            settings.roundTrips.clear();
            std::istringstream list(value);
            for (std::string item; std::getline(list, item, ',');)
                settings.roundTrips.push_back(std::clamp(std::atoi(item.c_str()), 0, 1000));
        }
        else
            throw std::runtime_error("unknown option " + option);
    }
    return settings;
}

void Print(const char* what, const std::vector<double>& ours, const std::vector<double>& curl, const char* name)
{
    const double a = Median(ours);
    const double b = Median(curl);
    std::printf("  %-26s %-5s %8.2f s   curl %8.2f s   ratio %5.2f   (medians of %zu)\n", what, name, a, b,
                b > 0 ? a / b : 0, ours.size());
    std::fflush(stdout);
}

void Measure(const CSettings& settings, const std::vector<CFile>& files, const fs::path& dir)
{
    const char* name = settings.host.empty() ? "pool" : "host";
    for (const int roundTrip : settings.roundTrips)
    {
        const int centerPort = FreePort();
        CBackgroundProgram proxy(LATENCY_PROXY_EXE,
                                 {"--to", std::to_string(centerPort), "--delay-ms", std::to_string(roundTrip / 2),
                                  "--max-connections", "128", "--seconds", "3600"});
        const std::string address = "http://127.0.0.1:" + AfterColon(proxy, "the proxy") + "/";
        CBackgroundProgram center(VERSION_CENTER_EXE, {"--listen", "127.0.0.1:" + std::to_string(centerPort), "--files",
                                                       (dir / "downloads").string(), "--download-url",
                                                       address + "files/", (dir / "catalog.json").string()});
        AfterColon(center, "the version center");
        if (!settings.host.empty())
        {
            fs::remove(dir / "host.state");
            std::vector<std::string> args{
                "--state", (dir / "host.state").string(), "init", "Bench", address, "--installed", "0.0.0.0"};
            if (settings.trust)
                args.insert(args.begin(), {"--trust", (dir / "bench.pub").string()});
            const CRunResult init = RunProgram(settings.host, args);
            Check(init.status == 0, "vesk-host init failed: " + init.output);
        }
        CRound round(settings, files, dir, address + "files/Bench/1.0.0.0/");
        const auto ours = [&](int jobs) {
            if (settings.only == "curl")
                return 0.0;
            return settings.host.empty() ? round.Pool(jobs) : round.Host(jobs);
        };
        const auto curl = [&](int jobs) {
            return settings.only.empty() || settings.only == "curl" ? round.Curl(jobs) : 0.0;
        };

        std::printf("round trip %d ms:\n", roundTrip);
        std::vector<double> parallelOurs, parallelCurl, serialOurs, serialCurl;
        for (int i = 0; i < settings.repetitions; ++i)
        {
            parallelOurs.push_back(ours(settings.jobs));
            parallelCurl.push_back(curl(settings.jobs));
        }
        Print((std::to_string(settings.jobs) + " at once").c_str(), parallelOurs, parallelCurl, name);
        for (int i = 0; i < settings.serialRepetitions; ++i)
        {
            serialOurs.push_back(ours(1));
            serialCurl.push_back(curl(1));
        }
        if (settings.serialRepetitions > 0)
            Print("1 at a time, kept alive", serialOurs, serialCurl, name);
        center.Stop();
        proxy.Stop();
    }
}

} // namespace

int main(int argc, char** argv)
{
    try
    {
        const CSettings settings = ReadSettings(argc, argv);
        if (sodium_init() < 0)
            throw std::runtime_error("libsodium does not start");
        testsupport::CScratchDir scratch("vesk-bench-transfer");
        const std::vector<CFile> files = WriteRelease(scratch / "releases" / "1.0", settings.files, settings.megabytes);
        // Signed, so that a host can verify what it applies (--trust).
        const CRunResult keygen = RunProgram(
            VERSION_CENTER_EXE,
            {"keygen", "--secret", (scratch / "bench.key").string(), "--public", (scratch / "bench.pub").string()});
        Check(keygen.status == 0, "keygen failed: " + keygen.output);
        const CRunResult publish = RunProgram(
            VERSION_CENTER_EXE, {"publish", "--product", "Bench", "--releases", (scratch / "releases").string(),
                                 "--out", (scratch / "downloads").string(), "--catalog",
                                 (scratch / "catalog.json").string(), "--sign", (scratch / "bench.key").string()});
        Check(publish.status == 0, "publish failed: " + publish.output);
        long long bytes = 0;
        for (const CFile& file : files)
            bytes += file.length;
        std::printf("release: %zu files, %.1f MB; %d at once\n", files.size(), static_cast<double>(bytes) / 1e6,
                    settings.jobs);
        Measure(settings, files, scratch.Path());
        return 0;
    }
    catch (const std::exception& error)
    {
        std::fprintf(stderr, "bench_transfer: %s\n", error.what());
        return 1;
    }
}
