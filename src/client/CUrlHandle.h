// One libcurl easy handle, configured with the library's fixed options, for
// exactly one blocking GET. Also the header and trace callbacks it installs.
#ifndef VESKUPDATE_CURLHANDLE_H
#define VESKUPDATE_CURLHANDLE_H

#include <curl/curl.h>

#include <cstddef>

namespace curl_object
{

/// The most redirects one request follows. This libcurl follows redirects
/// without limit when none is set, so a server that redirects in a loop
/// would keep the caller's thread requesting forever; 30 is the limit later
/// libcurl versions use by default.
constexpr long kMaxRedirects = 30;

/// Reception cap in bytes per second.
constexpr long long kMaxReceiveSpeed = 5242880;

class CUrlHandle
{
public:
    /// curl_easy_init (never curl_global_init: libcurl initialises itself on
    /// the first handle), then the fixed options: fail on HTTP errors, follow
    /// redirects (at most kMaxRedirects), discard headers, no signals, cap
    /// the reception speed, trace through DebugTraceCallback.
    CUrlHandle();
    ~CUrlHandle();
    CUrlHandle(const CUrlHandle&) = delete;
    CUrlHandle& operator=(const CUrlHandle&) = delete;

    /// curl_easy_setopt for options that take a long. With a null handle
    /// nothing is called and CURLE_OK is returned; test GetHandle first.
    CURLcode SetOption(CURLoption option, long value);
    /// For options that take a curl_off_t (the *_LARGE options). Where
    /// curl_off_t is long, the long overload serves them just as well.
    CURLcode SetOption(CURLoption option, long long value);
    /// For options that take an object or data pointer.
    CURLcode SetOption(CURLoption option, const void* value);
    /// For options that take a callback.
    template <class R, class... A>
    CURLcode SetOption(CURLoption option, R (*function)(A...))
    {
        return m_handle ? curl_easy_setopt(m_handle, option, function) : CURLE_OK;
    }

    /// CURLOPT_URL, and the protocols a redirect may go to: from an https
    /// address https only, since a plain connection would hand over what was
    /// asked for over TLS; from any other, libcurl's default ones. Returns
    /// the code of setting the url.
    CURLcode SetUrl(const char* url);
    /// Installs DebugTraceCallback, then turns CURLOPT_VERBOSE on or off.
    /// Always returns CURLE_OK.
    CURLcode SetVerbose(bool on);

    /// The easy handle, null when it could not be created.
    CURL* GetHandle() const { return m_handle; }

private:
    CURL* m_handle;
};

/// Header callback: takes every header line and keeps nothing.
std::size_t DiscardHeaderCallback(char* data, std::size_t size, std::size_t count, void* userdata);

/// Trace callback: prints nothing; colours the console on header traffic,
/// 137 (blue on grey) for incoming and 138 (green on grey) for outgoing
/// headers, and leaves the colour so. Always returns 0.
int DebugTraceCallback(CURL* handle, curl_infotype type, char* data, std::size_t size, void* userdata);

} // namespace curl_object

#endif // VESKUPDATE_CURLHANDLE_H
