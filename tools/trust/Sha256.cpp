#include "Sha256.h"

#include <fstream>
#include <system_error>
#include <vector>

namespace vesktrust
{

// SHA-256 needs no sodium_init(): it has one implementation.
CSha256::CSha256() : m_state()
{
    crypto_hash_sha256_init(&m_state);
}

void CSha256::Update(const void* data, std::size_t size)
{
    crypto_hash_sha256_update(&m_state, static_cast<const unsigned char*>(data), size);
}

std::string CSha256::HexDigest()
{
    unsigned char digest[crypto_hash_sha256_BYTES];
    crypto_hash_sha256_final(&m_state, digest);
    crypto_hash_sha256_init(&m_state);
    return HexText(digest, sizeof digest);
}

std::string Sha256Hex(const std::string& data)
{
    CSha256 hash;
    hash.Update(data.data(), data.size());
    return hash.HexDigest();
}

bool Sha256OfFile(const std::filesystem::path& path, std::string& hex, long long& length)
{
    std::error_code failure;
    if (!std::filesystem::is_regular_file(path, failure))
        return false;
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    CSha256 hash;
    std::vector<char> buffer(1 << 17);
    long long total = 0;
    while (file)
    {
        file.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const std::streamsize got = file.gcount();
        if (got > 0)
        {
            hash.Update(buffer.data(), static_cast<std::size_t>(got));
            total += got;
        }
    }
    if (file.bad())
        return false;
    hex = hash.HexDigest();
    length = total;
    return true;
}

std::string HexText(const unsigned char* data, std::size_t size)
{
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    text.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i)
    {
        text += kHex[data[i] >> 4];
        text += kHex[data[i] & 0x0f];
    }
    return text;
}

} // namespace vesktrust
