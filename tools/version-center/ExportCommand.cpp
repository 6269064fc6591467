// version-center export: a catalog as static files and an nginx server block.
#include "CCatalog.h"
#include "CExporter.h"
#include "CVersionCenter.h"
#include "Commands.h"
#include "DownloadUrl.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace versionCenter
{
namespace
{

const char kSynopsis[] = "version-center export [--base-path PATH] [--download-url URL] [--files DIR] "
                         "[--listen HOST:PORT] [--dry-run] CATALOG DIR";

const std::vector<cli::COption> kOptions = {
    {"base-path", "PATH", 0},   {"download-url", "URL", 0}, {"files", "DIR", 0},
    {"listen", "HOST:PORT", 0}, {"dry-run", nullptr, 0},
};

const std::string kHelp = std::string("usage: ") + kSynopsis +
                          "\n"
                          "\n"
                          "Writes every answer the version center gives for CATALOG as a static file\n"
                          "tree under DIR/answers, and DIR/nginx.conf, an nginx server block that maps\n"
                          "the library's requests (query parameters included) onto those files and\n"
                          "answers anything else with 404 and a JSON error body. Include the block in\n"
                          "nginx's http block. A previous export in DIR is replaced.\n"
                          "\n"
                          "  --base-path PATH      path in front of the product name (default /)\n"
                          "  --files DIR           nginx also serves the download tree DIR under\n"
                          "                        <base path>files/\n"
                          "  --download-url URL    completes the catalog's download addresses relative\n"
                          "                        to the tree (default with --files: the tree's address\n"
                          "                        on the --listen address)\n"
                          "  --listen HOST:PORT    what nginx listens on (default 127.0.0.1:8080)\n"
                          "  --dry-run             only count the files and bytes of the export\n"
                          "  -h, --help            this text\n"
                          "  --version             the program's name and version\n"
                          "\n" +
                          kExitStatusHelp;

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
    CCatalog catalog;
    if (!catalog.LoadFile(line.GetArguments()[0], error))
        return line.Fail(error, ExitBadInput);
    if (!CanServeDownloadTree(catalog, request.files.string(), basePath, error))
        return line.Fail(error, ExitBadInput);
    if (downloadUrl.empty() && catalog.HasTreeRelativeUrls())
        return line.UsageError("the catalog's download addresses are relative to a download tree; give --files or "
                               "--download-url");

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
