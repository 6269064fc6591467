#include "catalog/DownloadUrl.h"

namespace versionCenter
{

std::string EncodeUrlPath(const std::string& path)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    for (const char c : path)
    {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') || c == '-' ||
            c == '.' || c == '_' || c == '~' || c == '/')
        {
            encoded += c;
            continue;
        }
        encoded += '%';
        encoded += kHex[byte >> 4];
        encoded += kHex[byte & 0x0f];
    }
    return encoded;
}

bool IsTreeRelative(const std::string& url)
{
    return !url.empty() && url.find("://") == std::string::npos;
}

std::string CompleteUrl(const std::string& url, const std::string& downloadUrl)
{
    if (downloadUrl.empty() || !IsTreeRelative(url))
        return url;
    return downloadUrl + (url.front() == '/' ? url.substr(1) : url);
}

std::string WithSlash(std::string address)
{
    if (address.empty() || address.back() != '/')
        address += '/';
    return address;
}

} // namespace versionCenter
