// Publishing from release folders: turns one folder per released version
// into catalog entries (each version's full package and file check, a patch
// from each version to the next with the files that are new or changed) and
// lays out the download tree those entries point into.
#ifndef VERSIONCENTER_CPUBLISHER_H
#define VERSIONCENTER_CPUBLISHER_H

#include <filesystem>
#include <string>

namespace versionCenter
{

struct CPublishRequest
{
    std::string product;
    std::filesystem::path releases; // one folder per version
    std::filesystem::path output;   // the download tree
    std::filesystem::path catalog;  // read when it exists, then replaced
    /// Where the download tree will be served; empty: the catalog's
    /// addresses are relative to the tree and whoever serves the catalog
    /// completes them.
    std::string baseUrl;
    /// The secret key to sign the product's packages and snapshot with;
    /// empty: nothing is signed.
    std::filesystem::path signingKey;
    /// How many days the snapshot is good for.
    int expiresDays = 7;
};

struct CPublishSummary
{
    int versions = 0;
    int newVersions = 0;
    int patches = 0;
    int newPatches = 0;
    int filesCopied = 0;
    int filesInPlace = 0;
    int signedFiles = 0; // manifests, the snapshot and their signatures written
    int deltasWritten = 0;
};

enum class PublishResult
{
    Done,
    BadInput,   // nothing was written
    CannotWrite // the catalog is as it was; the download tree may hold new files
};

/// Publishes the release folders of one product. Everything is read and
/// checked before anything is written; the catalog is written last,
/// atomically. The catalog's records are edited and written back, so what a
/// person edited in the catalog stays: titles, comments, numbers,
/// dependencies, types and forces of patches, the situation, the package and
/// file-check types, versions and patches of their own, and the comments in
/// the file. What follows from the folders (files, lengths, sums, addresses)
/// is written anew, comments inside it dropped. With a signing key, the signed files (see CPackageSigner)
/// are written after the tree's files and before the catalog.
PublishResult Publish(const CPublishRequest& request, CPublishSummary& summary, std::string& error);

} // namespace versionCenter

#endif // VERSIONCENTER_CPUBLISHER_H
