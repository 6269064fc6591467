#include "CStagedSwap.h"

#include "PluginFiles.h"
#include "SwapJournal.h"

#include <cctype>
#include <cstring>
#include <exception>
#include <set>

const char CStagedSwap::kFolder[] = ".vesk-staging";

namespace
{

const std::string kArea = CStagedSwap::kFolder;
const std::string kJournal = kArea + "/journal";
const std::string kDone = kArea + "/journal.done";
const std::string kBackups = kArea + "/backup";
// A journal is a few lines per file; anything larger is not one of ours.
const long long kMaxJournal = 64LL << 20;

// Thrown by the test hook: the process "dies" here.
struct CStopped
{
};

using EKind = CInstallDir::EKind;
using swapjournal::Canonical;
using swapjournal::IsStagedName;
using swapjournal::IsTargetName;
using swapjournal::Lower;

std::string FolderOf(const std::string& name)
{
    const std::string::size_type slash = name.rfind('/');
    return slash == std::string::npos ? std::string() : name.substr(0, slash);
}

} // namespace

bool CStagedSwap::IsReserved(const std::string& name)
{
    return swapjournal::IsReserved(name);
}

std::string CStagedSwap::StagedName(const std::string& key)
{
    return kArea + "/.vesk-" + key + ".partial";
}

void CStagedSwap::Step()
{
    if (m_stopAfter == 0)
        throw CStopped();
    if (m_stopAfter > 0)
        --m_stopAfter;
}

bool CStagedSwap::CheckArea(bool& present, std::string& error) const
{
    EKind kind = EKind::Missing;
    if (!m_install.Lookup(kArea, kind, error))
        return false;
    present = kind == EKind::Folder;
    if (kind == EKind::Missing || kind == EKind::Folder)
        return true;
    error = "the staging area " + kArea + " is not a plain folder (a link?); it is refused, nothing was changed";
    return false;
}

bool CStagedSwap::Prepare(std::string& error) const
{
    bool present = false;
    return CheckArea(present, error) && (present || m_install.CreateFolder(kArea, error));
}

std::FILE* CStagedSwap::OpenStaged(const std::string& key, std::string& staged, long long& kept,
                                   std::string& error) const
{
    if (!Prepare(error))
        return nullptr;
    return m_install.OpenPartial(StagingName(), key, staged, kept, error);
}

bool CStagedSwap::ReadJournal(const std::string& journal, std::vector<CEntry>& entries, std::string& error) const
{
    std::FILE* file = m_install.OpenRead(journal, error);
    if (file == nullptr)
        return false;
    std::string text;
    char buffer[65536];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0 && static_cast<long long>(text.size()) < kMaxJournal)
        text.append(buffer, got);
    const bool readOk = std::ferror(file) == 0;
    std::fclose(file);
    std::string why = "it cannot be read whole";
    if (readOk && static_cast<long long>(text.size()) < kMaxJournal && swapjournal::ParseJournal(text, entries, why))
        return true;
    error = "the journal " + journal + " is refused: " + why;
    return false;
}

bool CStagedSwap::WriteJournal(const std::vector<CEntry>& entries, std::string& error)
{
    const std::string text = swapjournal::JournalText(entries);
    Step();
    std::string temp;
    std::FILE* file = m_install.CreateTemp(kJournal, temp, error);
    if (file == nullptr)
        return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (std::fclose(file) != 0 || !written)
    {
        error = "cannot write the journal of the swap";
        m_install.Remove(temp);
        return false;
    }
    if (!m_install.SyncFile(temp, error))
    {
        m_install.Remove(temp);
        return false;
    }
    Step();
    return m_install.Rename(temp, kJournal, error) && m_install.SyncFolder(kArea, error);
}

bool CStagedSwap::MoveOut(const CEntry& entry, std::string& error)
{
    EKind kind = EKind::Missing;
    if (!m_install.Lookup(entry.name, kind, error))
        return false;
    if (kind == EKind::Folder)
    {
        error = "cannot remove " + entry.name + ": it is a folder";
        return false;
    }
    if (kind == EKind::Missing)
        return true;
    Step();
    if (kind == EKind::Other)
    {
        m_install.Remove(entry.name); // a link is removed itself
        return true;
    }
    return m_install.Rename(entry.name, entry.backup, error);
}

void CStagedSwap::RemoveEmptied(const std::string& name)
{
    // The first folder that is not empty stops it.
    for (std::string folder = FolderOf(name); !folder.empty(); folder = FolderOf(folder))
    {
        EKind kind = EKind::Missing;
        std::string ignored;
        std::vector<std::pair<std::string, EKind>> children;
        if (!m_install.Lookup(folder, kind, ignored) || kind != EKind::Folder ||
            !m_install.List(folder, children, ignored) || !children.empty())
            return;
        Step();
        m_install.RemoveFolder(folder);
    }
}

bool CStagedSwap::PutIn(const CEntry& entry, std::string& error)
{
    EKind staged = EKind::Missing;
    if (!m_install.Lookup(entry.staged, staged, error))
        return false;
    if (staged == EKind::Missing)
        return true; // put already
    EKind old = EKind::Missing;
    EKind backup = EKind::Missing;
    if (!m_install.CreateParents(entry.name, error) || !m_install.Lookup(entry.name, old, error) ||
        !m_install.Lookup(entry.backup, backup, error))
        return false;
    if (old == EKind::Folder)
    {
        error = "cannot put " + entry.name + " in place: a folder is there";
        return false;
    }
    if (old == EKind::File && backup == EKind::Missing)
    {
        Step();
        if (!m_install.Rename(entry.name, entry.backup, error))
            return false;
    }
    else if (old == EKind::Other)
    {
        Step();
        m_install.Remove(entry.name);
    }
    Step();
    return m_install.Rename(entry.staged, entry.name, error);
}

bool CStagedSwap::RollForward(const std::vector<CEntry>& entries, std::string& error)
{
    // Removals first, and the folders they empty: a file the new version
    // brings may take the place of such a folder.
    for (const CEntry& entry : entries)
    {
        if (entry.staged.empty() && !MoveOut(entry, error))
            return false;
    }
    for (const CEntry& entry : entries)
    {
        if (entry.staged.empty())
            RemoveEmptied(entry.name);
    }
    for (const CEntry& entry : entries)
    {
        if (!entry.staged.empty() && !PutIn(entry, error))
            return false;
    }
    // The moves are made durable before the journal says they are done.
    std::set<std::string> folders{kBackups};
    for (const CEntry& entry : entries)
        folders.insert(FolderOf(entry.name));
    for (const std::string& folder : folders)
    {
        EKind kind = EKind::Missing;
        if (!folder.empty() && (!m_install.Lookup(folder, kind, error) || kind != EKind::Folder))
            continue;
        if (!m_install.SyncFolder(folder, error))
            return false;
    }
    return true;
}

void CStagedSwap::RemoveTree(const std::string& top)
{
    // Files as they are found, folders deepest first once they are empty;
    // a few levels at most, which is all the staging area has.
    std::vector<std::pair<std::string, int>> pending{{top, 0}};
    std::vector<std::string> folders;
    while (!pending.empty())
    {
        const std::pair<std::string, int> folder = pending.back();
        pending.pop_back();
        std::vector<std::pair<std::string, EKind>> entries;
        std::string ignored;
        if (!m_install.List(folder.first, entries, ignored))
            continue;
        for (const auto& entry : entries)
        {
            std::string name = folder.first;
            name += '/';
            name += entry.first;
            if (name == kDone || name == kJournal)
                continue; // removed last, by Finish
            if (entry.second == EKind::Folder)
            {
                if (folder.second < 4)
                    pending.emplace_back(name, folder.second + 1);
                folders.push_back(name);
                continue;
            }
            Step();
            m_install.Remove(name);
        }
    }
    for (auto it = folders.rbegin(); it != folders.rend(); ++it)
    {
        Step();
        m_install.RemoveFolder(*it);
    }
}

bool CStagedSwap::Finish(std::string& error)
{
    EKind kind = EKind::Missing;
    if (!m_install.Lookup(kJournal, kind, error))
        return false;
    if (kind != EKind::Missing)
    {
        Step();
        if (!m_install.Rename(kJournal, kDone, error) || !m_install.SyncFolder(kArea, error))
            return false;
    }
    RemoveTree(kArea);
    Step();
    m_install.Remove(kDone);
    Step();
    m_install.RemoveFolder(kArea);
    return m_install.SyncFolder("", error);
}

bool CStagedSwap::TidyUnfinished(std::string& error)
{
    // A journal that was being written and an empty backup folder go, and
    // so does the staging area when that leaves it empty (a swap that
    // stopped at its very end).
    std::vector<std::pair<std::string, EKind>> entries;
    if (!m_install.List(kArea, entries, error))
        return false;
    std::size_t left = entries.size();
    for (const auto& entry : entries)
    {
        const std::string& child = entry.first;
        std::string name = kArea;
        name += '/';
        name += child;
        const bool temp = child.size() > 5 && child.compare(child.size() - 5, 5, ".part") == 0;
        if (entry.second != EKind::Folder && temp)
        {
            Step();
            m_install.Remove(name);
            --left;
        }
        else if (entry.second == EKind::Folder && name == kBackups)
        {
            Step();
            left -= m_install.RemoveFolder(name) ? 1 : 0;
        }
    }
    if (left == 0)
    {
        Step();
        m_install.RemoveFolder(kArea);
    }
    return true;
}

bool CStagedSwap::Recover(bool& finished, std::string& error)
{
    finished = false;
    try
    {
        bool present = false;
        if (!CheckArea(present, error))
            return false;
        if (!present)
            return true;
        EKind journal = EKind::Missing;
        EKind done = EKind::Missing;
        if (!m_install.Lookup(kJournal, journal, error) || !m_install.Lookup(kDone, done, error))
            return false;
        if (journal != EKind::Missing)
        {
            std::vector<CEntry> entries;
            if (!ReadJournal(kJournal, entries, error) || !RollForward(entries, error))
                return false;
        }
        // Nothing was replaced: the partial downloads stay.
        if (journal == EKind::Missing && done == EKind::Missing)
            return TidyUnfinished(error);
        finished = true;
        return Finish(error);
    }
    catch (const CStopped&)
    {
        error = "stopped";
        return false;
    }
    catch (const std::exception& failure)
    {
        error = std::string("cannot finish the swap: ") + failure.what();
        return false;
    }
}

bool CStagedSwap::CanPut(const std::string& name, const std::vector<std::string>& removed, std::string& error) const
{
    const std::string canonical = Canonical(name);
    if (!IsTargetName(canonical))
    {
        error = canonical.empty() ? "not a file name inside the install directory"
                                  : "a name in the staging area " + kArea + " is not put in place";
        return false;
    }
    EKind kind = EKind::Missing;
    if (!m_install.Lookup(canonical, kind, error))
        return false;
    if (kind == EKind::Folder && !HoldsOnly(canonical, removed))
    {
        error = "a folder is in its place";
        return false;
    }
    for (std::string folder = FolderOf(canonical); !folder.empty(); folder = FolderOf(folder))
    {
        if (!m_install.Lookup(folder, kind, error))
            return false;
        bool goes = false;
        for (const std::string& gone : removed)
            goes = goes || Canonical(gone) == folder;
        if (kind != EKind::Missing && kind != EKind::Folder && !goes)
        {
            error = folder + " is not a folder";
            return false;
        }
    }
    return true;
}

bool CStagedSwap::HoldsOnly(const std::string& top, const std::vector<std::string>& removed) const
{
    std::set<std::string> gone;
    for (const std::string& name : removed)
        gone.insert(Canonical(name));
    std::vector<std::pair<std::string, int>> pending{{top, 0}};
    while (!pending.empty())
    {
        const std::pair<std::string, int> folder = pending.back();
        pending.pop_back();
        std::vector<std::pair<std::string, EKind>> entries;
        std::string ignored;
        // An empty folder is not one that the removals empty: it would stay.
        if (folder.second > 8 || !m_install.List(folder.first, entries, ignored) || entries.empty())
            return false;
        for (const auto& entry : entries)
        {
            const std::string name = folder.first + "/" + entry.first;
            if (entry.second == EKind::Folder)
                pending.emplace_back(name, folder.second + 1);
            else if (gone.count(name) == 0)
                return false;
        }
    }
    return true;
}

void CStagedSwap::Drop(const std::string& staged) const
{
    std::vector<std::pair<std::string, EKind>> entries;
    std::string ignored;
    if (IsStagedName(staged))
        m_install.Remove(staged);
    if (m_install.List(kArea, entries, ignored) && entries.empty())
        m_install.RemoveFolder(kArea);
}

bool CStagedSwap::Apply(const std::vector<CSwapFile>& files, const std::vector<std::string>& removed,
                        std::string& error)
{
    try
    {
        std::set<std::string> names;
        std::vector<CEntry> entries;
        for (const CSwapFile& file : files)
            names.insert(Lower(file.name));
        for (const std::string& name : removed)
        {
            EKind kind = EKind::Missing;
            if (!IsTargetName(Canonical(name)) || names.count(Lower(name)) != 0 ||
                !m_install.Lookup(Canonical(name), kind, error) || kind == EKind::Folder)
            {
                error = "the package removes '" + name + "', which is not a file it may remove";
                return false;
            }
            CEntry entry;
            entry.name = Canonical(name);
            entries.push_back(entry);
        }
        std::set<std::string> seen;
        for (const CSwapFile& file : files)
        {
            EKind kind = EKind::Missing;
            if (!CanPut(file.name, removed, error))
            {
                error.insert(0, file.name + ": ");
                return false;
            }
            if (!seen.insert(Lower(file.name)).second || !IsStagedName(file.staged) ||
                !m_install.Lookup(file.staged, kind, error) || kind != EKind::File)
            {
                error = "'" + file.name + "' cannot be put in place from " + file.staged;
                return false;
            }
            CEntry entry;
            entry.staged = file.staged;
            entry.name = Canonical(file.name);
            entries.push_back(entry);
        }
        for (std::size_t i = 0; i < entries.size(); ++i)
            entries[i].backup = kBackups + "/" + std::to_string(i);
        // A crash may not leave a journal that names bytes not yet on disk.
        std::vector<std::string> staged;
        staged.reserve(files.size());
        for (const CSwapFile& file : files)
            staged.push_back(file.staged);
        if (!m_install.SyncFiles(staged, error))
            return false;

        bool present = false;
        EKind journal = EKind::Missing;
        if (!CheckArea(present, error) || (present && !m_install.Lookup(kJournal, journal, error)))
            return false;
        if (journal != EKind::Missing)
        {
            error = "an earlier swap is not finished";
            return false;
        }
        // Backups left by anything before are not this swap's.
        RemoveTree(kBackups);
        Step();
        if (!m_install.CreateFolder(kBackups, error))
            return false;
        return WriteJournal(entries, error) && RollForward(entries, error) && Finish(error);
    }
    catch (const CStopped&)
    {
        error = "stopped";
        return false;
    }
    catch (const std::exception& failure)
    {
        error = std::string("cannot swap the files in: ") + failure.what();
        return false;
    }
}
