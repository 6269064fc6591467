#include "client/CStringWriter.h"

#include <algorithm>
#include <cstring>

namespace jsonIO
{

CStringWriter::CStringWriter() : m_buffer(), m_staged(0) {}

std::size_t CStringWriter::Write(const char* data, std::size_t size, std::size_t count)
{
    const std::size_t total = size * count;
    std::size_t copied = 0;
    while (copied < total)
    {
        const std::size_t room = static_cast<std::size_t>(kBufferSize - 1 - m_staged);
        const std::size_t piece = std::min(room, total - copied);
        std::memcpy(m_buffer + m_staged, data + copied, piece);
        m_staged += static_cast<int>(piece);
        copied += piece;
        if (m_staged > kFlushAbove)
            Flush();
    }
    return total;
}

void CStringWriter::Flush()
{
    if (m_staged == 0)
        return;
    m_body.append(m_buffer, static_cast<std::size_t>(m_staged));
    std::memset(m_buffer, 0, sizeof m_buffer);
    m_staged = 0;
}

} // namespace jsonIO
