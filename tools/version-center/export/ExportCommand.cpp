// version-center export: a catalog as static files and an nginx server block.
#include "Commands.h"
#include "catalog/CCatalog.h"
#include "catalog/DownloadUrl.h"
#include "export/CExporter.h"
#include "serving/CVersionCenter.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace versionCenter
{
namespace
{

const char kSynopsis[] = "version-center export [--base-path PATH] [--download-url URL] [--files DIR] "
                         "[--listen HOST:PORT] [--origin URL]... [--complete] [--cache-seconds N] [--dry-run] "
                         "CATALOG DIR";

const std::vector<cli::COption> kOptions = {
    {"base-path", "PATH", 0}, {"download-url", "URL", 0}, {"files", "DIR", 0},       {"listen", "HOST:PORT", 0},
    {"origin", "URL", 0},     {"complete", nullptr, 0},   {"cache-seconds", "N", 0}, {"dry-run", nullptr, 0},
};

const std::string kHelp = std::string("usage: ") + kSynopsis +
                          "\n"
                          "\n"
                          "Writes the version center's answers for CATALOG as a static file tree under\n"
                          "DIR/answers, and DIR/nginx.conf, an nginx configuration that maps the\n"
                          "library's requests (query parameters included) onto those files. Include it\n"
                          "in nginx's http block. A previous export in DIR is replaced.\n"
                          "\n"
                          "With --origin the export holds what hosts ask on their way to the versions\n"
                          "the situation names (its size grows with the number of versions), and nginx\n"
                          "passes every other request to the version centers given, caching their\n"
                          "answers. Without it the export holds the answers for every pair of versions\n"
                          "and nginx answers anything else with 404; above 100000 answers that is\n"
                          "refused unless --complete is given.\n"
                          "\n"
                          "  --base-path PATH      path in front of the product name (default /)\n"
                          "  --files DIR           nginx also serves the download tree DIR under\n"
                          "                        <base path>files/\n"
                          "  --download-url URL    completes the catalog's download addresses relative\n"
                          "                        to the tree (default with --files: the tree's address\n"
                          "                        on the --listen address)\n"
                          "  --listen HOST:PORT    what nginx listens on (default 127.0.0.1:8080)\n"
                          "  --origin URL          a version center serving CATALOG (http://HOST:PORT);\n"
                          "                        repeat it for several\n"
                          "  --complete            every pair of versions, even above the limit\n"
                          "  --cache-seconds N     how long nginx and caches in front of it may keep an\n"
                          "                        answer (default 60)\n"
                          "  --dry-run             only count the files and bytes of the export\n"
                          "  -h, --help            this text\n"
                          "  --version             the program's name and version\n"
                          "\n" +
                          kExitStatusHelp;

// Reads --origin, --complete and --cache-seconds into `request`; false with
// `status` the exit status when the line is wrong.
bool ReadOriginOptions(const cli::CCommandLine& line, const std::string& basePath, CExportRequest& request, int& status)
{
    std::string error;
    for (const std::string& url : line.Values("origin"))
    {
        COrigin origin;
        if (!ParseOrigin(url, basePath, origin, error))
            status = line.UsageError(error);
        else if (!request.origins.empty() && origin.scheme != request.origins.front().scheme)
            status = line.UsageError("the origins must all be http or all https");
        else
        {
            request.origins.push_back(origin);
            continue;
        }
        return false;
    }
    request.complete = request.origins.empty() || line.Has("complete");
    if (line.Has("cache-seconds"))
    {
        const std::string seconds = line.Value("cache-seconds");
        if (seconds.empty() || seconds.size() > 9 || seconds.find_first_not_of("0123456789") != std::string::npos)
        {
            status = line.UsageError("--cache-seconds wants a whole number of seconds, not '" + seconds + "'");
            return false;
        }
        request.cacheSeconds = std::stoi(seconds);
    }
    return true;
}

} // namespace

int ExportCommand(int argc, const char* const* argv)
{
    cli::CCommandLine line("version-center", kSynopsis);
    int status = cli::ExitOk;
    if (!line.Start(argc, argv, kOptions, kHelp.c_str(), status))
        return status;
    if (line.GetArguments().size() != 2)
        return line.UsageError("export takes a catalog and a folder");
    CExportRequest request;
    request.directory = line.GetArguments()[1];
    request.files = line.Value("files");
    request.dryRun = line.Has("dry-run");
    if (line.Has("listen"))
        request.listen = line.Value("listen");
    std::string host;
    int port = 0;
    if (!ParseListen(request.listen, host, port) || port == 0)
        return line.UsageError("--listen wants HOST:PORT with a port from 1 to 65535, not '" + request.listen + "'");
    const std::string basePath = NormalBasePath(line.Has("base-path") ? line.Value("base-path") : "/");
    std::string downloadUrl = line.Value("download-url");
    if (downloadUrl.empty() && !request.files.empty())
        downloadUrl = "http://" + request.listen + basePath + "files/";

    std::string error;
    if (!ReadOriginOptions(line, basePath, request, status))
        return status;

    CCatalog catalog;
    if (!catalog.LoadFile(line.GetArguments()[0], error))
        return line.Fail(error, ExitBadInput);
    if (!CanServeDownloadTree(catalog, request.files.string(), basePath, error))
        return line.Fail(error, ExitBadInput);
    if (downloadUrl.empty() && catalog.HasTreeRelativeUrls())
        return line.UsageError("the catalog's download addresses are relative to a download tree; give --files or "
                               "--download-url");

    const std::int64_t complete = CompleteExportRequests(catalog);
    if (request.origins.empty() && !line.Has("complete") && complete > kCompleteExportLimit)
        return line.Fail("a complete export of " + line.GetArguments()[0] + " asks " + std::to_string(complete) +
                             " answers (every ordered pair of versions has its own), more than " +
                             std::to_string(kCompleteExportLimit) +
                             "; give --origin URL so that version centers answer the pairs, or --complete",
                         cli::ExitUsage);

    const CVersionCenter center(std::move(catalog), basePath, downloadUrl);
    CExportSummary summary;
    if (!Export(center, request, summary, error))
        return line.Fail(error);
    std::printf("version-center: %s %lld answer files, %lld bytes%s\n", request.dryRun ? "would write" : "wrote",
                static_cast<long long>(summary.files), static_cast<long long>(summary.bytes),
                request.dryRun ? ""
                               : (" under " + (request.directory / "answers").string() + "; nginx server block " +
                                  (request.directory / "nginx.conf").string())
                                     .c_str());
    return cli::ExitOk;
}

} // namespace versionCenter
