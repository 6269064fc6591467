// The sink for a transfer's body, and the write callback that feeds it.
#ifndef VESKUPDATE_CURLWRITER_H
#define VESKUPDATE_CURLWRITER_H

#include <curl/curl.h>

#include <cstddef>

namespace curl_object
{

/// Receives the body of one transfer block by block. Attach it to a handle
/// before the perform; it must outlive the perform.
class CUrlWriter
{
public:
    CUrlWriter() : m_handle(nullptr) {}
    virtual ~CUrlWriter() = default;
    CUrlWriter(const CUrlWriter&) = delete;
    CUrlWriter& operator=(const CUrlWriter&) = delete;

    /// Takes one block of the body. Returning anything but size * count makes
    /// libcurl abort the transfer with a write error.
    virtual std::size_t Write(const char* data, std::size_t size, std::size_t count) = 0;

    /// Makes this writer the body sink of `handle` (CURLOPT_WRITEDATA, then
    /// CURLOPT_WRITEFUNCTION). Returns the first failing libcurl code, or
    /// that of the last option.
    CURLcode Attach(CURL* handle);

    /// The handle the writer is attached to; the write callback reads the
    /// HTTP status through it.
    CURL* GetHandle() const { return m_handle; }

private:
    CURL* m_handle;
};

/// libcurl's write callback; `userdata` is the CUrlWriter. Accepts a block
/// only while the status passes the gate of HttpStatus.h (BodyMayPass).
std::size_t UrlWriteCallback(char* data, std::size_t size, std::size_t count, void* userdata);

} // namespace curl_object

#endif // VESKUPDATE_CURLWRITER_H
