// The demo host's commands. One CHost owns one updater for the life of the
// program: it loads the state file into it, asks the version center through
// the updater's embedded query, records downloads and installs, and writes
// the updater's text back to the state file.
#ifndef VESK_HOST_CHOST_H
#define VESK_HOST_CHOST_H

#include <VeskUpdate.h>

#include "HostTrust.h"
#include "StateFile.h"

#include <CommandLine.h>

#include <cstdio>
#include <string>
#include <vector>

class CHostContext;

class CHost
{
public:
    /// Exit statuses of the commands: those every program of the project
    /// uses.
    enum Status
    {
        Ok = cli::ExitOk,
        Failed = cli::ExitFailed,     // the version center, the state file or the request failed
        BadArguments = cli::ExitUsage // the command line cannot be carried out as given
    };

    /// What the host verifies with (--trust, --downloads, --allow-downgrade).
    struct CTrustOptions
    {
        std::vector<std::string> keys; // key files or base64 key lines; none: nothing is verified
        std::string downloads;         // the download tree's root; empty: the center's address + "files/"
        bool allowDowngrade = false;   // a package may lead to a version older than the installed one
    };

    /// Reports go to standard output, errors to standard error.
    explicit CHost(const std::string& statePath);
    ~CHost();
    CHost(const CHost&) = delete;
    CHost& operator=(const CHost&) = delete;

    /// First run: product, version center and optionally the installed
    /// version. Refuses to replace an existing state file unless `force`.
    int Init(const std::string& product, const std::string& center, const std::string& installed, bool force);
    int Check();
    int Versions();
    /// The patches for `version`, or for the installed version when empty.
    int Patches(const std::string& version);
    int Evolution(const std::string& from, const std::string& to);
    int PatchPackage(const std::string& patch);
    int VersionPackage(const std::string& version);
    int FileCheck(const std::string& version);
    int RecordDownloaded(const std::string& number);
    int RecordInstalled(const std::string& number);
    /// The local state; with `raw` the state file's text as well.
    int ShowState(bool raw);

    // Commands that run the plug-ins (PluginCommands.cpp). `plugin` is the
    // plug-in library's file.

    /// Puts the files of a patch's package into `directory` with the update
    /// executor that serves the package's type. Records nothing.
    int ApplyPatch(const std::string& patch, const std::string& directory, const std::string& plugin);
    /// The same with a version's package.
    int ApplyVersion(const std::string& version, const std::string& directory, const std::string& plugin);
    /// Checks the files under `directory` against the resource list of the
    /// version's package, with the file checker that serves the type of the
    /// version's file-check definition. An update the `executor` plug-in
    /// left cut short there is finished first.
    int Verify(const std::string& version, const std::string& directory, const std::string& plugin,
               const std::string& executor);

    /// Takes the trusted keys; with any, every command that fetches or
    /// records a package verifies it first. Ok, or an error reported.
    int SetTrust(const CTrustOptions& options);
    /// The files the executor fetches at once (its setting "jobs"); empty:
    /// the plug-in's default.
    void SetJobs(const std::string& jobs) { m_jobs = jobs; }

    /// Prints "vesk-host: error: <message>" and returns `status`.
    int Error(const std::string& message, int status = Failed);

private:
    bool Load();
    bool Save();
    std::string VersionCenter();
    std::string InstalledVersion();
    /// Reports a request the version center did not answer: unreachable,
    /// unknown product, or no such `what`.
    int Unanswered(const std::string& what);
    /// The patch with the given number: from the downloaded list when
    /// `preferDownloaded`, else from the patches for the installed version or
    /// the chain up to the newest version. Null when none matches or the
    /// version center did not answer (then `status` is set).
    const kvrUpdate::IPatch* FindPatch(const std::string& number, bool preferDownloaded, std::string& source,
                                       int& status);
    void PrintHeader();
    int Apply(const kvrUpdate::IUpdatePackage* package, const std::string& what, const std::string& directory,
              const std::string& plugin, CHostContext& context);
    /// Finishes an update a crash cut short in `directory`, through the
    /// executor plug-in's FinishInterruptedUpdate when it has one. Ok, or
    /// the error reported.
    int FinishInterrupted(const std::string& plugin, const std::string& directory);

    // Verification with the trusted keys (TrustCommands.cpp). Each returns
    // Ok, or reports the error and returns its status.

    /// The download tree's root address, ending in '/'.
    std::string Downloads();
    /// The canonical text of a version ("1.1" -> "1.1.0.0").
    std::string Canonical(const std::string& version);
    /// -1, 0 or +1 as version a is older than, equal to or newer than b.
    int CompareVersions(const std::string& a, const std::string& b);
    /// The signed manifest of the patch or version `id` ("patch"/"version"),
    /// verified and checked to be the one of that package of this product.
    int SignedManifest(const std::string& kind, const std::string& id, vesktrust::CManifest& manifest,
                       std::string& keyId);
    /// The patch as the version center describes it must lead from the
    /// versions `apply` to `result`, as `source` (a signed file) says.
    int SamePatch(const kvrUpdate::IPatch& patch, const std::vector<std::string>& apply, const std::string& result,
                  const std::string& source);
    /// The patch's manifest must apply to the installed version.
    int AppliesHere(const vesktrust::CManifest& manifest);
    /// A result older than the installed version needs --allow-downgrade.
    /// `what` is "patch P" for a patch's result, empty for a version.
    int NotOlder(const std::string& result, const std::string& what);
    /// The product's signed snapshot, verified, for this product, not
    /// expired and not older than the newest one seen.
    int SignedSnapshot(vesktrust::CSnapshot& snapshot, std::string& keyId);
    /// The version center's situation, versions and the patches it lists
    /// for the installed version and on the way to `last` must be the
    /// snapshot's.
    int MatchesSnapshot(const vesktrust::CSnapshot& snapshot);
    /// SignedSnapshot and MatchesSnapshot; `line` then tells what was
    /// verified, for the user.
    int VerifySituation(vesktrust::CSnapshot& snapshot, std::string& line);
    /// Keeps the snapshot's sequence as the newest seen.
    int RememberSnapshot(const vesktrust::CSnapshot& snapshot);
    /// Checks a patch before it is recorded: its signed manifest, that it is
    /// the patch the version center describes and, for an install, that it
    /// applies here and does not lead back (unless allowed). `verified`
    /// then tells what was verified, for the user.
    int VerifyPatchRecord(const kvrUpdate::IPatch& patch, bool install, std::string& verified);
    /// Records the patch's older result as the installed version
    /// (--allow-downgrade), then the patch as installed.
    int RecordDowngrade(const kvrUpdate::IPatch& patch, const std::string& number, const std::string& source);
    /// The settings a verifying plug-in needs for the package `kind` `id`.
    void FillContext(CHostContext& context, const std::string& kind, const std::string& id);

    CStateFile m_file;
    CHostTrust m_trust;
    std::string m_downloads;
    bool m_allowDowngrade = false;
    std::string m_jobs;
    std::FILE* m_out;
    std::FILE* m_err;
    kvrUpdate::IUpdater* m_updater;
};

#endif // VESK_HOST_CHOST_H
