// version-center publish: release folders into a catalog and a download tree.
#include "CPublisher.h"
#include "Commands.h"

#include <cstdio>
#include <string>
#include <vector>

namespace versionCenter
{
namespace
{

const char kSynopsis[] =
    "version-center publish --product NAME --releases DIR --out DIR --catalog FILE [--base-url URL]";

const std::vector<cli::COption> kOptions = {
    {"product", "NAME", 0}, {"releases", "DIR", 0}, {"out", "DIR", 0}, {"catalog", "FILE", 0}, {"base-url", "URL", 0},
};

const std::string kHelp = std::string("usage: ") + kSynopsis +
                          "\n"
                          "\n"
                          "Publishes the released versions of a product: DIR holds one folder per\n"
                          "version, named after it (1.0, 1.1, 2.0), each the installed file tree of\n"
                          "that version. Writes or updates the catalog FILE: every version with its\n"
                          "full package and file check, a patch from each version to the next with\n"
                          "the files that are new or changed. Lays out the download tree under the\n"
                          "--out folder: each version's new and changed files, and a file-check list\n"
                          "per version. What a person edited in the catalog stays.\n"
                          "\n"
                          "  --product NAME        the product, as the library names it\n"
                          "  --releases DIR        the release folders\n"
                          "  --out DIR             the download tree (created when missing)\n"
                          "  --catalog FILE        the catalog (created when missing)\n"
                          "  --base-url URL        where the download tree will be served; without it\n"
                          "                        the catalog's download addresses are relative to the\n"
                          "                        tree and the version center (--files, --download-url)\n"
                          "                        or the export completes them\n"
                          "  -h, --help            this text\n"
                          "  --version             the program's name and version\n"
                          "\n" +
                          kExitStatusHelp;

} // namespace

int PublishCommand(int argc, const char* const* argv)
{
    cli::CCommandLine line("version-center", kSynopsis);
    int status = cli::ExitOk;
    if (!line.Start(argc, argv, kOptions, kHelp.c_str(), status))
        return status;
    if (!line.GetArguments().empty())
        return line.UsageError("publish takes options only, not '" + line.GetArguments().front() + "'");
    for (const char* required : {"product", "releases", "out", "catalog"})
    {
        if (!line.Has(required))
            return line.UsageError(std::string("publish needs --") + required);
    }
    CPublishRequest request;
    request.product = line.Value("product");
    request.releases = line.Value("releases");
    request.output = line.Value("out");
    request.catalog = line.Value("catalog");
    request.baseUrl = line.Value("base-url");

    std::string error;
    CPublishSummary summary;
    switch (Publish(request, summary, error))
    {
    case PublishResult::BadInput:
        return line.Fail(error, ExitBadInput);
    case PublishResult::CannotWrite:
        return line.Fail(error);
    case PublishResult::Done:
        break;
    }
    std::printf("version-center: published %s: %d version%s (%d new), %d patch%s in the chain (%d new); "
                "%d file%s copied, %d already in place; catalog %s\n",
                request.product.c_str(), summary.versions, summary.versions == 1 ? "" : "s", summary.newVersions,
                summary.patches, summary.patches == 1 ? "" : "es", summary.newPatches, summary.filesCopied,
                summary.filesCopied == 1 ? "" : "s", summary.filesInPlace, request.catalog.c_str());
    return cli::ExitOk;
}

} // namespace versionCenter
