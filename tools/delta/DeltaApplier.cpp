// Applying a delta with bounded memory: the three streams are decompressed
// as the steps use them, the old file is read where a step needs it, and
// the new file is written as it grows. Every number the delta holds is
// checked against the lengths in its header before it is used.
#include "Delta.h"
#include "DeltaFormat.h"
#include "FileAccess.h"
#include "ZstdStream.h"

#include <algorithm>
#include <array>
#include <memory>
#include <system_error>
#include <vector>

namespace veskdelta
{
namespace
{

bool Refuse(std::string& error, const std::string& what)
{
    error = "delta refused: " + what;
    return false;
}

// Moves `position` by `seek` within [0, limit]; false when it would leave.
bool Move(std::uint64_t& position, std::int64_t seek, std::uint64_t limit)
{
    if (seek < 0)
    {
        // -(seek + 1) + 1 does not overflow for the most negative seek.
        const std::uint64_t back = static_cast<std::uint64_t>(-(seek + 1)) + 1;
        if (back > position)
            return false;
        position -= back;
        return true;
    }
    if (static_cast<std::uint64_t>(seek) > limit - position)
        return false;
    position += static_cast<std::uint64_t>(seek);
    return true;
}

// Reads and checks the header against the two files; the checked header.
bool CheckHeader(std::FILE* oldFile, std::FILE* delta, long long maxNewLength, CHeader& header, std::string& error)
{
    std::array<unsigned char, kHeaderBytes> headerBytes{};
    std::uint64_t deltaLength = 0;
    if (!FileLength(delta, deltaLength))
        return Refuse(error, "cannot read the delta");
    if (deltaLength < kHeaderBytes || !ReadAt(delta, 0, headerBytes.data(), headerBytes.size()))
        return Refuse(error, "too short for a delta");
    if (!ReadHeader(headerBytes.data(), header, error))
        return Refuse(error, error);
    std::uint64_t oldLength = 0;
    if (!FileLength(oldFile, oldLength))
        return Refuse(error, "cannot read the old file");
    if (oldLength != header.oldLength)
        return Refuse(error, "it is for an old file of " + std::to_string(header.oldLength) + " bytes, not " +
                                 std::to_string(oldLength));
    if (maxNewLength < 0 || header.newLength > static_cast<std::uint64_t>(maxNewLength))
        return Refuse(error, "its new file of " + std::to_string(header.newLength) + " bytes is longer than allowed");
    // Each length is below 2^62, so the sum cannot overflow.
    std::uint64_t streamsEnd = kHeaderBytes;
    for (std::uint64_t length : header.streamLength)
        streamsEnd += length;
    if (streamsEnd != deltaLength)
        return Refuse(error, "its streams do not fill the file");
    return true;
}

// The steps of one checked delta, applied one by one.
class CApplier
{
public:
    CApplier(std::FILE* oldFile, std::FILE* delta, std::FILE* newOut, const CHeader& header)
        : m_oldFile(oldFile), m_newOut(newOut), m_oldLength(header.oldLength), m_newLength(header.newLength),
          m_control(delta, kHeaderBytes, header.streamLength[kControl], "control"),
          m_diff(delta, kHeaderBytes + header.streamLength[kControl], header.streamLength[kDiff], "difference"),
          m_extra(delta, kHeaderBytes + header.streamLength[kControl] + header.streamLength[kDiff],
                  header.streamLength[kExtra], "extra"),
          m_oldBytes(kApplyBufferBytes), m_bytes(kApplyBufferBytes)
    {
    }

    bool Run(std::string& error)
    {
        while (m_newPosition < m_newLength)
        {
            if (!Step(error))
                return false;
        }
        if (!m_control.AtEnd(error) || !m_diff.AtEnd(error) || !m_extra.AtEnd(error))
            return Refuse(error, error);
        if (std::fflush(m_newOut) != 0 || std::ferror(m_newOut) != 0)
            return Refuse(error, "cannot write the new file");
        return true;
    }

    long long DecoderBytes() const
    {
        return static_cast<long long>(m_control.DecoderBytes()) + static_cast<long long>(m_diff.DecoderBytes()) +
               static_cast<long long>(m_extra.DecoderBytes());
    }

private:
    bool Step(std::string& error)
    {
        std::uint64_t seek = 0;
        std::uint64_t add = 0;
        std::uint64_t copy = 0;
        if (!m_control.ReadVarint(seek, error) || !m_control.ReadVarint(add, error) ||
            !m_control.ReadVarint(copy, error))
            return Refuse(error, error);
        if (!Move(m_oldPosition, UnZigZag(seek), m_oldLength))
            return Refuse(error, "a step moves outside the old file");
        const std::uint64_t room = m_newLength - m_newPosition;
        if (add > room || copy > room - add || add + copy == 0)
            return Refuse(error, "a step does not fit the new file");
        if (add > m_oldLength - m_oldPosition)
            return Refuse(error, "a step reads past the old file");
        return Add(add, error) && Copy(copy, error);
    }

    // `length` bytes of differences added to the old file's bytes.
    bool Add(std::uint64_t length, std::string& error)
    {
        while (length > 0)
        {
            const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(length, m_bytes.size()));
            if (!ReadAt(m_oldFile, m_oldPosition, m_oldBytes.data(), count))
                return Refuse(error, "cannot read the old file");
            if (!m_diff.Read(m_bytes.data(), count, error))
                return Refuse(error, error);
            for (std::size_t i = 0; i < count; ++i)
                m_bytes[i] = static_cast<unsigned char>(m_bytes[i] + m_oldBytes[i]);
            if (!Write(count, error))
                return false;
            m_oldPosition += count;
            length -= count;
        }
        return true;
    }

    // `length` bytes of the extra stream as they are.
    bool Copy(std::uint64_t length, std::string& error)
    {
        while (length > 0)
        {
            const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(length, m_bytes.size()));
            if (!m_extra.Read(m_bytes.data(), count, error))
                return Refuse(error, error);
            if (!Write(count, error))
                return false;
            length -= count;
        }
        return true;
    }

    bool Write(std::size_t count, std::string& error)
    {
        if (std::fwrite(m_bytes.data(), 1, count, m_newOut) != count)
            return Refuse(error, "cannot write the new file");
        m_newPosition += count;
        return true;
    }

    std::FILE* m_oldFile;
    std::FILE* m_newOut;
    std::uint64_t m_oldLength;
    std::uint64_t m_newLength;
    CStreamReader m_control;
    CStreamReader m_diff;
    CStreamReader m_extra;
    std::vector<unsigned char> m_oldBytes;
    std::vector<unsigned char> m_bytes;
    std::uint64_t m_oldPosition = 0;
    std::uint64_t m_newPosition = 0;
};

} // namespace

bool ApplyDelta(std::FILE* oldFile, std::FILE* delta, std::FILE* newOut, long long maxNewLength, std::string& error,
                CApplyStats* stats)
{
    CHeader header;
    if (!CheckHeader(oldFile, delta, maxNewLength, header, error))
        return false;
    CApplier applier(oldFile, delta, newOut, header);
    if (!applier.Run(error))
        return false;
    if (stats)
    {
        stats->newLength = static_cast<long long>(header.newLength);
        stats->decoderBytes = applier.DecoderBytes();
    }
    return true;
}

bool ApplyDelta(const std::filesystem::path& oldFile, const std::filesystem::path& delta,
                const std::filesystem::path& newOut, long long maxNewLength, std::string& error, CApplyStats* stats)
{
    FilePtr oldStream = OpenFile(oldFile, "rb");
    if (!oldStream)
        return Refuse(error, "cannot open " + oldFile.string());
    FilePtr deltaStream = OpenFile(delta, "rb");
    if (!deltaStream)
        return Refuse(error, "cannot open " + delta.string());
    FilePtr out = OpenFile(newOut, "wb");
    if (!out)
        return Refuse(error, "cannot create " + newOut.string());
    bool applied = ApplyDelta(oldStream.get(), deltaStream.get(), out.get(), maxNewLength, error, stats);
    if (std::fclose(out.release()) != 0 && applied)
        applied = Refuse(error, "cannot write " + newOut.string());
    if (!applied)
    {
        std::error_code ignored;
        std::filesystem::remove(newOut, ignored);
    }
    return applied;
}

} // namespace veskdelta
