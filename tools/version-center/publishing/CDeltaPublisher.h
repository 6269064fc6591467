// The binary deltas publishing writes into the download tree: for each file
// a version changed from the version before, a delta from the earlier file
// to the new one, at
//   <product>/deltas/<from version>/<to version>/<path>.vdelta
// kept when it is at most 90% of the new file's length (below that the
// saving does not pay for a second file and a second hash check). Signed
// manifests list them per file with the SHA-256 of the file each applies to.
#ifndef VERSIONCENTER_CDELTAPUBLISHER_H
#define VERSIONCENTER_CDELTAPUBLISHER_H

#include <Manifest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace versionCenter
{

class CDeltaPublisher
{
public:
    /// A delta is kept when its length is at most this share of the new
    /// file's, in percent.
    static constexpr int kKeepPercent = 90;
    /// Files longer than this get no delta (making one holds about five times
    /// the old file in memory).
    static constexpr long long kMaxFileLength = 512LL << 20;

    /// `output` is the download tree, `urlPrefix` what goes before a tree
    /// path in an address (the --base-url with its '/', or empty).
    CDeltaPublisher(std::filesystem::path output, std::string urlPrefix);

    /// Asks for the delta from the tree file `oldTreePath` (of version
    /// `fromVersion`) to `newTreePath` (of `toVersion`), for the file `path`
    /// of the release; tree paths with '/' between names.
    void Add(const std::string& product, const std::string& fromVersion, const std::string& toVersion,
             const std::string& path, const std::string& oldTreePath, const std::string& newTreePath);

    /// Once both files of every delta are in the tree: makes each delta (or
    /// keeps the one in place when it still gives the new file), checks it by
    /// applying it, and writes those worth keeping. `written` counts the
    /// delta files written. False, with `error`, when the tree cannot be
    /// read or written.
    bool Write(int& written, std::string& error);

    /// After Write: the deltas that give the file `treeFile` of the tree
    /// (the tree's folder / its tree path); null when there are none.
    const std::vector<vesktrust::CManifestDelta>* DeltasFor(const std::filesystem::path& treeFile) const;

private:
    struct CWanted
    {
        std::string oldTreePath;
        std::string newTreePath;
        std::string deltaTreePath;
    };

    bool WriteOne(const CWanted& wanted, int& written, std::string& error);

    std::filesystem::path m_output;
    std::string m_urlPrefix;
    std::vector<CWanted> m_wanted;
    std::map<std::filesystem::path, std::vector<vesktrust::CManifestDelta>> m_deltas; // by tree file
};

/// Whether `delta` applied to `oldFile` gives a file with SHA-256 `newSha256`.
bool DeltaGives(const std::filesystem::path& oldFile, const std::filesystem::path& delta, const std::string& newSha256,
                long long newLength);

} // namespace versionCenter

#endif // VERSIONCENTER_CDELTAPUBLISHER_H
