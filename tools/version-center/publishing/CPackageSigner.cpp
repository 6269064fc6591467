#include "publishing/CPackageSigner.h"

#include "catalog/CCatalog.h"
#include "catalog/DownloadUrl.h"
#include "publishing/CDeltaPublisher.h"
#include "publishing/FileDigest.h"

#include <Sha256.h>

#include <ctime>
#include <fstream>
#include <sstream>
#include <system_error>

namespace fs = std::filesystem;

namespace versionCenter
{
namespace
{

bool Fail(std::string& error, const std::string& message)
{
    error = message;
    return false;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// `path` with its %XX escapes decoded; false for a broken escape.
bool DecodeUrlPath(const std::string& path, std::string& decoded)
{
    decoded.clear();
    for (std::size_t i = 0; i < path.size(); ++i)
    {
        if (path[i] != '%')
        {
            decoded += path[i];
            continue;
        }
        const int high = i + 2 < path.size() ? HexValue(path[i + 1]) : -1;
        const int low = i + 2 < path.size() ? HexValue(path[i + 2]) : -1;
        if (high < 0 || low < 0)
            return false;
        decoded += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return true;
}

// Where in the tree a catalog's file address points, '/' between names; a
// query, a fragment or a climb out of the tree is no file of it.
bool TreePathOf(const std::string& url, const std::string& urlPrefix, std::string& treePath)
{
    std::string relative;
    if (IsTreeRelative(url))
        relative = url.front() == '/' ? url.substr(1) : url;
    else if (!urlPrefix.empty() && url.compare(0, urlPrefix.size(), urlPrefix) == 0)
        relative = url.substr(urlPrefix.size());
    else
        return false;
    if (relative.find_first_of("?#") != std::string::npos || !DecodeUrlPath(relative, treePath))
        return false;
    std::string::size_type start = 0;
    while (start <= treePath.size())
    {
        std::string::size_type end = treePath.find('/', start);
        if (end == std::string::npos)
            end = treePath.size();
        const std::string part = treePath.substr(start, end - start);
        if (part.empty() || part == "." || part == ".." || part.find('\0') != std::string::npos)
            return false;
        start = end + 1;
    }
    return true;
}

bool ReadText(const fs::path& path, std::string& text)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream buffer;
    buffer << file.rdbuf();
    if (!file)
        return false;
    text = buffer.str();
    return true;
}

std::vector<std::string> VersionTexts(const std::vector<CVersionNumber>& versions)
{
    std::vector<std::string> texts;
    texts.reserve(versions.size());
    for (const CVersionNumber& version : versions)
        texts.push_back(version.ToString());
    return texts;
}

// The names a patch's result no longer has, when the release folders hold
// every version it names; otherwise none.
std::vector<std::string> RemovedNames(const CPatchEntry& patch, const CReleaseNames& names)
{
    const auto result = names.find(patch.result);
    if (result == names.end())
        return {};
    std::set<std::string> removed;
    for (const CVersionNumber& version : patch.apply)
    {
        const auto before = names.find(version);
        if (before == names.end())
            return {};
        for (const std::string& name : before->second)
        {
            if (result->second.count(name) == 0)
                removed.insert(name);
        }
    }
    return {removed.begin(), removed.end()};
}

} // namespace

bool CPackageSigner::Plan(const CCatalog& catalog, const CPendingFiles& pending, const CReleaseNames& names,
                          std::string& error)
{
    const CProductEntry* product = catalog.FindProduct(m_request.product);
    if (product == nullptr)
        return Fail(error, "the catalog has no product " + m_request.product);
    std::string problem;
    if (!vesktrust::LoadSecretKey(m_request.secretKey.string(), m_key, problem))
        return Fail(error, "the signing key cannot be used: " + problem);
    unsigned long long previous = 0;
    if (!LoadPreviousSequence(previous, error))
        return false;

    m_snapshot = vesktrust::CSnapshot();
    m_snapshot.product = product->name;
    m_snapshot.sequence = previous + 1;
    m_snapshot.expires = static_cast<long long>(std::time(nullptr)) + 86400LL * m_request.expiresDays;
    m_snapshot.last = product->last.ToString();
    m_snapshot.must = product->must.ToString();
    m_snapshot.max = product->max.ToString();
    m_snapshot.will = product->will.ToString();
    m_manifests.clear();
    for (const auto& version : product->versions)
    {
        m_snapshot.versions.push_back(version.first.ToString());
        if (!version.second.package)
            continue;
        CPlanned planned;
        planned.manifest.kind = "version";
        planned.manifest.version = version.first.ToString();
        if (!PlanPackage(*version.second.package, pending, planned, error))
        {
            error.insert(0, "version " + version.first.ShortText() + ": ");
            return false;
        }
        m_manifests.push_back(std::move(planned));
    }
    for (const CPatchEntry& patch : product->patches)
    {
        m_snapshot.patches.push_back({patch.number, patch.result.ToString(), VersionTexts(patch.apply)});
        if (!patch.package)
            continue;
        CPlanned planned;
        planned.manifest.kind = "patch";
        planned.manifest.patch = patch.number;
        planned.manifest.apply = VersionTexts(patch.apply);
        planned.manifest.result = patch.result.ToString();
        planned.manifest.removed = RemovedNames(patch, names);
        if (!PlanPackage(*patch.package, pending, planned, error))
        {
            error.insert(0, "patch " + patch.number + ": ");
            return false;
        }
        m_manifests.push_back(std::move(planned));
    }
    return true;
}

bool CPackageSigner::PlanPackage(const CPackageEntry& package, const CPendingFiles& pending, CPlanned& planned,
                                 std::string& error) const
{
    vesktrust::CManifest& manifest = planned.manifest;
    manifest.product = m_request.product;
    planned.treePath = vesktrust::ManifestPath(manifest.product, manifest.kind,
                                               manifest.kind == "patch" ? manifest.patch : manifest.version);
    // The files a host downloads: the direct file, when it has an address,
    // and the resource files.
    std::vector<const CFileEntry*> files;
    if (!package.directFile.url.empty())
        files.push_back(&package.directFile);
    for (const CFileEntry& file : package.resource)
        files.push_back(&file);
    std::set<std::string> seen;
    for (const CFileEntry* each : files)
    {
        const CFileEntry& file = *each;
        std::string problem;
        if (!vesktrust::CheckFileName(file.path, problem))
            return Fail(error, "hosts would refuse the file name " + file.path + ": " + problem);
        if (!seen.insert(file.path).second)
            return Fail(error, "the package names " + file.path + " twice");
        std::string treePath;
        if (!TreePathOf(file.url, m_request.urlPrefix, treePath))
            return Fail(error, "the address " + file.url + " of " + file.path + " is not in the download tree");
        const fs::path there = m_request.output / treePath;
        std::error_code failure;
        const auto placed = pending.find(there.lexically_normal());
        std::int64_t length = placed == pending.end() ? -1 : placed->second;
        if (placed == pending.end())
        {
            if (!fs::is_regular_file(there, failure))
                return Fail(error, "the download tree has no file " + treePath + " for " + file.path);
            length = static_cast<std::int64_t>(fs::file_size(there, failure));
        }
        if (failure || length != file.length)
            return Fail(error, "the download tree's " + treePath + " is not of the catalog's length " +
                                   std::to_string(file.length));
        vesktrust::CManifestFile entry;
        entry.name = file.path;
        entry.url = file.url;
        entry.length = file.length;
        manifest.files.push_back(entry);
        planned.files.push_back(there);
    }
    return true;
}

bool CPackageSigner::LoadPreviousSequence(unsigned long long& sequence, std::string& error) const
{
    const fs::path path = m_request.output / vesktrust::SnapshotPath(m_request.product);
    std::error_code failure;
    if (!fs::exists(path, failure))
        return true;
    std::string text;
    vesktrust::CSnapshot previous;
    std::string problem;
    if (!ReadText(path, text) || !vesktrust::ReadSnapshot(text, previous, problem))
        return Fail(error, "the previous snapshot " + path.string() + " cannot be read, so its sequence cannot go on" +
                               (problem.empty() ? std::string() : ": " + problem));
    sequence = previous.sequence;
    return true;
}

bool CPackageSigner::Write(int& written, std::string& error, const CDeltaPublisher* deltas)
{
    written = 0;
    std::error_code failure;
    fs::create_directories(m_request.output / m_request.product / "signed", failure);
    if (failure)
        return Fail(error, "cannot create the signed files' folder: " + failure.message());
    // Versions share their unchanged files: each is hashed once.
    std::map<fs::path, std::pair<std::string, long long>> hashed;
    for (CPlanned& planned : m_manifests)
    {
        for (std::size_t i = 0; i < planned.files.size(); ++i)
        {
            auto known = hashed.find(planned.files[i]);
            if (known == hashed.end())
            {
                std::string hex;
                long long length = 0;
                if (!vesktrust::Sha256OfFile(planned.files[i], hex, length))
                    return Fail(error, "cannot read " + planned.files[i].string());
                known = hashed.emplace(planned.files[i], std::make_pair(hex, length)).first;
            }
            vesktrust::CManifestFile& file = planned.manifest.files[i];
            if (known->second.second != file.length)
                return Fail(error, planned.files[i].string() + " is not of the catalog's length " +
                                       std::to_string(file.length));
            file.sha256 = known->second.first;
            if (const auto* listed = deltas ? deltas->DeltasFor(planned.files[i]) : nullptr)
                file.deltas = *listed;
        }
        if (!WriteSigned(planned.treePath, vesktrust::WriteManifest(planned.manifest), true, written, error))
            return false;
    }
    return WriteSigned(vesktrust::SnapshotPath(m_request.product), vesktrust::WriteSnapshot(m_snapshot), false, written,
                       error);
}

bool CPackageSigner::WriteSigned(const std::string& treePath, const std::string& text, bool keepWhenSame, int& written,
                                 std::string& error) const
{
    const fs::path path = m_request.output / treePath;
    const fs::path signature = path.string() + ".minisig";
    std::string before;
    std::string signatureBefore;
    vesktrust::CVerified verified;
    std::string ignored;
    if (keepWhenSame && ReadText(path, before) && before == text && ReadText(signature, signatureBefore) &&
        vesktrust::VerifySignature({m_key.PublicKey()}, text, signatureBefore, verified, ignored))
        return true;
    const std::string name = path.filename().string();
    if (!WriteFileAtomically(path, text, error) ||
        !WriteFileAtomically(signature, vesktrust::SignText(m_key, text, name), error))
        return false;
    written += 2;
    return true;
}

} // namespace versionCenter
