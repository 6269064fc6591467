// The release folders a publisher keeps: one folder per released version,
// each holding that version's installed file tree.
#ifndef VERSIONCENTER_RELEASEFOLDERS_H
#define VERSIONCENTER_RELEASEFOLDERS_H

#include "catalog/CVersionNumber.h"
#include "publishing/FileDigest.h"

#include <filesystem>
#include <string>
#include <vector>

namespace versionCenter
{

struct CReleaseFile
{
    std::string path; // relative to the version's folder, '/' between names
    std::filesystem::path source;
    CFileDigest digest;
};

struct CRelease
{
    CVersionNumber version;
    std::string folder; // the folder's name, as the publisher wrote it
    /// Ordered by path.
    std::vector<CReleaseFile> files;
};

/// Reads every folder under `root`, each named after a version ("1.0",
/// "2.1.3"), with the length and MD5 of each of its files. Names starting
/// with '.' at the top are skipped. Returns the versions ascending; false,
/// with `error` naming the folder or file, when a name is not a version, two
/// folders name the same version, there is no version at all, or a file
/// cannot be read, is not a regular file, or has a name no host could
/// install (a backslash or control character in it).
bool ScanReleases(const std::filesystem::path& root, std::vector<CRelease>& releases, std::string& error);

} // namespace versionCenter

#endif // VERSIONCENTER_RELEASEFOLDERS_H
