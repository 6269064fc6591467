// The download plug-in's binary deltas: a signed manifest may list, for a
// file, deltas from earlier versions of it, each with the SHA-256 of the
// file it applies to ("from") and its own length and SHA-256. When the file
// installed under that name has a delta's "from" hash, the delta is
// downloaded instead of the whole file and applied to the installed file;
// the result must then have the manifest's length and SHA-256. Whatever
// goes wrong on the way (a download that fails or does not match, a delta
// that does not apply, a result that differs) the caller fetches the whole
// file instead, so a delta can save bytes but never change what ends up in
// the directory.
//
// Only the verifying course uses deltas: without a signed manifest there is
// no trusted hash of the installed file a delta would apply to, nor of the
// result it must give.
#ifndef VESKPLUGINS_DELTASTEP_H
#define VESKPLUGINS_DELTASTEP_H

#include "CInstallDir.h"

#include <VeskUpdate.h>

#include <Manifest.h>

#include <string>
#include <vector>

namespace deltastep
{

/// A delta chosen for a file, and where it is fetched from.
struct CDeltaPlan
{
    const vesktrust::CManifestDelta* delta = nullptr; ///< lent by the manifest
    std::string url;                                  ///< absolute, http or https
};

/// Whether this build of the plug-in can apply deltas at all.
bool DeltasAvailable();

/// Where the relative urls of a signed manifest's deltas start: the root of
/// the download tree, which is the manifest's url (`manifestUrl`) without
/// the manifest's own path in the tree; the package's base url when the
/// manifest lies elsewhere.
std::string DeltaBaseUrl(const std::string& manifestUrl, const vesktrust::CManifest& manifest, const char* packageBase);

/// The delta of `file` that applies to the file installed under its name:
/// that file, read through `install` without following a link, must have
/// the delta's "from" hash, and the delta a url that is fetched at all
/// (relative ones are joined to `baseUrl`, see DeltaBaseUrl). False when
/// none does.
bool ChooseDelta(const CInstallDir& install, const char* baseUrl, const vesktrust::CManifestFile& file,
                 CDeltaPlan& plan);

/// Applies the downloaded delta `deltaName` (a file of the directory,
/// already checked against the delta's length and SHA-256) to the file
/// installed under `file`'s name, into a new temporary file that lies in the
/// folder of `stagingName`. The result may be no longer than the manifest's
/// length and must have its length and SHA-256. On success `built` names the
/// result; otherwise nothing of it is left and `error` says why.
bool BuildFromDelta(const CInstallDir& install, const vesktrust::CManifestFile& file, const std::string& deltaName,
                    const std::string& stagingName, std::string& built, std::string& error);

/// What the deltas of one apply did, for the host's report.
class CDeltaTally
{
public:
    /// `file` was built from `delta`.
    void Took(const vesktrust::CManifestFile& file, const vesktrust::CManifestDelta& delta);
    /// A delta for `file` was tried and the whole file is fetched instead.
    void FellBack(const vesktrust::CManifestFile& file, const std::string& why);

    /// One line per file that came by delta ("by delta: NAME, X of Y bytes
    /// downloaded"), one per fallback, and a total of the bytes saved when
    /// any came by delta. Nothing when no delta was tried.
    void Report(kvrUpdate::IExecutionContext& context) const;

    int Files() const { return m_files; }
    long long BytesSaved() const { return m_saved; }

private:
    std::vector<std::string> m_lines;
    int m_files = 0;
    long long m_saved = 0;
};

} // namespace deltastep

#endif // VESKPLUGINS_DELTASTEP_H
