// The container of a delta (all numbers little-endian):
//
//   offset  size  field
//        0     8  magic "VKDELTA\x1a"
//        8     4  format version, 1
//       12     4  flags, 0 (anything else is refused)
//       16     8  length of the old file
//       24     8  length of the new file
//       32     8  compressed length of the control stream
//       40     8  compressed length of the difference stream
//       48     8  compressed length of the extra stream
//       56        the three streams, each one zstd frame, in that order,
//                 ending exactly at the end of the file
//
// The control stream is a list of steps until the new file is complete, each
// three numbers as LEB128 varints:
//   seek   (zigzag-signed) moves the position in the old file, which starts
//          at 0 and must stay within [0, old length];
//   add    bytes of the difference stream, each added (mod 256) to the old
//          byte at the position, which then moves past them;
//   extra  bytes of the extra stream copied as they are.
// add + extra is at least 1, so every step makes the new file longer. After
// the last step all three streams must be at their end.
#ifndef VESKUPDATE_TOOLS_DELTA_DELTAFORMAT_H
#define VESKUPDATE_TOOLS_DELTA_DELTAFORMAT_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace veskdelta
{

constexpr std::array<char, 8> kMagic = {'V', 'K', 'D', 'E', 'L', 'T', 'A', '\x1a'};
constexpr std::uint32_t kFormatVersion = 1;
constexpr std::size_t kHeaderBytes = 56;
constexpr int kStreamCount = 3;
enum EStream
{
    kControl = 0,
    kDiff = 1,
    kExtra = 2
};

/// The largest file length the format takes (leaves room for sums).
constexpr std::uint64_t kMaxLength = std::uint64_t(1) << 62;

/// zstd's window for every stream is at most 2^kWindowLog bytes: what the
/// maker uses and the most an applier agrees to hold.
constexpr int kWindowLog = 23;

/// The size of each buffer the applier holds (old bytes, compressed input).
constexpr std::size_t kApplyBufferBytes = std::size_t(64) * 1024;

struct CHeader
{
    std::uint64_t oldLength = 0;
    std::uint64_t newLength = 0;
    std::array<std::uint64_t, kStreamCount> streamLength{};
};

/// The header's kHeaderBytes bytes.
std::string WriteHeader(const CHeader& header);

/// Reads the header from kHeaderBytes bytes; false, with `error` set, when
/// the magic, the version, the flags or a length is not acceptable.
bool ReadHeader(const unsigned char* bytes, CHeader& header, std::string& error);

/// Appends `value` as an LEB128 varint.
void PutVarint(std::string& out, std::uint64_t value);

/// The zigzag form of a signed number and back.
inline std::uint64_t ZigZag(std::int64_t value)
{
    return (static_cast<std::uint64_t>(value) << 1) ^ static_cast<std::uint64_t>(value < 0 ? -1 : 0);
}
inline std::int64_t UnZigZag(std::uint64_t value)
{
    return static_cast<std::int64_t>(value >> 1) ^ -static_cast<std::int64_t>(value & 1);
}

} // namespace veskdelta

#endif // VESKUPDATE_TOOLS_DELTA_DELTAFORMAT_H
