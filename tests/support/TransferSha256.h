// SHA-256 digests for the transfer pool, through libsodium, for the tests and
// the benchmarks that drive the pool themselves. Header only: the programs
// that include it link the transfer pool and libsodium, the support library
// does neither.
#ifndef VESKUPDATE_TESTS_SUPPORT_TRANSFERSHA256_H
#define VESKUPDATE_TESTS_SUPPORT_TRANSFERSHA256_H

#include "CTransferPool.h"

#include <sodium.h>

#include <cstddef>
#include <memory>
#include <string>

namespace testsupport
{

class CTransferSha256 final : public CTransferHash
{
public:
    CTransferSha256() { crypto_hash_sha256_init(&m_state); }
    void Update(const void* data, std::size_t size) override
    {
        crypto_hash_sha256_update(&m_state, static_cast<const unsigned char*>(data), size);
    }
    std::string HexDigest() override
    {
        unsigned char digest[crypto_hash_sha256_BYTES];
        crypto_hash_sha256_final(&m_state, digest);
        char hex[2 * sizeof digest + 1];
        sodium_bin2hex(hex, sizeof hex, digest, sizeof digest);
        return hex;
    }

private:
    crypto_hash_sha256_state m_state{};
};

inline TransferHashFactory TransferSha256s()
{
    return [] { return std::unique_ptr<CTransferHash>(new CTransferSha256); };
}

/// The lower-case hex digest of `bytes`, as the pool compares it.
inline std::string TransferSha256Hex(const std::string& bytes)
{
    CTransferSha256 hash;
    hash.Update(bytes.data(), bytes.size());
    return hash.HexDigest();
}

} // namespace testsupport

#endif // VESKUPDATE_TESTS_SUPPORT_TRANSFERSHA256_H
