// The publishing the tools' tests start from: the product "Editor" from the
// release folders under one folder, into a download tree and a catalog
// beside them.
#ifndef VESKUPDATE_TESTS_TOOLS_EDITORREQUEST_H
#define VESKUPDATE_TESTS_TOOLS_EDITORREQUEST_H

#include "publishing/CPublisher.h"

#include <filesystem>

/// Publishes <dir>/releases into <dir>/downloads and <dir>/catalog.json,
/// unsigned; a test that signs sets signingKey.
inline versionCenter::CPublishRequest EditorRequest(const std::filesystem::path& dir)
{
    versionCenter::CPublishRequest request;
    request.product = "Editor";
    request.releases = dir / "releases";
    request.output = dir / "downloads";
    request.catalog = dir / "catalog.json";
    return request;
}

#endif // VESKUPDATE_TESTS_TOOLS_EDITORREQUEST_H
