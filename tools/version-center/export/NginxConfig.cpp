#include "export/NginxConfig.h"

#include "serving/CDownloadTree.h"
#include "serving/Protocol.h"

#include <algorithm>
#include <cctype>

namespace versionCenter
{
namespace
{

// The canonical text of a version, the only one the exported files are
// named with; it also keeps "../" out of the file names nginx builds.
const char kVersionRegex[] = "[0-9]+[.][0-9]+[.][0-9]+[.][0-9]+";

// Letters, digits and '_' only: a part of an nginx name.
std::string NameOf(const std::string& text)
{
    std::string name;
    for (const char c : text)
        name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

// The regular expression of a path pattern: a version is one segment, a
// patch number one or more.
std::string PathRegex(const CRequestKind& kind)
{
    std::string regex;
    for (const CPathPiece& piece : PathPieces(kind))
        regex += piece.parameter ? (IsVersionParameter(piece.text) ? "[^/]+" : ".+") : piece.text;
    return regex;
}

// The variable a map sets to the file of a request with a query: its values
// joined by '/', or "-" (no such file) unless the query is exactly the one
// the library sends with canonical versions.
std::string QueryVariable(const CRequestKind& kind)
{
    return "vc_q" + NameOf(kind.path);
}

std::string QueryMap(const CRequestKind& kind)
{
    std::string regex = "^", value;
    for (std::size_t i = 0; i < kind.query.size(); ++i)
    {
        const std::string capture = QueryVariable(kind) + "_" + kind.query[i].parameter;
        regex += std::string(i == 0 ? "" : "&") + kind.query[i].key + "=(?<" + capture + ">" + kVersionRegex + ")";
        value += (i == 0 ? "$" : "/$") + capture;
    }
    return "map $args $" + QueryVariable(kind) + " {\n    \"~" + regex + "$\" \"" + value +
           "\";\n    default \"-\";\n}\n";
}

// What nginx does with a request it has no file for.
std::string Fallback(const CNginxSite& site)
{
    return site.origins.empty() ? "=404" : "@vc_origin";
}

std::string ProxyDirectives(const CNginxSite& site, const std::string& tag)
{
    const std::string seconds = std::to_string(site.cacheSeconds) + "s";
    // clang-format off
    return "        proxy_pass " + site.origins.front().scheme + "://vc_origin_" + tag + ";\n"
           "        proxy_http_version 1.1;\n"
           "        proxy_set_header Connection \"\";\n"
           "        proxy_set_header Host $host;\n"
           "        proxy_cache vc_cache_" + tag + ";\n"
           "        proxy_cache_key $scheme$proxy_host$request_uri;\n"
           "        proxy_cache_valid 200 400 404 " + seconds + ";\n"
           "        proxy_cache_lock on;\n"
           "        proxy_cache_use_stale error timeout updating http_500 http_502 http_503 http_504;\n"
           "        proxy_next_upstream error timeout http_502 http_503;\n"
           "        add_header Cache-Control \"max-age=" + std::to_string(site.cacheSeconds) + "\" always;\n"
           "        add_header X-Cache-Status $upstream_cache_status always;\n";
    // clang-format on
}

std::string HttpBlocks(const CNginxSite& site, const std::string& tag)
{
    std::string text;
    if (!site.origins.empty())
    {
        text += "# The version centers that answer what has no file, and their answers' cache.\n"
                "upstream vc_origin_" +
                tag + " {\n";
        for (const COrigin& origin : site.origins)
            text += "    server " + origin.hostPort + ";\n";
        text += "    keepalive 16;\n}\n"
                "proxy_cache_path \"" +
                site.cache.string() + "\" levels=1:2 keys_zone=vc_cache_" + tag +
                ":32m max_size=1g inactive=1d use_temp_path=off;\n";
    }
    text += "# The file of each request with a query.\n";
    for (const CRequestKind& kind : RequestKinds())
    {
        if (!kind.query.empty())
            text += QueryMap(kind);
    }
    return text;
}

std::string RequestLocations(const CNginxSite& site)
{
    const std::string& base = site.basePath;
    std::string text;
    for (const CRequestKind& kind : RequestKinds())
    {
        text += "    # " + std::string(kind.name) + ": " + kind.path;
        if (kind.query.empty())
        {
            text += "\n    location ~ \"^" + base + "[^/]+" + PathRegex(kind) + "$\" { try_files $uri.json " +
                    Fallback(site) + "; }\n";
            continue;
        }
        for (std::size_t i = 0; i < kind.query.size(); ++i)
            text += std::string(i == 0 ? "?" : "&") + kind.query[i].key + "=...";
        text += "\n    location ~ \"^" + base + "(?<vc_product>[^/]+)" + PathRegex(kind) + "$\" {\n";
        if (site.origins.empty())
        {
            for (const CQueryKey& key : kind.query)
                text += "        if ($args !~ \"(^|&)" + std::string(key.key) + "=\") { return 400 '{\"error\":\"" +
                        MissingQueryMessage(kind) + "\"}'; }\n";
        }
        text += "        try_files \"" + base + "$vc_product" + kind.path + ".query/$" + QueryVariable(kind) + "\" " +
                Fallback(site) + ";\n    }\n";
    }
    return text;
}

} // namespace

bool ParseOrigin(const std::string& url, const std::string& basePath, COrigin& origin, std::string& error)
{
    const std::string::size_type scheme = url.find("://");
    const std::string name = scheme == std::string::npos ? std::string() : url.substr(0, scheme);
    const std::string rest = scheme == std::string::npos ? std::string() : url.substr(scheme + 3);
    const std::string::size_type slash = rest.find('/');
    const std::string hostPort = rest.substr(0, slash);
    const std::string path = slash == std::string::npos ? std::string() : rest.substr(slash);
    const std::string::size_type colon = hostPort.rfind(':');
    const std::string port = colon == std::string::npos ? std::string() : hostPort.substr(colon + 1);
    const bool portOk = !port.empty() && port.size() <= 5 &&
                        port.find_first_not_of("0123456789") == std::string::npos && std::stoi(port) > 0 &&
                        std::stoi(port) <= 65535;
    if ((name != "http" && name != "https") || !portOk || colon == 0 || !NginxSafe(hostPort) ||
        hostPort.find_first_of(" /?#") != std::string::npos)
    {
        error = "--origin wants http://HOST:PORT (or https://), not '" + url + "'";
        return false;
    }
    if (!path.empty() && path != "/" && path != basePath)
    {
        error = "--origin " + url + ": the center must serve the base path " + basePath + " (nginx passes the " +
                "request's path on as it is)";
        return false;
    }
    origin = COrigin{name, hostPort};
    return true;
}

bool NginxSafe(const std::string& text)
{
    return text.find_first_of("$\"'\\;{}") == std::string::npos &&
           std::none_of(text.begin(), text.end(), [](unsigned char c) { return c < 0x20 || c == 0x7f; });
}

std::string NginxConfig(const CNginxSite& site)
{
    const std::string& base = site.basePath;
    const std::string tag = NameOf(site.listen);
    const std::string seconds = std::to_string(site.cacheSeconds);
    std::string text = "# The version center for nginx, written by `version-center export`. Include this\n"
                       "# file in nginx's http block. Every request of the library has a location below;\n"
                       "# its answer is a file under the root, the requests with a query in files named\n"
                       "# after their values.";
    text += site.origins.empty() ? " Anything else gets 404.\n"
                                 : " What has no file is passed to the version centers.\n";
    text += HttpBlocks(site, tag);
    // The text is laid out as the configuration it writes, one of its lines
    // per line here; the formatter would split these lines at every '+'.
    // clang-format off
    text += "server {\n"
            "    listen " + site.listen + ";\n"
            "    server_name _;\n"
            "    root \"" + site.answers.string() + "\";\n"
            "    types { }\n"
            "    default_type application/json;\n"
            "    add_header Cache-Control \"max-age=" + seconds + "\" always;\n"
            "\n"
            "    error_page 404 @vc_not_found;\n"
            "    error_page 400 @vc_bad_request;\n"
            "    error_page 405 @vc_refused;\n"
            "    location @vc_not_found { return 404 '{\"error\":\"no such request\"}'; }\n"
            "    location @vc_bad_request { return 400 '{\"error\":\"request refused with status 400\"}'; }\n"
            "    location @vc_refused { return 405 '{\"error\":\"request refused with status 405\"}'; }\n"
            "\n";
    if (site.origins.empty())
        text += "    location / { return 404; }\n";
    else
        text += "    location / {\n" + ProxyDirectives(site, tag) + "    }\n"
                "    location @vc_origin {\n" + ProxyDirectives(site, tag) + "    }\n";
    text += "\n" + RequestLocations(site);
    if (!site.files.empty())
    {
        text += "\n"
                "    # The download tree.\n"
                "    location ^~ " + base + "files/ {\n"
                "        alias \"" + site.files.string() + "/\";\n"
                "        types {";
        for (const CContentType& type : DownloadContentTypes())
            text += std::string(" ") + type.type + " " + (type.extension + 1) + ";";
        text += " }\n"
                "        default_type application/octet-stream;\n"
                "        error_page 404 @vc_no_file;\n"
                "    }\n"
                "    location @vc_no_file { return 404 '{\"error\":\"no such file in the download tree\"}'; }\n";
    }
    // clang-format on
    text += "}\n";
    return text;
}

} // namespace versionCenter
