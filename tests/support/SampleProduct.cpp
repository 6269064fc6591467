#include "support/SampleProduct.h"

#include "support/Files.h"

namespace testsupport
{

CPublishedSample PublishSampleProduct(const std::string& versionCenter, const std::filesystem::path& dir,
                                      const std::string& downloadsName)
{
    CPublishedSample sample;
    sample.catalog = (dir / "catalog.json").string();
    sample.downloads = (dir / downloadsName).string();
    WriteFile(sample.catalog, ReadFile(VESK_SAMPLE_CATALOG));
    sample.publish = RunProgram(versionCenter, {"publish", "--product", "Editor", "--releases", VESK_SAMPLE_RELEASES,
                                                "--out", sample.downloads, "--catalog", sample.catalog});
    return sample;
}

} // namespace testsupport
