// The transfer floor the benchmarks measure the library against: a plain
// libcurl GET with the options the library's transfer handle sets (fail on
// HTTP errors, follow up to 30 redirects, discard headers, no signals, the
// 5 MB/s reception cap, a trace callback that does nothing) into a string.
#ifndef VESKUPDATE_BENCH_PLAINGET_H
#define VESKUPDATE_BENCH_PLAINGET_H

#include <curl/curl.h>

#include <cstddef>
#include <string>

namespace bench
{

inline std::size_t AppendToString(char* data, std::size_t size, std::size_t count, void* userdata)
{
    static_cast<std::string*>(userdata)->append(data, size * count);
    return size * count;
}

inline std::size_t IgnoreHeader(char*, std::size_t size, std::size_t count, void*)
{
    return size * count;
}

inline int IgnoreTrace(CURL*, curl_infotype, char*, std::size_t, void*)
{
    return 0;
}

/// True when the GET answered 200; `body` receives the answer.
inline bool PlainGet(const std::string& url, std::string& body)
{
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 30L);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &IgnoreHeader);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_MAX_RECV_SPEED_LARGE, static_cast<curl_off_t>(5242880));
    curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, &IgnoreTrace);
    curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &AppendToString);
    const CURLcode code = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(curl);
    return code == CURLE_OK && status == 200;
}

} // namespace bench

#endif // VESKUPDATE_BENCH_PLAINGET_H
