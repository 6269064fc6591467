// version-center: serves a catalog of products to the update library over
// HTTP. See README.md for the command line and the catalog format.
#include "CCatalog.h"
#include "CVersionCenter.h"
#include "ServerSocket.h"

#include <httplib.h>

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <thread>

namespace
{

const char* const kUsage =
    "usage: version-center [--listen HOST:PORT] [--base-path PATH] CATALOG\n"
    "\n"
    "Serves the products of the catalog file CATALOG to the update library.\n"
    "\n"
    "  --listen HOST:PORT  address to listen on (default 127.0.0.1:8080);\n"
    "                      port 0 picks a free port. The address actually\n"
    "                      listened on is printed on standard output.\n"
    "  --base-path PATH    path in front of the product name (default /)\n"
    "  --help              show this text\n"
    "\n"
    "One line per request is logged on standard error. SIGINT or SIGTERM stops\n"
    "the server. Exit status: 0 stopped cleanly, 1 cannot listen, 2 bad command\n"
    "line, 3 the catalog does not load.\n";

struct COptions
{
    std::string catalog;
    std::string host = "127.0.0.1";
    int port = 8080;
    std::string basePath = "/";
};

bool ParseListen(const std::string& text, COptions& options)
{
    const std::string::size_type colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size())
        return false;
    std::string host = text.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    const std::string port = text.substr(colon + 1);
    if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const int number = std::stoi(port);
    if (number > 65535)
        return false;
    options.host = host;
    options.port = number;
    return true;
}

// 0 to go on, otherwise the exit status.
int ParseArguments(int argc, char** argv, COptions& options)
{
    for (int i = 1; i < argc; ++i)
    {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h")
        {
            std::fputs(kUsage, stdout);
            return -1;
        }
        if ((argument == "--listen" || argument == "--base-path") && i + 1 < argc)
        {
            const std::string value = argv[++i];
            if (argument == "--base-path")
                options.basePath = value;
            else if (!ParseListen(value, options))
            {
                std::fprintf(stderr, "version-center: --listen wants HOST:PORT with a port from 0 to 65535, not '%s'\n",
                             value.c_str());
                return 2;
            }
            continue;
        }
        if (argument.size() > 1 && argument[0] == '-')
        {
            std::fprintf(stderr, "version-center: unknown or incomplete option '%s'\n%s", argument.c_str(), kUsage);
            return 2;
        }
        if (!options.catalog.empty())
        {
            std::fprintf(stderr, "version-center: only one catalog may be given\n%s", kUsage);
            return 2;
        }
        options.catalog = argument;
    }
    if (options.catalog.empty())
    {
        std::fprintf(stderr, "version-center: no catalog given\n%s", kUsage);
        return 2;
    }
    return 0;
}

std::mutex g_logLock;

void LogRequest(const httplib::Request& request, const httplib::Response& response)
{
    char stamp[32] = "";
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local))
        std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    const std::string line = std::string(stamp) + ' ' + request.remote_addr + " \"" + request.method + ' ' +
                             request.target + "\" " + std::to_string(response.status) + ' ' +
                             std::to_string(response.body.size()) + '\n';
    std::lock_guard<std::mutex> guard(g_logLock);
    std::fwrite(line.data(), 1, line.size(), stderr);
}

} // namespace

int main(int argc, char** argv)
{
    COptions options;
    const int parsed = ParseArguments(argc, argv, options);
    if (parsed != 0)
        return parsed < 0 ? 0 : parsed;

    versionCenter::CCatalog catalog;
    std::string error;
    if (!catalog.LoadFile(options.catalog, error))
    {
        std::fprintf(stderr, "version-center: %s\n", error.c_str());
        return 3;
    }
    const std::size_t productCount = catalog.Products().size();

    // SIGINT and SIGTERM are taken by one thread with sigwait, so no handler
    // runs inside the server's threads. Block them before any thread starts;
    // SIGUSR1 wakes that thread when the server ends by itself.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    const versionCenter::CVersionCenter center(std::move(catalog), options.basePath);
    httplib::Server server;
    server.set_tcp_nodelay(true);
    server.set_logger(LogRequest);
    center.Mount(server);

    const int port = versionCenter::BindServer(server, options.host, options.port);
    if (port <= 0)
    {
        std::fprintf(stderr, "version-center: cannot listen on %s:%d (address in use or not available)\n",
                     options.host.c_str(), options.port);
        return 1;
    }
    const std::string host = options.host.find(':') != std::string::npos ? '[' + options.host + ']' : options.host;
    std::string base = options.basePath;
    if (base.empty() || base.front() != '/')
        base.insert(base.begin(), '/');
    if (base.back() != '/')
        base += '/';
    std::printf("version-center: serving %zu product%s from %s at http://%s:%d%s\n", productCount,
                productCount == 1 ? "" : "s", options.catalog.c_str(), host.c_str(), port, base.c_str());
    std::fflush(stdout);

    std::atomic<bool> finished{false};
    std::thread stopper([&] {
        int received = 0;
        if (sigwait(&signals, &received) != 0 || received == SIGUSR1)
            return;
        std::fprintf(stderr, "version-center: %s received, stopping\n", received == SIGINT ? "SIGINT" : "SIGTERM");
        // stop() has no effect until the listen loop runs; repeat until it ends.
        while (!finished)
        {
            server.stop();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });

    const bool clean = server.listen_after_bind();
    finished = true;
    pthread_kill(stopper.native_handle(), SIGUSR1);
    stopper.join();
    std::fprintf(stderr, "version-center: stopped\n");
    return clean ? 0 : 1;
}
