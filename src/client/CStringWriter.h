// The body sink of a JSON fetch: collects the body in memory, staged through
// a small buffer so the body text grows about a kilobyte at a time rather
// than once per block libcurl delivers.
#ifndef VESKUPDATE_CSTRINGWRITER_H
#define VESKUPDATE_CSTRINGWRITER_H

#include "client/CUrlWriter.h"

#include <string>

namespace jsonIO
{

class CStringWriter final : public curl_object::CUrlWriter
{
public:
    /// Staging buffer size; its last byte is never written, so the buffer
    /// always ends in a zero byte.
    static constexpr int kBufferSize = 1024;
    /// The staged bytes move into the body once more than this many wait.
    static constexpr int kFlushAbove = 1008;

    CStringWriter();

    /// Copies the block into the staging buffer, flushing whenever more than
    /// kFlushAbove bytes are staged. Accepts every byte: returns size * count.
    std::size_t Write(const char* data, std::size_t size, std::size_t count) override;

    /// Appends the staged bytes to the body and empties the buffer.
    void Flush();

    /// The body collected so far (without what is still staged).
    const std::string& GetBody() const { return m_body; }

private:
    std::string m_body;
    char m_buffer[kBufferSize];
    int m_staged;
};

} // namespace jsonIO

#endif // VESKUPDATE_CSTRINGWRITER_H
