// SHA-256 of data and of files, through libsodium, in lower-case hex.
#ifndef VESKTRUST_SHA256_H
#define VESKTRUST_SHA256_H

#include <sodium.h>

#include <cstddef>
#include <filesystem>
#include <string>

namespace vesktrust
{

class CSha256
{
public:
    CSha256();
    void Update(const void* data, std::size_t size);
    /// The digest of everything given so far; the object starts over after.
    std::string HexDigest();

private:
    crypto_hash_sha256_state m_state;
};

std::string Sha256Hex(const std::string& data);

/// Streams the file at `path`: its digest in `hex`, its size in `length`.
/// False when it cannot be opened or read.
bool Sha256OfFile(const std::filesystem::path& path, std::string& hex, long long& length);

/// `size` bytes as lower-case hex.
std::string HexText(const unsigned char* data, std::size_t size);

} // namespace vesktrust

#endif // VESKTRUST_SHA256_H
