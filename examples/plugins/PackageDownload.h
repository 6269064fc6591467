// The download plug-in's fetching of a package's files: all of them through
// one transfer pool, each into a partial download in the staging area (found
// again by the next run when this one is cut short), kept there once its
// length and digest are right for the swap to put in place.
#ifndef VESKPLUGINS_PACKAGEDOWNLOAD_H
#define VESKPLUGINS_PACKAGEDOWNLOAD_H

#include "CInstallDir.h"
#include "CTransferPool.h"

#include <string>
#include <vector>

/// One file to fetch, and how it went.
struct CDownload
{
    std::string name; ///< relative to the install directory
    std::string url;  ///< http or https
    long long length = 0;
    std::string digest; ///< hex, of the hash the caller's factory makes
    bool ok = false;
    std::string error;
    std::string partial;  ///< where it waits, complete and checked, when ok
    bool refused = false; ///< failed on an answer that is not the file (see CTransferJob)
};

struct CDownloadOptions
{
    int jobs = 8; ///< transfers at once
    TransferHashFactory hash;
    std::string hashName;               ///< for the errors: "MD5", "SHA-256"
    std::string source = "the package"; ///< for the errors: where lengths and digests come from
    /// A name in the folder every partial download waits in (which must
    /// exist): the staging area, so that nothing in the install directory
    /// changes before the swap.
    std::string stagingName;
    TransferProgressSink progress; ///< bytes and files of these downloads
};

/// Digests for packages without a signed manifest: the MD5 their records
/// carry.
TransferHashFactory Md5Hashes();
/// Digests for the files of a signed manifest.
TransferHashFactory Sha256Hashes();

/// The transfers at once a host asks for with the setting "jobs": 1 to 64;
/// `fallback` when the text is missing or not such a number.
int JobsSetting(const char* text, int fallback);

/// Fetches every download into its partial file; true when all of them
/// arrived intact. What a failed one holds stays for the next run when its
/// transfer was cut short, and is removed when its answer was refused.
bool FetchAll(const CInstallDir& install, std::vector<CDownload>& downloads, const CDownloadOptions& options);

#endif // VESKPLUGINS_PACKAGEDOWNLOAD_H
