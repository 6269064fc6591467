// zstd on the delta's streams: whole-buffer compression for the maker, and a
// reader that decompresses one stream of a delta file as it is used, with a
// bounded window, so that applying holds little memory.
#ifndef VESKUPDATE_TOOLS_DELTA_ZSTDSTREAM_H
#define VESKUPDATE_TOOLS_DELTA_ZSTDSTREAM_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct ZSTD_DCtx_s;

namespace veskdelta
{

/// `input` as one zstd frame at `level`, its window at most 2^kWindowLog.
bool Compress(const std::string& input, int level, std::string& output, std::string& error);

/// One zstd frame stored at [begin, begin + length) of a file, read in
/// pieces of kApplyBufferBytes. The frame must fill the range exactly.
class CStreamReader
{
public:
    CStreamReader(std::FILE* file, std::uint64_t begin, std::uint64_t length, const char* name);
    ~CStreamReader();
    CStreamReader(const CStreamReader&) = delete;
    CStreamReader& operator=(const CStreamReader&) = delete;
    CStreamReader(CStreamReader&&) = delete;
    CStreamReader& operator=(CStreamReader&&) = delete;

    /// Exactly `count` bytes of the stream into `out`.
    bool Read(unsigned char* out, std::size_t count, std::string& error);
    /// The next LEB128 varint of the stream (at most 64 bits).
    bool ReadVarint(std::uint64_t& value, std::string& error);
    /// True when the stream has no byte left and its frame is complete with
    /// nothing after it.
    bool AtEnd(std::string& error);
    /// The memory the decompressor holds now.
    std::size_t DecoderBytes() const;

private:
    /// Decompresses at least one byte into [out, out + capacity) unless the
    /// frame ends first; `produced` says how many.
    bool Decode(unsigned char* out, std::size_t capacity, std::size_t& produced, std::string& error);
    bool Fail(std::string& error, const std::string& what) const;

    std::FILE* m_file;
    std::uint64_t m_next;
    std::uint64_t m_end;
    const char* m_name;
    ZSTD_DCtx_s* m_context;
    std::vector<unsigned char> m_input;
    std::size_t m_inputPos = 0;
    std::size_t m_inputLength = 0;
    bool m_frameDone = false;
    // Small reads (varints) come from here.
    std::vector<unsigned char> m_small;
    std::size_t m_smallPos = 0;
    std::size_t m_smallLength = 0;
};

} // namespace veskdelta

#endif // VESKUPDATE_TOOLS_DELTA_ZSTDSTREAM_H
