// The nginx configuration the export writes: a server block that answers the
// library's requests from the exported files, one location per request kind
// of the protocol table, and, with origins, passes every request it has no
// file for to the version centers, caching their answers.
#ifndef VERSIONCENTER_NGINXCONFIG_H
#define VERSIONCENTER_NGINXCONFIG_H

#include <filesystem>
#include <string>
#include <vector>

namespace versionCenter
{

struct COrigin
{
    std::string scheme;   // "http" or "https"
    std::string hostPort; // "127.0.0.1:8081", as nginx's upstream takes it
};

/// Reads `url`, the address of a version center serving the same catalog
/// under `basePath`: "http://HOST:PORT" or "https://HOST:PORT", optionally
/// followed by `basePath`. False with `error` saying why when it is not one.
bool ParseOrigin(const std::string& url, const std::string& basePath, COrigin& origin, std::string& error);

struct CNginxSite
{
    std::string listen;            // nginx's `listen`
    std::string basePath;          // begins and ends with '/'
    std::filesystem::path answers; // the document root (absolute)
    std::filesystem::path files;   // the download tree, or empty
    std::filesystem::path cache;   // the origin answers' cache folder (absolute)
    std::vector<COrigin> origins;  // none: nginx answers from the files alone
    int cacheSeconds = 60;         // how long an answer may be kept
};

/// Whether `text` can stand in nginx's configuration as it is, between
/// double quotes: no variables, quotes, escapes or control characters.
bool NginxSafe(const std::string& text);

/// The configuration text: http-level blocks (upstream, cache, maps) and
/// the server block, for nginx's http block to include.
std::string NginxConfig(const CNginxSite& site);

} // namespace versionCenter

#endif // VERSIONCENTER_NGINXCONFIG_H
