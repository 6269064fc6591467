#include "Reachability.h"

#include <cerrno>
#include <cstring>

#if !defined(_WIN32)
#  include <netdb.h>
#  include <sys/socket.h>
#  include <unistd.h>
#endif

namespace
{

// Splits "scheme://host:port/path" into host and port. IPv6 literals are
// written in brackets, as in URLs.
bool SplitAddress(const std::string& address, std::string& host, std::string& port, std::string& reason)
{
    std::string::size_type scheme = address.find("://");
    std::string schemeName = scheme == std::string::npos ? "http" : address.substr(0, scheme);
    std::string rest = scheme == std::string::npos ? address : address.substr(scheme + 3);
    if (schemeName != "http" && schemeName != "https")
    {
        reason = "the address does not start with http:// or https://";
        return false;
    }
    std::string authority = rest.substr(0, rest.find_first_of("/?#"));
    std::string::size_type at = authority.rfind('@');
    if (at != std::string::npos)
        authority.erase(0, at + 1);
    port = schemeName == "https" ? "443" : "80";
    if (!authority.empty() && authority[0] == '[')
    {
        std::string::size_type close = authority.find(']');
        if (close == std::string::npos)
        {
            reason = "the address has an unclosed '['";
            return false;
        }
        host = authority.substr(1, close - 1);
        if (close + 1 < authority.size() && authority[close + 1] == ':')
            port = authority.substr(close + 2);
    }
    else
    {
        std::string::size_type colon = authority.rfind(':');
        host = authority.substr(0, colon);
        if (colon != std::string::npos)
            port = authority.substr(colon + 1);
    }
    if (host.empty())
    {
        reason = "the address names no host";
        return false;
    }
    return true;
}

} // namespace

#if defined(_WIN32)

bool ProbeAddress(const std::string&, std::string&)
{
    return true;
}

#else

bool ProbeAddress(const std::string& address, std::string& reason)
{
    std::string host;
    std::string port;
    if (!SplitAddress(address, host, port, reason))
        return false;

    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    int rc = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &found);
    if (rc != 0)
    {
        reason = "cannot resolve " + host + ": " + ::gai_strerror(rc);
        return false;
    }
    int lastError = 0;
    bool connected = false;
    for (addrinfo* it = found; it != nullptr && !connected; it = it->ai_next)
    {
        int fd = ::socket(it->ai_family, it->ai_socktype | SOCK_CLOEXEC, it->ai_protocol);
        if (fd < 0)
        {
            lastError = errno;
            continue;
        }
        if (::connect(fd, it->ai_addr, it->ai_addrlen) == 0)
            connected = true;
        else
            lastError = errno;
        ::close(fd);
    }
    ::freeaddrinfo(found);
    if (!connected)
        reason = std::string(std::strerror(lastError));
    return connected;
}

#endif
