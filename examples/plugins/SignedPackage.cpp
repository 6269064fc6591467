#include "SignedPackage.h"

#include "PluginFiles.h"

#include <Minisign.h>
#include <Sha256.h>
#include <SignedFetch.h>

#include <algorithm>
#include <map>
#include <new>

using namespace kvrUpdate;

namespace signedpackage
{
namespace
{

// A manifest lists every file of a package with a few short texts each; this
// bounds what a hostile server can make the plug-in hold in memory.
const long long kMaxManifestBytes = 64LL * 1024 * 1024;

std::string Setting(const IExecutionContext& context, const char* key)
{
    const char* value = context.GetSetting(key);
    return value != nullptr ? value : "";
}

bool ReadKeys(const std::string& lines, std::vector<vesktrust::CPublicKey>& keys, std::string& error)
{
    std::string problem;
    if (!vesktrust::ParsePublicKeys(lines, keys, problem))
    {
        error = "a trusted key the host gave cannot be read: " + problem;
        return false;
    }
    if (keys.empty())
        error = "the host gave no trusted key";
    return !keys.empty();
}

} // namespace

bool HasTrust(const IExecutionContext* context)
{
    if (context == nullptr)
        return false;
    const char* trust = context->GetSetting("trust");
    return trust != nullptr && *trust != '\0';
}

std::string CanonicalVersion(const std::string& text)
{
    unsigned long long parts[4] = {0, 0, 0, 0};
    int count = 0;
    for (std::size_t at = 0; at < text.size();)
    {
        if (text[at] < '0' || text[at] > '9')
        {
            ++at;
            continue;
        }
        if (count == 4)
            return std::string();
        unsigned long long value = 0;
        for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at)
        {
            value = value * 10 + static_cast<unsigned long long>(text[at] - '0');
            if (value > 0xFFFFFFFFULL)
                return std::string();
        }
        parts[count++] = value;
    }
    return std::to_string(parts[0]) + "." + std::to_string(parts[1]) + "." + std::to_string(parts[2]) + "." +
           std::to_string(parts[3]);
}

std::string Describe(const vesktrust::CManifest& manifest)
{
    if (manifest.kind == "patch")
        return "patch " + manifest.patch;
    return manifest.kind + " " + manifest.version;
}

bool IsExpected(const vesktrust::CManifest& manifest, const IExecutionContext& context, std::string& error)
{
    const std::string product = Setting(context, "expect.product");
    const std::string kind = Setting(context, "expect.kind");
    const std::string id = Setting(context, "expect.id");
    const std::string installed = CanonicalVersion(Setting(context, "expect.installed"));
    if (product.empty() || (kind != "version" && kind != "patch") || id.empty())
    {
        error = "the host did not say which package it applies (expect.product, expect.kind, expect.id)";
        return false;
    }
    const std::string asked = kind + " " + id + " of " + product;
    const std::string got = Describe(manifest) + " of " + manifest.product;
    bool same = manifest.product == product && manifest.kind == kind;
    if (same && kind == "version")
        same = !CanonicalVersion(id).empty() && CanonicalVersion(manifest.version) == CanonicalVersion(id);
    else if (same)
        same = manifest.patch == id;
    if (!same)
    {
        error = "the signed manifest is for " + got + ", not for " + asked;
        return false;
    }
    if (kind == "patch")
    {
        if (installed.empty())
        {
            error = "the host did not say which version is installed (expect.installed)";
            return false;
        }
        const bool applies = std::any_of(manifest.apply.begin(), manifest.apply.end(), [&](const std::string& version) {
            return CanonicalVersion(version) == installed;
        });
        if (!applies)
        {
            error = "the signed manifest of " + Describe(manifest) + " does not apply to the installed version " +
                    installed;
            return false;
        }
    }
    return true;
}

bool FetchExpectedManifest(const IExecutionContext& context, vesktrust::CManifest& manifest, std::string& keyId,
                           std::string& error)
{
    std::vector<vesktrust::CPublicKey> keys;
    if (!ReadKeys(Setting(context, "trust"), keys, error))
        return false;
    const std::string url = Setting(context, "manifest");
    if (url.empty())
    {
        error = "the host gave no address of the signed manifest";
        return false;
    }
    std::string text;
    vesktrust::CVerified verified;
    std::string problem;
    if (!vesktrust::FetchSigned(url, keys, kMaxManifestBytes, text, verified, problem))
    {
        error = "the signed manifest " + url + " does not verify: " + problem;
        return false;
    }
    if (!vesktrust::ReadManifest(text, manifest, problem))
    {
        error = "the signed manifest " + url + " cannot be read: " + problem;
        return false;
    }
    if (!IsExpected(manifest, context, error))
        return false;
    keyId = verified.keyId;
    return true;
}

std::vector<const IFileDef*> PackageFiles(const IUpdatePackage& package)
{
    std::vector<const IFileDef*> files;
    const IFileDef* direct = package.GetDirectFile();
    if (direct != nullptr && *direct->GetUrl() != '\0')
        files.push_back(direct);
    if (const IFileDefList* resource = package.GetResource())
    {
        for (int i = 0; i < resource->GetCount(); ++i)
        {
            if (const IFileDef* file = resource->GetAt(i))
                files.push_back(file);
        }
    }
    return files;
}

std::string ManifestName(const IFileDef& file)
{
    std::string name = file.GetName() != nullptr ? file.GetName() : "";
    std::replace(name.begin(), name.end(), '\\', '/');
    return name;
}

bool MatchPackage(const vesktrust::CManifest& manifest, const std::vector<const IFileDef*>& answer,
                  std::vector<const IFileDef*>& matched, std::string& error)
{
    std::map<std::string, const IFileDef*> byName;
    for (const IFileDef* file : answer)
    {
        const std::string name = ManifestName(*file);
        if (!byName.emplace(name, file).second)
        {
            error = "the package answer names " + name + " twice";
            return false;
        }
    }
    matched.clear();
    for (const vesktrust::CManifestFile& file : manifest.files)
    {
        const auto found = byName.find(file.name);
        if (found == byName.end())
        {
            error = "the package answer lacks " + file.name + ", which the signed manifest lists";
            return false;
        }
        matched.push_back(found->second);
        byName.erase(found);
    }
    if (!byName.empty())
    {
        error = "the package answer adds " + byName.begin()->first + ", which the signed manifest does not list";
        return false;
    }
    return true;
}

bool FileMatches(const CInstallDir& directory, const vesktrust::CManifestFile& file)
{
    vesktrust::CSha256 sha256;
    const auto hash = [&sha256](const char* data, std::size_t size) { sha256.Update(data, size); };
    long long length = 0;
    return StreamFile(directory, file.name, file.length, hash, length) && length == file.length &&
           sha256.HexDigest() == file.sha256;
}

IFileDef* CManifestFileDef::Clone() const
{
    return new (std::nothrow) CManifestFileDef(*this);
}

} // namespace signedpackage
