#include "publishing/ReleaseFolders.h"

#include <algorithm>
#include <map>
#include <system_error>

namespace fs = std::filesystem;

namespace versionCenter
{
namespace
{

bool Fail(std::string& error, const fs::path& where, const std::string& problem)
{
    error = where.string() + ": " + problem;
    return false;
}

bool Installable(const std::string& path)
{
    return std::none_of(path.begin(), path.end(), [](unsigned char c) { return c == '\\' || c < 0x20 || c == 0x7f; });
}

// Adds the file `entry` of the tree under `folder` to `release`.
bool AddFile(const fs::directory_entry& entry, const fs::path& folder, CRelease& release, std::string& error)
{
    std::error_code failure;
    // A link counts as what it leads to; a link to a folder is not followed.
    const fs::file_status status = entry.status(failure);
    if (failure || !fs::is_regular_file(status))
        return Fail(error, entry.path(),
                    failure ? "cannot be read: " + failure.message() : "is not a regular file (nor a link to one)");
    CReleaseFile file;
    file.path = entry.path().lexically_relative(folder).generic_string();
    if (!Installable(file.path))
        return Fail(error, entry.path(), "a file name with a backslash or a control character cannot be installed");
    file.source = entry.path();
    if (!DigestFile(file.source, file.digest, error))
        return false;
    release.files.push_back(std::move(file));
    return true;
}

bool ScanFolder(const fs::path& folder, CRelease& release, std::string& error)
{
    std::error_code failure;
    for (fs::recursive_directory_iterator it(folder, failure), end; !failure && it != end; it.increment(failure))
    {
        if (it->is_directory(failure) && !it->is_symlink(failure))
            continue;
        if (!AddFile(*it, folder, release, error))
            return false;
    }
    if (failure)
        return Fail(error, folder, "cannot be read: " + failure.message());
    std::sort(release.files.begin(), release.files.end(),
              [](const CReleaseFile& a, const CReleaseFile& b) { return a.path < b.path; });
    return true;
}

} // namespace

bool ScanReleases(const fs::path& root, std::vector<CRelease>& releases, std::string& error)
{
    std::error_code failure;
    if (!fs::is_directory(root, failure))
        return Fail(error, root, "is not a folder");
    std::map<CVersionNumber, CRelease> found;
    for (fs::directory_iterator it(root, failure), end; !failure && it != end; it.increment(failure))
    {
        const std::string name = it->path().filename().string();
        if (name.front() == '.')
            continue;
        CRelease release;
        release.folder = name;
        if (!CVersionNumber::ParseExact(name, release.version) || !it->is_directory(failure))
            return Fail(error, it->path(), "is not a version folder: its name must be a version such as 1.0 or 2.1.3");
        const auto known = found.find(release.version);
        if (known != found.end())
            return Fail(error, it->path(),
                        "names version " + release.version.ToString() + " as " + known->second.folder + " does");
        if (!ScanFolder(it->path(), release, error))
            return false;
        found.emplace(release.version, std::move(release));
    }
    if (failure)
        return Fail(error, root, "cannot be read: " + failure.message());
    if (found.empty())
        return Fail(error, root, "holds no version folder");
    releases.clear();
    for (auto& item : found)
        releases.push_back(std::move(item.second));
    return true;
}

} // namespace versionCenter
