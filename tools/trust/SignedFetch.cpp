#include "SignedFetch.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <memory>

namespace vesktrust
{
namespace
{

constexpr long long kMaxSignature = 16384;
constexpr int kMaxRedirects = 5;

// The scheme of `url` in lower case, or empty when it has none we fetch.
std::string Scheme(const std::string& url)
{
    const std::string::size_type colon = url.find("://");
    if (colon == std::string::npos)
        return std::string();
    std::string scheme = url.substr(0, colon);
    std::transform(scheme.begin(), scheme.end(), scheme.begin(), [](unsigned char c) { return std::tolower(c); });
    return scheme == "http" || scheme == "https" ? scheme : std::string();
}

// A text from the network or libcurl, fit for one line of an error.
std::string OneLine(const std::string& text)
{
    std::string line = text.substr(0, 300);
    std::replace_if(
        line.begin(), line.end(), [](unsigned char c) { return c < 0x20 || c == 0x7f; }, ' ');
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    return line;
}

struct CBody
{
    std::string data;
    std::size_t limit = 0;
    bool tooLarge = false;
};

std::size_t Collect(char* data, std::size_t size, std::size_t count, void* user)
{
    CBody& body = *static_cast<CBody*>(user);
    const std::size_t bytes = size * count;
    if (body.data.size() + bytes > body.limit)
    {
        body.tooLarge = true;
        return 0; // aborts the transfer
    }
    body.data.append(data, bytes);
    return bytes;
}

// Whether the redirect from `current` (of `scheme`) to `next` may be
// followed: to http or https only, and from https only to https.
bool MayFollow(const std::string& current, const std::string& scheme, const std::string& next, std::string& error)
{
    const std::string nextScheme = Scheme(next);
    if (!nextScheme.empty() && (scheme != "https" || nextScheme == "https"))
        return true;
    error = OneLine(current) + ": redirected to " + OneLine(next) +
            (nextScheme.empty() ? ", which is not http or https" : ", from https to http: refused");
    return false;
}

} // namespace

bool FetchBounded(const std::string& url, long long maxBytes, std::string& body, std::string& error)
{
    std::string current = url;
    std::string scheme = Scheme(current);
    if (scheme.empty())
    {
        error = "only http and https are fetched, not " + OneLine(url);
        return false;
    }
    const std::unique_ptr<CURL, void (*)(CURL*)> curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl)
    {
        error = "libcurl cannot be started";
        return false;
    }
    char curlError[CURL_ERROR_SIZE] = {};
    CBody received;
    received.limit = static_cast<std::size_t>(std::max(maxBytes, 0LL));
    CURL* handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 0L); // followed below, each hop checked
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, 30L);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, 60L);
    // A server that trickles bytes ends too: the files fetched are small.
    curl_easy_setopt(handle, CURLOPT_TIMEOUT, 300L);
    curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(maxBytes));
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &received);
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, curlError);
    for (int hop = 0;; ++hop)
    {
        received.data.clear();
        received.tooLarge = false;
        curlError[0] = '\0';
        curl_easy_setopt(handle, CURLOPT_URL, current.c_str());
        const CURLcode code = curl_easy_perform(handle);
        if (received.tooLarge || code == CURLE_FILESIZE_EXCEEDED)
        {
            error = OneLine(current) + ": larger than " + std::to_string(maxBytes) + " bytes";
            return false;
        }
        if (code != CURLE_OK)
        {
            error = OneLine(current) +
                    ": cannot be fetched: " + OneLine(curlError[0] != '\0' ? curlError : curl_easy_strerror(code));
            return false;
        }
        long status = 0;
        curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
        char* location = nullptr;
        curl_easy_getinfo(handle, CURLINFO_REDIRECT_URL, &location);
        if (status >= 300 && status < 400 && location != nullptr)
        {
            const std::string next = location;
            if (!MayFollow(current, scheme, next, error))
                return false;
            if (hop + 1 > kMaxRedirects)
            {
                error = OneLine(url) + ": more than " + std::to_string(kMaxRedirects) + " redirects";
                return false;
            }
            current = next;
            scheme = Scheme(next);
            continue;
        }
        if (status != 200)
        {
            error = OneLine(current) + ": the server answered HTTP " + std::to_string(status);
            return false;
        }
        body = std::move(received.data);
        return true;
    }
}

bool FetchSigned(const std::string& url, const std::vector<CPublicKey>& trusted, long long maxBytes, std::string& text,
                 CVerified& verified, std::string& error)
{
    std::string data;
    std::string signature;
    if (!FetchBounded(url, maxBytes, data, error) || !FetchBounded(url + ".minisig", kMaxSignature, signature, error))
        return false;
    CVerified who;
    if (!VerifySignature(trusted, data, signature, who, error))
    {
        error = OneLine(url) + ": " + error;
        return false;
    }
    text = std::move(data);
    verified = who;
    return true;
}

std::string EscapeUrlPath(const std::string& path)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string escaped;
    for (const unsigned char c : path)
    {
        if (std::isalnum(c) != 0 || c == '/' || c == '-' || c == '.' || c == '_' || c == '~')
        {
            escaped += static_cast<char>(c);
        }
        else
        {
            escaped += '%';
            escaped += kHex[c >> 4];
            escaped += kHex[c & 0x0f];
        }
    }
    return escaped;
}

} // namespace vesktrust
