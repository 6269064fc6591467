// MD5 message digest (RFC 1321), kept in the sample plug-ins so that they
// need nothing but the C++ library and libcurl.
#ifndef VESKPLUGINS_CMD5_H
#define VESKPLUGINS_CMD5_H

#include <cstddef>
#include <cstdint>
#include <string>

class CMd5
{
public:
    CMd5();
    /// Adds bytes to the message.
    void Update(const void* data, std::size_t size);
    /// Ends the message and returns its digest as 32 lower-case hex digits.
    /// The object then starts a new, empty message.
    std::string HexDigest();

private:
    void Reset();
    void Transform(const unsigned char block[64]);

    std::uint32_t m_state[4];
    std::uint64_t m_length; // bytes so far
    unsigned char m_buffer[64];
};

#endif // VESKPLUGINS_CMD5_H
