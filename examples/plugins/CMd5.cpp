#include "CMd5.h"

#include <cstring>

namespace
{

// floor(|sin(i + 1)| * 2^32) for i = 0..63.
const std::uint32_t kSines[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

// Left rotation of each step, four per round.
const unsigned kShifts[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

std::uint32_t RotateLeft(std::uint32_t value, unsigned bits)
{
    return (value << bits) | (value >> (32 - bits));
}

} // namespace

CMd5::CMd5()
{
    Reset();
}

void CMd5::Reset()
{
    m_state[0] = 0x67452301;
    m_state[1] = 0xefcdab89;
    m_state[2] = 0x98badcfe;
    m_state[3] = 0x10325476;
    m_length = 0;
    std::memset(m_buffer, 0, sizeof m_buffer);
}

void CMd5::Update(const void* data, std::size_t size)
{
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    std::size_t used = static_cast<std::size_t>(m_length % 64);
    m_length += size;
    if (used > 0)
    {
        const std::size_t take = size < 64 - used ? size : 64 - used;
        std::memcpy(m_buffer + used, bytes, take);
        used += take;
        bytes += take;
        size -= take;
        if (used < 64)
            return;
        Transform(m_buffer);
    }
    for (; size >= 64; bytes += 64, size -= 64)
        Transform(bytes);
    if (size > 0)
        std::memcpy(m_buffer, bytes, size);
}

std::string CMd5::HexDigest()
{
    // Padding: one 1 bit, zeros up to 56 bytes modulo 64, then the message
    // length in bits, little-endian.
    const std::uint64_t bits = m_length * 8;
    static const unsigned char kPadding[64] = {0x80};
    const std::size_t used = static_cast<std::size_t>(m_length % 64);
    Update(kPadding, used < 56 ? 56 - used : 120 - used);
    unsigned char length[8];
    for (int i = 0; i < 8; ++i)
        length[i] = static_cast<unsigned char>(bits >> (8 * i));
    Update(length, sizeof length);

    static const char kHex[] = "0123456789abcdef";
    std::string digest;
    for (std::uint32_t word : m_state)
    {
        for (int i = 0; i < 4; ++i)
        {
            const unsigned byte = (word >> (8 * i)) & 0xff;
            digest += kHex[byte >> 4];
            digest += kHex[byte & 0x0f];
        }
    }
    Reset();
    return digest;
}

void CMd5::Transform(const unsigned char block[64])
{
    std::uint32_t words[16];
    for (std::size_t i = 0; i < 16; ++i)
    {
        words[i] = static_cast<std::uint32_t>(block[4 * i]) | static_cast<std::uint32_t>(block[4 * i + 1]) << 8 |
                   static_cast<std::uint32_t>(block[4 * i + 2]) << 16 |
                   static_cast<std::uint32_t>(block[4 * i + 3]) << 24;
    }
    std::uint32_t a = m_state[0], b = m_state[1], c = m_state[2], d = m_state[3];
    for (unsigned i = 0; i < 64; ++i)
    {
        std::uint32_t f;
        unsigned g;
        switch (i / 16)
        {
        case 0:
            f = (b & c) | (~b & d);
            g = i;
            break;
        case 1:
            f = (d & b) | (~d & c);
            g = (5 * i + 1) % 16;
            break;
        case 2:
            f = b ^ c ^ d;
            g = (3 * i + 5) % 16;
            break;
        default:
            f = c ^ (b | ~d);
            g = (7 * i) % 16;
            break;
        }
        f += a + kSines[i] + words[g];
        a = d;
        d = c;
        c = b;
        b += RotateLeft(f, kShifts[i / 16][i % 4]);
    }
    m_state[0] += a;
    m_state[1] += b;
    m_state[2] += c;
    m_state[3] += d;
}
