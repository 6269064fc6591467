// Making a delta: a suffix array of the old file (libdivsufsort) finds, for
// each place in the new file, the longest exact match in the old one. A
// match is taken only where it beats what the current alignment (the offset
// of the previous match) already gives by more than a few bytes; between two
// taken matches the previous alignment is extended forwards and the new one
// backwards, as far as at least half the bytes agree, and what is left in
// between is stored as it is. Aligned stretches become byte differences,
// mostly zeros and small repeated values (moved addresses), which zstd
// compresses well.
#include "Delta.h"
#include "DeltaFormat.h"
#include "FileAccess.h"
#include "ZstdStream.h"

#include <divsufsort.h>
#ifdef VESKDELTA_HAVE_DIVSUFSORT64
#  include <divsufsort64.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <system_error>
#include <vector>

namespace veskdelta
{
namespace
{

using Pos = std::int64_t;

// A match must beat the current alignment by more than this many bytes.
constexpr Pos kMatchBonus = 8;
// Matches from this length on are skipped through (see NextMatch).
constexpr Pos kSkipLength = 64;

Pos CommonPrefix(const unsigned char* a, Pos aLength, const unsigned char* b, Pos bLength)
{
    const Pos limit = std::min(aLength, bLength);
    Pos i = 0;
    while (i < limit && a[i] == b[i])
        ++i;
    return i;
}

// The suffix array of the old bytes, with Index the width of its entries.
template <class Index>
class CSuffixIndex
{
public:
    bool Build(const unsigned char* old, Pos oldLength);

    /// The length of the longest prefix of [text, text + length) found in
    /// the old bytes, and where (`position`).
    Pos Longest(const unsigned char* text, Pos length, Pos& position) const
    {
        position = 0;
        if (m_length == 0)
            return 0;
        // The two suffixes between which the text sorts hold the longest match.
        Pos low = 0;
        Pos high = m_length - 1;
        while (high - low > 1)
        {
            const Pos middle = low + (high - low) / 2;
            const Pos start = m_suffixes[middle];
            const Pos compared = std::min(m_length - start, length);
            const int order = std::memcmp(m_old + start, text, static_cast<std::size_t>(compared));
            // A suffix that is a proper prefix of the text sorts before it.
            if (order < 0 || (order == 0 && compared < length))
                low = middle;
            else
                high = middle;
        }
        const Pos atLow = CommonPrefix(m_old + m_suffixes[low], m_length - m_suffixes[low], text, length);
        const Pos atHigh = CommonPrefix(m_old + m_suffixes[high], m_length - m_suffixes[high], text, length);
        position = atLow > atHigh ? m_suffixes[low] : m_suffixes[high];
        return std::max(atLow, atHigh);
    }

private:
    const unsigned char* m_old = nullptr;
    Pos m_length = 0;
    std::vector<Index> m_suffixes;
};

template <>
bool CSuffixIndex<saidx_t>::Build(const unsigned char* old, Pos oldLength)
{
    m_old = old;
    m_length = oldLength;
    m_suffixes.resize(static_cast<std::size_t>(oldLength));
    return oldLength == 0 || divsufsort(old, m_suffixes.data(), static_cast<saidx_t>(oldLength)) == 0;
}

#ifdef VESKDELTA_HAVE_DIVSUFSORT64
template <>
bool CSuffixIndex<saidx64_t>::Build(const unsigned char* old, Pos oldLength)
{
    m_old = old;
    m_length = oldLength;
    m_suffixes.resize(static_cast<std::size_t>(oldLength));
    return oldLength == 0 || divsufsort64(old, m_suffixes.data(), static_cast<saidx64_t>(oldLength)) == 0;
}
#endif

// Writes the steps and the two byte streams.
class CStreamWriter
{
public:
    CStreamWriter(const unsigned char* old, const unsigned char* newBytes) : m_old(old), m_new(newBytes) {}

    /// new[newStart, newStart + add) as differences against old[oldStart, ...),
    /// then new[newStart + add, newEnd) as it is.
    void Step(Pos newStart, Pos oldStart, Pos add, Pos newEnd)
    {
        const Pos extra = newEnd - newStart - add;
        if (add + extra == 0)
            return;
        // With nothing to add the position in the old file does not matter.
        const Pos seek = add > 0 ? oldStart - m_oldCursor : 0;
        PutVarint(m_streams[kControl], ZigZag(seek));
        PutVarint(m_streams[kControl], static_cast<std::uint64_t>(add));
        PutVarint(m_streams[kControl], static_cast<std::uint64_t>(extra));
        std::string& diff = m_streams[kDiff];
        for (Pos i = 0; i < add; ++i)
            diff.push_back(static_cast<char>(m_new[newStart + i] - m_old[oldStart + i]));
        m_streams[kExtra].append(reinterpret_cast<const char*>(m_new + newStart + add),
                                 static_cast<std::size_t>(extra));
        if (add > 0)
            m_oldCursor = oldStart + add;
    }

    std::string m_streams[kStreamCount];

private:
    const unsigned char* m_old;
    const unsigned char* m_new;
    Pos m_oldCursor = 0;
};

// The matching over the suffix array, from the start of the new file to its
// end, handing each stretch to the writer.
template <class Index>
class CDiffer
{
public:
    CDiffer(const unsigned char* old, Pos oldLength, const unsigned char* newBytes, Pos newLength)
        : m_old(old), m_oldLength(oldLength), m_new(newBytes), m_newLength(newLength)
    {
    }

    bool Run(CStreamWriter& writer)
    {
        if (!m_index.Build(m_old, m_oldLength))
            return false;
        while (m_scan < m_newLength)
        {
            if (!NextMatch())
                continue; // the match only continues the current alignment
            Pos forward = ExtendForward();
            Pos backward = ExtendBackward();
            Split(forward, backward);
            writer.Step(m_lastScan, m_lastPosition, forward, m_scan - backward);
            m_lastScan = m_scan - backward;
            m_lastPosition = m_position - backward;
            m_lastOffset = m_position - m_scan;
        }
        return true;
    }

private:
    // Whether new[at] equals the old byte at the same place under `offset`.
    bool Agrees(Pos at, Pos offset) const
    {
        const Pos o = at + offset;
        return o >= 0 && o < m_oldLength && m_old[o] == m_new[at];
    }

    // Moves m_scan to the next place where an exact match (m_position,
    // m_length) beats the current alignment, or to the end. False when the
    // match found there only continues the alignment.
    bool NextMatch()
    {
        // The bytes of [m_scan, scored) that agree under the alignment.
        Pos alignedScore = 0;
        m_scan += m_length;
        Pos scored = m_scan;
        for (; m_scan < m_newLength; ++m_scan)
        {
            m_length = m_index.Longest(m_new + m_scan, m_newLength - m_scan, m_position);
            for (; scored < m_scan + m_length; ++scored)
            {
                if (Agrees(scored, m_lastOffset))
                    ++alignedScore;
            }
            if ((m_length == alignedScore && m_length != 0) || m_length > alignedScore + kMatchBonus)
                break;
            if (Agrees(m_scan, m_lastOffset))
                --alignedScore;
            // A long match that only about follows the alignment would be
            // found again, one byte shorter, at each of the next places
            // (long runs of one byte do this): half of it is skipped, so
            // that such stretches cost linear time, not quadratic.
            if (m_length >= kSkipLength)
            {
                const Pos skipTo = m_scan + m_length / 2;
                for (++m_scan; m_scan < skipTo; ++m_scan)
                {
                    if (Agrees(m_scan, m_lastOffset))
                        --alignedScore;
                }
                --m_scan; // the loop steps onto skipTo
            }
        }
        return m_length != alignedScore || m_scan == m_newLength;
    }

    // How far the previous match extends forwards while at least half agrees.
    Pos ExtendForward() const
    {
        Pos forward = 0;
        Pos same = 0;
        Pos best = 0;
        for (Pos i = 0; m_lastScan + i < m_scan && m_lastPosition + i < m_oldLength;)
        {
            if (m_old[m_lastPosition + i] == m_new[m_lastScan + i])
                ++same;
            ++i;
            if (same * 2 - i > best * 2 - forward)
            {
                best = same;
                forward = i;
            }
        }
        return forward;
    }

    // And the new match backwards.
    Pos ExtendBackward() const
    {
        Pos backward = 0;
        if (m_scan >= m_newLength)
            return backward;
        Pos same = 0;
        Pos best = 0;
        for (Pos i = 1; m_scan >= m_lastScan + i && m_position >= i; ++i)
        {
            if (m_old[m_position - i] == m_new[m_scan - i])
                ++same;
            if (same * 2 - i > best * 2 - backward)
            {
                best = same;
                backward = i;
            }
        }
        return backward;
    }

    // Where the two extensions overlap, the split that agrees the most.
    void Split(Pos& forward, Pos& backward) const
    {
        if (m_lastScan + forward <= m_scan - backward)
            return;
        const Pos overlap = m_lastScan + forward - (m_scan - backward);
        Pos score = 0;
        Pos bestScore = 0;
        Pos split = 0;
        for (Pos i = 0; i < overlap; ++i)
        {
            if (m_new[m_lastScan + forward - overlap + i] == m_old[m_lastPosition + forward - overlap + i])
                ++score;
            if (m_new[m_scan - backward + i] == m_old[m_position - backward + i])
                --score;
            if (score > bestScore)
            {
                bestScore = score;
                split = i + 1;
            }
        }
        forward += split - overlap;
        backward -= split;
    }

    const unsigned char* m_old;
    Pos m_oldLength;
    const unsigned char* m_new;
    Pos m_newLength;
    CSuffixIndex<Index> m_index;
    Pos m_scan = 0;
    Pos m_length = 0;
    Pos m_position = 0;
    Pos m_lastScan = 0;
    Pos m_lastPosition = 0;
    Pos m_lastOffset = 0;
};

} // namespace

bool MakeDelta(const std::string& oldData, const std::string& newData, std::string& delta, std::string& error,
               const CMakeOptions& options)
{
    if (oldData.size() > kMaxLength || newData.size() > kMaxLength)
    {
        error = "file too large for a delta";
        return false;
    }
    const auto* old = reinterpret_cast<const unsigned char*>(oldData.data());
    const auto* newBytes = reinterpret_cast<const unsigned char*>(newData.data());
    const auto oldLength = static_cast<Pos>(oldData.size());
    const auto newLength = static_cast<Pos>(newData.size());
    CStreamWriter writer(old, newBytes);
    bool indexed = false;
    try
    {
        if (oldLength < std::numeric_limits<saidx_t>::max())
            indexed = CDiffer<saidx_t>(old, oldLength, newBytes, newLength).Run(writer);
#ifdef VESKDELTA_HAVE_DIVSUFSORT64
        else
            indexed = CDiffer<saidx64_t>(old, oldLength, newBytes, newLength).Run(writer);
#endif
    }
    catch (const std::bad_alloc&)
    {
        indexed = false;
    }
    if (!indexed)
    {
        error = "cannot index the old file (too large or out of memory)";
        return false;
    }

    CHeader header;
    header.oldLength = oldData.size();
    header.newLength = newData.size();
    std::string compressed[kStreamCount];
    for (int i = 0; i < kStreamCount; ++i)
    {
        if (!Compress(writer.m_streams[i], options.level, compressed[i], error))
            return false;
        header.streamLength[i] = compressed[i].size();
    }
    delta = WriteHeader(header);
    for (const std::string& stream : compressed)
        delta += stream;
    return true;
}

bool MakeDelta(const std::filesystem::path& oldFile, const std::filesystem::path& newFile,
               const std::filesystem::path& deltaOut, std::string& error, const CMakeOptions& options)
{
    std::string oldData;
    std::string newData;
    std::string delta;
    if (!ReadWholeFile(oldFile, oldData, error) || !ReadWholeFile(newFile, newData, error) ||
        !MakeDelta(oldData, newData, delta, error, options))
        return false;
    FilePtr out = OpenFile(deltaOut, "wb");
    if (!out)
    {
        error = "cannot create " + deltaOut.string();
        return false;
    }
    const bool whole = std::fwrite(delta.data(), 1, delta.size(), out.get()) == delta.size();
    if (std::fclose(out.release()) != 0 || !whole)
    {
        // No partial delta is left behind.
        std::error_code ignored;
        std::filesystem::remove(deltaOut, ignored);
        error = "cannot write " + deltaOut.string();
        return false;
    }
    return true;
}

} // namespace veskdelta
