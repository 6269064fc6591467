#include "support/SampleProduct.h"

#include "support/Files.h"

namespace testsupport
{

CPublishedSample PublishSampleProduct(const std::string& versionCenter, const std::filesystem::path& dir,
                                      const std::string& downloadsName, const std::string& signingKey)
{
    CPublishedSample sample;
    sample.catalog = (dir / "catalog.json").string();
    sample.downloads = (dir / downloadsName).string();
    WriteFile(sample.catalog, ReadFile(VESK_SAMPLE_CATALOG));
    std::vector<std::string> args = {"publish", "--product",      "Editor",    "--releases",  VESK_SAMPLE_RELEASES,
                                     "--out",   sample.downloads, "--catalog", sample.catalog};
    if (!signingKey.empty())
        args.insert(args.end(), {"--sign", signingKey});
    sample.publish = RunProgram(versionCenter, args);
    return sample;
}

} // namespace testsupport
