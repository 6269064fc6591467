#include "SwapJournal.h"

#include "CStagedSwap.h"
#include "PluginFiles.h"

#include <cctype>
#include <set>

namespace swapjournal
{

namespace
{

const char kMagic[] = "vesk-swap-journal 1";

// Names may hold any byte but the separators of the journal's lines.
std::string Escape(const std::string& name)
{
    std::string text;
    for (const char c : name)
    {
        if (c == '%' || c == '\t' || c == '\n' || c == '\r')
        {
            static const char kDigits[] = "0123456789ABCDEF";
            text += '%';
            text += kDigits[(static_cast<unsigned char>(c) >> 4) & 0xF];
            text += kDigits[static_cast<unsigned char>(c) & 0xF];
        }
        else
            text += c;
    }
    return text;
}

bool Unescape(const std::string& text, std::string& name)
{
    name.clear();
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        if (text[i] != '%')
        {
            name += text[i];
            continue;
        }
        if (i + 2 >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[i + 1])) ||
            !std::isxdigit(static_cast<unsigned char>(text[i + 2])))
            return false;
        name += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
        i += 2;
    }
    return true;
}

std::vector<std::string> Fields(const std::string& line)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t tab = line.find('\t'); tab != std::string::npos; tab = line.find('\t', start))
    {
        fields.push_back(line.substr(start, tab - start));
        start = tab + 1;
    }
    fields.push_back(line.substr(start));
    return fields;
}

bool ParseEntry(const std::string& line, CEntry& entry)
{
    const std::vector<std::string> fields = Fields(line);
    const bool put = fields.size() == 4 && fields[0] == "put";
    const bool remove = fields.size() == 3 && fields[0] == "remove";
    if (!put && !remove)
        return false;
    const bool ok = Unescape(fields[1], put ? entry.staged : entry.name) &&
                    Unescape(fields[2], put ? entry.name : entry.backup) && (!put || Unescape(fields[3], entry.backup));
    return ok && IsTargetName(entry.name) && IsBackupName(entry.backup) && (remove || IsStagedName(entry.staged));
}

} // namespace

// `name` as SplitInstallName reads it, joined with '/'; empty when refused.
std::string Canonical(const std::string& name)
{
    std::vector<std::string> parts;
    if (!SplitInstallName(name.c_str(), parts))
        return std::string();
    std::string joined;
    for (const std::string& part : parts)
        joined += (joined.empty() ? "" : "/") + part;
    return joined;
}

std::string Lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// A file the swap puts in place or removes: a plain name of the directory,
// written the one way, outside the staging area.
bool IsTargetName(const std::string& name)
{
    return !name.empty() && Canonical(name) == name && !IsReserved(name);
}

// A staged file: ".vesk-staging/.vesk-KEY.partial" (a download) or
// ".vesk-staging/.vesk-KEY.part" (a file made there, as from a delta).
bool IsStagedName(const std::string& name)
{
    const std::string prefix = std::string(CStagedSwap::kFolder) + "/.vesk-";
    if (Canonical(name) != name || name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0)
        return false;
    for (const std::string suffix : {".partial", ".part"})
    {
        if (name.size() <= prefix.size() + suffix.size() ||
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        const std::string key = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
        return !key.empty() && key.size() <= 64 && key.find_first_not_of("0123456789abcdef") == std::string::npos;
    }
    return false;
}

// A backup: ".vesk-staging/backup/NUMBER".
bool IsBackupName(const std::string& name)
{
    const std::string prefix = (std::string(CStagedSwap::kFolder) + "/backup") + "/";
    return name.size() > prefix.size() && name.size() <= prefix.size() + 9 &&
           name.compare(0, prefix.size(), prefix) == 0 &&
           name.find_first_not_of("0123456789", prefix.size()) == std::string::npos;
}

bool IsReserved(const std::string& name)
{
    std::vector<std::string> parts;
    return SplitInstallName(name.c_str(), parts) && Lower(parts.front()) == CStagedSwap::kFolder;
}

std::string JournalText(const std::vector<CEntry>& entries)
{
    std::string text = std::string(kMagic) + "\n";
    for (const CEntry& entry : entries)
    {
        if (entry.staged.empty())
            text += "remove\t" + Escape(entry.name) + "\t" + Escape(entry.backup) + "\n";
        else
            text += "put\t" + Escape(entry.staged) + "\t" + Escape(entry.name) + "\t" + Escape(entry.backup) + "\n";
    }
    return text + "end\n";
}

bool ParseJournal(const std::string& text, std::vector<CEntry>& entries, std::string& error)
{
    error.clear();
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();)
    {
        const std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
        {
            error = "its last line is cut short";
            return false;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    if (lines.size() < 2 || lines.front() != kMagic || lines.back() != "end")
    {
        error = "it is not a whole journal of this format";
        return false;
    }
    std::set<std::string> names;
    std::set<std::string> others;
    for (std::size_t i = 1; i + 1 < lines.size(); ++i)
    {
        CEntry entry;
        // Each name, backup and staged file once: two moves of one file
        // would undo each other.
        if (!ParseEntry(lines[i], entry) || !names.insert(Lower(entry.name)).second ||
            !others.insert(entry.backup).second || (!entry.staged.empty() && !others.insert(entry.staged).second))
        {
            error = "line " + std::to_string(i + 1) + " names no move inside the install directory";
            return false;
        }
        entries.push_back(entry);
    }
    return true;
}

} // namespace swapjournal
