#include "DeltaFormat.h"

#include <cstring>

namespace veskdelta
{
namespace
{

void PutLE(std::string& out, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

std::uint64_t GetLE(const unsigned char* bytes, int count)
{
    std::uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = (value << 8) | bytes[i];
    return value;
}

} // namespace

std::string WriteHeader(const CHeader& header)
{
    std::string out(kMagic.data(), kMagic.size());
    PutLE(out, kFormatVersion, 4);
    PutLE(out, 0, 4);
    PutLE(out, header.oldLength, 8);
    PutLE(out, header.newLength, 8);
    for (std::uint64_t length : header.streamLength)
        PutLE(out, length, 8);
    return out;
}

bool ReadHeader(const unsigned char* bytes, CHeader& header, std::string& error)
{
    if (std::memcmp(bytes, kMagic.data(), kMagic.size()) != 0)
    {
        error = "not a delta (wrong magic)";
        return false;
    }
    const std::uint64_t version = GetLE(bytes + 8, 4);
    if (version != kFormatVersion)
    {
        error = "delta format version " + std::to_string(version) + " is not known";
        return false;
    }
    if (GetLE(bytes + 12, 4) != 0)
    {
        error = "delta has unknown flags";
        return false;
    }
    header.oldLength = GetLE(bytes + 16, 8);
    header.newLength = GetLE(bytes + 24, 8);
    for (int i = 0; i < kStreamCount; ++i)
        header.streamLength[i] = GetLE(bytes + 32 + static_cast<std::size_t>(8) * i, 8);
    if (header.oldLength > kMaxLength || header.newLength > kMaxLength)
    {
        error = "delta has an impossible file length";
        return false;
    }
    for (std::uint64_t length : header.streamLength)
    {
        if (length > kMaxLength)
        {
            error = "delta has an impossible stream length";
            return false;
        }
    }
    return true;
}

void PutVarint(std::string& out, std::uint64_t value)
{
    while (value >= 0x80)
    {
        out.push_back(static_cast<char>((value & 0x7f) | 0x80));
        value >>= 7;
    }
    out.push_back(static_cast<char>(value));
}

} // namespace veskdelta
