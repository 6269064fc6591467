// The journal of a staged swap as text, and the names it may hold (see
// CStagedSwap.h). One line per move, fields between tabs, names with '%',
// tab and line ends written as %XX:
//
//   vesk-swap-journal 1
//   remove <TAB> NAME <TAB> BACKUP
//   put <TAB> STAGED <TAB> NAME <TAB> BACKUP
//   end
#ifndef VESKPLUGINS_SWAPJOURNAL_H
#define VESKPLUGINS_SWAPJOURNAL_H

#include <string>
#include <vector>

namespace swapjournal
{

/// One move of the swap.
struct CEntry
{
    std::string staged; ///< empty for a removal
    std::string name;
    std::string backup;
};

/// `name` as an install name reads, its components joined with '/'; empty
/// when it is not one.
std::string Canonical(const std::string& name);

std::string Lower(std::string text);

/// Whether `name` lies in the staging area, compared without regard to case.
bool IsReserved(const std::string& name);

/// A name the swap may put in place or remove: canonical, outside the
/// staging area.
bool IsTargetName(const std::string& name);

/// A staged file: the staging area's ".vesk-KEY.partial" or ".vesk-KEY.part".
bool IsStagedName(const std::string& name);

/// A backup: the staging area's "backup/NUMBER".
bool IsBackupName(const std::string& name);

std::string JournalText(const std::vector<CEntry>& entries);

/// Reads a whole journal. False, with `error`, when it is cut short, not of
/// this format, or names a move the swap never writes: a name outside the
/// directory or in the staging area, a staged file or backup elsewhere than
/// their places, a name, staged file or backup twice.
bool ParseJournal(const std::string& text, std::vector<CEntry>& entries, std::string& error);

} // namespace swapjournal

#endif // VESKPLUGINS_SWAPJOURNAL_H
