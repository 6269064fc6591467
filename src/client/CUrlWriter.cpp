#include "client/CUrlWriter.h"

#include "client/HttpStatus.h"

namespace curl_object
{

CURLcode CUrlWriter::Attach(CURL* handle)
{
    m_handle = handle;
    const CURLcode result = curl_easy_setopt(handle, CURLOPT_WRITEDATA, static_cast<void*>(this));
    if (result != CURLE_OK)
        return result;
    return curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &UrlWriteCallback);
}

std::size_t UrlWriteCallback(char* data, std::size_t size, std::size_t count, void* userdata)
{
    CUrlWriter* writer = static_cast<CUrlWriter*>(userdata);
    if (!writer)
        return 0;
    long status = 0;
    curl_easy_getinfo(writer->GetHandle(), CURLINFO_RESPONSE_CODE, &status);
    if (!BodyMayPass(status))
        return 0;
    try
    {
        return writer->Write(data, size, count);
    }
    catch (...)
    {
        // An exception must not cross libcurl's C frames; a refused block
        // aborts the transfer instead.
        return 0;
    }
}

} // namespace curl_object
