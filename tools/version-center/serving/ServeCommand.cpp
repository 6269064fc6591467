// The default command: serve a catalog (and a download tree) over HTTP.
#include "Commands.h"
#include "catalog/CCatalog.h"
#include "catalog/DownloadUrl.h"
#include "serving/CReloadingCenter.h"
#include "serving/ServerSocket.h"

#include <httplib.h>

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace versionCenter
{
namespace
{

const char kTool[] = "version-center";
const char kSynopsis[] = "version-center [--listen HOST:PORT] [--base-path PATH] [--files DIR] [--download-url URL] "
                         "CATALOG";

const std::vector<cli::COption> kOptions = {
    {"listen", "HOST:PORT", 0},
    {"base-path", "PATH", 0},
    {"files", "DIR", 0},
    {"download-url", "URL", 0},
};

const std::string kHelp = std::string("usage: ") + kSynopsis +
                          "\n"
                          "       version-center publish ...   (see version-center publish --help)\n"
                          "       version-center export ...    (see version-center export --help)\n"
                          "       version-center keygen ...    (see version-center keygen --help)\n"
                          "\n"
                          "Serves the products of the catalog file CATALOG to the update library.\n"
                          "\n"
                          "  --listen HOST:PORT    address to listen on (default 127.0.0.1:8080);\n"
                          "                        port 0 picks a free port. The address actually\n"
                          "                        listened on is printed on standard output.\n"
                          "  --base-path PATH      path in front of the product name (default /)\n"
                          "  --files DIR           also serve the download tree DIR under\n"
                          "                        <base path>files/\n"
                          "  --download-url URL    the address the download tree is served at; the\n"
                          "                        catalog's download addresses relative to the tree\n"
                          "                        are completed with it (default with --files: this\n"
                          "                        server's own address of the tree)\n"
                          "  -h, --help            this text\n"
                          "  --version             the program's name and version\n"
                          "\n"
                          "Options stand anywhere on the line, as --opt=VALUE or --opt VALUE; -- ends\n"
                          "them. One line per request is logged on standard error. SIGHUP rereads\n"
                          "the catalog and the download tree (requests in flight finish on the old\n"
                          "ones; a catalog that does not load is refused and the old one kept).\n"
                          "SIGINT or SIGTERM stops the server.\n"
                          "\n" +
                          kExitStatusHelp;

struct CServeOptions
{
    std::string catalog;
    std::string host = "127.0.0.1";
    int port = 8080;
    std::string basePath = "/";
    std::string files;
    std::string downloadUrl;
};

std::mutex g_logLock;

void LogRequest(const httplib::Request& request, const httplib::Response& response)
{
    char stamp[32] = "";
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local))
        std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    // A file of the download tree is sent by a content provider, so its
    // length is in the header rather than in the body.
    const std::string length = response.get_header_value("Content-Length");
    const std::string line = std::string(stamp) + ' ' + request.remote_addr + " \"" + request.method + ' ' +
                             request.target + "\" " + std::to_string(response.status) + ' ' +
                             (length.empty() ? std::to_string(response.body.size()) : length) + '\n';
    std::lock_guard<std::mutex> guard(g_logLock);
    std::fwrite(line.data(), 1, line.size(), stderr);
}

// Reads the command line into `options`; false with `status` the exit status
// when the program ends here (--help, --version, a usage error).
bool ParseArguments(const cli::CCommandLine& line, CServeOptions& options, int& status)
{
    const std::vector<std::string>& arguments = line.GetArguments();
    if (arguments.size() != 1)
    {
        status = line.UsageError(arguments.empty() ? "no catalog given" : "only one catalog may be given");
        return false;
    }
    options.catalog = arguments.front();
    const std::string listen = line.Value("listen");
    if (!listen.empty() && !ParseListen(listen, options.host, options.port))
    {
        status = line.UsageError("--listen wants HOST:PORT with a port from 0 to 65535, not '" + listen + "'");
        return false;
    }
    if (line.Has("base-path"))
        options.basePath = NormalBasePath(line.Value("base-path"));
    options.files = line.Value("files");
    options.downloadUrl = line.Value("download-url");
    const bool wildcard = options.host.empty() || options.host == "0.0.0.0" || options.host == "::";
    if (!options.files.empty() && options.downloadUrl.empty() && wildcard)
    {
        status = line.UsageError("--files on every address (" + options.host +
                                 ") needs --download-url: the address clients reach the downloads at");
        return false;
    }
    return true;
}

// Runs the server until SIGINT or SIGTERM, reloading on SIGHUP; the exit
// status.
int Run(httplib::Server& server, CReloadingCenter& center)
{
    // The signals are taken by one thread with sigwait, so no handler runs
    // inside the server's threads. SIGUSR1 wakes that thread when the server
    // ends by itself. The signals are blocked before any thread starts (the
    // server starts its threads when it listens), so every thread inherits
    // the mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    sigaddset(&signals, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::atomic<bool> finished{false};
    std::thread stopper([&] {
        int received = 0;
        int failed = 0;
        while ((failed = sigwait(&signals, &received)) == 0 && received == SIGHUP)
            center.Reload();
        if (failed != 0 || received == SIGUSR1)
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
    return clean ? cli::ExitOk : cli::ExitFailed;
}

} // namespace

int ServeCommand(int argc, const char* const* argv)
{
    cli::CCommandLine line(kTool, kSynopsis);
    int status = cli::ExitOk;
    CServeOptions options;
    if (!line.Start(argc, argv, kOptions, kHelp.c_str(), status) || !ParseArguments(line, options, status))
        return status;

    CServeSource source{options.catalog, options.files, options.basePath, options.downloadUrl};
    CCatalog catalog;
    std::string error;
    if (!CReloadingCenter(source).Read(catalog, error))
        return line.Fail(error, ExitBadInput);
    const std::size_t productCount = catalog.Products().size();

    httplib::Server server;
    server.set_tcp_nodelay(true);
    // nginx in front keeps its connections to the center open; the server
    // library's default closes each after 5 requests.
    server.set_keep_alive_max_count(1000);
    server.set_logger(LogRequest);
    const int port = BindServer(server, options.host, options.port);
    if (port <= 0)
        return line.Fail("cannot listen on " + options.host + ":" + std::to_string(options.port) +
                         " (address in use or not available)");
    const std::string host = options.host.find(':') != std::string::npos ? '[' + options.host + ']' : options.host;
    const std::string address = "http://" + host + ":" + std::to_string(port) + options.basePath;
    std::string downloadUrl = options.downloadUrl;
    if (downloadUrl.empty() && !options.files.empty())
        downloadUrl = address + "files/";
    if (downloadUrl.empty() && catalog.HasTreeRelativeUrls())
        std::fprintf(stderr, "version-center: warning: the catalog's download addresses are relative to a download "
                             "tree; give --files or --download-url so that clients can use them\n");

    source.downloadUrl = downloadUrl;
    CReloadingCenter center(source);
    center.Install(std::move(catalog));
    center.Mount(server);

    std::printf("version-center: serving %zu product%s from %s at %s\n", productCount, productCount == 1 ? "" : "s",
                options.catalog.c_str(), address.c_str());
    if (!options.files.empty())
        std::printf("version-center: downloads from %s at %s\n", options.files.c_str(), WithSlash(downloadUrl).c_str());
    std::fflush(stdout);
    return Run(server, center);
}

} // namespace versionCenter
