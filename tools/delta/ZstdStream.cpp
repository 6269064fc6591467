#include "ZstdStream.h"

#include "DeltaFormat.h"
#include "FileAccess.h"

#include <zstd.h>

#include <algorithm>
#include <memory>

namespace veskdelta
{

bool Compress(const std::string& input, int level, std::string& output, std::string& error)
{
    std::unique_ptr<ZSTD_CCtx, decltype(&ZSTD_freeCCtx)> context(ZSTD_createCCtx(), &ZSTD_freeCCtx);
    if (!context)
    {
        error = "out of memory for zstd";
        return false;
    }
    level = std::clamp(level, 1, ZSTD_maxCLevel());
    ZSTD_CCtx_setParameter(context.get(), ZSTD_c_compressionLevel, level);
    // The window an applier accepts, so that it holds at most that much per
    // stream (zstd makes it smaller for a smaller input).
    ZSTD_CCtx_setParameter(context.get(), ZSTD_c_windowLog, kWindowLog);
    // The result of a delta is checked by its SHA-256; a checksum per stream
    // would only add bytes.
    ZSTD_CCtx_setParameter(context.get(), ZSTD_c_checksumFlag, 0);
    output.resize(ZSTD_compressBound(input.size()));
    const std::size_t written = ZSTD_compress2(context.get(), output.data(), output.size(), input.data(), input.size());
    if (ZSTD_isError(written))
    {
        error = std::string("zstd: ") + ZSTD_getErrorName(written);
        return false;
    }
    output.resize(written);
    return true;
}

CStreamReader::CStreamReader(std::FILE* file, std::uint64_t begin, std::uint64_t length, const char* name)
    : m_file(file), m_next(begin), m_end(begin + length), m_name(name), m_context(ZSTD_createDCtx()),
      m_input(kApplyBufferBytes), m_small(256)
{
    if (m_context)
        ZSTD_DCtx_setParameter(m_context, ZSTD_d_windowLogMax, kWindowLog);
}

CStreamReader::~CStreamReader()
{
    ZSTD_freeDCtx(m_context);
}

bool CStreamReader::Fail(std::string& error, const std::string& what) const
{
    error = std::string("delta's ") + m_name + " stream " + what;
    return false;
}

bool CStreamReader::Decode(unsigned char* out, std::size_t capacity, std::size_t& produced, std::string& error)
{
    produced = 0;
    if (!m_context)
        return Fail(error, "has no decompressor (out of memory)");
    while (produced == 0 && !m_frameDone)
    {
        if (m_inputPos == m_inputLength && m_next < m_end)
        {
            m_inputLength = static_cast<std::size_t>(std::min<std::uint64_t>(m_input.size(), m_end - m_next));
            if (!ReadAt(m_file, m_next, m_input.data(), m_inputLength))
                return Fail(error, "cannot be read");
            m_next += m_inputLength;
            m_inputPos = 0;
        }
        ZSTD_inBuffer input{m_input.data(), m_inputLength, m_inputPos};
        ZSTD_outBuffer output{out, capacity, 0};
        const std::size_t result = ZSTD_decompressStream(m_context, &output, &input);
        if (ZSTD_isError(result))
            return Fail(error, std::string("is corrupt (") + ZSTD_getErrorName(result) + ")");
        const bool progress = output.pos > 0 || input.pos > m_inputPos;
        m_inputPos = input.pos;
        produced = output.pos;
        if (result == 0)
            m_frameDone = true;
        else if (!progress)
            return Fail(error, "is truncated");
    }
    return true;
}

bool CStreamReader::Read(unsigned char* out, std::size_t count, std::string& error)
{
    // Bytes a varint read left over come first.
    const std::size_t buffered = std::min(count, m_smallLength - m_smallPos);
    std::copy_n(m_small.data() + m_smallPos, buffered, out);
    m_smallPos += buffered;
    std::size_t done = buffered;
    while (done < count)
    {
        std::size_t produced = 0;
        if (!Decode(out + done, count - done, produced, error))
            return false;
        if (produced == 0)
            return Fail(error, "ends early");
        done += produced;
    }
    return true;
}

bool CStreamReader::ReadVarint(std::uint64_t& value, std::string& error)
{
    value = 0;
    for (int shift = 0; shift < 64; shift += 7)
    {
        if (m_smallPos == m_smallLength)
        {
            std::size_t produced = 0;
            if (!Decode(m_small.data(), m_small.size(), produced, error))
                return false;
            if (produced == 0)
                return Fail(error, "ends early");
            m_smallPos = 0;
            m_smallLength = produced;
        }
        const unsigned char byte = m_small[m_smallPos++];
        if (shift == 63 && byte > 1)
            return Fail(error, "has a number out of range");
        value |= static_cast<std::uint64_t>(byte & 0x7f) << shift;
        if ((byte & 0x80) == 0)
            return true;
    }
    return Fail(error, "has a number out of range");
}

bool CStreamReader::AtEnd(std::string& error)
{
    if (m_smallPos < m_smallLength)
        return Fail(error, "has more data than the delta uses");
    unsigned char probe = 0;
    std::size_t produced = 0;
    if (!Decode(&probe, 1, produced, error))
        return false;
    if (produced > 0)
        return Fail(error, "has more data than the delta uses");
    if (m_inputPos < m_inputLength || m_next < m_end)
        return Fail(error, "has data after its end");
    return true;
}

std::size_t CStreamReader::DecoderBytes() const
{
    return m_context ? ZSTD_sizeof_DCtx(m_context) : 0;
}

} // namespace veskdelta
