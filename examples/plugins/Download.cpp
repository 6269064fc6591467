#include "Download.h"

#include "CMd5.h"
#include "PluginFiles.h"

#include <Sha256.h>

#include <curl/curl.h>

#include <cctype>

namespace
{

// One download in progress: what arrived so far, refused beyond the length
// the definition promises.
struct CTransfer
{
    std::FILE* file = nullptr;
    CMd5* md5 = nullptr;
    vesktrust::CSha256* sha256 = nullptr;
    long long received = 0;
    long long limit = 0;
    bool tooLong = false;
};

std::size_t WriteBody(char* data, std::size_t size, std::size_t count, void* user)
{
    CTransfer& transfer = *static_cast<CTransfer*>(user);
    const std::size_t bytes = size * count;
    if (static_cast<long long>(bytes) > transfer.limit - transfer.received)
    {
        transfer.tooLong = true;
        return 0; // more than promised: libcurl stops with a write error
    }
    if (std::fwrite(data, 1, bytes, transfer.file) != bytes)
        return 0;
    if (transfer.md5 != nullptr)
        transfer.md5->Update(data, bytes);
    if (transfer.sha256 != nullptr)
        transfer.sha256->Update(data, bytes);
    transfer.received += static_cast<long long>(bytes);
    return bytes;
}

} // namespace

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

bool Download(const std::string& url, const std::string& scheme, std::FILE* out, const CExpectedFile& expected,
              std::string& error)
{
    CURL* curl = curl_easy_init();
    if (curl == nullptr)
    {
        error = "libcurl could not start a transfer";
        return false;
    }
    CMd5 md5;
    vesktrust::CSha256 sha256;
    const bool signedDigest = !expected.sha256.empty();
    CTransfer transfer;
    transfer.limit = expected.length;
    transfer.file = out;
    if (signedDigest)
        transfer.sha256 = &sha256;
    else
        transfer.md5 = &md5;
    char message[CURL_ERROR_SIZE] = "";
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, message);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, scheme == "https" ? "https" : "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 30L);
    // A transfer that stalls for a minute is given up, not waited on forever.
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 60L);
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(transfer.limit));
    const CURLcode result = curl_easy_perform(curl);
    curl_easy_cleanup(curl);

    const std::string length = std::to_string(transfer.limit);
    if (transfer.tooLong || result == CURLE_FILESIZE_EXCEEDED)
        error = url + " sends more than the " + length + " bytes " + expected.source + " names";
    else if (result == CURLE_UNSUPPORTED_PROTOCOL && scheme == "https")
        error = url + ": " + (*message ? message : curl_easy_strerror(result)) +
                " (a redirect from https to http is refused)";
    else if (result != CURLE_OK)
        error = url + ": " + (*message ? message : curl_easy_strerror(result));
    else if (transfer.received != transfer.limit)
        error = url + " sent " + std::to_string(transfer.received) + " bytes, " + expected.source + " names " + length;
    else if (signedDigest && sha256.HexDigest() != expected.sha256)
        error = "the SHA-256 of what " + url + " sent does not match " + expected.source;
    else if (!signedDigest && !Md5Matches(md5.HexDigest(), expected.md5.c_str()))
        error = "the MD5 of what " + url + " sent does not match " + expected.source;
    else
        return true;
    return false;
}
