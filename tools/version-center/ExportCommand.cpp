// version-center export: a catalog as static files and an nginx server block.
#include "CCatalog.h"
#include "CExporter.h"
#include "CVersionCenter.h"
#include "Commands.h"
#include "DownloadUrl.h"

#include <cstdio>
#include <filesystem>

namespace versionCenter
{
namespace
{

const char kUsage[] = "usage: version-center export [--base-path PATH] [--download-url URL] [--files DIR] "
                      "[--listen HOST:PORT] [--dry-run] CATALOG DIR\n";

const char kHelp[] =
    "\n"
    "Writes every answer the version center gives for CATALOG as a static file\n"
    "tree under DIR/answers, and DIR/nginx.conf, an nginx server block that maps\n"
    "the library's requests (query parameters included) onto those files and\n"
    "answers anything else with 404 and a JSON error body. Include the block in\n"
    "nginx's http block. A previous export in DIR is replaced.\n"
    "\n"
    "  --base-path PATH    path in front of the product name (default /)\n"
    "  --files DIR         nginx also serves the download tree DIR under\n"
    "                      <base path>files/\n"
    "  --download-url URL  completes the catalog's download addresses relative\n"
    "                      to the tree (default with --files: the tree's address\n"
    "                      on the --listen address)\n"
    "  --listen HOST:PORT  what nginx listens on (default 127.0.0.1:8080)\n"
    "  --dry-run           only count the files and bytes the export would have\n"
    "  --help              show this text\n"
    "\n"
    "Exit status: 0 exported, 1 cannot write, 2 bad command line, 3 the catalog\n"
    "does not load.\n";

} // namespace

int ExportCommand(int argc, char** argv)
{
    CWords words;
    std::string error;
    if (!ReadWords(argc, argv, 2, {"--base-path", "--download-url", "--files", "--listen"}, {"--help", "-h", "--dry-run"},
                   words, error))
        return UsageError(error, kUsage);
    if (words.flags.count("--help") != 0 || words.flags.count("-h") != 0)
    {
        std::printf("%s%s", kUsage, kHelp);
        return ExitOk;
    }
    if (words.arguments.size() != 2)
        return UsageError("export takes a catalog and a folder", kUsage);
    CExportRequest request;
    request.directory = words.arguments[1];
    request.files = words.values["--files"];
    request.dryRun = words.flags.count("--dry-run") != 0;
    if (words.values.count("--listen") != 0)
        request.listen = words.values["--listen"];
    std::string host;
    int port = 0;
    if (!ParseListen(request.listen, host, port) || port == 0)
        return UsageError("--listen wants HOST:PORT with a port from 1 to 65535, not '" + request.listen + "'", kUsage);
    std::string basePath = words.values.count("--base-path") != 0 ? words.values["--base-path"] : "/";
    basePath = WithSlash(basePath.empty() || basePath.front() != '/' ? '/' + basePath : basePath);
    std::string downloadUrl = words.values["--download-url"];
    if (downloadUrl.empty() && !request.files.empty())
        downloadUrl = "http://" + request.listen + basePath + "files/";

    CCatalog catalog;
    if (!catalog.LoadFile(words.arguments[0], error))
        return Fail(error, ExitBadInput);
    std::error_code failure;
    if (!request.files.empty() && !std::filesystem::is_directory(request.files, failure))
        return Fail("the download tree " + request.files.string() + " is not a folder", ExitBadInput);
    if (!request.files.empty() && catalog.FindProduct("files"))
        return Fail("the product 'files' would hide the download tree at " + basePath + "files/", ExitBadInput);
    if (downloadUrl.empty() && catalog.HasTreeRelativeUrls())
        return Fail("the catalog's download addresses are relative to a download tree; give --files or "
                    "--download-url",
                    ExitUsage);

    const CVersionCenter center(std::move(catalog), basePath, downloadUrl);
    CExportSummary summary;
    if (!Export(center, request, summary, error))
        return Fail(error, ExitFailed);
    std::printf("version-center: %s %lld answer files, %lld bytes%s\n", request.dryRun ? "would write" : "wrote",
                static_cast<long long>(summary.files), static_cast<long long>(summary.bytes),
                request.dryRun ? "" : (" under " + (request.directory / "answers").string() + "; nginx server block " +
                                       (request.directory / "nginx.conf").string())
                                          .c_str());
    return ExitOk;
}

} // namespace versionCenter
