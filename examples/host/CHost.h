// The demo host's commands. One CHost owns one updater for the life of the
// program: it loads the state file into it, asks the version center through
// the updater's embedded query, records downloads and installs, and writes
// the updater's text back to the state file.
#ifndef VESK_HOST_CHOST_H
#define VESK_HOST_CHOST_H

#include <VeskUpdate.h>

#include "StateFile.h"

#include <CommandLine.h>

#include <cstdio>
#include <string>

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
    /// version's file-check definition.
    int Verify(const std::string& version, const std::string& directory, const std::string& plugin);

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
              const std::string& plugin);

    CStateFile m_file;
    std::FILE* m_out;
    std::FILE* m_err;
    kvrUpdate::IUpdater* m_updater;
};

#endif // VESK_HOST_CHOST_H
