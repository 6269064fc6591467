// The version center as static files: every answer it gives for a catalog,
// written as a file tree, and an nginx server block that maps the library's
// requests onto those files, so that nginx, or any CDN in front of it, serves
// the catalog.
#ifndef VERSIONCENTER_CEXPORTER_H
#define VERSIONCENTER_CEXPORTER_H

#include "CVersionCenter.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace versionCenter
{

struct CExportRequest
{
    /// Gets `answers/` (the document root) and `nginx.conf` (the server block).
    std::filesystem::path directory;
    /// The download tree nginx serves under <base path>files/, or empty.
    std::filesystem::path files;
    /// What nginx listens on, as nginx's `listen` takes it.
    std::string listen = "127.0.0.1:8080";
    /// Count what would be written, write nothing.
    bool dryRun = false;
};

struct CExportSummary
{
    std::int64_t files = 0; // answers written
    std::int64_t bytes = 0; // their total size
};

/// Exports every answer `center` gives with status 200 for the library's
/// requests: the situation, the versions, the version and patch evolution
/// for every ordered pair of versions, the patches of each version, every
/// package and file-check definition. A previous export in the directory is
/// replaced. False, with `error` saying why, when it cannot be written.
bool Export(const CVersionCenter& center, const CExportRequest& request, CExportSummary& summary, std::string& error);

} // namespace versionCenter

#endif // VERSIONCENTER_CEXPORTER_H
