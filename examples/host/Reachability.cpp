#include "Reachability.h"

#include <curl/curl.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#if defined(_WIN32)
#  ifndef WIN32_LEAN_AND_MEAN
#    define WIN32_LEAN_AND_MEAN
#  endif
#  include <winsock2.h>
#  include <ws2tcpip.h>
#else
#  include <netdb.h>
#  include <sys/socket.h>
#  include <unistd.h>
#endif

namespace
{

#if defined(_WIN32)

using Socket = SOCKET;
const Socket kNoSocket = INVALID_SOCKET;
const int kSocketFlags = 0;

void CloseSocket(Socket socket)
{
    ::closesocket(socket);
}

int LastSocketError()
{
    return ::WSAGetLastError();
}

std::string SocketErrorText(int error)
{
    char text[256] = "";
    const DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                          static_cast<DWORD>(error), 0, text, sizeof text, nullptr);
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
        message.pop_back();
    return message.empty() ? "socket error " + std::to_string(error) : message;
}

// Windows sockets work between WSAStartup and WSACleanup.
class CSocketLibrary
{
public:
    CSocketLibrary()
    {
        WSADATA data;
        m_started = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~CSocketLibrary()
    {
        if (m_started)
            ::WSACleanup();
    }
    CSocketLibrary(const CSocketLibrary&) = delete;
    CSocketLibrary& operator=(const CSocketLibrary&) = delete;
    CSocketLibrary(CSocketLibrary&&) = delete;
    CSocketLibrary& operator=(CSocketLibrary&&) = delete;

    bool Started() const { return m_started; }

private:
    bool m_started = false;
};

#else

using Socket = int;
const Socket kNoSocket = -1;
const int kSocketFlags = SOCK_CLOEXEC;

void CloseSocket(Socket socket)
{
    ::close(socket);
}

int LastSocketError()
{
    return errno;
}

std::string SocketErrorText(int error)
{
    return std::strerror(error);
}

// Nothing to start on POSIX.
class CSocketLibrary
{
public:
    bool Started() const { return true; }
};

#endif

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

bool ProbeAddress(const std::string& address, std::string& reason)
{
    std::string host;
    std::string port;
    if (!SplitAddress(address, host, port, reason))
        return false;
    const CSocketLibrary sockets;
    if (!sockets.Started())
        return true; // no probe: the caller's general message stands

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
        const Socket socket = ::socket(it->ai_family, it->ai_socktype | kSocketFlags, it->ai_protocol);
        if (socket == kNoSocket)
        {
            lastError = LastSocketError();
            continue;
        }
        if (::connect(socket, it->ai_addr, static_cast<int>(it->ai_addrlen)) == 0)
            connected = true;
        else
            lastError = LastSocketError();
        CloseSocket(socket);
    }
    ::freeaddrinfo(found);
    if (!connected)
        reason = SocketErrorText(lastError);
    return connected;
}

bool ProbeTls(const std::string& address, std::string& reason)
{
    std::string scheme = address.substr(0, address.find("://"));
    for (char& c : scheme)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (scheme != "https")
        return true;
    CURL* curl = curl_easy_init();
    if (curl == nullptr)
        return true; // no probe: the caller's general message stands
    char message[CURL_ERROR_SIZE] = "";
    curl_easy_setopt(curl, CURLOPT_URL, address.c_str());
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, message);
    // Connects and shakes hands, certificate checks included; sends nothing.
    curl_easy_setopt(curl, CURLOPT_CONNECT_ONLY, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 30L);
    const CURLcode result = curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    if (result == CURLE_OK)
        return true;
    reason = *message != '\0' ? message : curl_easy_strerror(result);
    return false;
}
