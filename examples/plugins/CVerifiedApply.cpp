#include "CVerifiedApply.h"

#include "CInstallDir.h"
#include "CStagedSwap.h"
#include "DeltaStep.h"
#include "Download.h"
#include "PackageDownload.h"
#include "PluginFiles.h"
#include "SignedPackage.h"

#include <Sha256.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

using namespace kvrUpdate;

namespace
{

// Staged files wait in the staging area, whatever their own folder: none
// of the folders a package brings is made before every file has been
// verified.
const std::string kStagingName = CStagedSwap::StagingName();

// One file of the manifest on its way in.
struct CStep
{
    const vesktrust::CManifestFile* file = nullptr;
    const IFileDef* answer = nullptr; // the package answer's file of the same name
    std::string url;
    std::string scheme;
    deltastep::CDeltaPlan delta; // a delta to fetch instead, when one applies
};

bool Refuse(IExecutionContext& context, const std::string& reason)
{
    context.OnReport(reason.c_str());
    return false;
}

// What the manifest asks for, and whether the volume has room for it. False
// with `reason` when a file cannot be fetched at all.
bool Plan(const CInstallDir& install, const IUpdatePackage& package, const vesktrust::CManifest& manifest,
          const std::string& deltaBase, const std::vector<const IFileDef*>& matched, std::vector<CStep>& steps,
          long long& bytes, long long& deltaRoom, std::string& reason)
{
    bytes = 0;
    deltaRoom = 0;
    for (std::size_t i = 0; i < manifest.files.size(); ++i)
    {
        CStep step;
        step.file = &manifest.files[i];
        step.answer = matched[i];
        std::vector<std::string> parts;
        if (!SplitInstallName(step.file->name.c_str(), parts) || CStagedSwap::IsReserved(step.file->name))
        {
            reason = "the signed manifest names " + step.file->name + ", which cannot be put in the directory";
            return false;
        }
        if (signedpackage::FileMatches(install, *step.file))
            continue;
        // Refused before any download when the directory has no place for it.
        if (!CStagedSwap(install).CanPut(step.file->name, manifest.removed, reason))
        {
            reason.insert(0, step.file->name + ": ");
            return false;
        }
        step.url = ResolveUrl(package.GetBaseUrl(), step.answer->GetUrl());
        if (step.url.empty())
        {
            reason = "the package names no url for " + step.file->name;
            return false;
        }
        step.scheme = FetchedScheme(step.url, reason);
        if (step.scheme.empty())
            return false;
        // The manifest's lengths are signed, but still added with care.
        if (step.file->length > (1LL << 62) - bytes)
        {
            reason = "the signed manifest names more bytes than any volume holds";
            return false;
        }
        bytes += step.file->length;
        // While a delta is applied it lies beside the file it builds, one
        // delta at a time.
        if (deltastep::ChooseDelta(install, deltaBase.c_str(), *step.file, step.delta))
            deltaRoom = std::max(deltaRoom, step.delta.delta->length);
        steps.push_back(step);
    }
    return true;
}

// The whole file of a step, as the pool fetches it.
CDownload WholeFile(const CStep& step)
{
    CDownload download;
    download.name = step.file->name;
    download.url = step.url;
    download.length = step.file->length;
    download.digest = step.file->sha256;
    return download;
}

// What the pool fetches first for a step: its delta when one applies,
// otherwise the whole file.
CDownload FirstDownload(const CStep& step)
{
    CDownload download = WholeFile(step);
    if (step.delta.delta != nullptr)
    {
        download.url = step.delta.url;
        download.length = step.delta.delta->length;
        download.digest = step.delta.delta->sha256;
    }
    return download;
}

// Builds the files whose deltas arrived, and fetches the whole file, again
// through the pool, for every delta that did not arrive or did not build
// the manifest's file. Afterwards downloads[i] is the file of steps[i]: when
// ok, its partial holds exactly the manifest's bytes. No delta is left.
// `built` gets the files built from deltas: unlike partial downloads, no
// later run continues them. `reached` is the progress the first downloads
// ended at, which the whole files' progress continues from.
void BuildFromDeltas(const CInstallDir& install, const std::vector<CStep>& steps, std::vector<CDownload>& downloads,
                     const CDownloadOptions& options, const CTransferProgress& reached, deltastep::CDeltaTally& tally,
                     std::vector<std::string>& built)
{
    std::vector<std::size_t> fallen;
    std::vector<CDownload> whole;
    int fallenDone = 0; // fallen files the first downloads counted as done
    for (std::size_t i = 0; i < steps.size(); ++i)
    {
        const CStep& step = steps[i];
        if (step.delta.delta == nullptr)
            continue;
        CDownload& download = downloads[i];
        std::string result;
        std::string reason = download.error;
        const bool ok = download.ok &&
                        deltastep::BuildFromDelta(install, *step.file, download.partial, kStagingName, result, reason);
        if (!download.partial.empty())
            install.Remove(download.partial);
        download.partial.clear();
        if (ok)
        {
            download.partial = result;
            built.push_back(result);
            tally.Took(*step.file, *step.delta.delta);
            continue;
        }
        tally.FellBack(*step.file, reason);
        fallenDone += download.ok ? 1 : 0;
        fallen.push_back(i);
        whole.push_back(WholeFile(step));
    }
    if (whole.empty())
        return;
    // A host's progress line goes on from where it was: the whole files'
    // bytes are added to the bytes done so far (what a delta that did not
    // arrive would have added drops out of the total), and a delta that did
    // not build no longer counts as a file done.
    CDownloadOptions again = options;
    if (options.progress)
    {
        again.progress = [shown = options.progress, reached, fallenDone](const CTransferProgress& progress) {
            CTransferProgress sum = progress;
            sum.bytesDone += reached.bytesDone;
            sum.bytesTotal += reached.bytesDone;
            sum.filesDone += reached.filesDone - fallenDone;
            shown(sum);
        };
    }
    FetchAll(install, whole, again);
    for (std::size_t k = 0; k < fallen.size(); ++k)
        downloads[fallen[k]] = std::move(whole[k]);
}

// Says which files did not arrive intact, and clears up: after a refused
// answer every partial download goes (the directory is as it was); after
// transfers that were only cut short they stay for the next run.
bool Unfetched(const CInstallDir& install, const std::vector<CStep>& steps, const std::vector<CDownload>& downloads,
               IEnumable<const IFileDef*>::IEnum* failed, IExecutionContext& context, const char* directory)
{
    bool refused = false;
    std::string reason;
    for (std::size_t i = 0; i < downloads.size(); ++i)
    {
        refused = refused || downloads[i].refused;
        if (downloads[i].ok)
            continue;
        if (reason.empty())
            reason = steps[i].file->name + ": " + downloads[i].error;
        if (failed != nullptr)
            failed->OnItem(steps[i].answer);
    }
    if (refused)
    {
        const CStagedSwap swap(install);
        for (const CDownload& download : downloads)
        {
            if (!download.partial.empty())
                swap.Drop(download.partial);
        }
        return Refuse(context, reason + "; nothing was changed in " + directory);
    }
    // A file built from a delta is made again next time; only downloads stay.
    const CStagedSwap swap(install);
    for (const CDownload& download : downloads)
    {
        const std::string& name = download.partial;
        const bool built = name.size() > 5 && name.compare(name.size() - 5, 5, ".part") == 0;
        swap.Drop(built ? name : std::string());
    }
    return Refuse(context, reason + "; nothing was put in place in " + std::string(directory) +
                               ", what arrived is kept for the next run");
}

} // namespace

bool ApplyVerified(const IUpdatePackage* package, const char* directory, IEnumable<const IFileDef*>::IEnum* failed,
                   IExecutionContext& context)
{
    try
    {
        if (package == nullptr || directory == nullptr || *directory == '\0')
            return Refuse(context, "no package or no directory was given");
        vesktrust::CManifest manifest;
        std::string keyId;
        std::string reason;
        if (!signedpackage::FetchExpectedManifest(context, manifest, keyId, reason))
            return Refuse(context, reason);
        std::vector<const IFileDef*> matched;
        if (!signedpackage::MatchPackage(manifest, signedpackage::PackageFiles(*package), matched, reason))
            return Refuse(context, reason);

        // The directory itself is the host's: it is made when missing.
        std::error_code ignored;
        std::filesystem::create_directories(directory, ignored);
        CInstallDir install;
        if (!install.Open(directory, reason))
            return Refuse(context, reason);
        std::vector<CStep> steps;
        long long bytesTotal = 0;
        long long deltaRoom = 0;
        const char* manifestUrl = context.GetSetting("manifest");
        const std::string deltaBase = deltastep::DeltaBaseUrl(manifestUrl != nullptr ? manifestUrl : "", manifest,
                                                              package->GetBaseUrl());
        if (!Plan(install, *package, manifest, deltaBase, matched, steps, bytesTotal, deltaRoom, reason))
            return Refuse(context, reason);
        // Both below 2^62: the sum does not overflow.
        const long long bytesNeeded = bytesTotal + deltaRoom;
        unsigned long long free = 0;
        if (!steps.empty() && !install.FreeBytes(free, reason))
            return Refuse(context, reason);
        if (static_cast<unsigned long long>(bytesNeeded) > free && !steps.empty())
            return Refuse(context, "not enough free space in " + std::string(directory) + ": the package needs " +
                                       std::to_string(bytesNeeded) + " bytes, " + std::to_string(free) + " are free");

        // Every file is downloaded and checked before any is moved into place:
        // all through one pool, each into a partial download in the top
        // folder. When an answer is refused, everything fetched goes; when
        // transfers were only cut short, what arrived stays for the next run.
        // A file whose delta applies comes by delta first; a delta that does
        // not help is followed by the whole file.
        std::vector<CDownload> downloads;
        downloads.reserve(steps.size());
        for (const CStep& step : steps)
            downloads.push_back(FirstDownload(step));
        CDownloadOptions options;
        options.jobs = JobsSetting(context.GetSetting("jobs"), 8);
        options.hash = Sha256Hashes();
        options.hashName = "SHA-256";
        options.source = "the signed manifest";
        options.stagingName = kStagingName;
        const int filesTotal = static_cast<int>(steps.size());
        CTransferProgress reached;
        options.progress = [&context, &reached, filesTotal](const CTransferProgress& progress) {
            reached = progress;
            context.OnProgress(progress.bytesDone, progress.bytesTotal, progress.filesDone, filesTotal);
        };
        CStagedSwap swap(install);
        if (!steps.empty() && !swap.Prepare(reason))
            return Refuse(context, reason);
        FetchAll(install, downloads, options);
        deltastep::CDeltaTally deltas;
        std::vector<std::string> built;
        const CTransferProgress first = reached;
        BuildFromDeltas(install, steps, downloads, options, first, deltas, built);
        deltas.Report(context);
        if (std::any_of(downloads.begin(), downloads.end(), [](const CDownload& download) { return !download.ok; }))
        {
            for (const std::string& name : built)
                install.Remove(name);
            return Unfetched(install, steps, downloads, failed, context, directory);
        }

        // All of them are swapped in at once, under a journal, and the files
        // the new version no longer has are moved out with them.
        std::vector<CSwapFile> swapped;
        swapped.reserve(steps.size());
        for (std::size_t i = 0; i < steps.size(); ++i)
            swapped.push_back(CSwapFile{downloads[i].partial, steps[i].file->name});
        if ((!swapped.empty() || !manifest.removed.empty()) && !swap.Apply(swapped, manifest.removed, reason))
            return Refuse(context, reason);
        const std::string line = "verified " + signedpackage::Describe(manifest) + " by key " + keyId;
        context.OnReport(line.c_str());
        return true;
    }
    catch (...)
    {
        return Refuse(context, "the package could not be applied (out of memory or a file system error)");
    }
}
