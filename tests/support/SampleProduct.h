// The sample product the demo publishes (examples/host/sample-releases and
// the catalog its publisher keeps by hand), published into a folder the way
// the demo does it, for the tests and benchmarks that serve it.
#ifndef VESKUPDATE_TESTS_SUPPORT_SAMPLEPRODUCT_H
#define VESKUPDATE_TESTS_SUPPORT_SAMPLEPRODUCT_H

#include "support/ChildProcess.h"

#include <filesystem>
#include <string>

namespace testsupport
{

struct CPublishedSample
{
    std::string catalog;   // the catalog the version center serves
    std::string downloads; // the download tree it serves with --files
    CRunResult publish;    // what `version-center publish` said and ended with
};

/// Copies the sample catalog to `dir`/catalog.json and runs `versionCenter
/// publish` on the sample release folders, the download tree going to
/// `dir`/`downloadsName`. Check `publish.status` (0) before using the rest.
/// With `signingKey` (a secret key file), the packages and the snapshot are
/// signed with it (publish --sign).
CPublishedSample PublishSampleProduct(const std::string& versionCenter, const std::filesystem::path& dir,
                                      const std::string& downloadsName = "downloads",
                                      const std::string& signingKey = std::string());

} // namespace testsupport

#endif // VESKUPDATE_TESTS_SUPPORT_SAMPLEPRODUCT_H
