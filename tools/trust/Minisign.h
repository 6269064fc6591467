// Ed25519 keys and signatures in minisign's file formats, through libsodium,
// so that publishers can use the standard tool and files we sign verify with
// it (`minisign -V -p PUBLIC -m FILE`).
//
// A public key file: an "untrusted comment: ..." line, then the base64 of
// "Ed" + key id (8 bytes) + public key (32 bytes). A secret key file: a
// comment line, then the base64 of "Ed" + KDF ("\0\0": not encrypted) +
// "B2" + salt, limits (48 bytes, zero) + key id + secret key (64 bytes) +
// BLAKE2b-256 checksum (32 bytes). A signature file: an untrusted comment,
// the base64 of the algorithm ("ED": over the BLAKE2b-512 of the data, or
// legacy "Ed": over the data) + key id + signature, a "trusted comment: ..."
// line, and the base64 of the global signature over signature + trusted
// comment.
#ifndef VESKTRUST_MINISIGN_H
#define VESKTRUST_MINISIGN_H

#include <array>
#include <string>
#include <vector>

namespace vesktrust
{

struct CPublicKey
{
    std::array<unsigned char, 8> keyId{};
    std::array<unsigned char, 32> key{};

    /// The key id as minisign prints it, the 8 bytes read as a little-endian
    /// number in upper-case hex, but always 16 digits (minisign leaves out
    /// leading zeros).
    std::string KeyIdText() const;
    /// The key's base64 line, as in a .pub file.
    std::string Base64() const;
};

/// Reads a public key: a .pub file's text (comment line and base64 line) or
/// the bare base64 line. False, with `error` saying why, for anything else.
bool ParsePublicKey(const std::string& text, CPublicKey& key, std::string& error);
/// Reads the .pub file at `path`.
bool LoadPublicKey(const std::string& path, CPublicKey& key, std::string& error);

/// A secret key: its id and the 64-byte Ed25519 secret key. Wipes itself.
struct CSecretKey
{
    std::array<unsigned char, 8> keyId{};
    std::array<unsigned char, 64> key{};

    CSecretKey() = default;
    ~CSecretKey();
    CSecretKey(const CSecretKey&) = delete;
    CSecretKey& operator=(const CSecretKey&) = delete;

    /// The public half: the last 32 bytes of libsodium's secret key.
    CPublicKey PublicKey() const;
};

/// Creates a new key pair: the secret key at `secretPath` (mode 0600, not
/// encrypted, so `minisign -S -s FILE` asks no password) and the public key
/// at `publicPath`. Both are created exclusively: when either exists,
/// nothing is written. On failure neither file is left behind.
bool GenerateKeyPair(const std::string& secretPath, const std::string& publicPath, std::string& error);
/// Same, giving the new public key.
bool GenerateKeyPair(const std::string& secretPath, const std::string& publicPath, CPublicKey& publicKey,
                     std::string& error);

/// Reads an unencrypted secret key file (checksum checked). An encrypted one
/// is refused: its password would have to be asked for.
bool LoadSecretKey(const std::string& path, CSecretKey& key, std::string& error);

/// The .minisig text for `data`: prehashed (minisign's default), with the
/// trusted comment "timestamp:<unix seconds>\tfile:<fileName>\thashed" and
/// the global signature.
std::string SignText(const CSecretKey& key, const std::string& data, const std::string& fileName);

struct CVerified
{
    std::string keyId;          // KeyIdText() of the key that signed
    std::string trustedComment; // the text after "trusted comment: "
};

/// Checks the .minisig text `signatureText` against `data`: both kinds
/// ("ED" prehashed and legacy "Ed"); the key id must be one of `trusted`;
/// the global signature over signature and trusted comment must verify too.
/// False, with a one-line `error`, otherwise.
bool VerifySignature(const std::vector<CPublicKey>& trusted, const std::string& data, const std::string& signatureText,
                     CVerified& verified, std::string& error);

/// Reads trusted keys given one per line (each a key's base64 line; blank
/// lines are skipped), as the host passes them to its plug-ins. False, with
/// `error` naming the bad line, when one is not a key; empty text gives no
/// keys.
bool ParsePublicKeys(const std::string& lines, std::vector<CPublicKey>& keys, std::string& error);

} // namespace vesktrust

#endif // VESKTRUST_MINISIGN_H
