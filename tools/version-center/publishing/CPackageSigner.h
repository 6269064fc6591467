// The signed files of a published product, beside the download tree's
// files: a manifest for every package the catalog serves for the product
// (each version's, each patch's, hand-written ones included) with every
// file's name, length, SHA-256 and address, and the product's snapshot (its
// situation, versions and patches, a sequence one above the previous
// snapshot's, an expiry), each with its minisign signature.
#ifndef VERSIONCENTER_CPACKAGESIGNER_H
#define VERSIONCENTER_CPACKAGESIGNER_H

#include "catalog/CVersionNumber.h"

#include <Manifest.h>
#include <Minisign.h>
#include <Snapshot.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace versionCenter
{

class CCatalog;
class CDeltaPublisher;
struct CPackageEntry;

struct CSigningRequest
{
    std::string product;
    std::filesystem::path output; // the download tree
    std::string urlPrefix;        // the --base-url with its '/', or empty
    std::filesystem::path secretKey;
    int expiresDays = 7;
};

/// The files publishing places in the tree (paths under it, lexically
/// normal), with their lengths.
using CPendingFiles = std::map<std::filesystem::path, std::int64_t>;

/// The files each released version holds, by version.
using CReleaseNames = std::map<CVersionNumber, std::set<std::string>>;

class CPackageSigner
{
public:
    explicit CPackageSigner(CSigningRequest request) : m_request(std::move(request)) {}
    ~CPackageSigner() = default;
    CPackageSigner(const CPackageSigner&) = delete;
    CPackageSigner& operator=(const CPackageSigner&) = delete;

    /// Before anything is written: loads the secret key and the previous
    /// snapshot, and finds the download tree's file for every file of every
    /// package of the product in `catalog`: one there already, or one of
    /// `pending`. False, with
    /// `error`, when a file is not in the tree, its length is not the
    /// catalog's, its name is one no host would install, or the key or the
    /// previous snapshot cannot be read.
    bool Plan(const CCatalog& catalog, const CPendingFiles& pending, const CReleaseNames& names, std::string& error);

    /// Once the tree's files are in place: hashes them and writes every
    /// manifest and the snapshot with their signatures (a manifest whose
    /// text and signature stand already stays). `written` counts the files
    /// written.
    /// The manifests' files list the deltas `deltas` has for them.
    bool Write(int& written, std::string& error, const CDeltaPublisher* deltas = nullptr);

private:
    struct CPlanned
    {
        vesktrust::CManifest manifest;
        std::string treePath;                     // of the manifest
        std::vector<std::filesystem::path> files; // in the tree, one per manifest file
    };

    bool PlanPackage(const CPackageEntry& package, const CPendingFiles& pending, CPlanned& planned,
                     std::string& error) const;
    bool LoadPreviousSequence(unsigned long long& sequence, std::string& error) const;
    bool WriteSigned(const std::string& treePath, const std::string& text, bool keepWhenSame, int& written,
                     std::string& error) const;

    CSigningRequest m_request;
    vesktrust::CSecretKey m_key;
    std::vector<CPlanned> m_manifests;
    vesktrust::CSnapshot m_snapshot;
};

} // namespace versionCenter

#endif // VERSIONCENTER_CPACKAGESIGNER_H
