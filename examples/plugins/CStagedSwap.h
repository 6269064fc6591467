// Puts a package's files in place all at once or not at all, as far as a
// crash can tell.
//
// Every file is first downloaded and checked into the staging area, the
// folder ".vesk-staging" at the top of the install directory (the same
// volume, so every move is a rename). Its files there are named by a key of
// what they hold, so a run that was cut short finds them again and goes on.
// Only when all of them are there is a journal written (to a new file, made
// durable, then renamed, the folder made durable) that lists every move:
//
//   remove  NAME         the file NAME moves to a backup in the staging area
//   put     STAGED NAME  the file at NAME (if any) moves to a backup, then
//                        STAGED moves to NAME
//
// Then the moves run, the journal is renamed "journal.done", and the staging
// area is removed. Each move's state shows in which files exist (a staged
// file that is gone has been put), so running the journal again from the
// start finishes it whatever moment it stopped at. Recover does that at the
// start of the next run: with a journal it rolls forward and removes the
// staging area; without one nothing was replaced, and the partial
// downloads stay for the next run to continue.
//
// The staging area is refused, never followed, when it is a link; a journal
// is refused as a whole, before any move, when it names anything outside the
// directory, a staged file or backup outside the staging area, or a file in
// it as a target.
#ifndef VESKPLUGINS_CSTAGEDSWAP_H
#define VESKPLUGINS_CSTAGEDSWAP_H

#include "CInstallDir.h"
#include "SwapJournal.h"

#include <cstdio>
#include <string>
#include <vector>

/// A staged file and the name it takes.
struct CSwapFile
{
    std::string staged; ///< from OpenStaged
    std::string name;   ///< relative to the install directory
};

class CStagedSwap
{
public:
    /// The staging area's folder, relative to the install directory.
    static const char kFolder[];

    explicit CStagedSwap(const CInstallDir& install) : m_install(install) {}

    /// Whether `name` lies in the staging area: a package may not name it.
    /// Compared without regard to case, as Windows does.
    static bool IsReserved(const std::string& name);

    /// Finishes a swap a crash interrupted. `finished` says whether there
    /// was one. False, with `error`, when the staging area or its journal is
    /// refused or a move fails; the directory is then left for a later try.
    bool Recover(bool& finished, std::string& error);

    /// Opens the staged file of `key` (1 to 64 lower-case hex digits),
    /// creating the staging area and the file when missing. See
    /// CInstallDir::OpenPartial for `staged` and `kept`.
    std::FILE* OpenStaged(const std::string& key, std::string& staged, long long& kept, std::string& error) const;

    /// The staged name of `key`, as OpenStaged gives it.
    static std::string StagedName(const std::string& key);

    /// A name in the staging area: what CInstallDir::OpenPartial or
    /// CreateTemp take to put their file there.
    static std::string StagingName() { return std::string(kFolder) + "/file"; }

    /// Makes the staging area when it is missing; false, with `error`, when
    /// it is refused (a link) or cannot be made.
    bool Prepare(std::string& error) const;

    /// Whether the file `name` can take its place once staged: a name the
    /// swap may put in place, no link on the way to it, no folder where it
    /// goes, and no file where a folder on its way goes unless `removed`
    /// (the names the swap removes) has it. Checked before anything is
    /// downloaded, and again before a journal is written, so that a swap
    /// with a journal does not fail on the directory's shape.
    bool CanPut(const std::string& name, const std::vector<std::string>& removed, std::string& error) const;

    /// Removes the staged file `staged` (none when it is empty), and the
    /// staging area when it is left empty: for a download that was refused.
    void Drop(const std::string& staged) const;

    /// Swaps the complete, checked staged `files` in and moves the files
    /// `removed` out, under a journal, then removes the staging area. Call
    /// Recover first. False, with `error`, when it is refused before the
    /// journal is written (the directory unchanged) or a move fails (the
    /// journal stays for Recover).
    bool Apply(const std::vector<CSwapFile>& files, const std::vector<std::string>& removed, std::string& error);

    /// For tests: every later call stops, as if the process died, once
    /// `steps` more changes to the directory have been made.
    void StopAfter(int steps) { m_stopAfter = steps; }

private:
    using CEntry = swapjournal::CEntry;

    bool CheckArea(bool& present, std::string& error) const;
    // Whether every file below the folder `top` is one of `removed`.
    bool HoldsOnly(const std::string& top, const std::vector<std::string>& removed) const;
    bool ReadJournal(const std::string& journal, std::vector<CEntry>& entries, std::string& error) const;
    bool WriteJournal(const std::vector<CEntry>& entries, std::string& error);
    bool MoveOut(const CEntry& entry, std::string& error);
    void RemoveEmptied(const std::string& name);
    bool PutIn(const CEntry& entry, std::string& error);
    bool RollForward(const std::vector<CEntry>& entries, std::string& error);
    bool Finish(std::string& error);
    bool TidyUnfinished(std::string& error);
    void RemoveTree(const std::string& top);
    void Step();

    const CInstallDir& m_install;
    int m_stopAfter = -1;
};

#endif // VESKPLUGINS_CSTAGEDSWAP_H
