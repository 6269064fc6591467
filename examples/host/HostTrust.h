// What the host trusts and remembers when it is given --trust: the public
// keys, the signed files fetched and verified with them, and the newest
// snapshot sequence seen, kept in a small file beside the state.
#ifndef VESK_HOST_HOSTTRUST_H
#define VESK_HOST_HOSTTRUST_H

#include <Manifest.h>
#include <Minisign.h>
#include <Snapshot.h>

#include <string>
#include <vector>

class CHostTrust
{
public:
    /// Takes every key: each a public key file, or a key's base64 line as
    /// minisign prints it. False, with `error`, at the first that cannot be
    /// read.
    bool Load(const std::vector<std::string>& keys, std::string& error);
    bool Enabled() const { return !m_keys.empty(); }
    /// The keys as the plug-ins' "trust" setting: one base64 line each,
    /// joined by '\n'.
    std::string KeyLines() const;

    /// Fetches the signed manifest at `url` and reads it; `keyId` is the key
    /// that signed it.
    bool FetchManifest(const std::string& url, vesktrust::CManifest& manifest, std::string& keyId,
                       std::string& error) const;
    /// The same for a snapshot.
    bool FetchSnapshot(const std::string& url, vesktrust::CSnapshot& snapshot, std::string& keyId,
                       std::string& error) const;

private:
    bool Fetch(const std::string& url, std::string& text, std::string& keyId, std::string& error) const;

    std::vector<vesktrust::CPublicKey> m_keys;
};

/// The newest snapshot sequence seen for the state's product, in
/// "STATE.sequence": {"product": NAME, "sequence": N}. Written atomically,
/// like the state.
class CSeenSequence
{
public:
    explicit CSeenSequence(const std::string& statePath) : m_path(statePath + ".sequence") {}
    const std::string& GetPath() const { return m_path; }
    /// The sequence seen for `product`: 0 when the file is missing or is
    /// about another product. False, with `error`, when it cannot be read or
    /// is not such a document (it is then left alone).
    bool Read(const std::string& product, unsigned long long& sequence, std::string& error) const;
    bool Write(const std::string& product, unsigned long long sequence, std::string& error) const;

private:
    std::string m_path;
};

#endif // VESK_HOST_HOSTTRUST_H
