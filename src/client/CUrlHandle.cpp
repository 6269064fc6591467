#include "client/CUrlHandle.h"

#include "client/HttpStatus.h"

#include "platform/Platform.h"

#include <cctype>
#include <cstddef>

namespace curl_object
{

namespace
{

// The protocols libcurl lets a redirect go to when it is told none.
const char kDefaultRedirects[] = "http,https,ftp,ftps";

// Whether the url's scheme is https, in any case, as libcurl reads it.
bool IsHttps(const char* url)
{
    static const char kScheme[] = "https://";
    if (url == nullptr)
        return false;
    for (std::size_t i = 0; kScheme[i] != '\0'; ++i)
    {
        if (std::tolower(static_cast<unsigned char>(url[i])) != kScheme[i])
            return false;
    }
    return true;
}

} // namespace

CUrlHandle::CUrlHandle() : m_handle(curl_easy_init())
{
    // Results are not checked: every option here is known to this libcurl,
    // and a null handle makes them all no-ops.
    SetOption(CURLOPT_FAILONERROR, kLibcurlFailsHttpErrors ? 1L : 0L);
    SetOption(CURLOPT_FOLLOWLOCATION, 1L);
    SetOption(CURLOPT_MAXREDIRS, kMaxRedirects);
    SetOption(CURLOPT_HEADERDATA, static_cast<const void*>(this));
    SetOption(CURLOPT_HEADERFUNCTION, &DiscardHeaderCallback);
    SetOption(CURLOPT_NOSIGNAL, 1L);
    SetOption(CURLOPT_MAX_RECV_SPEED_LARGE, static_cast<curl_off_t>(kMaxReceiveSpeed));
    SetVerbose(true);
}

CUrlHandle::~CUrlHandle()
{
    if (m_handle)
        curl_easy_cleanup(m_handle);
}

CURLcode CUrlHandle::SetOption(CURLoption option, long value)
{
    return m_handle ? curl_easy_setopt(m_handle, option, value) : CURLE_OK;
}

CURLcode CUrlHandle::SetOption(CURLoption option, long long value)
{
    return m_handle ? curl_easy_setopt(m_handle, option, static_cast<curl_off_t>(value)) : CURLE_OK;
}

CURLcode CUrlHandle::SetOption(CURLoption option, const void* value)
{
    return m_handle ? curl_easy_setopt(m_handle, option, value) : CURLE_OK;
}

CURLcode CUrlHandle::SetUrl(const char* url)
{
    SetOption(CURLOPT_REDIR_PROTOCOLS_STR, static_cast<const void*>(IsHttps(url) ? "https" : kDefaultRedirects));
    return SetOption(CURLOPT_URL, static_cast<const void*>(url));
}

CURLcode CUrlHandle::SetVerbose(bool on)
{
    SetOption(CURLOPT_DEBUGFUNCTION, &DebugTraceCallback);
    SetOption(CURLOPT_VERBOSE, on ? 1L : 0L);
    return CURLE_OK;
}

std::size_t DiscardHeaderCallback(char*, std::size_t size, std::size_t count, void*)
{
    return size * count;
}

int DebugTraceCallback(CURL*, curl_infotype type, char*, std::size_t, void*)
{
    if (type == CURLINFO_HEADER_IN)
        platform::SetConsoleTextAttribute(137); // FOREGROUND_BLUE | FOREGROUND_INTENSITY | BACKGROUND_INTENSITY
    else if (type == CURLINFO_HEADER_OUT)
        platform::SetConsoleTextAttribute(138); // FOREGROUND_GREEN | FOREGROUND_INTENSITY | BACKGROUND_INTENSITY
    return 0;
}

} // namespace curl_object
