// The version center as static files: every answer it gives for a catalog,
// written as a file tree, and an nginx server block that maps the library's
// requests onto those files, so that nginx, or any CDN in front of it, serves
// the catalog.
#ifndef VERSIONCENTER_CEXPORTER_H
#define VERSIONCENTER_CEXPORTER_H

#include "export/NginxConfig.h"
#include "serving/CVersionCenter.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

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
    /// The evolutions between every ordered pair of versions rather than
    /// only those to the versions the situation names.
    bool complete = true;
    /// The version centers nginx passes every request without a file to;
    /// none: nginx answers from the files alone.
    std::vector<COrigin> origins;
    /// How long nginx and the caches in front of it may keep an answer.
    int cacheSeconds = 60;
};

struct CExportSummary
{
    std::int64_t files = 0; // answers written
    std::int64_t bytes = 0; // their total size
};

/// Exports every answer `center` gives with status 200 for the library's
/// requests: the situation, the versions, the patches of each version, every
/// package and file-check definition, and the version and patch evolutions
/// from every version to every other (complete) or to each released version
/// the situation names. A previous export in the directory is replaced.
/// False, with `error` saying why, when it cannot be written.
bool Export(const CVersionCenter& center, const CExportRequest& request, CExportSummary& summary, std::string& error);

/// How many requests a complete export of `catalog` asks the center: an
/// upper bound of its files, counted without rendering a single answer.
std::int64_t CompleteExportRequests(const CCatalog& catalog);

/// Above this many requests a complete export is refused unless asked for.
constexpr std::int64_t kCompleteExportLimit = 100000;

} // namespace versionCenter

#endif // VERSIONCENTER_CEXPORTER_H
