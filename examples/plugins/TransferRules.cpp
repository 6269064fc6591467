#include "TransferRules.h"

#include <cctype>
#include <cstdlib>

namespace transfer
{
namespace
{

bool StartsWithNoCase(const std::string& text, const char* prefix)
{
    std::size_t i = 0;
    for (; prefix[i] != '\0'; ++i)
    {
        if (i >= text.size() || std::tolower(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    }
    return text.size() > i; // something after the scheme
}

// Reads decimal digits at `at` into `value`; false when there are none or
// they overflow.
bool ReadNumber(const std::string& text, std::size_t& at, long long& value)
{
    const std::size_t start = at;
    value = 0;
    while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])) != 0)
    {
        const int digit = text[at] - '0';
        if (value > (0x7fffffffffffffffLL - digit) / 10)
            return false;
        value = value * 10 + digit;
        ++at;
    }
    return at > start;
}

} // namespace

bool IsHttpUrl(const std::string& url)
{
    return StartsWithNoCase(url, "http://") || StartsWithNoCase(url, "https://");
}

bool IsHttpsUrl(const std::string& url)
{
    return StartsWithNoCase(url, "https://");
}

bool ParseContentRange(const std::string& value, long long& first, long long& last, long long& total)
{
    std::size_t at = 0;
    while (at < value.size() && value[at] == ' ')
        ++at;
    if (value.compare(at, 6, "bytes ") != 0)
        return false;
    at += 6;
    if (!ReadNumber(value, at, first) || at >= value.size() || value[at++] != '-' || !ReadNumber(value, at, last) ||
        at >= value.size() || value[at++] != '/' || last < first)
        return false;
    if (at < value.size() && value[at] == '*')
    {
        total = -1;
        ++at;
    }
    else if (!ReadNumber(value, at, total) || last >= total)
        return false;
    while (at < value.size() && (value[at] == ' ' || value[at] == '\r' || value[at] == '\n'))
        ++at;
    return at == value.size();
}

Next AfterFailure(CURLcode code, long status)
{
    switch (code)
    {
    case CURLE_HTTP_RETURNED_ERROR:
        if (status == 416)
            return Next::kRestart;
        // A timeout or a busy server may answer otherwise the next time; any
        // other 4xx says what the file is (absent, forbidden) and stays so.
        if (status == 408 || status == 429 || status >= 500)
            return Next::kRetry;
        return Next::kGiveUp;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_PARTIAL_FILE:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_GOT_NOTHING:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
        return Next::kRetry;
    default:
        return Next::kGiveUp;
    }
}

long BackoffMs(int attempt, long first, long longest)
{
    long pause = first;
    for (int i = 2; i < attempt && pause < longest; ++i)
        pause *= 2;
    return pause < longest ? pause : longest;
}

bool SeekTo(std::FILE* file, long long offset)
{
#if defined(_WIN32)
    return _fseeki64(file, offset, SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

long long SizeOf(std::FILE* file)
{
#if defined(_WIN32)
    if (_fseeki64(file, 0, SEEK_END) != 0)
        return -1;
    return _ftelli64(file);
#else
    if (fseeko(file, 0, SEEK_END) != 0)
        return -1;
    return static_cast<long long>(ftello(file));
#endif
}

} // namespace transfer
