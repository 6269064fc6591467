// The size of the export for nginx by the number of versions: generated
// catalogs of one product whose versions form a chain with one patch per
// step (each version with its package and file check), exported with an
// origin by the version-center program. Prints the answer files, their
// bytes, the files per version and the time the export took.
//
//   bench_export_size [VERSIONS...]   (default 10 100 1000 10000; above
//                                      2000 versions only counted, --dry-run)
//
// Not a test: the time depends on the machine.
#include "support/CScratchDir.h"
#include "support/ChildProcess.h"
#include "support/Files.h"
#include "support/RandomCatalog.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(std::atoi(argv[i]));
    if (sizes.empty())
        sizes = {10, 100, 1000, 10000};
    const testsupport::CScratchDir scratch("vesk-export-size");
    std::printf("%9s %12s %14s %13s %9s  %s\n", "versions", "files", "bytes", "files/version", "seconds", "");
    for (const int versions : sizes)
    {
        testsupport::CCatalogShape shape;
        shape.versions = versions;
        shape.chainOnly = true;
        const std::string catalog = (scratch / ("catalog-" + std::to_string(versions) + ".json")).string();
        testsupport::WriteFile(catalog, testsupport::CatalogText("Editor", testsupport::RandomProduct(shape)));
        const bool dryRun = versions > 2000;
        std::vector<std::string> args{"export", "--origin", "http://127.0.0.1:8081", catalog,
                                      (scratch / ("export-" + std::to_string(versions))).string()};
        if (dryRun)
            args.insert(args.begin() + 1, "--dry-run");
        const auto start = std::chrono::steady_clock::now();
        const testsupport::CRunResult result = testsupport::RunProgram(VERSION_CENTER_EXE, args);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        // "version-center: wrote|would write N answer files, B bytes..."
        const std::string& out = result.output;
        const std::string::size_type at = out.find(" answer files");
        if (result.status != 0 || at == std::string::npos)
        {
            std::fprintf(stderr, "%s", out.c_str());
            return 1;
        }
        const long long files = std::atoll(out.c_str() + out.rfind(' ', at - 1) + 1);
        const long long bytes = std::atoll(out.c_str() + at + std::string(" answer files, ").size());
        std::printf("%9d %12lld %14lld %13.1f %9.1f  %s\n", versions, files, bytes,
                    static_cast<double>(files) / versions, seconds, dryRun ? "(counted, --dry-run)" : "");
        std::fflush(stdout);
    }
    return 0;
}
