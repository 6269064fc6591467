// version-center publish: release folders into a catalog and a download tree.
#include "CPublisher.h"
#include "Commands.h"

#include <cstdio>

namespace versionCenter
{
namespace
{

const char kUsage[] =
    "usage: version-center publish --product NAME --releases DIR --out DIR --catalog FILE [--base-url URL]\n";

const char kHelp[] =
    "\n"
    "Publishes the released versions of a product: DIR holds one folder per\n"
    "version, named after it (1.0, 1.1, 2.0), each the installed file tree of\n"
    "that version. Writes or updates the catalog FILE: every version with its\n"
    "full package and file check, a patch from each version to the next with\n"
    "the files that are new or changed. Lays out the download tree under the\n"
    "--out folder: each version's new and changed files, and a file-check list\n"
    "per version. What a person edited in the catalog stays.\n"
    "\n"
    "  --product NAME    the product, as the library names it\n"
    "  --releases DIR    the release folders\n"
    "  --out DIR         the download tree (created when missing)\n"
    "  --catalog FILE    the catalog (created when missing)\n"
    "  --base-url URL    where the download tree will be served; without it the\n"
    "                    catalog's download addresses are relative to the tree\n"
    "                    and the version center (--files, --download-url) or the\n"
    "                    export completes them\n"
    "  --help            show this text\n"
    "\n"
    "Exit status: 0 published, 1 cannot write, 2 bad command line, 3 the catalog\n"
    "or the release folders are not right (nothing was written).\n";

} // namespace

int PublishCommand(int argc, char** argv)
{
    CWords words;
    std::string error;
    if (!ReadWords(argc, argv, 2, {"--product", "--releases", "--out", "--catalog", "--base-url"}, {"--help", "-h"},
                   words, error))
        return UsageError(error, kUsage);
    if (words.flags.count("--help") != 0 || words.flags.count("-h") != 0)
    {
        std::printf("%s%s", kUsage, kHelp);
        return ExitOk;
    }
    if (!words.arguments.empty())
        return UsageError("publish takes no arguments, only options", kUsage);
    for (const char* required : {"--product", "--releases", "--out", "--catalog"})
    {
        if (words.values.count(required) == 0)
            return UsageError(std::string("publish needs ") + required, kUsage);
    }
    CPublishRequest request;
    request.product = words.values["--product"];
    request.releases = words.values["--releases"];
    request.output = words.values["--out"];
    request.catalog = words.values["--catalog"];
    request.baseUrl = words.values["--base-url"];

    CPublishSummary summary;
    switch (Publish(request, summary, error))
    {
    case PublishResult::BadInput:
        return Fail(error, ExitBadInput);
    case PublishResult::CannotWrite:
        return Fail(error, ExitFailed);
    case PublishResult::Done:
        break;
    }
    std::printf("version-center: published %s: %d version%s (%d new), %d patch%s in the chain (%d new); "
                "%d file%s copied, %d already in place; catalog %s\n",
                request.product.c_str(), summary.versions, summary.versions == 1 ? "" : "s", summary.newVersions,
                summary.patches, summary.patches == 1 ? "" : "es", summary.newPatches, summary.filesCopied,
                summary.filesCopied == 1 ? "" : "s", summary.filesInPlace, request.catalog.c_str());
    return ExitOk;
}

} // namespace versionCenter
