#include "HostTrust.h"

#include "StateFile.h"

#include <SignedFetch.h>

#include <json/json.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace
{

// The signed files are short: a manifest lists a package's files, a
// snapshot a product's versions and patches.
const long long kMaxSignedBytes = 64LL * 1024 * 1024;

} // namespace

bool CHostTrust::Load(const std::vector<std::string>& keys, std::string& error)
{
    for (const std::string& given : keys)
    {
        // A file when there is one by that name; else the key's own line.
        std::string text = given;
        std::error_code ignored;
        const bool isFile = std::filesystem::is_regular_file(given, ignored);
        if (isFile)
        {
            std::ifstream in(given, std::ios::binary);
            if (!in.is_open())
            {
                error = "cannot read the trusted key file " + given;
                return false;
            }
            std::ostringstream content;
            content << in.rdbuf();
            text = content.str();
        }
        vesktrust::CPublicKey key;
        std::string problem;
        if (!vesktrust::ParsePublicKey(text, key, problem))
        {
            error = isFile ? "the trusted key file " + given : "the trusted key '" + given + "'";
            error += " is not a public key: " + problem;
            return false;
        }
        m_keys.push_back(key);
    }
    return true;
}

std::string CHostTrust::KeyLines() const
{
    std::string text;
    for (const vesktrust::CPublicKey& key : m_keys)
        text += (text.empty() ? "" : "\n") + key.Base64();
    return text;
}

bool CHostTrust::Fetch(const std::string& url, std::string& text, std::string& keyId, std::string& error) const
{
    vesktrust::CVerified verified;
    if (!vesktrust::FetchSigned(url, m_keys, kMaxSignedBytes, text, verified, error))
        return false;
    keyId = verified.keyId;
    return true;
}

bool CHostTrust::FetchManifest(const std::string& url, vesktrust::CManifest& manifest, std::string& keyId,
                               std::string& error) const
{
    std::string text;
    if (!Fetch(url, text, keyId, error))
        return false;
    return vesktrust::ReadManifest(text, manifest, error);
}

bool CHostTrust::FetchSnapshot(const std::string& url, vesktrust::CSnapshot& snapshot, std::string& keyId,
                               std::string& error) const
{
    std::string text;
    if (!Fetch(url, text, keyId, error))
        return false;
    return vesktrust::ReadSnapshot(text, snapshot, error);
}

bool CSeenSequence::Read(const std::string& product, unsigned long long& sequence, std::string& error) const
{
    sequence = 0;
    std::string text;
    switch (CStateFile(m_path).Read(text, error))
    {
    case CStateFile::Missing:
        return true;
    case CStateFile::Failed:
        return false;
    case CStateFile::Loaded:
        break;
    }
    Json::Value root;
    Json::CharReaderBuilder builder;
    std::istringstream in(text);
    std::string problem;
    if (!Json::parseFromStream(builder, in, &root, &problem) || !root.isObject() || !root["product"].isString() ||
        !root["sequence"].isUInt64())
    {
        error = "the file of the newest snapshot seen, " + m_path + ", is damaged; it was left untouched";
        return false;
    }
    if (root["product"].asString() == product)
        sequence = root["sequence"].asUInt64();
    return true;
}

bool CSeenSequence::Write(const std::string& product, unsigned long long sequence, std::string& error) const
{
    Json::Value root;
    root["product"] = product;
    root["sequence"] = Json::UInt64(sequence);
    Json::StreamWriterBuilder writer;
    writer["emitUTF8"] = true;
    writer["indentation"] = "";
    return CStateFile(m_path).Write(Json::writeString(writer, root) + "\n", error);
}
