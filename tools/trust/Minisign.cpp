#include "Minisign.h"

#include "Sha256.h"

#include <sodium.h>

#include <fcntl.h>
#include <sys/stat.h>
#if defined(_WIN32)
#  include <io.h>
#else
#  include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>

namespace vesktrust
{
namespace
{

const char kUntrusted[] = "untrusted comment: ";
const char kTrusted[] = "trusted comment: ";
// Longer lines or files are not minisign's: refused before decoding.
constexpr std::size_t kMaxKeyFile = 4096;
constexpr std::size_t kMaxSignatureFile = 16384;

constexpr std::size_t kPublicBlob = 2 + 8 + 32;
constexpr std::size_t kSignatureBlob = 2 + 8 + 64;
constexpr std::size_t kSecretBlob = 2 + 2 + 2 + 32 + 8 + 8 + 8 + 64 + 32;
// Offsets within the secret key blob.
constexpr std::size_t kSecretKeyId = 2 + 2 + 2 + 32 + 8 + 8;
constexpr std::size_t kSecretKey = kSecretKeyId + 8;
constexpr std::size_t kSecretChecksum = kSecretKey + 64;

bool Start()
{
    return sodium_init() >= 0;
}

// Splits at '\n', dropping a '\r' before it; a last line without newline
// counts, an empty last piece after a final newline does not.
std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::string::size_type start = 0;
    while (start < text.size())
    {
        std::string::size_type end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

bool StartsWith(const std::string& text, const char* prefix)
{
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

// Decodes standard base64 that must give exactly `size` bytes.
bool DecodeExact(const std::string& text, unsigned char* out, std::size_t size)
{
    std::size_t decoded = 0;
    const char* end = nullptr;
    if (sodium_base642bin(out, size, text.data(), text.size(), nullptr, &decoded, &end,
                          sodium_base64_VARIANT_ORIGINAL) != 0)
        return false;
    return decoded == size && end == text.data() + text.size();
}

std::string Encode(const unsigned char* data, std::size_t size)
{
    std::string text(sodium_base64_ENCODED_LEN(size, sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(&text[0], text.size(), data, size, sodium_base64_VARIANT_ORIGINAL);
    text.resize(std::strlen(text.c_str()));
    return text;
}

std::string KeyIdHex(const unsigned char* id)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (int i = 7; i >= 0; --i)
    {
        text += kHex[id[i] >> 4];
        text += kHex[id[i] & 0x0f];
    }
    return text;
}

bool ReadSmallFile(const std::string& path, std::size_t limit, std::string& text, std::string& error)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
    {
        error = path + ": cannot be opened";
        return false;
    }
    std::string buffer(limit + 1, '\0');
    file.read(&buffer[0], static_cast<std::streamsize>(buffer.size()));
    if (file.bad())
    {
        error = path + ": cannot be read";
        return false;
    }
    buffer.resize(static_cast<std::size_t>(file.gcount()));
    if (buffer.size() > limit)
    {
        error = path + ": too large for a key file";
        return false;
    }
    text = std::move(buffer);
    return true;
}

// BLAKE2b-256 of "Ed" + key id + secret key: the secret key file's checksum.
void SecretChecksum(const unsigned char* blob, unsigned char* checksum)
{
    crypto_generichash_state state;
    crypto_generichash_init(&state, nullptr, 0, 32);
    crypto_generichash_update(&state, blob, 2);
    crypto_generichash_update(&state, blob + kSecretKeyId, 8 + 64);
    crypto_generichash_final(&state, checksum, 32);
}

// Writes `text` to a new file; never replaces one. False with `error`.
bool CreateExclusively(const std::string& path, const std::string& text, int mode, std::string& error)
{
#if defined(_WIN32)
    const int fd = ::_open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
#endif
    (void)mode;
    if (fd < 0)
    {
        error = errno == EEXIST ? path + " exists already: it is not replaced"
                                : path + ": cannot be created: " + std::strerror(errno);
        return false;
    }
    std::size_t done = 0;
    bool ok = true;
    while (ok && done < text.size())
    {
#if defined(_WIN32)
        const int wrote = ::_write(fd, text.data() + done, static_cast<unsigned>(text.size() - done));
#else
        const ssize_t wrote = ::write(fd, text.data() + done, text.size() - done);
#endif
        if (wrote < 0 && errno == EINTR)
            continue;
        ok = wrote > 0;
        if (ok)
            done += static_cast<std::size_t>(wrote);
    }
#if defined(_WIN32)
    ok = ::_commit(fd) == 0 && ok;
    ok = ::_close(fd) == 0 && ok;
#else
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
#endif
    if (!ok)
    {
        error = path + ": cannot be written: " + std::strerror(errno);
        std::remove(path.c_str());
    }
    return ok;
}

struct CSignatureFile
{
    unsigned char blob[kSignatureBlob] = {};
    unsigned char global[crypto_sign_BYTES] = {};
    std::string trustedComment;
};

bool ParseSignature(const std::string& text, CSignatureFile& signature, std::string& error)
{
    if (text.size() > kMaxSignatureFile)
    {
        error = "the signature is too large to be a minisign signature";
        return false;
    }
    const std::vector<std::string> lines = Lines(text);
    if (lines.size() != 4 || !StartsWith(lines[0], kUntrusted) || !StartsWith(lines[2], kTrusted))
    {
        error = "the signature is not in minisign's format (four lines, untrusted and trusted comments)";
        return false;
    }
    if (!DecodeExact(lines[1], signature.blob, sizeof signature.blob) ||
        !DecodeExact(lines[3], signature.global, sizeof signature.global))
    {
        error = "the signature's base64 lines are malformed or of the wrong length";
        return false;
    }
    signature.trustedComment = lines[2].substr(std::strlen(kTrusted));
    return true;
}

} // namespace

std::string CPublicKey::KeyIdText() const
{
    return KeyIdHex(keyId.data());
}

std::string CPublicKey::Base64() const
{
    unsigned char blob[kPublicBlob];
    blob[0] = 'E';
    blob[1] = 'd';
    std::copy(keyId.begin(), keyId.end(), blob + 2);
    std::copy(key.begin(), key.end(), blob + 10);
    return Encode(blob, sizeof blob);
}

bool ParsePublicKey(const std::string& text, CPublicKey& key, std::string& error)
{
    if (text.size() > kMaxKeyFile)
    {
        error = "too long for a public key";
        return false;
    }
    std::vector<std::string> lines = Lines(text);
    if (lines.size() == 2 && StartsWith(lines[0], kUntrusted))
        lines.erase(lines.begin());
    unsigned char blob[kPublicBlob];
    if (lines.size() != 1 || !DecodeExact(lines[0], blob, sizeof blob))
    {
        error = "not a minisign public key (a comment line and one base64 line of 56 characters)";
        return false;
    }
    if (blob[0] != 'E' || blob[1] != 'd')
    {
        error = "the public key is not an Ed25519 minisign key";
        return false;
    }
    std::copy(blob + 2, blob + 10, key.keyId.begin());
    std::copy(blob + 10, blob + kPublicBlob, key.key.begin());
    return true;
}

bool LoadPublicKey(const std::string& path, CPublicKey& key, std::string& error)
{
    std::string text;
    if (!ReadSmallFile(path, kMaxKeyFile, text, error))
        return false;
    if (!ParsePublicKey(text, key, error))
    {
        error = path + ": " + error;
        return false;
    }
    return true;
}

bool ParsePublicKeys(const std::string& lines, std::vector<CPublicKey>& keys, std::string& error)
{
    std::vector<CPublicKey> found;
    for (const std::string& line : Lines(lines))
    {
        if (line.find_first_not_of(" \t") == std::string::npos)
            continue;
        CPublicKey key;
        if (!ParsePublicKey(line, key, error))
        {
            error.insert(0, "trusted key '" + line.substr(0, 60) + "': ");
            return false;
        }
        found.push_back(key);
    }
    keys = std::move(found);
    return true;
}

CSecretKey::~CSecretKey()
{
    sodium_memzero(key.data(), key.size());
}

CPublicKey CSecretKey::PublicKey() const
{
    CPublicKey pub;
    pub.keyId = keyId;
    std::copy(key.begin() + 32, key.end(), pub.key.begin());
    return pub;
}

bool GenerateKeyPair(const std::string& secretPath, const std::string& publicPath, std::string& error)
{
    CPublicKey ignored;
    return GenerateKeyPair(secretPath, publicPath, ignored, error);
}

bool GenerateKeyPair(const std::string& secretPath, const std::string& publicPath, CPublicKey& publicKey,
                     std::string& error)
{
    if (!Start())
    {
        error = "libsodium cannot be initialised";
        return false;
    }
    struct stat info;
    if (::stat(publicPath.c_str(), &info) == 0)
    {
        error = publicPath + " exists already: it is not replaced";
        return false;
    }
    unsigned char blob[kSecretBlob] = {};
    blob[0] = 'E';
    blob[1] = 'd';
    blob[4] = 'B';
    blob[5] = '2';
    CPublicKey pub;
    randombytes_buf(blob + kSecretKeyId, 8);
    crypto_sign_keypair(pub.key.data(), blob + kSecretKey);
    SecretChecksum(blob, blob + kSecretChecksum);
    std::copy(blob + kSecretKeyId, blob + kSecretKey, pub.keyId.begin());

    std::string secretText = std::string(kUntrusted) + "minisign secret key (not encrypted)\n" +
                             Encode(blob, sizeof blob) + "\n";
    sodium_memzero(blob, sizeof blob);
    const bool wroteSecret = CreateExclusively(secretPath, secretText, 0600, error);
    sodium_memzero(&secretText[0], secretText.size());
    if (!wroteSecret)
        return false;
    const std::string publicText = std::string(kUntrusted) + "minisign public key " + pub.KeyIdText() + "\n" +
                                   pub.Base64() + "\n";
    if (!CreateExclusively(publicPath, publicText, 0644, error))
    {
        std::remove(secretPath.c_str());
        return false;
    }
    publicKey = pub;
    return true;
}

bool LoadSecretKey(const std::string& path, CSecretKey& key, std::string& error)
{
    std::string text;
    if (!ReadSmallFile(path, kMaxKeyFile, text, error))
        return false;
    const std::vector<std::string> lines = Lines(text);
    sodium_memzero(&text[0], text.size());
    unsigned char blob[kSecretBlob];
    const bool decoded = lines.size() == 2 && StartsWith(lines[0], kUntrusted) &&
                         DecodeExact(lines[1], blob, sizeof blob);
    if (!decoded)
    {
        error = path + ": not a minisign secret key";
        return false;
    }
    bool ok = false;
    if (blob[0] != 'E' || blob[1] != 'd')
        error = path + ": not an Ed25519 minisign secret key";
    else if (blob[2] != 0 || blob[3] != 0)
        error = path + ": the secret key is encrypted; give one made without a password "
                       "(version-center keygen, or minisign -G -W)";
    else if (blob[4] != 'B' || blob[5] != '2')
        error = path + ": the secret key's checksum is of an unknown kind";
    else
    {
        unsigned char checksum[32];
        SecretChecksum(blob, checksum);
        // minisign 0.11 leaves the checksum of a key made with -W zero.
        static const unsigned char kZero[32] = {};
        ok = std::memcmp(checksum, blob + kSecretChecksum, 32) == 0 ||
             std::memcmp(kZero, blob + kSecretChecksum, 32) == 0;
        if (!ok)
            error = path + ": the secret key's checksum does not match: the file is damaged";
    }
    if (ok)
    {
        std::copy(blob + kSecretKeyId, blob + kSecretKey, key.keyId.begin());
        std::copy(blob + kSecretKey, blob + kSecretChecksum, key.key.begin());
    }
    sodium_memzero(blob, sizeof blob);
    return ok;
}

std::string SignText(const CSecretKey& key, const std::string& data, const std::string& fileName)
{
    Start();
    unsigned char prehash[crypto_generichash_BYTES_MAX];
    crypto_generichash(prehash, sizeof prehash, reinterpret_cast<const unsigned char*>(data.data()), data.size(),
                       nullptr, 0);
    unsigned char blob[kSignatureBlob];
    blob[0] = 'E';
    blob[1] = 'D';
    std::copy(key.keyId.begin(), key.keyId.end(), blob + 2);
    crypto_sign_detached(blob + 10, nullptr, prehash, sizeof prehash, key.key.data());

    // A name holding a line break would break the file's lines.
    std::string name = fileName;
    std::replace_if(
        name.begin(), name.end(), [](char c) { return c == '\n' || c == '\r'; }, '_');
    const std::string comment = "timestamp:" + std::to_string(static_cast<long long>(std::time(nullptr))) +
                                "\tfile:" + name + "\thashed";
    std::string signed_(reinterpret_cast<const char*>(blob + 10), crypto_sign_BYTES);
    signed_ += comment;
    unsigned char global[crypto_sign_BYTES];
    crypto_sign_detached(global, nullptr, reinterpret_cast<const unsigned char*>(signed_.data()), signed_.size(),
                         key.key.data());
    return std::string(kUntrusted) + "signature from minisign secret key\n" + Encode(blob, sizeof blob) + "\n" +
           kTrusted + comment + "\n" + Encode(global, sizeof global) + "\n";
}

bool VerifySignature(const std::vector<CPublicKey>& trusted, const std::string& data, const std::string& signatureText,
                     CVerified& verified, std::string& error)
{
    if (!Start())
    {
        error = "libsodium cannot be initialised";
        return false;
    }
    CSignatureFile signature;
    if (!ParseSignature(signatureText, signature, error))
        return false;
    const unsigned char* blob = signature.blob;
    const bool prehashed = blob[0] == 'E' && blob[1] == 'D';
    if (!prehashed && !(blob[0] == 'E' && blob[1] == 'd'))
    {
        error = "the signature's algorithm is not minisign's Ed25519";
        return false;
    }
    const auto key = std::find_if(trusted.begin(), trusted.end(), [&](const CPublicKey& candidate) {
        return std::equal(candidate.keyId.begin(), candidate.keyId.end(), blob + 2);
    });
    if (key == trusted.end())
    {
        error = "signed by key " + KeyIdHex(blob + 2) + ", which is not trusted";
        return false;
    }
    const unsigned char* signedData = reinterpret_cast<const unsigned char*>(data.data());
    std::size_t signedSize = data.size();
    unsigned char prehash[crypto_generichash_BYTES_MAX];
    if (prehashed)
    {
        crypto_generichash(prehash, sizeof prehash, signedData, signedSize, nullptr, 0);
        signedData = prehash;
        signedSize = sizeof prehash;
    }
    if (crypto_sign_verify_detached(blob + 10, signedData, signedSize, key->key.data()) != 0)
    {
        error = "the signature by key " + key->KeyIdText() + " does not match the data";
        return false;
    }
    std::string global(reinterpret_cast<const char*>(blob + 10), crypto_sign_BYTES);
    global += signature.trustedComment;
    if (crypto_sign_verify_detached(signature.global, reinterpret_cast<const unsigned char*>(global.data()),
                                    global.size(), key->key.data()) != 0)
    {
        error = "the trusted comment of the signature by key " + key->KeyIdText() + " has been altered";
        return false;
    }
    verified.keyId = key->KeyIdText();
    verified.trustedComment = signature.trustedComment;
    return true;
}

} // namespace vesktrust
