// version-center publish: release folders into a catalog and a download tree.
#include "Commands.h"
#include "publishing/CPublisher.h"

#include <cstdio>
#include <string>
#include <vector>

namespace versionCenter
{
namespace
{

const char kSynopsis[] =
    "version-center publish --product NAME --releases DIR --out DIR --catalog FILE [--base-url URL] "
    "[--sign SECRET [--expires DAYS]]";

const std::vector<cli::COption> kOptions = {
    {"product", "NAME", 0}, {"releases", "DIR", 0}, {"out", "DIR", 0},      {"catalog", "FILE", 0},
    {"base-url", "URL", 0}, {"sign", "SECRET", 0},  {"expires", "DAYS", 0},
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
                          "  --sign SECRET         also write, beside the tree's files, a signed\n"
                          "                        manifest of every package of the product\n"
                          "                        (PRODUCT/signed/version-V.json, patch-P.json) and\n"
                          "                        its signed snapshot (PRODUCT/signed/snapshot.json),\n"
                          "                        each with NAME.minisig, signed with the secret key\n"
                          "                        SECRET (version-center keygen); every package file\n"
                          "                        must then be in the download tree; a file changed\n"
                          "                        from the version before also gets a binary delta\n"
                          "                        (PRODUCT/deltas/FROM/TO/PATH.vdelta) when it saves\n"
                          "                        at least 10%, listed in the manifests\n"
                          "  --expires DAYS        how long the snapshot is good for (default 7): hosts\n"
                          "                        refuse it after, so publish again before\n"
                          "  -h, --help            this text\n"
                          "  --version             the program's name and version\n"
                          "\n" +
                          kExitStatusHelp;

} // namespace

int PublishCommand(int argc, const char* const* argv)
{
    cli::CCommandLine line("version-center", kSynopsis);
    int status = cli::ExitOk;
    if (!line.Start(argc, argv, kOptions, kHelp.c_str(), status) ||
        !TakesOptionsOnly(line, "publish", {"product", "releases", "out", "catalog"}, status))
        return status;
    CPublishRequest request;
    request.product = line.Value("product");
    request.releases = line.Value("releases");
    request.output = line.Value("out");
    request.catalog = line.Value("catalog");
    request.baseUrl = line.Value("base-url");
    request.signingKey = line.Value("sign");
    if (line.Has("expires"))
    {
        const std::string days = line.Value("expires");
        if (!line.Has("sign"))
            return line.UsageError("--expires goes with --sign");
        if (days.size() > 5 || days.find_first_not_of("0123456789") != std::string::npos || std::stoi(days) < 1 ||
            std::stoi(days) > 3660)
            return line.UsageError("--expires takes a number of days from 1 to 3660, not '" + days + "'");
        request.expiresDays = std::stoi(days);
    }

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
    const std::string signedText = request.signingKey.empty()
                                       ? std::string()
                                       : "; " + std::to_string(summary.signedFiles) + " signed files and " +
                                             std::to_string(summary.deltasWritten) + " deltas written";
    std::printf("version-center: published %s: %d version%s (%d new), %d patch%s in the chain (%d new); "
                "%d file%s copied, %d already in place%s; catalog %s\n",
                request.product.c_str(), summary.versions, summary.versions == 1 ? "" : "s", summary.newVersions,
                summary.patches, summary.patches == 1 ? "" : "es", summary.newPatches, summary.filesCopied,
                summary.filesCopied == 1 ? "" : "s", summary.filesInPlace, signedText.c_str(), request.catalog.c_str());
    return cli::ExitOk;
}

} // namespace versionCenter
