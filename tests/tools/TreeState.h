// What the publishing tests compare before and after a run: every entry of a
// folder as it is on disk, so that a rewrite shows even when it wrote the
// same bytes. POSIX (inodes), as the tools' tests are.
#ifndef VESKUPDATE_TESTS_TOOLS_TREESTATE_H
#define VESKUPDATE_TESTS_TOOLS_TREESTATE_H

#include "support/Files.h"

#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <string>

/// Every entry under `root` by its relative name, links not followed: a
/// file's inode and content, a folder's inode, a link's target. Empty when
/// `root` does not exist.
inline std::map<std::string, std::string> TreeState(const std::filesystem::path& root)
{
    namespace fs = std::filesystem;
    std::map<std::string, std::string> entries;
    if (!fs::exists(root))
        return entries;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it)
    {
        struct stat info
        {
        };
        ::lstat(it->path().c_str(), &info);
        const std::string inode = std::to_string(info.st_ino);
        std::string& entry = entries[it->path().lexically_relative(root).string()];
        if (it->is_symlink())
            entry = "link to " + fs::read_symlink(it->path()).string();
        else if (it->is_regular_file())
            entry = inode + ":" + testsupport::ReadFile(it->path());
        else
            entry = inode + ": folder";
    }
    return entries;
}

#endif // VESKUPDATE_TESTS_TOOLS_TREESTATE_H
