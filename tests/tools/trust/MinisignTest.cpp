// minisign keys and signatures: both directions against Debian's minisign,
// both signature kinds, and every way a signature must be refused.
#include "support/CScratchDir.h"
#include "support/ChildProcess.h"
#include "support/Files.h"

#include "Minisign.h"
#include "Sha256.h"

#include <gtest/gtest.h>
#include <sodium.h>

#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using testsupport::CScratchDir;
using testsupport::ReadFile;
using testsupport::RunProgram;
using testsupport::WriteFile;
using vesktrust::CPublicKey;
using vesktrust::CSecretKey;
using vesktrust::CVerified;

namespace
{

const std::string kMinisign = MINISIGN_EXE;
const std::string kData = "{\"format\": \"example\"}\n";

struct CKeyFiles
{
    std::string secret;
    std::string pub;
};

CKeyFiles MakeKeys(const CScratchDir& dir, const std::string& name)
{
    CKeyFiles files{(dir / (name + ".key")).string(), (dir / (name + ".pub")).string()};
    std::string error;
    if (!vesktrust::GenerateKeyPair(files.secret, files.pub, error))
        throw std::runtime_error(error);
    return files;
}

CPublicKey LoadPublic(const std::string& path)
{
    CPublicKey key;
    std::string error;
    EXPECT_TRUE(vesktrust::LoadPublicKey(path, key, error)) << error;
    return key;
}

std::string Sign(const std::string& secretPath, const std::string& data)
{
    CSecretKey key;
    std::string error;
    EXPECT_TRUE(vesktrust::LoadSecretKey(secretPath, key, error)) << error;
    return vesktrust::SignText(key, data, "manifest.json");
}

// The line `index` of a signature file's text replaced by `line`.
std::string WithLine(const std::string& text, int index, const std::string& line)
{
    std::vector<std::string> lines;
    std::string::size_type start = 0;
    for (std::string::size_type end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    lines[static_cast<std::size_t>(index)] = line;
    std::string joined;
    for (const std::string& each : lines)
        joined += each + "\n";
    return joined;
}

// The signature line's bytes changed by `change`, encoded again.
std::string AlterBlob(const std::string& text, const std::function<void(std::vector<unsigned char>&)>& change)
{
    const std::string::size_type start = text.find('\n') + 1;
    const std::string line = text.substr(start, text.find('\n', start) - start);
    std::vector<unsigned char> blob(74);
    std::size_t size = 0;
    sodium_base642bin(blob.data(), blob.size(), line.data(), line.size(), nullptr, &size, nullptr,
                      sodium_base64_VARIANT_ORIGINAL);
    change(blob);
    std::string encoded(sodium_base64_ENCODED_LEN(74, sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(&encoded[0], encoded.size(), blob.data(), blob.size(), sodium_base64_VARIANT_ORIGINAL);
    encoded.resize(encoded.size() - 1);
    return WithLine(text, 1, encoded);
}

TEST(MinisignTest, InteroperatesWithMinisignBothWays)
{
    if (kMinisign.empty())
        GTEST_SKIP() << "no minisign to run: not installed, or this is a cross build";
    CScratchDir dir("vesk-trust");
    const CKeyFiles ours = MakeKeys(dir, "ours");
    const std::string data = (dir / "data.json").string();
    WriteFile(data, kData);
    // A key minisign made without a password.
    const std::string theirSecret = (dir / "theirs.key").string();
    const std::string theirPublic = (dir / "theirs.pub").string();
    ASSERT_EQ(RunProgram(kMinisign, {"-G", "-W", "-s", theirSecret, "-p", theirPublic}).status, 0);

    struct CRow
    {
        const char* what;
        std::function<bool(std::string& detail)> run;
    };
    const std::vector<CRow> rows = {
        {"our signature verifies in minisign",
         [&](std::string& detail) {
             WriteFile(data + ".minisig", Sign(ours.secret, kData));
             const auto run = RunProgram(kMinisign, {"-V", "-p", ours.pub, "-m", data});
             detail = run.output;
             return run.status == 0 && run.output.find("file:manifest.json\thashed") != std::string::npos;
         }},
        {"minisign's prehashed signature with our key verifies here",
         [&](std::string& detail) {
             const auto run = RunProgram(kMinisign, {"-S", "-s", ours.secret, "-m", data, "-x", data + ".sig"});
             CVerified verified;
             detail = run.output;
             return run.status == 0 &&
                    vesktrust::VerifySignature({LoadPublic(ours.pub)}, kData, ReadFile(data + ".sig"), verified,
                                               detail) &&
                    verified.keyId == LoadPublic(ours.pub).KeyIdText();
         }},
        {"minisign's legacy signature verifies here",
         [&](std::string& detail) {
             const auto run = RunProgram(kMinisign,
                                         {"-S", "-l", "-s", ours.secret, "-m", data, "-x", data + ".legacy"});
             CVerified verified;
             detail = run.output;
             return run.status == 0 && vesktrust::VerifySignature({LoadPublic(ours.pub)}, kData,
                                                                  ReadFile(data + ".legacy"), verified, detail);
         }},
        {"a key minisign made signs here, and minisign verifies",
         [&](std::string& detail) {
             WriteFile(data + ".minisig", Sign(theirSecret, kData));
             const auto run = RunProgram(kMinisign, {"-V", "-p", theirPublic, "-m", data});
             detail = run.output;
             return run.status == 0;
         }},
        {"key ids read as minisign writes them",
         [&](std::string& detail) {
             // minisign writes the id without leading zeros.
             std::string id = LoadPublic(theirPublic).KeyIdText();
             id.erase(0, id.find_first_not_of('0'));
             detail = ReadFile(theirPublic);
             return detail.find("minisign public key " + id + "\n") != std::string::npos;
         }},
    };
    for (const CRow& row : rows)
    {
        std::string detail;
        EXPECT_TRUE(row.run(detail)) << row.what << ": " << detail;
    }
}

TEST(MinisignTest, RefusesWhatWasNotSignedByATrustedKey)
{
    CScratchDir dir("vesk-trust");
    const CKeyFiles ours = MakeKeys(dir, "ours");
    const CKeyFiles other = MakeKeys(dir, "other");
    const CPublicKey trusted = LoadPublic(ours.pub);
    const std::string good = Sign(ours.secret, kData);

    struct CRow
    {
        const char* what;
        std::string data;
        std::string signature;
        const char* says;
    };
    const std::vector<CRow> rows = {
        {"another key", kData, Sign(other.secret, kData), "not trusted"},
        {"altered data", kData + " ", good, "does not match"},
        {"altered signature", kData, AlterBlob(good, [](std::vector<unsigned char>& b) { b[40] ^= 1; }),
         "does not match"},
        {"altered trusted comment", kData, WithLine(good, 2, "trusted comment: timestamp:1\tfile:other.json\thashed"),
         "trusted comment"},
        {"truncated", kData, good.substr(0, good.size() / 2), "format"},
        {"empty", kData, "", "format"},
        {"wrong algorithm", kData, AlterBlob(good, [](std::vector<unsigned char>& b) { b[1] = 'X'; }), "algorithm"},
        {"legacy kind claimed for a prehashed signature", kData,
         AlterBlob(good, [](std::vector<unsigned char>& b) { b[1] = 'd'; }), "does not match"},
        {"base64 of the wrong length", kData, WithLine(good, 1, "RWQAAA=="), "length"},
    };
    for (const CRow& row : rows)
    {
        CVerified verified;
        std::string error;
        EXPECT_FALSE(vesktrust::VerifySignature({trusted}, row.data, row.signature, verified, error)) << row.what;
        EXPECT_NE(error.find(row.says), std::string::npos) << row.what << ": " << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << row.what;
    }
    // The same signature passes with the key among others, and with none
    // trusted nothing passes.
    CVerified verified;
    std::string error;
    EXPECT_TRUE(vesktrust::VerifySignature({LoadPublic(other.pub), trusted}, kData, good, verified, error)) << error;
    EXPECT_EQ(verified.keyId, trusted.KeyIdText());
    EXPECT_FALSE(vesktrust::VerifySignature({}, kData, good, verified, error));
}

TEST(MinisignTest, KeyFilesAreCreatedOnceAndReadStrictly)
{
    CScratchDir dir("vesk-trust");
    const CKeyFiles keys = MakeKeys(dir, "k");
    std::string error;
#if !defined(_WIN32)
    struct stat info
    {
    };
    ASSERT_EQ(::stat(keys.secret.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
#endif
    // Neither file is replaced, and a refusal leaves nothing new behind.
    const std::string secretBefore = ReadFile(keys.secret);
    EXPECT_FALSE(vesktrust::GenerateKeyPair(keys.secret, (dir / "new.pub").string(), error));
    EXPECT_FALSE(fs::exists(dir / "new.pub"));
    EXPECT_FALSE(vesktrust::GenerateKeyPair((dir / "new.key").string(), keys.pub, error));
    EXPECT_FALSE(fs::exists(dir / "new.key"));
    EXPECT_EQ(ReadFile(keys.secret), secretBefore);

    // The bare base64 line reads like the whole file; the secret key's public
    // half is the public key.
    const CPublicKey pub = LoadPublic(keys.pub);
    CPublicKey bare;
    EXPECT_TRUE(vesktrust::ParsePublicKey(pub.Base64(), bare, error)) << error;
    EXPECT_EQ(bare.key, pub.key);
    CSecretKey secret;
    ASSERT_TRUE(vesktrust::LoadSecretKey(keys.secret, secret, error)) << error;
    EXPECT_EQ(secret.PublicKey().key, pub.key);
    EXPECT_EQ(secret.PublicKey().keyId, pub.keyId);

    std::vector<CPublicKey> list;
    EXPECT_TRUE(vesktrust::ParsePublicKeys(pub.Base64() + "\n\n" + bare.Base64() + "\n", list, error));
    EXPECT_EQ(list.size(), 2u);
    EXPECT_FALSE(vesktrust::ParsePublicKeys(pub.Base64() + "\nnot a key\n", list, error));

    // Refused: a damaged secret key, an encrypted one, a public key that is
    // not one.
    const std::string text = ReadFile(keys.secret);
    const std::string::size_type line = text.find('\n') + 1;
    std::string damaged = text;
    damaged[line + 100] = damaged[line + 100] == 'A' ? 'B' : 'A';
    WriteFile(dir / "damaged.key", damaged);
    EXPECT_FALSE(vesktrust::LoadSecretKey((dir / "damaged.key").string(), secret, error));
    EXPECT_NE(error.find("checksum"), std::string::npos) << error;
    std::string encrypted = text;
    encrypted.replace(line, 8, "RWRTYzB4"); // "EdSc" followed by the next bytes
    WriteFile(dir / "encrypted.key", encrypted);
    EXPECT_FALSE(vesktrust::LoadSecretKey((dir / "encrypted.key").string(), secret, error));
    EXPECT_NE(error.find("encrypted"), std::string::npos) << error;
    for (const std::string& notKey : {std::string(), std::string("untrusted comment: x\n"), pub.Base64() + "A",
                                      "untrusted comment: x\n" + pub.Base64() + "\nextra\n"})
        EXPECT_FALSE(vesktrust::ParsePublicKey(notKey, bare, error)) << notKey;
}

TEST(MinisignTest, Sha256MatchesKnownDigests)
{
    EXPECT_EQ(vesktrust::Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    CScratchDir dir("vesk-trust");
    std::string big(300000, 'a');
    WriteFile(dir / "big", big);
    std::string hex;
    long long length = 0;
    ASSERT_TRUE(vesktrust::Sha256OfFile(dir / "big", hex, length));
    EXPECT_EQ(hex, vesktrust::Sha256Hex(big));
    EXPECT_EQ(length, 300000);
    EXPECT_FALSE(vesktrust::Sha256OfFile(dir / "missing", hex, length));
    EXPECT_FALSE(vesktrust::Sha256OfFile(dir.Path(), hex, length));
}

} // namespace
