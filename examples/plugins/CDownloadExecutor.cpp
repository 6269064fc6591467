// Sample update-executor plug-in, type "download": applies an update package
// by downloading its files into the staging area of the directory the host
// names, checking each file's length and MD5, and only once all of them are
// there swapping them in under a journal (CStagedSwap.h), so that the
// directory holds the old files or the new ones, never a mix. A swap a
// crash cut short is finished first, on the next run.
// It writes below the directory without following any link there, fetches
// over http and https only, and starts no download unless the volume has
// room for all of them. Given a context, it says there why a file failed.
//
// Given trusted keys through its context (setting "trust"), it verifies
// instead: the package's signed manifest must verify and be the one of what
// the host applies, the package answer must name exactly the manifest's
// files, and every file is downloaded aside and checked against the
// manifest's length and SHA-256 before any of them is moved into the
// directory (see CVerifiedApply.h).
//
// Entry: CreateUpdateExecutor. Register it with
//   manager->RegisterModule("libVeskDownloadExecutor.so", "CreateUpdateExecutor");
#include "CStagedSwap.h"
#include "CVerifiedApply.h"
#include "Download.h"
#include "PackageDownload.h"
#include "PluginFiles.h"
#include "SignedPackage.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <new>
#include <string>
#include <system_error>
#include <vector>

using namespace kvrUpdate;

namespace
{

const char kType[] = "download";

// Finishes a swap a crash cut short in `directory`, if there is one. A
// directory that is not there yet has none.
bool FinishSwapIn(const char* directory, IExecutionContext* context, std::string& error)
{
    std::error_code ignored;
    if (!std::filesystem::is_directory(directory, ignored))
        return true;
    CInstallDir install;
    CStagedSwap swap(install);
    bool finished = false;
    if (!install.Open(directory, error))
        return false;
    if (!swap.Recover(finished, error))
    {
        error = "an interrupted update cannot be finished: " + error;
        return false;
    }
    if (finished && context != nullptr)
        context->OnReport("finished the update a crash had interrupted");
    return true;
}

// A file of the package still to be fetched.
struct CJob
{
    const IFileDef* file = nullptr;
    std::string name;
    std::string url;
    std::string scheme;
};

// Says why a file failed, to the host's context when it gave one, and counts
// it as failed.
class COutcome
{
public:
    COutcome(IEnumable<const IFileDef*>::IEnum* failed, IExecutionContext* context)
        : m_failed(failed), m_context(context)
    {
    }

    void Report(const std::string& line) const
    {
        if (m_context != nullptr)
            m_context->OnReport(line.c_str());
    }

    void Fail(const IFileDef* file, const std::string& why)
    {
        m_ok = false;
        const char* name = file->GetName();
        Report(std::string("cannot put ") + (name != nullptr ? name : "?") + " in place: " + why);
        if (m_failed != nullptr)
            m_failed->OnItem(file);
    }

    bool Ok() const { return m_ok; }

private:
    IEnumable<const IFileDef*>::IEnum* m_failed;
    IExecutionContext* m_context;
    bool m_ok = true;
};

class CDownloadExecutor final : public IContextUpdateExecutor
{
public:
    bool IsType(const char* type) override { return IsPluginType(type, kType, true); }

    void EnumTypes(IEnumable<const char*>::IEnum* callback) override { EnumPluginType(callback, kType); }

    void Release() override { delete this; }

    bool Execute(const IUpdatePackage* package, const char* directory,
                 IEnumable<const IFileDef*>::IEnum* failed) override
    {
        return ExecuteWith(package, directory, failed, nullptr);
    }

    bool ExecuteWith(const IUpdatePackage* package, const char* directory, IEnumable<const IFileDef*>::IEnum* failed,
                     IExecutionContext* context) override
    {
        if (package == nullptr || directory == nullptr || *directory == '\0')
            return false;
        try
        {
            std::string error;
            if (!FinishSwapIn(directory, context, error))
            {
                if (context != nullptr)
                    context->OnReport(error.c_str());
                return false;
            }
        }
        catch (...)
        {
            return false;
        }
        if (context != nullptr && signedpackage::HasTrust(context))
            return ApplyVerified(package, directory, failed, *context);
        try
        {
            const bool ok = Run(*package, directory, COutcome(failed, context), context);
            if (ok && context != nullptr)
                context->OnReport("not verified: the host gave no trusted key, so only the MD5s of the version "
                                  "center's answer were checked");
            return ok;
        }
        catch (...)
        {
            return false;
        }
    }

private:
    // First every file is looked at: those in place intact are left alone,
    // the others become jobs, and only when the volume has room for all of
    // them does the first download start.
    static bool Run(const IUpdatePackage& package, const char* directory, COutcome outcome, IExecutionContext* context)
    {
        // The directory itself is the host's: it is made when missing, along
        // whatever path the host named.
        std::error_code ignored;
        std::filesystem::create_directories(directory, ignored);
        CInstallDir install;
        std::string error;
        if (!install.Open(directory, error))
        {
            outcome.Report(error);
            return false;
        }
        const std::vector<const IFileDef*> files = signedpackage::PackageFiles(package);
        std::vector<CJob> jobs;
        unsigned long long bytesNeeded = 0;
        int filesDone = 0;
        for (const IFileDef* file : files)
        {
            CJob job;
            if (!Plan(install, package.GetBaseUrl(), *file, job, error))
                outcome.Fail(file, error);
            else if (job.file == nullptr)
                ++filesDone; // already in place
            else
            {
                // Saturates rather than wraps: a hostile package may name
                // lengths that add up beyond any number.
                const auto length = static_cast<unsigned long long>(file->GetLength());
                bytesNeeded = length > ~0ULL - bytesNeeded ? ~0ULL : bytesNeeded + length;
                jobs.push_back(std::move(job));
            }
        }
        // All or nothing: a file that cannot be put in place stops the rest.
        if (jobs.empty() || !outcome.Ok())
            return outcome.Ok();
        if (!HasRoom(install, directory, bytesNeeded, error))
        {
            outcome.Report(error);
            for (const CJob& job : jobs)
                outcome.Fail(job.file, "not downloaded");
            return false;
        }

        return FetchAndSwap(install, jobs, outcome, context, filesDone, static_cast<int>(files.size()));
    }

    // Fetches every job's file into the staging area, all at once through
    // one pool (the progress counts the `filesDone` files found in place as
    // done), then swaps them in together.
    static bool FetchAndSwap(const CInstallDir& install, const std::vector<CJob>& jobs, COutcome& outcome,
                             IExecutionContext* context, int filesDone, int filesTotal)
    {
        std::vector<CDownload> downloads;
        for (const CJob& job : jobs)
        {
            CDownload download;
            download.name = job.name;
            download.url = job.url;
            download.length = job.file->GetLength();
            download.digest = job.file->GetMd5();
            downloads.push_back(std::move(download));
        }
        CDownloadOptions options;
        options.jobs = JobsSetting(context != nullptr ? context->GetSetting("jobs") : nullptr, 8);
        options.hash = Md5Hashes();
        options.hashName = "MD5";
        options.stagingName = CStagedSwap::StagingName();
        if (context != nullptr)
        {
            options.progress = [context, filesDone, filesTotal](const CTransferProgress& progress) {
                context->OnProgress(progress.bytesDone, progress.bytesTotal, filesDone + progress.filesDone,
                                    filesTotal);
            };
        }
        CStagedSwap swap(install);
        std::string error;
        if (!swap.Prepare(error))
        {
            outcome.Report(error);
            for (const CJob& job : jobs)
                outcome.Fail(job.file, "not downloaded");
            return false;
        }
        if (!FetchAll(install, downloads, options))
        {
            // Nothing is put in place. After a refused answer what arrived
            // goes too, so the directory is as it was; after transfers that
            // were only cut short it stays for the next run.
            const bool refused = std::any_of(downloads.begin(), downloads.end(),
                                             [](const CDownload& d) { return d.refused; });
            for (std::size_t i = 0; i < jobs.size(); ++i)
            {
                if (!downloads[i].ok)
                    outcome.Fail(jobs[i].file, downloads[i].error);
                swap.Drop(refused ? downloads[i].partial : std::string());
            }
            return false;
        }
        std::vector<CSwapFile> swapped;
        swapped.reserve(downloads.size());
        for (const CDownload& download : downloads)
            swapped.push_back(CSwapFile{download.partial, download.name});
        if (swap.Apply(swapped, std::vector<std::string>(), error))
            return true;
        outcome.Report(error);
        for (const CJob& job : jobs)
            outcome.Fail(job.file, "not swapped in");
        return false;
    }

    // Whether the directory's volume has room for `bytes` more.
    static bool HasRoom(const CInstallDir& install, const char* directory, unsigned long long bytes, std::string& error)
    {
        unsigned long long free = 0;
        if (!install.FreeBytes(free, error))
            return false;
        if (bytes <= free)
            return true;
        error = "not enough free space in " + std::string(directory) + ": the package needs " + std::to_string(bytes) +
                " bytes, " + std::to_string(free) + " are free";
        return false;
    }

    // Whether `file` can be put in place, and whether it must be: `job` is
    // left without a file when the intact file is already there.
    static bool Plan(const CInstallDir& install, const char* baseUrl, const IFileDef& file, CJob& job,
                     std::string& error)
    {
        std::vector<std::string> parts;
        const char* name = file.GetName();
        if (!SplitInstallName(name, parts))
        {
            error = "not a file name inside the install directory";
            return false;
        }
        if (file.GetLength() < 0)
        {
            error = "the package names a negative length";
            return false;
        }
        if (CStagedSwap::IsReserved(name))
        {
            error = "a name in the staging area is not put in place";
            return false;
        }
        if (FileMatches(install, name, file))
            return true;
        if (!CStagedSwap(install).CanPut(name, std::vector<std::string>(), error))
            return false;
        job.url = ResolveUrl(baseUrl, file.GetUrl());
        if (job.url.empty())
        {
            error = "the package names no url for it";
            return false;
        }
        job.scheme = FetchedScheme(job.url, error);
        if (job.scheme.empty())
            return false;
        job.file = &file;
        job.name = name;
        return true;
    }
};

} // namespace

VESK_PLUGIN_ENTRY IUpdateExecutor* CreateUpdateExecutor()
{
    return new (std::nothrow) CDownloadExecutor;
}

// For a host that wants the directory whole before it looks at it (say, at
// start-up): finishes a swap a crash cut short in `directory`, as the next
// Execute would. 0 when there was none or it is finished now; otherwise 1,
// with why in `message` (`size` bytes, may be null).
VESK_PLUGIN_ENTRY int FinishInterruptedUpdate(const char* directory, char* message, int size)
{
    std::string error;
    try
    {
        if (directory != nullptr && FinishSwapIn(directory, nullptr, error))
            return 0;
    }
    catch (...)
    {
        error = "out of memory";
    }
    if (message != nullptr && size > 0)
    {
        const std::size_t length = std::min(error.size(), static_cast<std::size_t>(size - 1));
        error.copy(message, length);
        message[length] = '\0';
    }
    return 1;
}
