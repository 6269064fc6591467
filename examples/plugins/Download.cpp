#include "Download.h"

#include <cctype>

std::string ResolveUrl(const char* base, const char* url)
{
    if (url == nullptr || *url == '\0')
        return std::string();
    std::string file(url);
    if (file.find("://") != std::string::npos)
        return file;
    std::string joined = base != nullptr ? base : "";
    if (joined.empty())
        return std::string();
    const bool baseSlash = joined.back() == '/';
    const bool fileSlash = file.front() == '/';
    if (baseSlash && fileSlash)
        joined.pop_back();
    else if (!baseSlash && !fileSlash)
        joined += '/';
    return joined + file;
}

std::string FetchedScheme(const std::string& url, std::string& error)
{
    const std::string::size_type end = url.find("://");
    std::string scheme = end == std::string::npos ? std::string() : url.substr(0, end);
    for (char& c : scheme)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (scheme == "http" || scheme == "https")
        return scheme;
    error = "only http and https urls are fetched, not " + url;
    return std::string();
}
