// What the verifying plug-ins share: reading the host's trust settings from
// the context, fetching the package's signed manifest and checking that it
// is the manifest of what the host asked for, and matching the version
// center's package answer against it.
//
// Settings read (see IExecutionContext::GetSetting):
//   trust             trusted public keys, one base64 line each, joined by '\n'
//   manifest          the manifest's absolute URL (its signature: URL.minisig)
//   expect.product    the product the host is updating
//   expect.kind       "version" or "patch"
//   expect.id         the version (canonical text) or the patch number
//   expect.installed  the installed version (a patch must apply to it)
#ifndef VESKPLUGINS_SIGNEDPACKAGE_H
#define VESKPLUGINS_SIGNEDPACKAGE_H

#include "CInstallDir.h"

#include <VeskUpdate.h>

#include <Manifest.h>

#include <string>
#include <vector>

namespace signedpackage
{

/// Whether the host handed trusted keys: then nothing unverified is used.
bool HasTrust(const kvrUpdate::IExecutionContext* context);

/// "a.b.c.d" for version text read the way the library reads it: each run of
/// digits is the next part, missing parts are 0. Empty when a part does not
/// fit 32 bits or there are more than four.
std::string CanonicalVersion(const std::string& text);

/// "patch P-1001" or "version 1.1.0.0": what a manifest is for.
std::string Describe(const vesktrust::CManifest& manifest);

/// Fetches the manifest the settings name, verifies its signature with the
/// trusted keys and checks it against the expect.* settings. On success
/// `keyId` is the key that signed it; otherwise `error` says why.
bool FetchExpectedManifest(const kvrUpdate::IExecutionContext& context, vesktrust::CManifest& manifest,
                           std::string& keyId, std::string& error);

/// Whether the manifest is the one of what the expect.* settings name:
/// product, kind and id, and for a patch the installed version among the
/// versions it applies to. Otherwise `error` says how it differs.
bool IsExpected(const vesktrust::CManifest& manifest, const kvrUpdate::IExecutionContext& context, std::string& error);

/// The files of a package answer: the direct file when it has a url, then
/// the resource files.
std::vector<const kvrUpdate::IFileDef*> PackageFiles(const kvrUpdate::IUpdatePackage& package);

/// The file's name as a manifest writes it: backslashes as '/'.
std::string ManifestName(const kvrUpdate::IFileDef& file);

/// Whether the answer names exactly the manifest's files, each once. The
/// answer's lengths and MD5s are not looked at: the manifest's count. For
/// every manifest file `matched` gets the answer's definition of the same
/// name (lent by the package). Otherwise `error` names a file added,
/// dropped or named twice.
bool MatchPackage(const vesktrust::CManifest& manifest, const std::vector<const kvrUpdate::IFileDef*>& answer,
                  std::vector<const kvrUpdate::IFileDef*>& matched, std::string& error);

/// Whether the manifest's file is in the directory: a regular file, reached
/// without following a link, with its length and SHA-256.
bool FileMatches(const CInstallDir& directory, const vesktrust::CManifestFile& file);

/// A file definition made from a manifest entry, for reporting a manifest
/// file the answer did not list (it has no MD5).
class CManifestFileDef final : public kvrUpdate::IFileDef
{
public:
    explicit CManifestFileDef(const vesktrust::CManifestFile& file) : m_file(file) {}
    void Release() override { delete this; }
    kvrUpdate::IFileDef* Clone() const override;
    const char* GetUrl() const override { return m_file.url.c_str(); }
    const char* GetMd5() const override { return ""; }
    long long GetLength() const override { return m_file.length; }
    const char* GetName() const override { return m_file.name.c_str(); }

private:
    vesktrust::CManifestFile m_file;
};

} // namespace signedpackage

#endif // VESKPLUGINS_SIGNEDPACKAGE_H
